// A fixture for tests of accessory classes: the library loaded, messages sent
// as every caller sends them, and windows that record the notices their
// objects send them.
#pragma once
#include <vector>

#include <gtest/gtest.h>

#include "core/core.h"
#include "core/core_fixture.h"
#include "platform/user.h"

class ObjectTest : public LoadedLibrary {
 protected:
  struct Notice {
    HWND window;
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
  };

  void TearDown() override {
    for (HWND window : windows_) platform::destroy_window(window);
    LoadedLibrary::TearDown();
  }

  static uint32_t send(uint16_t message, void* object, void* parameter = nullptr) {
    return GU2_DoMethod_MSG(message, object, parameter);
  }
  // A new object of the class, made as callers make one: message 4 sent to a
  // pointer to the class id with the class's block {window, word}.
  template <typename T>
  static T* make(uint16_t class_id, HWND window = nullptr, uint16_t word = 0) {
    AP_WINDOWPARM parameter{window, word};
    return ap_result_object<T>(send(AP_MSG_NEW, &class_id, &parameter));
  }
  static uint32_t destroy(void* object, HWND window = nullptr, uint16_t flag = 0) {
    AP_WINDOWPARM parameter{window, flag};
    return send(AP_MSG_DESTROY, object, &parameter);
  }
  static uint32_t add_window(void* object, HWND window, uint16_t kind) {
    AP_DEPENDENTWINDOWPARM parameter{window, kind};
    return send(AP_MSG_ADD_DEPENDENT_WINDOW, object, &parameter);
  }
  static const APX_CLASSREC& class_record(uint16_t class_id) { return APX_GetClassTable()->classes[class_id]; }

  // A window that records every message it gets.
  HWND window() {
    HWND made = platform::create_window([this](HWND to, UINT message, WPARAM wparam, LPARAM lparam) {
      notices_.push_back(Notice{to, message, wparam, lparam});
      return LRESULT{0};
    });
    windows_.push_back(made);
    return made;
  }
  // The wParams of the notices 1002 the window got, in order.
  std::vector<WPARAM> change_words(HWND to) const {
    std::vector<WPARAM> words;
    for (const Notice& notice : notices_) {
      if (notice.window == to && notice.message == AP_NOTICE_CHANGED) words.push_back(notice.wparam);
    }
    return words;
  }

  std::vector<HWND> windows_;
  std::vector<Notice> notices_;
};
