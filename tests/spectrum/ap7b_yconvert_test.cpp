#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

// Every unit of the family holding the same sample, a reflectance or
// transmittance of 1/4, in closed form: percent 25, absorbance and
// log(1/R) -log10(0.25), Kubelka-Munk (1 - 0.25)^2 / (2 x 0.25) = 1.125.
const double kAbsorbance = -std::log10(0.25);

struct Unit {
  uint32_t code;
  double value;
};

const Unit kUnits[] = {
    {AP1_YUNIT_PERCENT_REFLECTANCE, 25.0}, {AP1_YUNIT_LOG_INVERSE_R, kAbsorbance},
    {AP1_YUNIT_PERCENT_TRANSMITTANCE, 25.0}, {AP1_YUNIT_ABSORBANCE, kAbsorbance},
    {AP1_YUNIT_KUBELKA_MUNK, 1.125},         {AP1_YUNIT_REFLECTANCE, 0.25},
    {AP1_YUNIT_TRANSMITTANCE, 0.25},         {AP1_YUNIT_PHOTOACOUSTIC, 25.0},
};

struct Message {
  uint16_t number;
  uint32_t code;
  double value;
  int16_t history_bit;  // set on the way unless the spectrum starts there
};

const Message kMessages[] = {
    {AP7_MSG_TO_ABSORBANCE, AP1_YUNIT_ABSORBANCE, kAbsorbance, AP41_HISTORY_TO_ABSORBANCE},
    {AP7_MSG_TO_PERCENT_TRANSMITTANCE, AP1_YUNIT_PERCENT_TRANSMITTANCE, 25.0, -1},
    {AP7_MSG_TO_PHOTOACOUSTIC, AP1_YUNIT_PHOTOACOUSTIC, 25.0, AP41_HISTORY_TO_PHOTOACOUSTIC},
    {AP7_MSG_TO_KUBELKA_MUNK, AP1_YUNIT_KUBELKA_MUNK, 1.125, AP41_HISTORY_TO_KUBELKA_MUNK},
    {AP7_MSG_TO_PERCENT_REFLECTANCE, AP1_YUNIT_PERCENT_REFLECTANCE, 25.0, -1},
    {AP7_MSG_TO_LOG_INVERSE_R, AP1_YUNIT_LOG_INVERSE_R, kAbsorbance, AP41_HISTORY_TO_ABSORBANCE},
};

class YConvert : public SpectrumTest {
 protected:
  static bool history_bit(AP7_SPECTRUM* spectrum, int16_t bit) {
    return send(AP7_MSG_TEST_HISTORY_FLAG, spectrum, &bit) == 1;
  }
};

// Each message from each unit, then back to the unit it came from, which
// must give the starting value again.
TEST_F(YConvert, EveryMessageFromEveryUnitAndBack) {
  for (const Unit& from : kUnits) {
    for (const Message& to : kMessages) {
      SCOPED_TRACE(testing::Message() << "from code " << from.code << " by message " << to.number);
      AP7_SPECTRUM* spectrum = make_axis(4000.0f, 400.0f, {static_cast<float>(from.value), AP1_GetNaNSG_MATH()});
      record(spectrum).y_units = from.code;
      ASSERT_EQ(send(to.number, spectrum), 1u);
      EXPECT_EQ(packed(record(spectrum).y_units), to.code);
      std::vector<float> y = values(spectrum);
      EXPECT_NEAR(y[0], to.value, 1e-5 * to.value);
      EXPECT_TRUE(std::isnan(y[1]));
      // A spectrum already in the target unit, or in log(1/R) or absorbance
      // on the way to the other, is not converted to absorbance again.
      const bool converted = from.code != to.code &&
                             !(to.code == AP1_YUNIT_LOG_INVERSE_R && from.code == AP1_YUNIT_ABSORBANCE);
      if (to.history_bit >= 0) {
        EXPECT_EQ(history_bit(spectrum, to.history_bit), converted);
      }

      uint16_t back = static_cast<uint16_t>(from.code);
      ASSERT_EQ(send(AP7_MSG_CONVERT_Y_UNITS, spectrum, &back), 1u);
      EXPECT_EQ(packed(record(spectrum).y_units), from.code);
      y = values(spectrum);
      EXPECT_NEAR(y[0], from.value, 1e-5 * from.value);
      EXPECT_TRUE(std::isnan(y[1]));
      destroy(spectrum);
    }
  }
}

// Three points of each conversion's curve, against the closed forms.
TEST_F(YConvert, TheCurvesBetweenPercentAndEachDerivedUnit) {
  const std::vector<double> percent = {90.0, 42.0, 3.0};
  struct Curve {
    uint16_t message;
    double (*of_percent)(double);
  };
  const Curve curves[] = {
      {AP7_MSG_TO_ABSORBANCE, [](double p) { return -std::log10(p / 100); }},
      {AP7_MSG_TO_LOG_INVERSE_R, [](double p) { return -std::log10(p / 100); }},
      {AP7_MSG_TO_KUBELKA_MUNK, [](double p) { return (1 - p / 100) * (1 - p / 100) / (2 * p / 100); }},
      {AP7_MSG_TO_PHOTOACOUSTIC, [](double p) { return p; }},
      {AP7_MSG_TO_PERCENT_REFLECTANCE, [](double p) { return p; }},
  };
  for (const Curve& curve : curves) {
    SCOPED_TRACE(curve.message);
    AP7_SPECTRUM* spectrum = make_axis(4000.0f, 400.0f, {90.0f, 42.0f, 3.0f});
    record(spectrum).y_units = AP1_YUNIT_PERCENT_TRANSMITTANCE;
    ASSERT_EQ(send(curve.message, spectrum), 1u);
    const std::vector<float> y = values(spectrum);
    for (size_t i = 0; i < percent.size(); ++i)
      EXPECT_NEAR(y[i], curve.of_percent(percent[i]), 1e-5 * curve.of_percent(percent[i])) << i;
    ASSERT_EQ(send(AP7_MSG_TO_PERCENT_TRANSMITTANCE, spectrum), 1u);
    const std::vector<float> back = values(spectrum);
    for (size_t i = 0; i < percent.size(); ++i) EXPECT_NEAR(back[i], percent[i], 1e-5 * percent[i]) << i;
    destroy(spectrum);
  }
}

}  // namespace
