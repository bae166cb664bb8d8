// Fuzz target of the X-Y pairs format class: arbitrary bytes as a text file
// that a spectrum-file object opens read-only as class 25. The format test
// answers and the file is read; where a spectrum comes back (made of the
// pairs by messages 168 and 250 once the DATAPAIR class is registered), it
// is written as an X-Y pairs file again. The library is loaded and
// released around each input, so every object, block and handle is given
// back.
// Seeds: fuzz/xy_pairs_file_seeds.py.
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
  static const fuzz::FormatFiles files("xy_pairs_file", ".txt", AP25_CLASS_ID);
  return files;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  files().input().write(data, size);
  check(fuzz::load_library());
  if (AP21_SPECTRUM_FILE* spectrum_file = files().open_input()) {
    const uint32_t answer = GU2_DoMethod_MSG(AP21_FORMAT_TEST, spectrum_file->format, nullptr);
    check(answer == 0 || answer == 1);
    AP_OBJECT* read = ap21_Read(spectrum_file);
    destroy(spectrum_file);
    if (ap7a_spectrum(read) != nullptr) {
      files().write_copy(read);
    } else {
      check(read == nullptr);
    }
    destroy(read);
  }
  for (uint16_t class_id : {AP7_CLASS_ID, AP9_CLASS_ID, AP20_CLASS_ID, AP21_CLASS_ID, AP25_CLASS_ID})
    check(APX_GetClassTable()->classes[class_id].live == 0);
  fuzz::release_library();
  return 0;
}
