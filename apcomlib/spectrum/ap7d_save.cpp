// Saving a spectrum, a region of one or a list of spectra in a format the
// caller chooses.
//
// A spectrum goes to the file of its path through a spectrum-file object
// (class 21) opened in create mode with the format class; its common save
// (message 14 of its root part) writes it and marks it saved. A list goes
// to the file that its title member names, through a group-file object
// (class 51). Each call makes and destroys its own file object; a failed
// save deletes the file it began (an open that fails removes a file it
// created, never one that was there), except for a single spectrum that was
// written whole and whose stored interferograms then failed (file error
// 5001, or 401), which keeps its file. The spectrum's message 200 and 208,
// the list's message 50, the signed save (ap7a_save.cpp) and the
// converter's save of several traces call it.
#include <cstring>

#include "files/files.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"

namespace {

// File errors after which a failed spectrum save keeps its file: the
// spectrum was written, its stored interferograms were not.
constexpr int32_t kKeptAfterInterferograms = AP20_ERROR_INTERFEROGRAMS;
constexpr int32_t kKeptAfterOther = 401;

void ap7d_destroy(AP_OBJECT* object) {
  AP_WINDOWPARM none{nullptr, 0};
  GU2_DoMethod_MSG(AP_MSG_DESTROY, object, &none);
}

// Names a new file object and opens it in create mode with the format
// class; the object is destroyed when either fails. The open creates the
// file before it makes the format object, so an open that fails after that
// (a class without a dispatcher) would leave an empty file: a file that was
// not there before is removed again, one that was is left as it was (a
// create open on an existing file does not truncate it).
AP_OBJECT* ap7d_opened(AP_OBJECT* file, const char* name, uint16_t format_class) {
  if (file == nullptr) return nullptr;
  AP20_NAMEPARM naming{nullptr, name};
  if (GU2_DoMethod_MSG(AP20_MSG_SET_NAME, file, &naming) == 0) {
    ap7d_destroy(file);
    return nullptr;
  }
  const bool existed = AP20_DoesFileExist(name) != 0;
  uint16_t code = 0;
  AP21_OPENPARM open{AP20_MODE_CREATE, &format_class, &code};
  if (GU2_DoMethod_MSG(AP21_MSG_OPEN, file, &open) != 0) return file;
  if (!existed) GU2_DoMethod_MSG(AP21_MSG_DELETE, file, nullptr);
  ap7d_destroy(file);
  return nullptr;
}

// The common save of the spectrum's root part: message 18 with the file
// object to the spectrum, then the root part marked saved. The file's error
// word is cleared first, so that what decides about the file afterwards is
// what this save left.
uint16_t ap7d_save_spectrum(AP7_SPECTRUM* spectrum, uint16_t format_class) {
  AP_OBJECT* file = ap7d_opened(ap2_New_OBJ(AP21_CLASS_ID, nullptr), spectrum->path, format_class);
  if (file == nullptr) return 0;
  AP20_WORDPARM cleared{0};
  GU2_DoMethod_MSG(AP20_MSG_SET_ERROR, file, &cleared);
  const uint16_t saved =
      AP2_Dispatcher_OBJ(spectrum->data->head.parent, AP_MSG_SAVE, file) != 0 ? 1 : 0;
  const int32_t error = ap20_GetClassError();
  if (!saved && error != kKeptAfterInterferograms && error != kKeptAfterOther)
    GU2_DoMethod_MSG(AP21_MSG_DELETE, file, nullptr);
  ap7d_destroy(file);
  return saved;
}

// Takes the output path from the list's title members, which leave the
// list: every index below the first count is visited once, so a member
// that moves up into a removed title's place is not visited again.
void ap7d_take_titles(AP40_LLIST* list, char* path) {
  auto* members = reinterpret_cast<AP_OBJECT*>(list);
  const uint32_t count = GU2_DoMethod_MSG(AP40_MSG_COUNT, members, nullptr);
  for (uint32_t index = 0; index < count; ++index) {
    AP40_INDEXPARM at{index};
    auto* member = ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP40_MSG_AT_INDEX, members, &at));
    if (member == nullptr || member->class_id != AP43_CLASS_ID) continue;
    char title[AP43_TEXT_SIZE] = {};
    if (GU2_GetParmValue_MSG(member, AP43_TEXT_PARM, title) != 0) capobj_StrCopyN(title, path, MAX_PATH);
    ap40_Remove_LLIST(list, member, 1);
  }
}

}  // namespace

// The titles leave the list once the group-file object is made, whatever
// comes of the save.
uint16_t ap7d_SaveListToFile(AP40_LLIST* list, uint16_t format_class, char* path) {
  AP_OBJECT* group = ap2_New_OBJ(AP51_CLASS_ID, nullptr);
  if (group == nullptr) return 0;
  char name[MAX_PATH] = {};
  ap7d_take_titles(list, name);
  if (path != nullptr) std::memcpy(path, name, sizeof name);
  if (name[0] == '\0') {
    ap7d_destroy(group);
    return 0;
  }
  AP_OBJECT* file = ap7d_opened(group, name, format_class);
  if (file == nullptr) return 0;
  const uint16_t saved = GU2_DoMethod_MSG(AP51_MSG_SAVE_GROUP, file, list) != 0 ? 1 : 0;
  if (!saved) GU2_DoMethod_MSG(AP21_MSG_DELETE, file, nullptr);
  ap7d_destroy(file);
  return saved;
}

uint16_t ap7d_SaveToFile(AP_OBJECT* object, uint16_t format_class) {
  switch (gu2_ClassIdOf(object)) {
    case AP7_CLASS_ID: {
      AP7_SPECTRUM* spectrum = ap7a_spectrum(object);
      return spectrum != nullptr && spectrum->data != nullptr ? ap7d_save_spectrum(spectrum, format_class) : 0;
    }
    case AP40_CLASS_ID: return ap7d_SaveListToFile(reinterpret_cast<AP40_LLIST*>(object), format_class, nullptr);
    default: return 0;
  }
}

uint16_t ap7d_SaveRangeToFile(AP7_SPECTRUM* spectrum, uint16_t format_class, float x1, float x2) {
  if (ap7a_spectrum(spectrum) == nullptr) return 0;
  AP_OBJECT* file = ap7d_opened(ap2_New_OBJ(AP21_CLASS_ID, nullptr), spectrum->path, format_class);
  if (file == nullptr) return 0;
  const uint16_t saved =
      ap21_SetRange(ap21_spectrum_file(file), reinterpret_cast<AP_OBJECT*>(spectrum), x1, x2) != 0 ? 1 : 0;
  if (!saved) GU2_DoMethod_MSG(AP21_MSG_DELETE, file, nullptr);
  ap7d_destroy(file);
  return saved;
}
