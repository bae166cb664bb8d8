#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "processing/quality_fixture.h"

namespace {

using qualitytest::send;
using qualitytest::get;
using qualitytest::set;
using qualitytest::set_text;
using qualitytest::text;

using qualitytest::Row;
using qualitytest::B, qualitytest::W, qualitytest::F, qualitytest::T, qualitytest::A;

// The settings record as laid out for the class: type, size, offset and
// default of each of the 57 rows.
const Row kRows[AP120_PARM_COUNT] = {
    {W, 2, 0, "1"},       {T, 80, 2, " "},      {T, 64, 82, "Untitled"}, {T, 255, 146, "Description"},
    {W, 2, 401, "0"},     {W, 2, 403, "0"},     {B, 2, 405, "TRUE"},     {B, 2, 407, "TRUE"},
    {B, 2, 409, "TRUE"},  {B, 2, 411, "TRUE"},  {B, 2, 413, "TRUE"},     {B, 2, 415, "TRUE"},
    {F, 4, 417, "0.125"}, {F, 4, 421, "32"},    {B, 2, 425, "TRUE"},     {B, 2, 427, "TRUE"},
    {B, 2, 429, "TRUE"},  {B, 2, 431, "TRUE"},  {B, 2, 433, "TRUE"},     {F, 4, 435, "10"},
    {B, 2, 439, "TRUE"},  {F, 4, 441, "10"},    {B, 2, 445, "TRUE"},     {B, 2, 447, "TRUE"},
    {B, 2, 449, "TRUE"},  {B, 2, 451, "TRUE"},  {F, 4, 453, "5.6"},      {F, 4, 457, "9.8"},
    {B, 2, 461, "TRUE"},  {B, 2, 463, "FALSE"}, {B, 2, 465, "TRUE"},     {B, 2, 467, "TRUE"},
    {B, 2, 469, "TRUE"},  {F, 4, 471, "10"},    {B, 2, 475, "TRUE"},     {F, 4, 477, "10"},
    {B, 2, 481, "TRUE"},  {B, 2, 483, "TRUE"},  {B, 2, 485, "FALSE"},    {W, 2, 487, "1"},
    {B, 2, 489, "TRUE"},  {F, 4, 491, "10"},    {F, 4, 495, "50"},       {B, 2, 499, "TRUE"},
    {A, 4, 501, "0"},     {T, 256, 505, " "},   {B, 2, 761, "FALSE"},    {B, 2, 763, "FALSE"},
    {B, 2, 765, "FALSE"}, {B, 2, 767, "FALSE"}, {F, 4, 769, "5"},        {F, 4, 773, "50"},
    {F, 4, 777, "10"},    {F, 4, 781, "80"},    {F, 4, 785, "50"},       {F, 4, 789, "10"},
    {T, 260, 793, " "},
};

class SettingsTest : public QualityTest {};

TEST_F(SettingsTest, LoadRegistersTheClassUnderThePARAMSClassAfterTheFileClasses) {
  EXPECT_EQ(APX_GetClassState(AP120_CLASS_ID), 1);
  EXPECT_EQ(APX_GetClassParentID(AP120_CLASS_ID), AP13_CLASS_ID);
  EXPECT_EQ(GU2_GetDispatcher(AP120_CLASS_ID), AP120_Dispatcher_SQ);
}

uint32_t another_modules_class(void*, uint16_t, void*) { return 0; }

// Unloading leaves the dispatchers in their slots; loading again finds its
// own there and takes the slots back, but never a slot another class holds.
TEST_F(SettingsTest, BothClassesRegisterAgainAfterAnUnloadButNotOverAnotherClass) {
  apcom_UnregisterClasses();
  ASSERT_EQ(apcom_RegisterClasses(apcom_LibraryModule()), 1);
  EXPECT_EQ(APX_GetClassState(AP120_CLASS_ID), 1);
  EXPECT_EQ(APX_GetClassState(AP121_CLASS_ID), 1);

  apcom_UnregisterClasses();
  GU2_ImmedSetDispatcher(AP121_CLASS_ID, another_modules_class);
  ASSERT_EQ(apcom_RegisterClasses(apcom_LibraryModule()), 1);
  EXPECT_EQ(APX_GetClassState(AP120_CLASS_ID), 1);
  EXPECT_EQ(APX_GetClassState(AP121_CLASS_ID), 0);
  EXPECT_NE(make_sq(), nullptr);
}

TEST_F(SettingsTest, TheClassTableHas57RowsForA1053ByteRecord) {
  qualitytest::expect_class_table(AP120_CLASS_ID, 798, 1053, 1120, kRows, AP120_PARM_COUNT);
  EXPECT_EQ(kRows[56].offset + kRows[56].size, 1053);
}

TEST_F(SettingsTest, ANewSettingsObjectHasVersion4AndTheDefaults) {
  AP120_SQ* sq = make_sq();
  ASSERT_NE(sq, nullptr);
  EXPECT_EQ(get<uint16_t>(sq, AP120_VERSION), 4u);
  EXPECT_EQ(text(sq, AP120_TITLE), "Untitled");
  EXPECT_EQ(text(sq, AP120_DESCRIPTION), "Description");
  EXPECT_EQ(get<float>(sq, AP120_RESOLUTION_A), 0.125f);
  EXPECT_EQ(get<float>(sq, AP120_AMPLITUDE_HIGH), 9.8f);
  EXPECT_EQ(get<int16_t>(sq, AP120_NOISE_ON), 0);
  EXPECT_EQ(get<int16_t>(sq, AP120_MASTER), 1);
  EXPECT_EQ(get<uint16_t>(sq, 39), 1u);
  const uint32_t part_size = send(AP_MSG_SIZE, sq->params);
  EXPECT_EQ(send(AP_MSG_SIZE, sq), part_size + 1059u);
  char name[32] = {};
  EXPECT_EQ(send(AP_MSG_CLASS_NAME, sq, name), 1u);
  EXPECT_STREQ(name, "AP120_SQ");
  EXPECT_EQ(send(AP13_MSG_GET_DATA_SIZE, sq), 1053u);
}

TEST_F(SettingsTest, TheTwoPathParametersAreKeptInStep) {
  AP120_SQ* sq = make_sq();
  testsupport::write_file("drive_c/Settings Folder/Quality Settings.sqs", "x");
  // A long path sets the short form beside it.
  const std::string long_path = "C:\\Settings Folder\\Quality Settings.sqs";
  char short_path[81] = {};
  ASSERT_NE(GU4_GetShortPathName(long_path.c_str(), short_path, 80), 0u);
  set_text(sq, AP120_PATH_LONG, long_path);
  EXPECT_EQ(text(sq, AP120_PATH_SHORT), short_path);
  // The short form sets the long one, by text too.
  set_text(sq, AP120_PATH_LONG, "elsewhere");
  GU2_PARMSTRSET by_text{AP120_PATH_SHORT, short_path, 0};
  EXPECT_EQ(send(GU2_MSG_SET_PARM_STR, sq, &by_text), 1u);
  EXPECT_EQ(text(sq, AP120_PATH_LONG), long_path);
  // A path with no short form leaves the companion as it was.
  set_text(sq, AP120_PATH_LONG, "C:\\missing\\file.sqs");
  EXPECT_EQ(text(sq, AP120_PATH_SHORT), short_path);
}

// ---------------------------------------------------------------------------
// Stream

std::string stream_head(uint16_t owner, uint32_t size) {
  std::string head(6, '\0');
  std::memcpy(&head[0], &owner, 2);
  std::memcpy(&head[2], &size, 4);
  return head;
}

TEST_F(SettingsTest, TheStreamIsTheOwnerTheSizeAndTheRecordAndReadsBackByteForByte) {
  AP120_SQ* sq = make_sq();
  set_text(sq, AP120_TITLE, "Daily check");
  set<float>(sq, AP120_AMPLITUDE_LOW, 4.25f);
  set<uint16_t>(sq, AP120_ACCESSORY, 7);
  const std::string bytes = write_stream(sq);
  ASSERT_EQ(bytes.size(), 6u + 1053u);
  EXPECT_EQ(bytes.substr(0, 6), stream_head(AP120_CLASS_ID, 1053));
  EXPECT_EQ(bytes.substr(6), std::string(reinterpret_cast<const char*>(sq->record), 1053));
  EXPECT_EQ(bytes.substr(6 + 82, 12), std::string("Daily check\0", 12));

  auto* copy = static_cast<AP120_SQ*>(read_stream(AP120_CLASS_ID, bytes));
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, sq);
  EXPECT_EQ(text(copy, AP120_TITLE), "Daily check");
  EXPECT_EQ(get<uint16_t>(copy, AP120_ACCESSORY), 7u);
  EXPECT_EQ(write_stream(copy), bytes);
}

TEST_F(SettingsTest, DamagedStreamsAreRefusedAndLeaveNoObjectBehind) {
  AP120_SQ* sq = make_sq();
  const std::string good = write_stream(sq);
  const uint16_t before = live(AP120_CLASS_ID);
  const std::string cases[] = {
      "",
      good.substr(0, 4),
      good.substr(0, 500),
      stream_head(AP121_CLASS_ID, 1053) + good.substr(6),
      stream_head(AP120_CLASS_ID, 0x7FFFFFFF) + good.substr(6),
  };
  for (const std::string& bytes : cases) {
    EXPECT_EQ(read_stream(AP120_CLASS_ID, bytes), nullptr) << bytes.size();
    EXPECT_EQ(live(AP120_CLASS_ID), before) << bytes.size();
  }
}

struct UpgradeCase {
  uint16_t version;
  float fit;
  uint16_t accessory;
  float expect_fit;
  float expect_noise;
  uint16_t expect_accessory;
};

TEST_F(SettingsTest, ReadingBringsOlderRecordsUpToVersion4) {
  const UpgradeCase cases[] = {
      {1, 30.0f, 13, 71.0f, 50.0f, 7},   // reversed fit scale, new sensitivities, old accessory code
      {2, 30.0f, 105, 30.0f, 50.0f, 5},  // sensitivities and code only
      {3, 30.0f, 14, 30.0f, 20.0f, 9},   // code only
      {4, 30.0f, 14, 30.0f, 20.0f, 14},  // current: as stored
  };
  for (const UpgradeCase& c : cases) {
    AP120_SQ* sq = make_sq();
    set<uint16_t>(sq, AP120_VERSION, c.version);
    set<float>(sq, AP120_FIT_SENS, c.fit);
    set<float>(sq, AP120_NOISE_SENS, 20.0f);
    set<float>(sq, AP120_OUT_OF_RANGE_SENS, 20.0f);
    set<uint16_t>(sq, AP120_ACCESSORY, c.accessory);
    auto* read = static_cast<AP120_SQ*>(read_stream(AP120_CLASS_ID, write_stream(sq)));
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(get<uint16_t>(read, AP120_VERSION), 4u) << c.version;
    EXPECT_EQ(get<float>(read, AP120_FIT_SENS), c.expect_fit) << c.version;
    EXPECT_EQ(get<float>(read, AP120_NOISE_SENS), c.expect_noise) << c.version;
    EXPECT_EQ(get<float>(read, AP120_OUT_OF_RANGE_SENS), c.expect_noise) << c.version;
    EXPECT_EQ(get<uint16_t>(read, AP120_ACCESSORY), c.expect_accessory) << c.version;
  }
}

TEST_F(SettingsTest, AReadWithoutCreateFillsTheObjectItself) {
  AP120_SQ* source = make_sq();
  set_text(source, AP120_TITLE, "from file");
  AP120_SQ* target = make_sq();
  EXPECT_EQ(read_stream(AP120_CLASS_ID, write_stream(source), target), target);
  EXPECT_EQ(text(target, AP120_TITLE), "from file");
}

TEST_F(SettingsTest, CopyTakesEveryValue) {
  AP120_SQ* source = make_sq();
  set_text(source, AP120_DESCRIPTION, "copied");
  AP120_SQ* target = make_sq();
  AP_COPYPARM block{reinterpret_cast<AP_OBJECT*>(target), nullptr};
  EXPECT_NE(send(AP_MSG_COPY, source, &block), 0u);
  EXPECT_EQ(text(target, AP120_DESCRIPTION), "copied");
}

}  // namespace
