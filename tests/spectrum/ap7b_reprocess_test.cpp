#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "files/files.h"
#include "spectrum/spectrum_fixture.h"
#include "support/test_home.h"

namespace {

using namespace spectrumtest;

constexpr uint32_t kPoints = 256;
constexpr uint32_t kPeak = 64;
constexpr uint16_t kSizeCode = 8;  // 256 points

// A band-limited interferogram: cosines about the peak at point 64 of 256,
// scaled by `scale`.
AP7_SPECTRUM* interferogram(double scale) {
  std::vector<float> y(kPoints);
  for (uint32_t i = 0; i < kPoints; ++i) {
    const double t = static_cast<double>(i) - kPeak;
    double v = 0.0;
    for (int k = 10; k <= 40; ++k) v += std::exp(-std::pow((k - 25.0) / 8.0, 2)) * std::cos(2.0 * M_PI * k * t / kPoints);
    y[i] = static_cast<float>(scale * v);
  }
  AP7_SPECTRUM* made = make_axis(0.0f, static_cast<float>(kPoints - 1), y);
  AP41_HEADERDATA& r = record(made);
  r.y_units = AP41_YUNITS_INTERFEROGRAM;
  r.x_units = AP41_XUNITS_POINTS;
  r.FinalPeakPos = kPeak;
  r.NumPostPeakPts = kPoints - kPeak;
  r.SSP = 2.0f;
  r.LaserFreq = 15798.0f;
  r.NumScans = 16;
  r.Gain = 1.0f;
  r.BKGain = 1.0f;
  return made;
}

// The settings every transform here uses: no apodization and the magnitude
// spectrum, so that the single beams follow from the cosines' weights.
AP7_REPROCESSPARM block(uint32_t y_code, uint16_t* error) {
  AP7_REPROCESSPARM b{};
  b.background = nullptr;
  b.before = -1;
  b.after = -1;
  b.size = kPoints;
  b.apodization = AP4_APODIZE_NONE;
  b.phase_mode = AP4_PHASE_MAGNITUDE;
  b.phase_length = 32;
  b.phase_size = 64;
  b.y_code = y_code;
  b.notify = 0;
  b.use_stored = 1;
  b.x1 = AP_NOT_GIVEN;
  b.x2 = AP_NOT_GIVEN;
  b.keep_phase = 0;
  b.phase = nullptr;
  b.error = error;
  return b;
}

class Reprocessing : public SpectrumTest {
 protected:
  static AP7_SPECTRUM* reprocess(AP7_SPECTRUM* spectrum, AP7_REPROCESSPARM parameter) {
    return ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_REPROCESS_INTERFEROGRAMS, spectrum, &parameter));
  }

  // The single beam the library makes of an interferogram with the settings
  // of block().
  static AP7_SPECTRUM* single_beam(const AP7_SPECTRUM* source) {
    AP7_SPECTRUM* beam = ap7a_Duplicate(const_cast<AP7_SPECTRUM*>(source), nullptr);
    AP7_SINGLEBEAMPARM parameter{kSizeCode, AP4_APODIZE_NONE, AP4_PHASE_MAGNITUDE, 32, 6, 0, nullptr};
    EXPECT_EQ(send(AP7_MSG_INTERFEROGRAM_TO_SINGLE_BEAM, beam, &parameter), 1u);
    return beam;
  }

  // The spectrum written with its two interferograms, as a file read gives
  // it back: referring to the file, without sub-spectra.
  AP7_SPECTRUM* saved_and_read(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* background, AP7_SPECTRUM* sample) {
    const std::string file = testsupport::home() + "/reprocess.spa";
    EXPECT_EQ(ap7b_SetNameAndSubSpectra(spectrum, nullptr, background, sample), 1);
    EXPECT_EQ(ap7b_SetFilePath(spectrum, file.c_str()), 1);
    EXPECT_EQ(send(AP_MSG_SAVE, spectrum), 1u);
    AP_OBJECT* reader = ap2_New_OBJ(AP21_CLASS_ID, nullptr);
    AP20_NAMEPARM naming{nullptr, file.c_str()};
    uint16_t class_id = 0;
    uint16_t code = 0;
    AP21_OPENPARM open{AP20_MODE_READ, &class_id, &code};
    EXPECT_EQ(send(AP20_MSG_SET_NAME, reader, &naming), 1u);
    EXPECT_EQ(send(AP21_MSG_OPEN, reader, &open), 1u);
    auto* read = ap_result_object<AP7_SPECTRUM>(send(AP21_MSG_READ, reader));
    send(AP21_MSG_CLOSE, reader);
    ap20_DestroyObject(reader);
    return read;
  }
};

void expect_close(const std::vector<float>& actual, const std::vector<float>& expected, double tolerance) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(actual[i], expected[i], tolerance) << "point " << i;
}

// The single beam saved with its interferograms comes back from them as it
// was: the same axis and values.
TEST_F(Reprocessing, StoredInterferogramGivesBackTheSpectrumItCameWith) {
  AP7_SPECTRUM* sample = interferogram(1.0);
  AP7_SPECTRUM* beam = single_beam(sample);
  AP7_SPECTRUM* read = saved_and_read(beam, interferogram(1.25), sample);
  ASSERT_NE(read, nullptr);
  ASSERT_EQ(packed(read->subSpectrumB), nullptr);
  uint16_t error = 99;
  AP7_SPECTRUM* result = reprocess(read, block(AP41_YUNITS_SINGLE_BEAM, &error));
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(error, 0);
  const uint32_t points = record(result).points;
  const uint32_t y_units = record(result).y_units;
  const float first_x = record(result).first_x;
  const float last_x = record(result).last_x;
  const uint32_t read_points = record(read).points;
  const float read_first_x = record(read).first_x;
  const float read_last_x = record(read).last_x;
  EXPECT_EQ(points, read_points);
  EXPECT_EQ(y_units, AP41_YUNITS_SINGLE_BEAM);
  EXPECT_FLOAT_EQ(first_x, read_first_x);
  EXPECT_FLOAT_EQ(last_x, read_last_x);
  expect_close(values(result), values(read), 1e-4);
  destroy(result);
  destroy(read);
  destroy(beam);
}

// Sample and background differ only by a factor 1.25, so the ratio is 80 %T
// and the absorbance -log10(0.8) wherever the beams carry light.
TEST_F(Reprocessing, RatioOfTheStoredPairInAbsorbance) {
  AP7_SPECTRUM* sample = interferogram(1.0);
  AP7_SPECTRUM* beam = single_beam(sample);
  AP7_SPECTRUM* read = saved_and_read(beam, interferogram(1.25), sample);
  ASSERT_NE(read, nullptr);
  uint16_t error = 99;
  AP7_SPECTRUM* result = reprocess(read, block(17, &error));
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(error, 0);
  const uint32_t y_units = record(result).y_units;
  EXPECT_EQ(y_units, 17u);
  const std::vector<float> a = values(result);
  const std::vector<float> light = values(read);
  ASSERT_EQ(a.size(), light.size());
  float brightest = 0.0f;
  for (float v : light) brightest = std::max(brightest, v);
  int lit = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    if (!(light[i] > 0.01f * brightest)) continue;
    EXPECT_NEAR(a[i], -std::log10(0.8), 1e-4) << "point " << i;
    ++lit;
  }
  EXPECT_GT(lit, 10);
  EXPECT_EQ(ap7b_TestHistoryFlag(reinterpret_cast<AP_OBJECT*>(result), AP41_HISTORY_RATIO), 1);
  destroy(result);
  destroy(read);
  destroy(beam);
}

TEST_F(Reprocessing, SingleBeamWithoutBackgroundIsCopiedAndFitted) {
  AP7_SPECTRUM* beam = single_beam(interferogram(1.0));
  uint16_t error = 99;
  AP7_REPROCESSPARM parameter = block(AP41_YUNITS_SINGLE_BEAM, &error);
  parameter.use_stored = 0;
  parameter.x1 = 1000.0f;
  parameter.x2 = 2000.0f;
  AP7_SPECTRUM* result = reprocess(beam, parameter);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(error, 0);
  const float first_x = record(result).first_x;
  const float last_x = record(result).last_x;
  const float spacing = ap7b_GetXSpacing(beam);
  EXPECT_NEAR(first_x, 1000.0f, spacing);
  EXPECT_NEAR(last_x, 2000.0f, spacing);
  destroy(result);
  destroy(beam);
}

TEST_F(Reprocessing, AbsorbanceWithoutInterferogramsIsErrorFiftyTwo) {
  AP7_SPECTRUM* spectrum = make_ramp(16, 400.0f, 430.0f);
  record(spectrum).y_units = 17;
  uint16_t error = 99;
  AP7_REPROCESSPARM parameter = block(17, &error);
  parameter.use_stored = 0;
  EXPECT_EQ(reprocess(spectrum, parameter), nullptr);
  EXPECT_EQ(error, AP7_REPROCESS_NO_SAMPLE);
  destroy(spectrum);
}

TEST_F(Reprocessing, PostPeakCountsSixPercentApartAreErrorFiftyThree) {
  AP7_SPECTRUM* sample = interferogram(1.0);
  AP7_SPECTRUM* background = interferogram(1.25);
  record(background).NumPostPeakPts = static_cast<uint32_t>((kPoints - kPeak) * 1.06);
  AP7_SPECTRUM* spectrum = make_ramp(16, 400.0f, 430.0f);
  ap7b_SetNameAndSubSpectra(spectrum, nullptr, background, sample);
  uint16_t error = 99;
  EXPECT_EQ(reprocess(spectrum, block(17, &error)), nullptr);
  EXPECT_EQ(error, AP7_REPROCESS_POST_PEAK_DIFFER);
  destroy(spectrum);
}

// Stored interferograms whose data disagree with their headers are refused
// (one whose header counts more points than it holds cannot even be copied,
// so there is no sample), and a transform size below one point gives no
// exponent: all fail and leave the spectrum as it was.
struct RefusalCase {
  const char* name;
  void (*spoil)(AP7_SPECTRUM* sample, AP7_REPROCESSPARM& parameter);
  uint16_t error;
};

class ReprocessingRefusals : public Reprocessing, public testing::WithParamInterface<RefusalCase> {};

TEST_P(ReprocessingRefusals, FailCleanly) {
  AP7_SPECTRUM* sample = interferogram(1.0);
  AP7_SPECTRUM* spectrum = make_ramp(16, 400.0f, 430.0f);
  ap7b_SetNameAndSubSpectra(spectrum, nullptr, interferogram(1.25), sample);
  uint16_t error = 99;
  AP7_REPROCESSPARM parameter = block(17, &error);
  GetParam().spoil(sample, parameter);
  const std::vector<float> before = values(spectrum);
  EXPECT_EQ(reprocess(spectrum, parameter), nullptr);
  EXPECT_EQ(error, GetParam().error);
  EXPECT_EQ(values(spectrum), before);
  destroy(spectrum);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReprocessingRefusals,
    testing::Values(
        RefusalCase{"MorePointsInTheHeaderThanTheData", [](AP7_SPECTRUM* s, AP7_REPROCESSPARM&) { s->header->data.points = kPoints + 10; }, AP7_REPROCESS_NO_SAMPLE},
        RefusalCase{"PeakBeyondTheData", [](AP7_SPECTRUM* s, AP7_REPROCESSPARM&) { s->header->data.FinalPeakPos = kPoints + 3; }, 0},
        RefusalCase{"TransformSizeZero", [](AP7_SPECTRUM*, AP7_REPROCESSPARM& p) { p.size = 0; }, 0},
        RefusalCase{"PhaseSizeBelowOne", [](AP7_SPECTRUM*, AP7_REPROCESSPARM& p) { p.phase_size = 0; }, 0}),
    [](const testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

// A sample spacing factor between 0 and 1 is a valid setting: the beam's axis
// reaches the laser frequency over the factor, and the ratio still comes out.
TEST_F(Reprocessing, SpacingFactorBelowOneStillTransforms) {
  AP7_SPECTRUM* sample = interferogram(1.0);
  AP7_SPECTRUM* background = interferogram(1.25);
  record(sample).SSP = 0.5f;
  record(background).SSP = 0.5f;
  AP7_SPECTRUM* spectrum = make_ramp(16, 400.0f, 430.0f);
  ap7b_SetNameAndSubSpectra(spectrum, nullptr, background, sample);
  uint16_t error = 99;
  AP7_SPECTRUM* result = reprocess(spectrum, block(17, &error));
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(error, 0);
  const float last_x = record(result).last_x;
  const double m = record(result).points;
  EXPECT_NEAR(last_x, 15798.0 / 0.5 * (m - 1) / m, 0.1);
  destroy(result);
  destroy(spectrum);
}

// The transform size is used as the nearest whole power of two: 200 points
// (7.64 + 0.5) transform as 256 do, 180 points (7.49 + 0.5) as 128.
TEST_F(Reprocessing, TransformSizeGoesToTheNearestPowerOfTwo) {
  AP7_SPECTRUM* spectrum = make_ramp(16, 400.0f, 430.0f);
  ap7b_SetNameAndSubSpectra(spectrum, nullptr, interferogram(1.25), interferogram(1.0));
  std::vector<uint32_t> points;
  for (int32_t size : {256, 200, 180}) {
    AP7_REPROCESSPARM parameter = block(AP41_YUNITS_SINGLE_BEAM, nullptr);
    parameter.size = size;
    AP7_SPECTRUM* result = reprocess(spectrum, parameter);
    ASSERT_NE(result, nullptr) << size;
    points.push_back(packed(record(result).points));
    destroy(result);
  }
  EXPECT_EQ(points[1], points[0]);
  EXPECT_EQ(points[2] * 2, points[0]);
  destroy(spectrum);
}

}  // namespace
