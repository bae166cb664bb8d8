// Fuzz target of the spectrum-file class: arbitrary bytes as a file that a
// spectrum-file object opens read-only, finding its format by probing. When
// a format takes it, the spectrum is read with its stored interferograms
// and the title of the file header; a spectrum read is saved as a native
// single-spectrum file and must read back with the same Y values. The
// library is loaded and released around each input, so every object, block
// and handle is given back. Seeds: fuzz/spectrum_file_seeds.py.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/core.h"
#include "files/files.h"
#include "fuzz/file_objects.h"
#include "fuzz/input_file.h"
#include "fuzz/library.h"
#include "spectrum/spectrum.h"

namespace {

using fuzz::check;
using fuzz::destroy;

const fuzz::InputFile& input_file() {
  static const fuzz::InputFile file("spectrum_file", ".spa");
  return file;
}

const std::string& input_path() { return input_file().path(); }

const std::string& copy_path() {
  static const fuzz::InputFile file("spectrum_file_copy", ".spa");
  return file.path();
}

AP21_SPECTRUM_FILE* opened(const std::string& name, uint16_t mode, uint16_t class_id) {
  return fuzz::opened<AP21_SPECTRUM_FILE>(AP21_CLASS_ID, name, mode, class_id);
}

uint32_t sum_of(const AP7_SPECTRUM* spectrum) {
  const float* values = ap7b_GetDataPtr(spectrum);
  uint32_t sum = 0;
  for (uint32_t index = 0; values != nullptr && index < spectrum->header->data.points; ++index) {
    uint32_t bits;
    std::memcpy(&bits, values + index, sizeof bits);
    sum += bits;
  }
  return sum;
}

// The spectrum read is written as a single-spectrum file and read again.
void round_trip(AP7_SPECTRUM* spectrum) {
  check(ap7b_SetFilePath(spectrum, copy_path().c_str()) == 1);
  check(ap7b_SetNameAndSubSpectra(spectrum, "", nullptr, nullptr) == 1);
  if (!ap7d_SaveToFile(reinterpret_cast<AP_OBJECT*>(spectrum), AP45_CLASS_ID)) return;
  AP21_SPECTRUM_FILE* reader = opened(copy_path(), AP20_MODE_READ, AP45_CLASS_ID);
  check(reader != nullptr);
  AP7_SPECTRUM* again = ap7a_spectrum(ap21_Read(reader));
  check(again != nullptr && again->header->data.points == spectrum->header->data.points);
  check(sum_of(again) == sum_of(spectrum));
  destroy(again);
  destroy(reader);
}

void read_all(AP21_SPECTRUM_FILE* spectrum_file) {
  char title[AP20_TITLE_SIZE];
  GU2_DoMethod_MSG(AP21_MSG_TITLE, spectrum_file, title);
  for (uint16_t which : {AP21_SAMPLE, AP21_BACKGROUND}) destroy(ap21_ReadInterferogram(spectrum_file, which));
  AP7_SPECTRUM* spectrum = ap7a_spectrum(ap21_Read(spectrum_file));
  ap21_Close(spectrum_file);
  if (spectrum != nullptr) round_trip(spectrum);
  destroy(spectrum);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  input_file().write(data, size);
  check(fuzz::load_library());
  if (AP21_SPECTRUM_FILE* spectrum_file = opened(input_path(), AP20_MODE_READ, 0)) {
    read_all(spectrum_file);
    destroy(spectrum_file);
  }
  for (uint16_t class_id : {AP7_CLASS_ID, AP20_CLASS_ID, AP21_CLASS_ID, AP45_CLASS_ID})
    check(APX_GetClassTable()->classes[class_id].live == 0);
  fuzz::release_library();
  return 0;
}
