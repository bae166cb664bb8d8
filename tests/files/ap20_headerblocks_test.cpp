#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "files/files_fixture.h"
#include "spectrum/spectrum.h"

namespace {

using filetest::FileObjects;
using filetest::get32;
using filetest::put32;

uint32_t bits_of(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

float float_of(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// A field mapped one to one: its offset in the block and the offset of its
// parameter in the header record (1194 bytes, parameters back to back).
struct Mapped {
  const char* parameter;
  size_t block;
  size_t record;
};

// The header block's fields besides the order, the X values and p46.
const Mapped kBlockFields[] = {
    {"p3", 4, 12},     {"p4", 8, 16},     {"p5", 12, 20},    {"p39", 24, 412},  {"p21", 28, 336},
    {"p22", 32, 340},  {"p23", 36, 344},  {"p30", 40, 372},  {"p31", 44, 376},  {"p47", 48, 442},
    {"p32", 52, 380},  {"p33", 56, 384},  {"p34", 60, 388},  {"p35", 64, 392},  {"p37", 68, 404},
    {"p38", 72, 408},  {"p43", 76, 426},  {"p29", 80, 368},  {"p12", 84, 300},  {"p41", 88, 420},
    {"p25", 92, 352},  {"p44", 96, 430},  {"p26", 100, 356}, {"p27", 104, 360}, {"p28", 108, 364},
    {"p55", 124, 1178}, {"p57", 128, 1186}, {"p56", 132, 1182}, {"p58", 136, 1190},
};
// The extension block's fields besides the two translated codes.
const Mapped kExtensionFields[] = {
    {"p9", 0, 288},   {"p45", 12, 434}, {"p13", 16, 304}, {"p14", 20, 308}, {"p15", 24, 312},
    {"p16", 28, 316}, {"p17", 32, 320}, {"p18", 36, 324}, {"p19", 40, 328}, {"p20", 44, 332},
    {"p24", 48, 348}, {"p40", 52, 416},
};
constexpr size_t kP5 = 20, kFirstX = 24, kLastX = 28, kP2 = 8, kP48 = 446, kP46 = 438, kP10 = 292, kP11 = 296;
constexpr size_t kP0 = 0, kP1 = 4, kP36 = 396, kP42 = 424, kP39 = 412, kP12 = 300, kP23 = 344, kP47 = 442;
constexpr size_t kP22 = 340, kP31 = 376, kP33 = 384, kP20 = 332, kP3 = 12, kP55 = 1178;
// Block offsets the cases below look at.
constexpr size_t kOrder = 0, kXA = 16, kXB = 20, kBlockP46 = 112, kBlockP39 = 24, kBlockPoints = 4;
constexpr size_t kBlockYUnits = 12, kBlockP22 = 32, kBlockP23 = 36, kBlockP47 = 48, kBlockP12 = 84;
constexpr size_t kBlockP55 = 124, kExtDetector = 4, kExtBeamSplitter = 8;
constexpr size_t kFileTime = 296, kFileP48 = 300, kFileVersion = 290;

// A distinct value for each field, told apart from its neighbours.
uint32_t distinct(size_t index) { return 0x01020300u + static_cast<uint32_t>(index) * 0x11u; }

class HeaderBlocks : public FileObjects {
 protected:
  void SetUp() override {
    FileObjects::SetUp();
    header_ = reinterpret_cast<AP41_SPECTRALHEADER*>(ap2_New_OBJ(AP41_CLASS_ID, nullptr));
    ASSERT_NE(header_, nullptr);
    file_ = make_file();
    file_header_.assign(304, '\0');
    set_version(521);
  }
  void TearDown() override {
    AP_WINDOWPARM none{nullptr, 0};
    send(AP_MSG_DESTROY, header_, &none);
    FileObjects::TearDown();
  }

  void set_version(uint16_t version) {
    file_header_[kFileVersion] = static_cast<char>(version & 0xFF);
    file_header_[kFileVersion + 1] = static_cast<char>(version >> 8);
  }

  // The record's bytes, read and written at the offsets of the parameter table.
  uint8_t* record() { return reinterpret_cast<uint8_t*>(&header_->data); }
  uint32_t record32(size_t at) {
    uint32_t value;
    std::memcpy(&value, record() + at, 4);
    return value;
  }
  void set_record32(size_t at, uint32_t value) { std::memcpy(record() + at, &value, 4); }

  uint32_t map(uint16_t direction) {
    AP20_HEADERMAPPARM parameter{header_, reinterpret_cast<AP20_FILEHEADER*>(&file_header_[0]),
                                 reinterpret_cast<AP20_HEADERBLOCK*>(&block_[0]),
                                 reinterpret_cast<AP20_HEADEREXTENSION*>(&extension_[0]), direction};
    return send(AP20_MSG_MAP_HEADER, file_, &parameter);
  }
  uint32_t write() { return map(AP20_HEADER_TO_BLOCKS); }
  uint32_t read() { return map(AP20_BLOCKS_TO_HEADER); }

  AP41_SPECTRALHEADER* header_ = nullptr;
  AP20_FILE* file_ = nullptr;
  std::string file_header_;
  std::string block_ = std::string(140, '\0');
  std::string extension_ = std::string(56, '\0');
};

// ---------------------------------------------------------------------------
// Header to blocks

TEST_F(HeaderBlocks, WritesEveryMappedParameterAtItsOffset) {
  for (size_t index = 0; index < std::size(kBlockFields); ++index)
    set_record32(kBlockFields[index].record, distinct(index));
  for (size_t index = 0; index < std::size(kExtensionFields); ++index)
    set_record32(kExtensionFields[index].record, distinct(100 + index));
  set_record32(kP5, 17);
  set_record32(kP2, 0xA1B2C3D4);
  set_record32(kP48, 0x0BADF00D);
  set_record32(kP46, 5);
  set_record32(kP10, 16);
  set_record32(kP11, 4);
  ASSERT_EQ(write(), 1u);

  std::string expected_block(140, '\0');
  for (size_t index = 0; index < std::size(kBlockFields); ++index)
    put32(expected_block, kBlockFields[index].block, distinct(index));
  put32(expected_block, kBlockYUnits, 17);
  put32(expected_block, kOrder, 3);
  put32(expected_block, kXA, record32(kLastX));
  put32(expected_block, kXB, record32(kFirstX));
  put32(expected_block, kBlockP46, 5 | 0x8000);
  EXPECT_EQ(block_, expected_block);

  std::string expected_extension(56, '\0');
  for (size_t index = 0; index < std::size(kExtensionFields); ++index)
    put32(expected_extension, kExtensionFields[index].block, distinct(100 + index));
  put32(expected_extension, kExtDetector, 16);
  put32(expected_extension, kExtBeamSplitter, 4);
  EXPECT_EQ(extension_, expected_extension);

  EXPECT_EQ(get32(file_header_, kFileTime), 0xA1B2C3D4u);
  EXPECT_EQ(get32(file_header_, kFileP48), 0x0BADF00Du);
}

struct OrderCase {
  const char* name;
  uint32_t y_units;
  uint32_t order;
  float a;
  float b;
};

// First X 4000, last X 400: an interferogram keeps its own order, every
// other spectrum is stored last X first.
const OrderCase kOrderCases[] = {
    {"Absorbance", 17, 3, 400.0f, 4000.0f},
    {"SingleBeam", 15, 2, 400.0f, 4000.0f},
    {"Interferogram", 22, 1, 4000.0f, 400.0f},
};

class WriteOrder : public HeaderBlocks, public testing::WithParamInterface<OrderCase> {};

TEST_P(WriteOrder, FollowsTheYUnit) {
  const OrderCase& c = GetParam();
  set_record32(kP5, c.y_units);
  set_record32(kFirstX, bits_of(4000.0f));
  set_record32(kLastX, bits_of(400.0f));
  ASSERT_EQ(write(), 1u);
  EXPECT_EQ(get32(block_, kOrder), c.order);
  EXPECT_EQ(float_of(get32(block_, kXA)), c.a);
  EXPECT_EQ(float_of(get32(block_, kXB)), c.b);
  ASSERT_EQ(read(), 1u);
  EXPECT_EQ(float_of(record32(kFirstX)), 4000.0f) << "reads back in the header's order";
  EXPECT_EQ(float_of(record32(kLastX)), 400.0f);
}

INSTANTIATE_TEST_SUITE_P(Cases, WriteOrder, testing::ValuesIn(kOrderCases),
                         [](const testing::TestParamInfo<OrderCase>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// Blocks to header

TEST_F(HeaderBlocks, ReadsEveryMappedFieldIntoItsParameter) {
  for (size_t index = 0; index < std::size(kBlockFields); ++index)
    put32(block_, kBlockFields[index].block, distinct(index));
  for (size_t index = 0; index < std::size(kExtensionFields); ++index)
    put32(extension_, kExtensionFields[index].block, distinct(100 + index));
  put32(block_, kOrder, 3);
  put32(block_, kXA, bits_of(400.0f));
  put32(block_, kXB, bits_of(4000.0f));
  put32(block_, kBlockP46, 0x8005);
  put32(extension_, kExtDetector, 1);
  put32(extension_, kExtBeamSplitter, 4);
  put32(file_header_, kFileTime, 0xA1B2C3D4);
  put32(file_header_, kFileP48, 0x0BADF00D);
  set_record32(kP36, 0xFFFFFFFF);
  set_record32(kP36 + 4, 0xFFFFFFFF);
  ASSERT_EQ(read(), 1u);

  for (size_t index = 0; index < std::size(kBlockFields); ++index)
    EXPECT_EQ(record32(kBlockFields[index].record), distinct(index)) << kBlockFields[index].parameter;
  for (size_t index = 0; index < std::size(kExtensionFields); ++index)
    EXPECT_EQ(record32(kExtensionFields[index].record), distinct(100 + index)) << kExtensionFields[index].parameter;
  EXPECT_EQ(float_of(record32(kFirstX)), 4000.0f);
  EXPECT_EQ(float_of(record32(kLastX)), 400.0f);
  EXPECT_EQ(record32(kP46), 0x8005u);
  EXPECT_EQ(record32(kP10), 1u);
  EXPECT_EQ(record32(kP11), 4u);
  EXPECT_EQ(record32(kP2), 0xA1B2C3D4u);
  EXPECT_EQ(record32(kP48), 0x0BADF00Du);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(record()) + kP0, 4), std::string("\x03\x01\x13\x00", 4));
  EXPECT_EQ(record32(kP1), 304u);
  EXPECT_EQ(record()[kP42] | record()[kP42 + 1] << 8, 521) << "p42 takes the format version";
  EXPECT_EQ(record32(kP36), 0u) << "the history comes from its own section";
  EXPECT_EQ(record32(kP36 + 4), 0u);
}

TEST_F(HeaderBlocks, ParameterWrittenAsFiveReadsBackWithBitFifteen) {
  set_record32(kP46, 5);
  ASSERT_EQ(write(), 1u);
  set_record32(kP46, 0);
  ASSERT_EQ(read(), 1u);
  EXPECT_EQ(record32(kP46), 32773u);
}

struct VersionCase {
  uint16_t version;
  bool scan_errors_read;
};

class ScanErrors : public HeaderBlocks, public testing::WithParamInterface<VersionCase> {};

TEST_P(ScanErrors, AreReadOnlyFromVersion220) {
  set_version(GetParam().version);
  for (size_t word = 0; word < 4; ++word) {
    put32(block_, kBlockP55 + 4 * word, 100 + static_cast<uint32_t>(word));
    set_record32(kP55 + 4 * word, 7);
  }
  ASSERT_EQ(read(), 1u);
  // The block holds p55, p57, p56, p58; the record p55, p56, p57, p58.
  const uint32_t expected[4] = {100, 102, 101, 103};
  for (size_t word = 0; word < 4; ++word)
    EXPECT_EQ(record32(kP55 + 4 * word), GetParam().scan_errors_read ? expected[word] : 7u) << "parameter " << 55 + word;
  EXPECT_EQ(record()[kP42] | record()[kP42 + 1] << 8, GetParam().version);
}

INSTANTIATE_TEST_SUITE_P(Versions, ScanErrors,
                         testing::Values(VersionCase{219, false}, VersionCase{220, true}, VersionCase{100, false},
                                         VersionCase{521, true}),
                         [](const testing::TestParamInfo<VersionCase>& info) {
                           return "Version" + std::to_string(info.param.version);
                         });

TEST_F(HeaderBlocks, OlderInterferogramBecomesTodaysForm) {
  put32(block_, kOrder, 1);
  put32(block_, kBlockPoints, 1024);
  put32(block_, kBlockYUnits, 29);
  put32(block_, kXA, bits_of(100.0f));
  put32(block_, kXB, bits_of(0.0f));
  put32(block_, kBlockP22, 500);
  ASSERT_EQ(read(), 1u);
  EXPECT_EQ(record32(kP5), 22u);
  EXPECT_EQ(float_of(record32(kFirstX)), 0.0f);
  EXPECT_EQ(float_of(record32(kLastX)), 1023.0f);
  EXPECT_EQ(record32(kP47), 524u) << "points after the peak";
  EXPECT_EQ(record32(kP31), 1048u) << "twice the points after the peak";
  EXPECT_EQ(float_of(record32(kP33)), 1.0f);
  EXPECT_EQ(float_of(record32(kP20)), 1.0f);
  EXPECT_EQ(get32(block_, kBlockYUnits), 22u) << "the block itself is rewritten";
  EXPECT_EQ(get32(block_, kBlockP47), 524u);
}

TEST_F(HeaderBlocks, PeakBeyondThePointsLeavesNoPointsAfterIt) {
  put32(block_, kOrder, 1);
  put32(block_, kBlockPoints, 1024);
  put32(block_, kBlockYUnits, 29);
  put32(block_, kXA, bits_of(100.0f));
  put32(block_, kBlockP22, 2000);
  ASSERT_EQ(read(), 1u);
  EXPECT_EQ(record32(kP47), 0u);
  EXPECT_EQ(record32(kP31), 0u);
  EXPECT_EQ(record32(kP22), 2000u);
}

struct RepairCase {
  const char* name;
  uint32_t order;
  uint32_t y_units;
  float a;
  float b;
};

// Only an interferogram of the older form, falling X values in the first-X
// order, is rewritten.
const RepairCase kNotRepaired[] = {
    {"RisingX", 1, 29, 0.0f, 100.0f},
    {"OtherOrder", 3, 29, 100.0f, 0.0f},
    {"TodaysYCode", 1, 22, 100.0f, 0.0f},
};

class NoRepair : public HeaderBlocks, public testing::WithParamInterface<RepairCase> {};

TEST_P(NoRepair, LeavesTheBlockAsItIs) {
  const RepairCase& c = GetParam();
  put32(block_, kOrder, c.order);
  put32(block_, kBlockPoints, 1024);
  put32(block_, kBlockYUnits, c.y_units);
  put32(block_, kXA, bits_of(c.a));
  put32(block_, kXB, bits_of(c.b));
  const std::string before = block_;
  ASSERT_EQ(read(), 1u);
  EXPECT_EQ(block_, before);
  EXPECT_EQ(record32(kP5), c.y_units);
}

INSTANTIATE_TEST_SUITE_P(Cases, NoRepair, testing::ValuesIn(kNotRepaired),
                         [](const testing::TestParamInfo<RepairCase>& info) { return info.param.name; });

struct P39Case {
  const char* name;
  float stored;
  float ssp;
  uint32_t post_peak_points;
  uint32_t scans;
  double expected;
};

// A stored 0 or NaN is derived as 0.06 / (sqrt(scans) × resolution × 7.5),
// 4 scans standing in for 0 and a resolution of 4.0 for one that cannot be
// derived; the resolution of 2.0 spacing and 4096 points is 4.0, of 1.0
// and 16384 points 2.0.
const P39Case kP39Cases[] = {
    {"ZeroWithoutResolution", 0.0f, 0.0f, 0, 0, 0.06 / (2 * 4.0 * 7.5)},
    {"NaNWithResolution", std::nanf(""), 1.0f, 16384, 16, 0.06 / (4 * 2.0 * 7.5)},
    {"MissingMarker", AP1_GetNaNSG_MATH(), 2.0f, 4096, 0, 0.06 / (2 * 4.0 * 7.5)},
    {"TolerantZero", 1e-39f, 2.0f, 4096, 9, 0.06 / (3 * 4.0 * 7.5)},
    {"StoredValueKept", 0.25f, 2.0f, 4096, 16, 0.25},
};

class DerivedP39 : public HeaderBlocks, public testing::WithParamInterface<P39Case> {};

TEST_P(DerivedP39, StandsInForAMissingValue) {
  const P39Case& c = GetParam();
  put32(block_, kBlockP39, bits_of(c.stored));
  put32(block_, kBlockP12, bits_of(c.ssp));
  put32(block_, kBlockP47, c.post_peak_points);
  put32(block_, kBlockP23, c.scans);
  ASSERT_EQ(read(), 1u);
  EXPECT_EQ(float_of(record32(kP39)), static_cast<float>(c.expected));
}

INSTANTIATE_TEST_SUITE_P(Cases, DerivedP39, testing::ValuesIn(kP39Cases),
                         [](const testing::TestParamInfo<P39Case>& info) { return info.param.name; });

TEST_F(HeaderBlocks, DerivesP39FromTheValuesReadFromTheBlock) {
  set_record32(kP12, bits_of(1.0f));
  set_record32(kP47, 16384);
  set_record32(kP23, 16);
  put32(block_, kBlockP12, bits_of(2.0f));
  put32(block_, kBlockP47, 4096);
  put32(block_, kBlockP23, 4);
  ASSERT_EQ(read(), 1u);
  EXPECT_EQ(float_of(record32(kP39)), static_cast<float>(0.06 / (2 * 4.0 * 7.5)));
}

// ---------------------------------------------------------------------------
// Code translations

struct CodeCase {
  uint32_t header;
  uint32_t file;
  uint32_t read_back;
};

const CodeCase kDetectors[] = {
    {0, 1, 1},        {1, 1, 1},     {2, 2, 3},     {3, 2, 3},        {4, 4, 4},         {5, 3, 5},
    {6, 5, 7},        {7, 5, 7},     {8, 6, 8},     {13, 11, 13},     {15, 13, 15},      {16, 16, 16},
    {18, 18, 18},     {19, 41, 19},  {20, 20, 20},  {21, 21, 21},     {22, 20000, 20000}, {25, 20000, 20000},
    {31, 20000, 20000}, {32, 33, 33}, {33, 33, 33}, {34, 34, 34},     {40, 40, 40},      {41, 20000, 20000},
    {42, 42, 42},     {43, 20000, 20000}, {20000, 20000, 20000},
};

class Detector : public HeaderBlocks, public testing::WithParamInterface<CodeCase> {};

TEST_P(Detector, IsTranslatedBothWays) {
  set_record32(kP10, GetParam().header);
  ASSERT_EQ(write(), 1u);
  EXPECT_EQ(get32(extension_, kExtDetector), GetParam().file);
  ASSERT_EQ(read(), 1u);
  EXPECT_EQ(record32(kP10), GetParam().read_back);
}

INSTANTIATE_TEST_SUITE_P(Codes, Detector, testing::ValuesIn(kDetectors),
                         [](const testing::TestParamInfo<CodeCase>& info) {
                           return "Header" + std::to_string(info.param.header);
                         });

// File codes that no header code is stored as.
TEST_F(HeaderBlocks, DetectorFileCodesOutsideTheTableReadAsUnknown) {
  for (uint32_t file : {0u, 14u, 15u, 19u, 22u, 32u, 43u, 100u}) {
    put32(extension_, kExtDetector, file);
    ASSERT_EQ(read(), 1u);
    EXPECT_EQ(record32(kP10), 20000u) << "file code " << file;
  }
}

const CodeCase kBeamSplitters[] = {
    {0, 1, 0},     {1, 2, 1},     {2, 3, 2},     {3, 3, 2},     {4, 4, 4},     {5, 5, 5},    {6, 6, 7},
    {7, 6, 7},     {8, 7, 8},     {9, 9, 20},    {10, 8, 10},   {20, 9, 20},   {21, 10, 21}, {22, 11, 22},
    {23, 12, 23},  {24, 13, 24},  {25, 14, 25},  {30, 15, 30},  {31, 31, 31},  {99, 99, 99},
};

class BeamSplitter : public HeaderBlocks, public testing::WithParamInterface<CodeCase> {};

TEST_P(BeamSplitter, IsTranslatedBothWays) {
  set_record32(kP11, GetParam().header);
  ASSERT_EQ(write(), 1u);
  EXPECT_EQ(get32(extension_, kExtBeamSplitter), GetParam().file);
  ASSERT_EQ(read(), 1u);
  EXPECT_EQ(record32(kP11), GetParam().read_back);
}

INSTANTIATE_TEST_SUITE_P(Codes, BeamSplitter, testing::ValuesIn(kBeamSplitters),
                         [](const testing::TestParamInfo<CodeCase>& info) {
                           return "Header" + std::to_string(info.param.header);
                         });

// ---------------------------------------------------------------------------
// Refusals

TEST_F(HeaderBlocks, MissingPointerOrHeaderIsRefused) {
  auto* file_header = reinterpret_cast<AP20_FILEHEADER*>(&file_header_[0]);
  auto* block = reinterpret_cast<AP20_HEADERBLOCK*>(&block_[0]);
  auto* extension = reinterpret_cast<AP20_HEADEREXTENSION*>(&extension_[0]);
  const AP20_HEADERMAPPARM cases[] = {
      {nullptr, file_header, block, extension, 0},
      {header_, nullptr, block, extension, 1},
      {header_, file_header, nullptr, extension, 0},
      {header_, file_header, block, nullptr, 1},
      {reinterpret_cast<AP41_SPECTRALHEADER*>(file_), file_header, block, extension, 1},
  };
  for (const AP20_HEADERMAPPARM& parameter : cases) {
    AP20_HEADERMAPPARM copy = parameter;
    EXPECT_EQ(send(AP20_MSG_MAP_HEADER, file_, &copy), 0u);
  }
  EXPECT_EQ(block_, std::string(140, '\0'));
}

TEST_F(HeaderBlocks, ReadingIsOneChangeOfTheHeader) {
  AP_WORDPARM saved{static_cast<uint16_t>(AP2_SAVED)};
  ASSERT_EQ(send(AP_MSG_SET_CHANGE_STATE, header_, &saved), 1u);
  ASSERT_EQ(read(), 1u);
  EXPECT_EQ(static_cast<int16_t>(send(AP_MSG_GET_CHANGE_STATE, header_)), AP2_CHANGED);
  ASSERT_EQ(send(AP_MSG_SET_CHANGE_STATE, header_, &saved), 1u);
  ASSERT_EQ(write(), 1u);
  EXPECT_EQ(static_cast<int16_t>(send(AP_MSG_GET_CHANGE_STATE, header_)), AP2_SAVED) << "writing leaves it alone";
}

}  // namespace
