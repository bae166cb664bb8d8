// The Raman X axis: a Raman spectrum is collected on absolute wavenumbers
// and shown as the shift from its laser line. These operations move a
// spectrum between the two axes, move or rescale the axis when the laser
// line or the reference laser frequency changes, and correct the
// intensities with a white-light reference against the black body of its
// source. AP7_Dispatcher_SPECTRUM calls them for messages 141, 142, 214, 218
// and 221; each marks its step in the history bits.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "chemometrics/chemometrics.h"
#include "core/core.h"
#include "spectrum/spectrum.h"
#include "util/util.h"

namespace {

// Source codes of the white-light lamp (header p45) and the temperatures
// of their black bodies, in kelvin.
constexpr uint32_t kSourceCool = 4;
constexpr uint32_t kSourceHot = 6;
constexpr float kTemperatureCool = 1570.0f;
constexpr float kTemperatureHot = 2370.0f;
constexpr float kTemperatureUsual = 1870.0f;

// What the history shows when the resource texts are not installed.
constexpr char kWhiteLightTag[] = "White light correction";
constexpr char kWhiteLightLine[] = "%s %s";
constexpr uint32_t kTimeTextSize = 128;
constexpr char kLineEnd[] = "\r\n";

const char* ap7d_history_text(uint16_t number, const char* fallback) {
  const char* text = GU4_GetAssocString(AP7_GROUP_HISTORY, number, nullptr, nullptr);
  return text != nullptr ? text : fallback;
}

bool ap7d_is_number(float value) { return std::isfinite(value); }

// A laser line that is set: a number and not 0.
bool ap7d_line_set(float line) { return ap7d_is_number(line) && AP1_KovFloatCompareSG_MATH(line, 0.0f) == 0; }

// Every annotation that is not protected is dropped: the axis they were
// placed on has gone. The gain type the annotation reads its Y values by
// is this spectrum's for the call.
void ap7d_clear_annotations(AP7_SPECTRUM* spectrum) {
  if (spectrum->annotation == nullptr) return;
  AP34_MASKPARM mask{0xFFFF};
  AP1_SetGainType_MATH(spectrum);
  GU2_DoMethod_MSG(AP34_MSG_DELETE_MASKED, spectrum->annotation, &mask);
  AP1_SetGainType_MATH(nullptr);
}

// The axis mirrored at the laser line: x becomes line - x, so the values
// are reversed to keep the axis running the same way.
bool ap7d_mirror_axis(AP7_SPECTRUM* spectrum, float line, uint32_t x_units) {
  AP41_HEADERDATA& record = *ap7a_record(spectrum);
  ap7a_change_bracket bracket(spectrum);
  if (!bracket.begun() || (spectrum->data != nullptr && ap4d_ReverseRows(spectrum->data) == 0)) return false;
  const float first_x = record.first_x;
  record.first_x = line - record.last_x;
  record.last_x = line - first_x;
  record.p44 = line;
  record.x_units = x_units;
  return true;
}

uint16_t ap7d_set_history(AP7_SPECTRUM* spectrum, int16_t bit) {
  return ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(spectrum), bit);
}

// The header's laser line, given the default when it has none.
void ap7d_ensure_line(AP41_HEADERDATA& record) {
  if (std::isnan(record.p44)) record.p44 = ap7d_DefaultRamanLaser();
}

float ap7d_source_temperature(const AP41_HEADERDATA& reference) {
  switch (reference.SourceID) {
    case kSourceCool: return kTemperatureCool;
    case kSourceHot: return kTemperatureHot;
    default: return kTemperatureUsual;
  }
}

// S multiplied point by point by the quotient Q where Q has a value at the
// same X; the points of S beyond Q, or where the reference had none (a cut
// copy pads with zeros, whose quotient is missing), stay as they are.
bool ap7d_multiply_by(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* quotient) {
  float* y = ap7b_GetDataPtr(spectrum);
  const float* q = ap7b_GetDataPtr(quotient);
  if (y == nullptr || q == nullptr) return false;
  const uint32_t n = std::min(ap7a_record(spectrum)->points, spectrum->data->columns);
  const uint32_t m = std::min(ap7a_record(quotient)->points, quotient->data->columns);
  int32_t offset = 0;
  if (m > 0 && !ap7b_XToIndex(spectrum, ap7a_record(quotient)->first_x, &offset)) return false;
  ap7a_change_bracket bracket(spectrum);
  if (!bracket.begun()) return false;
  for (uint32_t j = 0; j < m && offset + static_cast<int64_t>(j) < n; ++j)
    if (!std::isnan(q[j])) y[offset + j] *= q[j];
  return true;
}

void ap7d_add_white_light_line(AP7_SPECTRUM* spectrum, const char* tag) {
  char when[kTimeTextSize] = "";
  if (GU4_Time2StringSafe(GU4_SystemTime(), when, GU4_TIMEFMT_LONG2, sizeof when) == nullptr) when[0] = '\0';
  const char* format = ap7d_history_text(AP7_HISTORY_WHITE_LIGHT_LINE, kWhiteLightLine);
  const int size = std::snprintf(nullptr, 0, format, tag, when);
  if (size < 0) return;
  std::string line(static_cast<size_t>(size) + 1, '\0');
  std::snprintf(line.data(), line.size(), format, tag, when);
  line.resize(static_cast<size_t>(size));
  line += kLineEnd;
  ap7d_AddHistoryText(spectrum, line.c_str());
  ap7d_AddLoginUser(spectrum);
}

}  // namespace

float ap7d_DefaultRamanLaser() {
  float line = AP7_DEFAULT_RAMAN_LASER;
  if (GU9_BenchGetKeyFloat(AP7_RAMAN_LASER_SECTION, AP7_RAMAN_LASER_KEY, AP7_DEFAULT_RAMAN_LASER, &line) == 0 ||
      !ap7d_is_number(line))
    return AP7_DEFAULT_RAMAN_LASER;
  return line;
}

uint16_t ap7d_SetRamanLaserFreq(AP7_SPECTRUM* spectrum, float laser) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  const AP41_HEADERDATA* record = ap7a_record(checked);
  if (record == nullptr || record->x_units != AP1_XUNIT_WAVENUMBERS || !(record->first_x >= 0.0f) ||
      !(record->last_x >= 0.0f))
    return 0;
  float line = laser;
  if (!ap7d_is_number(line)) line = ap7d_line_set(record->p44) ? record->p44 : ap7d_DefaultRamanLaser();
  if (!ap7d_mirror_axis(checked, line, AP41_XUNITS_RAMAN_SHIFT)) return 0;
  ap7d_clear_annotations(checked);
  ap7d_set_history(checked, AP41_HISTORY_RAMAN_X);
  return 1;
}

uint16_t ap7d_RamanToAbsolute(AP7_SPECTRUM* spectrum) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  const AP41_HEADERDATA* record = ap7a_record(checked);
  if (record == nullptr) return 0;
  if (record->x_units != AP41_XUNITS_RAMAN_SHIFT && !(record->first_x < 0.0f) && !(record->last_x < 0.0f)) return 0;
  if (!ap7d_line_set(record->p44)) return 0;
  if (!ap7d_mirror_axis(checked, record->p44, AP1_XUNIT_WAVENUMBERS)) return 0;
  ap7d_clear_annotations(checked);
  ap7d_set_history(checked, AP41_HISTORY_RAMAN_ABSOLUTE);
  return 1;
}

uint16_t ap7d_ShiftRamanAxis(AP7_SPECTRUM* spectrum, float shift) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  AP41_HEADERDATA* record = ap7a_record(checked);
  if (record == nullptr || !ap7d_is_number(shift)) return 0;
  {
    ap7a_change_bracket bracket(checked);
    if (!bracket.begun()) return 0;
    ap7d_ensure_line(*record);
    record->first_x -= shift;
    record->last_x -= shift;
    record->p44 -= shift;
  }
  ap7d_set_history(checked, AP41_HISTORY_RAMAN_SHIFT);
  return 1;
}

// A frequency of 0 or below would fold the axis onto a point or turn it
// round, so only positive ones are taken.
uint16_t ap7d_ChangeLaserFrequency(AP7_SPECTRUM* spectrum, float frequency) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  AP41_HEADERDATA* record = ap7a_record(checked);
  if (record == nullptr || !ap7d_is_number(frequency) || !(frequency > 0.0f) || !ap7d_is_number(record->LaserFreq) ||
      !(record->LaserFreq > 0.0f))
    return 0;
  const double ratio = static_cast<double>(frequency) / record->LaserFreq;
  {
    ap7a_change_bracket bracket(checked);
    if (!bracket.begun()) return 0;
    ap7d_ensure_line(*record);
    record->first_x = static_cast<float>(record->first_x * ratio);
    record->last_x = static_cast<float>(record->last_x * ratio);
    record->p44 = static_cast<float>(record->p44 * ratio);
    record->LaserFreq = frequency;
  }
  ap7d_set_history(checked, AP41_HISTORY_LASER_ADJUSTMENT);
  return 1;
}

uint32_t ap7d_WhiteLightCorrect(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* reference) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  AP41_HEADERDATA* record = ap7a_record(checked);
  const AP41_HEADERDATA* white = ap7a_record(ap7a_spectrum(reference));
  if (record == nullptr || white == nullptr) return 0;
  const char* tag = ap7d_history_text(AP7_HISTORY_WHITE_LIGHT_TAG, kWhiteLightTag);
  const char* history = ap7d_GetHistoryText(checked);
  if (history != nullptr && std::strstr(history, tag) != nullptr) return 0;
  if (record->y_units == AP1_YUNIT_SINGLE_BEAM) {
    ap7a_change_bracket bracket(checked);
    if (bracket.begun()) record->y_units = AP1_YUNIT_RAMAN;
  }
  if (record->y_units != AP1_YUNIT_RAMAN || white->y_units != AP1_YUNIT_SINGLE_BEAM) return 0;
  uint32_t corrected = 0;
  ap7d_RamanToAbsolute(checked);
  {
    ap7a_new_spectrum body(ap7b_NewForSpacing(AP7_CLASS_ID, record->first_x, record->last_x,
                                              ap7b_GetXSpacing(checked), ap7d_source_temperature(*white)));
    ap7a_new_spectrum quotient(body.get() != nullptr ? ap7d_ReferenceDivide(body.get(), reference, 0) : nullptr);
    if (quotient.get() != nullptr && ap7d_multiply_by(checked, quotient.get())) corrected = 1;
  }
  ap7d_SetRamanLaserFreq(checked, AP1_GetNaNSG_MATH());
  ap7d_add_white_light_line(checked, tag);
  return corrected;
}
