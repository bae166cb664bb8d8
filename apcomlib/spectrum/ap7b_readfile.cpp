// A spectrum read from a file named by its path, in whatever format the
// spectrum-file class recognises there (message 186, sent to the class).
//
// The file object is made, opened read-only with format detection and
// destroyed within the call; the spectrum read belongs to the caller. The
// comparison of a spectrum with a listed reference reads its reference
// this way.
#include "core/core.h"
#include "files/files.h"
#include "spectrum/spectrum.h"

AP7_SPECTRUM* ap7b_ReadSpectrumFile(const char* path) {
  if (path == nullptr) return nullptr;
  AP_OBJECT* reader = ap2_New_OBJ(AP21_CLASS_ID, nullptr);
  if (reader == nullptr) return nullptr;
  AP7_SPECTRUM* spectrum = nullptr;
  AP20_NAMEPARM naming{nullptr, path};
  uint16_t class_id = 0;
  uint16_t code = 0;
  AP21_OPENPARM open{AP20_MODE_READ, &class_id, &code};
  if (GU2_DoMethod_MSG(AP20_MSG_SET_NAME, reader, &naming) && GU2_DoMethod_MSG(AP21_MSG_OPEN, reader, &open)) {
    AP_OBJECT* read = ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP21_MSG_READ, reader, nullptr));
    spectrum = ap7a_spectrum(read);
    if (spectrum == nullptr && read != nullptr) ap20_DestroyObject(read);
    GU2_DoMethod_MSG(AP21_MSG_CLOSE, reader, nullptr);
  }
  ap20_DestroyObject(reader);
  return spectrum;
}
