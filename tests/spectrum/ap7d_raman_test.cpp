// The Raman X axis: absolute wavenumbers to Raman shift and back, shifts
// and rescales of the axis for a new laser line or reference frequency,
// and the white-light correction. Expected axes are worked in each test
// from the laser line (shift = L - x); the white-light factors from
// Planck's law in wavenumbers, written out here.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

constexpr float kLaser = 9398.0f;  // a laser line exactly a float

uint32_t send_value(uint16_t message, AP7_SPECTRUM* spectrum, float value) {
  AP7_VALUEPARM parameter{value};
  return send(message, spectrum, &parameter);
}

bool history_bit(AP7_SPECTRUM* spectrum, int16_t bit) {
  return ap7b_TestHistoryFlag(reinterpret_cast<AP_OBJECT*>(spectrum), bit) != 0;
}

void annotate(AP7_SPECTRUM* spectrum, float x, uint16_t flags) {
  AP34_ANNOTREC mark{};
  mark.x = x;
  mark.flags = flags;
  mark.label = const_cast<char*>("band");
  ASSERT_EQ(ap34_Insert_ANTATN(spectrum->annotation, &mark, 16), 1);
}

class RamanAxis : public SpectrumTest {
 protected:
  // Five points over 1000..3000 absolute wavenumbers, values 1..5.
  static AP7_SPECTRUM* absolute() {
    AP7_SPECTRUM* spectrum = make_ramp(5, 1000.0f, 3000.0f);
    record(spectrum).x_units = AP1_XUNIT_WAVENUMBERS;
    record(spectrum).p44 = AP1_GetNaNSG_MATH();
    return spectrum;
  }
};

TEST_F(RamanAxis, ToRamanShiftAndBackForAKnownLaserLine) {
  AP7_SPECTRUM* spectrum = absolute();
  ASSERT_EQ(send_value(AP7_MSG_SET_RAMAN_LASER, spectrum, kLaser), 1u);
  const AP41_HEADERDATA& r = record(spectrum);
  EXPECT_EQ(packed(r.x_units), AP41_XUNITS_RAMAN_SHIFT);
  EXPECT_EQ(packed(r.first_x), kLaser - 3000.0f);
  EXPECT_EQ(packed(r.last_x), kLaser - 1000.0f);
  EXPECT_EQ(packed(r.p44), kLaser);
  // The first point is now the one of the highest absolute wavenumber.
  EXPECT_EQ(values(spectrum), (std::vector<float>{5, 4, 3, 2, 1}));
  EXPECT_TRUE(history_bit(spectrum, AP41_HISTORY_RAMAN_X));

  ASSERT_EQ(send(AP7_MSG_RAMAN_TO_ABSOLUTE, spectrum), 1u);
  EXPECT_EQ(packed(r.x_units), AP1_XUNIT_WAVENUMBERS);
  EXPECT_EQ(packed(r.first_x), 1000.0f);
  EXPECT_EQ(packed(r.last_x), 3000.0f);
  EXPECT_EQ(packed(r.p44), kLaser) << "the line stays set";
  EXPECT_EQ(values(spectrum), (std::vector<float>{1, 2, 3, 4, 5}));
  EXPECT_TRUE(history_bit(spectrum, AP41_HISTORY_RAMAN_ABSOLUTE));
  destroy(spectrum);
}

TEST_F(RamanAxis, AxesThatAreNotAbsoluteWavenumbersAreRefusedUnchanged) {
  struct Case {
    const char* name;
    uint32_t x_units;
    float first_x;
    float last_x;
  };
  for (const Case& c : {Case{"already a shift", AP41_XUNITS_RAMAN_SHIFT, 100.0f, 900.0f},
                        Case{"below 0", AP1_XUNIT_WAVENUMBERS, -10.0f, 900.0f},
                        Case{"not a number", AP1_XUNIT_WAVENUMBERS, 100.0f, AP1_GetNaNSG_MATH()}}) {
    AP7_SPECTRUM* spectrum = absolute();
    record(spectrum).x_units = c.x_units;
    record(spectrum).first_x = c.first_x;
    record(spectrum).last_x = c.last_x;
    EXPECT_EQ(send_value(AP7_MSG_SET_RAMAN_LASER, spectrum, kLaser), 0u) << c.name;
    EXPECT_EQ(packed(record(spectrum).x_units), c.x_units) << c.name;
    EXPECT_EQ(values(spectrum), (std::vector<float>{1, 2, 3, 4, 5})) << c.name;
    EXPECT_FALSE(history_bit(spectrum, AP41_HISTORY_RAMAN_X)) << c.name;
    destroy(spectrum);
  }
}

TEST_F(RamanAxis, AMissingLineComesFromTheHeaderThenTheBenchThenTheDefault) {
  struct Case {
    const char* name;
    float header_line;
    const char* bench;  // null: no bench setting
    float expected;
  };
  const float nan = AP1_GetNaNSG_MATH();
  // In this order: a bench setting once made stays for the cases after it.
  for (const Case& c : {Case{"default", 0.0f, nullptr, 9393.642f}, Case{"header", 9000.0f, "9400.5", 9000.0f},
                        Case{"header 0, bench", 0.0f, "9400.5", 9400.5f}, Case{"no header, bench", nan, "9400.5", 9400.5f},
                        Case{"unreadable bench", nan, "laser", 9393.642f}}) {
    if (c.bench != nullptr)
      GU9_BenchSetKey(AP7_RAMAN_LASER_SECTION, AP7_RAMAN_LASER_KEY, c.bench,
                      static_cast<uint32_t>(std::strlen(c.bench) + 1));
    AP7_SPECTRUM* spectrum = absolute();
    record(spectrum).p44 = c.header_line;
    ASSERT_EQ(send_value(AP7_MSG_SET_RAMAN_LASER, spectrum, nan), 1u) << c.name;
    EXPECT_EQ(packed(record(spectrum).p44), c.expected) << c.name;
    EXPECT_EQ(packed(record(spectrum).first_x), c.expected - 3000.0f) << c.name;
    destroy(spectrum);
  }
}

TEST_F(RamanAxis, BothAxisChangesDropAllButProtectedAnnotations) {
  AP7_SPECTRUM* spectrum = absolute();
  annotate(spectrum, 1500.0f, 0);
  annotate(spectrum, 2000.0f, AP34_FLAG_PROTECTED);
  annotate(spectrum, 2500.0f, AP34_FLAG_ABSOLUTE);
  ASSERT_EQ(send_value(AP7_MSG_SET_RAMAN_LASER, spectrum, kLaser), 1u);
  EXPECT_EQ(packed(spectrum->annotation->records.count), 1u);
  annotate(spectrum, 8000.0f, 0);
  ASSERT_EQ(send(AP7_MSG_RAMAN_TO_ABSOLUTE, spectrum), 1u);
  EXPECT_EQ(packed(spectrum->annotation->records.count), 1u);
  destroy(spectrum);
}

TEST_F(RamanAxis, BackToAbsoluteNeedsAShiftAxisAndALine) {
  AP7_SPECTRUM* spectrum = absolute();
  EXPECT_EQ(send(AP7_MSG_RAMAN_TO_ABSOLUTE, spectrum), 0u) << "already absolute";
  record(spectrum).x_units = AP41_XUNITS_RAMAN_SHIFT;
  for (float line : {AP1_GetNaNSG_MATH(), 0.0f}) {
    record(spectrum).p44 = line;
    EXPECT_EQ(send(AP7_MSG_RAMAN_TO_ABSOLUTE, spectrum), 0u);
    EXPECT_EQ(packed(record(spectrum).first_x), 1000.0f);
  }
  EXPECT_EQ(values(spectrum), (std::vector<float>{1, 2, 3, 4, 5}));
  destroy(spectrum);
}

TEST_F(RamanAxis, AShiftMovesTheAxisAndTheLineDown) {
  AP7_SPECTRUM* spectrum = absolute();
  record(spectrum).x_units = AP41_XUNITS_RAMAN_SHIFT;
  ASSERT_EQ(send_value(AP7_MSG_SHIFT_RAMAN_AXIS, spectrum, 2.5f), 1u);
  EXPECT_EQ(packed(record(spectrum).first_x), 997.5f);
  EXPECT_EQ(packed(record(spectrum).last_x), 2997.5f);
  EXPECT_EQ(packed(record(spectrum).p44), 9393.642f - 2.5f) << "the default line, then shifted";
  EXPECT_TRUE(history_bit(spectrum, AP41_HISTORY_RAMAN_SHIFT));
  EXPECT_EQ(values(spectrum), (std::vector<float>{1, 2, 3, 4, 5}));
  EXPECT_EQ(send_value(AP7_MSG_SHIFT_RAMAN_AXIS, spectrum, AP1_GetNaNSG_MATH()), 0u);
  EXPECT_EQ(packed(record(spectrum).first_x), 997.5f);
  destroy(spectrum);
}

// r = F / p29 scales first X, last X and the line; p29 takes F.
TEST_F(RamanAxis, ANewLaserFrequencyScalesTheAxisByTheRatio) {
  AP7_SPECTRUM* spectrum = absolute();
  record(spectrum).LaserFreq = 15798.0f;
  record(spectrum).p44 = kLaser;
  const float frequency = 15797.0f;
  ASSERT_EQ(send_value(AP7_MSG_CHANGE_LASER_FREQUENCY, spectrum, frequency), 1u);
  const double r = 15797.0 / 15798.0;
  EXPECT_FLOAT_EQ(packed(record(spectrum).first_x), static_cast<float>(1000.0 * r));
  EXPECT_FLOAT_EQ(packed(record(spectrum).last_x), static_cast<float>(3000.0 * r));
  EXPECT_FLOAT_EQ(packed(record(spectrum).p44), static_cast<float>(9398.0 * r));
  EXPECT_EQ(packed(record(spectrum).LaserFreq), frequency);
  EXPECT_TRUE(history_bit(spectrum, AP41_HISTORY_LASER_ADJUSTMENT));
  destroy(spectrum);
}

TEST_F(RamanAxis, ALaserFrequencyChangeWithoutALineTakesTheDefaultFirst) {
  AP7_SPECTRUM* spectrum = absolute();
  record(spectrum).LaserFreq = 10000.0f;
  ASSERT_EQ(send_value(AP7_MSG_CHANGE_LASER_FREQUENCY, spectrum, 20000.0f), 1u);
  EXPECT_FLOAT_EQ(packed(record(spectrum).p44), 9393.642f * 2.0f);
  EXPECT_FLOAT_EQ(packed(record(spectrum).last_x), 6000.0f);
  destroy(spectrum);
}

TEST_F(RamanAxis, LaserFrequenciesThatAreNotPositiveNumbersAreRefused) {
  struct Case {
    const char* name;
    float old_frequency;
    float new_frequency;
  };
  const float nan = AP1_GetNaNSG_MATH();
  for (const Case& c : {Case{"old 0", 0.0f, 15798.0f}, Case{"old not a number", nan, 15798.0f},
                        Case{"new not a number", 15798.0f, nan}, Case{"new 0", 15798.0f, 0.0f},
                        Case{"new below 0", 15798.0f, -15798.0f}}) {
    AP7_SPECTRUM* spectrum = absolute();
    record(spectrum).LaserFreq = c.old_frequency;
    EXPECT_EQ(send_value(AP7_MSG_CHANGE_LASER_FREQUENCY, spectrum, c.new_frequency), 0u) << c.name;
    EXPECT_EQ(packed(record(spectrum).first_x), 1000.0f) << c.name;
    EXPECT_TRUE(std::isnan(packed(record(spectrum).p44))) << c.name;
    destroy(spectrum);
  }
}

// ---------------------------------------------------------------------------
// White-light correction

// Planck's law in wavenumbers, cgs units.
double planck(double wavenumber, double temperature) {
  const double c2 = 1.9864818e-16 / 1.3807e-16;
  return 3.7418336e-5 * std::pow(wavenumber, 3) / (std::exp(c2 * wavenumber / temperature) - 1.0);
}

class WhiteLight : public RamanAxis {
 protected:
  // A Raman single beam on the shift axis 100..1000 (step 100) from the
  // line 10000, values 1..10.
  static AP7_SPECTRUM* raman() {
    AP7_SPECTRUM* spectrum = make_ramp(10, 100.0f, 1000.0f);
    record(spectrum).x_units = AP41_XUNITS_RAMAN_SHIFT;
    record(spectrum).y_units = AP1_YUNIT_SINGLE_BEAM;
    record(spectrum).p44 = 10000.0f;
    return spectrum;
  }
  // A white-light single beam on absolute wavenumbers 8900..10100 (step
  // 100), w(x) = 2 + x / 10000.
  static AP7_SPECTRUM* white(uint32_t source) {
    std::vector<float> y;
    for (int k = 0; k <= 12; ++k) y.push_back(static_cast<float>(2.0 + (8900.0 + 100.0 * k) / 10000.0));
    AP7_SPECTRUM* spectrum = make_axis(8900.0f, 10100.0f, y);
    record(spectrum).x_units = AP1_XUNIT_WAVENUMBERS;
    record(spectrum).y_units = AP1_YUNIT_SINGLE_BEAM;
    record(spectrum).SourceID = source;
    return spectrum;
  }
  static uint32_t correct(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* reference) {
    AP7_WHITELIGHTPARM parameter{reference};
    return send(AP7_MSG_WHITE_LIGHT_CORRECT, spectrum, &parameter);
  }
};

TEST_F(WhiteLight, IntensitiesAreScaledByTheBlackBodyOverTheReference) {
  struct Case {
    uint32_t source;
    double temperature;
  };
  for (const Case& c : {Case{4, 1570.0}, Case{6, 2370.0}, Case{0, 1870.0}}) {
    AP7_SPECTRUM* spectrum = raman();
    AP7_SPECTRUM* reference = white(c.source);
    ASSERT_EQ(correct(spectrum, reference), 1u) << c.source;
    const AP41_HEADERDATA& r = record(spectrum);
    EXPECT_EQ(packed(r.y_units), AP1_YUNIT_RAMAN);
    EXPECT_EQ(packed(r.x_units), AP41_XUNITS_RAMAN_SHIFT) << "back on the shift axis";
    EXPECT_EQ(packed(r.first_x), 100.0f);
    EXPECT_EQ(packed(r.last_x), 1000.0f);
    const std::vector<float> y = values(spectrum);
    for (int j = 0; j < 10; ++j) {
      const double x = 10000.0 - (100.0 + 100.0 * j);
      const double expected = (j + 1) * planck(x, c.temperature) / (2.0 + x / 10000.0);
      EXPECT_NEAR(y[j], expected, 2e-5 * expected) << c.source << " point " << j;
    }
    EXPECT_NE(std::string(ap7d_GetHistoryText(spectrum)).find("White light correction"), std::string::npos);
    destroy(reference);
    destroy(spectrum);
  }
}

TEST_F(WhiteLight, ASpectrumIsCorrectedOnlyOnce) {
  AP7_SPECTRUM* spectrum = raman();
  AP7_SPECTRUM* reference = white(0);
  ASSERT_EQ(correct(spectrum, reference), 1u);
  const std::vector<float> once = values(spectrum);
  EXPECT_EQ(correct(spectrum, reference), 0u);
  EXPECT_EQ(values(spectrum), once);
  destroy(reference);
  destroy(spectrum);
}

// Only the points the reference covers are corrected; the rest stay.
TEST_F(WhiteLight, PointsBeyondTheReferenceKeepTheirValues) {
  AP7_SPECTRUM* spectrum = raman();
  std::vector<float> y;
  for (int k = 0; k <= 5; ++k) y.push_back(1.0f);
  AP7_SPECTRUM* reference = make_axis(9400.0f, 9900.0f, y);  // shifts 100..600 only
  record(reference).y_units = AP1_YUNIT_SINGLE_BEAM;
  ASSERT_EQ(correct(spectrum, reference), 1u);
  const std::vector<float> corrected = values(spectrum);
  for (int j = 0; j < 10; ++j) {
    const double x = 10000.0 - (100.0 + 100.0 * j);
    const double expected = j <= 5 ? (j + 1) * planck(x, 1870.0) : j + 1;
    EXPECT_NEAR(corrected[j], expected, 2e-5 * expected) << j;
  }
  destroy(reference);
  destroy(spectrum);
}

TEST_F(WhiteLight, AReferenceThatIsNotASingleBeamOnlyRelabelsTheSpectrum) {
  AP7_SPECTRUM* spectrum = raman();
  AP7_SPECTRUM* reference = white(0);
  record(reference).y_units = AP1_YUNIT_ABSORBANCE;
  EXPECT_EQ(correct(spectrum, reference), 0u);
  EXPECT_EQ(packed(record(spectrum).y_units), AP1_YUNIT_RAMAN);
  EXPECT_EQ(packed(record(spectrum).x_units), AP41_XUNITS_RAMAN_SHIFT);
  EXPECT_EQ(values(spectrum), (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  const char* history = ap7d_GetHistoryText(spectrum);
  EXPECT_TRUE(history == nullptr || history[0] == '\0') << history;
  destroy(reference);
  destroy(spectrum);
}

}  // namespace
