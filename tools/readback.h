// What the library reads back from a native spectral file: the format class
// that recognises it (the single-spectrum or the group format) and its
// spectra in member order, each with its stored sample and background
// interferograms. The demo's kovinfo prints it and the
// converter's end-to-end tests check it. The library's classes must be
// registered in the process.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "apcomlib/files/files.h"
#include "apcomlib/spectrum/spectrum.h"

namespace readback {

struct Spectrum {
  AP7_SPECTRUM* spectrum = nullptr;
  AP7_SPECTRUM* sample = nullptr;      // stored sample interferogram, or none
  AP7_SPECTRUM* background = nullptr;  // stored background interferogram, or none
};

// The spectra of one file, deleted with the object.
class NativeFile {
 public:
  NativeFile() = default;
  NativeFile(const NativeFile&) = delete;
  NativeFile& operator=(const NativeFile&) = delete;
  ~NativeFile() {
    for (const Spectrum& read : spectra) {
      for (AP7_SPECTRUM* spectrum : {read.spectrum, read.sample, read.background}) {
        if (spectrum != nullptr) ap7a_Delete(spectrum, nullptr);
      }
    }
  }

  uint16_t format_class = 0;  // 45: one spectrum, file type 1; 52: a group, file type 10
  std::vector<Spectrum> spectra;
};

// The object's answer to a message as a spectrum, or null.
inline AP7_SPECTRUM* read_spectrum(uint16_t message, AP_OBJECT* file, void* parameter) {
  return ap7a_spectrum(ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(message, file, parameter)));
}

// A file object of the class (21 spectrum file, 51 group file) open on the
// path in the format class it expects; closed and destroyed with the object.
class OpenFile {
 public:
  OpenFile(uint16_t file_class, uint16_t expected_format, const std::string& path) {
    uint16_t class_id = file_class;
    AP_NEWPARM fresh{file_class, nullptr};
    file_ = ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP_MSG_NEW, &class_id, &fresh));
    AP20_NAMEPARM name{nullptr, path.c_str()};
    uint16_t format = 0;
    uint16_t code = 0;
    AP21_OPENPARM open{AP20_MODE_READ, &format, &code};
    open_ = file_ != nullptr && GU2_DoMethod_MSG(AP20_MSG_SET_NAME, file_, &name) == 1 &&
            GU2_DoMethod_MSG(AP21_MSG_OPEN, file_, &open) != 0 && format == expected_format;
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  ~OpenFile() {
    if (file_ == nullptr) return;
    GU2_DoMethod_MSG(AP21_MSG_CLOSE, file_, nullptr);
    AP_WINDOWPARM window{nullptr, 0};
    GU2_DoMethod_MSG(AP_MSG_DESTROY, file_, &window);
  }

  bool open() const { return open_; }
  AP_OBJECT* file() const { return file_; }

 private:
  AP_OBJECT* file_ = nullptr;
  bool open_ = false;
};

// False when neither the spectrum-file nor the group-file class reads the
// file as the native format.
inline bool read(const std::string& path, NativeFile* out) {
  if (OpenFile single(AP21_CLASS_ID, AP45_CLASS_ID, path); single.open()) {
    Spectrum read;
    read.spectrum = read_spectrum(AP21_MSG_READ, single.file(), nullptr);
    AP21_WHICHPARM sample{AP21_SAMPLE, 0};
    AP21_WHICHPARM background{AP21_BACKGROUND, 0};
    read.sample = read_spectrum(AP21_MSG_READ_INTERFEROGRAM, single.file(), &sample);
    read.background = read_spectrum(AP21_MSG_READ_INTERFEROGRAM, single.file(), &background);
    out->format_class = AP45_CLASS_ID;
    out->spectra.push_back(read);
    return read.spectrum != nullptr;
  }
  OpenFile group(AP51_CLASS_ID, AP52_CLASS_ID, path);
  if (!group.open()) return false;
  out->format_class = AP52_CLASS_ID;
  const uint32_t members = GU2_DoMethod_MSG(AP51_MSG_MEMBER_COUNT, group.file(), nullptr);
  bool whole = true;
  for (uint32_t member = 0; member < members; ++member) {
    Spectrum read;
    read.spectrum = read_spectrum(AP51_MSG_READ_MEMBER, group.file(), reinterpret_cast<void*>(uintptr_t{member}));
    AP51_IFGPARM sample{AP21_SAMPLE, static_cast<uint16_t>(member), 0};
    AP51_IFGPARM background{AP21_BACKGROUND, static_cast<uint16_t>(member), 0};
    read.sample = read_spectrum(AP51_MSG_READ_INTERFEROGRAM, group.file(), &sample);
    read.background = read_spectrum(AP51_MSG_READ_INTERFEROGRAM, group.file(), &background);
    out->spectra.push_back(read);
    whole = whole && read.spectrum != nullptr;
  }
  return whole;
}

}  // namespace readback
