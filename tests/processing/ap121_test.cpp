#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "processing/quality_fixture.h"

namespace {

using qualitytest::send;
using qualitytest::as_parameter;
using qualitytest::get;
using qualitytest::set;
using qualitytest::set_text;
using qualitytest::text;

using qualitytest::Row;
using qualitytest::B, qualitytest::W, qualitytest::F, qualitytest::T;
constexpr uint16_t D = AP13_TYPE_DWORD, M = AP13_TYPE_GU3MEMFLOATADDR;

// The results record as laid out for the class.
const Row kRows[AP121_PARM_COUNT] = {
    {W, 2, 0, "1"},     {W, 2, 2, "0"},     {T, 80, 4, ""},     {T, 64, 84, ""},      {T, 255, 148, ""},
    {W, 2, 403, "0"},   {W, 2, 405, "0"},   {T, 100, 407, " "}, {D, 4, 507, "0"},     {D, 4, 511, "0"},
    {D, 4, 515, "0"},   {D, 4, 519, "0"},   {B, 2, 523, "FALSE"}, {F, 4, 525, "1"},   {F, 4, 529, "8"},
    {F, 4, 533, "8"},   {D, 4, 537, "0"},   {D, 4, 541, "0"},   {D, 4, 545, "0"},     {D, 4, 549, "0"},
    {F, 4, 553, "1"},   {D, 4, 557, "0"},   {D, 4, 561, "0"},   {F, 4, 565, "1"},     {F, 4, 569, "1"},
    {F, 4, 573, "1"},   {F, 4, 577, "1"},   {B, 2, 581, "FALSE"}, {M, 4, 583, "0"},   {B, 2, 587, "FALSE"},
    {F, 4, 589, "0"},   {F, 4, 593, "5.6"}, {F, 4, 597, "9.8"}, {F, 4, 601, "1"},     {F, 4, 605, "1"},
    {F, 4, 609, "1"},   {F, 4, 613, "1"},   {F, 4, 617, "1"},   {F, 4, 621, "1"},     {F, 4, 625, "1"},
    {F, 4, 629, "1"},   {D, 4, 633, "0"},   {D, 4, 637, "0"},   {F, 4, 641, "1"},     {F, 4, 645, "1"},
    {F, 4, 649, "1"},   {F, 4, 653, "1"},   {F, 4, 657, "1"},   {F, 4, 661, "1"},     {T, 260, 665, ""},
};

class ResultsTest : public QualityTest {};

TEST_F(ResultsTest, LoadRegistersTheClassUnderThePARAMSClass) {
  EXPECT_EQ(APX_GetClassState(AP121_CLASS_ID), 1);
  EXPECT_EQ(APX_GetClassParentID(AP121_CLASS_ID), AP13_CLASS_ID);
  EXPECT_EQ(GU2_GetDispatcher(AP121_CLASS_ID), AP121_Dispatcher_SQR);
}

TEST_F(ResultsTest, TheClassTableHas50RowsForA925ByteRecord) {
  qualitytest::expect_class_table(AP121_CLASS_ID, 700, 925, 1121, kRows, AP121_PARM_COUNT);
  EXPECT_EQ(kRows[49].offset + kRows[49].size, 925);
}

TEST_F(ResultsTest, ANewResultHasVersion1AndPasses) {
  AP121_SQR* result = make_sqr();
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(get<uint16_t>(result, AP121_VERSION), 1u);
  EXPECT_EQ(level(result), AP121_PASS);
  EXPECT_EQ(text(result, AP121_ACCESSORY_NAME), " ");
  EXPECT_EQ(get<float>(result, AP121_RESOLUTION_B), 8.0f);
  EXPECT_EQ(send(AP_MSG_SIZE, result), send(AP_MSG_SIZE, result->params) + 931u);
  char name[32] = {};
  EXPECT_EQ(send(AP_MSG_CLASS_NAME, result, name), 1u);
  EXPECT_STREQ(name, "AP121_SQR");
}

TEST_F(ResultsTest, TheStreamReadsBackByteForByteAndDamagedStreamsAreRefused) {
  AP121_SQR* result = make_sqr();
  set_text(result, AP121_TITLE, "check");
  set<float>(result, AP121_AMPLITUDE, 0.05f);
  ASSERT_EQ(send(AP121_MSG_SET_FAILURES, result, as_parameter(0x40)), 1u);
  const std::string bytes = write_stream(result);
  ASSERT_EQ(bytes.size(), 6u + 925u);
  uint16_t owner = 0;
  uint32_t size = 0;
  std::memcpy(&owner, bytes.data(), 2);
  std::memcpy(&size, bytes.data() + 2, 4);
  EXPECT_EQ(owner, AP121_CLASS_ID);
  EXPECT_EQ(size, 925u);
  EXPECT_EQ(bytes.substr(6), std::string(reinterpret_cast<const char*>(result->record), 925));
  auto* copy = static_cast<AP121_SQR*>(read_stream(AP121_CLASS_ID, bytes));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(level(copy), AP121_FAILURE);
  EXPECT_EQ(write_stream(copy), bytes);

  const uint16_t before = live(AP121_CLASS_ID);
  std::string other_class = bytes;
  other_class[0] = static_cast<char>(AP120_CLASS_ID);
  for (const std::string& damaged : {bytes.substr(0, 3), bytes.substr(0, 900), other_class}) {
    EXPECT_EQ(read_stream(AP121_CLASS_ID, damaged), nullptr) << damaged.size();
    EXPECT_EQ(live(AP121_CLASS_ID), before);
  }
}

// ---------------------------------------------------------------------------
// Bit words and the level

struct BitCase {
  uint16_t message;
  uint32_t bits;
  uint16_t start_level;
  uint16_t word;      // the parameter that changes
  uint32_t expected;  // its value after
  uint16_t level;     // the level after
};

TEST_F(ResultsTest, BitMessagesSetTheSelectedWordAndRaiseTheLevel) {
  const BitCase cases[] = {
      {AP121_MSG_SET_WARNINGS, 2, 0, AP121_WARNINGS, 2, 1},
      {AP121_MSG_SET_WARNINGS, 0x80000004, 0, AP121_WARNINGS2, 4, 1},
      {AP121_MSG_SET_WARNINGS, 2, 2, AP121_WARNINGS, 2, 2},
      {AP121_MSG_SET_WARNINGS, 2, 7, AP121_WARNINGS, 2, 1},
      {AP121_MSG_SET_FAILURES, 0x80000004, 0, AP121_FAILURES2, 4, 2},
      {AP121_MSG_SET_FAILURES, 1, 1, AP121_FAILURES, 1, 2},
      {AP121_MSG_SET_DONE, 0x10, 0, AP121_DONE, 0x10, 0},
      {AP121_MSG_SET_DONE, 0x80000001, 1, AP121_DONE2, 1, 1},
  };
  for (const BitCase& c : cases) {
    AP121_SQR* result = make_sqr();
    set<uint16_t>(result, AP121_LEVEL, c.start_level);
    EXPECT_EQ(send(c.message, result, as_parameter(c.bits)), 1u);
    EXPECT_EQ(word(result, c.word), c.expected) << c.message << " " << c.bits;
    EXPECT_EQ(level(result), c.level) << c.message << " " << c.bits;
  }
}

TEST_F(ResultsTest, ClearingLeavesTheLevelAndOtherClassesAreRefused) {
  AP121_SQR* result = make_sqr();
  send(AP121_MSG_SET_WARNINGS, result, as_parameter(3));
  send(AP121_MSG_SET_FAILURES, result, as_parameter(0x80000004));
  EXPECT_EQ(send(AP121_MSG_CLEAR_WARNINGS, result, as_parameter(2)), 1u);
  EXPECT_EQ(word(result, AP121_WARNINGS), 1u);
  EXPECT_EQ(send(AP121_MSG_CLEAR_FAILURES, result, as_parameter(0x80000004)), 1u);
  EXPECT_EQ(word(result, AP121_FAILURES2), 0u);
  EXPECT_EQ(level(result), AP121_FAILURE);

  AP120_SQ* settings = make_sq();
  EXPECT_EQ(send(AP121_MSG_SET_WARNINGS, settings, as_parameter(1)), 0u);
  EXPECT_EQ(send(AP121_MSG_SET_WARNINGS, nullptr, as_parameter(1)), 0u);
  EXPECT_EQ(get<uint16_t>(settings, AP120_VERSION), 4u) << "the settings are untouched";
}

TEST_F(ResultsTest, TheQueriesTellSeriousAndMaskedBits) {
  AP121_SQR* result = make_sqr();
  send(AP121_MSG_SET_FAILURES, result, as_parameter(1));
  EXPECT_EQ(send(AP121_MSG_ANY_SERIOUS, result), 0u);
  EXPECT_EQ(send(AP121_MSG_ANY_FAILURE, result, as_parameter(3)), 1u);
  EXPECT_EQ(send(AP121_MSG_ANY_FAILURE, result, as_parameter(0x80000001)), 0u);
  send(AP121_MSG_SET_FAILURES, result, as_parameter(0x40));
  EXPECT_EQ(send(AP121_MSG_ANY_SERIOUS, result), 1u);
  AP121_SQR* warned = make_sqr();
  send(AP121_MSG_SET_WARNINGS, warned, as_parameter(0x20000000));
  EXPECT_EQ(send(AP121_MSG_ANY_SERIOUS, warned), 1u);
  EXPECT_EQ(send(AP121_MSG_ANY_WARNING, warned, as_parameter(0x20000000)), 1u);
  EXPECT_EQ(send(AP121_MSG_ANY_WARNING, warned, as_parameter(0x10000000)), 0u);
}

TEST_F(ResultsTest, TheLevelGoesOutThroughTheParameterMessage) {
  AP121_SQR* result = make_sqr();
  ASSERT_EQ(send(AP121_MSG_SET_WARNINGS, result, as_parameter(1)), 1u);
  EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, result), static_cast<uint32_t>(AP2_CHANGED));
}

}  // namespace
