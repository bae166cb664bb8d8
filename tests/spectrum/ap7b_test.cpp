#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "core/core.h"
#include "spectrum/header_fixture.h"

namespace {

using namespace headertest;

// The head of a spectrum record: class id 7, its data array part, its
// header. The history bits need no more of it.
#pragma pack(push, 2)
struct SpectrumStandIn {
  uint16_t class_id = 7;
  AP_OBJECT* data = nullptr;
  AP41_SPECTRALHEADER* header = nullptr;
};
#pragma pack(pop)

// Byte 396 + b / 8 of the record holds bit b as its bit b mod 8.
constexpr size_t kHistoryOffset = 396;

std::string history_with(const std::vector<int>& bits) {
  std::string bytes(8, '\0');
  for (int bit : bits) bytes[bit / 8] = static_cast<char>(bytes[bit / 8] | (1 << (bit % 8)));
  return bytes;
}

class HistoryBits : public HeaderTest {
 protected:
  void SetUp() override {
    HeaderTest::SetUp();
    spectrum_.header = make();
    ASSERT_NE(packed(spectrum_.header), nullptr);
  }
  void TearDown() override {
    destroy(spectrum_.header);
    HeaderTest::TearDown();
  }

  AP_OBJECT* spectrum() { return reinterpret_cast<AP_OBJECT*>(&spectrum_); }
  std::string history() const { return stored(spectrum_.header, kHistoryOffset, 8); }
  // A word of the history, or one put there.
  uint32_t word(int index) const {
    uint32_t value;
    std::memcpy(&value, history().data() + 4 * index, sizeof value);
    return value;
  }
  void put_word(int index, uint32_t value) {
    std::memcpy(reinterpret_cast<char*>(&packed(spectrum_.header)->data) + kHistoryOffset + 4 * index, &value,
                sizeof value);
  }

  // Notices to a watching window; they outlive the header's end.
  HWND watching() {
    HWND watcher = window(&received_);
    AP_DEPENDENTWINDOWPARM watch{watcher, AP2_KIND_NOTIFY_CHANGE};
    EXPECT_EQ(send(AP_MSG_ADD_DEPENDENT_WINDOW, spectrum_.header, &watch), 1u);
    return watcher;
  }

  SpectrumStandIn spectrum_;
  std::vector<std::pair<UINT, WPARAM>> received_;
};

class HistoryBit : public HistoryBits, public testing::WithParamInterface<int> {};

TEST_P(HistoryBit, IsSetTestedAndClearedAtItsByteAndBit) {
  const int bit = GetParam();
  EXPECT_EQ(ap7b_TestHistoryFlag(spectrum(), static_cast<int16_t>(bit)), 0);
  EXPECT_EQ(ap7b_SetHistoryFlag(spectrum(), static_cast<int16_t>(bit)), 1);
  EXPECT_EQ(history(), history_with({bit}));
  EXPECT_EQ(ap7b_TestHistoryFlag(spectrum(), static_cast<int16_t>(bit)), 1);
  EXPECT_EQ(ap7b_ClearHistoryFlag(spectrum(), static_cast<int16_t>(bit)), 1);
  EXPECT_EQ(history(), history_with({}));
  EXPECT_EQ(ap7b_TestHistoryFlag(spectrum(), static_cast<int16_t>(bit)), 0);
}

INSTANTIATE_TEST_SUITE_P(Bits, HistoryBit, testing::Values(0, 1, 7, 8, 31, 32, 40, 41, 42, 63));

TEST_F(HistoryBits, Bit40IsBit8OfTheSecondWord) {
  ASSERT_EQ(ap7b_SetHistoryFlag(spectrum(), AP41_HISTORY_REFERENCE_DIVIDE), 1);
  EXPECT_EQ(word(0), 0u);
  EXPECT_EQ(word(1), 1u << 8);
}

TEST_F(HistoryBits, Bits31And32LieInDifferentWords) {
  ASSERT_EQ(ap7b_SetHistoryFlag(spectrum(), 31), 1);
  ASSERT_EQ(ap7b_SetHistoryFlag(spectrum(), 32), 1);
  EXPECT_EQ(word(0), 0x80000000u);
  EXPECT_EQ(word(1), 0x00000001u);
}

TEST_F(HistoryBits, SettingOrClearingOneBitLeavesTheOthers) {
  put_word(0, 0x5A5A5A5Au);
  put_word(1, 0x3C3C3C3Cu);
  ASSERT_EQ(ap7b_SetHistoryFlag(spectrum(), 63), 1);
  EXPECT_EQ(word(0), 0x5A5A5A5Au);
  EXPECT_EQ(word(1), 0xBC3C3C3Cu);
  ASSERT_EQ(ap7b_ClearHistoryFlag(spectrum(), 1), 1);
  EXPECT_EQ(word(0), 0x5A5A5A58u);
  EXPECT_EQ(word(1), 0xBC3C3C3Cu);
}

class BadHistoryBit : public HistoryBits, public testing::WithParamInterface<int16_t> {};

TEST_P(BadHistoryBit, IsRefusedByAllThreeWithoutChange) {
  put_word(0, 0xFFFFFFFFu);
  const std::string before = history();
  EXPECT_EQ(ap7b_TestHistoryFlag(spectrum(), GetParam()), 0);
  EXPECT_EQ(ap7b_SetHistoryFlag(spectrum(), GetParam()), 0);
  EXPECT_EQ(ap7b_ClearHistoryFlag(spectrum(), GetParam()), 0);
  EXPECT_EQ(history(), before);
}

INSTANTIATE_TEST_SUITE_P(Bits, BadHistoryBit, testing::Values(int16_t{-1}, int16_t{64}, int16_t{100}, INT16_MIN));

TEST_F(HistoryBits, AChangeIsNotifiedAsAChangeOfParameter36) {
  watching();
  ASSERT_EQ(change_state(spectrum_.header), AP2_SAVED);
  ASSERT_EQ(ap7b_SetHistoryFlag(spectrum(), AP41_HISTORY_SMOOTH), 1);
  EXPECT_EQ(change_state(spectrum_.header), AP2_CHANGED);
  ASSERT_EQ(received_.size(), 1u);
  EXPECT_EQ(received_[0].first, AP_NOTICE_CHANGED);
  EXPECT_EQ(received_[0].second, AP41_HISTORYFLAGS + 1u);
}

TEST_F(HistoryBits, ABitAlreadyAsAskedSucceedsAndChangesNothing) {
  watching();
  EXPECT_EQ(ap7b_ClearHistoryFlag(spectrum(), 5), 1);
  put_word(0, 1u << 5);
  EXPECT_EQ(ap7b_SetHistoryFlag(spectrum(), 5), 1);
  EXPECT_EQ(word(0), 1u << 5);
  EXPECT_EQ(change_state(spectrum_.header), AP2_SAVED);
  EXPECT_TRUE(received_.empty());
}

TEST_F(HistoryBits, OnlyASpectrumWithAHeaderIsServed) {
  EXPECT_EQ(ap7b_SetHistoryFlag(nullptr, 3), 0);
  SpectrumStandIn other_class;
  other_class.class_id = 4;
  other_class.header = spectrum_.header;
  EXPECT_EQ(ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(&other_class), 3), 0);
  SpectrumStandIn headless;
  EXPECT_EQ(ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(&headless), 3), 0);
  AP_OBJECT not_a_header{AP13_CLASS_ID, nullptr};
  SpectrumStandIn wrong_header;
  wrong_header.header = reinterpret_cast<AP41_SPECTRALHEADER*>(&not_a_header);
  EXPECT_EQ(ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(&wrong_header), 3), 0);
  EXPECT_EQ(ap7b_TestHistoryFlag(reinterpret_cast<AP_OBJECT*>(&headless), 3), 0);
  EXPECT_EQ(ap7b_ClearHistoryFlag(reinterpret_cast<AP_OBJECT*>(&headless), 3), 0);
  EXPECT_EQ(history(), history_with({}));
}

TEST_F(HistoryBits, ACopiedHeaderCarriesTheBits) {
  ASSERT_EQ(ap7b_SetHistoryFlag(spectrum(), AP41_HISTORY_FFT), 1);
  ASSERT_EQ(ap7b_SetHistoryFlag(spectrum(), AP41_HISTORY_LASER_ADJUSTMENT), 1);
  SpectrumStandIn copy;
  copy.header = make();
  ASSERT_NE(packed(copy.header), nullptr);
  AP_COPYPARM parameter{reinterpret_cast<AP_OBJECT*>(copy.header), nullptr};
  ASSERT_EQ(send(AP_MSG_COPY, spectrum_.header, &parameter), 1u);
  EXPECT_EQ(ap7b_TestHistoryFlag(reinterpret_cast<AP_OBJECT*>(&copy), AP41_HISTORY_FFT), 1);
  EXPECT_EQ(ap7b_TestHistoryFlag(reinterpret_cast<AP_OBJECT*>(&copy), AP41_HISTORY_LASER_ADJUSTMENT), 1);
  EXPECT_EQ(ap7b_TestHistoryFlag(reinterpret_cast<AP_OBJECT*>(&copy), 2), 0);
  destroy(copy.header);
}

// ---------------------------------------------------------------------------
// Texts

struct BitText {
  int16_t bit;
  const char* text;
};

class HistoryText : public testing::TestWithParam<BitText> {};

TEST_P(HistoryText, IsTheTextExportedFilesPrint) {
  const char* text = ap7b_HistoryFlagText(GetParam().bit);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Bits, HistoryText,
    testing::Values(BitText{0, "FFT"}, BitText{1, "Phase Correction and/or Apodization"},
                    BitText{2, "Ratio against background"}, BitText{3, "%Transmittance->Absorbance"},
                    BitText{4, "Absorbance->%Transmittance"}, BitText{5, "Deresolve"},
                    BitText{6, "Retrieved from a Library"}, BitText{7, "Subtraction or Addition"},
                    BitText{8, "Smooth"}, BitText{9, "%Transmittance->Kubelka Munk"},
                    BitText{10, "%Transmittance->Photoacoustic"}, BitText{11, "ATR Correction"},
                    BitText{12, "Multiplied by a scalar"}, BitText{13, "Straight Line generate"},
                    BitText{14, "Derivative"}, BitText{15, "Integral"}, BitText{16, "Square or any other power"},
                    BitText{17, "Baseline Correction"}, BitText{18, "Wavenumber->Wavelength"},
                    BitText{19, "Wavelength->Wavenumber"}, BitText{22, "Retrieved from a Corvane Library"},
                    BitText{23, "Blanked Region"}, BitText{24, "Kramers-Kronig (Dispersion Correction)"},
                    BitText{25, "Converted from JCAMP"}, BitText{28, "Truncated"}, BitText{29, "Expansion"},
                    BitText{30, "Filled with a constant"}, BitText{31, "Subtract or Add a constant"},
                    BitText{32, "Multiplied by a function"}, BitText{33, "Interpolated"},
                    BitText{34, "Fourier Self-Deconvolution"}, BitText{35, "Convolved"},
                    BitText{36, "Raman X-axis corrected"}, BitText{37, "Raman X-axis shift corrected"},
                    BitText{38, "Concatenation"}, BitText{39, "ElementMultiply or ElementDivide"},
                    BitText{40, "Reference Divide"}, BitText{41, "Laser and X-Axis Adjustment"}));

TEST(HistoryTexts, TheFourOlderFormatBitsHaveTextsOfTheirOwn) {
  const int16_t bits[] = {20, 21, 26, 27};
  std::vector<std::string> texts;
  for (int16_t bit : bits) {
    ASSERT_NE(ap7b_HistoryFlagText(bit), nullptr) << bit;
    texts.emplace_back(ap7b_HistoryFlagText(bit));
    EXPECT_FALSE(texts.back().empty());
  }
  for (size_t i = 0; i < texts.size(); ++i) {
    for (size_t j = i + 1; j < texts.size(); ++j) EXPECT_NE(texts[i], texts[j]);
  }
}

TEST(HistoryTexts, BitsFrom42OnAndBadBitNumbersHaveNone) {
  for (int16_t bit : {int16_t{42}, int16_t{50}, int16_t{63}, int16_t{64}, int16_t{-1}}) {
    EXPECT_EQ(ap7b_HistoryFlagText(bit), nullptr) << bit;
  }
}

}  // namespace
