// A spectrum's Y values converted in place to a Y-unit code its caller
// names, by choosing among the class's fixed conversions (ap7b_yconvert.cpp).
//
// Many spectrum operations bring their input to the unit they work in this
// way; AP7_Dispatcher_SPECTRUM calls it for message 204 with the truncating
// form of the logarithmic conversions.
#include "core/core.h"
#include "spectrum/spectrum.h"

namespace {

// The fractions are the percent units (already there or converted: a
// spectrum in percent is not converted again) divided by 100 over the whole
// data; the code is set whatever the division answers.
uint16_t ap7d_to_fraction(AP7_SPECTRUM* spectrum, uint16_t percent_result, uint32_t fraction_code) {
  if (percent_result == 0) return 0;
  ap7a_DivideScalar(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, 100.0f);
  ap7a_record(spectrum)->y_units = fraction_code;
  return 1;
}

}  // namespace

uint16_t ap7d_ConvertYUnitsEx(AP7_SPECTRUM* spectrum, uint16_t target, uint16_t option) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  const AP41_HEADERDATA* record = ap7a_record(checked);
  if (record == nullptr) return 0;
  if (record->y_units == target) return 1;
  switch (target) {
    case AP41_YUNITS_OTHER: return 1;
    case AP1_YUNIT_PERCENT_REFLECTANCE: return ap7b_ConvertUnits137(checked, option);
    case AP1_YUNIT_LOG_INVERSE_R: return ap7b_ConvertUnits138(checked, option);
    case AP1_YUNIT_PERCENT_TRANSMITTANCE: return ap7b_ConvertToTransmittance(checked, option);
    case AP1_YUNIT_ABSORBANCE: return ap7b_ConvertToAbsorbance(checked, option);
    case AP1_YUNIT_KUBELKA_MUNK: return ap7b_ConvertToKM(checked, option);
    case AP1_YUNIT_PHOTOACOUSTIC: return ap7b_ConvertToPAS(checked, option);
    case AP1_YUNIT_REFLECTANCE:
      return ap7d_to_fraction(checked, ap7b_ConvertUnits137(checked, option), AP1_YUNIT_REFLECTANCE);
    case AP1_YUNIT_TRANSMITTANCE:
      return ap7d_to_fraction(checked, ap7b_ConvertToTransmittance(checked, option), AP1_YUNIT_TRANSMITTANCE);
    default: return 0;
  }
}

uint16_t ap7d_ConvertYUnits(AP7_SPECTRUM* spectrum, uint16_t target) { return ap7d_ConvertYUnitsEx(spectrum, target, 1); }
