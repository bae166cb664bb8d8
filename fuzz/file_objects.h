// File objects around a fuzz input: a spectrum-file or group-file object
// made, named and opened as callers do, and objects destroyed, each step
// checked. A broken expectation aborts, which libFuzzer reports as a crash.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/core.h"
#include "files/files.h"
#include "fuzz/input_file.h"
#include "spectrum/spectrum.h"

namespace fuzz {

inline void check(bool fact) {
  if (!fact) std::abort();
}

inline void destroy(void* object) {
  AP_WINDOWPARM none{nullptr, 0};
  check(object == nullptr || GU2_DoMethod_MSG(AP_MSG_DESTROY, object, &none) == AP_DESTROYED);
}

// A new object of the file class (AP21_SPECTRUM_FILE of class 21 or
// AP51_GROUP_FILE of class 51) on the file, opened in the mode as the
// format class (0: found by probing). A failed open leaves no format object
// and the object is destroyed: null.
template <typename FileObject>
FileObject* opened(uint16_t file_class, const std::string& name, uint16_t mode, uint16_t format_class) {
  auto* file = reinterpret_cast<FileObject*>(ap2_New_OBJ(file_class, nullptr));
  check(file != nullptr);
  AP20_NAMEPARM naming{nullptr, name.c_str()};
  check(GU2_DoMethod_MSG(AP20_MSG_SET_NAME, file, &naming) == 1);
  uint16_t code = 0;
  AP21_OPENPARM open{mode, &format_class, &code};
  if (GU2_DoMethod_MSG(AP21_MSG_OPEN, file, &open) != 0) return file;
  check(file->format == nullptr);
  destroy(file);
  return nullptr;
}

// The input of a target of one format class of the spectrum-file class and
// the copy it writes of what it read, each opened through a spectrum-file
// object as that format class.
class FormatFiles {
 public:
  FormatFiles(const std::string& stem, const std::string& extension, uint16_t format_class)
      : input_(stem, extension), copy_(stem + "_copy", extension), format_class_(format_class) {}
  const InputFile& input() const { return input_; }
  AP21_SPECTRUM_FILE* open_input() const { return open(input_.path(), AP20_MODE_READ); }
  // Whether the writer took the object.
  bool write_copy(AP_OBJECT* object) const {
    AP21_SPECTRUM_FILE* writer = open(copy_.path(), AP20_MODE_CREATE);
    check(writer != nullptr);
    const bool written = ap21_Write(writer, object) != 0;
    destroy(writer);
    return written;
  }
  // The spectrum read back from the copy; null when the read gave none.
  AP7_SPECTRUM* read_copy() const {
    AP21_SPECTRUM_FILE* reader = open(copy_.path(), AP20_MODE_READ);
    check(reader != nullptr);
    AP7_SPECTRUM* again = ap7a_spectrum(ap21_Read(reader));
    destroy(reader);
    return again;
  }

 private:
  AP21_SPECTRUM_FILE* open(const std::string& path, uint16_t mode) const {
    return opened<AP21_SPECTRUM_FILE>(AP21_CLASS_ID, path, mode, format_class_);
  }
  InputFile input_;
  InputFile copy_;
  uint16_t format_class_;
};

}  // namespace fuzz
