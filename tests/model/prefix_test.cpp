// Every prefix of every sample model, each in an allocation of its own size: it loads, or fails with one line.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/support/test_support.h"

namespace {

TEST(Prefixes, everyCutOfEverySampleModelLoadsOrFailsWithOneLine)
{
    for (const char* name : {"tetra.zem", "cube.zem", "dodecahedron.zem", "segments.zem", "torus.zem"}) {
        const std::string text = readFile(modelPath(name));
        ASSERT_FALSE(text.empty()) << name;
        for (std::size_t length = 0; length <= text.size(); ++length) {
            Parsed r = parseText(text.substr(0, length));
            if (r.ok) {
                EXPECT_EQ(r.messages, "") << name << " cut at " << length;
                EXPECT_TRUE(r.shape.computeNormals());
            } else {
                EXPECT_EQ(std::count(r.messages.begin(), r.messages.end(), '\n'), 1) << name << " cut at " << length;
            }
            if (HasFailure()) return;
        }
        // Only the whole text holds the closing braces of every polygon entry.
        EXPECT_TRUE(parseText(text).ok) << name;
    }
}

}  // namespace
