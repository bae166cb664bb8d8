// Fuzz target of the VELMARAN format class: arbitrary bytes as a file that a
// spectrum-file object opens read-only as class 63. The comment is asked
// for and the file read; each spectrum read (one, or every member of the
// list a file of several subfiles gives) is written as a VELMARAN file and
// must read back with as many points. The library is loaded and released
// around each input, so every object, block and handle is given back.
// Seeds: fuzz/velmaran_file_seeds.py.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/core.h"
#include "exchange/exchange.h"
#include "files/files.h"
#include "fuzz/file_objects.h"
#include "fuzz/library.h"
#include "spectrum/spectrum.h"

namespace {

using fuzz::check;
using fuzz::destroy;

const fuzz::FormatFiles& files() {
  static const fuzz::FormatFiles files("velmaran_file", ".spc", AP63_CLASS_ID);
  return files;
}

void round_trip(AP7_SPECTRUM* spectrum) {
  if (!files().write_copy(reinterpret_cast<AP_OBJECT*>(spectrum))) return;
  AP7_SPECTRUM* again = files().read_copy();
  check(again != nullptr && again->header->data.points == spectrum->header->data.points);
  destroy(again);
}

AP_OBJECT* list_member(AP40_LLIST* list, uint32_t index) {
  AP40_INDEXPARM at{index};
  return ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP40_MSG_AT_INDEX, list, &at));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  files().input().write(data, size);
  check(fuzz::load_library());
  if (AP21_SPECTRUM_FILE* spectrum_file = files().open_input()) {
    char comment[256];
    GU2_DoMethod_MSG(AP21_MSG_TITLE, spectrum_file, comment);
    AP_OBJECT* read = ap21_Read(spectrum_file);
    destroy(spectrum_file);
    if (AP7_SPECTRUM* spectrum = ap7a_spectrum(read)) {
      round_trip(spectrum);
    } else if (read != nullptr) {
      check(read->class_id == AP40_CLASS_ID);
      auto* list = reinterpret_cast<AP40_LLIST*>(read);
      for (uint32_t index = 0; index < GU2_DoMethod_MSG(AP40_MSG_COUNT, list, nullptr); ++index) {
        AP7_SPECTRUM* member = ap7a_spectrum(list_member(list, index));
        check(member != nullptr);
        round_trip(member);
      }
      check(ap40_Destroy_LLIST(list, nullptr, 1) == AP_DESTROYED);
      read = nullptr;
    }
    destroy(read);
  }
  for (uint16_t class_id : {AP7_CLASS_ID, AP20_CLASS_ID, AP21_CLASS_ID, AP40_CLASS_ID, AP63_CLASS_ID})
    check(APX_GetClassTable()->classes[class_id].live == 0);
  fuzz::release_library();
  return 0;
}
