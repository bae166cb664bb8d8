#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "files/files.h"
#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

class StoredSpectra : public SpectrumTest {
 protected:
  static AP7_SPECTRUM* stored(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* other, uint16_t which) {
    AP7_STOREDPARM parameter{other, which};
    return ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_READ_STORED_SPECTRUM, spectrum, &parameter));
  }
  static AP7_SPECTRUM* interferogram(float first) {
    AP7_SPECTRUM* made = make_axis(0.0f, 2.0f, {first, first + 1, first + 2});
    record(made).y_units = AP41_YUNITS_INTERFEROGRAM;
    record(made).Gain = 1.0f;
    return made;
  }
};

TEST_F(StoredSpectra, HeldInterferogramsAreCopiedTheBackgroundWithTheBackgroundGain) {
  AP7_SPECTRUM* spectrum = make_ramp(4, 400.0f, 406.0f);
  record(spectrum).BKGain = 2.5f;
  ap7b_SetNameAndSubSpectra(spectrum, nullptr, interferogram(10), interferogram(20));
  AP7_SPECTRUM* sample = stored(spectrum, nullptr, AP21_SAMPLE);
  AP7_SPECTRUM* background = stored(spectrum, nullptr, AP21_BACKGROUND);
  ASSERT_NE(sample, nullptr);
  ASSERT_NE(background, nullptr);
  EXPECT_EQ(values(sample), std::vector<float>({20, 21, 22}));
  EXPECT_EQ(values(background), std::vector<float>({10, 11, 12}));
  EXPECT_EQ(packed(record(sample).Gain), 1.0f);
  EXPECT_EQ(packed(record(background).Gain), 2.5f);
  EXPECT_NE(sample, packed(spectrum->subSpectrumB)) << "a copy, the caller's";
  destroy(sample);
  destroy(background);
  destroy(spectrum);
}

TEST_F(StoredSpectra, BackgroundWithNeitherSubSpectrumNorNameIsNull) {
  AP7_SPECTRUM* spectrum = make_ramp(4, 400.0f, 406.0f);
  EXPECT_EQ(stored(spectrum, nullptr, AP21_BACKGROUND), nullptr);
  destroy(spectrum);
}

TEST_F(StoredSpectra, AnInterferogramIsItsOwnSample) {
  AP7_SPECTRUM* spectrum = interferogram(5);
  AP7_SPECTRUM* sample = stored(spectrum, nullptr, AP21_SAMPLE);
  ASSERT_NE(sample, nullptr);
  EXPECT_EQ(values(sample), std::vector<float>({5, 6, 7}));
  destroy(sample);
  destroy(spectrum);
}

TEST_F(StoredSpectra, TheOthersSampleServesAsTheBackground) {
  AP7_SPECTRUM* spectrum = make_ramp(4, 400.0f, 406.0f);
  AP7_SPECTRUM* other = make_ramp(4, 400.0f, 406.0f);
  ap7b_SetNameAndSubSpectra(other, nullptr, interferogram(10), interferogram(30));
  AP7_SPECTRUM* background = stored(spectrum, other, AP21_BACKGROUND);
  ASSERT_NE(background, nullptr);
  EXPECT_EQ(values(background), std::vector<float>({30, 31, 32}));
  destroy(background);
  AP7_SPECTRUM* itself = interferogram(40);
  background = stored(spectrum, itself, AP21_BACKGROUND);
  ASSERT_NE(background, nullptr);
  EXPECT_EQ(values(background), std::vector<float>({40, 41, 42}));
  destroy(background);
  destroy(itself);
  destroy(other);
  destroy(spectrum);
}

TEST_F(StoredSpectra, NameOfAMissingFileGivesNull) {
  AP7_SPECTRUM* spectrum = make_ramp(4, 400.0f, 406.0f);
  ap7b_SetNameAndSubSpectra(spectrum, "/nowhere/missing.spa;3", nullptr, nullptr);
  EXPECT_EQ(stored(spectrum, nullptr, AP21_SAMPLE), nullptr);
  ap7b_SetNameAndSubSpectra(spectrum, "/nowhere/missing.spa", nullptr, nullptr);
  EXPECT_EQ(stored(spectrum, nullptr, AP21_BACKGROUND), nullptr);
  destroy(spectrum);
}

}  // namespace
