#include <cmath>
#include <cstdio>
#include <vector>

#include <gtest/gtest.h>

#include "chemometrics/chemometrics_fixture.h"
#include "chemometrics/map_reference_values.h"
#include "platform/user.h"

namespace {

using namespace chemtest;

GU3_HANDLE mask_of(const std::vector<uint16_t>& entries) {
  GU3_HANDLE mask = GU3_Allocate_MM(static_cast<uint32_t>(entries.size()), sizeof(uint16_t), GU3_KIND_GLOBAL);
  auto* to = static_cast<uint16_t*>(GU3_GetPointer_MM(mask, 0, nullptr, nullptr));
  for (size_t i = 0; i < entries.size(); ++i) to[i] = entries[i];
  return mask;
}

class EigenReport : public ChemometricsTest {
 protected:
  uint32_t report(AP4_ARRAY* d, GU3_HANDLE mask, int32_t baseline, int32_t factors) {
    drop_table();
    count_ = factors;
    AP4_EIGENREPORTPARM parameter{mask, baseline, &count_, &table_};
    return send(AP4_MSG_EIGEN_REPORT, d, &parameter);
  }
  void drop_table() {
    if (table_ != nullptr) destroy(table_);
    table_ = nullptr;
  }
  void TearDown() override {
    drop_table();
    ChemometricsTest::TearDown();
  }
  float at(uint32_t row, uint32_t factor) const { return values(table_)[row * table_->columns + factor]; }
  double total_read_ = 0;
  int32_t count_ = 0;
  AP4_ARRAY* table_ = nullptr;
};

// p points × m spectra: multiples of one triangular band at points 8..12
// (0 everywhere else), each on its own straight line.
AP4_ARRAY* band_on_lines(uint32_t p, const std::vector<float>& slopes, const std::vector<float>& offsets) {
  const uint32_t m = static_cast<uint32_t>(slopes.size());
  std::vector<float> data(p * m);
  for (uint32_t k = 0; k < p; ++k)
    for (uint32_t j = 0; j < m; ++j) {
      const float band = k >= 8 && k <= 12 ? 2.0f - std::fabs(static_cast<float>(k) - 10.0f) : 0.0f;
      data[k * m + j] = (1.0f + j) * band + offsets[j] + slopes[j] * static_cast<float>(k);
    }
  return array_of(p, m, data.data());
}

TEST_F(EigenReport, TabulatesEigenvaluesRsdAndIndOfTheMaskedData) {
  AP4_ARRAY* d = array_of(mapref::report_points, mapref::report_spectra, mapref::report_data);
  const std::vector<float> before = values(d);
  std::vector<uint16_t> entries(mapref::report_points, 1);
  entries[3] = entries[9] = 0;
  GU3_HANDLE mask = mask_of(entries);
  ASSERT_EQ(report(d, mask, 0, 3), 1u);
  ASSERT_EQ(count_, 3);
  ASSERT_EQ(uint32_t{table_->rows}, 4u);
  ASSERT_EQ(uint32_t{table_->columns}, 3u);
  // Included points n = 10, spectra m = 4: r = 10, s = 4.
  const double r = 10.0;
  const double s = 4.0;
  double e = mapref::report_total;
  for (uint32_t j = 1; j <= 3; ++j) {
    const double lambda = mapref::report_eigenvalues[j - 1];
    e -= lambda;
    const double v = e / ((s - j) * r);
    EXPECT_NEAR(at(0, j - 1), lambda, 1e-4 * mapref::report_eigenvalues[0]) << j;
    EXPECT_NEAR(at(1, j - 1), std::log10(lambda), 1e-3) << j;
    EXPECT_NEAR(at(2, j - 1), std::sqrt(v), 2e-3 * std::sqrt(v) + 1e-4) << j;
    EXPECT_NEAR(at(3, j - 1), s * s / ((s - j) * (s - j)) * v, 4e-3 * v + 1e-6) << j;
  }
  EXPECT_EQ(values(d), before);
  GU3_Free_MM(mask);
  destroy(d);
}

TEST_F(EigenReport, WritesTheTotalAndOneLinePerFactorToTheDebugger) {
  AP4_ARRAY* d = array_of(mapref::report_points, mapref::report_spectra, mapref::report_data);
  platform::clear_debug_output();
  ASSERT_EQ(report(d, nullptr, 0, 2), 1u);
  const std::vector<std::string>& lines = platform::debug_output();
  ASSERT_EQ(lines.size(), 3u);
  double total = 0;
  for (double v : mapref::report_data) total += v * v;
  char expected[160];
  ASSERT_EQ(std::sscanf(lines[0].c_str(), "Sum of eigenvalues: %lf\n", &total_read_), 1);
  EXPECT_NEAR(total_read_, total, 1e-4 * total);
  std::snprintf(expected, sizeof expected, "  Eigenvalue %d: %f  (log: %f)  (RSD: %f)  (IND: %f)\n", 2, at(0, 1),
                at(1, 1), at(2, 1), at(3, 1));
  EXPECT_EQ(lines[2], expected);
  destroy(d);
}

TEST_F(EigenReport, CountZeroSeeksTwentyAndAnswersTheNumberFound) {
  AP4_ARRAY* d = array_of(mapref::report_points, mapref::report_spectra, mapref::report_data);
  ASSERT_EQ(report(d, nullptr, 0, 0), 1u);
  EXPECT_GE(count_, 4);
  EXPECT_LE(count_, 20);
  EXPECT_EQ(uint32_t{table_->columns}, static_cast<uint32_t>(count_));
  destroy(d);
}

TEST_F(EigenReport, FactorsWithoutDegreesOfFreedomLeftAreMissingNotInfinite) {
  // Two spectra: s = 2, so factor 2 leaves nothing to divide by.
  AP4_ARRAY* d = array_of(4, 2, {1, 0, 0, 1, 2, 1, 1, 3});
  ASSERT_EQ(report(d, nullptr, 0, 2), 1u);
  ASSERT_EQ(count_, 2);
  EXPECT_FALSE(missing(at(2, 0)));
  EXPECT_FALSE(missing(at(3, 0)));
  EXPECT_TRUE(missing(at(2, 1)));
  EXPECT_TRUE(missing(at(3, 1)));
  destroy(d);
}

TEST_F(EigenReport, StraightLineBaselinesLeaveOnlyTheBand) {
  struct Case {
    const char* name;
    int32_t mode;
    std::vector<float> slopes;
  };
  const Case cases[] = {
      {"flat lines, mode 1", 1, {0.0f, 0.0f, 0.0f}},
      {"rising and falling lines, mode 2", 2, {0.3f, -0.2f, 0.05f}},
      {"mode 5 counts as 2", 5, {0.3f, -0.2f, 0.05f}},
  };
  for (const Case& c : cases) {
    AP4_ARRAY* d = band_on_lines(20, c.slopes, {1.0f, 4.0f, -2.0f});
    ASSERT_EQ(report(d, nullptr, c.mode, 3), 1u) << c.name;
    ASSERT_GE(count_, 1) << c.name;
    // Rank one after the baseline: whatever else is found is rounding.
    for (int32_t j = 1; j < count_; ++j) EXPECT_LT(at(0, j), 1e-6f * at(0, 0)) << c.name;
    // Without the baseline the lines make a second factor.
    ASSERT_EQ(report(d, nullptr, -1, 3), 1u) << c.name;
    EXPECT_GT(at(0, 1), 1e-2f * at(0, 0)) << c.name;
    destroy(d);
  }
}

TEST_F(EigenReport, RefusesAMaskOfTheWrongCountOrALineWithoutASecondPoint) {
  AP4_ARRAY* d = array_of(mapref::report_points, mapref::report_spectra, mapref::report_data);
  GU3_HANDLE short_mask = mask_of(std::vector<uint16_t>(mapref::report_points - 1, 1));
  table_ = reinterpret_cast<AP4_ARRAY*>(1);
  AP4_EIGENREPORTPARM parameter{short_mask, 0, &count_, &table_};
  count_ = 3;
  EXPECT_EQ(send(AP4_MSG_EIGEN_REPORT, d, &parameter), 0u);
  EXPECT_EQ(count_, 0);
  EXPECT_EQ(table_, nullptr);
  // Points 0 to 2 only, the lowest at 1: every other included point lies
  // inside its window, so a sloped line has no second point.
  AP4_ARRAY* v = array_of(12, 1, {3, 1, 2, 5, 5, 5, 5, 5, 5, 5, 5, 5});
  std::vector<uint16_t> entries(12, 0);
  entries[0] = entries[1] = entries[2] = 1;
  GU3_HANDLE three = mask_of(entries);
  EXPECT_EQ(report(v, three, 2, 1), 0u);
  EXPECT_EQ(table_, nullptr);
  EXPECT_EQ(report(v, three, 1, 1), 1u);
  GU3_Free_MM(short_mask);
  GU3_Free_MM(three);
  destroy(d);
  destroy(v);
}

}  // namespace
