// The analysis half of the SPECTRUM class's message table: the processing
// messages, each checked for its parameter block and handed to the module
// that answers it. The spectrum dispatcher sends here every number it does
// not answer itself; a number neither table lists answers 0.
#include "processing/processing.h"

#include "platform/memory.h"

namespace {

// Size of the parameter block each analysis message reads, checked before
// the block is unpacked.
uint32_t ap7_analysis_block_size(uint16_t message) {
  switch (message) {
    case AP7_MSG_POWER_SPECTRUM: return sizeof(AP7G_POWERPARM);
    case AP7_MSG_ATR_CORRECTION: return sizeof(AP7G_ATRPARM);
    case AP7_MSG_KK_REFLECTANCE: return sizeof(AP7G_KKPARM);
    default: return 0;
  }
}

AP7_SPECTRUM* ap7g_power_transform(AP7_SPECTRUM* spectrum, const AP7G_POWERPARM* p) {
  return ap7g_SpectrumPowerTransform(spectrum, p->x1, p->x2, p->mode, p->limit, p->result);
}

AP7_SPECTRUM* ap7g_atr_correction(AP7_SPECTRUM* spectrum, const AP7G_ATRPARM* p) {
  return ap7g_ATRCorrection(spectrum, p->sample_index, p->crystal_index, p->reflections, p->angle);
}

uint32_t ap7g_kk_reflectance(AP7_SPECTRUM* spectrum, const AP7G_KKPARM* p) {
  return ap7g_KramersKronigReflectance(spectrum, p->n, p->k, p->absorption);
}

}  // namespace

uint32_t ap7_AnalysisMessage(AP7_SPECTRUM* spectrum, uint16_t message, void* parameter) {
  if (spectrum == nullptr || IsBadReadPtr(parameter, ap7_analysis_block_size(message))) return 0;
  switch (message) {
    case AP7_MSG_POWER_SPECTRUM: return ap_object_result(ap7g_power_transform(spectrum, static_cast<const AP7G_POWERPARM*>(parameter)));
    case AP7_MSG_ATR_CORRECTION: return ap_object_result(ap7g_atr_correction(spectrum, static_cast<const AP7G_ATRPARM*>(parameter)));
    case AP7_MSG_KK_REFLECTANCE: return ap7g_kk_reflectance(spectrum, static_cast<const AP7G_KKPARM*>(parameter));
    default: return 0;
  }
}
