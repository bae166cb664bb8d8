// Fuzz target of the spectrum built from packed library data (message 179):
// the input is one library record,
//     0  8  f64 x1
//     8  8  f64 x2
//    16  4  u32 y-unit code
//    20  2  u16 library kind
//    22  2  u16 bytes per value
//    24  4  u32 count
//    28  1  title length t
//    29  t  title (no terminator)
//  29+t     the values
// The values go into a block of exactly count × bytes bytes (zero after the
// input's own), so that reading past the values the record claims is an
// AddressSanitizer report; a claim above 1 MiB passes no block at all. A
// spectrum comes out exactly when the sizes are sound, holding count
// points in the unit's span, with its title cut to 255 characters; every
// object is given back.
//
// Seeds (fuzz/corpus/library_data/): words.bin two-byte %T values;
// bytes.bin one-byte absorbance values; floats.bin four-byte values;
// odd_width.bin three-byte values; long_count.bin a count beyond its data.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/core.h"
#include "fuzz/file_objects.h"
#include "fuzz/library.h"
#include "spectrum/spectrum.h"

namespace {

using fuzz::check;
using fuzz::destroy;

constexpr size_t kRecordHead = 29;
constexpr size_t kLargestBlock = size_t{1} << 20;

template <typename T>
T field(const uint8_t* data, size_t offset) {
  T value;
  std::memcpy(&value, data + offset, sizeof value);
  return value;
}

bool sound(double x1, double x2, uint32_t count, uint16_t bytes, bool block) {
  return block && (bytes == 1 || bytes == 2 || bytes == 4) && count > 0 && count <= AP7_MOST_POINTS &&
         std::isfinite(x1) && std::isfinite(x2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kRecordHead) return 0;
  const auto x1 = field<double>(data, 0);
  const auto x2 = field<double>(data, 8);
  const auto y_units = field<uint32_t>(data, 16);
  const auto kind = field<uint16_t>(data, 20);
  const auto bytes = field<uint16_t>(data, 22);
  const auto count = field<uint32_t>(data, 24);
  const size_t title_length = std::min<size_t>(data[28], size - kRecordHead);
  const std::string title(reinterpret_cast<const char*>(data + kRecordHead), title_length);
  const uint8_t* values = data + kRecordHead + title_length;
  const size_t held = size - kRecordHead - title_length;

  const uint64_t claimed = uint64_t{count} * bytes;
  std::vector<uint8_t> block;
  const bool with_block = claimed > 0 && claimed <= kLargestBlock;
  if (with_block) {
    block.assign(static_cast<size_t>(claimed), 0);
    std::memcpy(block.data(), values, std::min<size_t>(held, block.size()));
  }

  check(fuzz::load_library());
  uint16_t class_id = AP7_CLASS_ID;
  AP7_LIBRARYDATAPARM parameter{x1,         x2,   with_block ? block.data() : nullptr, y_units, 1, title.c_str(),
                                "second", kind, count, bytes};
  auto* spectrum =
      ap_result_object<AP7_SPECTRUM>(GU2_DoMethod_MSG(AP7_MSG_NEW_FROM_LIBRARY_DATA, &class_id, &parameter));
  check((spectrum != nullptr) == sound(x1, x2, count, bytes, with_block));
  if (spectrum != nullptr) {
    const AP41_HEADERDATA& record = spectrum->header->data;
    check(record.points == count && spectrum->data->columns == count);
    check(record.first_x <= record.last_x);
    check(std::strlen(record.title) <= 255);
    const float* y = ap7b_GetDataPtr(spectrum);
    if (bytes == 4) {
      check(std::memcmp(y, block.data(), block.size()) == 0);
    } else {
      for (uint32_t i = 0; i < count; ++i) check(y[i] >= 0.001f && y[i] <= 100.0f);
    }
    destroy(spectrum);
  }
  check(APX_GetClassTable()->classes[AP7_CLASS_ID].live == 0);
  fuzz::release_library();
  return 0;
}
