// Fixtures of the exchange-format tests: spectrum-file objects opened on a
// file of the test's home with a format class (or by detection), the format
// object they hold, and the pairs objects the X-Y pairs reader makes.
#pragma once
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "exchange/exchange.h"
#include "files/spectrum_files_fixture.h"

namespace exchangetest {

class ExchangeFiles : public spfiletest::SpectrumFiles {
 protected:
  void TearDown() override {
    for (AP_OBJECT* made : objects_) ap20_DestroyObject(made);
    SpectrumFiles::TearDown();
  }

  // An object made by the code under test, destroyed after the test.
  AP_OBJECT* keep_object(AP_OBJECT* made) {
    if (made != nullptr) objects_.push_back(made);
    return made;
  }

  // A spectrum-file object on a file of the home, opened in the mode with
  // the class (0: found by detection); null when the open fails.
  AP21_SPECTRUM_FILE* opened(const std::string& name, uint16_t mode, uint16_t class_id) {
    AP21_SPECTRUM_FILE* spectrum_file = named_spectrum_file(path(name));
    uint16_t code = 0;
    AP21_OPENPARM parameter{mode, &class_id, &code};
    if (send(AP21_MSG_OPEN, spectrum_file, &parameter) != 1) return nullptr;
    return spectrum_file;
  }
  static AP_OBJECT* format_of(AP21_SPECTRUM_FILE* spectrum_file) { return packed(spectrum_file->format); }
  static AP20_FILE* file_of(AP21_SPECTRUM_FILE* spectrum_file) { return ap20_file(spectrum_file->head.parent); }

  // What the spectrum-file object reads from the named file as the class.
  AP_OBJECT* read_as(const std::string& name, uint16_t class_id, uint32_t* error = nullptr) {
    AP21_SPECTRUM_FILE* spectrum_file = opened(name, AP20_MODE_READ, class_id);
    if (spectrum_file == nullptr) return nullptr;
    AP_OBJECT* read = keep_object(ap_result_object<AP_OBJECT>(send(AP21_MSG_READ, spectrum_file)));
    if (error != nullptr) *error = ap20_GetError(file_of(spectrum_file));
    close(spectrum_file);
    return read;
  }

  // Writes the spectrum to the named file as the class, as a save does.
  uint32_t write_as(const std::string& name, uint16_t class_id, AP7_SPECTRUM* spectrum) {
    AP21_SPECTRUM_FILE* spectrum_file = opened(name, AP20_MODE_CREATE, class_id);
    if (spectrum_file == nullptr) return 0;
    const uint32_t written = send(AP21_MSG_WRITE, spectrum_file, spectrum);
    close(spectrum_file);
    return written;
  }

  static std::vector<float> values(AP7_SPECTRUM* spectrum) {
    const float* data = ap7b_GetDataPtr(spectrum);
    return std::vector<float>(data, data + spectrum->header->data.points);
  }
  static AP41_HEADERDATA& header(AP7_SPECTRUM* spectrum) { return spectrum->header->data; }
  static std::string title(AP7_SPECTRUM* spectrum) { return spectrum->header->data.title; }

 private:
  std::vector<AP_OBJECT*> objects_;
};

// Bytes of the layouts, little-endian.
inline void put_bytes(std::string& bytes, size_t at, const void* value, size_t size) {
  if (bytes.size() < at + size) bytes.resize(at + size, '\0');
  std::memcpy(&bytes[at], value, size);
}
template <typename T>
void put(std::string& bytes, size_t at, T value) {
  put_bytes(bytes, at, &value, sizeof value);
}
template <typename T>
T get(const std::string& bytes, size_t at) {
  T value;
  std::memcpy(&value, bytes.data() + at, sizeof value);
  return value;
}

}  // namespace exchangetest
