#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

class SpectrumObject : public SpectrumTest {};

// ---------------------------------------------------------------------------
// Creation and deletion

TEST_F(SpectrumObject, MadeWithOnePointOwnsItsArrayHeaderAnnotationTextsAndList) {
  const auto before = live_counts();
  AP7_SPECTRUM* spectrum = make(1);
  ASSERT_NE(spectrum, nullptr);
  EXPECT_EQ(spectrum->class_id, AP7_CLASS_ID);
  ASSERT_TRUE(ap4a_is_array(spectrum->data));
  EXPECT_EQ(packed(spectrum->data->rows), 1u);
  EXPECT_EQ(packed(spectrum->data->columns), 1u);
  EXPECT_EQ(gu2_ClassIdOf(spectrum->header), AP41_CLASS_ID);
  EXPECT_EQ(packed(record(spectrum).points), 1u);
  EXPECT_EQ(gu2_ClassIdOf(spectrum->annotation), AP34_CLASS_ID);
  EXPECT_EQ(gu2_ClassIdOf(spectrum->history), AP48_CLASS_ID);
  EXPECT_EQ(gu2_ClassIdOf(spectrum->comment), AP48_CLASS_ID);
  EXPECT_NE(packed(spectrum->history), packed(spectrum->comment));
  EXPECT_EQ(gu2_ClassIdOf(spectrum->list), AP40_CLASS_ID);
  EXPECT_EQ(packed(spectrum->subSpectrumA), nullptr);
  EXPECT_EQ(packed(spectrum->subSpectrumB), nullptr);
  // The data's root part speaks for the spectrum.
  EXPECT_EQ(packed(reinterpret_cast<AP2_OBJECT*>(spectrum->data->head.parent)->outer),
            reinterpret_cast<AP_OBJECT*>(spectrum));

  auto during = live_counts();
  EXPECT_EQ(during[AP7_CLASS_ID], before.at(AP7_CLASS_ID) + 1);
  EXPECT_EQ(during[AP4_CLASS_ID], before.at(AP4_CLASS_ID) + 1);
  EXPECT_EQ(during[AP41_CLASS_ID], before.at(AP41_CLASS_ID) + 1);
  EXPECT_EQ(during[AP34_CLASS_ID], before.at(AP34_CLASS_ID) + 1);
  EXPECT_EQ(during[AP48_CLASS_ID], before.at(AP48_CLASS_ID) + 2);
  EXPECT_EQ(during[AP40_CLASS_ID], before.at(AP40_CLASS_ID) + 1);
  EXPECT_EQ(spectrum_class().created, 1u);

  EXPECT_EQ(destroy(spectrum), 1u);
  EXPECT_EQ(live_counts(), before);
}

TEST_F(SpectrumObject, MadeWithNoPointsHasAnEmptyArray) {
  AP7_SPECTRUM* spectrum = make(0);
  ASSERT_NE(spectrum, nullptr);
  EXPECT_EQ(packed(spectrum->data->rows), 0u);
  EXPECT_EQ(packed(spectrum->data->columns), 0u);
  EXPECT_EQ(packed(record(spectrum).points), 0u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(SpectrumObject, NewAndInitialisedCarriesTheSpectrumDefaults) {
  AP7_SPECTRUM* spectrum = make(8);
  const AP41_HEADERDATA& header = record(spectrum);
  const uint8_t tag[4] = {3, 1, 0, 0};
  EXPECT_EQ(std::memcmp(header.tag, tag, 4), 0);
  EXPECT_EQ(packed(header.p1), 1024u);
  EXPECT_EQ(packed(header.points), 8u);
  EXPECT_EQ(packed(header.x_units), 1u);
  EXPECT_EQ(packed(header.y_units), 23u);
  EXPECT_EQ(packed(header.NumScans), 1u);
  EXPECT_EQ(packed(header.p42), 1u);
  EXPECT_EQ(packed(header.BadScans), 0xFFFFFFFFu);
  EXPECT_EQ(packed(header.CollectErrorMap), 0xFFFFFFFFu);
  EXPECT_EQ(packed(header.BKBadScans), 0xFFFFFFFFu);
  EXPECT_EQ(packed(header.BKCollectErrorMap), 0xFFFFFFFFu);
  EXPECT_STREQ(spectrum->name, "");
  EXPECT_STREQ(spectrum->path, "");
  EXPECT_EQ(packed(spectrum->groupIndex), 0u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(SpectrumObject, CreatedAloneLeavesTheHeaderWithOnlyItsPointCount) {
  AP7_SPECTRUM* spectrum = create(5);
  ASSERT_NE(spectrum, nullptr);
  AP41_HEADERDATA expected{};
  expected.points = 5;
  EXPECT_EQ(std::memcmp(&record(spectrum), &expected, sizeof expected), 0);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(SpectrumObject, ASpectrumThatCannotBeMadeWholeLeavesNoPartBehind) {
  const auto before = live_counts();
  // Without the text class no history text can be made.
  GU2_ImmedSetDispatcher(AP48_CLASS_ID, nullptr);
  EXPECT_EQ(make(4), nullptr);
  GU2_ImmedSetDispatcher(AP48_CLASS_ID, AP48_Dispatcher_TEXT);
  EXPECT_EQ(live_counts(), before);
  EXPECT_EQ(spectrum_class().created, 0u);
}

TEST_F(SpectrumObject, DeletingASpectrumWithoutDataStillDestroysEveryPart) {
  const auto before = live_counts();
  AP7_SPECTRUM* spectrum = make(4);
  // The state of a spectrum made like another before its maker links the
  // new array in.
  ASSERT_EQ(destroy(spectrum->data), 1u);
  spectrum->data = nullptr;
  EXPECT_EQ(destroy(spectrum), 1u);
  EXPECT_EQ(live_counts(), before);
}

TEST_F(SpectrumObject, DeletingTakesTheSubSpectraAndTheListMembersAlong) {
  const auto before = live_counts();
  AP7_SPECTRUM* spectrum = make(2);
  spectrum->subSpectrumA = make(3);
  spectrum->subSpectrumB = make(4);
  spectrum->subSpectrumA->subSpectrumB = make(1);
  ASSERT_NE(ap40_Add_LLIST(spectrum->list, reinterpret_cast<AP_OBJECT*>(new_text("member"))), 0xFFFFFFFFu);
  EXPECT_EQ(destroy(spectrum), 1u);
  EXPECT_EQ(live_counts(), before);
}

TEST_F(SpectrumObject, ADeleteThatAWindowRefusesKeepsTheSpectrum) {
  AP7_SPECTRUM* spectrum = make(2);
  HWND keeper = reinterpret_cast<HWND>(0x5001);
  HWND caller = reinterpret_cast<HWND>(0x5002);
  AP_DEPENDENTWINDOWPARM hold{keeper, AP2_KIND_CANT_DESTROY};
  ASSERT_EQ(send(AP_MSG_ADD_DEPENDENT_WINDOW, spectrum, &hold), 1u);
  EXPECT_EQ(destroy(spectrum, caller), AP_DESTROY_REFUSED);
  EXPECT_EQ(spectrum->class_id, AP7_CLASS_ID);
  EXPECT_NE(packed(spectrum->data), nullptr);
  EXPECT_NE(packed(spectrum->header), nullptr);
  EXPECT_EQ(spectrum_class().live, 1u);
  EXPECT_EQ(destroy(spectrum, keeper), 1u);
  EXPECT_EQ(spectrum_class().live, 0u);
}

TEST_F(SpectrumObject, DeleteRefusesWhatIsNoSpectrum) {
  AP4_ARRAY* array = arraytest::make(1, 2);
  EXPECT_EQ(ap7a_Delete(reinterpret_cast<AP7_SPECTRUM*>(array), nullptr), 0u);
  EXPECT_EQ(ap7a_Delete(nullptr, nullptr), 0u);
  EXPECT_EQ(arraytest::destroy(array), 1u);
}

// ---------------------------------------------------------------------------
// Duplicate and copy

// A spectrum with something in every part.
AP7_SPECTRUM* make_full() {
  AP7_SPECTRUM* spectrum = make_axis(4000.0f, 400.0f, {1.5f, -2.0f, 3.25f});
  std::strcpy(spectrum->name, "sample.spa");
  std::strcpy(spectrum->path, "C:\\data\\sample.spa");
  std::strcpy(record(spectrum).title, "Polystyrene");
  send(AP48_MSG_APPEND, spectrum->history, const_cast<char*>("made\r\n"));
  send(AP48_MSG_APPEND, spectrum->comment, const_cast<char*>("a comment"));
  AP34_ANNOTREC mark{};
  mark.x = 1000.0f;
  mark.label = const_cast<char*>("peak");
  ap34_Insert_ANTATN(spectrum->annotation, &mark, 16);
  spectrum->subSpectrumA = make_ramp(4, 0.0f, 3.0f);
  spectrum->subSpectrumB = make_ramp(5, 0.0f, 4.0f);
  ap40_Add_LLIST(spectrum->list, reinterpret_cast<AP_OBJECT*>(new_text("member")));
  return spectrum;
}

void expect_same_contents(AP7_SPECTRUM* copy, AP7_SPECTRUM* source) {
  EXPECT_EQ(values(copy), values(source));
  EXPECT_NE(packed(copy->data), packed(source->data));
  EXPECT_STREQ(copy->name, source->name);
  EXPECT_NE(packed(copy->header), packed(source->header));
  EXPECT_EQ(std::memcmp(&record(copy), &record(source), sizeof(AP41_HEADERDATA)), 0);
  EXPECT_NE(packed(copy->annotation), packed(source->annotation));
  EXPECT_EQ(packed(copy->annotation->records.count), packed(source->annotation->records.count));
  EXPECT_NE(packed(copy->history), packed(source->history));
  EXPECT_EQ(text_of(copy->history), text_of(source->history));
  EXPECT_EQ(text_of(copy->comment), text_of(source->comment));
  for (auto [copied, original] : {std::pair{packed(copy->subSpectrumA), packed(source->subSpectrumA)},
                                  std::pair{packed(copy->subSpectrumB), packed(source->subSpectrumB)}}) {
    ASSERT_NE(copied, nullptr);
    EXPECT_NE(copied, original);
    EXPECT_EQ(values(copied), values(original));
  }
  ASSERT_EQ(list_count(copy->list), list_count(source->list));
  EXPECT_NE(packed(copy->list), packed(source->list));
  EXPECT_NE(list_member(copy->list, 0), list_member(source->list, 0));
  EXPECT_EQ(text_of(reinterpret_cast<AP48_TEXT*>(list_member(copy->list, 0))), "member");
}

TEST_F(SpectrumObject, DuplicateIsDeepAndLeavesThePathEmpty) {
  AP7_SPECTRUM* source = make_full();
  AP_WINDOWPARM parameter{nullptr, 0};
  auto* copy = ap_result_object<AP7_SPECTRUM>(send(AP_MSG_DUPLICATE, source, &parameter));
  ASSERT_NE(copy, nullptr);
  expect_same_contents(copy, source);
  EXPECT_STREQ(copy->path, "");
  // Each owns its own parts: one goes, the other is whole.
  EXPECT_EQ(destroy(source), 1u);
  EXPECT_EQ(values(copy), (std::vector<float>{1.5f, -2.0f, 3.25f}));
  EXPECT_EQ(text_of(reinterpret_cast<AP48_TEXT*>(list_member(copy->list, 0))), "member");
  EXPECT_EQ(destroy(copy), 1u);
}

TEST_F(SpectrumObject, NewLikeCopiesAllButDataListAndPathAndTakesALinkedArray) {
  AP7_SPECTRUM* source = make_full();
  const auto before = live_counts();
  AP7_SPECTRUM* like = ap7b_NewLike(source, nullptr);
  ASSERT_NE(like, nullptr);
  EXPECT_EQ(packed(like->data), nullptr);
  EXPECT_STREQ(like->name, "sample.spa");
  EXPECT_STREQ(like->path, "");
  EXPECT_EQ(std::memcmp(&record(like), &record(source), sizeof(AP41_HEADERDATA)), 0);
  EXPECT_EQ(text_of(like->history), "made\r\n");
  EXPECT_EQ(text_of(like->comment), "a comment");
  EXPECT_EQ(packed(like->annotation->records.count), packed(source->annotation->records.count));
  ASSERT_NE(packed(like->subSpectrumA), nullptr);
  EXPECT_NE(packed(like->subSpectrumA), packed(source->subSpectrumA));
  EXPECT_EQ(values(like->subSpectrumB), values(source->subSpectrumB));
  EXPECT_EQ(list_count(like->list), 0u);

  AP4_ARRAY* array = arraytest::make_filled(1, 2);
  ASSERT_EQ(ap7a_LinkData(like, array, 10.0f, 20.0f, 2), 1);
  EXPECT_EQ(packed(like->data), array);
  EXPECT_EQ(packed(record(like).points), 2u);
  EXPECT_EQ(packed(record(like).first_x), 10.0f);
  EXPECT_EQ(packed(record(like).last_x), 20.0f);
  // A spectrum that has data takes no second array.
  AP4_ARRAY* second = arraytest::make(1, 2);
  EXPECT_EQ(ap7a_LinkData(like, second, 0.0f, 1.0f, 2), 0);
  EXPECT_EQ(arraytest::destroy(second), 1u);
  // The linked array's copies are the spectrum's: a duplicate is whole.
  AP7_SPECTRUM* copy = ap7a_Duplicate(like, nullptr);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(values(copy), arraytest::values(array));
  EXPECT_EQ(destroy(copy), 1u);
  EXPECT_EQ(destroy(like), 1u);
  EXPECT_EQ(live_counts(), before);
  EXPECT_EQ(destroy(source), 1u);
}

TEST_F(SpectrumObject, NewLikeLeavesTextsTheSourceLacksAbsentAndRefusesOtherObjects) {
  AP7_SPECTRUM* source = make_ramp(3, 0.0f, 2.0f);
  ASSERT_EQ(destroy(source->comment), 1u);
  source->comment = nullptr;
  AP7_SPECTRUM* like = ap7b_NewLike(source, nullptr);
  ASSERT_NE(like, nullptr);
  EXPECT_EQ(packed(like->comment), nullptr);
  EXPECT_NE(packed(like->history), nullptr);
  EXPECT_EQ(destroy(like), 1u);
  EXPECT_EQ(destroy(source), 1u);
  AP4_ARRAY* array = arraytest::make(1, 2);
  EXPECT_EQ(ap7b_NewLike(reinterpret_cast<AP7_SPECTRUM*>(array), nullptr), nullptr);
  EXPECT_EQ(arraytest::destroy(array), 1u);
}

TEST_F(SpectrumObject, CopyKeepsTheTargetsPathAndReplacesItsSubSpectraAndList) {
  const auto before = live_counts();
  AP7_SPECTRUM* source = make_full();
  AP7_SPECTRUM* target = make(3);
  std::strcpy(target->path, "target.spa");
  target->subSpectrumA = make(7);
  ap40_Add_LLIST(target->list, reinterpret_cast<AP_OBJECT*>(new_text("old")));
  AP_COPYPARM parameter{reinterpret_cast<AP_OBJECT*>(target), nullptr};
  ASSERT_EQ(send(AP_MSG_COPY, source, &parameter), 1u);
  expect_same_contents(target, source);
  EXPECT_STREQ(target->path, "target.spa");
  EXPECT_EQ(destroy(source), 1u);
  EXPECT_EQ(destroy(target), 1u);
  EXPECT_EQ(live_counts(), before);
}

TEST_F(SpectrumObject, CopyOntoANarrowerTargetLeavesTheSourcesExtent) {
  AP7_SPECTRUM* source = make_ramp(5, 0.0f, 4.0f);
  record(source).points = 3;
  AP7_SPECTRUM* target = make(3);
  AP_COPYPARM parameter{reinterpret_cast<AP_OBJECT*>(target), nullptr};
  ASSERT_EQ(send(AP_MSG_COPY, source, &parameter), 1u);
  EXPECT_EQ(values(target), (std::vector<float>{1, 2, 3}));
  EXPECT_EQ(packed(source->data->columns), 5u);
  EXPECT_EQ(values(source), (std::vector<float>{1, 2, 3, 4, 5}));
  EXPECT_EQ(destroy(source), 1u);
  EXPECT_EQ(destroy(target), 1u);
}

TEST_F(SpectrumObject, CopyOntoItselfChangesNothing) {
  AP7_SPECTRUM* spectrum = make_full();
  AP7_SPECTRUM* sub_a = spectrum->subSpectrumA;
  AP40_LLIST* list = spectrum->list;
  AP_COPYPARM parameter{reinterpret_cast<AP_OBJECT*>(spectrum), nullptr};
  EXPECT_EQ(send(AP_MSG_COPY, spectrum, &parameter), 1u);
  EXPECT_EQ(packed(spectrum->subSpectrumA), sub_a);
  EXPECT_EQ(packed(spectrum->list), list);
  EXPECT_EQ(list_count(list), 1u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(SpectrumObject, CopyOfASubSpectrumOntoItsOwnerReadsTheSourceWhole) {
  const auto before = live_counts();
  AP7_SPECTRUM* owner = make_ramp(3, 0.0f, 2.0f);
  AP7_SPECTRUM* sub = make_full();
  owner->subSpectrumA = sub;
  AP_COPYPARM parameter{reinterpret_cast<AP_OBJECT*>(owner), nullptr};
  // The target takes copies of the source's own sub-spectra and list, and
  // its old sub-spectrum (the source) goes.
  ASSERT_EQ(send(AP_MSG_COPY, sub, &parameter), 1u);
  EXPECT_EQ(values(owner), (std::vector<float>{1.5f, -2.0f, 3.25f}));
  ASSERT_NE(packed(owner->subSpectrumA), nullptr);
  EXPECT_EQ(values(owner->subSpectrumA), (std::vector<float>{1, 2, 3, 4}));
  EXPECT_EQ(list_count(owner->list), 1u);
  EXPECT_EQ(destroy(owner), 1u);
  EXPECT_EQ(live_counts(), before);
}

TEST_F(SpectrumObject, CopyFailsOntoATargetOfAnotherSize) {
  AP7_SPECTRUM* source = make_ramp(3, 0.0f, 2.0f);
  AP7_SPECTRUM* target = make(5);
  AP_COPYPARM parameter{reinterpret_cast<AP_OBJECT*>(target), nullptr};
  EXPECT_EQ(send(AP_MSG_COPY, source, &parameter), 0u);
  EXPECT_EQ(values(target), std::vector<float>(5, 0.0f));
  EXPECT_EQ(destroy(source), 1u);
  EXPECT_EQ(destroy(target), 1u);
}

TEST_F(SpectrumObject, BareDuplicateHasNoSubSpectraNorNameAndTheSourceKeepsBoth) {
  AP7_SPECTRUM* source = make_full();
  AP7_SPECTRUM* sub_a = source->subSpectrumA;
  AP7_SPECTRUM* sub_b = source->subSpectrumB;
  AP_WINDOWPARM parameter{nullptr, 0};
  auto* copy = ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_DUPLICATE_BARE, source, &parameter));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(packed(copy->subSpectrumA), nullptr);
  EXPECT_EQ(packed(copy->subSpectrumB), nullptr);
  EXPECT_STREQ(copy->name, "");
  EXPECT_EQ(values(copy), values(source));
  EXPECT_EQ(packed(source->subSpectrumA), sub_a);
  EXPECT_EQ(packed(source->subSpectrumB), sub_b);
  EXPECT_STREQ(source->name, "sample.spa");
  EXPECT_EQ(destroy(copy), 1u);
  EXPECT_EQ(destroy(source), 1u);
}

// ---------------------------------------------------------------------------
// Size, class name and change state

TEST_F(SpectrumObject, SizeIsTheCellAndHeaderPlusWhatTheOtherPartsReport) {
  AP7_SPECTRUM* spectrum = make(6);
  spectrum->subSpectrumA = make(2);
  auto size_of = [](void* part) { return send(AP_MSG_SIZE, part); };
  const uint32_t sub = 558 + 1200 + size_of(spectrum->subSpectrumA->data) +
                       size_of(spectrum->subSpectrumA->annotation) + size_of(spectrum->subSpectrumA->history) +
                       size_of(spectrum->subSpectrumA->comment) + size_of(spectrum->subSpectrumA->list);
  const uint32_t expected = 558 + 1200 + size_of(spectrum->data) + size_of(spectrum->annotation) +
                            size_of(spectrum->history) + size_of(spectrum->comment) + size_of(spectrum->list) + sub;
  EXPECT_EQ(send(AP_MSG_SIZE, spectrum), expected);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(SpectrumObject, ClassNameIsCopiedAndTheAnswerIsAlwaysOne) {
  AP7_SPECTRUM* spectrum = make(1);
  char name[32] = {};
  EXPECT_EQ(send(AP_MSG_CLASS_NAME, spectrum, name), 1u);
  EXPECT_STREQ(name, "AP7_SPECTRUM");
  EXPECT_EQ(send(AP_MSG_CLASS_NAME, spectrum, nullptr), 1u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(SpectrumObject, ChangeStateIsTheDataArraysUnlessAPartChanged) {
  AP7_SPECTRUM* spectrum = make(2);
  EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, spectrum), 0u);
  send(AP48_MSG_APPEND, spectrum->comment, const_cast<char*>("x"));
  EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, spectrum), 1u);
  AP_WORDPARM saved{static_cast<uint16_t>(AP2_SAVED)};
  EXPECT_EQ(send(AP_MSG_SET_CHANGE_STATE, spectrum, &saved), 1u);
  EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, spectrum), 2u);
  for (void* part : {static_cast<void*>(spectrum->header), static_cast<void*>(spectrum->annotation),
                     static_cast<void*>(spectrum->history), static_cast<void*>(spectrum->comment),
                     static_cast<void*>(spectrum->list)})
    EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, part), 2u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(SpectrumObject, AChangedSubSpectrumMakesTheSpectrumChanged) {
  AP7_SPECTRUM* spectrum = make(2);
  spectrum->subSpectrumB = make(2);
  AP_WORDPARM saved{static_cast<uint16_t>(AP2_SAVED)};
  ASSERT_EQ(send(AP_MSG_SET_CHANGE_STATE, spectrum, &saved), 1u);
  EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, spectrum->subSpectrumB), 2u);
  send(AP48_MSG_APPEND, spectrum->subSpectrumB->history, const_cast<char*>("x"));
  EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, spectrum), 1u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(SpectrumObject, ChangeStateWithoutDataGoesOutWithoutSign) {
  AP7_SPECTRUM* spectrum = make(2);
  AP4_ARRAY* data = spectrum->data;
  spectrum->data = nullptr;
  EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, spectrum), 65535u);
  spectrum->data = data;
  EXPECT_EQ(destroy(spectrum), 1u);
}

// ---------------------------------------------------------------------------
// Record operations

TEST_F(SpectrumObject, HeaderTextFieldsGiveTheAddressesOfP51ToP54) {
  AP7_SPECTRUM* spectrum = make(1);
  char* fields[4] = {};
  AP7_TEXTFIELDSPARM parameter{{&fields[0], &fields[1], &fields[2], &fields[3]}};
  ASSERT_EQ(send(AP7_MSG_HEADER_TEXT_FIELDS, spectrum, &parameter), 1u);
  auto* base = reinterpret_cast<char*>(&record(spectrum));
  EXPECT_EQ(fields[0], base + 578);
  EXPECT_EQ(fields[1], base + 728);
  EXPECT_EQ(fields[2], base + 878);
  EXPECT_EQ(fields[3], base + 1028);
  AP41_SPECTRALHEADER* header = spectrum->header;
  spectrum->header = nullptr;
  EXPECT_EQ(send(AP7_MSG_HEADER_TEXT_FIELDS, spectrum, &parameter), 0u);
  spectrum->header = header;
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(SpectrumObject, HeaderParameterTwoIsSetAndReadBack) {
  AP7_SPECTRUM* spectrum = make(1);
  uint32_t value = 3900000000u;
  EXPECT_EQ(send(AP7_MSG_SET_HEADER_P2, spectrum, &value), 1u);
  EXPECT_EQ(packed(record(spectrum).time), 3900000000u);
  uint32_t read = 0;
  EXPECT_EQ(send(AP7_MSG_GET_HEADER_P2, spectrum, &read), 1u);
  EXPECT_EQ(read, 3900000000u);
  EXPECT_EQ(send(AP7_MSG_SET_HEADER_P2, spectrum, nullptr), 0u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(SpectrumObject, PointCountComesFromTheHeader) {
  AP7_SPECTRUM* spectrum = make(9);
  uint32_t count = 0;
  EXPECT_EQ(send(AP7_MSG_POINT_COUNT, spectrum, &count), 1u);
  EXPECT_EQ(count, 9u);
  EXPECT_EQ(send(AP7_MSG_POINT_COUNT, spectrum, nullptr), 0u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

// The checksum as its definition gives it: the floats as signed 16-bit
// words, low half first, weighed 1 to 11 in turn, summed modulo 2^32.
uint32_t checksum_of(const std::vector<float>& y) {
  uint32_t sum = 0;
  for (size_t i = 0; i < y.size(); ++i) {
    uint32_t bits = 0;
    std::memcpy(&bits, &y[i], 4);
    const int16_t halves[2] = {static_cast<int16_t>(bits & 0xFFFF), static_cast<int16_t>(bits >> 16)};
    for (int h = 0; h < 2; ++h) sum += static_cast<uint32_t>(halves[h] * static_cast<int32_t>((2 * i + h) % 11 + 1));
  }
  return sum == 0 ? 1 : sum;
}

class Checksum : public SpectrumObject, public testing::WithParamInterface<std::vector<float>> {};

TEST_P(Checksum, WeighsTheHalfWordsOneToElevenInTurn) {
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 1.0f, GetParam());
  uint32_t sum = 0;
  EXPECT_EQ(send(AP7_MSG_DATA_CHECKSUM, spectrum, &sum), 1u);
  EXPECT_EQ(sum, checksum_of(GetParam()));
  EXPECT_EQ(destroy(spectrum), 1u);
}

INSTANTIATE_TEST_SUITE_P(Data, Checksum,
                         testing::Values(std::vector<float>{0.0f, 0.0f, 0.0f},
                                         std::vector<float>{1.0f, -2.5f, 1e10f, -3.75e-5f, 42.0f, 7.0f, 0.125f},
                                         std::vector<float>{NAN, -1.0f}));

TEST_F(SpectrumObject, ChecksumOfZerosIsOne) {
  AP7_SPECTRUM* spectrum = make(4);
  uint32_t sum = 0;
  EXPECT_EQ(send(AP7_MSG_DATA_CHECKSUM, spectrum, &sum), 1u);
  EXPECT_EQ(sum, 1u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(SpectrumObject, TheTwelfthWordIsWeighedOneAgain) {
  // Word 11 (the second half of the sixth float) alone is 1.
  std::vector<float> y(6, 0.0f);
  const uint32_t bits = 0x00010000;
  std::memcpy(&y[5], &bits, 4);
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 1.0f, y);
  uint32_t sum = 0;
  EXPECT_EQ(send(AP7_MSG_DATA_CHECKSUM, spectrum, &sum), 1u);
  EXPECT_EQ(sum, 1u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(SpectrumObject, ChecksumRefusesAPointCountTheDataDoNotHold) {
  AP7_SPECTRUM* spectrum = make(3);
  record(spectrum).points = 4;
  uint32_t sum = 77;
  EXPECT_EQ(send(AP7_MSG_DATA_CHECKSUM, spectrum, &sum), 0u);
  EXPECT_EQ(sum, 0u);
  record(spectrum).points = 3;
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(SpectrumObject, MakingXAscendingReversesADescendingSpectrum) {
  AP7_SPECTRUM* spectrum = make_axis(4000.0f, 400.0f, {1, 2, 3});
  arraytest::NoticeCounter counter;
  arraytest::watch(spectrum->data, counter);
  EXPECT_EQ(send(AP7_MSG_MAKE_X_ASCENDING, spectrum), 1u);
  EXPECT_EQ(packed(record(spectrum).first_x), 400.0f);
  EXPECT_EQ(packed(record(spectrum).last_x), 4000.0f);
  EXPECT_EQ(values(spectrum), (std::vector<float>{3, 2, 1}));
  EXPECT_EQ(counter.changes, 1);
  EXPECT_EQ(destroy(spectrum), 1u);
}

class AscendingUnchanged : public SpectrumObject, public testing::WithParamInterface<std::pair<float, float>> {};

TEST_P(AscendingUnchanged, LeavesAnAxisThatRisesOrIsNotANumber) {
  AP7_SPECTRUM* spectrum = make_axis(GetParam().first, GetParam().second, {1, 2, 3, 4});
  EXPECT_EQ(send(AP7_MSG_MAKE_X_ASCENDING, spectrum), 1u);
  EXPECT_EQ(values(spectrum), (std::vector<float>{1, 2, 3, 4}));
  EXPECT_EQ(destroy(spectrum), 1u);
}

INSTANTIATE_TEST_SUITE_P(Axes, AscendingUnchanged,
                         testing::Values(std::pair{400.0f, 4000.0f}, std::pair{NAN, 400.0f},
                                         std::pair{4000.0f, NAN}));

TEST_F(SpectrumObject, MakingXAscendingWithoutDataFails) {
  AP7_SPECTRUM* spectrum = make(0);
  record(spectrum).first_x = 10.0f;
  EXPECT_EQ(send(AP7_MSG_MAKE_X_ASCENDING, spectrum), 0u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

}  // namespace
