// Atmospheric suppression on a synthetic sample: two sample bands with
// water-vapour and carbon-dioxide lines of a reference added in known
// amounts; the bridged references, the scaled subtraction, the match flag,
// the bridge's windows and the snapping of an axis to the laser grid.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "processing_fixture.h"

using namespace spectrumtest;

namespace {

constexpr float kLaser = 15798.0f;
// Twice the standard spacing, from point 65 of its grid: 501.4 to 4196.6.
constexpr double kSpacing = kLaser / 2048.0;
constexpr int kFirstIndex = 65;
constexpr uint32_t kPoints = 480;
constexpr double kWaterAmount = 0.3;
constexpr double kCO2Amount = 0.5;

double gaussian(double x, double centre, double sigma) {
  const double z = (x - centre) / sigma;
  return std::exp(-0.5 * z * z);
}

// Narrow lines, each well inside the bands its reference keeps.
double water(double x) {
  double sum = 0.0;
  for (double centre : {1350.0, 1450.0, 1520.0, 1600.0, 1700.0, 1800.0, 1900.0, 2000.0})
    sum += 0.8 * gaussian(x, centre, 5.0);
  for (double centre : {3450.0, 3520.0, 3610.0, 3700.0, 3790.0, 3880.0, 3950.0}) sum += gaussian(x, centre, 5.0);
  return sum;
}
double co2(double x) { return gaussian(x, 2330.0, 6.0) + 0.7 * gaussian(x, 2360.0, 6.0) + gaussian(x, 667.0, 5.0); }
// The sample's own bands, far from the fit windows.
double sample_bands(double x) { return gaussian(x, 2900.0, 60.0) + 0.8 * gaussian(x, 1100.0, 40.0); }

double x_at(uint32_t i, double spacing = kSpacing, int first_index = kFirstIndex) {
  return (first_index + static_cast<double>(i)) * spacing;
}

class Atmosphere : public ProcessingTest {
 protected:
  // An absorbance spectrum on the laser grid made of a function.
  template <typename F>
  AP7_SPECTRUM* absorbance_of(F f, double spacing = kSpacing, int first_index = kFirstIndex,
                              uint32_t n = kPoints) {
    std::vector<float> y(n);
    for (uint32_t i = 0; i < n; ++i) y[i] = static_cast<float>(f(x_at(i, spacing, first_index)));
    AP7_SPECTRUM* spectrum = keep(make_axis(static_cast<float>(x_at(0, spacing, first_index)),
                                            static_cast<float>(x_at(n - 1, spacing, first_index)), y));
    record(spectrum).x_units = kWavenumbers;
    record(spectrum).y_units = kAbsorbance;
    record(spectrum).LaserFreq = kLaser;
    return spectrum;
  }
  AP7_SPECTRUM* reference(double spacing = kSpacing, int first_index = kFirstIndex, uint32_t n = kPoints) {
    return absorbance_of([](double x) { return water(x) + co2(x); }, spacing, first_index, n);
  }
  // The sample in percent transmittance.
  AP7_SPECTRUM* sample() {
    AP7_SPECTRUM* spectrum = absorbance_of(
        [](double x) { return sample_bands(x) + kWaterAmount * water(x) + kCO2Amount * co2(x); });
    std::vector<float> y = values(spectrum);
    for (float& v : y) v = static_cast<float>(100.0 * std::pow(10.0, -double{v}));
    put_values(spectrum, y);
    record(spectrum).y_units = kPercentT;
    std::strcpy(record(spectrum).title, "Sample");
    return spectrum;
  }
  // The absorbance of a result in percent transmittance, against what is
  // expected at each point; the largest difference.
  template <typename F>
  static double largest_error(AP7_SPECTRUM* result, F expected) {
    const std::vector<float> y = values(result);
    double worst = 0.0;
    for (uint32_t i = 0; i < y.size(); ++i)
      worst = std::max(worst, std::fabs(-std::log10(y[i] / 100.0) - expected(x_at(i))));
    return worst;
  }
};

void add_suppression_texts() {
  utiltest::ModuleBuilder builder;
  builder.group(AP7_GROUP_TITLE_PREFIX, {{AP7_TITLE_SUPPRESSED, "Suppressed: ", 0}});
  builder.group(AP7_GROUP_HISTORY, {{AP7E_HISTORY_WATER, "Water suppressed ", 0},
                                    {AP7E_HISTORY_CO2, "CO2 suppressed ", 0},
                                    {AP7E_HISTORY_REFERENCE_FORMAT, "Reference [%s] in %s", 0}});
  builder.group(AP7E_GROUP_YUNIT_NAMES, {{kAbsorbance, "Absorbance", 0}});
  utiltest::add_resource_module("suppression.dll", builder);
}

}  // namespace

TEST_F(Atmosphere, SuppressingBothLeavesTheSampleBands) {
  add_suppression_texts();
  AP7_SPECTRUM* atmosphere = reference();
  AP7_SPECTRUM* mixed = sample();
  const std::vector<float> before = values(mixed);

  AP7E_SUPPRESSPARM block{atmosphere, 0};
  AP7_SPECTRUM* result = keep(ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_SUPPRESS_ATMOSPHERE, mixed, &block)));
  ASSERT_NE(result, nullptr);

  EXPECT_EQ(packed(record(result).y_units), kPercentT);
  EXPECT_EQ(packed(record(result).points), kPoints);
  EXPECT_LT(largest_error(result, sample_bands), 2e-3);
  EXPECT_STREQ(record(result).title, "Suppressed: Sample");
  EXPECT_EQ(ap7b_TestHistoryFlag(reinterpret_cast<AP_OBJECT*>(result), AP41_HISTORY_WATER_SUPPRESSED), 1u);
  EXPECT_EQ(ap7b_TestHistoryFlag(reinterpret_cast<AP_OBJECT*>(result), AP41_HISTORY_CO2_SUPPRESSED), 1u);
  const std::string history = text_of(result->history);
  EXPECT_NE(history.find("Water suppressed "), std::string::npos);
  EXPECT_NE(history.find("CO2 suppressed "), std::string::npos);
  EXPECT_NE(history.find("Reference [] in Absorbance\r\n"), std::string::npos);
  EXPECT_EQ(values(mixed), before);
}

TEST_F(Atmosphere, EachGasAloneRemovesOnlyItsLines) {
  AP7_SPECTRUM* atmosphere = reference();
  AP7_SPECTRUM* mixed = sample();

  AP7_SPECTRUM* dry = keep(ap7e_SuppressWater(mixed, atmosphere, 0));
  ASSERT_NE(dry, nullptr);
  EXPECT_LT(largest_error(dry, [](double x) { return sample_bands(x) + kCO2Amount * co2(x); }), 2e-3);
  EXPECT_EQ(ap7b_TestHistoryFlag(reinterpret_cast<AP_OBJECT*>(dry), AP41_HISTORY_CO2_SUPPRESSED), 0u);

  AP7_SPECTRUM* no_co2 = keep(ap7e_SuppressCO2(mixed, atmosphere, 0));
  ASSERT_NE(no_co2, nullptr);
  EXPECT_LT(largest_error(no_co2, [](double x) { return sample_bands(x) + kWaterAmount * water(x); }), 2e-3);
}

// The match flag brings the reference to the sample's grid first: a
// reference taken at half the spacing is unusable as it is, usable matched.
TEST_F(Atmosphere, MatchFlagMatchesTheReferenceToTheSample) {
  AP7_SPECTRUM* mixed = sample();
  AP7_SPECTRUM* same_grid = reference();
  AP7_SPECTRUM* as_is = keep(ap7e_SuppressWater(mixed, same_grid, 0));
  AP7_SPECTRUM* matched = keep(ap7e_SuppressWater(mixed, same_grid, 1));
  ASSERT_NE(as_is, nullptr);
  ASSERT_NE(matched, nullptr);
  EXPECT_EQ(values(matched), values(as_is));

  AP7_SPECTRUM* fine = reference(kSpacing / 2, 2 * kFirstIndex, 2 * kPoints - 1);
  EXPECT_EQ(ap7e_SuppressWater(mixed, fine, 0), nullptr);
  AP7_SPECTRUM* from_fine = keep(ap7e_SuppressWater(mixed, fine, 1));
  ASSERT_NE(from_fine, nullptr);
  EXPECT_LT(largest_error(from_fine, [](double x) { return sample_bands(x) + kCO2Amount * co2(x); }), 2e-2);

  AP7_SPECTRUM* by_message = keep(ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_MATCH_REFERENCE, mixed, fine)));
  ASSERT_NE(by_message, nullptr);
  EXPECT_FLOAT_EQ(ap7b_GetXSpacing(by_message), ap7b_GetXSpacing(mixed));
}

TEST_F(Atmosphere, ReferencesKeepOnlyTheirGasBands) {
  AP7_SPECTRUM* atmosphere = reference();
  AP7_SPECTRUM* water_ref = nullptr;
  AP7_SPECTRUM* co2_ref = nullptr;
  AP7E_REFERENCESPARM block{0, &water_ref, &co2_ref};
  ASSERT_EQ(send(AP7_MSG_BUILD_ATMOS_REFERENCES, atmosphere, &block), 1u);
  keep(water_ref);
  keep(co2_ref);
  ASSERT_NE(water_ref, nullptr);
  ASSERT_NE(co2_ref, nullptr);
  const std::vector<float> w = values(water_ref);
  const std::vector<float> c = values(co2_ref);
  for (uint32_t i = 0; i < kPoints; ++i) {
    EXPECT_NEAR(w[i], water(x_at(i)), 1e-5) << x_at(i);
    EXPECT_NEAR(c[i], co2(x_at(i)), 1e-5) << x_at(i);
  }

  // Only the pointer given is written; none given, nothing is built.
  AP7_SPECTRUM* only_co2 = nullptr;
  ASSERT_EQ(ap7e_BuildAtmosReferences(atmosphere, nullptr, &only_co2), 1u);
  keep(only_co2);
  EXPECT_NE(only_co2, nullptr);
  EXPECT_EQ(ap7e_BuildAtmosReferences(atmosphere, nullptr, nullptr), 0u);

  // Grid point i lies at i x 7.714 cm-1: the reference's ends decide which
  // references it can give.
  struct Case {
    const char* what;
    int first_index;
    int last_index;
    bool water;
    bool co2;
  };
  const Case cases[] = {
      {"ends below 3990", 65, 516, false, true},               // 501.4 to 3980.4
      {"ends between 3990 and 4000", 65, 518, true, true},     // to 3995.9
      {"starts between 1250 and 1260", 163, 560, true, false}, // 1257.4 to 4319.8
      {"starts above 1260", 165, 560, false, false},           // 1272.8
      {"ends between 2440 and 2450", 65, 317, false, true},    // to 2445.4
      {"ends below 2440", 65, 316, false, false},              // to 2437.7
  };
  for (const Case& k : cases) {
    AP7_SPECTRUM* part = reference(kSpacing, k.first_index, static_cast<uint32_t>(k.last_index - k.first_index + 1));
    AP7_SPECTRUM* w_out = nullptr;
    AP7_SPECTRUM* c_out = nullptr;
    EXPECT_EQ(ap7e_BuildAtmosReferences(part, &w_out, nullptr) != 0, k.water) << k.what;
    keep(w_out);
    EXPECT_EQ(w_out != nullptr, k.water) << k.what;
    EXPECT_EQ(ap7e_BuildAtmosReferences(part, nullptr, &c_out) != 0, k.co2) << k.what;
    keep(c_out);
    // Both asked for: all or nothing.
    AP7_SPECTRUM* both_w = nullptr;
    AP7_SPECTRUM* both_c = nullptr;
    EXPECT_EQ(ap7e_BuildAtmosReferences(part, &both_w, &both_c) != 0, k.water && k.co2) << k.what;
    keep(both_w);
    keep(both_c);
    EXPECT_EQ(both_w != nullptr, k.water && k.co2) << k.what;
  }
}

TEST_F(Atmosphere, SubtractionOfAFlatReferenceFailsAndAMissedWindowCopies) {
  AP7_SPECTRUM* mixed = sample();
  AP7_SPECTRUM* flat = absorbance_of([](double) { return 0.2; });
  EXPECT_EQ(ap7e_SubtractReference(mixed, flat, 3400.0f, 4000.0f), nullptr);

  AP7_SPECTRUM* copy = keep(ap7e_SubtractReference(mixed, reference(), 9000.0f, 9500.0f));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(values(copy), values(mixed));
  EXPECT_EQ(packed(record(copy).y_units), kPercentT);
}

// The ends of the bridged stretch take the 9-point means around them; the
// stretch between is a straight line; nothing outside the windows moves.
TEST_F(Atmosphere, BridgeSmoothsItsEndsAndDrawsALine) {
  const std::vector<float> y = {5, 1, 4, 1, 5, 9, 2, 6, 5, 3, 5, 8, 9, 7, 9, 3, 2, 3, 8, 4};
  AP7_SPECTRUM* spectrum = keep(make_axis(100.0f, 119.0f, y));
  ASSERT_EQ(ap7e_BridgeRegion(spectrum, 0.0f, 1000.0f), 1u);
  const std::vector<float> out = values(spectrum);
  float start_mean = 0.0f;
  float end_mean = 0.0f;
  for (int k = 0; k < 9; ++k) {
    start_mean += y[k] / 9.0f;
    end_mean += y[11 + k] / 9.0f;
  }
  EXPECT_NEAR(out[4], start_mean, 1e-5);
  EXPECT_NEAR(out[15], end_mean, 1e-5);
  for (int i = 5; i < 15; ++i) EXPECT_NEAR(out[i], start_mean + (end_mean - start_mean) * (i - 4) / 11.0f, 1e-5) << i;
  for (int i : {0, 1, 2, 3, 16, 17, 18, 19}) EXPECT_EQ(out[i], y[i]) << i;

  // Nine points leave no stretch 4 points inside both ends.
  AP7_SPECTRUM* short_one = keep(make_axis(100.0f, 108.0f, {1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(ap7e_BridgeRegion(short_one, 0.0f, 1000.0f), 1u);
  EXPECT_EQ(values(short_one), (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

// Snapping ends for every spacing and X: a spacing no grid step matches,
// a falling axis, limits that are no number or far beyond any grid.
TEST_F(Atmosphere, SnapToTheLaserGridEndsForAnyAxis) {
  const double step = kLaser / 2048.0;
  struct Case {
    const char* what;
    double first_x;
    double last_x;
    uint32_t n;
    uint16_t result;
    double snapped_first;
  };
  const Case cases[] = {
      {"on the grid", 100 * step, 149 * step, 50, 1, 100 * step},
      {"a third of a step off", 100.3 * step, 149.3 * step, 50, 1, 100 * step},
      {"falling", 149.3 * step, 100.3 * step, 50, 1, 149 * step},
      {"spacing of no grid step", 1000.0, 1245.0, 50, 0, 1000.0},
      {"spacing beyond every grid step", 0.0, 4.9e31, 50, 0, 0.0},
      {"point count off the grid", 100 * step, 200.9 * step, 101, 0, 100 * step},
  };
  for (const Case& c : cases) {
    AP7_SPECTRUM* spectrum = keep(make_ramp(c.n, static_cast<float>(c.first_x), static_cast<float>(c.last_x)));
    record(spectrum).x_units = kWavenumbers;
    record(spectrum).LaserFreq = kLaser;
    EXPECT_EQ(ap7e_SnapXAxisToLaserGrid(spectrum), c.result) << c.what;
    EXPECT_NEAR(packed(record(spectrum).first_x), static_cast<float>(c.snapped_first),
                std::fabs(c.snapped_first) * 1e-6)
        << c.what;
  }
  AP7_SPECTRUM* no_number = keep(make_ramp(50, std::nanf(""), 200.0f));
  record(no_number).x_units = kWavenumbers;
  EXPECT_EQ(ap7e_SnapXAxisToLaserGrid(no_number), 0u);
  AP7_SPECTRUM* raman = keep(make_ramp(50, 100.3f, 149.3f));
  record(raman).x_units = AP41_XUNITS_RAMAN_SHIFT;
  EXPECT_EQ(ap7e_SnapXAxisToLaserGrid(raman), 1u);
  EXPECT_EQ(packed(record(raman).first_x), 100.3f);
}
