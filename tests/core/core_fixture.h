// Fixtures for the object core's tests. Every test leaves the process-wide
// state as it found it (framework, registration, list heap, memory manager,
// dispatcher and class tables, windows' queue, message boxes, locale), so
// the test binary also passes when it runs whole in one process.
#pragma once
#include <clocale>
#include <cstring>

#include <gtest/gtest.h>

#include "core/core.h"
#include "platform/user.h"

// A copy of a field of a packed record. The checks take their arguments by
// reference, and a reference to a 32-bit field at a 2-byte boundary is not
// allowed.
template <typename T>
T packed(T field) {
  return field;
}

class CoreTest : public testing::Test {
 protected:
  static GU3_HANDLE root_instance_heap() { return APX_GetClassTable()->classes[AP2_CLASS_ID].instance_heap; }

  void TearDown() override {
    while (APX_UnRegister() != 0) {
    }
    GU1_UnRegister_LL();
    apcom_UnregisterClasses();
    GU3_Unregister();
    for (uint16_t class_id = 1; class_id <= AP_CLASS_LIMIT; ++class_id) GU2_ImmedSetDispatcher(class_id, nullptr);
    std::memset(APX_GetClassTable(), 0, sizeof(APX_CLASSTABLE));
    platform::pump_messages();
    platform::clear_message_boxes();
    std::setlocale(LC_ALL, "C");
  }
};

// The library as its shared module's start-up leaves it: classes registered,
// then the main list heap.
class LoadedLibrary : public CoreTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(apcom_RegisterClasses(apcom_LibraryModule()), 1);
    ASSERT_EQ(GU1_Register_LL(), 1);
  }
};
