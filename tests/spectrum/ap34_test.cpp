#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/annotation_fixture.h"
#include "support/test_home.h"

namespace {

using namespace annotationtest;
using Contents = std::vector<std::pair<float, std::string>>;

const APX_CLASSREC& record(uint16_t class_id) { return APX_GetClassTable()->classes[class_id]; }

// ---------------------------------------------------------------------------
// Layout and class

TEST(AnnotationLayout, TheRecordIs54BytesInItsFieldOrder) {
  EXPECT_EQ(sizeof(AP34_ANNOTREC), 54u);
  EXPECT_EQ(offsetof(AP34_ANNOTREC, flags), 0u);
  EXPECT_EQ(offsetof(AP34_ANNOTREC, x), 2u);
  EXPECT_EQ(offsetof(AP34_ANNOTREC, text_x), 6u);
  EXPECT_EQ(offsetof(AP34_ANNOTREC, y), 10u);
  EXPECT_EQ(offsetof(AP34_ANNOTREC, label), 14u);
  EXPECT_EQ(offsetof(AP34_ANNOTREC, x2), 18u);
  EXPECT_EQ(offsetof(AP34_ANNOTREC, y2), 22u);
  EXPECT_EQ(offsetof(AP34_ANNOTREC, x3), 26u);
  EXPECT_EQ(offsetof(AP34_ANNOTREC, y3), 30u);
  EXPECT_EQ(offsetof(AP34_ANNOTREC, host_words), 34u);
  EXPECT_EQ(offsetof(AP34_ANNOTREC, host_flags), 50u);
}

TEST(AnnotationLayout, TheObjectIsItsHeadAndTheList) {
  EXPECT_EQ(sizeof(AP34_ANNOTATION), 30u);
  EXPECT_EQ(offsetof(AP34_ANNOTATION, records), 6u);
}

TEST_F(AnnotationTest, LoadRegistersTheClassUnderTheRoot) {
  EXPECT_EQ(APX_GetClassState(AP34_CLASS_ID), 1);
  EXPECT_EQ(APX_GetClassParentID(AP34_CLASS_ID), AP2_CLASS_ID);
  EXPECT_EQ(GU2_GetDispatcher(AP34_CLASS_ID), AP34_Dispatcher_ANTATN);
  EXPECT_NE(packed(record(AP34_CLASS_ID).instance_heap), nullptr);
  EXPECT_NE(packed(record(AP34_CLASS_ID).class_data), nullptr);
}

TEST_F(AnnotationTest, TerminationFreesBothHeapsOnce) {
  EXPECT_EQ(ap34_TermClass_ANTATN(AP34_CLASS_ID), 1);
  EXPECT_EQ(packed(record(AP34_CLASS_ID).instance_heap), nullptr);
  EXPECT_EQ(packed(record(AP34_CLASS_ID).class_data), nullptr);
  EXPECT_EQ(ap34_TermClass_ANTATN(AP34_CLASS_ID), 0);
  EXPECT_EQ(make(), nullptr) << "no heap, no annotation";
  EXPECT_EQ(ap34_InitClass_ANTATN(43), 0);
}

// ---------------------------------------------------------------------------
// The common messages

TEST_F(AnnotationTest, ANewAnnotationIsEmptyAndCounted) {
  AP34_ANNOTATION* annotation = make();
  ASSERT_NE(annotation, nullptr);
  EXPECT_EQ(count(annotation), 0u);
  EXPECT_EQ(packed(annotation->records.indirect), 1u);
  EXPECT_EQ(packed(annotation->records.key_offset), 0u);
  EXPECT_EQ(packed(annotation->records.key_size), 4u);
  EXPECT_EQ(packed(annotation->records.key_type), GU1_KEY_BYTES);
  EXPECT_EQ(record(AP34_CLASS_ID).live, 1);
  EXPECT_EQ(destroy(annotation), AP_DESTROYED);
  EXPECT_EQ(record(AP34_CLASS_ID).live, 0);
  EXPECT_EQ(record(AP34_CLASS_ID).created, 1);
}

TEST_F(AnnotationTest, CreateTakesTheOuterObjectForItsPart) {
  uint16_t class_id = AP34_CLASS_ID;
  AP_OBJECT owner{kSpectrumClass, nullptr};
  auto* annotation = keep(ap_result_object<AP34_ANNOTATION>(send(AP_MSG_CREATE, &class_id, &owner)));
  ASSERT_NE(annotation, nullptr);
  EXPECT_EQ(packed(reinterpret_cast<AP2_OBJECT*>(annotation->head.parent)->outer), &owner);
  auto* alone = keep(ap_result_object<AP34_ANNOTATION>(send(AP_MSG_CREATE, &class_id, nullptr)));
  EXPECT_EQ(packed(reinterpret_cast<AP2_OBJECT*>(alone->head.parent)->outer), &alone->head);
  uint16_t other = AP43_CLASS_ID;
  EXPECT_EQ(AP34_Dispatcher_ANTATN(&other, AP_MSG_CREATE, nullptr), 0u);
}

TEST_F(AnnotationTest, DestroyReleasesEveryRecordAndItsLabel) {
  AP34_ANNOTATION* annotation = make();
  insert(annotation, record_at(1.0f, "one"));
  insert(annotation, record_at(2.0f, "two"));
  char* label = stored(annotation, 0)->label;
  ASSERT_EQ(destroy(annotation), AP_DESTROYED);
  EXPECT_EQ(GU3_RemoveString(label), 0) << "the label was removed with its record";
  // The two cells are back in the heap: the next records take them.
  AP34_ANNOTATION* again = make();
  insert(again, record_at(3.0f, "three"));
  EXPECT_EQ(contents(again), (Contents{{3.0f, "three"}}));
}

TEST_F(AnnotationTest, SizeCountsThePartTheObjectAndEachRecordWithItsNode) {
  AP34_ANNOTATION* annotation = make();
  const uint32_t empty = sizeof(AP2_OBJECT) + 30;
  EXPECT_EQ(send(AP_MSG_SIZE, annotation), empty);
  insert(annotation, record_at(1.0f, "a"));
  insert(annotation, record_at(2.0f, "b"));
  EXPECT_EQ(send(AP_MSG_SIZE, annotation), empty + 2 * 66);
  EXPECT_EQ(send(AP_MSG_SIZE, nullptr), 0u);
}

TEST_F(AnnotationTest, ClassNameIsAP34_ANNOTATION) {
  AP34_ANNOTATION* annotation = make();
  char name[32] = {};
  EXPECT_EQ(send(AP_MSG_CLASS_NAME, annotation, name), 1u);
  EXPECT_STREQ(name, "AP34_ANNOTATION");
}

TEST_F(AnnotationTest, MessagesOutsideTheTableAnswerZero) {
  AP34_ANNOTATION* annotation = make();
  for (uint16_t message : {0, 19, 23, 24, 35, 43, 56, 200})
    EXPECT_EQ(send(message, annotation, annotation), 0u) << message;
}

// ---------------------------------------------------------------------------
// Insert, get, delete

TEST_F(AnnotationTest, InsertKeepsTheRecordsInXOrder) {
  AP34_ANNOTATION* annotation = make();
  for (float x : {5.0f, 3.0f, 4.0f, 10.0f, -1.0f}) {
    const std::string label = std::to_string(static_cast<int>(x));
    EXPECT_EQ(insert(annotation, record_at(x, label.c_str())), 1u);
  }
  EXPECT_EQ(contents(annotation), (Contents{{-1.0f, "-1"}, {3.0f, "3"}, {4.0f, "4"}, {5.0f, "5"}, {10.0f, "10"}}));
}

TEST_F(AnnotationTest, ARecordAtATolerantlyEqualXGoesBeforeTheOneThere) {
  AP34_ANNOTATION* annotation = make();
  insert(annotation, record_at(1000.0f, "first"));
  insert(annotation, record_at(1000.0001f, "near"));  // within 2^-20 of 1000
  insert(annotation, record_at(1000.0f, "same"));
  EXPECT_EQ(contents(annotation), (Contents{{1000.0f, "same"}, {1000.0001f, "near"}, {1000.0f, "first"}}));
}

TEST_F(AnnotationTest, InsertCopiesTheRecordAndMarksIt) {
  AP34_ANNOTATION* annotation = make();
  std::string label = "peak";
  AP34_ANNOTREC given = record_at(7.0f, label.c_str(), AP34_FLAG_ABSOLUTE | AP34_FLAG_SECOND_POINT, 40.0f, 7.5f);
  given.x2 = 8.0f;
  given.y2 = 41.0f;
  given.x3 = 9.0f;  // no third-point flag: not taken
  given.host_words[0] = 0x11111111;
  given.host_words[3] = 0x44444444;
  given.host_flags[1] = 0x5555;
  ASSERT_EQ(insert(annotation, given), 1u);
  label = "changed after insert";
  const AP34_ANNOTREC* kept = stored(annotation, 0);
  EXPECT_EQ(packed(kept->flags), AP34_FLAG_ABSOLUTE | AP34_FLAG_SECOND_POINT | AP34_FLAG_INSERTED);
  EXPECT_STREQ(packed(kept->label), "peak");
  EXPECT_NE(packed(kept->label), packed(given.label));
  EXPECT_EQ(packed(kept->x2), 8.0f);
  EXPECT_EQ(packed(kept->y2), 41.0f);
  EXPECT_EQ(packed(kept->x3), 0.0f);
  EXPECT_EQ(packed(kept->host_words[0]), 0x11111111u);
  EXPECT_EQ(packed(kept->host_words[3]), 0x44444444u);
  EXPECT_EQ(packed(kept->host_flags[1]), 0x5555u);
}

TEST_F(AnnotationTest, GetHandsOutACopyWithTheLabelTheCallerOwns) {
  AP34_ANNOTATION* annotation = make();
  AP34_ANNOTREC given = record_at(7.0f, "peak", AP34_FLAG_THIRD_POINT, 40.0f, 7.5f);
  given.x3 = 9.0f;
  given.y3 = 42.0f;
  given.host_words[0] = 0x11111111;
  given.host_flags[0] = 0x2222;
  insert(annotation, given);
  AP34_ANNOTREC out{};
  out.x2 = -1.0f;
  AP34_RECORDPARM parameter{0, &out, 16};
  ASSERT_EQ(send(AP34_MSG_GET, annotation, &parameter), 1u);
  EXPECT_EQ(packed(out.flags), AP34_FLAG_THIRD_POINT | AP34_FLAG_INSERTED);
  EXPECT_EQ(packed(out.x), 7.0f);
  EXPECT_EQ(packed(out.text_x), 7.5f);
  EXPECT_EQ(packed(out.y), 40.0f);
  EXPECT_EQ(packed(out.x3), 9.0f);
  EXPECT_EQ(packed(out.y3), 42.0f);
  EXPECT_EQ(packed(out.x2), -1.0f) << "no second point: the caller's field is left alone";
  EXPECT_EQ(packed(out.host_flags[0]), 0x2222u);
  EXPECT_EQ(packed(out.host_words[0]), 0u) << "the four words are not handed out";
  ASSERT_NE(packed(out.label), nullptr);
  EXPECT_STREQ(out.label, "peak");
  EXPECT_NE(packed(out.label), packed(stored(annotation, 0)->label));
  EXPECT_EQ(GU3_RemoveString(out.label), 1) << "a string of the string space";
  parameter.index = 1;
  EXPECT_EQ(send(AP34_MSG_GET, annotation, &parameter), 0u) << "beyond the end";
}

TEST_F(AnnotationTest, ARecordWithoutLabelStaysWithoutOne) {
  AP34_ANNOTATION* annotation = make();
  ASSERT_EQ(insert(annotation, record_at(1.0f, nullptr)), 1u);
  EXPECT_FALSE(get(annotation, 0).has_label);
}

TEST_F(AnnotationTest, DeleteRemovesTheRecordAtTheIndex) {
  AP34_ANNOTATION* annotation = make();
  for (float x : {1.0f, 2.0f, 3.0f}) insert(annotation, record_at(x, "r"));
  EXPECT_EQ(remove(annotation, 1), 1u);
  EXPECT_EQ(contents(annotation), (Contents{{1.0f, "r"}, {3.0f, "r"}}));
  EXPECT_EQ(remove(annotation, 2), 0u);
  EXPECT_EQ(count(annotation), 2u);
}

TEST_F(AnnotationTest, EachChangeTellsTheDependentsOnceWithWhatHappened) {
  std::vector<WPARAM> words;
  AP34_ANNOTATION* annotation = make(listener(&words));
  insert(annotation, record_at(1.0f, "a"));
  insert(annotation, record_at(2.0f, "b"));
  remove(annotation, 0);
  remove(annotation, 5);
  EXPECT_EQ(words.size(), 3u) << "one notice per insert and per delete, none for a refused delete";
  EXPECT_EQ(words.back(), AP34_NOTICE_DELETED);
  EXPECT_EQ(change_state(annotation), AP2_CHANGED);
}

TEST_F(AnnotationTest, ChangesToAProtectedRecordLeaveTheObjectSaved) {
  AP34_ANNOTATION* annotation = make();
  ASSERT_EQ(insert(annotation, record_at(1.0f, "kept", AP34_FLAG_PROTECTED)), 1u);
  EXPECT_EQ(change_state(annotation), AP2_SAVED);
  insert(annotation, record_at(2.0f, "plain"));
  EXPECT_EQ(change_state(annotation), AP2_CHANGED);
  remove(annotation, 0);
  EXPECT_EQ(change_state(annotation), AP2_SAVED);
}

// ---------------------------------------------------------------------------
// Y units at the interface

struct UnitCase {
  const char* name;
  uint16_t y_code;
  float given;     // in the caller's unit
  double stored;   // in %T
};

std::ostream& operator<<(std::ostream& out, const UnitCase& c) { return out << c.name; }

class AnnotationUnits : public AnnotationTest, public testing::WithParamInterface<UnitCase> {};

TEST_P(AnnotationUnits, YIsStoredInPercentAndGivenBackInTheCallersUnit) {
  const UnitCase& c = GetParam();
  AP34_ANNOTATION* annotation = make();
  ASSERT_EQ(insert(annotation, record_at(1.0f, "y", 0, c.given), c.y_code), 1u);
  EXPECT_NEAR(get(annotation, 0, 16).y, c.stored, c.stored * 1e-6);
  EXPECT_NEAR(get(annotation, 0, c.y_code).y, c.given, std::fabs(c.given) * 1e-5);
}

INSTANTIATE_TEST_SUITE_P(Table, AnnotationUnits,
                         testing::Values(UnitCase{"Absorbance", 17, 1.0f, 10.0},           // 100 * 10^-1
                                         UnitCase{"LogInverseR", 12, 2.0f, 1.0},           // 100 * 10^-2
                                         UnitCase{"KubelkaMunk", 20, 0.25f, 50.0},          // R = 1/2
                                         UnitCase{"Photoacoustic", 26, 0.7f, 0.7},          // as it is
                                         UnitCase{"PercentTransmittance", 16, 35.0f, 35.0},
                                         UnitCase{"Transmittance", 23, 0.35f, 0.35},        // no conversion
                                         UnitCase{"SingleBeam", 15, 3.0f, 3.0}),
                         [](const testing::TestParamInfo<UnitCase>& info) { return std::string(info.param.name); });

TEST_F(AnnotationTest, TheSecondAndThirdPointsAreNotConverted) {
  AP34_ANNOTATION* annotation = make();
  AP34_ANNOTREC given = record_at(1.0f, "p", AP34_FLAG_SECOND_POINT, 1.0f);
  given.y2 = 1.0f;
  insert(annotation, given, 17);
  const Got got = get(annotation, 0, 16);
  EXPECT_FLOAT_EQ(got.y, 10.0f);
  EXPECT_EQ(got.y2, 1.0f);
}

// ---------------------------------------------------------------------------
// Count in range

struct RangeCase {
  const char* name;
  float x1;
  float x2;
  uint32_t answer;
  int32_t first;
  int32_t last;
};

std::ostream& operator<<(std::ostream& out, const RangeCase& c) { return out << c.name; }

class AnnotationRange : public AnnotationTest, public testing::WithParamInterface<RangeCase> {};

// Records at 1, 2, 4, 8 and 16.
TEST_P(AnnotationRange, CountsTheRecordsBetweenTheLimits) {
  const RangeCase& c = GetParam();
  AP34_ANNOTATION* annotation = make();
  for (float x : {16.0f, 1.0f, 8.0f, 2.0f, 4.0f}) insert(annotation, record_at(x, "r"));
  int32_t first = 99;
  int32_t last = 99;
  AP34_RANGEPARM parameter{c.x1, c.x2, &first, &last};
  EXPECT_EQ(send(AP34_MSG_COUNT_IN_RANGE, annotation, &parameter), c.answer);
  EXPECT_EQ(first, c.first);
  EXPECT_EQ(last, c.last);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AnnotationRange,
    testing::Values(RangeCase{"BothNotGiven", AP_NOT_GIVEN, AP_NOT_GIVEN, 5, 0, 4},
                    RangeCase{"Ascending", 2.0f, 10.0f, 3, 1, 3},
                    RangeCase{"Descending", 10.0f, 2.0f, 3, 1, 3},
                    RangeCase{"TolerantEndsCountInside", 2.000001f, 7.999993f, 3, 1, 3},
                    RangeCase{"JustOutsideEnds", 2.01f, 7.99f, 1, 2, 2},
                    RangeCase{"OneRecord", 4.0f, 4.0f, 1, 2, 2},
                    RangeCase{"BetweenRecords", 5.0f, 7.0f, 0, -1, -1},
                    RangeCase{"AboveAll", 17.0f, 30.0f, 0, -1, -1},
                    RangeCase{"BelowAll", -5.0f, 0.5f, 0, -1, -1},
                    RangeCase{"LowerEndOpen", AP_NOT_GIVEN, 3.0f, 2, 0, 1},
                    RangeCase{"Everything", -100.0f, 100.0f, 5, 0, 4}),
    [](const testing::TestParamInfo<RangeCase>& info) { return std::string(info.param.name); });

TEST_F(AnnotationTest, CountInRangeWritesNoIndexUnlessBothAreGiven) {
  AP34_ANNOTATION* annotation = make();
  insert(annotation, record_at(1.0f, "r"));
  int32_t first = 99;
  AP34_RANGEPARM parameter{0.0f, 2.0f, &first, nullptr};
  EXPECT_EQ(send(AP34_MSG_COUNT_IN_RANGE, annotation, &parameter), 1u);
  EXPECT_EQ(first, 99);
}

TEST_F(AnnotationTest, AnEmptyListCountsNothingWithOpenEnds) {
  AP34_ANNOTATION* annotation = make();
  int32_t first = 99;
  int32_t last = 99;
  AP34_RANGEPARM parameter{AP_NOT_GIVEN, AP_NOT_GIVEN, &first, &last};
  EXPECT_EQ(send(AP34_MSG_COUNT_IN_RANGE, annotation, &parameter), 0u);
  EXPECT_EQ(first, -1);
  EXPECT_EQ(last, -1);
}

// ---------------------------------------------------------------------------
// Replace and mask delete

TEST_F(AnnotationTest, ReplaceTakesTheCallersRecordAndSortsAgain) {
  std::vector<WPARAM> words;
  AP34_ANNOTATION* annotation = make(listener(&words));
  for (float x : {1.0f, 2.0f, 3.0f}) insert(annotation, record_at(x, "old"));
  words.clear();
  AP34_ANNOTREC given = record_at(10.0f, "moved", AP34_FLAG_ABSOLUTE, 1.0f, 11.0f);
  given.host_flags[0] = 0x0707;
  AP34_RECORDPARM parameter{0, &given, 17};
  EXPECT_EQ(send(AP34_MSG_REPLACE, annotation, &parameter), 1u);
  EXPECT_EQ(contents(annotation), (Contents{{2.0f, "old"}, {3.0f, "old"}, {10.0f, "moved"}}));
  const Got moved = get(annotation, 2, 16);
  EXPECT_EQ(moved.flags, AP34_FLAG_ABSOLUTE) << "taken as given, without the insert mark";
  EXPECT_EQ(moved.text_x, 11.0f);
  EXPECT_FLOAT_EQ(moved.y, 10.0f) << "converted from absorbance";
  EXPECT_EQ(moved.host_flags[0], 0x0707u);
  EXPECT_EQ(words.size(), 1u);
}

TEST_F(AnnotationTest, ReplaceNeedsALabelAndAnIndexInsideTheList) {
  AP34_ANNOTATION* annotation = make();
  insert(annotation, record_at(1.0f, "old"));
  AP34_ANNOTREC unlabelled = record_at(5.0f, nullptr);
  AP34_RECORDPARM parameter{0, &unlabelled, 16};
  EXPECT_EQ(send(AP34_MSG_REPLACE, annotation, &parameter), 0u);
  AP34_ANNOTREC labelled = record_at(5.0f, "new");
  AP34_RECORDPARM beyond{1, &labelled, 16};
  EXPECT_EQ(send(AP34_MSG_REPLACE, annotation, &beyond), 0u);
  EXPECT_EQ(contents(annotation), (Contents{{1.0f, "old"}}));
}

TEST_F(AnnotationTest, MaskDeleteNeverRemovesAProtectedRecord) {
  std::vector<WPARAM> words;
  AP34_ANNOTATION* annotation = make(listener(&words));
  insert(annotation, record_at(1.0f, "absolute", AP34_FLAG_ABSOLUTE));
  insert(annotation, record_at(2.0f, "kept", AP34_FLAG_ABSOLUTE | AP34_FLAG_PROTECTED));
  insert(annotation, record_at(3.0f, "relative", AP34_FLAG_RELATIVE));
  insert(annotation, record_at(4.0f, "absolute", AP34_FLAG_ABSOLUTE));
  words.clear();
  AP34_MASKPARM mask{0xFFFF};
  EXPECT_EQ(send(AP34_MSG_DELETE_MASKED, annotation, &mask), 3u);
  EXPECT_EQ(contents(annotation), (Contents{{2.0f, "kept"}}));
  EXPECT_EQ(words, (std::vector<WPARAM>{AP34_NOTICE_MASK_DELETED})) << "one notice; the mask holds 0x2000";
}

struct MaskCase {
  const char* name;
  uint16_t mask;
  uint32_t deleted;
  WPARAM word;
};

std::ostream& operator<<(std::ostream& out, const MaskCase& c) { return out << c.name; }

class AnnotationMask : public AnnotationTest, public testing::WithParamInterface<MaskCase> {};

// Records: at 1 with flag 8, at 2 with flag 1.
TEST_P(AnnotationMask, TellsWhatTheDeleteDid) {
  const MaskCase& c = GetParam();
  std::vector<WPARAM> words;
  AP34_ANNOTATION* annotation = make(listener(&words));
  insert(annotation, record_at(1.0f, "a", AP34_FLAG_ABSOLUTE));
  insert(annotation, record_at(2.0f, "r", AP34_FLAG_RELATIVE));
  words.clear();
  AP34_MASKPARM mask{c.mask};
  EXPECT_EQ(send(AP34_MSG_DELETE_MASKED, annotation, &mask), c.deleted);
  EXPECT_EQ(count(annotation), 2u - c.deleted);
  EXPECT_EQ(words, (std::vector<WPARAM>{c.word}));
}

INSTANTIATE_TEST_SUITE_P(Table, AnnotationMask,
                         testing::Values(MaskCase{"Nothing", AP34_FLAG_SECOND_POINT, 0, AP34_NOTICE_NOTHING_DELETED},
                                         MaskCase{"Absolute", AP34_FLAG_ABSOLUTE, 1, AP34_NOTICE_DELETED},
                                         MaskCase{"AbsoluteWithNoticeBit",
                                                  AP34_FLAG_ABSOLUTE | AP34_FLAG_MASK_NOTICE, 1,
                                                  AP34_NOTICE_MASK_DELETED},
                                         MaskCase{"Both", AP34_FLAG_ABSOLUTE | AP34_FLAG_RELATIVE, 2,
                                                  AP34_NOTICE_DELETED}),
                         [](const testing::TestParamInfo<MaskCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Copy

TEST_F(AnnotationTest, CopyMakesTheTargetEqualToTheSource) {
  AP34_ANNOTATION* source = make();
  insert(source, record_at(2.0f, "b", AP34_FLAG_ABSOLUTE, 30.0f));
  insert(source, record_at(1.0f, "a", AP34_FLAG_RELATIVE, 5.0f));
  AP34_ANNOTATION* target = make();
  insert(target, record_at(9.0f, "target's own"));
  AP_COPYPARM parameter{reinterpret_cast<AP_OBJECT*>(target), nullptr};
  EXPECT_EQ(send(AP_MSG_COPY, source, &parameter), 1u);
  EXPECT_EQ(contents(target), (Contents{{1.0f, "a"}, {2.0f, "b"}}));
  EXPECT_EQ(get(target, 1).y, 30.0f) << "copied as stored";
  EXPECT_EQ(get(target, 0).flags, AP34_FLAG_RELATIVE | AP34_FLAG_INSERTED);
  EXPECT_EQ(contents(source), (Contents{{1.0f, "a"}, {2.0f, "b"}})) << "the source is unchanged";
}

TEST_F(AnnotationTest, CopyIntoItselfChangesNothing) {
  AP34_ANNOTATION* annotation = make();
  insert(annotation, record_at(1.0f, "a"));
  AP_COPYPARM parameter{reinterpret_cast<AP_OBJECT*>(annotation), nullptr};
  EXPECT_EQ(send(AP_MSG_COPY, annotation, &parameter), 1u);
  EXPECT_EQ(contents(annotation), (Contents{{1.0f, "a"}}));
}

TEST_F(AnnotationTest, DuplicateMakesAnIndependentAnnotation) {
  AP34_ANNOTATION* annotation = make();
  insert(annotation, record_at(1.0f, "a"));
  AP_WINDOWPARM none{nullptr, 0};
  AP34_ANNOTATION* copy = keep(ap_result_object<AP34_ANNOTATION>(send(AP_MSG_DUPLICATE, annotation, &none)));
  ASSERT_NE(copy, nullptr);
  remove(annotation, 0);
  EXPECT_EQ(contents(copy), (Contents{{1.0f, "a"}}));
  EXPECT_EQ(record(AP34_CLASS_ID).live, 2);
}

// ---------------------------------------------------------------------------
// Making relative records absolute

class AnnotationAbsolute : public AnnotationTest {
 protected:
  void SetUp() override {
    AnnotationTest::SetUp();
    spectrum_.header = &header_;
  }
  uint32_t make_absolute(AP34_ANNOTATION* annotation) {
    return send(AP34_MSG_MAKE_ABSOLUTE, annotation, &spectrum_);
  }
  StubHeader header_;
  StubSpectrum spectrum_;
};

TEST_F(AnnotationAbsolute, ARelativeRecordTakesTheCurveInPercentAndBecomesAbsolute) {
  header_.y_code = 17;
  spectrum_.points = {{100.0f, 1.0f}};  // absorbance 1 = 10 %T
  AP34_ANNOTATION* annotation = make();
  insert(annotation, record_at(100.0f, "peak", AP34_FLAG_RELATIVE | AP34_FLAG_PROTECTED, 5.0f, 2.5f));
  EXPECT_EQ(make_absolute(annotation), 1u);
  const Got got = get(annotation, 0);
  EXPECT_FLOAT_EQ(got.y, 15.0f) << "10 %T + 5";
  EXPECT_EQ(got.text_x, 102.5f);
  EXPECT_EQ(got.flags, AP34_FLAG_ABSOLUTE) << "exactly 8";
}

TEST_F(AnnotationAbsolute, TheYUnitComesFromTheSpectrumsHeader) {
  uint16_t class_id = AP41_CLASS_ID;
  AP_NEWPARM fresh{AP41_CLASS_ID, nullptr};
  auto* header = ap_result_object<AP41_SPECTRALHEADER>(send(AP_MSG_NEW, &class_id, &fresh));
  ASSERT_NE(header, nullptr);
  uint32_t kubelka_munk = 20;
  ASSERT_EQ(GU2_SetParmValue_MSG(header, AP41_YUNITS, &kubelka_munk), 1);
  spectrum_.header = header;
  spectrum_.points = {{100.0f, 0.25f}};  // Kubelka-Munk 0.25 = 50 %R
  AP34_ANNOTATION* annotation = make();
  insert(annotation, record_at(100.0f, "peak", AP34_FLAG_RELATIVE, 5.0f));
  EXPECT_EQ(make_absolute(annotation), 1u);
  EXPECT_FLOAT_EQ(get(annotation, 0).y, 55.0f);
  AP_WINDOWPARM none{nullptr, 0};
  EXPECT_EQ(send(AP_MSG_DESTROY, header, &none), AP_DESTROYED);
}

TEST_F(AnnotationAbsolute, ARecordWhereTheCurveIsMissingStaysRelative) {
  spectrum_.points = {{100.0f, AP1_GetNaNSG_MATH()}};
  AP34_ANNOTATION* annotation = make();
  insert(annotation, record_at(100.0f, "peak", AP34_FLAG_RELATIVE, 5.0f, 2.5f));
  EXPECT_EQ(make_absolute(annotation), 1u);
  const Got got = get(annotation, 0);
  EXPECT_EQ(got.flags, AP34_FLAG_RELATIVE | AP34_FLAG_INSERTED);
  EXPECT_EQ(got.y, 5.0f);
  EXPECT_EQ(got.text_x, 2.5f);
}

TEST_F(AnnotationAbsolute, ACurveThatCannotBeReadCountsAsZero) {
  header_.y_code = 16;
  AP34_ANNOTATION* annotation = make();
  insert(annotation, record_at(3.0f, "off the data", AP34_FLAG_RELATIVE, 5.0f, 1.0f));
  insert(annotation, record_at(4.0f, "absolute", AP34_FLAG_ABSOLUTE, 7.0f, 1.0f));
  EXPECT_EQ(make_absolute(annotation), 1u);
  EXPECT_EQ(get(annotation, 0).y, 5.0f);
  EXPECT_EQ(get(annotation, 0).text_x, 4.0f);
  EXPECT_EQ(get(annotation, 1).text_x, 1.0f) << "absolute records are left alone";
}

TEST_F(AnnotationAbsolute, WithoutARelativeRecordTheAnnotationStaysUnchanged) {
  std::vector<WPARAM> words;
  AP34_ANNOTATION* annotation = make(listener(&words));
  insert(annotation, record_at(1.0f, "a", AP34_FLAG_ABSOLUTE | AP34_FLAG_PROTECTED));
  words.clear();
  EXPECT_EQ(make_absolute(annotation), 1u);
  EXPECT_TRUE(words.empty());
  EXPECT_EQ(change_state(annotation), AP2_SAVED);
}

TEST_F(AnnotationAbsolute, ASpectrumWithoutAHeaderIsRefused) {
  spectrum_.header = nullptr;
  AP34_ANNOTATION* annotation = make();
  insert(annotation, record_at(1.0f, "a", AP34_FLAG_RELATIVE));
  EXPECT_EQ(make_absolute(annotation), 0u);
  EXPECT_EQ(get(annotation, 0).flags, AP34_FLAG_RELATIVE | AP34_FLAG_INSERTED);
}

TEST_F(AnnotationAbsolute, TheGainTypeIsResetAfterwards) {
  header_.gain = 5.156f;
  AP34_ANNOTATION* annotation = make();
  make_absolute(annotation);
  float value = 0.00005f;
  AP1_ToAbsCombine_MATH(&value);
  EXPECT_FLOAT_EQ(value, 6.0f) << "the narrow limits";
}

// ---------------------------------------------------------------------------
// Saved form

class AnnotationFile : public AnnotationTest {
 protected:
  uint32_t save(AP34_ANNOTATION* annotation, const std::string& name) {
    AP20_FILE* file = opened_file(path(name), AP20_MODE_CREATE);
    const uint32_t result = send(AP_MSG_WRITE, annotation, file);
    destroy(file);
    return result;
  }
  // Loads into a new annotation (create set).
  AP34_ANNOTATION* load(const std::string& name) {
    AP20_FILE* file = opened_file(path(name), AP20_MODE_READ);
    uint16_t class_id = AP34_CLASS_ID;
    AP_READPARM parameter{reinterpret_cast<AP_OBJECT*>(file), 1};
    auto* loaded = keep(ap_result_object<AP34_ANNOTATION>(send(AP_MSG_READ, &class_id, &parameter)));
    destroy(file);
    return loaded;
  }
  // Loads into an existing annotation; the answer of message 17.
  uint32_t load_into(AP34_ANNOTATION* annotation, const std::string& name) {
    AP20_FILE* file = opened_file(path(name), AP20_MODE_READ);
    AP_READPARM parameter{reinterpret_cast<AP_OBJECT*>(file), 0};
    const uint32_t result = send(AP_MSG_READ, annotation, &parameter);
    destroy(file);
    return result;
  }
  static std::string saved(const std::string& lines, uint16_t count) {
    return std::string{static_cast<char>(count & 0xFF), static_cast<char>(count >> 8)} + lines;
  }
  static uint16_t live() { return record(AP34_CLASS_ID).live; }
};

TEST_F(AnnotationFile, SaveWritesTheCountThenALinePerRecord) {
  AP34_ANNOTATION* annotation = make();
  insert(annotation, record_at(1000.0f, "peak", AP34_FLAG_ABSOLUTE, 50.0f, 1001.5f));
  insert(annotation, record_at(0.001f, "small", 0, -2.5f, 0.0f));
  EXPECT_EQ(save(annotation, "a.txt"), 1u);
  EXPECT_EQ(testsupport::read_file(path("a.txt")),
            saved("1.000000e-003,0.000000e+000,-2.500000e+000,small\r\n"
                  "1.000000e+003,1.001500e+003,5.000000e+001,peak\r\n",
                  2));
}

TEST_F(AnnotationFile, SaveAndLoadGiveBackXTextXYAndTheLabel) {
  AP34_ANNOTATION* annotation = make();
  insert(annotation, record_at(1500.25f, "C=O", AP34_FLAG_ABSOLUTE, 12.5f, 1490.0f));
  insert(annotation, record_at(720.5f, "CH2", AP34_FLAG_ABSOLUTE, 80.0f, 730.0f));
  ASSERT_EQ(save(annotation, "b.txt"), 1u);
  AP34_ANNOTATION* loaded = load("b.txt");
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(contents(loaded), (Contents{{720.5f, "CH2"}, {1500.25f, "C=O"}}));
  EXPECT_EQ(get(loaded, 1).text_x, 1490.0f);
  EXPECT_EQ(get(loaded, 1).y, 12.5f);
  EXPECT_EQ(get(loaded, 1).flags, 0u) << "flags are not part of the saved form";
}

TEST_F(AnnotationFile, ALabelWithASpaceIsSavedWholeButLoadsAsItsFirstWord) {
  AP34_ANNOTATION* annotation = make();
  insert(annotation, record_at(1.0f, "two words"));
  insert(annotation, record_at(2.0f, "next"));
  ASSERT_EQ(save(annotation, "c.txt"), 1u);
  EXPECT_NE(testsupport::read_file(path("c.txt")).find(",two words\r\n"), std::string::npos);
  EXPECT_EQ(contents(load("c.txt")), (Contents{{1.0f, "two"}, {2.0f, "next"}}));
}

TEST_F(AnnotationFile, ALineBreakInALabelDoesNotBreakTheLinesAfterIt) {
  AP34_ANNOTATION* annotation = make();
  insert(annotation, record_at(1.0f, "first\r\nline"));
  insert(annotation, record_at(2.0f, "\nlead"));
  insert(annotation, record_at(3.0f, "after"));
  ASSERT_EQ(save(annotation, "d.txt"), 1u);
  EXPECT_EQ(testsupport::read_file(path("d.txt")),
            saved("1.000000e+000,0.000000e+000,0.000000e+000,first  line\r\n"
                  "2.000000e+000,0.000000e+000,0.000000e+000, lead\r\n"
                  "3.000000e+000,0.000000e+000,0.000000e+000,after\r\n",
                  3));
  EXPECT_EQ(contents(load("d.txt")), (Contents{{1.0f, "first"}, {2.0f, "lead"}, {3.0f, "after"}}));
}

TEST_F(AnnotationFile, ARecordWithoutLabelSavesAnEmptyOneAndLoadsBack) {
  AP34_ANNOTATION* annotation = make();
  insert(annotation, record_at(1.0f, nullptr, 0, 3.0f));
  insert(annotation, record_at(2.0f, "b"));
  ASSERT_EQ(save(annotation, "e.txt"), 1u);
  EXPECT_EQ(testsupport::read_file(path("e.txt")).substr(2, 44),
            "1.000000e+000,0.000000e+000,3.000000e+000,\r\n");
  AP34_ANNOTATION* loaded = load("e.txt");
  ASSERT_NE(loaded, nullptr);
  ASSERT_EQ(count(loaded), 2u);
  EXPECT_FALSE(get(loaded, 0).has_label);
  EXPECT_EQ(get(loaded, 0).y, 3.0f);
  EXPECT_EQ(get(loaded, 1).label, "b");
}

TEST_F(AnnotationFile, ALabelTooLongForTheLineIsCutSoThatTheFileLoadsBack) {
  AP34_ANNOTATION* annotation = make();
  const std::string long_label(700, 'L');
  insert(annotation, record_at(1.0f, long_label.c_str()));
  insert(annotation, record_at(2.0f, "after"));
  ASSERT_EQ(save(annotation, "f.txt"), 1u);
  const std::string bytes = testsupport::read_file(path("f.txt"));
  const size_t first_line_end = bytes.find("\r\n");
  EXPECT_EQ(first_line_end + 2, 2u + AP34_LINE_LIMIT) << "the first line fills the limit exactly";
  AP34_ANNOTATION* loaded = load("f.txt");
  ASSERT_NE(loaded, nullptr);
  const std::string prefix = "1.000000e+000,0.000000e+000,0.000000e+000,";
  EXPECT_EQ(contents(loaded),
            (Contents{{1.0f, std::string(AP34_LINE_LIMIT - 2 - prefix.size(), 'L')}, {2.0f, "after"}}));
}

TEST_F(AnnotationFile, TheLoadedListIsSortedByXKeepingTheFileOrderOfEqualX) {
  testsupport::write_file("g.txt", saved("5.0,0,0,five\r\n"
                                         "1.0,0,0,one\r\n"
                                         "3.0,0,0,three-a\r\n"
                                         "2.0e+000,0,0,two\r\n"
                                         "3.0,0,0,three-b\r\n",
                                         5));
  AP34_ANNOTATION* loaded = load("g.txt");
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(contents(loaded),
            (Contents{{1.0f, "one"}, {2.0f, "two"}, {3.0f, "three-a"}, {3.0f, "three-b"}, {5.0f, "five"}}));
}

TEST_F(AnnotationFile, LoadingIntoAnAnnotationMergesInXOrder) {
  testsupport::write_file("h.txt", saved("4.0,0,0,four\r\n2.0,0,0,two\r\n", 2));
  std::vector<WPARAM> words;
  AP34_ANNOTATION* annotation = make(listener(&words));
  insert(annotation, record_at(3.0f, "three"));
  words.clear();
  EXPECT_EQ(load_into(annotation, "h.txt"), ap_object_result(annotation));
  EXPECT_EQ(contents(annotation), (Contents{{2.0f, "two"}, {3.0f, "three"}, {4.0f, "four"}}));
  EXPECT_EQ(words.size(), 1u);
}

TEST_F(AnnotationFile, AReadsLabelIsBoundedByTheLine) {
  const std::string prefix = "1,2,3,";
  const std::string label(AP34_LINE_LIMIT - 2 - prefix.size(), 'w');
  testsupport::write_file("i.txt", saved(prefix + label + "\r\n", 1));
  AP34_ANNOTATION* loaded = load("i.txt");
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(get(loaded, 0).label, label) << "a line of the limit loads whole";
  testsupport::write_file("j.txt", saved(prefix + label + "w\r\n", 1));
  EXPECT_EQ(load("j.txt"), nullptr) << "one character more does not fit the read";
}

struct BadFileCase {
  const char* name;
  std::string bytes;
};

std::ostream& operator<<(std::ostream& out, const BadFileCase& c) { return out << c.name; }

class AnnotationBadFile : public AnnotationFile, public testing::WithParamInterface<BadFileCase> {};

TEST_P(AnnotationBadFile, FailsAndLeavesNothingBehind) {
  testsupport::write_file("bad.txt", GetParam().bytes);
  EXPECT_EQ(load("bad.txt"), nullptr);
  EXPECT_EQ(live(), 0) << "the annotation made for the load is gone";

  std::vector<WPARAM> words;
  AP34_ANNOTATION* annotation = make(listener(&words));
  insert(annotation, record_at(7.0f, "mine"));
  words.clear();
  EXPECT_EQ(load_into(annotation, "bad.txt"), 0u);
  EXPECT_EQ(contents(annotation), (Contents{{7.0f, "mine"}})) << "an existing annotation is left as it was";
  EXPECT_TRUE(words.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, AnnotationBadFile,
    testing::Values(BadFileCase{"NoCount", std::string("\x01", 1)},
                    BadFileCase{"FewerLinesThanCounted", std::string("\x03\x00", 2) + "1,2,3,a\r\n2,2,3,b\r\n"},
                    BadFileCase{"NotThreeNumbers", std::string("\x02\x00", 2) + "1,2,3,a\r\n1,x,3,b\r\n"},
                    BadFileCase{"LastLineWithoutEnd", std::string("\x02\x00", 2) + "1,2,3,a\r\n2,2,3,b"},
                    BadFileCase{"LineLongerThanTheLimit",
                                std::string("\x02\x00", 2) + "1,2,3,a\r\n2,2,3," + std::string(700, 'b') + "\r\n"}),
    [](const testing::TestParamInfo<BadFileCase>& info) { return std::string(info.param.name); });

TEST_F(AnnotationFile, AFileObjectThatIsNotOpenIsRefused) {
  AP34_ANNOTATION* annotation = make();
  AP20_FILE* closed = named_file(path("k.txt"));
  EXPECT_EQ(send(AP_MSG_WRITE, annotation, closed), 0u);
  AP_READPARM parameter{reinterpret_cast<AP_OBJECT*>(closed), 0};
  EXPECT_EQ(send(AP_MSG_READ, annotation, &parameter), 0u);
  EXPECT_EQ(send(AP_MSG_WRITE, annotation, annotation), 0u) << "not a file object";
}

TEST_F(AnnotationFile, AnEmptyAnnotationSavesAZeroCount) {
  AP34_ANNOTATION* annotation = make();
  ASSERT_EQ(save(annotation, "l.txt"), 1u);
  EXPECT_EQ(testsupport::read_file(path("l.txt")), saved("", 0));
  AP34_ANNOTATION* loaded = load("l.txt");
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(count(loaded), 0u);
}

}  // namespace
