#include "util_fixture.h"

namespace {

using utiltest::ModuleBuilder;

class AssociatedStrings : public utiltest::Utilities {
 protected:
  void SetUp() override {
    older_ = utiltest::add_resource_module(
        "gu4b_old.dll", ModuleBuilder()
                            .group(15085, {{0, "Jan", 0}, {1, "Feb", 3}, {2, "Mar", 0}})
                            .group(500, {{0x8001, "Negative", 0}, {4, "Four", 1}})
                            .group(501, {}));
    newer_ = utiltest::add_resource_module(
        "gu4b_new.dll", ModuleBuilder().group(15085, {{1, "Februar", 9}, {12, "Extra", 0}}));
  }
  HMODULE older_ = nullptr;
  HMODULE newer_ = nullptr;
};

TEST_F(AssociatedStrings, TheNewestModuleWinsUnlessTranslationIsOff) {
  uint16_t extra = 0;
  EXPECT_STREQ(GU4_GetAssocString(15085, 1, nullptr, &extra), "Februar");
  EXPECT_EQ(extra, 9);
  GU4_SetStringTranslation(0);
  EXPECT_STREQ(GU4_GetAssocString(15085, 1, nullptr, &extra), "Feb");
  EXPECT_EQ(extra, 3);
  EXPECT_STREQ(GU4_GetAssocString(15085, 2, nullptr, nullptr), "Mar");
  EXPECT_STREQ(GU4_GetAssocString(15085, 1, newer_, nullptr), "Februar");  // one module asked
  EXPECT_EQ(GU4_GetAssocString(15085, 2, newer_, nullptr), nullptr);
  EXPECT_EQ(GU4_GetAssocString(15085, 7, nullptr, nullptr), nullptr);
  EXPECT_EQ(GU4_GetAssocString(9999, 0, nullptr, nullptr), nullptr);
}

TEST_F(AssociatedStrings, NumbersOfTextsIgnoreCaseAndExtendTheirSign) {
  uint16_t extra = 0;
  EXPECT_EQ(GU4_GetAssocNumber(500, "FOUR", nullptr, &extra), 4);
  EXPECT_EQ(extra, 1);
  EXPECT_EQ(GU4_GetAssocNumber(500, "negative", nullptr, nullptr), -32767);
  EXPECT_EQ(GU4_GetAssocNumber(500, "Five", nullptr, nullptr), -1);
  EXPECT_EQ(GU4_GetAssocNumber(15085, "feb", nullptr, nullptr), 1);
}

TEST_F(AssociatedStrings, PositionsRunOnAcrossModulesInSearchOrder) {
  EXPECT_STREQ(GU4_GetAssocIndex(15085, 0, nullptr), "Februar");
  EXPECT_STREQ(GU4_GetAssocIndex(15085, 1, nullptr), "Extra");
  const char* text = GU4_GetAssocIndex(15085, 3, nullptr);
  ASSERT_STREQ(text, "Feb");
  EXPECT_EQ(static_cast<uint8_t>(text[-2]) | static_cast<uint8_t>(text[-1]) << 8, 1);  // the number precedes
  EXPECT_EQ(GU4_GetAssocIndex(15085, 5, nullptr), nullptr);
  EXPECT_EQ(GU4_GetAssocIndex(15085, -1, nullptr), nullptr);
}

TEST_F(AssociatedStrings, CountsSumOverModulesAndEmptyGroupsCountZero) {
  EXPECT_EQ(GU4_GetAssocCount(15085, nullptr), 5);
  EXPECT_EQ(GU4_GetAssocCountNoDup(15085, nullptr), 2);
  EXPECT_EQ(GU4_GetAssocCount(501, nullptr), 0);
  EXPECT_EQ(GU4_GetAssocCount(502, nullptr), -1);
  EXPECT_EQ(GU4_GetAssocCountNoDup(502, nullptr), -1);
}

TEST_F(AssociatedStrings, AGroupRunningPastItsResourceIsPassedOver) {
  std::string broken = utiltest::strgrp({{1, "Broken", 0}});
  broken.resize(broken.size() - 3);  // cut inside the extra value of the record
  utiltest::add_resource_module("gu4b_bad.dll",
                                ModuleBuilder().raw(GU4_STRGRP, MAKEINTRESOURCEA(15085), broken));
  EXPECT_STREQ(GU4_GetAssocString(15085, 1, nullptr, nullptr), "Februar");
  EXPECT_EQ(GU4_GetAssocCount(15085, nullptr), 5);
}

TEST(AssociatedStringsAbsent, WithoutResourceModulesEveryLookUpFallsBack) {
  EXPECT_EQ(GU4_GetAssocString(15085, 0, nullptr, nullptr), nullptr);
  EXPECT_EQ(GU4_GetAssocNumber(15085, "Jan", nullptr, nullptr), -1);
  EXPECT_EQ(GU4_GetAssocIndex(15085, 0, nullptr), nullptr);
  EXPECT_EQ(GU4_GetAssocCount(15085, nullptr), -1);
  char buffer[8];
  EXPECT_EQ(GU4_GetString(1, buffer, sizeof buffer), nullptr);
}

}  // namespace
