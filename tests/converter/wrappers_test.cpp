// The spectrum wrapper and the header wrappers over a real spectrum: the
// spectrum owned from creation to deletion, adoption of spectra only,
// resizing and scaled values, texts, stored interferograms; header
// parameters set through the header's messages (validated, marking the
// header changed) or in its record, durations in hundredths, and titles
// measured in ANSI bytes.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <memory>

#include "apcomlib/spectrum/spectrum.h"
#include "converter/hdrwrappers.h"
#include "converter/importjob.h"
#include "converter_support.h"
#include "core/core_fixture.h"
#include "module_fixture.h"
#include "wrapper_support.h"

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

// Turned round, the same values come back in the other order, each as the
// forward copy stores it.
TEST_F(SpectrumWrapper, ReversedDataIsTheForwardCopyTurnedRound) {
  const uint32_t bits[] = {0x3F800000, 0x00000001, 0x80000000, 0x7F800000, 0xFF800000, 0x7FC00001,
                           0x7F800001, 0xFFA00000, 0x7FBFFFFF, 0x80400000, 0x40490FDB};
  std::vector<float> values(std::size(bits));
  std::memcpy(values.data(), bits, sizeof bits);
  for (uint32_t count = 1; count <= values.size(); ++count) {
    CGamlSpectrum forward, reversed;
    ASSERT_TRUE(forward.SetScaledData(values.data(), count, 1.0));
    ASSERT_TRUE(reversed.SetReversedData(values.data(), count));
    std::vector<float> turned = values_of(forward);
    std::reverse(turned.begin(), turned.end());
    const std::vector<float> got = values_of(reversed);
    ASSERT_EQ(got.size(), turned.size());
    EXPECT_EQ(std::memcmp(got.data(), turned.data(), got.size() * sizeof(float)), 0) << count << " values";
  }
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
  EXPECT_EQ(count, 4u);  // indexes 1 to 4, both ends included
  EXPECT_EQ(std::vector<float>(buffer, buffer + 4), (std::vector<float>{1, 2, 3, 4}));
  count = 6;
  EXPECT_TRUE(wrapper.GetValues(buffer, &count, 50.0f, 500.0f));  // both ends beyond the data
  EXPECT_EQ(count, 6u);
  EXPECT_EQ(std::vector<float>(buffer, buffer + 6), (std::vector<float>{0, 1, 2, 3, 4, 5}));
  count = 6;
  EXPECT_TRUE(wrapper.GetValues(buffer, &count, 104.0f, 104.0f));  // one point
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(buffer[0], 2.0f);
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

// A wrapper holding the values on the even grid first..last.
std::unique_ptr<CGamlSpectrum> on_axis(const std::vector<float>& values, float first, float last) {
  auto wrapper = std::make_unique<CGamlSpectrum>();
  EXPECT_TRUE(wrapper->SetScaledData(values.data(), static_cast<uint32_t>(values.size()), 1.0));
  record_of(*wrapper).first_x = first;
  record_of(*wrapper).last_x = last;
  return wrapper;
}

void expect_near(const std::vector<float>& got, const std::vector<float>& expected, const char* what) {
  ASSERT_EQ(got.size(), expected.size()) << what;
  for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], expected[i], 1e-5) << what << " at " << i;
}

TEST_F(SpectrumWrapper, ValuesAtXNewFromRangeAndCopyRangeFrom) {
  auto ramp = on_axis({0, 1, 2, 3, 4, 5}, 100, 110);  // spacing 2
  float value = -1;
  EXPECT_TRUE(ramp->GetValueAtX(104.9f, &value));  // nearest grid point 104
  EXPECT_EQ(value, 2.0f);
  EXPECT_FALSE(ramp->GetValueAtX(200.0f, &value));
  EXPECT_FALSE(ramp->GetValueAtX(104.0f, nullptr));
  EXPECT_TRUE(ramp->SetValueAtX(106.0f, 9.0f));
  EXPECT_EQ(values_of(*ramp), (std::vector<float>{0, 1, 2, 9, 4, 5}));
  CGamlSpectrum cut;
  ASSERT_TRUE(ramp->NewFromRange(102.0f, 106.0f, cut));
  EXPECT_EQ(values_of(cut), (std::vector<float>{1, 2, 9}));
  EXPECT_EQ(packed(record_of(cut).first_x), 102.0f);
  EXPECT_EQ(packed(record_of(cut).last_x), 106.0f);
  auto target = on_axis({0, 0, 0, 0, 0, 0}, 100, 110);
  auto source = on_axis({10, 11, 12}, 104, 108);
  EXPECT_TRUE(target->CopyRangeFrom(*source, AP_NOT_GIVEN, AP_NOT_GIVEN));
  EXPECT_EQ(values_of(*target), (std::vector<float>{0, 0, 10, 11, 12, 0}));
  EXPECT_EQ(values_of(*source), (std::vector<float>{10, 11, 12}));  // read only
  auto other_spacing = on_axis({1, 1}, 100, 101);
  EXPECT_FALSE(target->CopyRangeFrom(*other_spacing, AP_NOT_GIVEN, AP_NOT_GIVEN));
}

TEST_F(SpectrumWrapper, ArithmeticWithAConstantOverTheWholeOrARange) {
  using Member = bool (*)(CApSpectrum&, float, float, float);
  const Member add = [](CApSpectrum& s, float a, float b, float v) {
    return ap1_not_given(a) ? s.AddConstant(v) : s.AddConstant(a, b, v);
  };
  const Member subtract = [](CApSpectrum& s, float a, float b, float v) {
    return ap1_not_given(a) ? s.SubtractConstant(v) : s.SubtractConstant(a, b, v);
  };
  const Member multiply = [](CApSpectrum& s, float a, float b, float v) {
    return ap1_not_given(a) ? s.MultiplyConstant(v) : s.MultiplyConstant(a, b, v);
  };
  const Member divide = [](CApSpectrum& s, float a, float b, float v) {
    return ap1_not_given(a) ? s.DivideConstant(v) : s.DivideConstant(a, b, v);
  };
  struct Case {
    const char* what;
    Member member;
    float x1, x2, value;
    bool done;
    std::vector<float> expected;
  };
  const float whole = AP_NOT_GIVEN;
  const Case cases[] = {
      {"add, whole", add, whole, whole, 1, true, {1, 2, 3, 4, 5, 6}},
      {"subtract, 102..104", subtract, 102, 104, 1, true, {0, 0, 1, 3, 4, 5}},
      {"multiply, whole", multiply, whole, whole, 2, true, {0, 2, 4, 6, 8, 10}},
      {"multiply, 110..108", multiply, 110, 108, -1, true, {0, 1, 2, 3, -4, -5}},
      {"divide, whole", divide, whole, whole, 2, true, {0, 0.5f, 1, 1.5f, 2, 2.5f}},
      {"divide by 0", divide, whole, whole, 0, false, {0, 1, 2, 3, 4, 5}},
      {"divide by almost 0", divide, 102, 104, 1e-39f, false, {0, 1, 2, 3, 4, 5}},
  };
  for (const Case& c : cases) {
    auto ramp = on_axis({0, 1, 2, 3, 4, 5}, 100, 110);
    EXPECT_EQ(c.member(*ramp, c.x1, c.x2, c.value), c.done) << c.what;
    expect_near(values_of(*ramp), c.expected, c.what);
  }
}

// a = 1..6 on 100..110, b = 2 everywhere on 104..114: their common range is
// 104..110, where a holds 3, 4, 5, 6.
TEST_F(SpectrumWrapper, ArithmeticWithASpectrumGivesANewSpectrumOverTheCommonRange) {
  using Member = bool (*)(const CApSpectrum&, float, float, const CApSpectrum&, CApSpectrum&);
  const Member add = [](const CApSpectrum& a, float x1, float x2, const CApSpectrum& b, CApSpectrum& out) {
    return ap1_not_given(x1) ? a.AddSpectrum(b, out) : a.AddSpectrum(x1, x2, b, out);
  };
  const Member subtract = [](const CApSpectrum& a, float x1, float x2, const CApSpectrum& b, CApSpectrum& out) {
    return ap1_not_given(x1) ? a.SubtractSpectrum(b, out) : a.SubtractSpectrum(x1, x2, b, out);
  };
  const Member multiply = [](const CApSpectrum& a, float x1, float x2, const CApSpectrum& b, CApSpectrum& out) {
    return ap1_not_given(x1) ? a.MultiplySpectrum(b, out) : a.MultiplySpectrum(x1, x2, b, out);
  };
  const Member divide = [](const CApSpectrum& a, float x1, float x2, const CApSpectrum& b, CApSpectrum& out) {
    return ap1_not_given(x1) ? a.DivideSpectrum(b, out) : a.DivideSpectrum(x1, x2, b, out);
  };
  struct Case {
    const char* what;
    Member member;
    float x1, x2;
    float first_x;
    std::vector<float> expected;
  };
  const float whole = AP_NOT_GIVEN;
  const Case cases[] = {
      {"add, whole", add, whole, whole, 104, {5, 6, 7, 8}},
      {"add, 106..108", add, 106, 108, 106, {6, 7}},
      {"subtract, 104..110", subtract, 104, 110, 104, {1, 2, 3, 4}},
      {"multiply, whole", multiply, whole, whole, 104, {6, 8, 10, 12}},
      {"divide, whole", divide, whole, whole, 104, {1.5f, 2, 2.5f, 3}},
      {"divide, 108..110", divide, 108, 110, 108, {2.5f, 3}},
  };
  auto a = on_axis({1, 2, 3, 4, 5, 6}, 100, 110);
  auto b = on_axis({2, 2, 2, 2, 2, 2}, 104, 114);
  for (const Case& c : cases) {
    CGamlSpectrum out;
    const uint16_t before = live(AP7_CLASS_ID);
    ASSERT_TRUE(c.member(*a, c.x1, c.x2, *b, out)) << c.what;
    EXPECT_EQ(live(AP7_CLASS_ID), before) << c.what;  // the one out held went
    expect_near(values_of(out), c.expected, c.what);
    EXPECT_EQ(packed(record_of(out).first_x), c.first_x) << c.what;
  }
  EXPECT_EQ(values_of(*a), (std::vector<float>{1, 2, 3, 4, 5, 6}));
  auto other_spacing = on_axis({1, 1, 1}, 100, 101);
  CGamlSpectrum out;
  AP_OBJECT* held = out.GetSpectrum();
  EXPECT_FALSE(a->AddSpectrum(*other_spacing, out));
  EXPECT_EQ(out.GetSpectrum(), held);
}

// The sample standard deviation (divisor n - 1), worked here.
float sample_deviation(const std::vector<float>& values) {
  double mean = 0;
  for (float v : values) mean += v;
  mean /= static_cast<double>(values.size());
  double squares = 0;
  for (float v : values) squares += (v - mean) * (v - mean);
  return static_cast<float>(std::sqrt(squares / static_cast<double>(values.size() - 1)));
}

TEST_F(SpectrumWrapper, StatisticsOfTheWholeSpectrumAndOfARange) {
  auto spectrum = on_axis({3, 1, 4, 2, 5, 9}, 100, 110);
  struct Case {
    const char* what;
    float x1, x2;
    std::vector<float> values;  // the range's values
    float minimum, minimum_x, maximum, maximum_x;
  };
  const float whole = AP_NOT_GIVEN;
  const Case cases[] = {
      {"whole", whole, whole, {3, 1, 4, 2, 5, 9}, 1, 102, 9, 110},
      {"104..108", 104, 108, {4, 2, 5}, 2, 106, 5, 108},
      {"108..104", 108, 104, {4, 2, 5}, 2, 106, 5, 108},
  };
  for (const Case& c : cases) {
    const bool all = ap1_not_given(c.x1);
    float minimum = 0, maximum = 0, minimum_x = 0, maximum_x = 0, sum = 0, mean = 0, deviation = 0;
    EXPECT_TRUE(all ? spectrum->GetMinMax(&minimum, &maximum) : spectrum->GetMinMax(c.x1, c.x2, &minimum, &maximum));
    EXPECT_EQ(minimum, c.minimum) << c.what;
    EXPECT_EQ(maximum, c.maximum) << c.what;
    minimum = maximum = 0;
    EXPECT_TRUE(all ? spectrum->GetMinMaxX(&minimum, &minimum_x, &maximum, &maximum_x)
                    : spectrum->GetMinMaxX(c.x1, c.x2, &minimum, &minimum_x, &maximum, &maximum_x));
    EXPECT_EQ(minimum, c.minimum) << c.what;
    EXPECT_EQ(minimum_x, c.minimum_x) << c.what;
    EXPECT_EQ(maximum, c.maximum) << c.what;
    EXPECT_EQ(maximum_x, c.maximum_x) << c.what;
    double expected_sum = 0;
    for (float v : c.values) expected_sum += v;
    EXPECT_TRUE(all ? spectrum->GetSum(&sum) : spectrum->GetSum(c.x1, c.x2, &sum));
    EXPECT_FLOAT_EQ(sum, static_cast<float>(expected_sum)) << c.what;
    EXPECT_TRUE(all ? spectrum->GetMean(&mean) : spectrum->GetMean(c.x1, c.x2, &mean));
    EXPECT_FLOAT_EQ(mean, static_cast<float>(expected_sum / c.values.size())) << c.what;
    EXPECT_TRUE(all ? spectrum->GetStdDev(&deviation) : spectrum->GetStdDev(c.x1, c.x2, &deviation));
    EXPECT_NEAR(deviation, sample_deviation(c.values), 1e-5) << c.what;
  }
  float only_minimum = 0;
  EXPECT_TRUE(spectrum->GetMinMax(&only_minimum, nullptr));
  EXPECT_EQ(only_minimum, 1.0f);
  EXPECT_FALSE(spectrum->GetSum(500, 600, &only_minimum));
}

// A straight line survives regridding, and its derivatives are its slope
// and 0; a parabola i² (x = 100 + 2i) has the second derivative 2 / 2² and
// survives quadratic smoothing.
TEST_F(SpectrumWrapper, TransformsGiveNewSpectraWorkedFromClosedForms) {
  auto line = on_axis({0, 1, 2, 3, 4, 5, 6, 7}, 100, 114);  // y = (x - 100) / 2
  CGamlSpectrum out;
  ASSERT_TRUE(line->Regrid(100, 104, 1.0f, out));
  expect_near(values_of(out), {0, 0.5f, 1, 1.5f, 2}, "regrid 100..104");
  EXPECT_EQ(packed(record_of(out).first_x), 100.0f);
  ASSERT_TRUE(line->Regrid(4.0f, out));
  expect_near(values_of(out), {0, 2, 4, 6}, "regrid whole");
  ASSERT_TRUE(line->RegridInside(102, 110, 4.0f, out));
  expect_near(values_of(out), {1, 3, 5}, "regrid inside 102..110");
  ASSERT_TRUE(line->RegridInside(7.0f, out));
  EXPECT_EQ(values_of(out).front(), 0.0f);
  EXPECT_FALSE(line->Regrid(0.0f, out));
  ASSERT_TRUE(line->Derivative(out));
  expect_near(values_of(out), std::vector<float>(8, 0.5f), "first derivative");
  ASSERT_TRUE(line->Derivative(104, 110, out));
  expect_near(values_of(out), std::vector<float>(4, 0.5f), "first derivative 104..110");
  ASSERT_TRUE(line->SecondDerivative(out));
  expect_near(values_of(out), std::vector<float>(8, 0.0f), "second derivative of a line");
  auto parabola = on_axis({0, 1, 4, 9, 16, 25, 36, 49, 64}, 100, 116);
  ASSERT_TRUE(parabola->SecondDerivative(102, 114, out));
  const std::vector<float> curvature = values_of(out);
  ASSERT_EQ(curvature.size(), 7u);
  for (size_t i = 1; i + 1 < curvature.size(); ++i) EXPECT_NEAR(curvature[i], 0.5f, 1e-5);
  ASSERT_TRUE(parabola->Smooth(5, out));
  const std::vector<float> smoothed = values_of(out);
  ASSERT_EQ(smoothed.size(), 9u);
  for (size_t i = 2; i + 2 < smoothed.size(); ++i) EXPECT_NEAR(smoothed[i], static_cast<float>(i * i), 1e-4);
  ASSERT_TRUE(parabola->Smooth(104, 112, 5, out));
  EXPECT_EQ(values_of(out).size(), 5u);
  EXPECT_FALSE(parabola->Smooth(2000, 3000, 5, out));
}

// One symmetric absorbance band at 108 on a flat baseline.
TEST_F(SpectrumWrapper, PeakSearchFillsTheCallersTable) {
  auto spectrum = on_axis({0, 0, 0, 1, 4, 1, 0, 0, 0}, 100, 116);
  record_of(*spectrum).y_units = 17;
  AP4_PEAK table[4] = {};
  uint32_t found = 99;
  bool full = true;
  EXPECT_TRUE(spectrum->PeakSearch(0.0f, 50.0f, 1, table, 4, &found, &full));
  ASSERT_EQ(found, 1u);
  EXPECT_FALSE(full);
  EXPECT_NEAR(packed(table[0].position), 108.0f, 1e-3);
  EXPECT_TRUE(spectrum->PeakSearch(110, 116, 0.0f, 50.0f, 1, table, 4, &found, &full));
  EXPECT_EQ(found, 0u);  // true with none found
  EXPECT_FALSE(spectrum->PeakSearch(0.0f, 50.0f, 1, nullptr, 4, &found, &full));
}

TEST_F(SpectrumWrapper, TwoSpectrumRegionOperationsOverTheCommonRange) {
  auto a = on_axis({1, 3, 5, 7, 9, 11}, 100, 110);  // 2b + 1 where they meet
  auto b = on_axis({0, 1, 2, 3, 4, 5}, 100, 110);
  float slope = 0, product = 0;
  uint32_t count = 0;
  EXPECT_TRUE(a->CorrelateRanges(*b, &slope));
  EXPECT_NEAR(slope, 2.0f, 1e-5);
  EXPECT_TRUE(a->CorrelateRanges(102, 108, *b, &slope));
  EXPECT_NEAR(slope, 2.0f, 1e-5);
  EXPECT_TRUE(a->PairProduct(*b, &product));
  EXPECT_FLOAT_EQ(product, 0 * 1 + 1 * 3 + 2 * 5 + 3 * 7 + 4 * 9 + 5 * 11);
  EXPECT_TRUE(a->PairProduct(108, 110, *b, &product));
  EXPECT_FLOAT_EQ(product, 4 * 9 + 5 * 11);
  ASSERT_TRUE(b->SetValueAtX(104, AP1_GetNaNSG_MATH()));
  EXPECT_TRUE(a->CountValidPairs(*b, &count));
  EXPECT_EQ(count, 5u);
  EXPECT_TRUE(a->CountValidPairs(104, 108, *b, &count));
  EXPECT_EQ(count, 2u);
  EXPECT_FALSE(a->CountValidPairs(*b, nullptr));
  // A kernel of one point of 1 leaves the values as they are.
  auto kernel = on_axis({1}, 0, 0);
  CGamlSpectrum out;
  ASSERT_TRUE(a->Convolve(*kernel, 0, out));
  expect_near(values_of(out), {1, 3, 5, 7, 9, 11}, "identity kernel");
  ASSERT_TRUE(a->Convolve(104, 108, *kernel, 0, out));
  expect_near(values_of(out), {5, 7, 9}, "identity kernel 104..108");
  // The range 1..11 over 10 pixel rows on 6 columns: each column one point.
  uint16_t minima[6] = {}, maxima[6] = {};
  EXPECT_TRUE(a->ScaleRange(100, 110, 1, 11, 6, 10, minima, maxima));
  for (int column = 0; column < 6; ++column) {
    EXPECT_NE(minima[column], 0x8000) << column;  // every column lies over the data
    EXPECT_NE(maxima[column], 0x8000) << column;
  }
  EXPECT_NE(minima[0], minima[5]);  // the line rises across the columns
  EXPECT_FALSE(a->ScaleRange(100, 110, 1, 11, 6, 10, nullptr, maxima));
}

TEST_F(SpectrumWrapper, InterferogramStepsRefuseASpectrumThatIsNone) {
  auto spectrum = on_axis({0, 1, 0, 1}, 100, 106);
  CGamlSpectrum out;
  EXPECT_FALSE(spectrum->TransformInterferogram(3));  // not an interferogram
  EXPECT_FALSE(spectrum->PhaseCorrect(1, nullptr));   // not transformed
  EXPECT_EQ(values_of(*spectrum), (std::vector<float>{0, 1, 0, 1}));
}

TEST_F(SpectrumWrapper, TheDebugDumpIsCutToTheCallersBuffer) {
  CGamlSpectrum spectrum;
  for (uintptr_t window = 1; window <= 20; ++window)
    ASSERT_TRUE(spectrum.AddDependentWindow(reinterpret_cast<HWND>(window), AP2_KIND_NOTIFY_CHANGE));
  char whole[400];
  std::memset(whole, 'x', sizeof whole);
  ASSERT_TRUE(spectrum.GetDebugDump(whole, sizeof whole));
  EXPECT_EQ(std::strlen(whole), 255u);  // twenty dependents make a longer text
  EXPECT_EQ(std::strncmp(whole, "AP7_SPECTRUM", 12), 0);
  char small[10];
  ASSERT_TRUE(spectrum.GetDebugDump(small, sizeof small));
  EXPECT_EQ(std::string(small), std::string(whole, 9));
  EXPECT_FALSE(spectrum.GetDebugDump(nullptr, 10));
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
