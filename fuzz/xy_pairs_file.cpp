// Fuzz target of the X-Y pairs format class: arbitrary bytes as a text file
// that a spectrum-file object opens read-only as class 25. The format test
// answers and the file is read; where pairs come back (the DATAPAIR class is
// registered), a spectrum is made of them (messages 168 and 250) and
// written as an X-Y pairs file again. The library is loaded and released
// around each input, so every object, block and handle is given back.
// Seeds: fuzz/xy_pairs_file_seeds.py.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/core.h"
#include "exchange/exchange.h"
#include "files/files.h"
#include "fuzz/file_objects.h"
#include "fuzz/input_file.h"
#include "fuzz/library.h"
#include "spectrum/spectrum.h"

namespace {

using fuzz::check;
using fuzz::destroy;

const fuzz::InputFile& input_file() {
  static const fuzz::InputFile file("xy_pairs_file", ".txt");
  return file;
}

const std::string& copy_path() {
  static const fuzz::InputFile file("xy_pairs_file_copy", ".txt");
  return file.path();
}

AP21_SPECTRUM_FILE* opened(const std::string& name, uint16_t mode) {
  return fuzz::opened<AP21_SPECTRUM_FILE>(AP21_CLASS_ID, name, mode, AP25_CLASS_ID);
}

void make_and_write(AP21_SPECTRUM_FILE* writer, AP_OBJECT* pairs) {
  AP_OBJECT* format = writer->format;
  auto* spectrum = ap_result_object<AP7_SPECTRUM>(GU2_DoMethod_MSG(AP25_MSG_HEADER_FROM_PAIRS, format, pairs));
  if (spectrum == nullptr) return;
  AP25_DATAPARM data{reinterpret_cast<AP_OBJECT*>(spectrum), pairs};
  if (GU2_DoMethod_MSG(AP25_MSG_DATA_FROM_PAIRS, format, &data) != 0) ap21_Write(writer, reinterpret_cast<AP_OBJECT*>(spectrum));
  destroy(spectrum);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  input_file().write(data, size);
  check(fuzz::load_library());
  if (AP21_SPECTRUM_FILE* spectrum_file = opened(input_file().path(), AP20_MODE_READ)) {
    const uint32_t answer = GU2_DoMethod_MSG(AP21_FORMAT_TEST, spectrum_file->format, nullptr);
    check(answer == 0 || answer == 1);
    AP_OBJECT* pairs = ap21_Read(spectrum_file);
    destroy(spectrum_file);
    if (pairs != nullptr) {
      check(pairs->class_id == AP9_CLASS_ID);
      AP21_SPECTRUM_FILE* writer = opened(copy_path(), AP20_MODE_CREATE);
      check(writer != nullptr);
      make_and_write(writer, pairs);
      destroy(writer);
    }
    destroy(pairs);
  }
  for (uint16_t class_id : {AP7_CLASS_ID, AP20_CLASS_ID, AP21_CLASS_ID, AP25_CLASS_ID})
    check(APX_GetClassTable()->classes[class_id].live == 0);
  fuzz::release_library();
  return 0;
}
