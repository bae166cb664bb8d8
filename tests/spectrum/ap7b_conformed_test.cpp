// The multi-spectrum ratio (message 438) against each mode's formula
// worked here point by point, and the common index range of several
// spectra that it walks.
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

// Six single beams on one grid of 8 points, 1000 to 1700.
class RatioConformed : public SpectrumTest {
 protected:
  enum Role { S, B, D, E, R, F, kRoles };

  void SetUp() override {
    SpectrumTest::SetUp();
    const std::vector<std::vector<float>> data = {
        {10, 12, 14, 16, 18, 20, 22, 24},  // S
        {20, 22, 25, 30, 32, 35, 40, 41},  // B
        {1, 2, 1, 2, 1, 2, 1, 2},          // D
        {3, 1, 4, 1, 5, 9, 2, 6},          // E
        {2, 4, 2, 5, 2, 6, 2, 7},          // R
        {1.5f, 2, 2.5f, 3, 3.5f, 4, 4.5f, 5},  // F
    };
    for (int role = 0; role < kRoles; ++role) {
      spectra_[role] = make_axis(1000.0f, 1700.0f, data[role]);
      AP41_HEADERDATA& r = record(spectra_[role]);
      r.y_units = AP1_YUNIT_SINGLE_BEAM;
      r.x_units = AP1_XUNIT_WAVENUMBERS;
      r.NumScans = 10 + role;
      r.Gain = 1.0f + role;
      r.BadScans = 100 + role;
      r.CollectErrorMap = 200 + role;
    }
  }

  void TearDown() override {
    for (AP7_SPECTRUM* spectrum : spectra_) destroy(spectrum);
    SpectrumTest::TearDown();
  }

  AP7_SPECTRUM* ratio(uint16_t mode, uint32_t given = 0x3E, float a = 0.5f, float b = 0.25f, float c = 0.125f,
                      uint16_t prepare = 0) {
    auto at = [&](Role role) { return (given & (1u << role)) != 0 ? spectra_[role] : nullptr; };
    AP7_RATIOCONFORMEDPARM block{mode, at(B), at(D), at(E), at(R), at(F), a, b, c, 0, prepare};
    return ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_RATIO_CONFORMED, spectra_[S], &block));
  }

  double v(Role role, size_t i) const { return values(spectra_[role])[i]; }

  AP7_SPECTRUM* spectra_[kRoles] = {};
};

TEST_F(RatioConformed, EveryModeFollowsItsFormulaInPercentTransmittance) {
  const double a = 0.5;
  const double b = 0.25;
  const double c = 0.125;
  using Formula = std::function<double(double s, double bb, double d, double e, double r, double f)>;
  struct Case {
    uint16_t mode;
    Formula formula;
  };
  const Case cases[] = {
      {0, [](double s, double bb, double, double, double, double) { return s / bb; }},
      {1, [](double s, double bb, double d, double, double, double) { return (s - d) / (bb - d); }},
      {2, [](double s, double bb, double d, double, double, double) { return (s - d) / bb; }},
      {3, [](double s, double bb, double, double e, double r, double) { return (s * e) / (bb * r); }},
      {4, [](double s, double bb, double, double, double r, double) { return (s * r) / bb; }},
      {5, [](double s, double, double, double, double r, double) { return s / r; }},
      {6, [](double s, double bb, double d, double e, double, double) { return (s - d) / (bb - e); }},
      {7, [](double s, double bb, double d, double, double r, double f) { return ((s - d) * f) / (bb * r); }},
      {8, [](double s, double bb, double d, double e, double r, double f) { return ((s - d) * f) / ((bb - e) * r); }},
      {9, [&](double s, double bb, double d, double e, double, double) { return (s - d - a) / ((bb - e) - b); }},
      {10, [&](double s, double bb, double d, double, double r, double) { return (s - d - a) * r / bb - c; }},
      {11, [&](double s, double bb, double d, double e, double r, double) { return (s - d - a) * r / ((bb - e) - b) - c; }},
      {12, [](double s, double bb, double, double, double, double) { return s / bb; }},
  };
  for (const Case& k : cases) {
    AP7_SPECTRUM* made = ratio(k.mode);
    ASSERT_NE(made, nullptr) << "mode " << k.mode;
    const AP41_HEADERDATA& r = record(made);
    EXPECT_EQ(packed(r.y_units), AP1_YUNIT_PERCENT_TRANSMITTANCE) << "mode " << k.mode;
    EXPECT_EQ(packed(r.first_x), 1000.0f);
    EXPECT_EQ(packed(r.last_x), 1700.0f);
    const std::vector<float> y = values(made);
    ASSERT_EQ(y.size(), 8u);
    for (size_t i = 0; i < y.size(); ++i) {
      const double expected = 100.0 * k.formula(v(S, i), v(B, i), v(D, i), v(E, i), v(R, i), v(F, i));
      EXPECT_NEAR(y[i], expected, 1e-5 * std::fabs(expected)) << "mode " << k.mode << " point " << i;
    }
    EXPECT_EQ(ap7b_TestHistoryFlag(reinterpret_cast<AP_OBJECT*>(made), AP41_HISTORY_RATIO), 1);
    destroy(made);
  }
}

TEST_F(RatioConformed, OptionalSpectraAreLeftOutOfTheFormulaWhenNotGiven) {
  const double a = 0.5;
  const double b = 0.25;
  const double c = 0.125;
  struct Case {
    uint16_t mode;
    uint32_t given;
    std::function<double(size_t)> formula;
  };
  const Case cases[] = {
      {9, 1u << B, [&](size_t i) { return (v(S, i) - a) / (v(B, i) - b); }},
      {10, 1u << B, [&](size_t i) { return (v(S, i) - a) / v(B, i) - c; }},
      {11, (1u << B) | (1u << R), [&](size_t i) { return (v(S, i) - a) * v(R, i) / (v(B, i) - b) - c; }},
      {9, (1u << B) | (1u << D), [&](size_t i) { return (v(S, i) - v(D, i) - a) / (v(B, i) - b); }},
  };
  for (const Case& k : cases) {
    AP7_SPECTRUM* made = ratio(k.mode, k.given);
    ASSERT_NE(made, nullptr) << "mode " << k.mode;
    const std::vector<float> y = values(made);
    for (size_t i = 0; i < y.size(); ++i) {
      const double expected = 100.0 * k.formula(i);
      EXPECT_NEAR(y[i], expected, 1e-5 * std::fabs(expected)) << "mode " << k.mode << " point " << i;
    }
    destroy(made);
  }
}

TEST_F(RatioConformed, AVanishingDenominatorGivesAMissingPoint) {
  put_values(spectra_[D], {1, 2, 25, 2, 1, 2, 1, 2});  // B - D = 0 at point 2
  AP7_SPECTRUM* made = ratio(1);
  ASSERT_NE(made, nullptr);
  std::vector<float> y = values(made);
  EXPECT_TRUE(std::isnan(y[2]));
  EXPECT_FALSE(std::isnan(y[1]));
  destroy(made);
  // Mode 9: B - E - b = 0 at point 4 for b = 27.
  made = ratio(9, 0x3E, 0.5f, 27.0f);
  ASSERT_NE(made, nullptr);
  y = values(made);
  EXPECT_TRUE(std::isnan(y[4]));
  EXPECT_FALSE(std::isnan(y[3]));
  destroy(made);
}

TEST_F(RatioConformed, AReferenceSpectrumGivesTheReferenceRatioUnconverted) {
  record(spectra_[R]).y_units = AP41_YUNITS_REFERENCE;
  AP7_SPECTRUM* made = ratio(5, 1u << R);
  ASSERT_NE(made, nullptr);
  const AP41_HEADERDATA& r = record(made);
  EXPECT_EQ(packed(r.y_units), AP41_YUNITS_REFERENCE_RATIO);
  EXPECT_EQ(packed(r.BKNumScans), 10u + R);
  EXPECT_FLOAT_EQ(packed(r.BKGain), 1.0f + R);
  EXPECT_EQ(packed(r.BKBadScans), 100u + R);
  EXPECT_EQ(packed(r.BKCollectErrorMap), 200u + R);
  const std::vector<float> y = values(made);
  for (size_t i = 0; i < y.size(); ++i) EXPECT_FLOAT_EQ(y[i], static_cast<float>(v(S, i) / v(R, i)));
  destroy(made);
}

TEST_F(RatioConformed, TheResultCoversOnlyTheRangeAllShare) {
  destroy(spectra_[B]);
  // B from 1200 to 1900: the common range is 1200..1700, 6 points.
  spectra_[B] = make_axis(1200.0f, 1900.0f, {4, 5, 8, 10, 16, 20, 1, 1});
  record(spectra_[B]).y_units = AP1_YUNIT_SINGLE_BEAM;
  AP7_SPECTRUM* made = ratio(0, 1u << B);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(packed(record(made).first_x), 1200.0f);
  EXPECT_EQ(packed(record(made).last_x), 1700.0f);
  const std::vector<float> y = values(made);
  ASSERT_EQ(y.size(), 6u);
  const std::vector<float> background = values(spectra_[B]);
  for (size_t i = 0; i < y.size(); ++i)
    EXPECT_FLOAT_EQ(y[i], static_cast<float>(100.0 * v(S, i + 2) / background[i])) << "point " << i;
  destroy(made);
}

TEST_F(RatioConformed, FallingAxesAreWalkedAsTheyRun) {
  for (Role role : {S, B}) {
    record(spectra_[role]).first_x = 1700.0f;
    record(spectra_[role]).last_x = 1000.0f;
  }
  AP7_SPECTRUM* made = ratio(0, 1u << B);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(packed(record(made).first_x), 1700.0f);
  EXPECT_EQ(packed(record(made).last_x), 1000.0f);
  const std::vector<float> y = values(made);
  ASSERT_EQ(y.size(), 8u);
  for (size_t i = 0; i < y.size(); ++i) EXPECT_FLOAT_EQ(y[i], static_cast<float>(100.0 * v(S, i) / v(B, i)));
  destroy(made);
  record(spectra_[B]).first_x = 1000.0f;
  record(spectra_[B]).last_x = 1700.0f;
  EXPECT_EQ(ratio(0, 1u << B), nullptr) << "a background running the other way";
}

TEST_F(RatioConformed, RefusesMissingRequiredSpectraAndUnsharedGrids) {
  EXPECT_EQ(ratio(3, (1u << B) | (1u << R)), nullptr) << "mode 3 without E";
  EXPECT_EQ(ratio(1, 1u << B), nullptr) << "mode 1 without D";
  EXPECT_EQ(ratio(5, 1u << B), nullptr) << "mode 5 without R";
  EXPECT_EQ(ratio(0, 0), nullptr) << "no background";
  // A background at half the spacing shares the spacing key and holds
  // more points, but its points are not the sample's.
  destroy(spectra_[B]);
  spectra_[B] = make_ramp(15, 1000.0f, 1700.0f);
  record(spectra_[B]).y_units = AP1_YUNIT_SINGLE_BEAM;
  EXPECT_EQ(ratio(0, 1u << B), nullptr);
}

TEST_F(RatioConformed, TheSpectraGivenStayAsTheyWere) {
  std::vector<std::vector<float>> before;
  for (AP7_SPECTRUM* spectrum : spectra_) before.push_back(values(spectrum));
  for (uint16_t prepare : {0, 1}) {
    AP7_SPECTRUM* made = ratio(8, 0x3E, 0.5f, 0.25f, 0.125f, prepare);
    ASSERT_NE(made, nullptr) << "prepare " << prepare;
    destroy(made);
  }
  for (int role = 0; role < kRoles; ++role) {
    EXPECT_EQ(values(spectra_[role]), before[role]) << role;
    EXPECT_EQ(ap7b_TestHistoryFlag(reinterpret_cast<AP_OBJECT*>(spectra_[role]), AP41_HISTORY_SCALAR_MULTIPLY), 0);
  }
}

// Prepared, a percent transmittance reference of modes 4, 10 and 11 is
// taken as a fraction.
TEST_F(RatioConformed, APreparedTransmittanceReferenceIsTakenAsAFraction) {
  record(spectra_[R]).y_units = AP1_YUNIT_PERCENT_TRANSMITTANCE;
  AP7_SPECTRUM* made = ratio(4, (1u << B) | (1u << R), 0.0f, 0.0f, 0.0f, 1);
  ASSERT_NE(made, nullptr);
  const std::vector<float> y = values(made);
  for (size_t i = 0; i < y.size(); ++i)
    EXPECT_FLOAT_EQ(y[i], static_cast<float>(100.0 * v(S, i) * (v(R, i) / 100.0) / v(B, i))) << "point " << i;
  destroy(made);
  EXPECT_EQ(packed(record(spectra_[R]).y_units), AP1_YUNIT_PERCENT_TRANSMITTANCE);
}

class CommonRangeMulti : public SpectrumTest {};

TEST_F(CommonRangeMulti, SnapsToEveryGridAndCountsTheSamplesPoints) {
  AP7_SPECTRUM* sample = make_ramp(11, 1000.0f, 2000.0f);
  AP7_SPECTRUM* other = make_ramp(11, 1200.0f, 2200.0f);
  AP7_SPECTRUM* finer = make_ramp(41, 1000.0f, 2000.0f);  // a quarter of the spacing: the same key
  float x1 = 1240.0f;
  float x2 = 1870.0f;
  AP4_CELL first{}, last{}, first1{}, last1{}, first2{}, last2{};
  const int32_t count = ap7b_CommonRangeMulti(sample, &x1, &x2, &first, &last, other, &first1, &last1, nullptr,
                                              nullptr, nullptr, finer, &first2, &last2, nullptr, nullptr, nullptr,
                                              nullptr, nullptr, nullptr);
  // 1240..1870 snaps to the sample's 1200..1900, inside both others.
  EXPECT_EQ(count, 8);
  EXPECT_EQ(x1, 1200.0f);
  EXPECT_EQ(x2, 1900.0f);
  EXPECT_EQ(first.column, 2);
  EXPECT_EQ(last.column, 9);
  EXPECT_EQ(first1.column, 0);
  EXPECT_EQ(last1.column, 7);
  EXPECT_EQ(first2.column, 8);
  EXPECT_EQ(last2.column, 36);
  for (AP7_SPECTRUM* spectrum : {sample, other, finer}) destroy(spectrum);
}

TEST_F(CommonRangeMulti, FailsForUnrelatedSpacingsCoarserGridsAndOneCommonPoint) {
  AP7_SPECTRUM* sample = make_ramp(11, 1000.0f, 2000.0f);
  struct Case {
    const char* name;
    uint32_t points;
    float first_x, last_x;
  };
  for (const Case& c : {Case{"spacing 1.5 times", 9, 1000.0f, 2200.0f}, Case{"twice as coarse", 6, 1000.0f, 2000.0f},
                        Case{"one point in common", 11, 2000.0f, 3000.0f},
                        Case{"running the other way", 11, 2000.0f, 1000.0f}}) {
    AP7_SPECTRUM* other = make_ramp(c.points, c.first_x, c.last_x);
    float x1 = AP_NOT_GIVEN;
    float x2 = AP_NOT_GIVEN;
    AP4_CELL cells[4]{};
    EXPECT_EQ(ap7b_CommonRangeMulti(sample, &x1, &x2, &cells[0], &cells[1], other, &cells[2], &cells[3], nullptr,
                                    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                    nullptr, nullptr),
              0)
        << c.name;
    destroy(other);
  }
  float x1 = std::nanf("");
  float x2 = 1500.0f;
  AP4_CELL cells[2]{};
  EXPECT_EQ(ap7b_CommonRangeMulti(sample, &x1, &x2, &cells[0], &cells[1], nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr),
            0)
      << "a limit not a number";
  destroy(sample);
}

}  // namespace
