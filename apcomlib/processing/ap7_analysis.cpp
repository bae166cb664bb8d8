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
    case AP7_MSG_LIST_STATISTICS: return sizeof(AP7_LISTSTATISTICSPARM);
    case AP7_MSG_X_TO_WAVENUMBERS:
    case AP7_MSG_X_TO_MICROMETRES:
    case AP7_MSG_X_TO_NANOMETRES: return sizeof(AP7_XUNITSPARM);
    case AP7_MSG_SPECTRAL_FORMULA: return sizeof(AP7_FORMULAPARM);
    default: return 0;
  }
}

}  // namespace

uint32_t ap7_AnalysisMessage(AP7_SPECTRUM* spectrum, uint16_t message, void* parameter) {
  if (spectrum == nullptr || IsBadReadPtr(parameter, ap7_analysis_block_size(message))) return 0;
  switch (message) {
    case AP7_MSG_LIST_STATISTICS: {
      const auto* block = static_cast<const AP7_LISTSTATISTICSPARM*>(parameter);
      return ap_object_result(ap7e_ListStatistics(block->items, block->derivative, block->statistic, block->status));
    }
    case AP7_MSG_X_TO_WAVENUMBERS: return ap7c_XAxisToWavenumbers(spectrum, static_cast<const AP7_XUNITSPARM*>(parameter)->step);
    case AP7_MSG_X_TO_MICROMETRES: return ap7c_XAxisToMicrometres(spectrum, static_cast<const AP7_XUNITSPARM*>(parameter)->step);
    case AP7_MSG_X_TO_NANOMETRES:  return ap7c_XAxisToNanometres(spectrum, static_cast<const AP7_XUNITSPARM*>(parameter)->step);
    case AP7_MSG_SPECTRAL_FORMULA: {
      const auto* block = static_cast<const AP7_FORMULAPARM*>(parameter);
      return ap_object_result(ap7c_ParseSpectralFormula(spectrum, block->b, block->text, block->k));
    }
    default: return 0;
  }
}
