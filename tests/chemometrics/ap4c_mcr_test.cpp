#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "chemometrics/chemometrics_fixture.h"
#include "platform/user.h"

namespace {

using namespace chemtest;

constexpr uint32_t kPoints = 40;
constexpr uint32_t kSpectra = 12;

// Gaussian bands at the given centres, one per column (points × count).
std::vector<double> bands(const std::vector<double>& centres, double width) {
  std::vector<double> s(kPoints * centres.size());
  for (uint32_t k = 0; k < kPoints; ++k)
    for (size_t i = 0; i < centres.size(); ++i)
      s[k * centres.size() + i] = std::exp(-0.5 * std::pow((k - centres[i]) / width, 2));
  return s;
}

// Amounts that differ from spectrum to spectrum (count × spectra); spectrum
// i holds component i alone, which leaves the resolution no rotation.
std::vector<double> amounts(size_t count) {
  std::vector<double> q(count * kSpectra);
  for (size_t i = 0; i < count; ++i)
    for (uint32_t j = 0; j < kSpectra; ++j)
      q[i * kSpectra + j] = j < count && j != i ? 0.0 : 0.2 + std::fabs(std::sin(1.3 * (i + 1) * (j + 1)));
  return q;
}

// points × spectra: the product of s (points × count) and q (count × spectra).
std::vector<double> mix(const std::vector<double>& s, const std::vector<double>& q, size_t count) {
  std::vector<double> d(kPoints * kSpectra, 0.0);
  for (uint32_t k = 0; k < kPoints; ++k)
    for (uint32_t j = 0; j < kSpectra; ++j)
      for (size_t i = 0; i < count; ++i) d[k * kSpectra + j] += s[k * count + i] * q[i * kSpectra + j];
  return d;
}

// Column i of a row-major matrix, scaled to unit length.
std::vector<double> unit_column(const std::vector<double>& v, size_t columns, size_t i) {
  std::vector<double> c;
  for (size_t r = 0; r < v.size() / columns; ++r) c.push_back(v[r * columns + i]);
  double norm = 0;
  for (double x : c) norm += x * x;
  for (double& x : c) x /= std::sqrt(norm);
  return c;
}

class CurveResolution : public ChemometricsTest {
 protected:
  void TearDown() override {
    for (AP4_ARRAY** a : {&s_, &q_})
      if (*a != nullptr) destroy(*a);
    ChemometricsTest::TearDown();
  }
  int32_t resolve(AP4_ARRAY* d, uint32_t c, int32_t baseline, int32_t request, AP4_ARRAY* known = nullptr,
                  GU3_HANDLE mask = nullptr) {
    components_ = c;
    AP4_MCRPARM parameter{mask, known, baseline, &components_, &s_, &q_, request, nullptr};
    return static_cast<int32_t>(send(AP4_MSG_MCR, d, &parameter));
  }
  // The resolved spectra and amounts against the true ones, each component
  // compared in shape (unit length), the product against the data.
  void expect_recovered(const std::vector<double>& s, const std::vector<double>& q, size_t count,
                        double tolerance) {
    ASSERT_NE(s_, nullptr);
    ASSERT_NE(q_, nullptr);
    ASSERT_EQ(uint32_t{s_->rows}, kPoints);
    ASSERT_EQ(uint32_t{s_->columns}, count);
    ASSERT_GE(uint32_t{q_->rows}, count);
    ASSERT_EQ(uint32_t{q_->columns}, kSpectra);
    const std::vector<float> sf = values(s_);
    const std::vector<float> qf = values(q_);
    const std::vector<double> got_s(sf.begin(), sf.end());
    std::vector<double> got_q(qf.begin(), qf.end());
    for (size_t i = 0; i < count; ++i) {
      const std::vector<double> want = unit_column(s, count, i);
      const std::vector<double> got = unit_column(got_s, count, i);
      for (uint32_t k = 0; k < kPoints; ++k) EXPECT_NEAR(got[k], want[k], tolerance) << "spectrum " << i << " " << k;
      // Amounts up to the scale the spectrum took.
      double scale = 0;
      double true_scale = 0;
      for (uint32_t k = 0; k < kPoints; ++k) {
        scale += got_s[k * count + i] * got_s[k * count + i];
        true_scale += s[k * count + i] * s[k * count + i];
      }
      const double factor = std::sqrt(scale / true_scale);
      for (uint32_t j = 0; j < kSpectra; ++j)
        EXPECT_NEAR(got_q[i * kSpectra + j] * factor, q[i * kSpectra + j], tolerance * 10 * q[i * kSpectra + j] + tolerance / 4)
            << "amount " << i << " " << j;
    }
  }
  uint32_t components_ = 0;
  AP4_ARRAY* s_ = nullptr;
  AP4_ARRAY* q_ = nullptr;
};

TEST_F(CurveResolution, RecoversTwoAndThreeComponentMixtures) {
  struct Case {
    std::vector<double> centres;
    double width;
  };
  for (const Case& c : {Case{{12, 28}, 5.0}, Case{{8, 20, 32}, 4.0}}) {
    const size_t count = c.centres.size();
    const std::vector<double> s = bands(c.centres, c.width);
    const std::vector<double> q = amounts(count);
    AP4_ARRAY* d = array_of(kPoints, kSpectra, mix(s, q, count).data());
    const int32_t result = resolve(d, static_cast<uint32_t>(count), -1, -500);
    EXPECT_EQ(result, AP4C_MCR_CONVERGED) << count << " " << c.width;
    expect_recovered(s, q, count, 0.02);
    for (AP4_ARRAY** a : {&s_, &q_}) destroy(*a), *a = nullptr;
    destroy(d);
  }
}

// Bands a few points wide leave the absent components' gradients at float
// rounding, about the non-negative fit's threshold; the fit still ends
// with its amounts and the resolution goes on.
TEST_F(CurveResolution, RecoversNarrowBands) {
  for (double width : {0.5, 1.0, 2.0}) {
    const std::vector<double> centres{8, 20, 32};
    const std::vector<double> s = bands(centres, width);
    const std::vector<double> q = amounts(centres.size());
    AP4_ARRAY* d = array_of(kPoints, kSpectra, mix(s, q, centres.size()).data());
    EXPECT_EQ(resolve(d, 3, -1, -500), AP4C_MCR_CONVERGED) << width;
    expect_recovered(s, q, centres.size(), 0.02);
    for (AP4_ARRAY** a : {&s_, &q_}) destroy(*a), *a = nullptr;
    destroy(d);
  }
}

TEST_F(CurveResolution, AKnownSpectrumStaysFixedAndGetsItsOwnAmounts) {
  // Two unknown bands and a known one, all in every spectrum.
  const std::vector<double> all = bands({6, 20, 34}, 4.0);
  std::vector<double> q(3 * kSpectra);
  for (size_t i = 0; i < 3; ++i)
    for (uint32_t j = 0; j < kSpectra; ++j) q[i * kSpectra + j] = 0.2 + std::fabs(std::sin(1.3 * (i + 1) * (j + 1)));
  std::vector<double> known(kPoints);
  for (uint32_t k = 0; k < kPoints; ++k) known[k] = all[k * 3 + 1];
  std::vector<double> ordered(kPoints * 3);
  for (uint32_t k = 0; k < kPoints; ++k) {
    ordered[k * 3] = all[k * 3];
    ordered[k * 3 + 1] = all[k * 3 + 2];
    ordered[k * 3 + 2] = known[k];
  }
  const std::vector<double> data = mix(ordered, q, 3);
  AP4_ARRAY* d = array_of(kPoints, kSpectra, data.data());
  AP4_ARRAY* k = array_of(kPoints, 1, known.data());
  EXPECT_EQ(resolve(d, 2, -1, -500, k), AP4C_MCR_CONVERGED);
  ASSERT_NE(s_, nullptr);
  ASSERT_EQ(uint32_t{s_->columns}, 2u);
  ASSERT_EQ(uint32_t{q_->rows}, 3u);
  // The known spectrum enters at unit mean square; its row of amounts and
  // the two resolved components rebuild the data (S comes a half-step
  // after Q, hence the looser bound).
  double ms = 0;
  for (double x : known) ms += x * x;
  const double scale = std::sqrt(ms / kPoints);
  const std::vector<float> sf = values(s_);
  const std::vector<float> qf = values(q_);
  double largest = 0;
  for (double x : data) largest = std::max(largest, std::fabs(x));
  for (uint32_t p = 0; p < kPoints; ++p)
    for (uint32_t j = 0; j < kSpectra; ++j) {
      const double rebuilt = sf[p * 2] * qf[j] + sf[p * 2 + 1] * qf[kSpectra + j] +
                             known[p] / scale * qf[2 * kSpectra + j];
      EXPECT_NEAR(rebuilt, data[p * kSpectra + j], 0.03 * largest) << p << " " << j;
    }
  destroy(k);
  destroy(d);
}

TEST_F(CurveResolution, ConstantBaselinesJoinTheFitAfterTheEstimateStage) {
  const std::vector<double> s = bands({12, 28}, 5.0);
  const std::vector<double> q = amounts(2);
  std::vector<double> data = mix(s, q, 2);
  for (uint32_t k = 0; k < kPoints; ++k)
    for (uint32_t j = 0; j < kSpectra; ++j) data[k * kSpectra + j] += 0.1 * (j + 1);
  AP4_ARRAY* d = array_of(kPoints, kSpectra, data.data());
  platform::clear_debug_output();
  const int32_t result = resolve(d, 2, 0, -500);
  EXPECT_TRUE(result == AP4C_MCR_CONVERGED || result == AP4C_MCR_RUN_ENDED) << result;
  expect_recovered(s, q, 2, 0.03);
  bool baseline_traced = false;
  for (const std::string& line : platform::debug_output())
    baseline_traced = baseline_traced || line.find("First spectrum baseline: ") != std::string::npos;
  EXPECT_TRUE(baseline_traced);
  destroy(d);
}

TEST_F(CurveResolution, ARunGoesOnOverCallsAndStopsOnlyAfterIterationFive) {
  const std::vector<double> s = bands({12, 28}, 5.0);
  AP4_ARRAY* d = array_of(kPoints, kSpectra, mix(s, amounts(2), 2).data());
  platform::clear_debug_output();
  // Six iterations at least, even when fewer are asked for.
  const int32_t first = resolve(d, 2, -1, -2);
  long last_iteration = 0;
  for (const std::string& line : platform::debug_output()) std::sscanf(line.c_str(), "Iter: %ld", &last_iteration);
  if (first == AP4C_MCR_GOES_ON) {
    EXPECT_EQ(last_iteration, 6);
    platform::clear_debug_output();
    EXPECT_NE(resolve(d, 2, -1, 500), AP4C_MCR_INVALID);
    long next = 0;
    ASSERT_FALSE(platform::debug_output().empty());
    std::sscanf(platform::debug_output()[0].c_str(), "Iter: %ld", &next);
    EXPECT_EQ(next, 8);  // iteration 7 of the run only keeps its amounts
  } else {
    EXPECT_EQ(first, AP4C_MCR_CONVERGED);
    EXPECT_EQ(last_iteration, 6);
  }
  destroy(d);
}

TEST_F(CurveResolution, RefusesInputsItCannotResolve) {
  AP4_ARRAY* d = array_of(kPoints, kSpectra, mix(bands({12, 28}, 5.0), amounts(2), 2).data());
  AP4_ARRAY* short_known = make(kPoints - 1, 1);
  GU3_HANDLE short_mask = GU3_Allocate_MM(kPoints - 1, sizeof(uint16_t), GU3_KIND_GLOBAL);
  EXPECT_EQ(resolve(d, 0, -1, -10), AP4C_MCR_INVALID);
  EXPECT_EQ(resolve(d, kSpectra + 1, -1, -10), AP4C_MCR_INVALID);
  EXPECT_EQ(resolve(d, 2, -1, -10, short_known), AP4C_MCR_INVALID);
  EXPECT_EQ(resolve(d, 2, -1, -10, nullptr, short_mask), AP4C_MCR_INVALID);
  EXPECT_EQ(s_, nullptr);
  ap4a_GetDataAddress(d)[5] = std::nanf("");
  EXPECT_EQ(resolve(d, 2, -1, -10), AP4C_MCR_INVALID);
  EXPECT_EQ(s_, nullptr);
  GU3_Free_MM(short_mask);
  destroy(short_known);
  destroy(d);
}

TEST_F(CurveResolution, InitialSpectraSplitTheIncludedPointsIntoBands) {
  AP4_ARRAY* d = make(10, 3);
  GU3_HANDLE mask = GU3_Allocate_MM(10, sizeof(uint16_t), GU3_KIND_GLOBAL);
  auto* entries = static_cast<uint16_t*>(GU3_GetPointer_MM(mask, 0, nullptr, nullptr));
  for (uint32_t k = 0; k < 10; ++k) entries[k] = k != 4;
  // Nine included points, step 3: bands start at the 3rd and 6th included
  // point, the 9th stays in the last band.
  AP4_ARRAY* s = ap4c_MCRInitialSpectra(d, mask, 3);
  ASSERT_NE(s, nullptr);
  const int band[10] = {0, 0, 1, 1, -1, 1, 2, 2, 2, 2};
  const std::vector<float> v = values(s);
  for (uint32_t k = 0; k < 10; ++k)
    for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(v[k * 3 + i], band[k] == static_cast<int>(i) ? 1.0f : 0.0f) << k;
  destroy(s);
  GU3_Free_MM(mask);
  destroy(d);
}

}  // namespace
