// The GAML `units` names the components know, one line per name: the GAML
// reader turns a name into its own unit code (document.cpp), chosen so that
// the converter's unit table maps it to the spectral-header unit code of the
// same meaning; the GAML writer turns a header unit code back into the name.
#pragma once
#include <cstdint>

namespace gamlunits {

// The reader's code of a name it does not know, and of no name; the
// converter maps it to the header's "other" unit.
constexpr int32_t kOtherReaderCode = 2;
constexpr uint32_t kOtherHeaderCode = 8;

struct UnitName {
  const char* name;
  int32_t reader_code;   // what the reader answers for the name
  uint32_t header_code;  // what the converter makes of that answer
};

constexpr UnitName kUnits[] = {
    {"WAVENUMBER", 61, 1},        // wavenumbers
    {"MICRONS", 34, 4},           // micrometres
    {"NANOMETERS", 48, 3},        // nanometres
    {"RAMANSHIFT", 54, 32},       // Raman shift
    {"SECONDS", 56, 6},           // time (the converter does not rescale the values)
    {"ABSORBANCE", 1, 17},        // absorbance
    {"TRANSMITTANCE", 57, 23},    // transmittance (fraction)
    {"REFLECTANCE", 55, 21},      // reflectance (fraction)
    {"LOGREFLECTANCE", 26, 12},   // log(1/R)
    {"KUBELKAMUNK", 24, 20},      // Kubelka-Munk
    {"COUNTS", kOtherReaderCode, kOtherHeaderCode},  // the header has no unit of counts the converter reaches
};

}  // namespace gamlunits
