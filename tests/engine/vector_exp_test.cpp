// The vector exponentials (engine/vector_exp.h) against the scalar one, bit for bit, over
// the whole fast range and at its ends, where the product by the power of two is closest
// to leaving the normal doubles. Runs only on CPUs with AVX2.

#include <gtest/gtest.h>
#include <immintrin.h>

#include <bit>
#include <cstdint>
#include <random>

#include "engine/vector_exp.h"

namespace corva {
namespace {

TEST(VectorExponential, EqualsTheScalarExponentialOverTheFastRange) {
  if (!__builtin_cpu_supports("avx2")) GTEST_SKIP() << "no AVX2";
  using exponential_detail::kFastLimit;
  std::mt19937_64 random(11);
  std::uniform_real_distribution<double> anywhere(-kFastLimit, kFastLimit);
  std::uniform_real_distribution<double> lowEnd(-kFastLimit, -700.0);
  for (int i = 0; i < 100000; ++i) {
    alignas(32) double x[4] = {anywhere(random), lowEnd(random), -anywhere(random) * 0.05,
                               i % 2 ? -kFastLimit : kFastLimit};
    alignas(32) double e[4];
    _mm256_store_pd(e, exp4InRange(_mm256_load_pd(x)));
    alignas(16) double pair[2];
    _mm_store_pd(pair, exp2InRange(_mm_load_pd(x)));
    for (int lane = 0; lane < 4; ++lane)
      ASSERT_EQ(std::bit_cast<std::uint64_t>(e[lane]), std::bit_cast<std::uint64_t>(exponential(x[lane]))) << x[lane];
    for (int lane = 0; lane < 2; ++lane)
      ASSERT_EQ(std::bit_cast<std::uint64_t>(pair[lane]), std::bit_cast<std::uint64_t>(exponential(x[lane])))
          << x[lane];
  }
}

}  // namespace
}  // namespace corva
