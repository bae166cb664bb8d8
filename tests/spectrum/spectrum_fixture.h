// Shared set-up of the spectrum class's tests: the library loaded with its
// classes, spectra made and read back through their records (without the
// operations under test), the live counts of every class a spectrum is made
// of, and a fixture whose TearDown returns the resource table, the
// configuration and the time zone to their state at load.
#pragma once
#include <cstdlib>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "array/array_fixture.h"
#include "core/core.h"
#include "core/core_fixture.h"
#include "spectrum/spectrum.h"
#include "util/util_fixture.h"

namespace spectrumtest {

inline uint32_t send(uint16_t message, void* object, void* parameter = nullptr) {
  return GU2_DoMethod_MSG(message, object, parameter);
}

// A new spectrum as callers make one: message 4 to a pointer to the class id.
inline AP7_SPECTRUM* make(uint32_t points, HWND window = nullptr) {
  uint16_t class_id = AP7_CLASS_ID;
  AP7_NEWPARM parameter{points, window};
  return ap_result_object<AP7_SPECTRUM>(send(AP_MSG_NEW, &class_id, &parameter));
}

// Message 2 alone: a spectrum with the header's class defaults.
inline AP7_SPECTRUM* create(uint32_t points) {
  uint16_t class_id = AP7_CLASS_ID;
  AP7_CREATEPARM parameter{nullptr, points};
  return ap_result_object<AP7_SPECTRUM>(send(AP_MSG_CREATE, &class_id, &parameter));
}

inline uint32_t destroy(void* object, HWND window = nullptr) {
  AP_WINDOWPARM parameter{window, 0};
  return send(AP_MSG_DESTROY, object, &parameter);
}

inline AP41_HEADERDATA& record(AP7_SPECTRUM* spectrum) { return spectrum->header->data; }

// The Y values, read straight from the data block.
inline std::vector<float> values(const AP7_SPECTRUM* spectrum) { return arraytest::values(spectrum->data); }

// Writes the Y values straight into the data block, which must hold them.
inline void put_values(AP7_SPECTRUM* spectrum, const std::vector<float>& y) {
  auto* data = static_cast<float*>(GU3_GetPointer_MM(spectrum->data->data, 0, nullptr, nullptr));
  for (size_t i = 0; i < y.size(); ++i) data[i] = y[i];
}

// A new initialised spectrum over first..last with the given values.
inline AP7_SPECTRUM* make_axis(float first_x, float last_x, const std::vector<float>& y) {
  AP7_SPECTRUM* spectrum = make(static_cast<uint32_t>(y.size()));
  record(spectrum).first_x = first_x;
  record(spectrum).last_x = last_x;
  put_values(spectrum, y);
  return spectrum;
}

// A spectrum of n points over first..last whose values are 1, 2, ..., n.
inline AP7_SPECTRUM* make_ramp(uint32_t n, float first_x, float last_x) {
  std::vector<float> y(n);
  for (uint32_t i = 0; i < n; ++i) y[i] = static_cast<float>(i + 1);
  return make_axis(first_x, last_x, y);
}

inline std::string text_of(AP48_TEXT* text) {
  const char* stored = ap_result_object<char>(send(AP48_MSG_TEXT, text));
  return stored != nullptr ? stored : "";
}

inline AP48_TEXT* new_text(const std::string& content) {
  uint16_t class_id = AP48_CLASS_ID;
  AP_WINDOWPARM parameter{nullptr, 0};
  auto* text = ap_result_object<AP48_TEXT>(send(AP_MSG_NEW, &class_id, &parameter));
  send(AP48_MSG_APPEND, text, const_cast<char*>(content.c_str()));
  return text;
}

inline uint32_t list_count(AP40_LLIST* list) { return send(AP40_MSG_COUNT, list); }

inline AP_OBJECT* list_member(AP40_LLIST* list, uint32_t index) {
  AP40_INDEXPARM parameter{index};
  return ap_result_object<AP_OBJECT>(send(AP40_MSG_AT_INDEX, list, &parameter));
}

// The classes a spectrum is made of, and the root parts they all carry.
inline const std::vector<uint16_t>& part_classes() {
  static const std::vector<uint16_t> classes = {AP2_CLASS_ID,  AP4_CLASS_ID,  AP7_CLASS_ID,  AP13_CLASS_ID,
                                                AP34_CLASS_ID, AP40_CLASS_ID, AP41_CLASS_ID, AP48_CLASS_ID};
  return classes;
}

inline std::map<uint16_t, uint16_t> live_counts() {
  std::map<uint16_t, uint16_t> counts;
  for (uint16_t class_id : part_classes()) counts[class_id] = APX_GetClassTable()->classes[class_id].live;
  return counts;
}

inline const APX_CLASSREC& spectrum_class() { return APX_GetClassTable()->classes[AP7_CLASS_ID]; }

}  // namespace spectrumtest

class SpectrumTest : public LoadedLibrary {
 protected:
  void SetUp() override {
    LoadedLibrary::SetUp();
    arraytest::install_notice_counters();
  }

  void TearDown() override {
    while (HINSTANCE instance = GU4_GetResourceInstance(0)) GU4_RemoveDLLInst(instance);
    GU6_DeleteConfig("CustomerInfo", "UseLogin");
    unsetenv("TZ");
    tzset();
    LoadedLibrary::TearDown();
  }

  static void zone(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
  }
};
