// Fuzz target of the DATAPAIR stream reader: arbitrary bytes are read as
// the stored pair list at the start of a file, once into a new list and
// once into an existing one. A list read must be sound (no block without
// pairs, a block that holds every pair), must have come from bytes the file
// really held, and must write back as exactly those bytes; a refused stream
// leaves the existing list as it was, and no list outlives its input.
//
// Seeds (fuzz/corpus/datapair_stream/, made by datapair_stream_seeds.py):
// a u32 count, then 16-byte entries (u16 tag, 6 reserved bytes, f32 x,
// f32 y): three_pairs.bin, empty.bin (count 0), cut_short.bin (two pairs
// announced, one and a half held) and huge_count.bin (a count whose bytes
// wrap 32 bits).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "array/array.h"
#include "core/core.h"
#include "files/files.h"
#include "library_home.h"

namespace {

using fuzz::check;
using fuzz::destroy;

void check_sound(const AP9_DATAPAIR* pairs) {
  if (pairs->count == 0) return;
  check(pairs->pairs != nullptr && GU3_NumElements_MM(pairs->pairs) >= pairs->count);
}

// The list written to a file gives back the bytes it was read from.
void check_writes_back(AP9_DATAPAIR* pairs, const uint8_t* data) {
  const std::string path = fuzz::library_home() + "/written.bin";
  AP20_FILE* file = fuzz::opened_file(path, AP20_MODE_CREATE);
  check(GU2_DoMethod_MSG(AP_MSG_WRITE, pairs, file) == 1);
  GU2_DoMethod_MSG(AP20_MSG_CLOSE, file, nullptr);
  destroy(file);
  const size_t bytes = 4 + size_t{pairs->count} * sizeof(AP9_PAIR);
  std::FILE* in = std::fopen(path.c_str(), "rb");
  check(in != nullptr);
  std::string written(bytes + 1, '\0');
  check(std::fread(written.data(), 1, written.size(), in) == bytes);
  std::fclose(in);
  check(std::memcmp(written.data(), data, bytes) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzz::library_home() + "/stream.bin";
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return 0;
  std::fwrite(data, 1, size, out);
  std::fclose(out);
  AP20_FILE* file = fuzz::opened_file(path, AP20_MODE_READ);

  uint16_t pair_class = AP9_CLASS_ID;
  AP_READPARM create{&file->head, 1};
  if (auto* read = ap_result_object<AP9_DATAPAIR>(GU2_DoMethod_MSG(AP_MSG_READ, &pair_class, &create))) {
    check_sound(read);
    check(4 + uint64_t{read->count} * sizeof(AP9_PAIR) <= size);
    check_writes_back(read, data);
    destroy(read);
  }

  check(GU2_DoMethod_MSG(AP20_MSG_REWIND, file, nullptr) == 1);
  AP9_NEWPARM new_list{2, nullptr};
  auto* existing = ap_result_object<AP9_DATAPAIR>(GU2_DoMethod_MSG(AP_MSG_NEW, &pair_class, &new_list));
  check(existing != nullptr);
  AP9_SETPARM first{0, 7, 1.5f, -2.5f};
  check(GU2_DoMethod_MSG(AP9_MSG_SET_PAIR, existing, &first) == 1);
  AP_READPARM into{&file->head, 0};
  const uint32_t taken = GU2_DoMethod_MSG(AP_MSG_READ, existing, &into);
  check_sound(existing);
  if (taken == 0) {
    check(existing->count == 2);
    const AP9_PAIR* kept = ap9_pairs(existing);
    check(kept[0].tag == 7 && kept[0].x == 1.5f && kept[0].y == -2.5f);
  }
  destroy(existing);

  GU2_DoMethod_MSG(AP20_MSG_CLOSE, file, nullptr);
  destroy(file);
  check(APX_GetClassTable()->classes[AP9_CLASS_ID].live == 0);
  return 0;
}
