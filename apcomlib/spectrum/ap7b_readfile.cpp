// Spectra read from named files: a file object (a spectrum file, class 21,
// or a group file, class 51) is made, named, opened for reading with its
// format found by detection and asked for its spectrum, and destroyed again
// in every case. The spectrum dispatcher answers message 186, sent to the
// class, with the spectrum file's read; the comparison with the stored file
// reads the stored copy through these.
#include "core/core.h"
#include "files/files.h"
#include "spectrum/spectrum.h"

namespace {

void ap7b_destroy(AP_OBJECT* object) {
  AP_WINDOWPARM window{nullptr, 0};
  GU2_DoMethod_MSG(AP_MSG_DESTROY, object, &window);
}

}  // namespace

AP_OBJECT* ap7b_OpenForReading(uint16_t class_id, const char* path) {
  if (path == nullptr || IsBadReadPtr(path, 1)) return nullptr;
  AP_NEWPARM fresh{class_id, nullptr};
  auto* file = ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP_MSG_NEW, &class_id, &fresh));
  if (file == nullptr) return nullptr;
  AP20_NAMEPARM name{nullptr, path};
  uint16_t format = 0;
  uint16_t code = 0;
  AP21_OPENPARM open{AP20_MODE_READ, &format, &code};
  if (GU2_DoMethod_MSG(AP20_MSG_SET_NAME, file, &name) == 1 && GU2_DoMethod_MSG(AP21_MSG_OPEN, file, &open) != 0)
    return file;
  ap7b_destroy(file);
  return nullptr;
}

void ap7b_CloseAndDestroy(AP_OBJECT* file) {
  GU2_DoMethod_MSG(AP21_MSG_CLOSE, file, nullptr);
  ap7b_destroy(file);
}

AP7_SPECTRUM* ap7b_ReadSpectrumFile(const char* path) {
  AP_OBJECT* file = ap7b_OpenForReading(AP21_CLASS_ID, path);
  if (file == nullptr) return nullptr;
  AP7_SPECTRUM* spectrum = ap7a_spectrum(ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP21_MSG_READ, file, nullptr)));
  ap7b_CloseAndDestroy(file);
  return spectrum;
}
