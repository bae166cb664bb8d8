// Fixtures of the annotation tests: the library as loaded with file objects
// under the test's home folder, a stand-in spectrum and a stand-in spectral
// header that answer the messages the annotation and the gain-type setter
// send to a spectrum (its header, its Y value at an X; the header's Y-unit
// code and gain), windows that record the change notices they hear, and
// helpers that send the annotation's messages as callers do.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "array/array.h"
#include "files/files_fixture.h"
#include "platform/user.h"
#include "spectrum/spectrum.h"

namespace annotationtest {

constexpr uint16_t kSpectrumClass = 210;
constexpr uint16_t kHeaderClass = 211;

// A stand-in spectral header that answers its Y-unit code (u32) and its gain
// (f32); `readable` false makes every read fail.
struct StubHeader {
  uint16_t class_id = kHeaderClass;
  uint32_t y_code = 16;
  float gain = 0.0f;
  bool readable = true;
};

inline uint32_t header_dispatcher(void* object, uint16_t message, void* parameter) {
  auto* header = static_cast<StubHeader*>(object);
  auto* value = static_cast<GU2_PARMVALUE*>(parameter);
  if (message != GU2_MSG_GET_PARM_VALUE || !header->readable) return 0;
  switch (value->index) {
    case AP41_YUNITS: std::memcpy(value->value, &header->y_code, sizeof header->y_code); return 1;
    case AP41_GAIN: std::memcpy(value->value, &header->gain, sizeof header->gain); return 1;
    default: return 0;
  }
}

// A stand-in spectrum: message 168 answers its header, message 37 the Y
// value of the point at exactly that X (failing for any other X).
struct StubSpectrum {
  uint16_t class_id = kSpectrumClass;
  void* header = nullptr;  // a stand-in header or a real one
  std::map<float, float> points;
};

#pragma pack(push, 2)
struct ValueAtX {
  float x;
  float* value;
};
#pragma pack(pop)

inline uint32_t spectrum_dispatcher(void* object, uint16_t message, void* parameter) {
  auto* spectrum = static_cast<StubSpectrum*>(object);
  switch (message) {
    case 168: return ap_object_result(spectrum->header);
    case 37: {
      auto* at = static_cast<ValueAtX*>(parameter);
      auto found = spectrum->points.find(at->x);
      if (found == spectrum->points.end()) return 0;
      *at->value = found->second;
      return 1;
    }
    default: return 0;
  }
}

inline void install_standins() {
  GU2_ImmedSetDispatcher(kSpectrumClass, spectrum_dispatcher);
  GU2_ImmedSetDispatcher(kHeaderClass, header_dispatcher);
}

// A record as a caller fills one; its label is the caller's own text.
inline AP34_ANNOTREC record_at(float x, const char* label, uint16_t flags = 0, float y = 0.0f, float text_x = 0.0f) {
  AP34_ANNOTREC record{};
  record.flags = flags;
  record.x = x;
  record.text_x = text_x;
  record.y = y;
  record.label = const_cast<char*>(label);
  return record;
}

// A record as message 37 hands it out, its fields unpacked (the checks
// take them by reference) and its label taken over from the string space.
struct Got {
  uint16_t flags = 0;
  float x = 0.0f;
  float text_x = 0.0f;
  float y = 0.0f;
  float y2 = 0.0f;
  uint16_t host_flags[2] = {};
  std::string label;
  bool has_label = false;
};

class AnnotationTest : public filetest::FileObjects {
 protected:
  void SetUp() override {
    FileObjects::SetUp();
    install_standins();
  }

  void TearDown() override {
    while (!annotations_.empty()) destroy(annotations_.back());
    for (HWND window : windows_) platform::destroy_window(window);
    AP1_SetGainType_MATH(nullptr);
    FileObjects::TearDown();
  }

  using FileObjects::destroy;

  // A new annotation, made as a spectrum makes one, destroyed after the test.
  AP34_ANNOTATION* make(HWND window = nullptr) {
    uint16_t class_id = AP34_CLASS_ID;
    AP_NEWPARM parameter{AP34_CLASS_ID, window};
    auto* annotation = ap_result_object<AP34_ANNOTATION>(send(AP_MSG_NEW, &class_id, &parameter));
    if (annotation != nullptr) annotations_.push_back(annotation);
    return annotation;
  }

  // Keeps an annotation made elsewhere (a read, a duplicate) until the test ends.
  AP34_ANNOTATION* keep(AP34_ANNOTATION* annotation) {
    if (annotation != nullptr) annotations_.push_back(annotation);
    return annotation;
  }

  uint32_t destroy(AP34_ANNOTATION* annotation, HWND window = nullptr) {
    AP_WINDOWPARM parameter{window, 0};
    const uint32_t result = send(AP_MSG_DESTROY, annotation, &parameter);
    if (result == AP_DESTROYED)
      annotations_.erase(std::remove(annotations_.begin(), annotations_.end(), annotation), annotations_.end());
    return result;
  }

  static uint32_t insert(AP34_ANNOTATION* annotation, AP34_ANNOTREC record, uint16_t y_code = 16) {
    AP34_INSERTPARM parameter{&record, y_code};
    return send(AP34_MSG_INSERT, annotation, &parameter);
  }

  static uint32_t remove(AP34_ANNOTATION* annotation, uint32_t index) {
    AP34_DELETEPARM parameter{index};
    return send(AP34_MSG_DELETE, annotation, &parameter);
  }

  static Got get(AP34_ANNOTATION* annotation, uint16_t index, uint16_t y_code = 16) {
    AP34_ANNOTREC record{};
    AP34_RECORDPARM parameter{index, &record, y_code};
    EXPECT_EQ(send(AP34_MSG_GET, annotation, &parameter), 1u) << "record " << index;
    Got got;
    got.flags = record.flags;
    got.x = record.x;
    got.text_x = record.text_x;
    got.y = record.y;
    got.y2 = record.y2;
    std::memcpy(got.host_flags, record.host_flags, sizeof got.host_flags);
    if (record.label != nullptr) {
      got.label = record.label;
      got.has_label = true;
      GU3_RemoveString(record.label);
    }
    return got;
  }

  static uint32_t count(AP34_ANNOTATION* annotation) { return annotation->records.count; }

  // The record the annotation keeps at a position.
  static AP34_ANNOTREC* stored(AP34_ANNOTATION* annotation, uint32_t index) {
    return static_cast<AP34_ANNOTREC*>(gu1_item(&annotation->records, GU1_Locate_LL(&annotation->records, index)));
  }

  // The x and the label of every record, in list order.
  static std::vector<std::pair<float, std::string>> contents(AP34_ANNOTATION* annotation) {
    std::vector<std::pair<float, std::string>> found;
    for (uint16_t index = 0; index < count(annotation); ++index) {
      Got got = get(annotation, index);
      found.emplace_back(got.x, got.label);
    }
    return found;
  }

  static int16_t change_state(AP34_ANNOTATION* annotation) {
    return static_cast<int16_t>(send(AP_MSG_GET_CHANGE_STATE, annotation));
  }

  // A window that records the words of the change notices it hears.
  HWND listener(std::vector<WPARAM>* words) {
    HWND made = platform::create_window([words](HWND, UINT message, WPARAM wparam, LPARAM) {
      if (message == AP_NOTICE_CHANGED) words->push_back(wparam);
      return LRESULT{0};
    });
    windows_.push_back(made);
    return made;
  }

 private:
  std::vector<AP34_ANNOTATION*> annotations_;
  std::vector<HWND> windows_;
};

}  // namespace annotationtest
