// Collection-parameter comparison and derivation (messages 248 and 249).
//
// A spectrum's header records how it was collected. The comparison lists
// every value that differs between the header and the host's collection
// settings (K) and bench settings (B) objects, by group and optionally as
// text lines; the derivation fills the two objects from the header so that
// a new collection repeats the spectrum. The two objects belong to the
// host: they are reached only through their parameter messages (40, 41,
// 46) and the bench's messages 89, 90 and 71.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/core.h"
#include "platform/memory.h"
#include "processing/processing.h"
#include "spectrum/spectrum.h"
#include "util/util.h"

namespace {

// How a row's two values are read and compared.
enum class ap7e_kind { code, code16, real, integer, integer16 };
// Where a row's spectrum value comes from: a header parameter, or the
// resolution or the zero-fill factor derived from it.
constexpr int kResolution = -1;
constexpr int kZeroFill = -2;
// Which object a row compares with, and through which bench message.
enum class ap7e_side { bench, collection };

struct ap7e_row {
  int header;
  ap7e_side side;
  uint16_t parameter;
  uint16_t via_message;  // 0: the value itself
  ap7e_kind kind;
  uint16_t spectrum_labels;  // 0: shown as numbers
  uint16_t settings_labels;
};

constexpr ap7e_side B = ap7e_side::bench;
constexpr ap7e_side K = ap7e_side::collection;
constexpr ap7e_row kRows[AP7E_COLLECT_ROWS] = {
    {9, B, 1, 0, ap7e_kind::code, 4109, 4109},
    {10, B, 3, AP7E_BENCH_MSG_DETECTOR_CODE, ap7e_kind::code16, 4110, 4110},
    {45, B, 4, 0, ap7e_kind::code, 604, 604},
    {11, B, 5, AP7E_BENCH_MSG_BEAMSPLITTER_CODE, ap7e_kind::code, 605, 605},
    {25, B, 6, 0, ap7e_kind::real, 0, 0},
    {24, B, 7, 0, ap7e_kind::real, 0, 0},
    {12, B, 8, 0, ap7e_kind::real, 0, 0},
    {14, B, 9, 0, ap7e_kind::real, 0, 0},
    {15, B, 10, 0, ap7e_kind::real, 0, 0},
    {13, B, 11, 0, ap7e_kind::integer16, 0, 0},
    {20, B, 12, 0, ap7e_kind::real, 0, 0},
    {21, B, 15, 0, ap7e_kind::integer, 0, 0},
    {29, B, 17, 0, ap7e_kind::real, 0, 0},
    {40, B, 27, 0, ap7e_kind::code, 1047, 1047},
    {6, B, 29, 0, ap7e_kind::real, 0, 0},
    {7, B, 30, 0, ap7e_kind::real, 0, 0},
    {kResolution, K, 0, 0, ap7e_kind::real, 0, 0},
    {23, K, 1, 0, ap7e_kind::integer, 0, 0},
    {2, K, 14, 0, ap7e_kind::integer, 0, 0},
    {22, K, 6, 0, ap7e_kind::integer, 0, 0},
    {31, K, 7, 0, ap7e_kind::integer, 0, 0},
    {34, K, 10, 0, ap7e_kind::code, 3510, 3510},
    {43, K, 11, 0, ap7e_kind::code, 3511, 3511},
    {5, K, 16, 0, ap7e_kind::code, AP41_GROUP_UNITS, 3516},
    {kZeroFill, K, 15, 0, ap7e_kind::code, 3515, 3515},
};

// A value as read: the raw bytes of a parameter (4 at most here).
struct ap7e_value {
  uint32_t bits = 0;
  float real() const {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  static ap7e_value of_real(float value) {
    ap7e_value made;
    std::memcpy(&made.bits, &value, sizeof value);
    return made;
  }
};

// The longest line of the comparison.
constexpr size_t kLineSize = 512;
// The bench range of an interferogram final format when the components
// allow none, the aperture when the spectrum's is refused, and the final
// formats the Raman branch gives.
constexpr float kLowestRange = 400.0f;
constexpr float kHighestRange = 4000.0f;
constexpr uint32_t kRamanShiftFormat = 32;
constexpr uint32_t kRamanShiftFormatAlt = 33;
constexpr uint32_t kRamanIntensityFormat = 31;
constexpr uint32_t kInterferogramFormat = 22;
constexpr float kDefaultAperture = 100.0f;

ap7e_value ap7e_read(void* object, uint16_t parameter) {
  ap7e_value value;
  GU2_GetParmValue_MSG(object, parameter, &value.bits);
  return value;
}

bool ap7e_write(void* object, uint16_t parameter, ap7e_value value) {
  return GU2_SetParmValue_MSG(object, parameter, &value.bits) != 0;
}

bool ap7e_write16(void* object, uint16_t parameter, uint16_t value) {
  return GU2_SetParmValue_MSG(object, parameter, &value) != 0;
}

bool ap7e_valid(void* object, uint16_t parameter, const void* value) {
  AP13_VALUEPARM block{parameter, value};
  return GU2_DoMethod_MSG(AP13_MSG_VALIDATE_PARM, object, &block) != 0;
}

// A bench message that turns the value of one of its parameters into a
// code; 0 when the parameter cannot be read.
uint32_t ap7e_bench_code(void* bench, uint16_t message, uint16_t parameter, bool* read = nullptr) {
  uint32_t value = 0;
  const bool got = GU2_GetParmValue_MSG(bench, parameter, &value) != 0;
  if (read != nullptr) *read = got;
  return got ? GU2_DoMethod_MSG(message, bench, &value) : 0;
}

bool ap7e_resolution(const AP41_HEADERDATA& record, float* resolution) {
  return AP1_GetResolution_MATH(record.SSP, static_cast<int32_t>(record.NumPostPeakPts), resolution, nullptr) != 0;
}

int16_t ap7e_zero_fill(const AP41_HEADERDATA& record) {
  return AP1_GetZeroFill_MATH(record.NumTransformPts, record.NumPostPeakPts);
}

ap7e_value ap7e_spectrum_value(AP41_SPECTRALHEADER* header, const ap7e_row& row) {
  const AP41_HEADERDATA& record = header->data;
  if (row.header == kResolution) {
    float resolution = 0.0f;
    ap7e_resolution(record, &resolution);
    return ap7e_value::of_real(resolution);
  }
  if (row.header == kZeroFill) return ap7e_value{static_cast<uint32_t>(static_cast<int32_t>(ap7e_zero_fill(record)))};
  ap7e_value value;
  ap41_GetParm_SH(header, static_cast<uint16_t>(row.header), &value.bits);
  return value;
}

bool ap7e_differ(const ap7e_row& row, ap7e_value spectrum, ap7e_value settings, const AP41_HEADERDATA& record) {
  switch (row.kind) {
    case ap7e_kind::real: return AP1_KovFloatCompareSG_MATH(spectrum.real(), settings.real()) == 0;
    case ap7e_kind::code16:
    case ap7e_kind::integer16: return static_cast<uint16_t>(spectrum.bits) != static_cast<uint16_t>(settings.bits);
    default:
      if (row.header == kZeroFill && ap7e_zero_fill(record) == AP1_NO_ZERO_FILL) return true;
      return spectrum.bits != settings.bits;
  }
}

std::string ap7e_label(uint16_t group, uint32_t code) {
  const char* text = GU4_GetAssocString(group, static_cast<uint16_t>(code), nullptr, nullptr);
  if (text == nullptr) text = GU4_GetAssocString(AP7E_GROUP_NO_LABEL, 0, nullptr, nullptr);
  return text != nullptr ? text : "N/A";
}

// The line of a row that differs, from its format (402, row) when that
// takes the group label and two values of the row's kind.
void ap7e_append_line(AP48_TEXT* text, uint16_t row_number, const ap7e_row& row, const char* group_label,
                      ap7e_value spectrum, ap7e_value settings) {
  const char* format = GU4_GetAssocString(AP7E_GROUP_COMPARE_LINES, row_number, nullptr, nullptr);
  if (format == nullptr) return;
  char line[kLineSize];
  if (row.spectrum_labels != 0) {
    if (!ap7c_format_takes(format, "sss")) return;
    std::snprintf(line, sizeof line, format, group_label, ap7e_label(row.settings_labels, settings.bits).c_str(),
                  ap7e_label(row.spectrum_labels, spectrum.bits).c_str());
  } else if (row.kind == ap7e_kind::real) {
    if (!ap7c_format_takes(format, "sff")) return;
    std::snprintf(line, sizeof line, format, group_label, double{settings.real()}, double{spectrum.real()});
  } else {
    if (!ap7c_format_takes(format, "sll")) return;
    const bool narrow = row.kind == ap7e_kind::integer16;
    const auto settings_number = static_cast<long>(narrow ? static_cast<uint16_t>(settings.bits) : settings.bits);
    const auto spectrum_number = static_cast<long>(narrow ? static_cast<uint16_t>(spectrum.bits) : spectrum.bits);
    std::snprintf(line, sizeof line, format, group_label, settings_number, spectrum_number);
  }
  GU2_DoMethod_MSG(AP48_MSG_APPEND, text, line);
}

// The final format the spectrum's Y unit gives; 0 when it gives none.
uint32_t ap7e_final_format(const AP41_HEADERDATA& record) {
  const auto y_units = static_cast<uint16_t>(record.y_units);
  if (GU4_GetAssocString(AP7E_GROUP_FINAL_FORMATS, y_units, nullptr, nullptr) != nullptr) return record.y_units;
  if (GU4_GetAssocString(AP7E_GROUP_RAMAN_FORMATS, y_units, nullptr, nullptr) == nullptr) return 0;
  if (record.x_units == AP41_XUNITS_RAMAN_SHIFT) return kRamanShiftFormat;
  if (record.x_units == static_cast<uint32_t>(AP1_XUNIT_WAVENUMBERS)) return kRamanIntensityFormat;
  return 0;
}

}  // namespace

uint16_t ap7e_CompareCollectParams(AP7_SPECTRUM* spectrum, void* collection, void* bench, AP48_TEXT* text,
                                   uint16_t* counts, uint16_t groups, uint16_t* group, uint16_t* differs,
                                   uint16_t rows) {
  AP41_SPECTRALHEADER* header = ap7b_GetHeader(ap7a_spectrum(spectrum));
  if (header == nullptr) return 0;
  if (IsBadWritePtr(counts, (size_t{groups} + 1) * sizeof *counts) ||
      (rows > 0 && (IsBadReadPtr(group, size_t{rows} * sizeof *group) ||
                    IsBadWritePtr(differs, size_t{rows} * sizeof *differs))))
    return 0;
  std::fill(counts, counts + groups + 1, uint16_t{0});
  std::fill(differs, differs + rows, uint16_t{0});
  const uint16_t compared = std::min(rows, AP7E_COLLECT_ROWS);
  uint32_t counted = 0;
  for (uint16_t g = groups; g >= 1; --g) {
    const char* label = GU4_GetAssocString(AP7E_GROUP_COMPARE_GROUPS, g, nullptr, nullptr);
    for (uint16_t k = 0; k < compared; ++k) {
      if (group[k] != g) continue;
      const ap7e_row& row = kRows[k];
      void* object = row.side == ap7e_side::bench ? bench : collection;
      if (object == nullptr) continue;
      const ap7e_value mine = ap7e_spectrum_value(header, row);
      const ap7e_value theirs = row.via_message != 0
                                    ? ap7e_value{ap7e_bench_code(object, row.via_message, row.parameter)}
                                    : ap7e_read(object, row.parameter);
      if (!ap7e_differ(row, mine, theirs, header->data)) continue;
      differs[k] = g;
      ++counts[g];
      ++counted;
      if (text != nullptr) ap7e_append_line(text, k, row, label != nullptr ? label : "", mine, theirs);
    }
  }
  counts[0] = static_cast<uint16_t>(rows - counted);
  return 1;
}

uint16_t ap7e_DeriveCollectParams(AP7_SPECTRUM* spectrum, void* collection, void* bench, uint16_t gain) {
  AP41_SPECTRALHEADER* header = ap7b_GetHeader(ap7a_spectrum(spectrum));
  if (header == nullptr || collection == nullptr || bench == nullptr) return AP7E_DERIVE_REFUSED;
  const AP41_HEADERDATA& record = header->data;
  float resolution = 0.0f;
  const int16_t zero_fill = ap7e_zero_fill(record);
  if (!ap7e_resolution(record, &resolution) || zero_fill == AP1_NO_ZERO_FILL) return AP7E_DERIVE_REFUSED;

  float ssp = 0.0f;
  uint32_t q[8] = {};
  float data_spacing = 0.0f;
  AP1_ConvertParam_MATH(resolution, zero_fill, record.LaserFreq, record.last_x, &ssp, &q[0], &q[1], &q[2], &q[3],
                        &q[4], &q[5], &q[6], &q[7], &data_spacing);
  const uint32_t total = q[0], input = q[1], fft = q[2], phase = q[3], transform = q[4], pre_peak = q[5],
                 peak = q[6];
  const auto corr_error = static_cast<uint16_t>(q[7]);
  if (!ap7e_valid(bench, 8, &ssp) || !ap7e_valid(collection, 27, &input) || !ap7e_valid(collection, 7, &fft) ||
      !ap7e_valid(collection, 8, &phase) || !ap7e_valid(collection, 9, &transform) ||
      !ap7e_valid(collection, 6, &pre_peak) || !ap7e_valid(bench, 16, &peak) ||
      !ap7e_valid(collection, 5, &corr_error))
    return AP7E_DERIVE_REFUSED;
  const uint32_t final_format = ap7e_final_format(record);
  if (final_format == 0) return AP7E_DERIVE_NO_FORMAT;

  const float aperture = record.Aperture;
  ap7e_write(bench, 6, ap7e_value::of_real(ap7e_valid(bench, 6, &aperture) ? aperture : kDefaultAperture));
  ap7e_write(bench, 7, ap7e_value::of_real(record.Velocity));
  ap7e_write(bench, 8, ap7e_value::of_real(ssp));
  ap7e_write(bench, 15, ap7e_value{total});
  if (gain != 0) {
    ap7e_write(collection, 28, ap7e_value{0});
    const float spectrum_gain = record.Gain;
    if (ap7e_valid(bench, 12, &spectrum_gain)) ap7e_write(bench, 12, ap7e_value::of_real(spectrum_gain));
  }

  float low = record.first_x;
  float high = record.last_x;
  if (final_format == kRamanShiftFormat || final_format == kRamanShiftFormatAlt) {
    const float laser = ap7d_DefaultRamanLaser();
    low = laser - record.last_x;
    high = laser - record.first_x;
  } else if (final_format == kInterferogramFormat) {
    bool splitter_read = false;
    const uint32_t splitter = ap7e_bench_code(bench, AP7E_BENCH_MSG_BEAMSPLITTER_CODE, 5, &splitter_read);
    const uint32_t detector = ap7e_bench_code(bench, AP7E_BENCH_MSG_DETECTOR_CODE, 3);
    uint16_t range_low = 0;
    uint16_t range_high = 0;
    AP1_CalcMaxRng_MATH(static_cast<int16_t>(ap7e_read(bench, 4).bits),
                        static_cast<int16_t>(splitter_read ? splitter : 0), static_cast<int16_t>(detector), 0,
                        &range_low, &range_high);
    low = range_low;
    high = range_high;
    if (range_low == 0 && range_high == 0) {
      low = kLowestRange;
      high = kHighestRange;
    }
  }
  ap7e_write(bench, 29, ap7e_value::of_real(low));
  ap7e_write(bench, 30, ap7e_value::of_real(high));
  ap7e_write(bench, 16, ap7e_value{peak});

  ap7e_write(collection, 0, ap7e_value::of_real(resolution));
  ap7e_write(collection, 6, ap7e_value{pre_peak});
  ap7e_write(collection, 7, ap7e_value{fft});
  ap7e_write(collection, 8, ap7e_value{phase});
  ap7e_write(collection, 9, ap7e_value{transform});
  ap7e_write(collection, 27, ap7e_value{input});
  ap7e_write16(collection, 5, corr_error);
  ap7e_write(collection, 16, ap7e_value{final_format});
  ap7e_write(collection, 15, ap7e_value{static_cast<uint32_t>(zero_fill)});
  ap7e_write(collection, 1, ap7e_value{record.NumScans});
  ap7e_write16(collection, 10, static_cast<uint16_t>(record.ApodID));
  ap7e_write16(collection, 11, static_cast<uint16_t>(record.PhaseCorrID));
  if (record.BKNumScans != record.NumScans) {
    ap7e_write16(collection, 63, 1);
    ap7e_write(collection, 64, ap7e_value{record.BKNumScans});
  }
  GU2_DoMethod_MSG(AP7E_BENCH_MSG_FILLED, bench, nullptr);
  return AP7E_DERIVE_DONE;
}
