#include "foundation/DetMath.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

namespace lym {
namespace {

TEST(DetLog2, AgreesWithTheLibraryAcrossTheRange) {
  std::mt19937_64 random(20240611);
  for (int i = 0; i < 200000; ++i) {
    // Every finite positive double is equally likely to be drawn by its bit pattern.
    const double x = std::bit_cast<double>(random() % 0x7FF0000000000000u);
    if (x == 0) continue;
    const double expected = std::log2(x);
    ASSERT_NEAR(DetLog2(x), expected, 1e-15 * std::abs(expected) + 1e-300) << x;
  }
}

TEST(DetLog2, NearOneTheResultKeepsItsRelativeAccuracy) {
  for (double delta = 1e-16; delta < 0.5; delta *= 1.7) {
    for (const double x : {1 + delta, 1 - delta}) {
      const double expected = std::log2(x);
      ASSERT_NEAR(DetLog2(x), expected, 1e-15 * std::abs(expected)) << x;
    }
  }
}

TEST(DetLog2, PowersOfTwoAreExact) {
  for (int e = -1074; e <= 1023; ++e) ASSERT_EQ(DetLog2(std::ldexp(1.0, e)), double(e)) << e;
}

TEST(DetLog2, SpecialValuesBehaveLikeTheLibrary) {
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  EXPECT_EQ(DetLog2(0.0), -kInfinity);
  EXPECT_EQ(DetLog2(kInfinity), kInfinity);
  EXPECT_TRUE(std::isnan(DetLog2(-1.0)));
  EXPECT_TRUE(std::isnan(DetLog2(-kInfinity)));
  EXPECT_TRUE(std::isnan(DetLog2(std::numeric_limits<double>::quiet_NaN())));
}

// The encoder's choices depend on these exact bits in every build; a compiler that fuses
// multiply-adds or reorders the series changes them.
TEST(DetLog2, ExactBitsArePinned) {
  EXPECT_EQ(std::bit_cast<uint64_t>(DetLog2(3.0)), 0x3ff95c01a39fbd69u);
  EXPECT_EQ(std::bit_cast<uint64_t>(DetLog2(10.0)), 0x400a934f0979a371u);
  EXPECT_EQ(std::bit_cast<uint64_t>(DetLog2(1.0000001)), 0x3e835d0fea5fccb6u);
  EXPECT_EQ(std::bit_cast<uint64_t>(DetLog2(0.7071)), 0xbfe0001d03eb60d8u);
}

}  // namespace
}  // namespace lym
