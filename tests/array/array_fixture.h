// Fixtures for the ARRAY class's tests: arrays made and read back without
// the operations under test, an object that counts the change notices an
// array sends, a cap on the process's address space under which a large
// block cannot be had, a cap on the size of the files it writes, and the fixture with the library loaded. The helpers
// are free functions so that fixtures built on other classes' fixtures (the
// file objects') use them too.
#pragma once
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

#include "array/array.h"
#include "core/core_fixture.h"

namespace arraytest {

inline uint32_t send(uint16_t message, void* object, void* parameter = nullptr) {
  return GU2_DoMethod_MSG(message, object, parameter);
}

// A new array as callers make one: message 4 to a pointer to the class id.
inline AP4_ARRAY* make(uint32_t rows, uint32_t columns) {
  uint16_t class_id = AP4_CLASS_ID;
  AP4_NEWPARM parameter{nullptr, rows, columns};
  return ap_result_object<AP4_ARRAY>(send(AP_MSG_NEW, &class_id, &parameter));
}

// The value every filled array holds at (row, column): unique and not 0.
inline float cell_value(uint32_t row, uint32_t column) { return static_cast<float>(100 * row + column + 1); }

// A new array whose cells hold cell_value, written straight into its block.
inline AP4_ARRAY* make_filled(uint32_t rows, uint32_t columns) {
  AP4_ARRAY* array = make(rows, columns);
  auto* data = static_cast<float*>(GU3_GetPointer_MM(array->data, 0, nullptr, nullptr));
  for (uint32_t r = 0; r < rows; ++r)
    for (uint32_t c = 0; c < columns; ++c) data[r * columns + c] = cell_value(r, c);
  return array;
}

// The values of an array, row-major, read straight from its block.
inline std::vector<float> values(const AP4_ARRAY* array) {
  const uint32_t count = array->rows * array->columns;
  if (count == 0) return {};
  const auto* data = static_cast<const float*>(GU3_GetPointer_MM(array->data, 0, nullptr, nullptr));
  return std::vector<float>(data, data + count);
}

using Grid = std::vector<std::vector<float>>;

// The cells of an array as rows.
inline Grid grid_of(const AP4_ARRAY* array) {
  const std::vector<float> flat = values(array);
  Grid grid(array->rows, std::vector<float>(array->columns));
  for (uint32_t r = 0; r < array->rows; ++r)
    for (uint32_t c = 0; c < array->columns; ++c) grid[r][c] = flat[r * array->columns + c];
  return grid;
}

// The cells of make_filled's arrays.
inline Grid filled_grid(uint32_t rows, uint32_t columns) {
  Grid grid(rows, std::vector<float>(columns));
  for (uint32_t r = 0; r < rows; ++r)
    for (uint32_t c = 0; c < columns; ++c) grid[r][c] = cell_value(r, c);
  return grid;
}

inline uint32_t destroy(AP4_ARRAY* array, HWND window = nullptr) {
  AP_WINDOWPARM parameter{window, 0};
  return send(AP_MSG_DESTROY, array, &parameter);
}

inline const APX_CLASSREC& array_class() { return APX_GetClassTable()->classes[AP4_CLASS_ID]; }
inline const APX_CLASSREC& root_class() { return APX_GetClassTable()->classes[AP2_CLASS_ID]; }

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

// Counters hear their notices once this is installed.
inline void install_notice_counters() { GU2_ImmedSetDispatcher(kNoticeCounterClass, notice_counter_dispatcher); }

// Makes `counter` a dependent of the array, so that it counts its changes.
inline void watch(AP4_ARRAY* array, NoticeCounter& counter) {
  AP_DEPENDENTOBJECTPARM parameter{reinterpret_cast<AP_OBJECT*>(&counter), AP2_KIND_NOTIFY_CHANGE};
  ASSERT_EQ(send(AP_MSG_ADD_DEPENDENT_OBJECT, array, &parameter), 1u);
}

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
    // Under user-mode emulation the limit is taken but not enforced.
    if (active_) {
      void* beyond = std::malloc(kUnobtainableFloats * sizeof(float));
      active_ = beyond == nullptr;
      std::free(beyond);
    }
  }
  ~AddressSpaceCap() { setrlimit(RLIMIT_AS, &saved_); }
  AddressSpaceCap(const AddressSpaceCap&) = delete;
  AddressSpaceCap& operator=(const AddressSpaceCap&) = delete;
  bool active() const { return active_; }
  // Whether this process can be capped at all; tests skip where it cannot.
  static bool enforced() { return AddressSpaceCap().active(); }

  // More than the cap leaves room for.
  static constexpr uint32_t kUnobtainableFloats = 16u << 20;

 private:
  rlimit saved_{};
  bool active_ = false;
};

// Lowers the largest file the process may write, so that a write stops
// short; the signal that would end the process is ignored meanwhile.
class FileSizeCap {
 public:
  explicit FileSizeCap(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = signal(SIGXFSZ, SIG_IGN);
    rlimit capped = saved_;
    capped.rlim_cur = bytes;
    active_ = setrlimit(RLIMIT_FSIZE, &capped) == 0;
  }
  ~FileSizeCap() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, previous_);
  }
  FileSizeCap(const FileSizeCap&) = delete;
  FileSizeCap& operator=(const FileSizeCap&) = delete;
  bool active() const { return active_; }

 private:
  rlimit saved_{};
  void (*previous_)(int) = nullptr;
  bool active_ = false;
};

}  // namespace arraytest

class ArrayTest : public LoadedLibrary {
 protected:
  void SetUp() override {
    LoadedLibrary::SetUp();
    arraytest::install_notice_counters();
  }
};
