#include <cstdint>
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

}  // namespace
