// Fuzz target of the JCAMP-DX format class: arbitrary bytes as a text file
// that a spectrum-file object opens read-only as class 23. The format test
// answers 0 or 1, the title is asked for and the file read; a spectrum read
// is written as a JCAMP-DX file again and that file read back. The library
// is loaded and released around each input, so every object, block and
// handle is given back.
// Seeds: fuzz/jcamp_file_seeds.py.
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
  static const fuzz::FormatFiles files("jcamp_file", ".jdx", AP23_CLASS_ID);
  return files;
}

// What the writer accepts reads back as a spectrum of at most as many
// points (leading missing values are not written).
void round_trip(AP7_SPECTRUM* spectrum) {
  if (!files().write_copy(reinterpret_cast<AP_OBJECT*>(spectrum))) return;
  AP7_SPECTRUM* again = files().read_copy();
  check(again == nullptr || again->header->data.points <= spectrum->header->data.points);
  destroy(again);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  files().input().write(data, size);
  check(fuzz::load_library());
  if (AP21_SPECTRUM_FILE* spectrum_file = files().open_input()) {
    const uint32_t answer = GU2_DoMethod_MSG(AP21_FORMAT_TEST, spectrum_file->format, nullptr);
    check(answer == 0 || answer == 1);
    char title[256];
    GU2_DoMethod_MSG(AP21_MSG_TITLE, spectrum_file, title);
    AP_OBJECT* read = ap21_Read(spectrum_file);
    destroy(spectrum_file);
    if (AP7_SPECTRUM* spectrum = ap7a_spectrum(read)) {
      check(spectrum->header->data.points >= 2 && spectrum->header->data.points <= AP23_MOST_POINTS);
      round_trip(spectrum);
    } else {
      check(read == nullptr);
    }
    destroy(read);
  }
  for (uint16_t class_id : {AP7_CLASS_ID, AP20_CLASS_ID, AP21_CLASS_ID, AP23_CLASS_ID})
    check(APX_GetClassTable()->classes[class_id].live == 0);
  fuzz::release_library();
  return 0;
}
