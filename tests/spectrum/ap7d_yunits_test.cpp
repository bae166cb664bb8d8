#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "spectrum/spectrum_fixture.h"
#include "util/util.h"

namespace {

using namespace spectrumtest;

constexpr float kNaN = NAN;

class YUnits : public SpectrumTest {
 protected:
  static AP7_SPECTRUM* spectrum_in(uint32_t y_units, const std::vector<float>& y, float gain = 1.0f) {
    AP7_SPECTRUM* spectrum = make_axis(4000.0f, 400.0f, y);
    record(spectrum).y_units = y_units;
    record(spectrum).Gain = gain;
    return spectrum;
  }

  static uint32_t convert(AP7_SPECTRUM* spectrum, uint16_t target) {
    return send(AP7_MSG_CONVERT_Y_UNITS, spectrum, &target);
  }

  static uint32_t y_units(AP7_SPECTRUM* spectrum) { return record(spectrum).y_units; }

  static bool history_bit(AP7_SPECTRUM* spectrum, int16_t bit) {
    return send(AP7_MSG_TEST_HISTORY_FLAG, spectrum, &bit) == 1;
  }

  static void force_truncation() {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, GU9_TALVO_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    const uint32_t one = 1;
    ASSERT_EQ(GU9_SetDWordKeyValue(GU9_TALVO_KEY, "TruncateAbs", &one, 4), 1);
  }
};

void expect_near_all(const std::vector<float>& actual, const std::vector<double>& expected, double tolerance) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    if (std::isnan(expected[i]))
      EXPECT_TRUE(std::isnan(actual[i])) << "point " << i;
    else
      EXPECT_NEAR(actual[i], expected[i], tolerance * std::max(1.0, std::fabs(expected[i]))) << "point " << i;
  }
}

// Absorbances and what each unit makes of them, in closed form.
const std::vector<float> kAbsorbances = {0.1f, 0.5f, 1.0f, 2.0f, kNaN};

double transmittance_of(double a) { return std::pow(10.0, -a); }
double kubelka_munk_of(double a) {
  const double r = transmittance_of(a);
  return (1 - r) * (1 - r) / (2 * r);
}

struct RoundTrip {
  uint16_t target;
  std::function<double(double)> value_of_absorbance;
  int16_t history_bit;  // set by the way there, -1 for none
};

class YUnitRoundTrips : public YUnits, public testing::WithParamInterface<RoundTrip> {};

TEST_P(YUnitRoundTrips, ReachesTheTargetAndComesBack) {
  const RoundTrip& c = GetParam();
  AP7_SPECTRUM* spectrum = spectrum_in(AP1_YUNIT_ABSORBANCE, kAbsorbances);
  ASSERT_EQ(convert(spectrum, c.target), 1u);
  EXPECT_EQ(y_units(spectrum), c.target);
  std::vector<double> expected;
  for (float a : kAbsorbances) expected.push_back(std::isnan(a) ? NAN : c.value_of_absorbance(a));
  expect_near_all(values(spectrum), expected, 1e-5);
  if (c.history_bit >= 0) {
    EXPECT_TRUE(history_bit(spectrum, c.history_bit));
  }

  ASSERT_EQ(convert(spectrum, AP1_YUNIT_ABSORBANCE), 1u);
  EXPECT_EQ(y_units(spectrum), AP1_YUNIT_ABSORBANCE);
  std::vector<double> back(kAbsorbances.begin(), kAbsorbances.end());
  expect_near_all(values(spectrum), back, 1e-5);
  destroy(spectrum);
}

INSTANTIATE_TEST_SUITE_P(
    Targets, YUnitRoundTrips,
    testing::Values(
        RoundTrip{AP1_YUNIT_PERCENT_TRANSMITTANCE, [](double a) { return 100 * transmittance_of(a); }, -1},
        RoundTrip{AP1_YUNIT_PERCENT_REFLECTANCE, [](double a) { return 100 * transmittance_of(a); }, -1},
        RoundTrip{AP1_YUNIT_TRANSMITTANCE, transmittance_of, -1},
        RoundTrip{AP1_YUNIT_REFLECTANCE, transmittance_of, -1},
        RoundTrip{AP1_YUNIT_LOG_INVERSE_R, [](double a) { return a; }, -1},
        RoundTrip{AP1_YUNIT_KUBELKA_MUNK, kubelka_munk_of, AP41_HISTORY_TO_KUBELKA_MUNK},
        RoundTrip{AP1_YUNIT_PHOTOACOUSTIC, [](double a) { return 100 * transmittance_of(a); },
                  AP41_HISTORY_TO_PHOTOACOUSTIC}),
    [](const testing::TestParamInfo<RoundTrip>& info) { return "Code" + std::to_string(info.param.target); });

TEST_F(YUnits, EachMessageConvertsThroughPercentTransmittance) {
  struct Case {
    uint16_t message;
    uint32_t from;
    float value;
    uint32_t code;
    double expected;
    int16_t history_bit;
  };
  const Case cases[] = {
      {AP7_MSG_TO_ABSORBANCE, AP1_YUNIT_TRANSMITTANCE, 0.5f, 17, -std::log10(0.5), AP41_HISTORY_TO_ABSORBANCE},
      {AP7_MSG_TO_PERCENT_TRANSMITTANCE, AP1_YUNIT_TRANSMITTANCE, 0.5f, 16, 50.0, -1},
      {AP7_MSG_TO_PERCENT_TRANSMITTANCE, AP1_YUNIT_ABSORBANCE, 2.0f, 16, 1.0, -1},
      {AP7_MSG_TO_PERCENT_TRANSMITTANCE, AP1_YUNIT_KUBELKA_MUNK, 0.25f, 16, 50.0, -1},
      {AP7_MSG_TO_PHOTOACOUSTIC, AP1_YUNIT_PERCENT_TRANSMITTANCE, 42.0f, 26, 42.0, AP41_HISTORY_TO_PHOTOACOUSTIC},
      {AP7_MSG_TO_KUBELKA_MUNK, AP1_YUNIT_PERCENT_REFLECTANCE, 50.0f, 20, 0.25, AP41_HISTORY_TO_KUBELKA_MUNK},
      {AP7_MSG_TO_PERCENT_REFLECTANCE, AP1_YUNIT_REFLECTANCE, 0.25f, 11, 25.0, -1},
      {AP7_MSG_TO_LOG_INVERSE_R, AP1_YUNIT_PERCENT_REFLECTANCE, 10.0f, 12, 1.0, AP41_HISTORY_TO_ABSORBANCE},
      {AP7_MSG_TO_LOG_INVERSE_R, AP1_YUNIT_ABSORBANCE, 0.75f, 12, 0.75, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    AP7_SPECTRUM* spectrum = spectrum_in(c.from, {c.value, kNaN});
    EXPECT_EQ(send(c.message, spectrum), 1u);
    EXPECT_EQ(y_units(spectrum), c.code);
    expect_near_all(values(spectrum), {c.expected, NAN}, 1e-6);
    for (int16_t bit : {AP41_HISTORY_TO_ABSORBANCE, AP41_HISTORY_TO_KUBELKA_MUNK, AP41_HISTORY_TO_PHOTOACOUSTIC})
      EXPECT_EQ(history_bit(spectrum, bit), bit == c.history_bit) << "bit " << bit;
    destroy(spectrum);
  }
}

TEST_F(YUnits, ASpectrumAlreadyInTheUnitIsLeftAsItIs) {
  AP7_SPECTRUM* spectrum = spectrum_in(AP1_YUNIT_ABSORBANCE, {7.0f, 0.5f});
  EXPECT_EQ(send(AP7_MSG_TO_ABSORBANCE, spectrum), 1u);
  EXPECT_EQ(convert(spectrum, AP1_YUNIT_ABSORBANCE), 1u);
  EXPECT_EQ(values(spectrum), (std::vector<float>{7.0f, 0.5f}));
  EXPECT_FALSE(history_bit(spectrum, AP41_HISTORY_TO_ABSORBANCE));
  destroy(spectrum);
}

TEST_F(YUnits, UnitsOutsideTheFamilyAreRefusedUnchanged) {
  const uint16_t messages[] = {AP7_MSG_TO_ABSORBANCE,        AP7_MSG_TO_PERCENT_TRANSMITTANCE, AP7_MSG_TO_PHOTOACOUSTIC,
                               AP7_MSG_TO_KUBELKA_MUNK,      AP7_MSG_TO_PERCENT_REFLECTANCE,   AP7_MSG_TO_LOG_INVERSE_R};
  AP7_SPECTRUM* spectrum = spectrum_in(AP1_YUNIT_SINGLE_BEAM, {3.0f, 4.0f});
  for (uint16_t message : messages) EXPECT_EQ(send(message, spectrum), 0u) << message;
  EXPECT_EQ(convert(spectrum, AP1_YUNIT_TRANSMITTANCE), 0u);
  EXPECT_EQ(y_units(spectrum), AP1_YUNIT_SINGLE_BEAM);
  EXPECT_EQ(values(spectrum), (std::vector<float>{3.0f, 4.0f}));
  destroy(spectrum);
}

TEST_F(YUnits, TargetCodesTheConversionDoesNotReach) {
  AP7_SPECTRUM* spectrum = spectrum_in(AP1_YUNIT_ABSORBANCE, {0.5f});
  EXPECT_EQ(convert(spectrum, AP1_YUNIT_SINGLE_BEAM), 0u);
  EXPECT_EQ(convert(spectrum, AP1_YUNIT_INTERFEROGRAM), 0u);
  // Other units: nothing to do.
  EXPECT_EQ(convert(spectrum, AP41_YUNITS_OTHER), 1u);
  EXPECT_EQ(y_units(spectrum), AP1_YUNIT_ABSORBANCE);
  EXPECT_EQ(values(spectrum), (std::vector<float>{0.5f}));
  destroy(spectrum);
}

TEST_F(YUnits, TransmittanceFractionsFromAbsorbanceOnceOnly) {
  AP7_SPECTRUM* spectrum = spectrum_in(AP1_YUNIT_ABSORBANCE, {0.0f, 1.0f, 2.0f});
  ASSERT_EQ(convert(spectrum, AP1_YUNIT_TRANSMITTANCE), 1u);
  EXPECT_EQ(y_units(spectrum), AP1_YUNIT_TRANSMITTANCE);
  expect_near_all(values(spectrum), {1.0, 0.1, 0.01}, 1e-6);
  ASSERT_EQ(convert(spectrum, AP1_YUNIT_TRANSMITTANCE), 1u);
  expect_near_all(values(spectrum), {1.0, 0.1, 0.01}, 1e-6);
  destroy(spectrum);
}

// The clamped forms hold absorbance at 6 (whole gain) or 8 (other gains);
// the untruncated forms keep it.
TEST_F(YUnits, TruncationAndGainPickTheLimits) {
  struct Case {
    float gain;
    uint16_t truncate;
    double percent;
    double back;
  };
  const Case cases[] = {
      {1.0f, 1, 0.0001, 6.0},
      {kNaN, 1, 0.0001, 6.0},  // a missing gain counts as 0, a whole number
      {1.5f, 1, 1e-5, 7.0},
      {1.0f, 0, 1e-5, 7.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "gain " << c.gain << " truncate " << c.truncate);
    AP7_SPECTRUM* spectrum = spectrum_in(AP1_YUNIT_ABSORBANCE, {7.0f}, c.gain);
    ASSERT_EQ(ap7d_ConvertYUnitsEx(spectrum, AP1_YUNIT_PERCENT_TRANSMITTANCE, c.truncate), 1u);
    expect_near_all(values(spectrum), {c.percent}, 1e-5);
    ASSERT_EQ(ap7d_ConvertYUnitsEx(spectrum, AP1_YUNIT_ABSORBANCE, c.truncate), 1u);
    expect_near_all(values(spectrum), {c.back}, 1e-5);
    destroy(spectrum);
  }
}

TEST_F(YUnits, TheProductSettingForcesTruncation) {
  force_truncation();
  AP7_SPECTRUM* spectrum = spectrum_in(AP1_YUNIT_ABSORBANCE, {7.0f});
  ASSERT_EQ(ap7d_ConvertYUnitsEx(spectrum, AP1_YUNIT_PERCENT_TRANSMITTANCE, 0), 1u);
  expect_near_all(values(spectrum), {0.0001}, 1e-5);
  destroy(spectrum);
}

TEST_F(YUnits, ConversionMarksTheSpectrumChanged) {
  AP7_SPECTRUM* spectrum = spectrum_in(AP1_YUNIT_ABSORBANCE, {1.0f});
  AP_WORDPARM saved{0};
  ASSERT_EQ(send(AP_MSG_SET_CHANGE_STATE, spectrum, &saved), 1u);
  ASSERT_EQ(send(AP7_MSG_TO_PERCENT_TRANSMITTANCE, spectrum), 1u);
  EXPECT_EQ(static_cast<int16_t>(send(AP_MSG_GET_CHANGE_STATE, spectrum)), AP2_CHANGED);
  destroy(spectrum);
}

TEST_F(YUnits, NullSpectrumGivesZero) {
  EXPECT_EQ(ap7d_ConvertYUnitsEx(nullptr, AP1_YUNIT_ABSORBANCE, 1), 0u);
  EXPECT_EQ(ap7b_ConvertToAbsorbance(nullptr, 1), 0u);
  EXPECT_EQ(ap7d_PrependTitle(nullptr, "x"), 0u);
}

TEST_F(YUnits, PrependTitleCutsTheOldTitleToFit) {
  AP7_SPECTRUM* spectrum = spectrum_in(AP1_YUNIT_ABSORBANCE, {1.0f});
  const std::string old_title(250, 'o');
  const std::string prefix(20, 'p');
  std::snprintf(record(spectrum).title, sizeof record(spectrum).title, "%s", old_title.c_str());
  EXPECT_EQ(send(AP7_MSG_PREPEND_TITLE, spectrum, const_cast<char*>(prefix.c_str())), 1u);
  EXPECT_EQ(std::string(record(spectrum).title), prefix + old_title.substr(0, 235));
  destroy(spectrum);
}

}  // namespace

// Callers that put the unit back afterwards learn whether values changed.
TEST_F(YUnits, ToTransmittanceAnswersWhetherItConverted) {
  AP7_SPECTRUM* spectrum = spectrum_in(AP1_YUNIT_ABSORBANCE, {1.0f, 2.0f});
  EXPECT_NE(ap7b_ToTransmittance(spectrum, 0), 0);
  EXPECT_EQ(y_units(spectrum), AP1_YUNIT_PERCENT_TRANSMITTANCE);
  const std::vector<float> y = values(spectrum);
  EXPECT_FLOAT_EQ(y[0], 10.0f);  // 100 · 10^-1
  EXPECT_FLOAT_EQ(y[1], 1.0f);   // 100 · 10^-2
  EXPECT_EQ(ap7b_ToTransmittance(spectrum, 0), 0) << "already percent transmittance";
  record(spectrum).y_units = AP1_YUNIT_SINGLE_BEAM;
  EXPECT_EQ(ap7b_ToTransmittance(spectrum, 0), 0) << "outside the family";
  EXPECT_EQ(ap7b_ToTransmittance(nullptr, 0), 0);
  destroy(spectrum);
}
