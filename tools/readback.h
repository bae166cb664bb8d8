// What the library reads back from a native spectral file: the format class
// that recognises it and its spectra, each with its stored sample and
// background interferograms. The demo's kovinfo prints it and the
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

  uint16_t format_class = 0;  // 45: one spectrum, file type 1
  std::vector<Spectrum> spectra;
};

inline AP7_SPECTRUM* read_spectrum(uint16_t message, AP21_SPECTRUM_FILE* file, void* parameter) {
  return ap7a_spectrum(ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(message, file, parameter)));
}

// False when no class of the library reads the file as one of its formats.
inline bool read(const std::string& path, NativeFile* out) {
  uint16_t spectrum_file_class = AP21_CLASS_ID;
  AP_NEWPARM fresh{AP21_CLASS_ID, nullptr};
  auto* file = ap_result_object<AP21_SPECTRUM_FILE>(GU2_DoMethod_MSG(AP_MSG_NEW, &spectrum_file_class, &fresh));
  if (file == nullptr) return false;
  AP20_NAMEPARM name{nullptr, path.c_str()};
  uint16_t format = 0;
  uint16_t code = 0;
  AP21_OPENPARM open{AP20_MODE_READ, &format, &code};
  bool done = false;
  if (GU2_DoMethod_MSG(AP20_MSG_SET_NAME, file, &name) == 1 && GU2_DoMethod_MSG(AP21_MSG_OPEN, file, &open) != 0 &&
      format == AP45_CLASS_ID) {
    Spectrum read;
    read.spectrum = read_spectrum(AP21_MSG_READ, file, nullptr);
    AP21_WHICHPARM sample{AP21_SAMPLE, 0};
    AP21_WHICHPARM background{AP21_BACKGROUND, 0};
    read.sample = read_spectrum(AP21_MSG_READ_INTERFEROGRAM, file, &sample);
    read.background = read_spectrum(AP21_MSG_READ_INTERFEROGRAM, file, &background);
    out->format_class = format;
    out->spectra.push_back(read);
    done = read.spectrum != nullptr;
    GU2_DoMethod_MSG(AP21_MSG_CLOSE, file, nullptr);
  }
  AP_WINDOWPARM window{nullptr, 0};
  GU2_DoMethod_MSG(AP_MSG_DESTROY, file, &window);
  return done;
}

}  // namespace readback
