// History bits of a spectrum: the processing steps it has been through.
//
// The 64 bits live in the spectrum's header (parameter 36); this module
// tests, sets and clears one of them on a spectrum and gives each bit's
// text for the exported files. The spectrum dispatcher routes the messages
// 205, 206 and 270 here, and the spectrum operations call the setter on the
// spectra they make or change.
#include <cstddef>
#include <cstring>
#include <iterator>

#include "array/array.h"
#include "core/core.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"

namespace {

// The head of a spectrum as far as its history reaches: the spectrum record
// starts with its class id, its data array part and its header.
constexpr uint16_t kSpectrumClassId = 7;
#pragma pack(push, 2)
struct SpectrumHead {
  uint16_t class_id;
  AP_OBJECT* data;
  AP41_SPECTRALHEADER* header;
};
#pragma pack(pop)
static_assert(sizeof(SpectrumHead) == 10);

constexpr uint16_t kBitsPerWord = 32;

// Texts of bits 0 to 41; the bits above have none. Bits 20, 21, 26 and 27
// mark conversions from the native formats of earlier product lines.
constexpr const char* kTexts[] = {
    "FFT",
    "Phase Correction and/or Apodization",
    "Ratio against background",
    "%Transmittance->Absorbance",
    "Absorbance->%Transmittance",
    "Deresolve",
    "Retrieved from a Library",
    "Subtraction or Addition",
    "Smooth",
    "%Transmittance->Kubelka Munk",
    "%Transmittance->Photoacoustic",
    "ATR Correction",
    "Multiplied by a scalar",
    "Straight Line generate",
    "Derivative",
    "Integral",
    "Square or any other power",
    "Baseline Correction",
    "Wavenumber->Wavelength",
    "Wavelength->Wavenumber",
    "Converted from an earlier native format (1)",
    "Converted from an earlier native format (2)",
    "Retrieved from a Corvane Library",
    "Blanked Region",
    "Kramers-Kronig (Dispersion Correction)",
    "Converted from JCAMP",
    "Converted from an earlier native format (3)",
    "Converted from an earlier native format (4)",
    "Truncated",
    "Expansion",
    "Filled with a constant",
    "Subtract or Add a constant",
    "Multiplied by a function",
    "Interpolated",
    "Fourier Self-Deconvolution",
    "Convolved",
    "Raman X-axis corrected",
    "Raman X-axis shift corrected",
    "Concatenation",
    "ElementMultiply or ElementDivide",
    "Reference Divide",
    "Laser and X-Axis Adjustment",
};
static_assert(std::size(kTexts) == AP41_HISTORY_LASER_ADJUSTMENT + 1);

bool ap7b_valid_bit(int16_t bit) { return bit >= 0 && bit < AP41_HISTORY_BITS; }

// The header of a spectrum, or null when the object is no spectrum or has
// no header.
AP41_SPECTRALHEADER* ap7b_header_of(const AP_OBJECT* spectrum) {
  if (IsBadReadPtr(spectrum, sizeof(SpectrumHead))) return nullptr;
  const auto* head = reinterpret_cast<const SpectrumHead*>(spectrum);
  return head->class_id == kSpectrumClassId ? ap41_header(head->header) : nullptr;
}

// The word of the history that holds a bit, and the bit's place in it. The
// record is packed: its words are moved bytewise.
uint8_t* ap7b_word_of(AP41_SPECTRALHEADER* header, int16_t bit) {
  return reinterpret_cast<uint8_t*>(&header->data) + offsetof(AP41_HEADERDATA, history) +
         sizeof(uint32_t) * static_cast<uint32_t>(bit / kBitsPerWord);
}

uint16_t ap7b_place_of(int16_t bit) { return static_cast<uint16_t>(bit % kBitsPerWord); }

// Sets or clears a bit inside one change of the header, whose notice names
// parameter 36 as a set of it would; a bit that already is as asked leaves
// the header untouched.
uint16_t ap7b_put_bit(AP_OBJECT* spectrum, int16_t bit, bool set) {
  AP41_SPECTRALHEADER* header = ap7b_header_of(spectrum);
  if (header == nullptr || !ap7b_valid_bit(bit)) return 0;
  uint32_t word = ap13_load<uint32_t>(ap7b_word_of(header, bit));
  if (set) {
    AP1_SetBitLong_MATH(&word, ap7b_place_of(bit));
  } else {
    ap1_ClearBitLong(&word, ap7b_place_of(bit));
  }
  if (word == ap13_load<uint32_t>(ap7b_word_of(header, bit))) return 1;
  if (GU2_DoMethod_MSG(AP_MSG_BEGIN_CHANGE, header, nullptr) == 0) return 0;
  std::memcpy(ap7b_word_of(header, bit), &word, sizeof word);
  ap13_end_change(header->params, AP41_HISTORYFLAGS);
  return 1;
}

}  // namespace

uint16_t ap7b_TestHistoryFlag(AP_OBJECT* spectrum, int16_t bit) {
  AP41_SPECTRALHEADER* header = ap7b_header_of(spectrum);
  if (header == nullptr || !ap7b_valid_bit(bit)) return 0;
  return (ap13_load<uint32_t>(ap7b_word_of(header, bit)) >> ap7b_place_of(bit)) & 1u;
}

uint16_t ap7b_SetHistoryFlag(AP_OBJECT* spectrum, int16_t bit) { return ap7b_put_bit(spectrum, bit, true); }

uint16_t ap7b_ClearHistoryFlag(AP_OBJECT* spectrum, int16_t bit) { return ap7b_put_bit(spectrum, bit, false); }

const char* ap7b_HistoryFlagText(int16_t bit) {
  return bit >= 0 && bit < static_cast<int16_t>(std::size(kTexts)) ? kTexts[bit] : nullptr;
}
