// Shared set-up of the quality-check tests: settings (SQ) and results (SQR)
// objects made as callers make them, typed access to their parameters, and
// the host objects the checks are handed (collection settings, bench
// parameters, instrument description, filter settings), which this system
// does not provide: here one small parameter-set class whose instrument
// messages 89 and 90 answer the code they are given.
#pragma once
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "files/files.h"
#include "processing/processing_fixture.h"
#include "support/test_home.h"

namespace qualitytest {

using spectrumtest::send;

constexpr uint16_t kHostClass = 200;
constexpr uint16_t kHostRows = 50;

#pragma pack(push, 2)
struct HostObject {
  uint16_t class_id;
  AP13_PARAMS* params;
  uint8_t data[4 * kHostRows];
};
#pragma pack(pop)

inline uint32_t host_dispatcher(void* object, uint16_t message, void* parameter) {
  auto* host = static_cast<HostObject*>(object);
  switch (message) {
    case AP120_MSG_INSTRUMENT_BEAM_SPLITTER:
    case AP120_MSG_INSTRUMENT_DETECTOR: return *static_cast<const uint32_t*>(parameter);
    default: return AP13_Dispatcher_PARAMS(host->params, message, parameter);
  }
}

// Rows of the host class: f32 where the checks read a float, u16 for the
// halving flag, u32 elsewhere.
inline std::vector<AP13_PARMENTRY>& host_rows() {
  static std::vector<AP13_PARMENTRY> rows;
  if (rows.empty()) {
    uint16_t offset = 0;
    for (uint16_t n = 0; n < kHostRows; ++n) {
      const bool real = n == 0 || n == 8 || n == 9 || n == 10 || n == 17 || n == 29 || n == 30;
      const uint16_t size = n == 42 ? 2 : 4;
      const uint16_t type = real ? AP13_TYPE_SINGLE : n == 42 ? AP13_TYPE_WORD : AP13_TYPE_DWORD;
      rows.push_back({n, type, size, AP13_LIMITS_FREE, offset, "0"});
      offset = static_cast<uint16_t>(offset + size);
    }
  }
  return rows;
}

inline std::vector<uint8_t>& host_table() {
  static std::vector<uint8_t> table(AP13_TableBytes(kHostRows), 0);
  auto* head = reinterpret_cast<AP13_PARMTABLE*>(table.data());
  head->data_size = 4 * kHostRows - 2;
  head->one = 1;
  head->count = kHostRows;
  head->rows = host_rows().data();
  return table;
}

template <typename T>
T get(void* object, uint16_t number) {
  uint8_t buffer[AP13_LARGEST_VALUE + 4] = {};
  GU2_PARMVALUE block{number, buffer, 0};
  EXPECT_EQ(send(GU2_MSG_GET_PARM_VALUE, object, &block), 1u) << "parameter " << number;
  T value;
  std::memcpy(&value, buffer, sizeof value);
  return value;
}

inline std::string text(void* object, uint16_t number) {
  char buffer[AP13_LARGEST_VALUE + 4] = {};
  GU2_PARMVALUE block{number, buffer, 0};
  EXPECT_EQ(send(GU2_MSG_GET_PARM_VALUE, object, &block), 1u) << "parameter " << number;
  return buffer;
}

template <typename T>
void set(void* object, uint16_t number, T value) {
  GU2_PARMVALUE block{number, &value, 1};
  ASSERT_EQ(send(GU2_MSG_SET_PARM_VALUE, object, &block), 1u) << "parameter " << number;
}

inline void set_text(void* object, uint16_t number, const std::string& value) {
  GU2_PARMVALUE block{number, const_cast<char*>(value.c_str()), 1};
  ASSERT_EQ(send(GU2_MSG_SET_PARM_VALUE, object, &block), 1u) << "parameter " << number;
}

inline void* as_parameter(uint32_t bits) { return reinterpret_cast<void*>(static_cast<uintptr_t>(bits)); }

// One row of a class's parameter table as the record lays it out.
struct Row {
  uint16_t type;
  uint16_t size;
  uint16_t offset;
  const char* default_text;
};

constexpr uint16_t B = AP13_TYPE_BOOL, W = AP13_TYPE_WORD, F = AP13_TYPE_SINGLE, T = AP13_TYPE_STRING,
                   A = AP13_TYPE_ADDR;

// The class's table: its descriptor words and every row, numbered in order,
// without limits.
inline void expect_class_table(uint16_t class_id, uint16_t tag, uint32_t data_size, uint16_t name_group,
                               const Row* expected, uint16_t count) {
  const auto* table = static_cast<const AP13_PARMTABLE*>(APX_GetClassTable()->classes[class_id].class_data);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(packed(table->row_bytes), tag);
  EXPECT_EQ(packed(table->data_size), data_size);
  EXPECT_EQ(packed(table->one), 1u);
  EXPECT_EQ(packed(table->name_group), name_group);
  EXPECT_EQ(packed(table->count), count);
  const AP13_PARMENTRY* rows = packed(table->rows);
  for (uint16_t n = 0; n < count; ++n) {
    const AP13_PARMENTRY row = rows[n];
    EXPECT_EQ(row.number, n);
    EXPECT_EQ(row.type, expected[n].type) << n;
    EXPECT_EQ(row.size, expected[n].size) << n;
    EXPECT_EQ(row.offset, expected[n].offset) << n;
    EXPECT_EQ(row.limits, AP13_LIMITS_FREE) << n;
    EXPECT_STREQ(row.default_text, expected[n].default_text) << n;
    EXPECT_EQ(AP13_TableLimits(table)[n], nullptr) << n;
  }
}

}  // namespace qualitytest

class QualityTest : public ProcessingTest {
 protected:
  void SetUp() override {
    ProcessingTest::SetUp();
    APX_GetClassTable()->classes[qualitytest::kHostClass].class_data = qualitytest::host_table().data();
    GU2_ImmedSetDispatcher(qualitytest::kHostClass, qualitytest::host_dispatcher);
  }
  void TearDown() override {
    for (void* object : objects_) spectrumtest::destroy(object);
    for (qualitytest::HostObject* host : hosts_) {
      ap13_Destroy_PARAMS(host->params, nullptr);
      delete host;
    }
    ProcessingTest::TearDown();
  }

  template <typename T>
  T* make(uint16_t class_id) {
    AP_NEWPARM block{class_id, nullptr};
    auto* object = ap_result_object<T>(spectrumtest::send(AP_MSG_NEW, &class_id, &block));
    if (object != nullptr) objects_.push_back(object);
    return object;
  }
  AP120_SQ* make_sq() { return make<AP120_SQ>(AP120_CLASS_ID); }
  AP121_SQR* make_sqr() { return make<AP121_SQR>(AP121_CLASS_ID); }
  // Destroyed at the end of the test, unless destroyed before with forget().
  void forget(void* object) { objects_.erase(std::remove(objects_.begin(), objects_.end(), object), objects_.end()); }

  AP_OBJECT* make_host() {
    auto* host = new qualitytest::HostObject{};
    host->class_id = qualitytest::kHostClass;
    host->params = ap13_Create_PARAMS(AP13_CLASS_ID, qualitytest::kHostClass, reinterpret_cast<AP_OBJECT*>(host),
                                      host->data);
    hosts_.push_back(host);
    return reinterpret_cast<AP_OBJECT*>(host);
  }

  // A file object opened on a file of the test's home folder.
  static AP20_FILE* open_file(const std::string& name, uint16_t mode) {
    uint16_t class_id = AP20_CLASS_ID;
    AP_NEWPARM fresh{AP20_CLASS_ID, nullptr};
    auto* file = ap_result_object<AP20_FILE>(spectrumtest::send(AP_MSG_NEW, &class_id, &fresh));
    const std::string path = testsupport::home() + "/" + name;
    AP20_NAMEPARM naming{nullptr, path.c_str()};
    spectrumtest::send(AP20_MSG_SET_NAME, file, &naming);
    AP20_OPENPARM open{mode, 0, 0};
    EXPECT_EQ(spectrumtest::send(AP20_MSG_OPEN, file, &open), 1u);
    return file;
  }
  // The bytes an object writes to a stream.
  static std::string write_stream(void* object) {
    AP20_FILE* file = open_file("stream.bin", AP20_MODE_CREATE);
    EXPECT_EQ(spectrumtest::send(AP_MSG_WRITE, object, file), 1u);
    spectrumtest::send(AP20_MSG_CLOSE, file);
    spectrumtest::destroy(file);
    return testsupport::read_file(testsupport::home() + "/stream.bin");
  }
  // The object read from the bytes: a new one of the class (create) or the
  // given one; null when the read is refused.
  void* read_stream(uint16_t class_id, const std::string& bytes, void* into = nullptr) {
    testsupport::write_file("read.bin", bytes);
    AP20_FILE* file = open_file("read.bin", AP20_MODE_READ);
    AP_READPARM block{reinterpret_cast<AP_OBJECT*>(file), static_cast<uint16_t>(into == nullptr ? 1 : 0)};
    void* object = ap_result_object<void>(spectrumtest::send(AP_MSG_READ, into != nullptr ? into : &class_id, &block));
    spectrumtest::destroy(file);
    if (object != nullptr && into == nullptr) objects_.push_back(object);
    return object;
  }
  static uint16_t live(uint16_t class_id) { return APX_GetClassTable()->classes[class_id].live; }

  static uint32_t word(AP121_SQR* result, uint16_t number) { return qualitytest::get<uint32_t>(result, number); }
  static uint16_t level(AP121_SQR* result) { return qualitytest::get<uint16_t>(result, AP121_LEVEL); }

 private:
  std::vector<void*> objects_;
  std::vector<qualitytest::HostObject*> hosts_;
};
