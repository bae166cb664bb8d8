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
    default: return 0;
  }
}

}  // namespace

uint32_t ap7_AnalysisMessage(AP7_SPECTRUM* spectrum, uint16_t message, void* parameter) {
  if (spectrum == nullptr || IsBadReadPtr(parameter, ap7_analysis_block_size(message))) return 0;
  switch (message) {
    default: return 0;
  }
}
