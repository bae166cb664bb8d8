// Fixtures of the spectrum-file tests: spectrum-file objects (class 21)
// made by message 4 and destroyed after each test, their open, detection
// and close, format classes of the test that answer the format test as a
// table tells them, so that probing, "maybe" answers and failed opens can
// be set up without a real exchange format, and spectra with texts and
// annotations, destroyed after each test.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "files/files_fixture.h"
#include "spectrum/annotation_fixture.h"
#include "spectrum/spectrum_fixture.h"

namespace spfiletest {

// A format object of a test class: its class id, its owner, and the class
// it answers for.
struct TestFormat {
  uint16_t class_id;
  AP_OBJECT* owner;
};

// What a test format class answers: message 48, and whether message 4
// makes an object. Each class counts the probes it was asked.
struct TestFormatClass {
  uint32_t test_answer = 0;
  bool creates = true;
  int tests = 0;
  int live = 0;
};

inline std::map<uint16_t, TestFormatClass>& test_formats() {
  static std::map<uint16_t, TestFormatClass> classes;
  return classes;
}

inline uint32_t test_format_dispatcher(void* object, uint16_t message, void* parameter) {
  const uint16_t class_id = gu2_ClassIdOf(object);
  TestFormatClass& format_class = test_formats()[class_id];
  switch (message) {
    case AP_MSG_NEW: {
      if (!format_class.creates) return 0;
      ++format_class.live;
      return ap_object_result(new TestFormat{class_id, static_cast<AP_OBJECT*>(parameter)});
    }
    case AP_MSG_DESTROY:
      --format_class.live;
      delete static_cast<TestFormat*>(object);
      return 1;
    case AP_MSG_CLASS_NAME:
      return ap2_copy_class_name(static_cast<char*>(parameter), "TEST_FORMAT");
    case AP21_FORMAT_TEST:
      ++format_class.tests;
      return format_class.test_answer;
    default:
      return 0;
  }
}

// Bytes of the layouts, little-endian: a float, a word, a double word, a
// row of floats, and bytes padded with zeros to a multiple of 4.
inline std::string f32(float value) {
  std::string bytes(4, '\0');
  std::memcpy(&bytes[0], &value, 4);
  return bytes;
}
inline std::string u16(uint16_t value) {
  std::string bytes;
  filetest::put16(bytes, 0, value);
  return bytes;
}
inline std::string u32(uint32_t value) {
  std::string bytes;
  filetest::put32(bytes, 0, value);
  return bytes;
}
inline std::string floats(const std::vector<float>& values) {
  std::string bytes;
  for (float value : values) bytes += f32(value);
  return bytes;
}
inline std::string padded(std::string bytes) {
  bytes.resize((bytes.size() + 3) / 4 * 4, '\0');
  return bytes;
}

// A group-file class of the test under id 51, as the saves of a list reach
// it: it records the name it is given, the mode and format class it is
// opened with, the members of the list it saves (answering as told) and
// whether it was asked to delete its file.
struct TestGroupFile {
  uint16_t class_id = AP51_CLASS_ID;
  std::string name;
};

struct TestGroupClass {
  uint32_t save_answer = 1;
  std::string name;
  uint16_t mode = 0;
  uint16_t format_class = 0;
  std::vector<AP_OBJECT*> saved;
  bool deleted = false;
  int live = 0;
};

inline TestGroupClass& test_group() {
  static TestGroupClass group;
  return group;
}

inline uint32_t test_group_dispatcher(void* object, uint16_t message, void* parameter) {
  TestGroupClass& group = test_group();
  auto* file = static_cast<TestGroupFile*>(object);
  switch (message) {
    case AP_MSG_CREATE:
      ++group.live;
      return ap_object_result(new TestGroupFile);
    case AP_MSG_INIT:
      return 1;
    case AP_MSG_DESTROY:
      --group.live;
      delete file;
      return 1;
    case AP20_MSG_SET_NAME: {
      const auto* naming = static_cast<const AP20_NAMEPARM*>(parameter);
      file->name = naming->name;
      group.name = file->name;
      return file->name.empty() ? 0 : 1;
    }
    case AP21_MSG_OPEN: {
      const auto* open = static_cast<const AP21_OPENPARM*>(parameter);
      group.mode = open->mode;
      group.format_class = *open->class_id;
      return 1;
    }
    case AP51_MSG_SAVE_GROUP: {
      auto* list = static_cast<AP40_LLIST*>(parameter);
      group.saved.clear();
      for (uint32_t index = 0; index < spectrumtest::list_count(list); ++index)
        group.saved.push_back(spectrumtest::list_member(list, index));
      return group.save_answer;
    }
    case AP21_MSG_DELETE:
      group.deleted = true;
      return 1;
    default:
      return 0;
  }
}

class SpectrumFiles : public filetest::FileObjects {
 protected:
  void TearDown() override {
    while (!spectrum_files_.empty()) destroy(spectrum_files_.back());
    for (AP7_SPECTRUM* made : spectra_) spectrumtest::destroy(made);
    for (const auto& [class_id, format_class] : test_formats()) {
      EXPECT_EQ(format_class.live, 0) << "format objects of class " << class_id << " left";
      GU2_ImmedSetDispatcher(class_id, nullptr);
    }
    test_formats().clear();
    if (GU2_GetDispatcher(AP51_CLASS_ID) == test_group_dispatcher) {
      EXPECT_EQ(test_group().live, 0) << "group-file objects left";
      GU2_ImmedSetDispatcher(AP51_CLASS_ID, nullptr);
    }
    test_group() = TestGroupClass{};
    // Freed while the list heap the registered classes live in still stands.
    ap20_FreeFormatClasses(AP21_CLASS_ID);
    FileObjects::TearDown();
  }

  // Installs a test format class under an id, answering the format test so.
  static TestFormatClass& install_format(uint16_t class_id, uint32_t test_answer, bool creates = true) {
    TestFormatClass& format_class = test_formats()[class_id];
    format_class.test_answer = test_answer;
    format_class.creates = creates;
    GU2_ImmedSetDispatcher(class_id, test_format_dispatcher);
    return format_class;
  }

  static TestGroupClass& install_group_class() {
    GU2_ImmedSetDispatcher(AP51_CLASS_ID, test_group_dispatcher);
    return test_group();
  }

  // A new spectrum-file object (message 4 to class 21), destroyed after the test.
  AP21_SPECTRUM_FILE* make_spectrum_file() {
    uint16_t class_id = AP21_CLASS_ID;
    AP_NEWPARM parameter{AP21_CLASS_ID, nullptr};
    auto* spectrum_file = ap_result_object<AP21_SPECTRUM_FILE>(send(AP_MSG_NEW, &class_id, &parameter));
    if (spectrum_file != nullptr) spectrum_files_.push_back(spectrum_file);
    return spectrum_file;
  }

  AP21_SPECTRUM_FILE* named_spectrum_file(const std::string& name) {
    AP21_SPECTRUM_FILE* spectrum_file = make_spectrum_file();
    AP20_NAMEPARM naming{nullptr, name.c_str()};
    EXPECT_EQ(send(AP20_MSG_SET_NAME, spectrum_file, &naming), 1u);
    return spectrum_file;
  }

  static uint32_t close(AP21_SPECTRUM_FILE* spectrum_file) { return send(AP21_MSG_CLOSE, spectrum_file); }

  using FileObjects::destroy;
  void destroy(AP21_SPECTRUM_FILE* spectrum_file) {
    AP_WINDOWPARM none{nullptr, 0};
    send(AP_MSG_DESTROY, spectrum_file, &none);
    spectrum_files_.erase(std::remove(spectrum_files_.begin(), spectrum_files_.end(), spectrum_file),
                          spectrum_files_.end());
  }

  // A spectrum with these Y values over first..last X and that Y unit,
  // destroyed after the test.
  AP7_SPECTRUM* spectrum(const std::vector<float>& y, uint32_t y_units = 17, float first_x = 4000.0f,
                         float last_x = 400.0f) {
    AP7_SPECTRUM* made = spectrumtest::make_axis(first_x, last_x, y);
    made->header->data.y_units = y_units;
    spectra_.push_back(made);
    return made;
  }
  // A spectrum made by the code under test, destroyed after the test.
  AP7_SPECTRUM* keep(AP7_SPECTRUM* made) {
    if (made != nullptr) spectra_.push_back(made);
    return made;
  }
  AP7_SPECTRUM* keep(AP_OBJECT* made) { return keep(reinterpret_cast<AP7_SPECTRUM*>(made)); }
  // A spectrum of the test given to an owner (as a sub-spectrum): the test
  // no longer destroys it.
  AP7_SPECTRUM* hand_over(AP7_SPECTRUM* made) {
    spectra_.erase(std::remove(spectra_.begin(), spectra_.end(), made), spectra_.end());
    return made;
  }

  static void annotate(AP7_SPECTRUM* spectrum, uint16_t flags, float x, float text_x, float y, const char* label,
                       float x2 = 0, float y2 = 0, float x3 = 0, float y3 = 0) {
    AP34_ANNOTREC record = annotationtest::record_at(x, label, flags, y, text_x);
    record.x2 = x2;
    record.y2 = y2;
    record.x3 = x3;
    record.y3 = y3;
    ASSERT_EQ(ap34_Insert_ANTATN(spectrum->annotation, &record, AP1_YUNIT_TRANSMITTANCE), 1);
  }

  // The annotation records of a spectrum, labels copied out.
  struct Annotation {
    uint16_t flags;
    float x, text_x, y, x2, y2, x3, y3;
    std::string label;
    bool operator==(const Annotation& other) const {
      return flags == other.flags && x == other.x && text_x == other.text_x && y == other.y && x2 == other.x2 &&
             y2 == other.y2 && x3 == other.x3 && y3 == other.y3 && label == other.label;
    }
  };
  static std::vector<Annotation> annotations(AP7_SPECTRUM* spectrum) {
    std::vector<Annotation> records;
    const uint32_t count =
        ap34_CountInRange_ANTATN(spectrum->annotation, AP_NOT_GIVEN, AP_NOT_GIVEN, nullptr, nullptr);
    for (uint32_t index = 0; index < count; ++index) {
      AP34_ANNOTREC record{};
      EXPECT_EQ(ap34_Get_ANTATN(spectrum->annotation, index, &record, AP1_YUNIT_TRANSMITTANCE), 1);
      records.push_back(Annotation{record.flags, record.x, record.text_x, record.y, record.x2, record.y2, record.x3,
                                   record.y3, record.label != nullptr ? record.label : ""});
      GU3_RemoveString(record.label);
    }
    return records;
  }

  // A native single-spectrum file with no sections.
  static std::string empty_spectrum_file() { return filetest::native_file(AP20_FILE_SPECTRUM, 1, {}); }

 private:
  std::vector<AP21_SPECTRUM_FILE*> spectrum_files_;
  std::vector<AP7_SPECTRUM*> spectra_;
};

}  // namespace spfiletest
