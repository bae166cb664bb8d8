#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

class Queries : public SpectrumTest {};

struct SpacingPair {
  const char* name;
  float last_a;
  float last_b;
  uint32_t agree;
};

class SpacingAgreement : public Queries, public testing::WithParamInterface<SpacingPair> {};

// Two spectra of 11 points from X 0: spacing one tenth of the last X.
TEST_P(SpacingAgreement, HoldsWithinOnePercentOfTheLargerSpacing) {
  AP7_SPECTRUM* a = make_ramp(11, 0.0f, GetParam().last_a);
  AP7_SPECTRUM* b = make_ramp(11, 0.0f, GetParam().last_b);
  EXPECT_EQ(send(AP7_MSG_COMPARE_SPACING, a, b), GetParam().agree);
  EXPECT_EQ(send(AP7_MSG_COMPARE_SPACING, b, a), GetParam().agree);
  EXPECT_EQ(destroy(a), 1u);
  EXPECT_EQ(destroy(b), 1u);
}

INSTANTIATE_TEST_SUITE_P(Pairs, SpacingAgreement,
                         testing::Values(SpacingPair{"equal", 10.0f, 10.0f, 1},
                                         SpacingPair{"one_percent", 10.0f, 10.1f, 1},
                                         SpacingPair{"two_percent", 10.0f, 10.2f, 0},
                                         SpacingPair{"both_downward", -10.0f, -10.1f, 1},
                                         SpacingPair{"downward_and_upward", -10.0f, 10.0f, 0},
                                         SpacingPair{"both_zero", 0.0f, 0.0f, 0}),
                         [](const testing::TestParamInfo<SpacingPair>& info) { return std::string(info.param.name); });

TEST_F(Queries, ListCopyIsDeepAndReplacesTheOthersList) {
  const auto before = live_counts();
  AP7_SPECTRUM* source = make(1);
  AP7_SPECTRUM* target = make(1);
  ap40_Add_LLIST(source->list, reinterpret_cast<AP_OBJECT*>(new_text("one")));
  ap40_Add_LLIST(source->list, reinterpret_cast<AP_OBJECT*>(new_text("two")));
  ap40_Add_LLIST(target->list, reinterpret_cast<AP_OBJECT*>(new_text("old")));
  EXPECT_EQ(send(AP7_MSG_COPY_LIST_TO, source, target), 1u);
  ASSERT_EQ(list_count(target->list), 2u);
  EXPECT_NE(packed(target->list), packed(source->list));
  EXPECT_NE(list_member(target->list, 0), list_member(source->list, 0));
  EXPECT_EQ(text_of(reinterpret_cast<AP48_TEXT*>(list_member(target->list, 1))), "two");
  EXPECT_EQ(list_count(source->list), 2u);
  EXPECT_EQ(destroy(source), 1u);
  EXPECT_EQ(destroy(target), 1u);
  EXPECT_EQ(live_counts(), before);
}

TEST_F(Queries, CopyListDuplicatesTheSourcesListIntoTheTarget) {
  AP7_SPECTRUM* source = make(1);
  AP7_SPECTRUM* target = make(1);
  ap40_Add_LLIST(source->list, reinterpret_cast<AP_OBJECT*>(new_text("member")));
  EXPECT_EQ(ap7d_CopyList(source, target), 1);
  ASSERT_EQ(list_count(target->list), 1u);
  EXPECT_EQ(text_of(reinterpret_cast<AP48_TEXT*>(list_member(target->list, 0))), "member");
  EXPECT_EQ(list_count(source->list), 1u);
  EXPECT_EQ(destroy(source), 1u);
  EXPECT_EQ(destroy(target), 1u);
}

TEST_F(Queries, CopyListFromAddsTheObjectItselfAfterTheMembers) {
  AP7_SPECTRUM* spectrum = make(1);
  ap40_Add_LLIST(spectrum->list, reinterpret_cast<AP_OBJECT*>(new_text("first")));
  AP48_TEXT* added = new_text("added");
  EXPECT_EQ(ap7d_CopyListFrom(spectrum, reinterpret_cast<AP_OBJECT*>(added)), 1);
  ASSERT_EQ(list_count(spectrum->list), 2u);
  EXPECT_EQ(list_member(spectrum->list, 1), reinterpret_cast<AP_OBJECT*>(added));
  EXPECT_EQ(ap7d_CopyListFrom(spectrum, nullptr), 0);
  EXPECT_EQ(ap7d_CopyListFrom(nullptr, reinterpret_cast<AP_OBJECT*>(added)), 0);
  EXPECT_EQ(destroy(spectrum), 1u);  // the list takes its members with it
}

TEST_F(Queries, ASpectrumWithoutAListLeavesTheOthersList) {
  AP7_SPECTRUM* source = make(1);
  AP7_SPECTRUM* target = make(1);
  ap40_Add_LLIST(target->list, reinterpret_cast<AP_OBJECT*>(new_text("kept")));
  AP40_LLIST* list = source->list;
  source->list = nullptr;
  EXPECT_EQ(send(AP7_MSG_COPY_LIST_TO, source, target), 1u);
  EXPECT_EQ(list_count(target->list), 1u);
  EXPECT_EQ(send(AP7_MSG_COPY_LIST_TO, source, nullptr), 0u);
  source->list = list;
  EXPECT_EQ(destroy(source), 1u);
  EXPECT_EQ(destroy(target), 1u);
}

TEST_F(Queries, PostPeakCountsAgreeWithinFivePercent) {
  AP7_SPECTRUM* a = make(2);
  AP7_SPECTRUM* b = make(2);
  struct Case {
    uint32_t first;
    uint32_t second;
    uint32_t agree;
  };
  for (const Case& c : {Case{0, 0, 1}, Case{0, 5, 0}, Case{100, 105, 0}, Case{100, 104, 1}, Case{100, 95, 0}}) {
    record(a).NumPostPeakPts = c.first;
    record(b).NumPostPeakPts = c.second;
    EXPECT_EQ(send(AP7_MSG_COMPARE_HEADER_FIELD, a, b), c.agree) << c.first << " " << c.second;
  }
  EXPECT_EQ(destroy(a), 1u);
  EXPECT_EQ(destroy(b), 1u);
}

TEST_F(Queries, IdentCodeTakesTheTextsLastDigitsAndTheNumber) {
  AP7_SPECTRUM* spectrum = make(2);
  AP7_IDENTCODEPARM parameter{"AB12", 345};
  ASSERT_EQ(send(AP7_MSG_SET_IDENT_CODE, spectrum, &parameter), 1u);
  EXPECT_STREQ(record(spectrum).p49, "01200345");
  parameter = {"X", 7};
  ASSERT_EQ(send(AP7_MSG_SET_IDENT_CODE, spectrum, &parameter), 1u);
  EXPECT_STREQ(record(spectrum).p49, "00000007");
  parameter = {"run 98765", 123456};
  ASSERT_EQ(send(AP7_MSG_SET_IDENT_CODE, spectrum, &parameter), 1u);
  EXPECT_STREQ(record(spectrum).p49, "76523456");
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(Queries, NormalizedRangeIsCutAndScaledToItsLargestValue) {
  const auto counts = live_counts();
  AP7_SPECTRUM* spectrum = make_ramp(5, 0.0f, 4.0f);
  AP7_XRANGEPARM parameter{1.0f, 3.0f};
  auto* copy = ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_NEW_NORMALIZED_RANGE, spectrum, &parameter));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(values(copy), (std::vector<float>{0.5f, 0.75f, 1.0f}));
  EXPECT_EQ(values(spectrum), (std::vector<float>{1, 2, 3, 4, 5}));
  EXPECT_EQ(destroy(copy), 1u);
  parameter = {10.0f, 20.0f};
  EXPECT_EQ(send(AP7_MSG_NEW_NORMALIZED_RANGE, spectrum, &parameter), 0u);
  EXPECT_EQ(destroy(spectrum), 1u);
  EXPECT_EQ(live_counts(), counts);
}

TEST_F(Queries, AttachingASecondParameterObjectOfAClassReplacesTheFirst) {
  const auto counts = live_counts();
  AP7_SPECTRUM* spectrum = make(2);
  AP_OBJECT* first = ap2_New_OBJ(AP43_CLASS_ID, nullptr);
  AP_OBJECT* second = ap2_New_OBJ(AP43_CLASS_ID, nullptr);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  const uint16_t live_titles = APX_GetClassTable()->classes[AP43_CLASS_ID].live;
  EXPECT_EQ(send(AP7_MSG_ATTACH_PARAMETER_OBJECT, spectrum, first), 1u);
  uint16_t title_class = AP43_CLASS_ID;
  EXPECT_EQ(ap_result_object<AP_OBJECT>(send(AP7_MSG_FIND_LIST_ITEM, spectrum, &title_class)), first);
  EXPECT_EQ(send(AP7_MSG_ATTACH_PARAMETER_OBJECT, spectrum, second), 1u);
  EXPECT_EQ(ap_result_object<AP_OBJECT>(send(AP7_MSG_FIND_LIST_ITEM, spectrum, &title_class)), second);
  EXPECT_EQ(list_count(spectrum->list), 1u);
  EXPECT_EQ(APX_GetClassTable()->classes[AP43_CLASS_ID].live, live_titles - 1);
  uint16_t none = 0;
  EXPECT_EQ(ap_result_object<AP40_LLIST>(send(AP7_MSG_FIND_LIST_ITEM, spectrum, &none)), spectrum->list);
  // A spectrum is no parameter object.
  AP7_SPECTRUM* other = make(2);
  EXPECT_EQ(send(AP7_MSG_ATTACH_PARAMETER_OBJECT, spectrum, other), 0u);
  EXPECT_EQ(destroy(other), 1u);
  EXPECT_EQ(destroy(spectrum), 1u);
  EXPECT_EQ(live_counts(), counts);
}

TEST_F(Queries, HistoryStampAnswersForAnyObjectAndYUnitScales) {
  AP7_SPECTRUM* spectrum = make_ramp(3, 0.0f, 2.0f);
  EXPECT_EQ(send(AP7_MSG_HISTORY_STAMP, spectrum), 1u);
  EXPECT_EQ(ap7d_HistoryStamp(nullptr), 0u);
  record(spectrum).y_units = 16;
  EXPECT_EQ(ap7d_GetYUnitScale(spectrum), 100.0f);
  record(spectrum).y_units = 23;
  EXPECT_EQ(ap7d_GetYUnitScale(spectrum), 1.0f);
  record(spectrum).y_units = 27;
  EXPECT_EQ(ap7d_GetYUnitScale(spectrum), 3.0f);
  record(spectrum).y_units = 17;
  EXPECT_EQ(ap7d_GetYUnitScale(spectrum), 0.0f);
  EXPECT_EQ(ap7d_GetYUnitScale(nullptr), 0.0f);
  EXPECT_EQ(send(AP7_MSG_PEAK_DIRECTION, spectrum), 1u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

}  // namespace
