// Completion of missing collection parameters. Expected values are worked
// in each test from the collection arithmetic: the laser frequency from the
// power of two of points that spans 7500 wavenumbers, the interferogram
// from the resolution of that many points, and the counts derived from it
// with no bench settings (peak slop 32, scan slop 256, 1024 transform
// points).
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

// The usual grid: the laser 15798 over 4096 points, exactly a float.
constexpr float kSpacing = 15798.0f / 4096.0f;

class Completion : public SpectrumTest {
 protected:
  // n points from first X with the usual spacing (or the one given), in
  // wavenumbers, with every collection parameter 0.
  static AP7_SPECTRUM* make_bare(uint32_t n, float first_x, float spacing = kSpacing) {
    const float last_x = first_x + spacing * static_cast<float>(n - 1);
    AP7_SPECTRUM* spectrum = make_axis(first_x, last_x, std::vector<float>(n, 1.0f));
    AP41_HEADERDATA& r = record(spectrum);
    r.x_units = 1;
    r.SSP = 0.0f;
    r.Gain = 0.0f;
    r.NumScanPts = 0;
    r.FinalPeakPos = 0;
    r.NumScans = 0;
    r.LaserFreq = 0.0f;
    r.NumTransformPts = 0;
    r.BKNumScans = 0;
    r.NumPostPeakPts = 0;
    return spectrum;
  }

  static uint32_t complete(AP7_SPECTRUM* spectrum, int16_t correct_axis = 0) {
    return send(AP7_MSG_COMPLETE_COLLECT_PARAMS, spectrum, &correct_axis);
  }
};

// 1025 points over 0..3949.5: 2048 points span 7899 >= 7500 and reach past
// 3949.5, so the laser is 7899 × 2 at spacing factor 2. The interferogram:
// 2048 points (2048 × d = 15798 / 2), resolution 2097152 / 2 / 2048 / 64 =
// 8, N = 2048 (15798 / 8 rounded up to a power of two), peak 2048 + 32,
// total 2080 + 2048 + 256.
TEST_F(Completion, TheUsualGridGetsTheUsualLaser) {
  AP7_SPECTRUM* spectrum = make_bare(1025, 0.0f);
  EXPECT_EQ(complete(spectrum), 1u);
  const AP41_HEADERDATA& r = record(spectrum);
  EXPECT_EQ(packed(r.LaserFreq), 15798.0f);
  EXPECT_EQ(packed(r.NumPostPeakPts), 2048u);
  EXPECT_EQ(packed(r.SSP), 2.0f);
  EXPECT_EQ(packed(r.FinalPeakPos), 2080u);
  EXPECT_EQ(packed(r.NumScanPts), 4384u);
  EXPECT_EQ(packed(r.NumTransformPts), 1024u);
  EXPECT_EQ(packed(r.NumScans), 1u);
  EXPECT_EQ(packed(r.BKNumScans), 1u);
  EXPECT_EQ(packed(r.Gain), 1.0f);
  // The axis is not touched.
  EXPECT_EQ(packed(r.first_x), 0.0f);
  EXPECT_EQ(packed(r.last_x), 3949.5f);
  destroy(spectrum);
}

struct LaserCase {
  const char* name;
  uint32_t points;
  float first_x;
  bool descending;
  float ssp;
  uint32_t transform_points;
};

class Lasers : public Completion, public testing::WithParamInterface<LaserCase> {};

// With the interferogram count already known only the laser is worked out:
// the span of 2048 points, doubled (spacing factor 1, then 0.5) while it
// stays below the highest wavenumber; 2 × the points go to the transform.
TEST_P(Lasers, SpanTheHighestWavenumber) {
  const LaserCase& c = GetParam();
  AP7_SPECTRUM* spectrum = make_bare(c.points, c.first_x);
  AP41_HEADERDATA& r = record(spectrum);
  if (c.descending) {
    const float first_x = r.first_x;
    r.first_x = r.last_x;
    r.last_x = first_x;
  }
  r.NumPostPeakPts = 1;
  EXPECT_EQ(complete(spectrum), 1u);
  EXPECT_EQ(packed(r.LaserFreq), 15798.0f);
  EXPECT_EQ(packed(r.SSP), c.ssp);
  EXPECT_EQ(packed(r.NumTransformPts), c.transform_points);
  destroy(spectrum);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, Lasers,
    testing::Values(LaserCase{"below_the_span", 1025, 0.0f, false, 2.0f, 4096},
                    // 2048 × d = 7899 lies below 8000, so the span doubles.
                    LaserCase{"beyond_the_span", 1025, 4050.5f, false, 1.0f, 8192},
                    // Highest X 15798 + 3949.5 is beyond twice the span too.
                    LaserCase{"beyond_twice_the_span", 1025, 15798.0f, false, 0.5f, 16384},
                    // The highest wavenumber, not the last X, decides.
                    LaserCase{"running_down", 1025, 4050.5f, true, 1.0f, 8192}),
    [](const testing::TestParamInfo<LaserCase>& info) { return info.param.name; });

// Raman shifts count down from the laser line: shifts 0..3949.5 under a
// line of 9398 are 5448.5..9398 wavenumbers, beyond the span of 7899.
TEST_F(Completion, RamanShiftsAreCountedFromTheLaserLine) {
  AP7_SPECTRUM* spectrum = make_bare(1025, 0.0f);
  AP41_HEADERDATA& r = record(spectrum);
  r.x_units = 32;
  r.p44 = 9398.0f;
  r.NumPostPeakPts = 1;
  EXPECT_EQ(complete(spectrum), 1u);
  EXPECT_EQ(packed(r.LaserFreq), 15798.0f);
  EXPECT_EQ(packed(r.SSP), 1.0f);
  EXPECT_EQ(packed(r.NumTransformPts), 8192u);
  destroy(spectrum);
}

TEST_F(Completion, OtherAxesOnlyGetTheDefaultLaser) {
  for (const auto& [units, line] : {std::pair{32u, NAN}, std::pair{32u, 0.0f}, std::pair{2u, 100.0f}}) {
    AP7_SPECTRUM* spectrum = make_bare(1025, 0.0f);
    AP41_HEADERDATA& r = record(spectrum);
    r.x_units = units;
    r.p44 = line;
    EXPECT_EQ(complete(spectrum), 0u) << units;
    EXPECT_EQ(packed(r.LaserFreq), 15798.0f) << units;
    EXPECT_EQ(packed(r.NumScans), 0u) << units;
    EXPECT_EQ(packed(r.NumPostPeakPts), 0u) << units;
    r.LaserFreq = 12000.0f;
    EXPECT_EQ(complete(spectrum), 0u) << units;
    EXPECT_EQ(packed(r.LaserFreq), 12000.0f) << units;
    destroy(spectrum);
  }
}

struct AxisCase {
  const char* name;
  float spacing;
  bool rescaled;
};

class AxisCorrection : public Completion, public testing::WithParamInterface<AxisCase> {};

// Laser 15798: a spacing of 3.9 is a power of two 4096 short of 15974.4,
// 176 away, far beyond 15798 / 8192: the axis is stretched by 15798 /
// 15974.4. Multiples of a quarter wavenumber, and spacings within half a
// step of the laser's, stay.
TEST_P(AxisCorrection, FitsTheSpacingToTheLaser) {
  const AxisCase& c = GetParam();
  AP7_SPECTRUM* spectrum = make_bare(101, 1000.0f, c.spacing);
  AP41_HEADERDATA& r = record(spectrum);
  r.LaserFreq = 15798.0f;
  r.NumPostPeakPts = 1;
  r.NumScans = r.BKNumScans = 1;
  r.Gain = 1.0f;
  const float first_x = r.first_x;
  const float last_x = r.last_x;
  EXPECT_EQ(complete(spectrum, 0), 0u);
  EXPECT_EQ(packed(r.first_x), first_x);
  EXPECT_EQ(complete(spectrum, 1), c.rescaled ? 1u : 0u);
  if (c.rescaled) {
    const double stretch = 15798.0 / (4096.0 * c.spacing);
    EXPECT_FLOAT_EQ(r.first_x, static_cast<float>(first_x * stretch));
    EXPECT_FLOAT_EQ(r.last_x, static_cast<float>(last_x * stretch));
    EXPECT_NEAR((r.last_x - r.first_x) / 100.0, 15798.0 / 4096.0, 1e-4);
  } else {
    EXPECT_EQ(packed(r.first_x), first_x);
    EXPECT_EQ(packed(r.last_x), last_x);
  }
  destroy(spectrum);
}

INSTANTIATE_TEST_SUITE_P(Spacings, AxisCorrection,
                         testing::Values(AxisCase{"off_the_laser", 3.9f, true},
                                         AxisCase{"a_whole_quarter", 4.0f, false},
                                         AxisCase{"two_and_a_quarter", 2.25f, false},
                                         AxisCase{"within_half_a_step", 3.857f, false}),
                         [](const testing::TestParamInfo<AxisCase>& info) { return info.param.name; });

TEST_F(Completion, ACompleteHeaderIsLeftAlone) {
  AP7_SPECTRUM* spectrum = make_bare(1025, 0.0f);
  EXPECT_EQ(complete(spectrum), 1u);
  const AP41_HEADERDATA before = record(spectrum);
  EXPECT_EQ(complete(spectrum), 0u);
  EXPECT_EQ(std::memcmp(&before, &record(spectrum), sizeof before), 0);
  // Only the counts that are 0 are set.
  record(spectrum).BKNumScans = 0;
  EXPECT_EQ(complete(spectrum), 1u);
  EXPECT_EQ(packed(record(spectrum).BKNumScans), 1u);
  destroy(spectrum);
}

// No axis to work from: one point, ends that coincide, a missing end.
TEST_F(Completion, RefusesAnAxisWithoutASpacing) {
  const auto before = live_counts();
  std::vector<AP7_SPECTRUM*> spectra = {make_bare(1, 10.0f), make_bare(5, 10.0f, 0.0f), make_bare(5, 10.0f)};
  record(spectra[0]).last_x = 20.0f;
  record(spectra[2]).first_x = NAN;
  for (AP7_SPECTRUM* spectrum : spectra) {
    const AP41_HEADERDATA header = record(spectrum);
    EXPECT_EQ(complete(spectrum, 1), 0u);
    EXPECT_EQ(std::memcmp(&header, &record(spectrum), sizeof header), 0);
    destroy(spectrum);
  }
  EXPECT_EQ(ap7d_CompleteCollectParams(nullptr, 0), 0u);
  AP7_SPECTRUM* spectrum = make_bare(5, 0.0f);
  EXPECT_EQ(send(AP7_MSG_COMPLETE_COLLECT_PARAMS, spectrum, nullptr), 0u);
  EXPECT_EQ(packed(record(spectrum).LaserFreq), 0.0f);
  destroy(spectrum);
  EXPECT_EQ(live_counts(), before);
}

}  // namespace
