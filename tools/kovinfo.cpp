// kovinfo: prints what the library reads back from native spectral files,
// one block per file: the format, and per spectrum its title, points, X
// range and units, Y units and stored interferograms. `make demo` runs it on
// the files it converted.
//
// Usage: kovinfo FILE...
#include <cstdio>
#include <string>

#include "apcomlib/core/core.h"
#include "tools/readback.h"

namespace {

// The names of the unit codes a conversion gives.
struct UnitName {
  uint32_t code;
  const char* name;
};
constexpr UnitName kUnitNames[] = {
    {1, "wavenumbers"}, {3, "nanometres"}, {4, "micrometres"},   {6, "seconds"},
    {8, "other"},       {12, "log(1/R)"},  {17, "absorbance"},   {20, "Kubelka-Munk"},
    {21, "reflectance"}, {23, "transmittance"}, {32, "Raman shift"}, {40, "no unit"},
};

std::string unit(uint32_t code) {
  for (const UnitName& known : kUnitNames) {
    if (known.code == code) return std::string(known.name) + " (" + std::to_string(code) + ")";
  }
  return "code " + std::to_string(code);
}

const char* format_of(uint16_t format_class) {
  return format_class == AP45_CLASS_ID ? "single spectrum (file type 1)" : "group of spectra (file type 10)";
}

void print_interferogram(const char* which, const AP7_SPECTRUM* interferogram) {
  if (interferogram == nullptr) return;
  const AP41_HEADERDATA& record = interferogram->header->data;
  std::printf("    stored %s interferogram: %u points, %u scans\n", which, static_cast<unsigned>(record.points),
              static_cast<unsigned>(record.NumScans));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: kovinfo FILE...\n", stderr);
    return 2;
  }
  apcom_RegisterClasses(apcom_LibraryModule());
  GU1_Register_LL();
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    readback::NativeFile file;
    if (!readback::read(argv[i], &file)) {
      std::fprintf(stderr, "kovinfo: %s is not a native spectral file the library reads\n", argv[i]);
      status = 1;
      continue;
    }
    std::printf("%s: %s, %zu member%s\n", argv[i], format_of(file.format_class), file.spectra.size(),
                file.spectra.size() == 1 ? "" : "s");
    int member = 0;
    for (const readback::Spectrum& read : file.spectra) {
      const AP41_HEADERDATA& record = read.spectrum->header->data;
      std::printf("  %d. \"%s\": %u points, X %g to %g %s, Y %s\n", ++member, record.title,
                  static_cast<unsigned>(record.points), static_cast<double>(record.first_x),
                  static_cast<double>(record.last_x), unit(record.x_units).c_str(), unit(record.y_units).c_str());
      print_interferogram("sample", read.sample);
      print_interferogram("background", read.background);
    }
  }
  apcom_UnregisterClasses();
  GU1_UnRegister_LL();
  return status;
}
