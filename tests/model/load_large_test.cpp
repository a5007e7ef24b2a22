// The loader on a model of over 200 MB: a slow test of its own, run by the test command all the same.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/support/test_support.h"
#include "tools/sample_models.h"

namespace {

TEST(Load, aLargeModelOfValidEntriesLoads)
{
    // Over 200 MB of text: almost five million polygons over the largest addressable vertex table.
    const std::string text = randomModel(32767, 4900000, 7);
    ASSERT_GT(text.size(), 200u * 1000 * 1000);
    Parsed r = loadFile(writeTempFile("large.zem", text));
    std::remove((tempDir() + "/large.zem").c_str());
    ASSERT_TRUE(r.ok) << r.messages;
    EXPECT_EQ(r.shape.polygonCount, 4900000);
    int colour = -1;
    int count = -1;
    ASSERT_EQ(std::sscanf(text.c_str() + text.rfind("\n{ ") + 1, "{ %d, %d,", &colour, &count), 2);
    EXPECT_EQ(r.shape.polygons[4899999].colourIndex, colour);
    EXPECT_EQ(r.shape.polygons[4899999].count, count);
}

}  // namespace
