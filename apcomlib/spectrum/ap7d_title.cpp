// A text put in front of a spectrum's title.
//
// Operations that make a new spectrum mark its title with a text from the
// associated-string resources; the header record is written directly, with
// no parameter messages and no change notices.
#include <cstring>

#include "core/core.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"
#include "util/util.h"

uint16_t ap7d_PrependTitle(AP7_SPECTRUM* spectrum, const char* text) {
  AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || IsBadStringPtrA(text, UINT32_MAX)) return 0;
  char joined[sizeof record->title];
  std::memcpy(joined, record->title, sizeof joined);
  joined[sizeof joined - 1] = '\0';
  // The old title is cut so that the whole fits.
  if (GU4_Prepend(joined, text, sizeof joined) == 0) return 0;
  std::memcpy(record->title, joined, sizeof joined);
  return 1;
}
