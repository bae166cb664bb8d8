// Shared set-up of the spectral header and history-bit tests: the library
// loaded with its classes, a resource module with the association texts the
// header reads (unit codes, description labels, detectors, beam splitters,
// sources, the not-given text), and helpers that make headers and send them
// messages. TearDown returns the resource table, the international
// characters and the configuration to their state at load.
#pragma once
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "core/core.h"
#include "core/core_fixture.h"
#include "platform/user.h"
#include "spectrum/spectrum.h"
#include "util/util_fixture.h"

namespace headertest {

constexpr char kNotGiven[] = "(not given)";

// The record's bytes of a value, as the header stores it.
template <typename T>
std::string bytes_of(T value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

// A text row: the text, its terminator and zeros up to the row's size.
inline std::string text_bytes(const std::string& text, size_t size) {
  std::string bytes = text;
  bytes.resize(size, '\0');
  return bytes;
}

class HeaderTest : public LoadedLibrary {
 protected:
  void SetUp() override {
    LoadedLibrary::SetUp();
    GUX_SetInternationalChar('.', GUX_DECIMAL);
  }

  void TearDown() override {
    for (HWND made : windows_) platform::destroy_window(made);
    while (HINSTANCE instance = GU4_GetResourceInstance(0)) GU4_RemoveDLLInst(instance);
    GU6_DeleteConfig("CustomerInfo", "CompanyName");
    GUX_SetInternationalChar('.', GUX_DECIMAL);
    LoadedLibrary::TearDown();
  }

  // The texts of the groups the header reads, in one resource module.
  static void add_texts() {
    utiltest::ModuleBuilder builder;
    builder
        .group(AP41_GROUP_UNITS, {{1, "Wavenumbers", 0},
                                  {2, "Points", 0},
                                  {3, "Nanometers", 0},
                                  {15, "Single Beam", 0},
                                  {16, "%Transmittance", 0},
                                  {17, "Absorbance", 0},
                                  {22, "Interferogram", 0}})
        .group(AP41_GROUP_LABELS, {{0, "Scans: ", 0},
                                   {1, "Background scans: ", 0},
                                   {2, "Resolution: ", 0},
                                   {3, "Gain: ", 0},
                                   {4, "Velocity: ", 0},
                                   {5, "Aperture: ", 0},
                                   {6, "Detector: ", 0},
                                   {7, "Beam splitter: ", 0},
                                   {9, "Source: ", 0}})
        .group(AP41_GROUP_DETECTORS, {{0, "None", 0}, {1, "DTGS", 0}, {2, "MCT", 0}})
        .group(AP41_GROUP_BEAMSPLITTERS, {{0, "None", 0}, {1, "KBr", 0}})
        .group(AP41_GROUP_SOURCES, {{0, "Off", 0}, {1, "IR", 0}, {2, "White light", 0}})
        .group(AP13_GROUP_NOT_GIVEN, {{0, kNotGiven, 0}});
    utiltest::add_resource_module("header_texts.dll", builder);
  }

  // A new header, made and initialised as a spectrum makes its own.
  static AP41_SPECTRALHEADER* make() {
    uint16_t class_id = AP41_CLASS_ID;
    AP_NEWPARM parameter{AP41_CLASS_ID, nullptr};
    return ap_result_object<AP41_SPECTRALHEADER>(GU2_DoMethod_MSG(AP_MSG_NEW, &class_id, &parameter));
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
  static uint32_t set_text(void* object, uint16_t index, const char* text) {
    GU2_PARMSTRSET parameter{index, text, 0};
    return send(GU2_MSG_SET_PARM_STR, object, &parameter);
  }
  // The free-form text of a value, or "<failed>".
  static std::string text_of(void* object, uint16_t index) {
    char buffer[AP13_LARGEST_VALUE] = {};
    GU2_PARMSTR parameter{index, sizeof buffer, 0xFFFF, buffer};
    return send(GU2_MSG_GET_PARM_STR, object, &parameter) == 1 ? std::string(buffer) : "<failed>";
  }
  // The stored bytes of the record from an offset on.
  static std::string stored(const AP41_SPECTRALHEADER* header, size_t offset, size_t size) {
    return std::string(reinterpret_cast<const char*>(&header->data) + offset, size);
  }
  static std::string record_of(const AP41_SPECTRALHEADER* header) {
    return stored(header, 0, sizeof(AP41_HEADERDATA));
  }
  static int16_t change_state(AP41_SPECTRALHEADER* header) {
    return static_cast<int16_t>(send(AP_MSG_GET_CHANGE_STATE, header));
  }

  // A window that records the notices it receives.
  HWND watcher(std::vector<std::pair<UINT, WPARAM>>* received) {
    HWND made = platform::create_window([received](HWND, UINT message, WPARAM wparam, LPARAM) {
      received->emplace_back(message, wparam);
      return LRESULT{0};
    });
    windows_.push_back(made);
    return made;
  }

  std::vector<HWND> windows_;
};

}  // namespace headertest
