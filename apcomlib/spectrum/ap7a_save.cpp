// Saving a spectrum to its path and signing the saved file (message 14).
//
// A spectrum is written as a native single-spectrum file (format class 45)
// and every part of it marked saved; a list of spectra, called directly, as
// a native group file (format class 52) named by its title member. Where
// the workstation offers electronic signatures, and its host does not ask
// otherwise, the saved file is then signed by the signature library that
// the host has loaded; the entry point found there is kept for the
// process. The signature never changes the save's answer. The spectrum's
// message 14 and the converter's single-trace save come here; the writing
// itself is the format-chosen save's (ap7d_save.cpp).

#include "files/files.h"
#include "platform/memory.h"
#include "platform/modules.h"
#include "spectrum/spectrum.h"
#include "util/util.h"

namespace {

// Found once in the signature library and kept for the process.
AP7_SIGNFILE g_sign_file = nullptr;

// 1 when signatures are offered, unless the host's option store answers
// the option with another value.
uint16_t ap7a_sign_flag() {
  if (!GU4_SupportsSecurityServices()) return 0;
  uint16_t sign = 1;
  void* settings = APX_GetGlobalObject();
  IApOptionStore* store = nullptr;
  if (settings != nullptr && GU2_GetParmValue_MSG(settings, AP7_HOST_OPTION_STORE, &store) != 0 && store != nullptr) {
    int16_t value = 0;
    if (store->GetShortOption(AP7_FORCE_SIGNATURE_OPTION, &value) >= 0) sign = static_cast<uint16_t>(value);
  }
  return sign;
}

// Every part of the spectrum marked saved, sub-spectra with theirs; 1 when
// each part took it.
uint16_t ap7a_mark_parts_saved(AP7_SPECTRUM* spectrum) {
  void* parts[] = {spectrum->header, spectrum->annotation, spectrum->subSpectrumA, spectrum->subSpectrumB,
                   spectrum->history, spectrum->comment,    spectrum->list};
  AP_WORDPARM saved{static_cast<uint16_t>(AP2_SAVED)};
  uint16_t marked = 1;
  for (void* part : parts) {
    if (part != nullptr && GU2_DoMethod_MSG(AP_MSG_SET_CHANGE_STATE, part, &saved) == 0) marked = 0;
  }
  return marked;
}

// The library is the host's to load; it is looked up, never loaded here.
void ap7a_sign(const char* name) {
  HINSTANCE library = GU4_GetDLLInst(AP7_SIGNATURE_LIBRARY);
  if (g_sign_file == nullptr && library != nullptr)
    g_sign_file = reinterpret_cast<AP7_SIGNFILE>(GetProcAddress(library, AP7_SIGN_FILE_ENTRY));
  if (g_sign_file == nullptr) return;
  const char* texts[AP7_SIGN_TEXTS] = {AP7_SIGN_FILE_ENTRY, name};
  g_sign_file(1, AP7_SIGN_TEXTS, texts, 0);
}

}  // namespace

// A whole write that a bookkeeping step after it fails keeps its file and
// answers 0.
uint16_t ap7a_SaveSigned(AP_OBJECT* object) {
  char name[AP7_SIGNED_NAME_SIZE] = {};
  const uint16_t sign = ap7a_sign_flag();
  uint16_t result = 0;
  switch (gu2_ClassIdOf(object)) {
    case AP7_CLASS_ID: {
      AP7_SPECTRUM* spectrum = ap7a_spectrum(object);
      if (spectrum == nullptr) return 0;
      result = ap7d_SaveToFile(object, AP45_CLASS_ID);
      result &= ap7a_mark_parts_saved(spectrum);
      if (result != 0 && sign != 0) capobj_StrCopyN(spectrum->path, name, sizeof name);
      break;
    }
    case AP40_CLASS_ID: {
      char path[MAX_PATH] = {};
      result = ap7d_SaveListToFile(reinterpret_cast<AP40_LLIST*>(object), AP52_CLASS_ID, path);
      capobj_StrCopyN(path, name, sizeof name);
      break;
    }
    default: return 0;
  }
  if (result != 0 && sign != 0) ap7a_sign(name);
  return result;
}
