#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

class Alignment : public SpectrumTest {
 protected:
  // Twenty points 0..19 with the peak at point 5 and 15 points after it.
  static AP7_SPECTRUM* interferogram() {
    std::vector<float> y(20);
    for (size_t i = 0; i < y.size(); ++i) y[i] = static_cast<float>(i);
    AP7_SPECTRUM* made = make_axis(0.0f, 19.0f, y);
    record(made).y_units = AP41_YUNITS_INTERFEROGRAM;
    record(made).FinalPeakPos = 5;
    record(made).NumPostPeakPts = 15;
    return made;
  }
};

TEST_F(Alignment, TrimsBothEndsKeepingThePeakOnItsPoint) {
  AP7_SPECTRUM* spectrum = interferogram();
  EXPECT_EQ(ap7b_AlignInterferogram(spectrum, 3, 10), 1);
  EXPECT_EQ(values(spectrum), std::vector<float>({2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}));
  EXPECT_EQ(packed(record(spectrum).FinalPeakPos), 3u);
  EXPECT_EQ(packed(record(spectrum).points), 13u);
  EXPECT_EQ(packed(record(spectrum).NumPostPeakPts), 10u) << "no more post-peak points than the data hold";
  destroy(spectrum);
}

TEST_F(Alignment, PadsBothEndsWithZeros) {
  AP7_SPECTRUM* spectrum = interferogram();
  EXPECT_EQ(ap7b_AlignInterferogram(spectrum, 7, 16), 1);
  const std::vector<float> y = values(spectrum);
  ASSERT_EQ(y.size(), 23u);
  EXPECT_EQ(y[0], 0.0f);
  EXPECT_EQ(y[1], 0.0f);
  EXPECT_EQ(y[7], 5.0f) << "the peak value sits at the new peak index";
  EXPECT_EQ(y[22], 0.0f);
  EXPECT_EQ(packed(record(spectrum).FinalPeakPos), 7u);
  destroy(spectrum);
}

TEST_F(Alignment, CountsAlreadyThereChangeNothing) {
  AP7_SPECTRUM* spectrum = interferogram();
  EXPECT_EQ(ap7b_AlignInterferogram(spectrum, 5, 15), 1);
  EXPECT_EQ(values(spectrum).size(), 20u);
  EXPECT_EQ(packed(record(spectrum).FinalPeakPos), 5u);
  destroy(spectrum);
}

TEST_F(Alignment, OtherSpectraAreRefusedByBothOperations) {
  AP7_SPECTRUM* spectrum = interferogram();
  record(spectrum).y_units = AP41_YUNITS_SINGLE_BEAM;
  EXPECT_EQ(ap7b_AlignInterferogram(spectrum, 3, 10), 0);
  AP7_SINGLEBEAMPARM parameter{4, AP4_APODIZE_NONE, AP4_PHASE_MAGNITUDE, 8, 3, 0, nullptr};
  EXPECT_EQ(send(AP7_MSG_INTERFEROGRAM_TO_SINGLE_BEAM, spectrum, &parameter), 0u);
  EXPECT_EQ(values(spectrum).size(), 20u);
  EXPECT_EQ(packed(record(spectrum).y_units), AP41_YUNITS_SINGLE_BEAM);
  destroy(spectrum);
}

// A cosine of 5 cycles about the peak of a 64-point interferogram gives one
// line of the magnitude spectrum, at point 5.
class SingleBeam : public SpectrumTest {
 protected:
  static AP7_SPECTRUM* cosine() {
    std::vector<float> y(64);
    for (size_t i = 0; i < y.size(); ++i) y[i] = static_cast<float>(std::cos(2.0 * M_PI * 5.0 * (i - 32.0) / 64.0));
    AP7_SPECTRUM* spectrum = make_axis(0.0f, 63.0f, y);
    AP41_HEADERDATA& r = record(spectrum);
    r.y_units = AP41_YUNITS_INTERFEROGRAM;
    r.FinalPeakPos = 32;
    r.NumPostPeakPts = 32;
    r.SSP = 1.0f;
    r.LaserFreq = 6400.0f;
    return spectrum;
  }
};

// What a host registered under class 28 is sent after a single beam.
struct HostCall {
  uint16_t message;
  AP7_SPECTRUM* spectrum;
  uint16_t one;
  uint32_t last;
};
std::vector<HostCall> g_host_calls;
uint32_t g_host_first_answer = 1;

uint32_t host_dispatcher(void* object, uint16_t message, void* parameter) {
  if (*static_cast<const uint16_t*>(object) != AP7_SINGLE_BEAM_HOST_CLASS) return 0;
  if (message == AP7_SINGLE_BEAM_HOST_FIRST) {
    const auto* p = static_cast<const AP7_HOSTFIRSTPARM*>(parameter);
    g_host_calls.push_back({message, p->spectrum, p->one, p->zero});
    return g_host_first_answer;
  }
  const auto* p = static_cast<const AP7_HOSTSECONDPARM*>(parameter);
  g_host_calls.push_back({message, p->spectrum, p->one, p->second});
  return 1;
}

class SingleBeamHost : public SingleBeam {
 protected:
  void SetUp() override {
    SingleBeam::SetUp();
    g_host_calls.clear();
    g_host_first_answer = 1;
    GU2_ImmedSetDispatcher(AP7_SINGLE_BEAM_HOST_CLASS, host_dispatcher);
  }
  void TearDown() override {
    GU2_ImmedSetDispatcher(AP7_SINGLE_BEAM_HOST_CLASS, nullptr);
    SingleBeam::TearDown();
  }
};

TEST_F(SingleBeamHost, TheExtraFlagAnnouncesTheSingleBeamToTheHostClass) {
  AP7_SPECTRUM* spectrum = cosine();
  AP7_SINGLEBEAMEXPARM parameter{6, AP4_APODIZE_NONE, AP4_PHASE_MAGNITUDE, 8, 3, 1, 0, nullptr};
  ASSERT_EQ(send(AP7_MSG_INTERFEROGRAM_TO_SINGLE_BEAM_EX, spectrum, &parameter), 1u);
  ASSERT_EQ(g_host_calls.size(), 2u);
  EXPECT_EQ(g_host_calls[0].message, AP7_SINGLE_BEAM_HOST_FIRST);
  EXPECT_EQ(g_host_calls[0].spectrum, spectrum);
  EXPECT_EQ(g_host_calls[0].one, 1);
  EXPECT_EQ(g_host_calls[0].last, 0u);
  EXPECT_EQ(g_host_calls[1].message, AP7_SINGLE_BEAM_HOST_SECOND);
  EXPECT_EQ(g_host_calls[1].spectrum, spectrum);
  EXPECT_EQ(g_host_calls[1].one, 1);
  EXPECT_EQ(g_host_calls[1].last, 1u);
  destroy(spectrum);
}

// The bench's reference laser replaces the interferogram's 6400: the axis
// of the 32-point single beam (200 per point) scales by their ratio.
TEST_F(SingleBeamHost, TheExtraFlagCorrectsTheAxisToTheBenchLaser) {
  const float bench = AP1_GetLaserRef_MATH(1);
  ASSERT_GT(bench, 0.0f);
  for (uint16_t extra : {0, 1}) {
    AP7_SPECTRUM* spectrum = cosine();
    AP7_SINGLEBEAMEXPARM parameter{6, AP4_APODIZE_NONE, AP4_PHASE_MAGNITUDE, 8, 3, extra, 0, nullptr};
    ASSERT_EQ(send(AP7_MSG_INTERFEROGRAM_TO_SINGLE_BEAM_EX, spectrum, &parameter), 1u);
    const AP41_HEADERDATA& r = record(spectrum);
    const float laser = extra != 0 ? bench : 6400.0f;
    EXPECT_FLOAT_EQ(packed(r.LaserFreq), laser) << extra;
    EXPECT_FLOAT_EQ(packed(r.last_x), static_cast<float>(6200.0 * laser / 6400.0)) << extra;
    EXPECT_EQ(packed(r.points), 32u);
    destroy(spectrum);
  }
}

TEST_F(SingleBeamHost, ARefusedFirstMessageStopsTheSecondAndNoFlagSendsNothing) {
  g_host_first_answer = 0;
  AP7_SPECTRUM* spectrum = cosine();
  AP7_SINGLEBEAMEXPARM parameter{6, AP4_APODIZE_NONE, AP4_PHASE_MAGNITUDE, 8, 3, 1, 0, nullptr};
  ASSERT_EQ(send(AP7_MSG_INTERFEROGRAM_TO_SINGLE_BEAM_EX, spectrum, &parameter), 1u);
  ASSERT_EQ(g_host_calls.size(), 1u);
  EXPECT_EQ(g_host_calls[0].message, AP7_SINGLE_BEAM_HOST_FIRST);
  destroy(spectrum);
  g_host_calls.clear();
  spectrum = cosine();
  AP7_SINGLEBEAMPARM plain{6, AP4_APODIZE_NONE, AP4_PHASE_MAGNITUDE, 8, 3, 0, nullptr};
  ASSERT_EQ(send(AP7_MSG_INTERFEROGRAM_TO_SINGLE_BEAM, spectrum, &plain), 1u);
  EXPECT_TRUE(g_host_calls.empty());
  destroy(spectrum);
}

// Without apodization the magnitude spectrum is |DFT| of the 64 values
// (a rotation to the peak changes no magnitude), up to one scale shared by
// every point but the constant term, which a one-sided spectrum counts
// once where the others count their mirror too; the gain divides it.
TEST_F(SingleBeam, MagnitudesFollowASlowDFTAndTheGainDividesThem) {
  std::vector<float> y(64);
  for (size_t i = 0; i < y.size(); ++i) y[i] = static_cast<float>(std::sin(0.37 * i * i) + 0.25 * std::cos(1.3 * i));
  std::vector<double> dft(32);
  for (size_t k = 0; k < dft.size(); ++k) {
    double re = 0.0;
    double im = 0.0;
    for (size_t j = 0; j < y.size(); ++j) {
      re += y[j] * std::cos(2.0 * M_PI * k * j / 64.0);
      im -= y[j] * std::sin(2.0 * M_PI * k * j / 64.0);
    }
    dft[k] = std::hypot(re, im);
  }
  std::vector<std::vector<float>> beams;
  for (float gain : {0.0f, 2.0f}) {
    AP7_SPECTRUM* spectrum = cosine();
    put_values(spectrum, y);
    record(spectrum).Gain = gain;
    ASSERT_EQ(ap7b_InterferogramToSingleBeamDefault(spectrum, 6, AP4_APODIZE_NONE, AP4_PHASE_MAGNITUDE, 8, 3, 0,
                                                    nullptr),
              1);
    beams.push_back(values(spectrum));
    destroy(spectrum);
  }
  ASSERT_EQ(beams[0].size(), dft.size());
  const double scale = beams[0][1] / dft[1];
  for (size_t k = 0; k < dft.size(); ++k) {
    const double expected = (k == 0 ? scale / 2.0 : scale) * dft[k];
    EXPECT_NEAR(beams[0][k], expected, 1e-4 * scale * dft[1]) << "point " << k;
    EXPECT_FLOAT_EQ(beams[1][k], beams[0][k] / 2.0f) << "point " << k;
  }
}

// The direct conversion without the flag gives what message 166 gives.
TEST_F(SingleBeam, TheDefaultConversionIsMessage166) {
  AP7_SPECTRUM* by_message = cosine();
  AP7_SPECTRUM* direct = cosine();
  AP7_SINGLEBEAMPARM parameter{6, AP4_APODIZE_NONE, AP4_PHASE_MAGNITUDE, 8, 3, 0, nullptr};
  ASSERT_EQ(send(AP7_MSG_INTERFEROGRAM_TO_SINGLE_BEAM, by_message, &parameter), 1u);
  ASSERT_EQ(ap7b_InterferogramToSingleBeamDefault(direct, 6, AP4_APODIZE_NONE, AP4_PHASE_MAGNITUDE, 8, 3, 0, nullptr),
            1);
  EXPECT_EQ(values(direct), values(by_message));
  EXPECT_EQ(packed(record(direct).last_x), packed(record(by_message).last_x));
  destroy(by_message);
  destroy(direct);
}

TEST(TransformSizeCode, IsTheNearestExponentOfTwo) {
  struct Case {
    double points;
    uint16_t code;
  };
  for (const Case& c : {Case{1024.0, 10}, Case{1448.0, 10}, Case{1449.0, 11}, Case{213.3, 8}, Case{2.0, 1},
                        Case{1.0, 0}, Case{0.0, 0}, Case{-8.0, 0}, Case{4294967296.0, 0}, Case{NAN, 0}}) {
    EXPECT_EQ(ap7b_TransformSizeCode(c.points), c.code) << c.points;
  }
}

TEST_F(SingleBeam, CosineBecomesOneLineDividedByTheGain) {
  AP7_SPECTRUM* spectrum = cosine();
  record(spectrum).Gain = 2.0f;
  AP7_SINGLEBEAMEXPARM parameter{6, AP4_APODIZE_NONE, AP4_PHASE_MAGNITUDE, 8, 3, 0, 0, nullptr};
  ASSERT_EQ(send(AP7_MSG_INTERFEROGRAM_TO_SINGLE_BEAM_EX, spectrum, &parameter), 1u);
  EXPECT_EQ(packed(record(spectrum).y_units), AP41_YUNITS_SINGLE_BEAM);
  const std::vector<float> beam = values(spectrum);
  ASSERT_FALSE(beam.empty());
  size_t brightest = 0;
  for (size_t i = 0; i < beam.size(); ++i)
    if (beam[i] > beam[brightest]) brightest = i;
  EXPECT_EQ(brightest, 5u);
  for (size_t i = 0; i < beam.size(); ++i)
    if (i != 5) {
      EXPECT_LT(beam[i], 1e-3 * beam[5]) << "point " << i;
    }
  destroy(spectrum);
}

}  // namespace
