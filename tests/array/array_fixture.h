// Fixtures for the ARRAY class's tests: the library loaded, arrays made and
// read back without the operations under test, an object that counts the
// change notices an array sends, and a cap on the process's address space
// under which a large block cannot be had.
#pragma once
#include <sys/resource.h>

#include <cstdio>
#include <vector>

#include <gtest/gtest.h>

#include "array/array.h"
#include "core/core_fixture.h"

// A dependent object of a test class that counts the change notices (1002)
// it hears through message 24, and keeps the copy that a notice 1004 names.
constexpr uint16_t kNoticeCounterClass = 201;
struct NoticeCounter {
  uint16_t class_id = kNoticeCounterClass;
  int changes = 0;
  AP_OBJECT* copy = nullptr;
};

inline uint32_t notice_counter_dispatcher(void* object, uint16_t message, void* parameter) {
  if (message != AP_MSG_NOTIFY) return 0;
  auto* counter = static_cast<NoticeCounter*>(object);
  const auto* notice = static_cast<const AP_NOTIFYPARM*>(parameter);
  if (notice->notice == AP_NOTICE_CHANGED) ++counter->changes;
  if (notice->notice == AP_NOTICE_COPIED) counter->copy = notice->copy;
  return 1;
}

class ArrayTest : public LoadedLibrary {
 protected:
  void SetUp() override {
    LoadedLibrary::SetUp();
    GU2_ImmedSetDispatcher(kNoticeCounterClass, notice_counter_dispatcher);
  }

  static uint32_t send(uint16_t message, void* object, void* parameter = nullptr) {
    return GU2_DoMethod_MSG(message, object, parameter);
  }

  // A new array as callers make one: message 4 to a pointer to the class id.
  static AP4_ARRAY* make(uint32_t rows, uint32_t columns) {
    uint16_t class_id = AP4_CLASS_ID;
    AP4_NEWPARM parameter{nullptr, rows, columns};
    return ap_result_object<AP4_ARRAY>(send(AP_MSG_NEW, &class_id, &parameter));
  }

  // The value every filled array holds at (row, column): unique and not 0.
  static float cell_value(uint32_t row, uint32_t column) { return static_cast<float>(100 * row + column + 1); }

  // A new array whose cells hold cell_value, written straight into its block.
  static AP4_ARRAY* make_filled(uint32_t rows, uint32_t columns) {
    AP4_ARRAY* array = make(rows, columns);
    auto* data = static_cast<float*>(GU3_GetPointer_MM(array->data, 0, nullptr, nullptr));
    for (uint32_t r = 0; r < rows; ++r)
      for (uint32_t c = 0; c < columns; ++c) data[r * columns + c] = cell_value(r, c);
    return array;
  }

  // The values of an array, row-major, read straight from its block.
  static std::vector<float> values(const AP4_ARRAY* array) {
    const uint32_t count = array->rows * array->columns;
    if (count == 0) return {};
    const auto* data = static_cast<const float*>(GU3_GetPointer_MM(array->data, 0, nullptr, nullptr));
    return std::vector<float>(data, data + count);
  }

  static uint32_t destroy(AP4_ARRAY* array, HWND window = nullptr) {
    AP_WINDOWPARM parameter{window, 0};
    return send(AP_MSG_DESTROY, array, &parameter);
  }

  // Makes `counter` a dependent of the array, so that it counts its changes.
  static void watch(AP4_ARRAY* array, NoticeCounter& counter) {
    AP_DEPENDENTOBJECTPARM parameter{reinterpret_cast<AP_OBJECT*>(&counter), 1002};
    ASSERT_EQ(send(AP_MSG_ADD_DEPENDENT_OBJECT, array, &parameter), 1u);
  }

  static const APX_CLASSREC& array_class() { return APX_GetClassTable()->classes[AP4_CLASS_ID]; }
};

// Caps the process's address space a little above what it uses now, so that
// a block of some tens of megabytes cannot be had until the cap is lifted.
class AddressSpaceCap {
 public:
  AddressSpaceCap() {
    getrlimit(RLIMIT_AS, &saved_);
    unsigned long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
      if (std::fscanf(statm, "%lu", &pages) != 1) pages = 0;
      std::fclose(statm);
    }
    rlimit capped = saved_;
    capped.rlim_cur = static_cast<rlim_t>(pages) * 4096 + (16u << 20);
    active_ = pages != 0 && setrlimit(RLIMIT_AS, &capped) == 0;
  }
  ~AddressSpaceCap() { setrlimit(RLIMIT_AS, &saved_); }
  AddressSpaceCap(const AddressSpaceCap&) = delete;
  AddressSpaceCap& operator=(const AddressSpaceCap&) = delete;
  bool active() const { return active_; }

  // More than the cap leaves room for.
  static constexpr uint32_t kUnobtainableFloats = 16u << 20;

 private:
  rlimit saved_{};
  bool active_ = false;
};
