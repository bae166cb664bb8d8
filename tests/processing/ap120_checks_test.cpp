#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "processing/quality_fixture.h"

namespace {

using qualitytest::send;
using qualitytest::as_parameter;
using qualitytest::get;
using qualitytest::set;
using qualitytest::set_text;
using qualitytest::text;

class SettingsChecksTest : public QualityTest {
 protected:
  void SetUp() override {
    QualityTest::SetUp();
    sq = make_sq();
    result = make_sqr();
    collection = make_host();
    instrument = make_host();
  }
  uint32_t collection_checks() {
    AP120_COLLECTIONPARM block{result, collection, instrument};
    return send(AP120_MSG_COLLECTION_CHECKS, sq, &block);
  }
  uint32_t interferogram(uint16_t message, const void* samples, uint32_t count, uint32_t index, uint32_t offset,
                         float scale = 1.0f, float divisor = 1.0f) {
    AP120_IFGPARM block{result, samples, index, offset, scale, divisor, count};
    return send(message, sq, &block);
  }
  bool warned(uint32_t bit) { return send(AP121_MSG_ANY_WARNING, result, as_parameter(bit)) != 0; }
  bool failed(uint32_t bit) { return send(AP121_MSG_ANY_FAILURE, result, as_parameter(bit)) != 0; }
  bool done(uint32_t bit) {
    const uint16_t number = (bit & AP121_SECOND_WORD) != 0 ? AP121_DONE2 : AP121_DONE;
    return (word(result, number) & bit & ~AP121_SECOND_WORD) != 0;
  }

  AP120_SQ* sq = nullptr;
  AP121_SQR* result = nullptr;
  AP_OBJECT* collection = nullptr;
  AP_OBJECT* instrument = nullptr;
};

// ---------------------------------------------------------------------------
// Message 71

struct CollectionCase {
  const char* what;
  float limit_a, limit_b, resolution;
  uint32_t xlo, xhi, ilo, ihi, mode;
  bool fail_resolution, fail_range, warn_range, warn_fine;
  uint16_t level;
};

TEST_F(SettingsChecksTest, CollectionSettingsPassAndFailAtEachLimit) {
  const CollectionCase cases[] = {
      {"limits in either order", 32, 0.125f, 16, 650, 4000, 650, 4000, 1, false, false, false, false, 0},
      {"coarser than the limits", 0.125f, 32, 64, 650, 4000, 650, 4000, 1, true, false, false, false, 2},
      {"finer than the limits", 0.125f, 32, 0.1f, 650, 4000, 650, 4000, 1, true, false, false, false, 2},
      {"range within the slack", 0.125f, 32, 4, 641, 4009, 650, 4000, 1, false, false, false, false, 0},
      {"range beyond one end", 0.125f, 32, 4, 600, 4000, 650, 4000, 1, false, false, true, false, 1},
      {"range above the instrument", 0.125f, 32, 4, 3995, 5000, 650, 4000, 1, false, true, false, false, 2},
      {"range below the instrument", 0.125f, 32, 4, 100, 655, 650, 4000, 1, false, true, false, false, 2},
      {"coarse in the fine mode", 0.125f, 32, 0.5f, 650, 4000, 650, 4000, 2, false, false, false, true, 1},
      {"fine in the fine mode", 0.125f, 32, 0.25f, 650, 4000, 650, 4000, 2, false, false, false, false, 0},
  };
  for (const CollectionCase& c : cases) {
    set<float>(sq, AP120_RESOLUTION_A, c.limit_a);
    set<float>(sq, AP120_RESOLUTION_B, c.limit_b);
    set<float>(collection, AP120_CS_RESOLUTION, c.resolution);
    set<uint32_t>(collection, AP120_CS_MODE, c.mode);
    set<uint32_t>(result, AP121_EXPECTED_LOW, c.xlo);
    set<uint32_t>(result, AP121_EXPECTED_HIGH, c.xhi);
    set<uint32_t>(result, AP121_INSTRUMENT_LOW, c.ilo);
    set<uint32_t>(result, AP121_INSTRUMENT_HIGH, c.ihi);
    set<uint16_t>(result, AP121_LEVEL, 0);
    EXPECT_EQ(collection_checks(), c.level) << c.what;
    EXPECT_EQ(level(result), c.level) << c.what;
    EXPECT_TRUE(done(1) && done(2) && done(4)) << c.what;
    EXPECT_EQ(failed(1), c.fail_resolution) << c.what;
    EXPECT_EQ(failed(2), c.fail_range) << c.what;
    EXPECT_EQ(warned(2), c.warn_range) << c.what;
    EXPECT_EQ(warned(4), c.warn_fine) << c.what;
  }
}

TEST_F(SettingsChecksTest, ChecksAreRefusedWithoutTheirObjectsAndSkippedWithoutTheMasterSwitch) {
  AP121_SQR* other = make_sqr();
  AP120_COLLECTIONPARM block{result, collection, instrument};
  EXPECT_EQ(AP120_Dispatcher_SQ(other, AP120_MSG_COLLECTION_CHECKS, &block), AP120_REFUSED) << "another class";
  AP120_COLLECTIONPARM missing{result, collection, nullptr};
  EXPECT_EQ(send(AP120_MSG_COLLECTION_CHECKS, sq, &missing), AP120_REFUSED);
  EXPECT_EQ(word(result, AP121_DONE), 0u);
  set<int16_t>(sq, AP120_MASTER, 0);
  set<float>(collection, AP120_CS_RESOLUTION, 100.0f);
  EXPECT_EQ(collection_checks(), 0u);
  EXPECT_EQ(word(result, AP121_DONE), 0u);
}

// ---------------------------------------------------------------------------
// Message 72

TEST_F(SettingsChecksTest, CopyingTheSettingsFillsTheResult) {
  ASSERT_EQ(send(AP121_MSG_LOAD_ACCESSORIES, result), 1u);
  set_text(sq, AP120_TITLE, "Routine");
  set_text(sq, AP120_DESCRIPTION, "Mid-IR check");
  set<uint16_t>(sq, AP120_ACCESSORY, 7);
  set<float>(collection, AP120_CS_RESOLUTION, 4.0f);
  set<float>(instrument, AP120_INSTRUMENT_X1, 4000.5f);
  set<float>(instrument, AP120_INSTRUMENT_X2, 400.9f);
  set<uint32_t>(instrument, AP120_INSTRUMENT_SOURCE, 2);  // source 2 allows 50..7400
  set<uint32_t>(collection, AP120_CS_SOURCE_KIND, 32);    // but this collection takes source 1
  set<uint16_t>(result, AP121_LEVEL, 2);
  AP120_COLLECTIONPARM block{result, collection, instrument};
  EXPECT_EQ(send(AP120_MSG_COPY_SETTINGS, sq, &block), 1u);
  EXPECT_EQ(level(result), 0u);
  EXPECT_EQ(text(result, AP121_TITLE), "Routine");
  EXPECT_EQ(text(result, AP121_DESCRIPTION), "Mid-IR check");
  EXPECT_EQ(get<uint16_t>(result, AP121_ACCESSORY), 7u);
  EXPECT_EQ(text(result, AP121_ACCESSORY_NAME), "No Name");
  EXPECT_EQ(get<float>(result, AP121_COLLECTION_RESOLUTION), 4.0f);
  EXPECT_EQ(get<float>(result, AP121_RESOLUTION_A), 0.125f);
  EXPECT_EQ(get<float>(result, AP121_RESOLUTION_B), 32.0f);
  // Source 1, beam splitter 0 and detector 0: 650..4000.
  EXPECT_EQ(get<uint32_t>(result, AP121_INSTRUMENT_LOW), 650u);
  EXPECT_EQ(get<uint32_t>(result, AP121_INSTRUMENT_HIGH), 4000u);
  EXPECT_EQ(get<uint32_t>(result, AP121_EXPECTED_LOW), 400u);
  EXPECT_EQ(get<uint32_t>(result, AP121_EXPECTED_HIGH), 4000u);
  EXPECT_EQ(get<float>(result, AP121_AMPLITUDE_LOW), 5.6f);
  EXPECT_EQ(get<float>(result, AP121_AMPLITUDE_HIGH), 9.8f);
  EXPECT_EQ(send(AP120_MSG_COPY_SETTINGS, sq, nullptr), 0u);
}

// ---------------------------------------------------------------------------
// Message 73

TEST_F(SettingsChecksTest, ASpacingOtherThanTheBenchsFailsTheLevelEvenWithTheTestOff) {
  AP_OBJECT* bench = make_host();
  AP7_SPECTRUM* spectrum = keep(spectrumtest::make_ramp(100, 4000.0f, 400.0f));
  spectrumtest::record(spectrum).SSP = 2.0f;
  set<float>(bench, AP120_BENCH_SPACING, 1.0f);
  set<uint32_t>(result, AP121_EXPECTED_LOW, 400);
  set<uint32_t>(result, AP121_EXPECTED_HIGH, 4000);
  set<int16_t>(sq, AP120_SPECTRUM_ON, 0);
  AP120_SPECTRUMSETTINGSPARM block{result, collection, bench, spectrum};
  EXPECT_EQ(send(AP120_MSG_SPECTRUM_SETTINGS, sq, &block), 2u);
  EXPECT_EQ(level(result), 2u);
  EXPECT_EQ(word(result, AP121_FAILURES), 0u);
  EXPECT_EQ(get<uint32_t>(result, AP121_SPECTRUM_LOW), 400u);
  EXPECT_EQ(get<uint32_t>(result, AP121_SPECTRUM_HIGH), 4000u);

  set<int16_t>(sq, AP120_SPECTRUM_ON, 1);
  set<uint16_t>(result, AP121_LEVEL, 0);
  EXPECT_EQ(send(AP120_MSG_SPECTRUM_SETTINGS, sq, &block), 2u);
  EXPECT_TRUE(failed(8));
  EXPECT_TRUE(done(0x20)) << "the accessory test runs with the settings tests on";
}

// ---------------------------------------------------------------------------
// Messages 74 and 80

struct InterferogramCase {
  const char* what;
  float peak;
  float noise;  // the value of the 250 samples from 250 after the peak
  bool skip;    // warning 0x80 set before
  bool fail_low, fail_high, warn_noise, noise_done;
};

TEST_F(SettingsChecksTest, InterferogramAmplitudeAndNoisePassAndFailAtEachLimit) {
  // Limits 5.6..9.8, a peak-to-noise ratio of 10 required.
  const InterferogramCase cases[] = {
      {"within the limits", 7.0f, 0.5f, false, false, false, false, true},
      {"too weak", 5.0f, 0.1f, false, true, false, false, true},
      {"too strong", 10.0f, 0.5f, false, false, true, false, true},
      {"noisy", 7.0f, 1.0f, false, false, false, true, true},
      {"skipped but still too strong", 10.0f, 5.0f, true, false, true, false, false},
  };
  for (const InterferogramCase& c : cases) {
    for (uint16_t message : {AP120_MSG_IFG_CHECKS_FLOAT, AP120_MSG_IFG_CHECKS_INT}) {
      // Integer samples ten times larger, scaled back by 0.1.
      const bool integers = message == AP120_MSG_IFG_CHECKS_INT;
      const float factor = integers ? 10.0f : 1.0f;
      std::vector<float> floats(600, 0.0f);
      floats[10] = -c.peak * factor;
      for (size_t i = 260; i < 510; ++i) floats[i] = (i % 2 == 0 ? 1.0f : -1.0f) * c.noise * factor;
      std::vector<int32_t> ints(floats.begin(), floats.end());
      send(AP121_MSG_CLEAR_WARNINGS, result, as_parameter(0x80));
      if (c.skip) send(AP121_MSG_SET_WARNINGS, result, as_parameter(0x80));
      set<uint16_t>(result, AP121_LEVEL, 0);
      const void* samples = integers ? static_cast<const void*>(ints.data()) : floats.data();
      interferogram(message, samples, 600, 4, 6, integers ? 0.1f : 1.0f);
      EXPECT_NEAR(get<float>(result, AP121_AMPLITUDE), c.peak, 1e-5f) << c.what;
      EXPECT_EQ(failed(0x40), c.fail_low) << c.what;
      EXPECT_EQ(failed(0x80000004), c.fail_high) << c.what;
      EXPECT_EQ(warned(0x100), c.warn_noise) << c.what;
      EXPECT_EQ(done(0x100), c.noise_done) << c.what;
      EXPECT_EQ(done(0x40), !c.skip) << c.what;
      EXPECT_TRUE(done(0x80000004)) << c.what;
    }
  }
}

TEST_F(SettingsChecksTest, InterferogramChecksReadOnlyInsideTheInterferogram) {
  // Ends 100 points after the peak: no noise window to measure.
  std::vector<float> short_run(110, 0.0f);
  short_run[10] = 7.0f;
  EXPECT_EQ(interferogram(AP120_MSG_IFG_CHECKS_FLOAT, short_run.data(), 110, 10, 0), 0u);
  EXPECT_TRUE(done(0x40));
  EXPECT_FALSE(done(0x100)) << "the noise test needs the whole window";
  // A peak position outside the samples is refused and changes nothing.
  set<float>(result, AP121_AMPLITUDE, 0.0f);
  EXPECT_EQ(interferogram(AP120_MSG_IFG_CHECKS_FLOAT, short_run.data(), 110, 100, 10), AP120_REFUSED);
  EXPECT_EQ(interferogram(AP120_MSG_IFG_CHECKS_FLOAT, short_run.data(), 110, 0xFFFFFFFF, 11), AP120_REFUSED);
  EXPECT_EQ(get<float>(result, AP121_AMPLITUDE), 0.0f);
  EXPECT_EQ(interferogram(AP120_MSG_IFG_CHECKS_FLOAT, nullptr, 110, 10, 0), AP120_REFUSED);
}

// ---------------------------------------------------------------------------
// Message 79

TEST_F(SettingsChecksTest, FiltersOtherThanTheSpectrumsAreTold) {
  AP_OBJECT* filters = make_host();
  AP7_SPECTRUM* spectrum = keep(spectrumtest::make_ramp(10, 4000.0f, 400.0f));
  spectrumtest::record(spectrum).HPF = 150.0f;
  spectrumtest::record(spectrum).LPF = 11000.0f;
  set<float>(filters, AP120_FILTER_HIGH, 150.0f);
  set<float>(filters, AP120_FILTER_LOW, 11000.0f);
  AP120_FILTERPARM block{filters, spectrum};
  EXPECT_EQ(send(AP120_MSG_FILTER_COMPARE, sq, &block), 0u);
  set<float>(filters, AP120_FILTER_LOW, 5000.0f);
  EXPECT_EQ(send(AP120_MSG_FILTER_COMPARE, sq, &block), AP120_FILTERS_DIFFER);
  AP120_FILTERPARM missing{nullptr, spectrum};
  EXPECT_EQ(send(AP120_MSG_FILTER_COMPARE, sq, &missing), 0u);
}

}  // namespace
