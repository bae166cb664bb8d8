// Fuzz target of the array file block reader: arbitrary bytes are read as
// the block at the start of a file, once into a new array and once into an
// existing one. Whatever comes back must be a sound array (both dimensions 0
// without a data block, or both above 0 with a block of exactly rows ×
// columns floats that the file really held); a refused block leaves the
// existing array as it was, and no array outlives its input.
//
// Seeds (fuzz/corpus/array_block/), little-endian u32 rows and columns, then
// the floats: two_by_three.blk holds 2 × 3 floats 1 to 6; empty.blk is
// rows 0 and columns 0; cut_short.blk announces 2 × 2 floats and holds three.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "array/array.h"
#include "core/core.h"
#include "files/files.h"
#include "library_home.h"

namespace {

using fuzz::check;
using fuzz::destroy;

// The file each input is written to.
const std::string& block_file() {
  static const std::string path = fuzz::library_home() + "/block.bin";
  return path;
}

void check_sound(const AP4_ARRAY* array) {
  const uint32_t rows = array->rows;
  const uint32_t columns = array->columns;
  if (rows == 0 || columns == 0) {
    check(rows == 0 && columns == 0 && array->data == nullptr);
    return;
  }
  check(static_cast<int32_t>(rows) > 0 && static_cast<int32_t>(columns) > 0);
  check(uint64_t{rows} * columns == GU3_NumElements_MM(array->data));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = block_file();
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return 0;
  std::fwrite(data, 1, size, out);
  std::fclose(out);

  uint16_t file_class = AP20_CLASS_ID;
  AP_NEWPARM new_file{AP20_CLASS_ID, nullptr};
  auto* file = ap_result_object<AP20_FILE>(GU2_DoMethod_MSG(AP_MSG_NEW, &file_class, &new_file));
  check(file != nullptr);
  AP20_NAMEPARM name{nullptr, path.c_str()};
  AP20_OPENPARM open{AP20_MODE_READ, 0, 0};
  check(GU2_DoMethod_MSG(AP20_MSG_SET_NAME, file, &name) == 1 && GU2_DoMethod_MSG(AP20_MSG_OPEN, file, &open) == 1);

  uint16_t array_class = AP4_CLASS_ID;
  AP_READPARM create{&file->head, 1};
  if (auto* read = ap_result_object<AP4_ARRAY>(GU2_DoMethod_MSG(AP_MSG_READ, &array_class, &create))) {
    check_sound(read);
    check(sizeof(AP4_FILEBLOCK) + uint64_t{read->rows} * read->columns * sizeof(float) <= size);
    destroy(read);
  }

  check(GU2_DoMethod_MSG(AP20_MSG_REWIND, file, nullptr) == 1);
  AP4_NEWPARM new_array{nullptr, 2, 3};
  auto* existing = ap_result_object<AP4_ARRAY>(GU2_DoMethod_MSG(AP_MSG_NEW, &array_class, &new_array));
  check(existing != nullptr);
  AP_READPARM into{&file->head, 0};
  const uint32_t taken = GU2_DoMethod_MSG(AP_MSG_READ, existing, &into);
  check_sound(existing);
  if (taken == 0) check(existing->rows == 2 && existing->columns == 3);
  destroy(existing);

  GU2_DoMethod_MSG(AP20_MSG_CLOSE, file, nullptr);
  destroy(file);
  check(APX_GetClassTable()->classes[AP4_CLASS_ID].live == 0);
  return 0;
}
