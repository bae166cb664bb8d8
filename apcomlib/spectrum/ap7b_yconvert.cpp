// The spectrum's fixed Y-unit conversions, messages 133 to 138: the Y values
// converted in place to absorbance, percent transmittance, photoacoustic
// units, Kubelka-Munk, percent reflectance or log(1/R), and the Y-unit code
// and history bits set to match.
//
// Every conversion goes through percent transmittance first and then
// applies one of the MATH Y-unit functions to the whole data array. The
// truncating flag picks the clamped forms of the logarithmic functions; the
// product setting "TruncateAbs" = 1 forces it on. The messages convert with
// the flag on; the conversion to a target code (ap7d_yunits.cpp) hands its
// caller's flag on.
#include <cmath>

#include "core/core.h"
#include "platform/registry.h"
#include "spectrum/spectrum.h"
#include "util/util.h"

namespace {

constexpr float kPercent = 100.0f;

// The truncating flag as the product setting leaves it.
bool ap7b_truncating(uint16_t truncate) {
  uint32_t forced = 0;
  if (GU9_GetDWordKeyValue(GU9_TALVO_KEY, "TruncateAbs", HKEY_LOCAL_MACHINE, &forced) == 1 && forced == 1) return true;
  return truncate != 0;
}

// A gain equal to its nearest whole number; a missing gain counts as 0.
bool ap7b_whole_gain(const AP41_HEADERDATA& record) {
  const float gain = std::isnan(record.Gain) ? 0.0f : record.Gain;
  return AP1_KovFloatCompareSG_MATH(gain, std::nearbyint(gain)) != 0;
}

// The function of a logarithmic conversion: clamped at the narrow or the
// wide limits by the gain, or only where the formula breaks down.
AP4_ELEMENTFUNCTION ap7b_pick(bool truncating, const AP41_HEADERDATA& record, AP4_ELEMENTFUNCTION narrow,
                              AP4_ELEMENTFUNCTION wide, AP4_ELEMENTFUNCTION absolute) {
  if (!truncating) return absolute;
  return ap7b_whole_gain(record) ? narrow : wide;
}

uint16_t ap7b_apply(AP7_SPECTRUM* spectrum, AP4_ELEMENTFUNCTION function) {
  return ap4b_ApplyFunction(spectrum->data, AP4_WHOLE_RANGE, function);
}

// The first step of every conversion: the values brought to percent
// transmittance and the code set to 16. A code outside the family changes
// nothing and fails.
uint16_t ap7b_to_percent(AP7_SPECTRUM* spectrum, bool truncating) {
  AP41_HEADERDATA& record = *ap7a_record(spectrum);
  uint16_t done = 1;
  switch (record.y_units) {
    case AP1_YUNIT_PERCENT_TRANSMITTANCE: return 1;
    case AP1_YUNIT_TRANSMITTANCE:
    case AP1_YUNIT_REFLECTANCE: done = ap4a_MultiplyScalar(spectrum->data, AP4_WHOLE_RANGE, kPercent); break;
    case AP1_YUNIT_ABSORBANCE:
    case AP1_YUNIT_LOG_INVERSE_R:
      done = ap7b_apply(spectrum, ap7b_pick(truncating, record, AP1_FromAbs_MATH, AP1_FromAbsExpand_MATH,
                                            AP1_FromAbsAbsolute_MATH));
      break;
    case AP1_YUNIT_KUBELKA_MUNK: done = ap7b_apply(spectrum, AP1_FromKM_MATH); break;
    case AP1_YUNIT_PHOTOACOUSTIC: AP1_FromPAS_MATH(); break;
    case AP1_YUNIT_PERCENT_REFLECTANCE: break;
    default: return 0;
  }
  if (done == 0) return 0;
  record.y_units = AP1_YUNIT_PERCENT_TRANSMITTANCE;
  return 1;
}

uint16_t ap7b_to_absorbance(AP7_SPECTRUM* spectrum, bool truncating) {
  if (ap7b_to_percent(spectrum, truncating) == 0) return 0;
  AP41_HEADERDATA& record = *ap7a_record(spectrum);
  AP1_SetGainType_MATH(spectrum);
  if (ap7b_apply(spectrum, ap7b_pick(truncating, record, AP1_ToAbs_MATH, AP1_ToAbsExpand_MATH,
                                     AP1_ToAbsAbsolute_MATH)) == 0)
    return 0;
  record.y_units = AP1_YUNIT_ABSORBANCE;
  ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(spectrum), AP41_HISTORY_TO_ABSORBANCE);
  return 1;
}

// The frame every message shares: the spectrum already in the target unit
// answers 1 at once; otherwise the conversion runs inside one change bracket.
template <typename Conversion>
uint16_t ap7b_convert(AP7_SPECTRUM* spectrum, uint32_t target, Conversion conversion) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  AP41_HEADERDATA* record = ap7a_record(checked);
  if (record == nullptr || checked->data == nullptr) return 0;
  if (record->y_units == target) return 1;
  ap7a_change_bracket bracket(checked);
  if (!bracket.begun()) return 0;
  return conversion(checked);
}

}  // namespace

uint16_t ap7b_ConvertToAbsorbance(AP7_SPECTRUM* spectrum, uint16_t truncate) {
  const bool truncating = ap7b_truncating(truncate);
  return ap7b_convert(spectrum, AP1_YUNIT_ABSORBANCE,
                      [truncating](AP7_SPECTRUM* s) { return ap7b_to_absorbance(s, truncating); });
}

uint16_t ap7b_ConvertToTransmittance(AP7_SPECTRUM* spectrum, uint16_t truncate) {
  const bool truncating = ap7b_truncating(truncate);
  return ap7b_convert(spectrum, AP1_YUNIT_PERCENT_TRANSMITTANCE,
                      [truncating](AP7_SPECTRUM* s) { return ap7b_to_percent(s, truncating); });
}

uint16_t ap7b_ConvertToPAS(AP7_SPECTRUM* spectrum, uint16_t truncate) {
  const bool truncating = ap7b_truncating(truncate);
  return ap7b_convert(spectrum, AP1_YUNIT_PHOTOACOUSTIC, [truncating](AP7_SPECTRUM* s) -> uint16_t {
    if (ap7b_to_percent(s, truncating) == 0) return 0;
    AP1_ToPAS_MATH();
    ap7a_record(s)->y_units = AP1_YUNIT_PHOTOACOUSTIC;
    ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(s), AP41_HISTORY_TO_PHOTOACOUSTIC);
    return 1;
  });
}

uint16_t ap7b_ConvertToKM(AP7_SPECTRUM* spectrum, uint16_t truncate) {
  const bool truncating = ap7b_truncating(truncate);
  return ap7b_convert(spectrum, AP1_YUNIT_KUBELKA_MUNK, [truncating](AP7_SPECTRUM* s) -> uint16_t {
    if (ap7b_to_percent(s, truncating) == 0) return 0;
    AP41_HEADERDATA& record = *ap7a_record(s);
    if (ap7b_apply(s, ap7b_pick(truncating, record, AP1_ToKM_MATH, AP1_ToKMExpand_MATH, AP1_ToKMAbsolute_MATH)) == 0)
      return 0;
    record.y_units = AP1_YUNIT_KUBELKA_MUNK;
    ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(s), AP41_HISTORY_TO_KUBELKA_MUNK);
    return 1;
  });
}

// Percent reflectance holds the same numbers as percent transmittance.
uint16_t ap7b_ConvertUnits137(AP7_SPECTRUM* spectrum, uint16_t truncate) {
  const bool truncating = ap7b_truncating(truncate);
  return ap7b_convert(spectrum, AP1_YUNIT_PERCENT_REFLECTANCE, [truncating](AP7_SPECTRUM* s) -> uint16_t {
    if (ap7b_to_percent(s, truncating) == 0) return 0;
    ap7a_record(s)->y_units = AP1_YUNIT_PERCENT_REFLECTANCE;
    return 1;
  });
}

// log(1/R) holds the same numbers as absorbance.
uint16_t ap7b_ConvertUnits138(AP7_SPECTRUM* spectrum, uint16_t truncate) {
  const bool truncating = ap7b_truncating(truncate);
  return ap7b_convert(spectrum, AP1_YUNIT_LOG_INVERSE_R, [truncating](AP7_SPECTRUM* s) -> uint16_t {
    if (ap7a_record(s)->y_units != AP1_YUNIT_ABSORBANCE && ap7b_to_absorbance(s, truncating) == 0) return 0;
    ap7a_record(s)->y_units = AP1_YUNIT_LOG_INVERSE_R;
    return 1;
  });
}

// Callers that convert back afterwards need to know whether anything was
// converted: already percent transmittance answers 0.
uint16_t ap7b_ToTransmittance(AP7_SPECTRUM* spectrum, uint16_t option) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || record->y_units == AP1_YUNIT_PERCENT_TRANSMITTANCE) return 0;
  return ap7b_ConvertToTransmittance(spectrum, option);
}
