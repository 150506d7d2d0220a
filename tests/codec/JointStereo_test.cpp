#include "codec/JointStereo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "KernelHarness.h"

namespace lym {
namespace {

// A target made from known weights over the source window, plus a little noise.
std::vector<int32_t> Predicted(const std::vector<int32_t>& source, const double (&w)[8],
                               std::mt19937& random) {
  std::vector<int32_t> target(source.size(), 0);
  for (size_t t = 4; t + 4 <= source.size(); ++t) {
    double sum = 0;
    for (int k = 0; k < 8; ++k) sum += w[k] * source[t - 4 + k];
    target[t] = int32_t(std::lround(sum)) + int32_t(random() % 3) - 1;
  }
  return target;
}

std::vector<int32_t> Noise(std::mt19937& random, size_t n, int32_t limit) {
  std::vector<int32_t> values(n);
  for (int32_t& v : values) v = int32_t(random() % uint32_t(2 * limit + 1)) - limit;
  return values;
}

TEST(JointPredictor, RecoversTheWeightsOfALinearRelation) {
  std::mt19937 random(test::TestSeed());
  const double w[8] = {0.05, -0.1, 0.2, 0.9, 0.6, -0.3, 0.1, -0.02};
  const auto source = Noise(random, 4000, 5000);
  const auto target = Predicted(source, w, random);
  double found[8];
  ASSERT_TRUE(EstimateJointPredictor(source.data(), target.data(), 4000, found));
  for (int k = 0; k < 8; ++k) EXPECT_NEAR(found[k], w[k], 2e-3) << k;
}

TEST(JointPredictor, DegenerateSignalsHaveNoPredictor) {
  std::mt19937 random(test::TestSeed());
  double found[8];
  const std::vector<int32_t> constant(1000, 7);
  const auto noise = Noise(random, 1000, 100);
  EXPECT_FALSE(EstimateJointPredictor(constant.data(), noise.data(), 1000, found));
  EXPECT_FALSE(EstimateJointPredictor(noise.data(), constant.data(), 1000, found));
  EXPECT_FALSE(EstimateJointPredictor(noise.data(), noise.data(), 8, found));
}

}  // namespace
}  // namespace lym
