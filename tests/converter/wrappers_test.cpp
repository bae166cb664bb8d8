// The spectrum wrapper and the header wrappers over a real spectrum: the
// spectrum owned from creation to deletion, adoption of spectra only,
// resizing and scaled values, texts, stored interferograms; header
// parameters set through the header's messages (validated, marking the
// header changed) or in its record, durations in hundredths, and titles
// measured in ANSI bytes.
#include <cstring>
#include <iterator>
#include <memory>

#include "apcomlib/spectrum/spectrum.h"
#include "converter/hdrwrappers.h"
#include "converter/importjob.h"
#include "converter_support.h"
#include "core/core_fixture.h"
#include "module_fixture.h"

namespace convertertest {
namespace {

using converter::CApSpectrum;
using converter::CCollectionHdr;
using converter::CGamlSpectrum;

uint16_t live(uint16_t class_id) {
  uint16_t count = 0;
  APX_GetAPClassInfo(class_id, &count, nullptr, nullptr);
  return count;
}

AP7_SPECTRUM* spectrum_of(const CGamlSpectrum& wrapper) { return ap7a_spectrum(wrapper.GetSpectrum()); }

AP41_HEADERDATA& record_of(const CGamlSpectrum& wrapper) { return spectrum_of(wrapper)->header->data; }

std::vector<float> values_of(const CApSpectrum& wrapper) {
  uint32_t count = 0;
  float probe;
  wrapper.GetValues(&probe, &count);
  std::vector<float> values(count);
  EXPECT_TRUE(wrapper.GetValues(values.data(), &count));
  return values;
}

class SpectrumWrapper : public AttachedModule {};

TEST_F(SpectrumWrapper, OwnsItsSpectrumFromCreationToDeletion) {
  const uint16_t before = live(AP7_CLASS_ID);
  {
    CGamlSpectrum one;
    CGamlSpectrum five(5);
    uint32_t count = 0;
    EXPECT_TRUE(one.GetPointCount(&count));
    EXPECT_EQ(count, 1u);
    EXPECT_TRUE(five.GetPointCount(&count));
    EXPECT_EQ(count, 5u);
    CGamlSpectrum copy(five);
    EXPECT_NE(copy.GetSpectrum(), five.GetSpectrum());
    EXPECT_TRUE(copy.GetPointCount(&count));
    EXPECT_EQ(count, 5u);
    one = five;
    EXPECT_TRUE(one.GetPointCount(&count));
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(live(AP7_CLASS_ID), before + 3);
  }
  EXPECT_EQ(live(AP7_CLASS_ID), before);
}

TEST_F(SpectrumWrapper, AdoptsSpectraOnlyAndDeletesTheOneItHeld) {
  CGamlSpectrum wrapper;
  AP_OBJECT* held = wrapper.GetSpectrum();
  uint16_t array_class = AP4_CLASS_ID;
  AP4_NEWPARM array_block{};
  array_block.rows = array_block.columns = 1;
  auto* array = ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP_MSG_NEW, &array_class, &array_block));
  ASSERT_NE(array, nullptr);
  EXPECT_FALSE(wrapper.Attach(array));
  EXPECT_FALSE(wrapper.Attach(nullptr));
  EXPECT_EQ(wrapper.GetSpectrum(), held);
  const uint16_t before = live(AP7_CLASS_ID);
  AP_OBJECT* other = reinterpret_cast<AP_OBJECT*>(ap7a_NewInit(AP7_CLASS_ID, 4, nullptr));
  EXPECT_TRUE(wrapper.Attach(other));
  EXPECT_EQ(wrapper.GetSpectrum(), other);
  EXPECT_EQ(live(AP7_CLASS_ID), before);  // the one held before went
  CGamlSpectrum none(array);
  EXPECT_EQ(none.GetSpectrum(), nullptr);
  uint32_t count = 0;
  EXPECT_FALSE(none.GetPointCount(&count));
  EXPECT_FALSE(none.SetNumPoints(3));
  EXPECT_FALSE(none.AppendHistory(u"x"));
  AP_WINDOWPARM window{nullptr, 0};
  GU2_DoMethod_MSG(AP_MSG_DESTROY, array, &window);
}

TEST_F(SpectrumWrapper, ScaledDataResizesAtTheEndAndTakesFactorTimesValues) {
  CGamlSpectrum wrapper;
  record_of(wrapper).first_x = 10.0f;
  record_of(wrapper).last_x = 10.0f;
  const float values[] = {1.0f, 2.0f, 4.0f};
  EXPECT_TRUE(wrapper.SetScaledData(values, 3, 0.5));
  EXPECT_EQ(values_of(wrapper), (std::vector<float>{0.5f, 1.0f, 2.0f}));
  EXPECT_EQ(packed(record_of(wrapper).points), 3u);
  // The end moved by the one-point spacing of 1.0 per added point.
  EXPECT_EQ(packed(record_of(wrapper).first_x), 10.0f);
  EXPECT_EQ(packed(record_of(wrapper).last_x), 12.0f);
  EXPECT_TRUE(ap7b_TestHistoryFlag(wrapper.GetSpectrum(), AP41_HISTORY_EXPANSION));
  const int32_t counts[] = {-3, 7};
  EXPECT_TRUE(wrapper.SetScaledData(counts, 2, 2.0));
  EXPECT_EQ(values_of(wrapper), (std::vector<float>{-6.0f, 14.0f}));
}

// At the factor 1.0 every value comes back as the product in double
// precision gives it: bit for bit, a signalling NaN made quiet.
TEST_F(SpectrumWrapper, ScaledDataAtFactorOneIsTheProductInDoublePrecisionBitForBit) {
  const uint32_t bits[] = {0x3F800000, 0x00000001, 0x80000000, 0x7F800000, 0xFF800000,
                           0x7FC00001, 0x7F800001, 0xFFA00000, 0x7FBFFFFF, 0x80400000};
  std::vector<float> values(std::size(bits));
  std::memcpy(values.data(), bits, sizeof bits);
  CGamlSpectrum wrapper;
  ASSERT_TRUE(wrapper.SetScaledData(values.data(), static_cast<uint32_t>(values.size()), 1.0));
  const std::vector<float> stored = values_of(wrapper);
  ASSERT_EQ(stored.size(), values.size());
  volatile double factor = 1.0;
  for (size_t i = 0; i < values.size(); ++i) {
    const float product = static_cast<float>(factor * static_cast<double>(values[i]));
    uint32_t expected, got;
    std::memcpy(&expected, &product, sizeof expected);
    std::memcpy(&got, &stored[i], sizeof got);
    EXPECT_EQ(got, expected) << std::hex << bits[i];
  }
  uint32_t quieted;
  std::memcpy(&quieted, &stored[6], sizeof quieted);
  EXPECT_EQ(quieted, 0x7FC00001u);
}

TEST_F(SpectrumWrapper, ValuesAreCopiedOutOnlyWhenTheyFit) {
  CGamlSpectrum wrapper(4);
  float buffer[3] = {9, 9, 9};
  uint32_t count = 3;
  EXPECT_FALSE(wrapper.GetValues(buffer, &count));
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(buffer[0], 9.0f);
}

TEST_F(SpectrumWrapper, HistoryLengthCountsTheTerminatorOfANonEmptyText) {
  CGamlSpectrum wrapper;
  uint32_t length = 99;
  EXPECT_TRUE(wrapper.GetHistoryLength(&length));
  EXPECT_EQ(length, 0u);
  EXPECT_TRUE(wrapper.AppendHistory(u"x"));
  EXPECT_TRUE(wrapper.GetHistoryLength(&length));
  EXPECT_EQ(length, 2u);
  EXPECT_FALSE(wrapper.AppendHistory(u""));
  EXPECT_TRUE(wrapper.AppendHistory(u"\u00B5m"));
  std::u16string text(2, u' ');
  EXPECT_FALSE(wrapper.GetHistory(text));  // no room for three characters
  text.assign(10, u' ');
  EXPECT_TRUE(wrapper.GetHistory(text));
  EXPECT_EQ(text, u"x\u00B5m");
  EXPECT_TRUE(wrapper.ClearHistory());
  EXPECT_TRUE(wrapper.GetHistoryLength(&length));
  EXPECT_EQ(length, 0u);
  EXPECT_TRUE(wrapper.AppendComment(u"note"));
  EXPECT_TRUE(wrapper.GetCommentLength(&length));
  EXPECT_EQ(length, 5u);
}

TEST_F(SpectrumWrapper, AnInterferogramIsAttachedAsACopyWithoutSubSpectra) {
  CGamlSpectrum spectrum;
  CGamlSpectrum background(3);
  CGamlSpectrum first(5);
  CGamlSpectrum second(7);
  ASSERT_TRUE(first.AttachBackgroundInterferogram(background));  // first has a sub-spectrum of its own
  const uint16_t before = live(AP7_CLASS_ID);
  EXPECT_TRUE(spectrum.AttachBackgroundInterferogram(background));
  EXPECT_TRUE(spectrum.AttachSampleInterferogram(first));
  EXPECT_EQ(live(AP7_CLASS_ID), before + 2);
  AP7_SPECTRUM* held = spectrum_of(spectrum);
  ASSERT_NE(packed(held->subSpectrumB), nullptr);
  EXPECT_EQ(packed(held->subSpectrumB->subSpectrumA), nullptr);
  EXPECT_NE(packed(spectrum_of(first)->subSpectrumA), nullptr);  // the source keeps its own
  AP7_SPECTRUM* kept_background = held->subSpectrumA;
  EXPECT_TRUE(spectrum.AttachSampleInterferogram(second));
  EXPECT_EQ(live(AP7_CLASS_ID), before + 2);  // the first copy went
  EXPECT_EQ(packed(held->subSpectrumA), kept_background);
  EXPECT_EQ(packed(held->subSpectrumB->header->data.points), 7u);
  EXPECT_TRUE(spectrum.HasSampleInterferogram());
  EXPECT_TRUE(spectrum.HasBackgroundInterferogram());
  EXPECT_FALSE(second.HasSampleInterferogram());
}

TEST_F(SpectrumWrapper, SavesUnderAnotherPathAndKeepsItsOwn) {
  CGamlSpectrum wrapper;
  ap7b_SetFilePath(spectrum_of(wrapper), "/old/path.spa");
  const std::string target = testsupport::home() + "/saved.spa";
  EXPECT_TRUE(wrapper.SaveAs(std::u16string(target.begin(), target.end())));
  EXPECT_TRUE(testsupport::file_exists(target));
  EXPECT_STREQ(spectrum_of(wrapper)->path, "/old/path.spa");
  // No exchange format is registered here: the export fails and the path stays.
  const std::string exported = testsupport::home() + "/exported.jdx";
  EXPECT_FALSE(wrapper.ExportJcamp(std::u16string(exported.begin(), exported.end())));
  EXPECT_STREQ(spectrum_of(wrapper)->path, "/old/path.spa");
}

TEST_F(SpectrumWrapper, APathTooLongForThePathFieldIsNotSavedUnder) {
  CGamlSpectrum wrapper;
  ap7b_SetFilePath(spectrum_of(wrapper), "/old/path.spa");
  const std::u16string long_path = u"/" + std::u16string(259, u'p');
  EXPECT_FALSE(wrapper.SaveAs(long_path));
  EXPECT_STREQ(spectrum_of(wrapper)->path, "/old/path.spa");
  EXPECT_FALSE(testsupport::file_exists("/old/path.spa"));
}

TEST_F(SpectrumWrapper, ChangesAreBracketedAndTrackedOnTheSpectrum) {
  CGamlSpectrum wrapper;
  int16_t state = -1;
  EXPECT_TRUE(wrapper.SetUserWord(7));
  EXPECT_TRUE(wrapper.BeginChange());
  EXPECT_TRUE(wrapper.EndChange());
  EXPECT_TRUE(wrapper.IsModified(&state));
  EXPECT_EQ(state, AP2_CHANGED);
  HWND window = reinterpret_cast<HWND>(0x1234);
  EXPECT_TRUE(wrapper.AddDependentWindow(window, AP2_KIND_NOTIFY_CHANGE));
  EXPECT_TRUE(wrapper.RemoveDependent(window));
  uint32_t small = 0, large = 0;
  CGamlSpectrum more(100);
  EXPECT_TRUE(wrapper.GetMemorySize(&small));
  EXPECT_TRUE(more.GetMemorySize(&large));
  EXPECT_EQ(large - small, 99 * sizeof(float));
}

TEST_F(SpectrumWrapper, RangesCountFillAndCopyOutBetweenTheirIndexes) {
  CGamlSpectrum wrapper;
  const float ramp[] = {0, 1, 2, 3, 4, 5};
  ASSERT_TRUE(wrapper.SetScaledData(ramp, 6, 1.0));
  record_of(wrapper).first_x = 100.0f;
  record_of(wrapper).last_x = 110.0f;  // spacing 2
  uint32_t count = 0;
  EXPECT_TRUE(wrapper.GetPointCount(102.0f, 106.0f, &count));
  EXPECT_EQ(count, 3u);
  float buffer[6] = {};
  count = 6;
  EXPECT_TRUE(wrapper.GetValues(buffer, &count, 108.0f, 102.0f));
  EXPECT_EQ(count, 3u);  // indexes 1 and 4 lie three apart
  EXPECT_EQ(std::vector<float>(buffer, buffer + 3), (std::vector<float>{1, 2, 3}));
  count = 6;
  EXPECT_TRUE(wrapper.GetValues(buffer, &count, 50.0f, 500.0f));  // both ends beyond the data
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(buffer[0], 0.0f);
  count = 2;
  EXPECT_TRUE(wrapper.GetValues(buffer, &count, 100.0f, 110.0f));
  EXPECT_EQ(count, 2u);
  EXPECT_TRUE(wrapper.FillRange(104.0f, 106.0f, 9.0f));
  EXPECT_EQ(values_of(wrapper), (std::vector<float>{0, 1, 9, 9, 4, 5}));
  EXPECT_TRUE(wrapper.InsertPoints(true, 2));
  EXPECT_EQ(packed(record_of(wrapper).first_x), 96.0f);
  EXPECT_TRUE(wrapper.DeletePoints(false, 3));
  EXPECT_EQ(values_of(wrapper), (std::vector<float>{0, 0, 0, 1, 9}));
  EXPECT_FALSE(wrapper.InsertPoints(false, -1));
}

TEST_F(SpectrumWrapper, CopyIntoResizesTheTargetAndKeepsItsPath) {
  CGamlSpectrum source;
  const float values[] = {1, 2, 3};
  ASSERT_TRUE(source.SetScaledData(values, 3, 1.0));
  ap7b_SetFilePath(spectrum_of(source), "/source.spa");
  CGamlSpectrum target(7);
  ap7b_SetFilePath(spectrum_of(target), "/target.spa");
  EXPECT_TRUE(source.CopyInto(target));
  EXPECT_EQ(values_of(target), (std::vector<float>{1, 2, 3}));
  EXPECT_STREQ(spectrum_of(target)->path, "/target.spa");
}

TEST_F(SpectrumWrapper, HeaderBytesAreTheWholeHeaderObjectWhoseTableStays) {
  CGamlSpectrum source, target;
  EXPECT_EQ(CApSpectrum::GetHeaderSize(), 1200u);
  record_of(source).y_units = AP41_YUNITS_SINGLE_BEAM;
  std::vector<uint8_t> bytes(1200);
  EXPECT_FALSE(source.GetHeaderBytes(bytes.data(), 1199));
  ASSERT_TRUE(source.GetHeaderBytes(bytes.data(), 1200));
  EXPECT_EQ(std::memcmp(bytes.data() + 6, &record_of(source), sizeof(AP41_HEADERDATA)), 0);
  AP13_PARAMS* const target_table = spectrum_of(target)->header->params;
  EXPECT_FALSE(target.SetHeaderBytes(bytes.data(), 1199));
  EXPECT_TRUE(target.SetHeaderBytes(bytes.data(), 1200));
  EXPECT_EQ(packed(spectrum_of(target)->header->params), target_table);
  bool single_beam = false;
  EXPECT_TRUE(target.IsSingleBeam(&single_beam));
  EXPECT_TRUE(single_beam);
  EXPECT_TRUE(source.IsSingleBeam(&single_beam) && single_beam);
  record_of(source).y_units = 17;
  EXPECT_TRUE(source.IsSingleBeam(&single_beam));
  EXPECT_FALSE(single_beam);
}

TEST_F(SpectrumWrapper, ASpectrumKeepsACopyOfItselfAsItsSampleInterferogram) {
  CGamlSpectrum wrapper(4);
  CGamlSpectrum background(2);
  ASSERT_TRUE(wrapper.AttachBackgroundInterferogram(background));
  const uint16_t before = live(AP7_CLASS_ID);
  EXPECT_TRUE(wrapper.KeepSelfAsSampleInterferogram());
  EXPECT_TRUE(wrapper.KeepSelfAsSampleInterferogram());  // replaces the first copy
  EXPECT_EQ(live(AP7_CLASS_ID), before + 1);
  AP7_SPECTRUM* sample = spectrum_of(wrapper)->subSpectrumB;
  ASSERT_NE(sample, nullptr);
  EXPECT_EQ(packed(sample->header->data.points), 4u);
  EXPECT_EQ(packed(sample->subSpectrumA), nullptr);
  EXPECT_NE(packed(spectrum_of(wrapper)->subSpectrumA), nullptr);
}

TEST_F(SpectrumWrapper, TakesACopyOfAnotherSpectrumsInterferogramInPlaceOfItsOwn) {
  CGamlSpectrum with, interferogram(6), taker;
  ASSERT_TRUE(with.AttachSampleInterferogram(interferogram));
  EXPECT_TRUE(taker.TakeSampleInterferogramOf(with));
  uint32_t count = 0;
  EXPECT_TRUE(taker.GetPointCount(&count));
  EXPECT_EQ(count, 6u);
  EXPECT_NE(spectrum_of(taker), packed(spectrum_of(with)->subSpectrumB));
  AP_OBJECT* held = taker.GetSpectrum();
  EXPECT_FALSE(taker.TakeBackgroundInterferogramOf(with));
  EXPECT_EQ(taker.GetSpectrum(), held);
}

class HeaderWrapper : public AttachedModule {
 protected:
  void SetUp() override {
    AttachedModule::SetUp();
    spectrum_ = std::make_unique<CGamlSpectrum>();
  }
  void TearDown() override {
    spectrum_.reset();
    AttachedModule::TearDown();
  }

  int16_t change_state() {
    return static_cast<int16_t>(GU2_DoMethod_MSG(AP_MSG_GET_CHANGE_STATE, spectrum_of(*spectrum_)->header, nullptr));
  }
  void mark_saved() {
    AP_WORDPARM saved{static_cast<uint16_t>(AP2_SAVED)};
    GU2_DoMethod_MSG(AP_MSG_SET_CHANGE_STATE, spectrum_of(*spectrum_)->header, &saved);
  }

  std::unique_ptr<CGamlSpectrum> spectrum_;
};

TEST_F(HeaderWrapper, ANeverAttachedWrapperAnswersFalseEverywhere) {
  CCollectionHdr header;
  uint32_t code = 7;
  float value = 7;
  std::u16string title(300, u' ');
  EXPECT_FALSE(header.SetXUnits(1));
  EXPECT_FALSE(header.GetXUnits(&code));
  EXPECT_FALSE(header.SetDuration(1));
  EXPECT_FALSE(header.GetDuration(&value));
  EXPECT_FALSE(header.SetGain(2));
  EXPECT_FALSE(header.GetGain(&value));
  EXPECT_FALSE(header.SetTitle(u"t"));
  EXPECT_FALSE(header.GetTitle(title));
  EXPECT_FALSE(header.GetTitleLength(&code));
  EXPECT_EQ(code, 7u);
  EXPECT_EQ(value, 7.0f);
  EXPECT_TRUE(header.Attach(nullptr));
  EXPECT_FALSE(header.SetXUnits(1));
}

TEST_F(HeaderWrapper, ACopyStartsDetached) {
  CCollectionHdr header;
  ASSERT_TRUE(header.Attach(spectrum_.get()));
  CCollectionHdr copy(header);
  EXPECT_FALSE(copy.SetGain(3));
  copy = header;
  EXPECT_FALSE(copy.SetGain(3));
  EXPECT_TRUE(header.SetGain(3));
}

TEST_F(HeaderWrapper, MessageSettersAreValidatedAndMarkTheHeaderChangedDirectOnesAreNot) {
  CCollectionHdr header;
  ASSERT_TRUE(header.Attach(spectrum_.get()));
  mark_saved();
  EXPECT_TRUE(header.SetGain(4.0f));
  EXPECT_TRUE(header.SetLaserFreq(15798.0f));
  EXPECT_EQ(change_state(), AP2_SAVED);
  EXPECT_EQ(packed(record_of(*spectrum_).Gain), 4.0f);
  EXPECT_TRUE(header.SetNumScans(32));
  EXPECT_EQ(change_state(), AP2_CHANGED);
  EXPECT_EQ(packed(record_of(*spectrum_).NumScans), 32u);
  // The point count lies between 1 and 500000: 0 is refused, silently.
  EXPECT_TRUE(header.SetPointCount(0));
  EXPECT_EQ(packed(record_of(*spectrum_).points), 1u);
  float gain = 0;
  EXPECT_TRUE(header.GetGain(&gain));
  EXPECT_EQ(gain, 4.0f);
}

TEST_F(HeaderWrapper, TheScanCountIsStoredAsGivenBeyondTheHeadersCheckedRange) {
  CCollectionHdr header;
  ASSERT_TRUE(header.Attach(spectrum_.get()));
  for (uint32_t scans : {65536u, 65537u, 100000u, 0xFFFFFFFFu, 16u}) {
    EXPECT_TRUE(header.SetNumScans(scans));
    EXPECT_EQ(packed(record_of(*spectrum_).NumScans), scans);
    uint32_t back = 0;
    EXPECT_TRUE(header.GetNumScans(&back));
    EXPECT_EQ(back, scans);
  }
}

TEST_F(HeaderWrapper, TheTimeStampClearsParameter48) {
  CCollectionHdr header;
  ASSERT_TRUE(header.Attach(spectrum_.get()));
  record_of(*spectrum_).p48 = 77;
  EXPECT_TRUE(header.SetTimeStamp(3155760000u));
  EXPECT_EQ(packed(record_of(*spectrum_).time), 3155760000u);
  EXPECT_EQ(packed(record_of(*spectrum_).p48), 0u);
}

struct DurationCase {
  float seconds;
  uint32_t hundredths;
};

class Durations : public HeaderWrapper, public testing::WithParamInterface<DurationCase> {};

// Rounded to the nearest hundredth: durations that came through a float
// keep their value.
TEST_P(Durations, AreStoredInWholeHundredthsRoundedToTheNearest) {
  CCollectionHdr header;
  ASSERT_TRUE(header.Attach(spectrum_.get()));
  EXPECT_TRUE(header.SetDuration(GetParam().seconds));
  EXPECT_EQ(packed(record_of(*spectrum_).Duration), GetParam().hundredths);
  float back = 0;
  EXPECT_TRUE(header.GetDuration(&back));
  EXPECT_EQ(back, static_cast<float>(GetParam().hundredths) / 100.0f);
}

INSTANTIATE_TEST_SUITE_P(Seconds, Durations,
                         testing::Values(DurationCase{0.01f, 1}, DurationCase{0.29f, 29}, DurationCase{10.0f, 1000},
                                         DurationCase{2.5f, 250}, DurationCase{12.345f, 1235},
                                         DurationCase{-1.0f, 0}));

TEST_F(HeaderWrapper, TitlesOf255AnsiBytesOrMoreAreRefused) {
  CCollectionHdr header;
  ASSERT_TRUE(header.Attach(spectrum_.get()));
  const std::u16string fits(254, u't');
  EXPECT_TRUE(header.SetTitle(fits));
  // The header's get hands out at most 63 characters of the title.
  uint32_t length = 0;
  EXPECT_TRUE(header.GetTitleLength(&length));
  EXPECT_EQ(length, 64u);
  EXPECT_FALSE(header.SetTitle(std::u16string(255, u'x')));
  EXPECT_EQ(std::string(record_of(*spectrum_).title), std::string(254, 't'));
  // 255 UTF-16 units, of which two make one character: 254 bytes in the ANSI code page.
  const std::u16string wide = std::u16string(253, u'w') + u"\U0001F600";
  ASSERT_EQ(wide.size(), 255u);
  EXPECT_TRUE(header.SetTitle(wide));
  EXPECT_EQ(std::string(record_of(*spectrum_).title).size(), 254u);
}

TEST_F(HeaderWrapper, TheTitleIsHandedOutOnlyIntoAStringThatHoldsIt) {
  CCollectionHdr header;
  ASSERT_TRUE(header.Attach(spectrum_.get()));
  ASSERT_TRUE(header.SetTitle(u"Sample \u00B5"));
  std::u16string small(8, u'-');
  EXPECT_FALSE(header.GetTitle(small));
  EXPECT_EQ(small, std::u16string(8, u'-'));
  std::u16string room(9, u'-');
  EXPECT_TRUE(header.GetTitle(room));
  EXPECT_EQ(room, u"Sample \u00B5");
}

}  // namespace
}  // namespace convertertest
