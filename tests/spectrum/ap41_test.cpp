#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/core.h"
#include "spectrum/header_fixture.h"
#include "util/util.h"

namespace {

using namespace headertest;

const APX_CLASSREC& record(uint16_t class_id) { return APX_GetClassTable()->classes[class_id]; }

const AP13_PARMTABLE* header_table() { return static_cast<const AP13_PARMTABLE*>(record(AP41_CLASS_ID).class_data); }

// A made and initialised header for the test.
class OneHeader : public HeaderTest {
 protected:
  void SetUp() override {
    HeaderTest::SetUp();
    header_ = make();
    ASSERT_NE(header_, nullptr);
  }
  void TearDown() override {
    destroy(header_);
    HeaderTest::TearDown();
  }

  AP41_SPECTRALHEADER* header_ = nullptr;
};

// ---------------------------------------------------------------------------
// The parameter table, row by row as the header's layout gives it: number,
// offset, type, size, limits kind and the bytes its default leaves in the
// record.

struct ParmRow {
  uint16_t number;
  uint16_t offset;
  uint16_t type;
  uint16_t size;
  uint16_t limits;
  std::string default_bytes;
};

std::string u32(uint32_t value) { return bytes_of(value); }
std::string f32(float value) { return bytes_of(value); }

const std::vector<ParmRow>& parm_rows() {
  static const std::vector<ParmRow> rows = {
      {0, 0, 13, 4, 0, std::string("\x03\x01\x00\x00", 4)},
      {1, 4, 5, 4, 4, u32(1024)},
      {2, 8, 5, 4, 4, u32(0)},
      {3, 12, 5, 4, 1, u32(768)},
      {4, 16, 5, 4, 5, u32(1)},
      {5, 20, 5, 4, 5, u32(16)},
      {6, 24, 6, 4, 4, f32(0.0f)},
      {7, 28, 6, 4, 4, f32(0.0f)},
      {8, 32, 8, 256, 4, text_bytes(" ", 256)},
      {9, 288, 5, 4, 5, u32(30)},
      {10, 292, 5, 4, 4, u32(0)},
      {11, 296, 5, 4, 4, u32(0)},
      {12, 300, 6, 4, 2, f32(2.0f)},
      {13, 304, 5, 4, 2, u32(18)},
      {14, 308, 6, 4, 2, f32(120.0f)},
      {15, 312, 6, 4, 2, f32(17.0f)},
      {16, 316, 5, 4, 4, u32(0)},
      {17, 320, 5, 4, 4, u32(0)},
      {18, 324, 5, 4, 4, u32(0)},
      {19, 328, 5, 4, 4, u32(0)},
      {20, 332, 6, 4, 2, f32(0.0f)},
      {21, 336, 5, 4, 4, u32(0)},
      {22, 340, 5, 4, 4, u32(0)},
      {23, 344, 5, 4, 1, u32(64)},
      {24, 348, 6, 4, 4, f32(0.6329f)},
      {25, 352, 6, 4, 1, f32(25.0f)},
      {26, 356, 5, 4, 4, u32(0)},
      {27, 360, 5, 4, 4, u32(0)},
      {28, 364, 5, 4, 4, u32(0)},
      {29, 368, 6, 4, 0, f32(15798.0f)},
      {30, 372, 6, 4, 4, f32(0.0f)},
      {31, 376, 5, 4, 2, u32(8192)},
      {32, 380, 5, 4, 4, u32(0)},
      {33, 384, 6, 4, 4, f32(0.0f)},
      {34, 388, 5, 4, 5, u32(0)},
      {35, 392, 6, 4, 4, f32(0.0f)},
      {36, 396, 13, 8, 4, std::string(8, '\0')},
      {37, 404, 5, 4, 4, u32(0)},
      {38, 408, 6, 4, 4, f32(0.0f)},
      {39, 412, 6, 4, 4, f32(0.0f)},
      {40, 416, 5, 4, 4, u32(0)},
      {41, 420, 6, 4, 4, f32(0.0f)},
      {42, 424, 3, 2, 4, bytes_of(uint16_t{0})},
      {43, 426, 5, 4, 5, u32(0)},
      {44, 430, 6, 4, 4, f32(0.0f)},
      {45, 434, 5, 4, 5, u32(0)},
      {46, 438, 5, 4, 4, u32(0)},
      {47, 442, 5, 4, 4, u32(0)},
      {48, 446, 5, 4, 4, u32(0)},
      {49, 450, 8, 64, 4, text_bytes(" ", 64)},
      {50, 514, 8, 64, 4, text_bytes(" ", 64)},
      {51, 578, 8, 150, 4, text_bytes("", 150)},
      {52, 728, 8, 150, 4, text_bytes("", 150)},
      {53, 878, 8, 150, 4, text_bytes("", 150)},
      {54, 1028, 8, 150, 4, text_bytes("", 150)},
      {55, 1178, 5, 4, 4, u32(4294967295u)},
      {56, 1182, 5, 4, 4, u32(4294967295u)},
      {57, 1186, 5, 4, 4, u32(4294967295u)},
      {58, 1190, 5, 4, 4, u32(4294967295u)},
  };
  return rows;
}

class HeaderParameter : public OneHeader, public testing::WithParamInterface<ParmRow> {};

TEST_P(HeaderParameter, TheTableRowGivesItsTypeSizeLimitsAndOffset) {
  const ParmRow& expected = GetParam();
  const AP13_PARMENTRY& row = header_table()->rows[expected.number];
  EXPECT_EQ(row.number, expected.number);
  EXPECT_EQ(row.type, expected.type);
  EXPECT_EQ(row.size, expected.size);
  EXPECT_EQ(row.limits, expected.limits);
  EXPECT_EQ(row.offset, expected.offset);
}

// The bytes a default leaves, up to the terminator for a text.
std::string shown(const std::string& bytes, uint16_t type) {
  return type == AP13_TYPE_STRING ? std::string(bytes.c_str()) : bytes;
}

TEST_P(HeaderParameter, TheDefaultLandsAtTheParametersOffset) {
  const ParmRow& expected = GetParam();
  EXPECT_EQ(stored(header_, expected.offset, expected.size), expected.default_bytes) << "in a new header";
  std::memset(&header_->data, 0xA5, sizeof header_->data);
  ASSERT_EQ(send(AP13_MSG_RESET_ALL, header_), 1u);
  EXPECT_EQ(shown(stored(header_, expected.offset, expected.size), expected.type),
            shown(expected.default_bytes, expected.type))
      << "after a reset over other bytes";
}

INSTANTIATE_TEST_SUITE_P(EveryParameter, HeaderParameter, testing::ValuesIn(parm_rows()),
                         [](const testing::TestParamInfo<ParmRow>& info) {
                           return "P" + std::to_string(info.param.number);
                         });

TEST(HeaderLayout, TheRecordIs1194BytesInAThe1200ByteObject) {
  EXPECT_EQ(sizeof(AP41_HEADERDATA), 1194u);
  EXPECT_EQ(sizeof(AP41_SPECTRALHEADER), 1200u);
  EXPECT_EQ(offsetof(AP41_SPECTRALHEADER, params), 2u);
  EXPECT_EQ(offsetof(AP41_SPECTRALHEADER, data), 6u);
  EXPECT_EQ(parm_rows().size(), 59u);
  EXPECT_EQ(parm_rows().back().offset + parm_rows().back().size, 1194);
}

TEST_F(HeaderTest, TheClassTableHeadNamesTheRowsTheRecordAndTheNameGroup) {
  const AP13_PARMTABLE* table = header_table();
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->row_bytes, 826);
  EXPECT_EQ(packed(table->data_size), 1194u);
  EXPECT_EQ(table->one, 1);
  EXPECT_EQ(table->name_group, 1041);
  EXPECT_EQ(table->count, 59);
  EXPECT_EQ(packed(table->reserved), 0u);
  EXPECT_EQ(AP13_TableLimits(table)[59], nullptr) << "the limits end with a 0";
}

// ---------------------------------------------------------------------------
// Limits

// The limits record of every row that has one, as its bytes: kind 1
// {min, max, step}, kind 2 {u16 n, n values} (parameter 10 keeps its list
// under kind 4), kind 5 {i16 group}.
struct LimitsRecord {
  uint16_t number;
  std::string bytes;
};

template <typename T>
std::string list_of(const std::vector<T>& values) {
  std::string bytes = bytes_of(static_cast<uint16_t>(values.size()));
  for (T value : values) bytes += bytes_of(value);
  return bytes;
}

std::string group_of(int16_t group) { return bytes_of(group); }

const std::vector<LimitsRecord>& limits_records() {
  static const std::vector<LimitsRecord> records = {
      {3, u32(1) + u32(500000) + u32(1)},
      {4, group_of(901)},
      {5, group_of(901)},
      {9, group_of(4109)},
      {10, list_of<uint32_t>({1, 2, 3, 4, 0})},
      {12, list_of<float>({0.123f, 2.0f, 5.156f, 0.123f, 0.0f})},
      {13, list_of<uint32_t>({16, 18, 20})},
      {14, list_of<float>({50.0f, 95.0f, 105.0f, 120.0f, 150.0f})},
      {15, list_of<float>({5.0f, 10.0f, 15.0f, 17.0f, 30.0f})},
      {20, list_of<float>({0.0f, 2.0f, 5.156f, 10.123f, 0.0f})},
      {23, u32(0) + u32(65536) + u32(1)},
      {25, f32(0.0f) + f32(100.0f) + f32(1.0f)},
      {31, list_of<uint32_t>({64, 128, 512, 1024, 2048, 4096, 8192, 16384, 32768, 65536, 131072, 262144, 524288,
                              1048576, 2097152, 4194304})},
      {34, group_of(3510)},
      {43, group_of(3511)},
      {45, group_of(604)},
  };
  return records;
}

TEST_F(HeaderTest, ExactlyTheSixteenRowsWithLimitsHaveARecordHoldingThem) {
  const AP13_PARMTABLE* table = header_table();
  std::vector<bool> has_record(59, false);
  for (const LimitsRecord& expected : limits_records()) {
    has_record[expected.number] = true;
    const auto* bytes = static_cast<const char*>(AP13_TableLimits(table)[expected.number]);
    ASSERT_NE(bytes, nullptr) << "parameter " << expected.number;
    EXPECT_EQ(std::string(bytes, expected.bytes.size()), expected.bytes) << "parameter " << expected.number;
  }
  for (uint16_t number = 0; number < 59; ++number) {
    if (!has_record[number]) {
      EXPECT_EQ(AP13_TableLimits(table)[number], nullptr) << "parameter " << number;
    }
  }
}

// Values a plain set (message 41 without force) stores or refuses.
struct LimitsCase {
  const char* name;
  uint16_t number;
  std::vector<std::string> stored;
  std::vector<std::string> refused;
};

class HeaderLimits : public OneHeader, public testing::WithParamInterface<LimitsCase> {};

TEST_P(HeaderLimits, APlainSetStoresAllowedValuesAndRefusesOthersUnchanged) {
  const LimitsCase& limits = GetParam();
  const ParmRow& row = parm_rows()[limits.number];
  for (std::string value : limits.refused) {
    EXPECT_EQ(set(header_, limits.number, value.data()), 0u);
    EXPECT_EQ(stored(header_, row.offset, row.size), row.default_bytes) << "a refused set changes nothing";
  }
  for (std::string value : limits.stored) {
    EXPECT_EQ(set(header_, limits.number, value.data()), 1u);
    EXPECT_EQ(stored(header_, row.offset, row.size), value);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Parameters, HeaderLimits,
    testing::Values(
        LimitsCase{"PointCountStepsFrom1To500000", 3, {u32(1), u32(500000), u32(4097)}, {u32(0), u32(500001)}},
        LimitsCase{"NumScansStepsFrom0To65536", 23, {u32(0), u32(65536)}, {u32(65537)}},
        LimitsCase{"ApertureStepsByWholeNumbersTo100", 25, {f32(0.0f), f32(100.0f), f32(37.0f)},
                   {f32(24.5f), f32(101.0f), f32(-1.0f)}},
        LimitsCase{"NumTransformPtsIsAPowerOfTwoFrom64Save256", 31,
                   {u32(64), u32(128), u32(512), u32(4194304)}, {u32(256), u32(8388608), u32(1000), u32(0)}},
        LimitsCase{"SspIsOneOfItsList", 12, {f32(0.123f), f32(5.156f), f32(0.0f)}, {f32(1.0f), f32(4.0f)}},
        LimitsCase{"ADBitsIsOneOfItsList", 13, {u32(16), u32(20)}, {u32(17), u32(24)}},
        LimitsCase{"HpfIsOneOfItsList", 14, {f32(50.0f), f32(150.0f)}, {f32(100.0f)}},
        LimitsCase{"LpfIsOneOfItsList", 15, {f32(5.0f), f32(30.0f)}, {f32(20.0f)}},
        LimitsCase{"GainIsOneOfItsList", 20, {f32(10.123f), f32(5.156f)}, {f32(1.0f), f32(0.123f)}},
        LimitsCase{"DetectorIsNotRestrictedByItsList", 10, {u32(7), u32(4)}, {}},
        LimitsCase{"UnitCodesAreAnyNumber", 5, {u32(17), u32(999)}, {}},
        LimitsCase{"RecordTagTakesOnlyAForcedSet", 0, {}, {std::string("\x04\x01\x00\x00", 4)}},
        LimitsCase{"LaserFreqTakesOnlyAForcedSet", 29, {}, {f32(15800.0f)}}),
    [](const testing::TestParamInfo<LimitsCase>& info) { return std::string(info.param.name); });

TEST_F(OneHeader, AForcedSetStoresTheRowsOfLimitsKind0) {
  const float laser = 15800.0f;
  EXPECT_EQ(set(header_, AP41_LASERFREQ, &laser, 1), 1u);
  EXPECT_EQ(packed(header_->data.LaserFreq), 15800.0f);
  const uint8_t tag[4] = {4, 1, 0, 0};
  EXPECT_EQ(set(header_, AP41_RECORDTAG, tag, 1), 1u);
  EXPECT_EQ(std::memcmp(header_->data.tag, tag, sizeof tag), 0);
}

TEST_F(OneHeader, AParameterIsReadByNumber) {
  const uint32_t points = 4097;
  ASSERT_EQ(set(header_, AP41_POINTS, &points), 1u);
  uint32_t read = 0;
  EXPECT_EQ(ap41_GetParm_SH(header_, AP41_POINTS, &read), 1);
  EXPECT_EQ(read, 4097u);
  EXPECT_EQ(ap41_GetParm_SH(header_, AP41_PARM_COUNT, &read), 0);
  EXPECT_EQ(ap41_GetParm_SH(nullptr, AP41_POINTS, &read), 0);
}

// ---------------------------------------------------------------------------
// Unit-code texts

TEST_F(OneHeader, UnitCodesReadAsTheTextsOfTheirGroup) {
  add_header_texts();
  EXPECT_EQ(text_of(header_, AP41_XUNITS), "Wavenumbers");
  EXPECT_EQ(text_of(header_, AP41_YUNITS), "%Transmittance");
  const uint32_t points_axis = AP41_XUNITS_POINTS;
  ASSERT_EQ(set(header_, AP41_XUNITS, &points_axis), 1u);
  EXPECT_EQ(text_of(header_, AP41_XUNITS), "Points");
  const uint32_t unknown = 99;
  ASSERT_EQ(set(header_, AP41_YUNITS, &unknown), 1u);
  EXPECT_EQ(text_of(header_, AP41_YUNITS), kNotGiven) << "a code without a text reads as not given";
}

TEST_F(OneHeader, AUnitCodeIsSetByItsTextAndAnUnknownTextIsRefused) {
  add_header_texts();
  EXPECT_EQ(set_text(header_, AP41_YUNITS, "absorbance"), 1u);
  EXPECT_EQ(packed(header_->data.y_units), 17u);
  EXPECT_EQ(set_text(header_, AP41_YUNITS, "Furlongs"), 0u);
  EXPECT_EQ(packed(header_->data.y_units), 17u);
  AP13_INDEXPARM index{AP41_XUNITS};
  EXPECT_EQ(send(AP13_MSG_GET_CHOICE_COUNT, header_, &index), 7u) << "one choice per text of the group";
}

// ---------------------------------------------------------------------------
// Title

TEST_F(OneHeader, GettingTheTitleGivesAtMostItsFirst63Characters) {
  const std::string long_title(100, 'T');
  ASSERT_EQ(set(header_, AP41_TITLE, long_title.c_str()), 1u);
  char buffer[80];
  std::memset(buffer, 'x', sizeof buffer);
  ASSERT_EQ(get(header_, AP41_TITLE, buffer), 1u);
  EXPECT_EQ(std::string(buffer), std::string(63, 'T'));
  EXPECT_EQ(buffer[64], 'x') << "nothing is written after the terminator";
  EXPECT_EQ(std::string(header_->data.title), long_title) << "the header keeps the whole title";
}

TEST_F(OneHeader, AShortTitleIsGivenWhole) {
  ASSERT_EQ(set(header_, AP41_TITLE, "Polystyrene film"), 1u);
  char buffer[64] = {};
  ASSERT_EQ(get(header_, AP41_TITLE, buffer), 1u);
  EXPECT_STREQ(buffer, "Polystyrene film");
}

TEST_F(OneHeader, OtherParametersAreGivenInTheirOwnWidth) {
  uint8_t value[8];
  std::memset(value, 0xEE, sizeof value);
  ASSERT_EQ(get(header_, AP41_P42, value), 1u);
  EXPECT_EQ(value[0], 0);
  EXPECT_EQ(value[1], 0);
  EXPECT_EQ(value[2], 0xEE) << "a u16 parameter fills two bytes";
  uint32_t points = 0;
  ASSERT_EQ(get(header_, AP41_POINTS, &points), 1u);
  EXPECT_EQ(points, 768u);
}

// ---------------------------------------------------------------------------
// Class, objects and the common protocol

TEST_F(HeaderTest, LoadRegistersTheClassUnderThePARAMSClass) {
  EXPECT_EQ(APX_GetClassState(AP41_CLASS_ID), 1);
  EXPECT_EQ(APX_GetClassParentID(AP41_CLASS_ID), AP13_CLASS_ID);
  EXPECT_EQ(GU2_GetDispatcher(AP41_CLASS_ID), AP41_Dispatcher_SH);
  EXPECT_NE(packed(record(AP41_CLASS_ID).instance_heap), nullptr);
  EXPECT_EQ(GU3_LenElements_MM(record(AP41_CLASS_ID).instance_heap), 1200);
}

TEST_F(HeaderTest, UnloadFreesTheHeapAndTheTable) {
  apcom_UnregisterClasses();
  EXPECT_EQ(packed(record(AP41_CLASS_ID).instance_heap), nullptr);
  EXPECT_EQ(packed(record(AP41_CLASS_ID).class_data), nullptr);
  EXPECT_EQ(ap41_InitClass_SH(AP13_CLASS_ID), 0) << "the start-up answers for class 41 only";
}

TEST_F(HeaderTest, CreateAndDestroyCountTheLiveHeaders) {
  AP41_SPECTRALHEADER* first = make();
  AP41_SPECTRALHEADER* second = make();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(record(AP41_CLASS_ID).live, 2);
  EXPECT_EQ(destroy(first), AP_DESTROYED);
  EXPECT_EQ(record(AP41_CLASS_ID).live, 1);
  EXPECT_EQ(destroy(second), AP_DESTROYED);
  EXPECT_EQ(record(AP41_CLASS_ID).live, 0);
  EXPECT_EQ(record(AP41_CLASS_ID).created, 2);
}

TEST_F(HeaderTest, ACreatedHeadersOuterObjectIsItsOwnerOrItself) {
  uint16_t class_id = AP41_CLASS_ID;
  auto* alone = ap_result_object<AP41_SPECTRALHEADER>(send(AP_MSG_CREATE, &class_id));
  ASSERT_NE(alone, nullptr);
  const auto* root = reinterpret_cast<AP2_OBJECT*>(packed(packed(alone->params)->head.parent));
  EXPECT_EQ(packed(root->outer), reinterpret_cast<AP_OBJECT*>(alone));
  EXPECT_EQ(packed(packed(alone->params)->data), reinterpret_cast<uint8_t*>(&alone->data));
  AP_OBJECT owner{7, nullptr};
  AP41_CREATEPARM parameter{&owner};
  auto* owned = ap_result_object<AP41_SPECTRALHEADER>(send(AP_MSG_CREATE, &class_id, &parameter));
  ASSERT_NE(owned, nullptr);
  const auto* owned_root = reinterpret_cast<AP2_OBJECT*>(packed(packed(owned->params)->head.parent));
  EXPECT_EQ(packed(owned_root->outer), &owner);
  destroy(alone);
  destroy(owned);
}

TEST_F(HeaderTest, ADestroyRefusedByAnotherWindowKeepsTheHeader) {
  std::vector<std::pair<UINT, WPARAM>> received;
  HWND holder = window(&received);
  AP41_SPECTRALHEADER* header = make();
  ASSERT_NE(header, nullptr);
  AP_DEPENDENTWINDOWPARM hold{holder, AP2_KIND_CANT_DESTROY};
  ASSERT_EQ(send(AP_MSG_ADD_DEPENDENT_WINDOW, header, &hold), 1u);
  EXPECT_EQ(destroy(header), AP_DESTROY_REFUSED);
  EXPECT_EQ(record(AP41_CLASS_ID).live, 1);
  EXPECT_EQ(header->class_id, AP41_CLASS_ID);
  EXPECT_EQ(destroy(header, holder), AP_DESTROYED);
}

TEST_F(OneHeader, TheSizeIsThePartsSizePlusTheCell) {
  // The part counts its root, the record and itself; the cell is added whole,
  // as the title and the quality-check classes add theirs.
  const uint32_t part = sizeof(AP2_OBJECT) + sizeof(AP41_HEADERDATA) + sizeof(AP13_PARAMS);
  EXPECT_EQ(part, 46u + 1194u + 16u);
  EXPECT_EQ(send(AP_MSG_SIZE, header_), part + 1200u);
  EXPECT_EQ(send(AP_MSG_SIZE, header_), 2456u);
}

TEST_F(OneHeader, TheClassNameIsAP41_SPECTRALHEADER) {
  char name[32] = {};
  EXPECT_EQ(send(AP_MSG_CLASS_NAME, header_, name), 1u);
  EXPECT_STREQ(name, "AP41_SPECTRALHEADER");
}

TEST_F(OneHeader, OtherMessagesAreAnsweredByTheParameterTable) {
  uint16_t count = 0;
  EXPECT_EQ(send(AP13_MSG_GET_PARM_COUNT, header_, &count), 1u);
  EXPECT_EQ(count, 59);
  AP13_INDEXPARM history{AP41_HISTORYFLAGS};
  EXPECT_EQ(send(AP13_MSG_GET_PARM_TYPE, header_, &history), AP13_TYPE_CARRAY);
  EXPECT_EQ(send(AP13_MSG_GET_DATA_SIZE, header_), 1194u);
  EXPECT_EQ(send(AP13_MSG_GET_DATA_PTR, header_), ap_object_result(&header_->data));
}

TEST_F(HeaderTest, EveryEntryRefusesAnObjectThatIsNoHeader) {
  AP_OBJECT other{AP13_CLASS_ID, nullptr};
  uint32_t value = 0;
  GU2_PARMVALUE get_points{AP41_POINTS, &value, 0};
  EXPECT_EQ(AP41_Dispatcher_SH(&other, GU2_MSG_GET_PARM_VALUE, &get_points), 0u) << "a PARAMS object is no header";
  EXPECT_EQ(AP41_Dispatcher_SH(&other, AP_MSG_SIZE, nullptr), 0u);
  EXPECT_EQ(AP41_Dispatcher_SH(nullptr, AP13_MSG_GET_DATA_SIZE, nullptr), 0u);
  AP41_DESCRIBEPARM describe{nullptr, AP41_DESCRIBE_TITLE, nullptr};
  EXPECT_EQ(AP41_Dispatcher_SH(&other, AP41_MSG_DESCRIBE, &describe), 0u);
  EXPECT_EQ(ap41_Destroy_SH(nullptr, nullptr), 0u);
}

// ---------------------------------------------------------------------------
// Copy

// Sets a value in every kind of row, so that a copy has something to carry.
void fill(AP41_SPECTRALHEADER* header) {
  header->data.points = 1801;
  header->data.first_x = 4000.0f;
  header->data.last_x = 400.0f;
  std::strcpy(header->data.title, "Copied title");
  header->data.history[0] = 0x80000001u;
  header->data.history[1] = 0x00000100u;
  header->data.p42 = 7;
  std::strcpy(header->data.p54, "long text");
  header->data.BKCollectErrorMap = 12;
}

TEST_F(HeaderTest, ACopyCarriesTheWholeRecordIntoTheTarget) {
  AP41_SPECTRALHEADER* source = make();
  AP41_SPECTRALHEADER* target = make();
  ASSERT_NE(source, nullptr);
  ASSERT_NE(target, nullptr);
  fill(source);
  const std::string before = record_of(source);
  AP_COPYPARM copy{reinterpret_cast<AP_OBJECT*>(target), nullptr};
  EXPECT_EQ(send(AP_MSG_COPY, source, &copy), 1u);
  EXPECT_EQ(record_of(target), before);
  EXPECT_EQ(record_of(source), before) << "the source is left as it was";
  destroy(source);
  destroy(target);
}

TEST_F(HeaderTest, ADuplicateIsANewHeaderWithTheSameRecord) {
  AP41_SPECTRALHEADER* source = make();
  ASSERT_NE(source, nullptr);
  fill(source);
  AP_WINDOWPARM window{nullptr, 0};
  auto* copy = ap_result_object<AP41_SPECTRALHEADER>(send(AP_MSG_DUPLICATE, source, &window));
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, source);
  EXPECT_EQ(copy->class_id, AP41_CLASS_ID);
  EXPECT_EQ(record_of(copy), record_of(source));
  destroy(copy);
  destroy(source);
}

TEST_F(HeaderTest, ACopyIntoAnObjectThatIsNoHeaderIsRefused) {
  AP41_SPECTRALHEADER* source = make();
  ASSERT_NE(source, nullptr);
  AP_OBJECT other{AP13_CLASS_ID, nullptr};
  AP_COPYPARM copy{&other, nullptr};
  EXPECT_EQ(send(AP_MSG_COPY, source, &copy), 0u);
  destroy(source);
}

// ---------------------------------------------------------------------------
// Stream (messages 17 and 18): u16 owning class id 41, u32 record size 1194,
// the record

class HeaderStream : public HeaderTest {
 protected:
  // A filled header written to "a.bin", and the same stream one byte short
  // in "short.bin".
  void SetUp() override {
    HeaderTest::SetUp();
    written_ = make();
    ASSERT_NE(written_, nullptr);
    fill(written_);
    write(written_, "a.bin");
    const std::string whole = file_bytes("a.bin");
    testsupport::write_file("short.bin", whole.substr(0, whole.size() - 1));
  }
  void TearDown() override {
    destroy(written_);
    HeaderTest::TearDown();
  }

  static std::string stream_of(const std::string& record, uint16_t owner = AP41_CLASS_ID) {
    return bytes_of(owner) + bytes_of(static_cast<uint32_t>(record.size())) + record;
  }
  static void write(void* header, const std::string& name) {
    AP20_FILE* file = open_file(name, AP20_MODE_CREATE);
    EXPECT_EQ(send(AP_MSG_WRITE, header, file), 1u);
    destroy(file);
  }
  // Message 17 from a file; the object is a header, or a class id with create.
  static uint32_t read(void* object, const std::string& name, uint16_t create) {
    AP20_FILE* file = open_file(name, AP20_MODE_READ);
    AP_READPARM parameter{reinterpret_cast<AP_OBJECT*>(file), create};
    const uint32_t result = send(AP_MSG_READ, object, &parameter);
    destroy(file);
    return result;
  }

  AP41_SPECTRALHEADER* written_ = nullptr;
};

TEST_F(HeaderStream, AWrittenHeaderIsItsClassItsSizeAndItsRecord) {
  EXPECT_EQ(file_bytes("a.bin"), stream_of(record_of(written_)));
  EXPECT_EQ(change_state(written_), AP2_SAVED);
}

TEST_F(HeaderStream, ReadBackAndWrittenAgainTheStreamIsTheSameByteForByte) {
  AP41_SPECTRALHEADER* reader = make();
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(read(reader, "a.bin", 0), ap_object_result(reader)) << "the read answers the header itself";
  EXPECT_EQ(record_of(reader), record_of(written_));
  write(reader, "b.bin");
  EXPECT_EQ(file_bytes("b.bin"), file_bytes("a.bin"));
  destroy(reader);
}

TEST_F(HeaderStream, ReadWithCreateMakesANewHeaderFromTheFile) {
  uint16_t class_id = AP41_CLASS_ID;
  auto* made = ap_result_object<AP41_SPECTRALHEADER>(read(&class_id, "a.bin", 1));
  ASSERT_NE(made, nullptr);
  EXPECT_NE(made, written_);
  EXPECT_EQ(made->class_id, AP41_CLASS_ID);
  EXPECT_EQ(record_of(made), record_of(written_));
  EXPECT_EQ(record(AP41_CLASS_ID).live, 2);
  destroy(made);
}

TEST_F(HeaderStream, AFailedReadWithCreateLeavesNoHeaderBehind) {
  testsupport::write_file("other.bin", stream_of(record_of(written_), AP13_CLASS_ID));
  uint16_t class_id = AP41_CLASS_ID;
  EXPECT_EQ(read(&class_id, "short.bin", 1), 0u) << "a record cut short";
  EXPECT_EQ(read(&class_id, "other.bin", 1), 0u) << "a stream of another class";
  EXPECT_EQ(record(AP41_CLASS_ID).live, 1);
}

TEST_F(HeaderStream, AFailedReadLeavesTheRecordAsItWas) {
  AP41_SPECTRALHEADER* reader = make();
  ASSERT_NE(reader, nullptr);
  const std::string before = record_of(reader);
  EXPECT_EQ(read(reader, "short.bin", 0), 0u);
  EXPECT_EQ(record_of(reader), before);
  destroy(reader);
}

TEST_F(HeaderStream, AReadNeedsAnOpenFile) {
  uint16_t file_class = AP20_CLASS_ID;
  AP_NEWPARM fresh{AP20_CLASS_ID, nullptr};
  auto* closed = ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP_MSG_NEW, &file_class, &fresh));
  ASSERT_NE(closed, nullptr);
  AP_READPARM parameter{closed, 0};
  EXPECT_EQ(send(AP_MSG_READ, written_, &parameter), 0u);
  uint16_t class_id = AP41_CLASS_ID;
  AP_READPARM create{closed, 1};
  EXPECT_EQ(send(AP_MSG_READ, &class_id, &create), 0u);
  EXPECT_EQ(record(AP41_CLASS_ID).live, 1);
  destroy(closed);
}

// ---------------------------------------------------------------------------
// Description text (message 71)

class HeaderDescription : public OneHeader {
 protected:
  void SetUp() override {
    OneHeader::SetUp();
    add_header_texts();
  }

  std::string describe(uint16_t flags, const char* trailing = nullptr, const char* inserted = nullptr) {
    AP41_DESCRIBEPARM parameter{trailing, flags, inserted};
    char* text = ap_result_object<char>(send(AP41_MSG_DESCRIBE, header_, &parameter));
    if (text == nullptr) return "<null>";
    std::string copy = text;
    EXPECT_EQ(GU3_RemoveString(text), 1) << "the text lies in the string space and is the caller's";
    return copy;
  }
};

TEST_F(HeaderDescription, WithoutFlagsTheTextIsEmpty) { EXPECT_EQ(describe(0, "x", "y"), ""); }

TEST_F(HeaderDescription, TitleAndTrailingTextEndWithoutALineEnd) {
  ASSERT_EQ(set(header_, AP41_TITLE, "Sample 7"), 1u);
  EXPECT_EQ(describe(AP41_DESCRIBE_TITLE | AP41_DESCRIBE_TRAILING, "x"), "Sample 7\r\nx");
}

TEST_F(HeaderDescription, TheCompanyComesFromTheConfiguration) {
  EXPECT_EQ(describe(AP41_DESCRIBE_COMPANY), "\r\n") << "an absent company leaves its line empty";
  ASSERT_NE(GU6_SetConfig("CustomerInfo", "CompanyName", "Acme Laboratories"), 0);
  EXPECT_EQ(describe(AP41_DESCRIBE_COMPANY), "Acme Laboratories\r\n");
}

TEST_F(HeaderDescription, TheCollectionTimeIsADateOrTheNotGivenText) {
  EXPECT_EQ(describe(AP41_DESCRIBE_TIME), std::string(kNotGiven) + "\r\n");
  const uint32_t when = 3786912000u;  // 2020-01-01 00:00 as stored time
  header_->data.time = when;
  char expected[128] = {};
  ASSERT_NE(GU4_Time2StringSafe(when, expected, GU4_TIMEFMT_LONG2, sizeof expected), nullptr);
  EXPECT_EQ(describe(AP41_DESCRIBE_TIME), std::string(expected) + "\r\n");
}

TEST_F(HeaderDescription, TheCollectionLinesGiveScansResolutionGainVelocityAndAperture) {
  header_->data.BKNumScans = 32;
  header_->data.Gain = 5.156f;
  EXPECT_EQ(describe(AP41_DESCRIBE_COLLECTION),
            "Scans: 64\r\n"
            "Background scans: 32\r\n"
            "Resolution: (not given)\r\n"
            "Gain: 5.156\r\n"
            "Velocity: 0.6329\r\n"
            "Aperture: 25.00\r\n");
}

TEST_F(HeaderDescription, AValueTooWideForItsFormLeavesItsLineEmptyButThere) {
  header_->data.Velocity = 123456789.0f;
  const std::string text = describe(AP41_DESCRIBE_COLLECTION);
  EXPECT_NE(text.find("\r\nVelocity: \r\nAperture: 25.00\r\n"), std::string::npos) << text;
}

// 8192 points after the burst at a spacing of 2 give 2097152 / 2 / 8192 =
// 128, over 64: a resolution of 2; 1000 points are not a power of two and
// give 15798 / (1000 × 2 / 2).
TEST_F(HeaderDescription, TheResolutionComesFromTheSampleSpacingAndThePointsAfterTheBurst) {
  const float spacing = 2.0f;
  ASSERT_EQ(set(header_, AP41_SSP, &spacing), 1u);
  header_->data.NumPostPeakPts = 8192;
  EXPECT_NE(describe(AP41_DESCRIBE_COLLECTION).find("Resolution:  2.000\r\n"), std::string::npos);
  header_->data.NumPostPeakPts = 1000;
  EXPECT_NE(describe(AP41_DESCRIBE_COLLECTION).find("Resolution: 15.798\r\n"), std::string::npos);
}

// A sample spacing of 0 and no post-peak points are allowed header values;
// the resolution that would divide by them stays not given.
TEST_F(HeaderDescription, AZeroSampleSpacingAndNoPostPeakPointsGiveNoResolution) {
  const float zero = 0.0f;
  ASSERT_EQ(set(header_, AP41_SSP, &zero), 1u);
  header_->data.NumPostPeakPts = 0;
  EXPECT_NE(describe(AP41_DESCRIBE_COLLECTION).find("Resolution: (not given)\r\n"), std::string::npos);
}

struct BenchCase {
  const char* name;
  uint32_t detector;
  uint32_t beam_splitter;
  uint32_t source;
  const char* expected;
};

class HeaderBenchLines : public HeaderDescription, public testing::WithParamInterface<BenchCase> {};

TEST_P(HeaderBenchLines, NameTheDetectorBeamSplitterAndSource) {
  const BenchCase& bench = GetParam();
  header_->data.DetectorID = bench.detector;
  header_->data.BeamSplitterID = bench.beam_splitter;
  header_->data.SourceID = bench.source;
  EXPECT_EQ(describe(AP41_DESCRIBE_BENCH), bench.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HeaderBenchLines,
    testing::Values(
        BenchCase{"KnownEntries", 2, 1, 2, "Detector: MCT\r\nBeam splitter: KBr\r\nSource: White light\r\n"},
        BenchCase{"UnknownDetectorIsNotGiven", 9, 0, 1, "Detector: (not given)\r\nBeam splitter: None\r\nSource: IR\r\n"},
        BenchCase{"NumbersBeyond16BitsNameNoEntry", 65536 + 2, 65536 + 1, 1,
                  "Detector: (not given)\r\nBeam splitter: \r\nSource: IR\r\n"},
        BenchCase{"UnknownSourceIsNotGiven", 0, 0, 5, "Detector: None\r\nBeam splitter: None\r\nSource: (not given)\r\n"}),
    [](const testing::TestParamInfo<BenchCase>& info) { return std::string(info.param.name); });

TEST_F(HeaderDescription, ThePiecesFollowInTheirOrderWithTheInsertedTextBeforeTheTrailing) {
  ASSERT_NE(GU6_SetConfig("CustomerInfo", "CompanyName", "Acme"), 0);
  ASSERT_EQ(set(header_, AP41_TITLE, "Film"), 1u);
  const std::string all = describe(127, "end", "inserted");
  const std::string expected = std::string("Acme\r\nFilm\r\n") + kNotGiven +
                               "\r\n"
                               "Scans: 64\r\nBackground scans: 0\r\nResolution: (not given)\r\nGain: 0.000\r\n"
                               "Velocity: 0.6329\r\nAperture: 25.00\r\n"
                               "Detector: None\r\nBeam splitter: None\r\nSource: Off\r\n"
                               "inserted\r\nend";
  EXPECT_EQ(all, expected);
}

TEST_F(HeaderDescription, AbsentInsertedAndTrailingTextsAddNothing) {
  EXPECT_EQ(describe(AP41_DESCRIBE_INSERTED | AP41_DESCRIBE_TRAILING), "");
}

}  // namespace
