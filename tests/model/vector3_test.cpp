// Vector3 tests: operand order, and the double-precision steps that single precision would get wrong.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "model/vector3.h"
#include "tests/support/test_support.h"

namespace {

TEST(Vector3, arithmeticKeepsOperandOrder)
{
    expectVector(Vector3(), 0, 0, 0);
    expectVector(Vector3(1, 2, 3) - Vector3(0, 0, 1), 1, 2, 2);
    expectVector(Vector3(1.5f, -2, 4) * 2.0f, 3, -4, 8);
    expectVector(Vector3(1, 2, 3) + Vector3(0.5f, -2, 1), 1.5f, 0, 4);
    expectVector(cross(Vector3(1, 0, 0), Vector3(0, 1, 0)), 0, 0, 1);
    expectVector(cross(Vector3(0, 1, 0), Vector3(1, 0, 0)), 0, 0, -1);
    expectVector(cross(Vector3(2, 4, 6), Vector3(1, 2, 3)), 0, 0, 0);
    EXPECT_EQ(Vector3(3, 4, 12).length(), 13.0);
}

TEST(Vector3, crossIsExactOnSixteenBitInputsBeforeItsOneRounding)
{
    // 32767 * 32767 - 1 * (-32768) needs more than a float's 24 bits until the final rounding.
    const Vector3 n = cross(Vector3(0, 32767, 1), Vector3(0, -32768, 32767));
    EXPECT_EQ(n.x, static_cast<float>(32767.0 * 32767.0 - 1.0 * -32768.0));
}

TEST(Vector3, normalizeWorksInDoubleAndNeverDividesByZero)
{
    Vector3 v(3, 4, 0);
    v.normalize();
    expectVector(v, static_cast<float>(3.0 / 5.0), static_cast<float>(4.0 / 5.0), 0);

    Vector3 zero;
    zero.normalize();
    expectVector(zero, 0, 0, 0);

    Vector3 tiny(1e-30f, 0, 0);
    tiny.normalize();
    expectVector(tiny, 1, 0, 0);

    const float nan = std::numeric_limits<float>::quiet_NaN();
    Vector3 withNan(nan, 2, 3);
    withNan.normalize();
    EXPECT_TRUE(std::isnan(withNan.x));
    EXPECT_EQ(withNan.y, 2);
    EXPECT_EQ(withNan.z, 3);
}

}  // namespace
