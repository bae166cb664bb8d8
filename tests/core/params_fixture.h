// Shared set-up of the parameter-table tests: a parameter-set class of the
// test whose table has a row of every type code (1 to 23) and every limits
// kind (0 to 6), resource modules with its names, its class title, the
// texts of its choice row and the not-given text, and two small stand-ins
// for the classes a parameter set reaches by message (an array that answers
// its extent and data, a text object that takes appended lines).
#pragma once
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "core/core.h"
#include "core/core_fixture.h"
#include "files/files.h"
#include "platform/user.h"
#include "support/test_home.h"
#include "util/util_fixture.h"

namespace paramstest {

constexpr uint16_t kSetClass = 200;
// The stand-ins take the class ids of the array and text classes, whose
// dispatchers they replace for the test.
constexpr uint16_t kArrayClass = 4;
constexpr uint16_t kTextClass = 48;
constexpr uint16_t kNameGroup = 7000;
constexpr uint16_t kChoiceGroup = 7001;
constexpr char kNotGiven[] = "(not given)";

// Rows of the test table, by index.
enum Row : uint16_t {
  kBool,         // 1, free (4), "TRUE"
  kInt,          // 2, step {0, 10, 2}, "4"
  kWord,         // 3, range {1, 5}, "1"
  kLong,         // 4, list {-7, 0, 100000}, "0"
  kDWord,        // 5, mask 0x0F, "5"
  kSingle,       // 6, step {0, 1, 0.25}, "0.5"
  kDouble,       // 7, range {-1.5, 2.5}, "1.25"
  kString,       // 8, 80 bytes, free, "hello"
  kPStr,         // 9, 16 bytes, free, "pascal"
  kAddr,         // 10, free, "0"
  kWinID,        // 11, free, "0"
  kLList,        // 12, 24 raw bytes, free
  kCArray,       // 13, 6 raw bytes, none (0): only a forced set, "ABCDEF"
  kColor,        // 14, free, "255,0,0"
  kAP4Addr,      // 15, free, "0"
  kStrArray,     // 16
  kFloatAddr,    // 17
  kBoolAddr,     // 18
  kWordAddr,     // 19
  kLongAddr,     // 20
  kOwnedText,    // 21, free, "owned"
  kDoubleAddr,   // 22
  kDWordAddr,    // 23
  kChoice,       // 3, choice (5) of group 7001, "2"
  kSingleList,   // 6, list {0.5, 1.5, 2.5}, "1.5"
  kForcedLong,   // 4, none (0), "-3"
  kDoubleStep,   // 7, step {0, 1, 0.1}, "0.3"
  kRowCount
};

// Limits records, packed in the width of their row's type.
#pragma pack(push, 2)
struct I16Step { int16_t min, max, step; };
struct U16Range { uint16_t min, max; };
struct I32List { uint16_t n; int32_t values[3]; };
struct U32Mask { uint32_t mask; };
struct F32Step { float min, max, step; };
struct F64Range { double min, max; };
struct ChoiceGroup { int16_t group; };
struct F32List { uint16_t n; float values[3]; };
struct F64Step { double min, max, step; };
#pragma pack(pop)

inline const I16Step kIntLimits{0, 10, 2};
inline const U16Range kWordLimits{1, 5};
inline const I32List kLongLimits{3, {-7, 0, 100000}};
inline const U32Mask kDWordLimits{0x0F};
inline const F32Step kSingleLimits{0.0f, 1.0f, 0.25f};
inline const F64Range kDoubleLimits{-1.5, 2.5};
inline const ChoiceGroup kChoiceLimits{static_cast<int16_t>(kChoiceGroup)};
inline const F32List kSingleListLimits{3, {0.5f, 1.5f, 2.5f}};
inline const F64Step kDoubleStepLimits{0.0, 1.0, 0.1};

inline const char kListDefault[] = "0123456789abcdefghijklmn";  // 24 raw bytes

// The rows of the test table (their offsets are filled in by build_table).
inline std::vector<AP13_PARMENTRY> make_rows() {
  struct Spec {
    uint16_t type, size, limits;
    const char* default_text;
  };
  const Spec specs[kRowCount] = {
      {AP13_TYPE_BOOL, 2, AP13_LIMITS_FREE, "TRUE"},
      {AP13_TYPE_INT, 2, AP13_LIMITS_STEP, "4"},
      {AP13_TYPE_WORD, 2, AP13_LIMITS_RANGE, "1"},
      {AP13_TYPE_LONG, 4, AP13_LIMITS_LIST, "0"},
      {AP13_TYPE_DWORD, 4, AP13_LIMITS_MASK, "5"},
      {AP13_TYPE_SINGLE, 4, AP13_LIMITS_STEP, "0.5"},
      {AP13_TYPE_DOUBLE, 8, AP13_LIMITS_RANGE, "1.25"},
      {AP13_TYPE_STRING, 80, AP13_LIMITS_FREE, "hello"},
      {AP13_TYPE_PSTR, 16, AP13_LIMITS_FREE, "pascal"},
      {AP13_TYPE_ADDR, 4, AP13_LIMITS_FREE, "0"},
      {AP13_TYPE_WINID, 4, AP13_LIMITS_FREE, "0"},
      {AP13_TYPE_LLIST, 24, AP13_LIMITS_FREE, kListDefault},
      {AP13_TYPE_CARRAY, 6, AP13_LIMITS_NONE, "ABCDEF"},
      {AP13_TYPE_COLOR, 4, AP13_LIMITS_FREE, "255,0,0"},
      {AP13_TYPE_AP4ADDR, 4, AP13_LIMITS_FREE, "0"},
      {AP13_TYPE_STSTRARRAY, 4, AP13_LIMITS_FREE, "0"},
      {AP13_TYPE_GU3MEMFLOATADDR, 4, AP13_LIMITS_FREE, "0"},
      {AP13_TYPE_GU3MEMBOOLADDR, 4, AP13_LIMITS_FREE, "0"},
      {AP13_TYPE_GU3MEMWORDADDR, 4, AP13_LIMITS_FREE, "0"},
      {AP13_TYPE_GU3MEMLONGADDR, 4, AP13_LIMITS_FREE, "0"},
      {AP13_TYPE_OWNEDTEXT, 4, AP13_LIMITS_FREE, "owned"},
      {AP13_TYPE_GU3MEMDOUBLEADDR, 4, AP13_LIMITS_FREE, "0"},
      {AP13_TYPE_GU3MEMDWORDADDR, 4, AP13_LIMITS_FREE, "0"},
      {AP13_TYPE_WORD, 2, AP13_LIMITS_CHOICE, "2"},
      {AP13_TYPE_SINGLE, 4, AP13_LIMITS_LIST, "1.5"},
      {AP13_TYPE_LONG, 4, AP13_LIMITS_NONE, "-3"},
      {AP13_TYPE_DOUBLE, 8, AP13_LIMITS_STEP, "0.3"},
  };
  std::vector<AP13_PARMENTRY> rows;
  for (uint16_t i = 0; i < kRowCount; ++i)
    rows.push_back(AP13_PARMENTRY{i, specs[i].type, specs[i].size, specs[i].limits, 0, specs[i].default_text});
  return rows;
}

inline const void* limits_of(uint16_t row) {
  switch (row) {
    case kInt: return &kIntLimits;
    case kWord: return &kWordLimits;
    case kLong: return &kLongLimits;
    case kDWord: return &kDWordLimits;
    case kSingle: return &kSingleLimits;
    case kDouble: return &kDoubleLimits;
    case kChoice: return &kChoiceLimits;
    case kSingleList: return &kSingleListLimits;
    case kDoubleStep: return &kDoubleStepLimits;
    default: return nullptr;
  }
}

// A class's table as its initialisation builds it: the head, a limits
// reference per row and the closing 0; the offsets are the running sum of
// the sizes.
struct TableBlock {
  std::vector<AP13_PARMENTRY> rows;
  std::vector<uint8_t> bytes;
  AP13_PARMTABLE* table() { return reinterpret_cast<AP13_PARMTABLE*>(bytes.data()); }
};

inline void build_table(TableBlock& block, uint16_t name_group, std::vector<AP13_PARMENTRY> rows,
                        const std::vector<const void*>& limits) {
  block.rows = std::move(rows);
  const uint16_t count = static_cast<uint16_t>(block.rows.size());
  uint16_t offset = 0;
  for (AP13_PARMENTRY& row : block.rows) {
    row.offset = offset;
    offset = static_cast<uint16_t>(offset + row.size);
  }
  block.bytes.assign(AP13_TableBytes(count), 0);
  AP13_PARMTABLE* table = block.table();
  table->row_bytes = static_cast<uint16_t>(count * sizeof(AP13_PARMENTRY));
  table->data_size = offset;
  table->one = 1;
  table->name_group = name_group;
  table->count = count;
  table->rows = block.rows.data();
  for (uint16_t i = 0; i < count; ++i) AP13_TableLimits(table)[i] = i < limits.size() ? limits[i] : nullptr;
}

// The test table: a row of every type code and every limits kind.
inline void build_table(TableBlock& block, uint16_t name_group) {
  std::vector<const void*> limits;
  for (uint16_t i = 0; i < kRowCount; ++i) limits.push_back(limits_of(i));
  build_table(block, name_group, make_rows(), limits);
}

// The parameter-set object of a test class: its class id, its PARAMS part,
// then its data block, as large as its class's table says.
inline uint32_t data_size() {
  uint32_t size = 0;
  for (const AP13_PARMENTRY& row : make_rows()) size += row.size;
  return size;
}

inline uint8_t* data_of(AP13_CHILD* object) { return reinterpret_cast<uint8_t*>(object) + sizeof(AP13_CHILD); }

inline AP13_PARAMS* part_of(void* object) { return static_cast<AP13_CHILD*>(object)->params; }

inline uint32_t set_dispatcher(void* object, uint16_t message, void* parameter) {
  switch (message) {
    case AP_MSG_CREATE: {
      const uint16_t class_id = *static_cast<const uint16_t*>(object);
      const auto* table = static_cast<const AP13_PARMTABLE*>(APX_GetClassTable()->classes[class_id].class_data);
      auto* made = static_cast<AP13_CHILD*>(std::calloc(1, sizeof(AP13_CHILD) + table->data_size));
      made->class_id = class_id;
      made->params = ap13_Create_PARAMS(AP13_CLASS_ID, class_id, reinterpret_cast<AP_OBJECT*>(made), data_of(made));
      if (made->params == nullptr) {
        std::free(made);
        return 0;
      }
      return ap_object_result(made);
    }
    case AP_MSG_NEW: return AP13_Dispatcher_PARAMS(object, message, parameter);
    case AP_MSG_DESTROY: {
      const uint32_t result = AP13_Dispatcher_PARAMS(part_of(object), message, parameter);
      if (result == AP_DESTROYED) std::free(object);
      return result;
    }
    case AP_MSG_COPY: {
      auto* copy = static_cast<AP_COPYPARM*>(parameter);
      AP_COPYPARM to_part{reinterpret_cast<AP_OBJECT*>(part_of(copy->target)), copy->window};
      return AP13_Dispatcher_PARAMS(part_of(object), message, &to_part);
    }
    default: return AP13_Dispatcher_PARAMS(part_of(object), message, parameter);
  }
}

// Registers a test class over a table: its class data, parent 13 and dispatcher.
inline void register_set_class(uint16_t class_id, TableBlock& block) {
  APX_CLASSREC& record = APX_GetClassTable()->classes[class_id];
  record.class_data = block.table();
  record.state = 1;
  APX_SetClassParentID(class_id, AP13_CLASS_ID);
  GU2_ImmedSetDispatcher(class_id, set_dispatcher);
}

// A stand-in array of rows x columns floats: it answers its extent (message
// 36) and the address of its data (message 101), and counts its change
// brackets.
#pragma pack(push, 2)
struct ArrayParm {
  int32_t start_row, start_column, end_row, end_column;
  uint32_t* extent;
};
#pragma pack(pop)
struct StubArray {
  uint16_t class_id = kArrayClass;
  uint32_t rows = 0;
  uint32_t columns = 0;
  std::vector<float> values;
  int begun = 0;
  int ended = 0;
};

inline uint32_t array_dispatcher(void* object, uint16_t message, void* parameter) {
  auto* array = static_cast<StubArray*>(object);
  switch (message) {
    case 36: {
      auto* range = static_cast<ArrayParm*>(parameter);
      range->extent[0] = array->rows;
      range->extent[1] = array->columns;
      return 1;
    }
    case 101: return array->values.empty() ? 0 : ap_object_result(array->values.data());
    case AP_MSG_BEGIN_CHANGE: return static_cast<uint32_t>(++array->begun);
    case AP_MSG_END_CHANGE: return static_cast<uint32_t>(++array->ended);
    default: return 0;
  }
}

// A stand-in text object: message 36 appends a line, refusing from a given
// line on; message 5 is recorded.
struct StubText {
  uint16_t class_id = kTextClass;
  std::vector<std::string> lines;
  size_t refuse_from = SIZE_MAX;
  int destroyed = 0;
};

inline uint32_t text_dispatcher(void* object, uint16_t message, void* parameter) {
  auto* text = static_cast<StubText*>(object);
  switch (message) {
    case 36:
      if (text->lines.size() >= text->refuse_from) return 0;
      text->lines.emplace_back(static_cast<const char*>(parameter));
      return 1;
    case AP_MSG_DESTROY: ++text->destroyed; return 1;
    default: return 0;
  }
}

// A memory block of the memory manager holding these elements.
template <typename T>
GU3_HANDLE held(const std::vector<T>& elements) {
  GU3_HANDLE handle = GU3_Allocate_MM(static_cast<uint32_t>(elements.size()), sizeof(T), GU3_KIND_GLOBAL);
  std::memcpy(GU3_GetPointer_MM(handle, 0, nullptr, nullptr), elements.data(), elements.size() * sizeof(T));
  return handle;
}

// A string-array block: u16 count, u16 total characters, the terminated strings.
inline GU3_HANDLE held_strings(const std::vector<std::string>& strings) {
  std::string bytes(4, '\0');
  uint16_t total = 0;
  for (const std::string& s : strings) {
    bytes += s;
    bytes += '\0';
    total = static_cast<uint16_t>(total + s.size());
  }
  const uint16_t head[2] = {static_cast<uint16_t>(strings.size()), total};
  std::memcpy(bytes.data(), head, sizeof head);
  return held(std::vector<char>(bytes.begin(), bytes.end()));
}

template <typename T>
std::string bytes_of(T value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

// The library loaded, the test class registered with its table (class data
// of its record, parent 13), the stand-ins installed and the texts of its
// names, title, choices and the not-given text in a resource module.
class ParamsTest : public LoadedLibrary {
 protected:
  void SetUp() override {
    LoadedLibrary::SetUp();
    // Numbers in the fixed notation, whatever a WIN.INI left by another test says.
    GUX_SetInternationalChar('.', GUX_DECIMAL);
    GUX_SetInternationalChar(',', GUX_THOUSANDS);
    build_table(table_, kNameGroup);
    register_set_class(kSetClass, table_);
  }

  void TearDown() override {
    for (HWND window : windows_) platform::destroy_window(window);
    while (HINSTANCE instance = GU4_GetResourceInstance(0)) GU4_RemoveDLLInst(instance);
    GUX_SetInternationalChar('.', GUX_DECIMAL);
    GUX_SetInternationalChar(',', GUX_THOUSANDS);
    LoadedLibrary::TearDown();
  }

  // The names, the class title and the choice texts; the not-given text
  // only when asked, so that the library's own stands in otherwise.
  static void add_texts(bool with_not_given = true) {
    std::vector<utiltest::Record> names;
    const char* labels[kRowCount] = {"Flag",     "Count",    "Level",   "Offset",  "Bits",      "Fraction", "Ratio",
                                     "Title",    "Short",    "Address", "Window",  "List",      "Bytes",    "Colour",
                                     "Array",    "Strings",  "Floats",  "Bools",   "Words",     "Longs",    "Owned",
                                     "Doubles",  "DWords",   "Mode",    "Gain",    "Fixed",     "Tenths"};
    for (uint16_t i = 0; i < kRowCount; ++i) names.push_back({i, labels[i], 0});
    utiltest::ModuleBuilder builder;
    builder.group(kNameGroup, names)
        .group(AP13_GROUP_CLASS_TITLES, {{0, "Parameters", 0}, {kSetClass, "Test Set", 0}})
        .group(kChoiceGroup, {{1, "One", 0}, {2, "Two", 0}, {3, "Three", 0}});
    if (with_not_given) builder.group(AP13_GROUP_NOT_GIVEN, {{0, kNotGiven, 0}});
    utiltest::add_resource_module(with_not_given ? "params_texts.dll" : "params_names.dll", builder);
  }

  // The stand-ins in place of the array and text classes, for this test.
  static void use_stand_ins() {
    GU2_ImmedSetDispatcher(kArrayClass, array_dispatcher);
    GU2_ImmedSetDispatcher(kTextClass, text_dispatcher);
  }

  // A new object of the test class, made and initialised as every caller
  // makes one.
  static AP13_CHILD* make(HWND window = nullptr, uint16_t class_id = kSetClass) {
    AP_NEWPARM parameter{class_id, window};
    return ap_result_object<AP13_CHILD>(GU2_DoMethod_MSG(AP_MSG_NEW, &class_id, &parameter));
  }
  static uint32_t destroy(void* object, HWND window = nullptr) {
    AP_WINDOWPARM parameter{window, 0};
    return GU2_DoMethod_MSG(AP_MSG_DESTROY, object, &parameter);
  }
  static uint32_t send(uint16_t message, void* object, void* parameter = nullptr) {
    return GU2_DoMethod_MSG(message, object, parameter);
  }
  static uint32_t get(void* object, uint16_t index, void* value) {
    GU2_PARMVALUE parameter{index, value, 0};
    return send(GU2_MSG_GET_PARM_VALUE, object, &parameter);
  }
  static uint32_t set(void* object, uint16_t index, const void* value, uint16_t force = 0) {
    GU2_PARMVALUE parameter{index, const_cast<void*>(value), force};
    return send(GU2_MSG_SET_PARM_VALUE, object, &parameter);
  }
  static uint32_t get_text(void* object, uint16_t index, char* buffer, uint16_t size, uint16_t precision) {
    GU2_PARMSTR parameter{index, size, precision, buffer};
    return send(GU2_MSG_GET_PARM_STR, object, &parameter);
  }
  static uint32_t set_text(void* object, uint16_t index, const char* text, uint16_t force = 0) {
    GU2_PARMSTRSET parameter{index, text, force};
    return send(GU2_MSG_SET_PARM_STR, object, &parameter);
  }
  // The free-form text of a value, or "<failed>".
  static std::string text_of(void* object, uint16_t index) {
    char buffer[AP13_LARGEST_VALUE + 1] = {};
    return get_text(object, index, buffer, sizeof buffer, 0xFFFF) == 1 ? std::string(buffer) : "<failed>";
  }
  // The stored bytes of a value.
  static std::string stored(AP13_CHILD* object, uint16_t index) {
    const AP13_PARMENTRY& row = object->params->table->rows[index];
    return std::string(reinterpret_cast<const char*>(data_of(object) + row.offset), row.size);
  }
  template <typename T>
  static void put(AP13_CHILD* object, uint16_t index, T value) {
    std::memcpy(data_of(object) + object->params->table->rows[index].offset, &value, sizeof value);
  }

  // A file object on a file under the test's home folder, open in the mode
  // given (4113 creates, 32 reads); destroyed, and so closed, by close().
  static AP20_FILE* open_file(const std::string& name, uint16_t mode) {
    const std::string path = testsupport::home() + "/" + name;
    uint16_t class_id = AP20_CLASS_ID;
    AP_NEWPARM fresh{AP20_CLASS_ID, nullptr};
    auto* file = ap_result_object<AP20_FILE>(GU2_DoMethod_MSG(AP_MSG_NEW, &class_id, &fresh));
    AP20_NAMEPARM naming{nullptr, path.c_str()};
    AP20_OPENPARM open{mode, 0, 0};
    EXPECT_EQ(send(AP20_MSG_SET_NAME, file, &naming), 1u);
    EXPECT_EQ(send(AP20_MSG_OPEN, file, &open), 1u) << path;
    return file;
  }
  static void close(AP20_FILE* file) { destroy(file); }
  static std::string file_bytes(const std::string& name) {
    return testsupport::read_file(testsupport::home() + "/" + name);
  }

  HWND window(std::vector<std::pair<UINT, WPARAM>>* received) {
    HWND made = platform::create_window([received](HWND, UINT message, WPARAM wparam, LPARAM) {
      received->emplace_back(message, wparam);
      return LRESULT{0};
    });
    windows_.push_back(made);
    return made;
  }

  TableBlock table_;
  std::vector<HWND> windows_;
};

// The test class's fixture with one object of it, made and destroyed
// around each test.
class ParamSet : public ParamsTest {
 protected:
  void SetUp() override {
    ParamsTest::SetUp();
    object_ = make();
    ASSERT_NE(object_, nullptr);
  }
  void TearDown() override {
    destroy(object_);
    ParamsTest::TearDown();
  }
  AP13_CHILD* object_ = nullptr;
};

}  // namespace paramstest
