// Division and multiplication by a reference brought onto the spectrum's
// grid, and the regrids. References are straight lines, which the spline
// resampling reproduces exactly, so every expected value is the line's
// value at the X worked in the test.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

bool history_bit(AP7_SPECTRUM* spectrum, int16_t bit) {
  return ap7b_TestHistoryFlag(reinterpret_cast<AP_OBJECT*>(spectrum), bit) != 0;
}

// y = a + b·x on n points from x0 at the step.
AP7_SPECTRUM* line(float x0, float step, uint32_t n, double a, double b) {
  std::vector<float> y(n);
  for (uint32_t k = 0; k < n; ++k) y[k] = static_cast<float>(a + b * (x0 + step * static_cast<double>(k)));
  return make_axis(x0, x0 + step * static_cast<float>(n - 1), y);
}

class Reference : public SpectrumTest {
 protected:
  static AP7_SPECTRUM* by_reference(uint16_t message, AP7_SPECTRUM* spectrum, AP7_SPECTRUM* reference,
                                    int16_t keep_units) {
    AP7_REFERENCEPARM parameter{reference, keep_units};
    return ap_result_object<AP7_SPECTRUM>(send(message, spectrum, &parameter));
  }
};

// A = 1..11 over 1000..1010; R = 2 + x/100 (values 12..12.2 there).
TEST_F(Reference, ASameSpacedWiderReferenceIsCutToTheSpectrumAndDivided) {
  AP7_SPECTRUM* a = make_ramp(11, 1000.0f, 1010.0f);
  AP7_SPECTRUM* r = line(990.0f, 1.0f, 31, 2.0, 0.01);
  AP7_SPECTRUM* q = by_reference(AP7_MSG_REFERENCE_DIVIDE, a, r, 1);
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(packed(record(q).points), 11u);
  EXPECT_EQ(packed(record(q).first_x), 1000.0f);
  EXPECT_EQ(packed(record(q).last_x), 1010.0f);
  const std::vector<float> y = values(q);
  for (int k = 0; k < 11; ++k) EXPECT_FLOAT_EQ(y[k], static_cast<float>((k + 1) / (2.0 + (1000.0 + k) / 100.0))) << k;
  EXPECT_TRUE(history_bit(q, AP41_HISTORY_REFERENCE_DIVIDE));
  EXPECT_FALSE(history_bit(q, AP41_HISTORY_INTERPOLATED)) << "no resampling for equal spacings";
  EXPECT_EQ(values(r).size(), 31u) << "the reference stays whole";
  destroy(q);
  destroy(r);
  destroy(a);
}

TEST_F(Reference, AReferenceOnAnotherGridIsResampledOntoTheSpectrums) {
  AP7_SPECTRUM* a = make_ramp(11, 1000.0f, 1010.0f);
  AP7_SPECTRUM* r = line(990.0f, 0.5f, 61, 2.0, 0.01);
  AP7_SPECTRUM* product = by_reference(AP7_MSG_REFERENCE_MULTIPLY, a, r, 1);
  ASSERT_NE(product, nullptr);
  const std::vector<float> y = values(product);
  ASSERT_EQ(y.size(), 11u);
  for (int k = 0; k < 11; ++k) EXPECT_FLOAT_EQ(y[k], static_cast<float>((k + 1) * (2.0 + (1000.0 + k) / 100.0))) << k;
  EXPECT_TRUE(history_bit(product, AP41_HISTORY_REFERENCE_DIVIDE));
  destroy(product);
  destroy(r);
  destroy(a);
}

TEST_F(Reference, TheQuotientTakesTheReferencesUnitsUnlessAskedToKeepItsOwn) {
  AP7_SPECTRUM* a = make_ramp(5, 100.0f, 104.0f);
  record(a).y_units = AP1_YUNIT_SINGLE_BEAM;
  record(a).x_units = AP1_XUNIT_WAVENUMBERS;
  AP7_SPECTRUM* r = line(100.0f, 1.0f, 5, 1.0, 0.0);
  record(r).y_units = AP1_YUNIT_REFERENCE;
  record(r).x_units = AP41_XUNITS_RAMAN_SHIFT;
  for (int16_t keep : {0, 1}) {
    AP7_SPECTRUM* q = by_reference(AP7_MSG_REFERENCE_DIVIDE, a, r, keep);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(packed(record(q).y_units), keep ? AP1_YUNIT_SINGLE_BEAM : AP1_YUNIT_REFERENCE);
    EXPECT_EQ(packed(record(q).x_units), keep ? AP1_XUNIT_WAVENUMBERS : AP41_XUNITS_RAMAN_SHIFT);
    destroy(q);
  }
  destroy(r);
  destroy(a);
}

TEST_F(Reference, AFallingSpectrumIsDividedByAReferenceOnAnotherGrid) {
  AP7_SPECTRUM* a = make_ramp(11, 1010.0f, 1000.0f);
  AP7_SPECTRUM* r = line(990.0f, 0.5f, 61, 2.0, 0.01);
  AP7_SPECTRUM* q = by_reference(AP7_MSG_REFERENCE_DIVIDE, a, r, 1);
  ASSERT_NE(q, nullptr);
  const std::vector<float> y = values(q);
  ASSERT_EQ(y.size(), 11u);
  for (int k = 0; k < 11; ++k) EXPECT_FLOAT_EQ(y[k], static_cast<float>((k + 1) / (2.0 + (1010.0 - k) / 100.0))) << k;
  destroy(q);
  destroy(r);
  destroy(a);
}

TEST_F(Reference, NoReferenceNoQuotient) {
  AP7_SPECTRUM* a = make_ramp(5, 100.0f, 104.0f);
  EXPECT_EQ(by_reference(AP7_MSG_REFERENCE_DIVIDE, a, nullptr, 0), nullptr);
  EXPECT_EQ(ap7d_ReferenceMultiply(nullptr, a, 0), nullptr);
  destroy(a);
}

// ---------------------------------------------------------------------------
// Regrids

class ReferenceRegrid : public SpectrumTest {};

TEST_F(ReferenceRegrid, ARangeIsSampledFromItsLowerEndAtTheSpacing) {
  AP7_SPECTRUM* s = line(0.0f, 1.0f, 21, 3.0, 0.5);
  AP7_SPECTRUM* regridded = ap7d_RegridRange(s, 12.0f, 4.0f, 0.25f);
  ASSERT_NE(regridded, nullptr);
  EXPECT_EQ(packed(record(regridded).points), 33u);  // trunc(8 / 0.25 + 1.5)
  EXPECT_EQ(packed(record(regridded).first_x), 4.0f);
  EXPECT_EQ(packed(record(regridded).last_x), 12.0f);
  const std::vector<float> y = values(regridded);
  for (int k = 0; k < 33; ++k) EXPECT_FLOAT_EQ(y[k], static_cast<float>(3.0 + 0.5 * (4.0 + 0.25 * k))) << k;
  EXPECT_TRUE(history_bit(regridded, AP41_HISTORY_INTERPOLATED));
  EXPECT_EQ(values(s).size(), 21u) << "the spectrum stays as it was";
  destroy(regridded);
  destroy(s);
}

// The count of points divides by the spacing: 0, below 0 or not a number
// is refused (d + 1.5 alone would let 0 through).
TEST_F(ReferenceRegrid, SpacingsThatAreNotPositiveNumbersAreRefused) {
  AP7_SPECTRUM* s = line(0.0f, 1.0f, 21, 3.0, 0.5);
  for (float spacing : {0.0f, -1.5f, -0.25f, AP1_GetNaNSG_MATH(), INFINITY})
    EXPECT_EQ(ap7d_RegridRange(s, 4.0f, 12.0f, spacing), nullptr) << spacing;
  EXPECT_EQ(ap7d_RegridRange(s, 4.0f, 4.4f, 1.0f), nullptr) << "less than half a step: one point";
  EXPECT_EQ(ap7d_RegridRange(s, AP1_GetNaNSG_MATH(), 4.0f, 1.0f), nullptr);
  destroy(s);
}

// G = 15798/4096 · 2^k, the largest not above the spacing; the range runs
// over its multiples: trunc(x1 / G + 0.99)·G to trunc(x2 / G)·G.
TEST_F(ReferenceRegrid, TheLaserSpacingIsTheLargestStandardStepNotAboveTheSpacing) {
  struct Case {
    const char* name;
    float spacing;
    double grid;
  };
  const double standard = 15798.0 / 4096.0;
  for (const Case& c : {Case{"exactly twice the standard", static_cast<float>(2 * standard), 2 * standard},
                        Case{"between one and two", 5.0f, standard}, Case{"below the standard", 1.0f, standard / 4},
                        Case{"exactly half", static_cast<float>(standard / 2), standard / 2}}) {
    AP7_SPECTRUM* s = line(1000.0f, c.spacing, 200, 7.0, 0.01);
    AP7_SPECTRUM* regridded = ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_REGRID_TO_LASER_SPACING, s));
    ASSERT_NE(regridded, nullptr) << c.name;
    const double last = 1000.0 + c.spacing * 199.0;
    const double x1 = std::trunc(1000.0 / c.grid + 0.99) * c.grid;
    const double x2 = std::trunc(last / c.grid) * c.grid;
    const auto n = static_cast<uint32_t>(std::trunc((x2 - x1) / c.grid + 1.5));
    EXPECT_FLOAT_EQ(packed(record(regridded).first_x), static_cast<float>(x1)) << c.name;
    EXPECT_EQ(packed(record(regridded).points), n) << c.name;
    EXPECT_NEAR(ap7b_GetXSpacing(regridded), c.grid, 1e-4) << c.name;
    const std::vector<float> y = values(regridded);
    EXPECT_NEAR(y[n / 2], 7.0 + 0.01 * (x1 + c.grid * (n / 2)), 1e-4) << c.name;
    destroy(regridded);
    destroy(s);
  }
}

TEST_F(ReferenceRegrid, AFallingAxisIsRegriddedOnTheSizeOfItsSpacing) {
  AP7_SPECTRUM* rising = line(1000.0f, 5.0f, 100, 7.0, 0.01);
  AP7_SPECTRUM* falling = line(1495.0f, -5.0f, 100, 7.0, 0.01);
  AP7_SPECTRUM* a = ap7d_RegridToLaserSpacing(rising);
  AP7_SPECTRUM* b = ap7d_GetDataSpacing(falling);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(packed(record(a).first_x), packed(record(b).first_x));
  EXPECT_EQ(packed(record(a).points), packed(record(b).points));
  const std::vector<float> ya = values(a);
  const std::vector<float> yb = values(b);
  for (size_t k = 0; k < ya.size(); ++k) EXPECT_NEAR(ya[k], yb[k], 1e-5) << k;
  destroy(a);
  destroy(b);
  destroy(falling);
  destroy(rising);
}

// A spacing of 0 or not a number would double or halve the step for ever.
TEST_F(ReferenceRegrid, NoSpacingNoLaserGrid) {
  AP7_SPECTRUM* flat = make_axis(1000.0f, 1000.0f, {1, 2, 3, 4});
  EXPECT_EQ(send(AP7_MSG_REGRID_TO_LASER_SPACING, flat), 0u);
  record(flat).last_x = AP1_GetNaNSG_MATH();
  EXPECT_EQ(send(AP7_MSG_REGRID_TO_LASER_SPACING, flat), 0u);
  destroy(flat);
}

}  // namespace
