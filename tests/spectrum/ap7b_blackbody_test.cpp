// The black-body reference spectrum against Planck's law in wavenumbers,
// written out here in cgs units: 2hc²·ν³ / (exp(hcν / kT) - 1).
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

double planck(double wavenumber, double temperature) {
  const double h_c = 1.9864818e-16;  // erg·cm
  const double k = 1.3807e-16;       // erg/K
  return 3.7418336e-5 * wavenumber * wavenumber * wavenumber / (std::exp(h_c * wavenumber / (k * temperature)) - 1.0);
}

class BlackBody : public SpectrumTest {
 protected:
  static AP7_SPECTRUM* request(float x1, float x2, float spacing, float temperature) {
    uint16_t class_id = AP7_CLASS_ID;
    AP7_BLACKBODYPARM parameter{x1, x2, spacing, temperature};
    return ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_NEW_FOR_SPACING, &class_id, &parameter));
  }
};

TEST_F(BlackBody, FollowsPlancksLawOverTheGrid) {
  for (double temperature : {1570.0, 1870.0, 2370.0}) {
    AP7_SPECTRUM* curve = request(400.0f, 4000.0f, 4.0f, static_cast<float>(temperature));
    ASSERT_NE(curve, nullptr);
    const AP41_HEADERDATA& r = record(curve);
    EXPECT_EQ(packed(r.points), 901u);
    EXPECT_EQ(packed(r.first_x), 400.0f);
    EXPECT_EQ(packed(r.last_x), 4000.0f);
    EXPECT_EQ(packed(r.y_units), AP1_YUNIT_REFERENCE);
    EXPECT_EQ(packed(r.x_units), AP1_XUNIT_WAVENUMBERS);
    const std::vector<float> y = values(curve);
    ASSERT_EQ(y.size(), 901u);
    for (size_t k = 0; k < y.size(); k += 50) {
      const double expected = planck(400.0 + 4.0 * k, temperature);
      EXPECT_NEAR(y[k], expected, 1e-6 * expected) << temperature << " K, point " << k;
    }
    destroy(curve);
  }
}

TEST_F(BlackBody, AGridFromZeroStartsWithNoRadiance) {
  AP7_SPECTRUM* curve = request(0.0f, 100.0f, 10.0f, 1870.0f);
  ASSERT_NE(curve, nullptr);
  const std::vector<float> y = values(curve);
  ASSERT_EQ(y.size(), 11u);
  EXPECT_EQ(y[0], 0.0f);
  EXPECT_NEAR(y[1], planck(10.0, 1870.0), 1e-6 * planck(10.0, 1870.0));
  destroy(curve);
}

// n = trunc((x2 - x1) / spacing + 1.5) must be at least 2; a spacing or
// temperature that is not a positive number makes no curve.
TEST_F(BlackBody, RefusesGridsOfFewerThanTwoPointsAndBadArguments) {
  struct Case {
    const char* name;
    float x1, x2, spacing, temperature;
  };
  const float nan = AP1_GetNaNSG_MATH();
  for (const Case& c : {Case{"one point", 400.0f, 401.0f, 4.0f, 1870.0f}, Case{"no spacing", 400.0f, 500.0f, 0.0f, 1870.0f},
                        Case{"spacing not a number", 400.0f, 500.0f, nan, 1870.0f},
                        Case{"temperature 0", 400.0f, 500.0f, 4.0f, 0.0f},
                        Case{"temperature below 0", 400.0f, 500.0f, 4.0f, -5.0f},
                        Case{"too many points", 0.0f, 1e9f, 1.0f, 1870.0f}}) {
    EXPECT_EQ(request(c.x1, c.x2, c.spacing, c.temperature), nullptr) << c.name;
  }
  EXPECT_EQ(ap7b_NewForSpacing(AP4_CLASS_ID, 400.0f, 500.0f, 4.0f, 1870.0f), nullptr) << "not the spectrum class";
}

}  // namespace
