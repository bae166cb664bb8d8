// Fourier self-deconvolution against numpy's transform of the same steps
// (make_deconvolution_references.py), and its refusals.
#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "array/array_fixture.h"
#include "array/deconvolution_reference_values.h"

namespace {

using namespace arraytest;

class SelfDeconvolution : public ArrayTest {
 protected:
  static AP4_ARRAY* deconvolve(AP4_ARRAY* array, AP4_DECONVOLVEPARM parameter) {
    return ap_result_object<AP4_ARRAY>(send(AP4_MSG_SELF_DECONVOLVE, array, &parameter));
  }
  static AP4_ARRAY* source() {
    AP4_ARRAY* array = make(1, deconvolution_reference::source_count);
    std::copy(std::begin(deconvolution_reference::source), std::end(deconvolution_reference::source),
              ap4a_GetDataAddress(array));
    return array;
  }
};

TEST_F(SelfDeconvolution, MatchesTheReferenceForEachWindowAndLength) {
  AP4_ARRAY* array = source();
  const std::vector<float> before = values(array);
  for (const auto& c : deconvolution_reference::cases) {
    AP4_ARRAY* result = deconvolve(
        array, AP4_DECONVOLVEPARM{AP4_RANGE{{0, c.first}, {0, c.last}}, c.half_width, c.factor, c.mode, c.points});
    ASSERT_NE(result, nullptr) << c.what;
    const std::vector<float> got = values(result);
    ASSERT_EQ(got.size(), 20u) << c.what;
    for (size_t i = 0; i < got.size(); ++i)
      EXPECT_NEAR(got[i], c.expected[i], 2e-4 * (1 + std::abs(c.expected[i]))) << c.what << " at " << i;
    destroy(result);
  }
  // The source keeps its gap.
  EXPECT_EQ(std::memcmp(values(array).data(), before.data(), before.size() * sizeof(float)), 0);
  destroy(array);
  EXPECT_EQ(array_class().live, 0);
}

TEST_F(SelfDeconvolution, ARangeLongerThanTheLargestHalfLengthEndsInZeros) {
  AP4_ARRAY* array = make(1, 20000);
  float* data = ap4a_GetDataAddress(array);
  for (uint32_t i = 0; i < 20000; ++i) {
    const float z = (static_cast<float>(i) - 9000.0f) / 40.0f;
    data[i] = 1.0f / (1.0f + z * z);
  }
  AP4_ARRAY* result = deconvolve(array, AP4_DECONVOLVEPARM{AP4_RANGE{{0, 0}, {0, 19999}}, 40.0f, 1.0f, 0, 0});
  ASSERT_NE(result, nullptr);
  const std::vector<float> got = values(result);
  ASSERT_EQ(got.size(), 20000u);
  for (size_t i = 16384; i < 20000; ++i) ASSERT_EQ(got[i], 0.0f) << i;
  // Narrower than the band it came from.
  EXPECT_GT(got[9000], data[9000]);
  destroy(result);
  destroy(array);
  EXPECT_EQ(array_class().live, 0);
}

TEST_F(SelfDeconvolution, RefusesModesRangesFactorsAndLengthsItCannotTake) {
  AP4_ARRAY* array = source();
  AP4_ARRAY* two_rows = make(2, 30);
  struct Case {
    const char* what;
    AP4_ARRAY* on;
    AP4_DECONVOLVEPARM parameter;
  };
  const AP4_RANGE range{{0, 1}, {0, 20}};
  const Case cases[] = {
      {"mode 8", array, {range, 3.0f, 1.5f, 8, 16}},
      {"range over two rows", two_rows, {AP4_RANGE{{0, 0}, {1, 5}}, 3.0f, 1.5f, 0, 16}},
      {"factor 0 would divide by 0", array, {range, 3.0f, 0.0f, 0, 16}},
      {"negative factor", array, {range, 3.0f, -1.0f, 0, 16}},
      {"half length below the transform's", array, {range, 3.0f, 1.5f, 0, 4}},
  };
  for (const Case& c : cases) EXPECT_EQ(deconvolve(c.on, c.parameter), nullptr) << c.what;
  AP4_ARRAY* one_row_of_two = deconvolve(two_rows, AP4_DECONVOLVEPARM{AP4_RANGE{{1, 0}, {1, 19}}, 3.0f, 1.5f, 0, 16});
  EXPECT_NE(one_row_of_two, nullptr) << "one row of an array of two";
  destroy(one_row_of_two);
  destroy(array);
  destroy(two_rows);
  EXPECT_EQ(array_class().live, 0);
}

}  // namespace
