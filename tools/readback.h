// What the library reads back from a native spectral file: the format class
// that recognises it and its spectra, each with its stored sample and
// background interferograms. The demo's kovinfo prints it, the GAML writer
// component exports it and the end-to-end tests check it. The library's
// classes must be registered in the process.
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

inline AP7_SPECTRUM* read_spectrum(uint16_t message, void* file, void* parameter) {
  return ap7a_spectrum(ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(message, file, parameter)));
}

// A new file object of the class (21 spectrum file, 51 group file) named by
// the path and opened read-only with detection; null when none of its
// format classes reads the file. `format` receives the class that does.
inline AP_OBJECT* open_detected(uint16_t class_id, const std::string& path, uint16_t* format) {
  AP_NEWPARM fresh{class_id, nullptr};
  auto* file = ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP_MSG_NEW, &class_id, &fresh));
  if (file == nullptr) return nullptr;
  AP20_NAMEPARM name{nullptr, path.c_str()};
  uint16_t code = 0;
  *format = 0;
  AP21_OPENPARM open{AP20_MODE_READ, format, &code};
  if (GU2_DoMethod_MSG(AP20_MSG_SET_NAME, file, &name) == 1 && GU2_DoMethod_MSG(AP21_MSG_OPEN, file, &open) != 0)
    return file;
  AP_WINDOWPARM window{nullptr, 0};
  GU2_DoMethod_MSG(AP_MSG_DESTROY, file, &window);
  return nullptr;
}

inline void close_and_destroy(AP_OBJECT* file) {
  GU2_DoMethod_MSG(AP21_MSG_CLOSE, file, nullptr);
  AP_WINDOWPARM window{nullptr, 0};
  GU2_DoMethod_MSG(AP_MSG_DESTROY, file, &window);
}

// False when no class of the library reads the file as one of its formats.
inline bool read(const std::string& path, NativeFile* out) {
  uint16_t format = 0;
  if (AP_OBJECT* file = open_detected(AP21_CLASS_ID, path, &format)) {
    Spectrum read;
    read.spectrum = read_spectrum(AP21_MSG_READ, file, nullptr);
    AP21_WHICHPARM sample{AP21_SAMPLE, 0};
    AP21_WHICHPARM background{AP21_BACKGROUND, 0};
    read.sample = read_spectrum(AP21_MSG_READ_INTERFEROGRAM, file, &sample);
    read.background = read_spectrum(AP21_MSG_READ_INTERFEROGRAM, file, &background);
    out->format_class = format;
    out->spectra.push_back(read);
    close_and_destroy(file);
    return read.spectrum != nullptr;
  }
  AP_OBJECT* group = open_detected(AP51_CLASS_ID, path, &format);
  if (group == nullptr) return false;
  out->format_class = format;
  const uint32_t members = GU2_DoMethod_MSG(AP51_MSG_MEMBER_COUNT, group, nullptr);
  bool whole = true;
  for (uint32_t member = 0; member < members; ++member) {
    Spectrum read;
    read.spectrum = read_spectrum(AP51_MSG_READ_MEMBER, group, reinterpret_cast<void*>(static_cast<uintptr_t>(member)));
    AP51_IFGPARM sample{AP21_SAMPLE, static_cast<uint16_t>(member), 0};
    AP51_IFGPARM background{AP21_BACKGROUND, static_cast<uint16_t>(member), 0};
    read.sample = read_spectrum(AP51_MSG_READ_INTERFEROGRAM, group, &sample);
    read.background = read_spectrum(AP51_MSG_READ_INTERFEROGRAM, group, &background);
    whole = whole && read.spectrum != nullptr;
    out->spectra.push_back(read);
  }
  close_and_destroy(group);
  return whole;
}

}  // namespace readback
