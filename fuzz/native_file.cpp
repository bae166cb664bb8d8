// Fuzz target of the native container: arbitrary bytes as a native file.
// The file is tested for the format and opened read-only as its own file
// type; every entry of the directory is looked up and its section read into
// memory, the fixed layouts also into a buffer of their size, and the
// members are walked by key 2. When it opens for writing too, a section is
// written (the directory may grow), the file compacted and saved, and it
// must then open again with that section reading back as written. The
// library is loaded and released around each input, so every block, object
// and handle is given back. Seeds: fuzz/native_file_seeds.py.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/core.h"
#include "files/files.h"
#include "fuzz/input_file.h"
#include "fuzz/library.h"

namespace {

void check(bool fact) {
  if (!fact) std::abort();
}

const fuzz::InputFile& input_file() {
  static const fuzz::InputFile file("native_file", ".spa");
  return file;
}

const std::string& input_path() { return input_file().path(); }

// Section types whose readers take a fixed layout, read into a buffer of
// the longest of them (the signature block).
constexpr uint16_t kLayoutTypes[] = {2, 100, 101, 105, 106, 107, 146, 199};
constexpr uint32_t kLayoutBuffer = 1024;
constexpr uint16_t kWrittenType = 181;
constexpr char kWritten[] = "fuzz section";

uint32_t touch(GU3_HANDLE block, uint32_t length) {
  const auto* bytes = static_cast<const uint8_t*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
  uint32_t sum = 0;
  for (uint32_t index = 0; bytes != nullptr && index < length; ++index) sum += bytes[index];
  return sum;
}

void walk(AP20_FILE* file) {
  AP20_FILEHEADER* header = file->header;
  check(header->count <= header->blocks * AP20_ENTRIES_PER_BLOCK);
  char buffer[kLayoutBuffer];
  for (uint32_t index = 0; index < header->count; ++index) {
    const AP20_DIRENTRY entry = file->directory[index];
    uint32_t length = 0;
    GU3_HANDLE block = ap20b_ReadOpenSection(file, entry.type, entry.key2, entry.key3, &length);
    touch(block, length);
    GU3_Free_MM(block);
    for (uint16_t type : kLayoutTypes) {
      uint16_t at = static_cast<uint16_t>(index);
      if (type == entry.type) ap20b_ReadSectionInto(file, header, file->directory, type, entry.key2, entry.key3, buffer, &at);
    }
    uint16_t of_type = 0;
    ap20b_HasSection(header, file->directory, entry.type, entry.key2, entry.key3, &of_type);
    check(of_type >= 1);
  }
  uint16_t member = AP20_NO_KEY2;
  for (uint32_t step = 0; step <= header->count; ++step) {
    if (!ap20b_NextKey2(header, file->directory, AP20_SECTION_HEADER, member, &member)) break;
  }
  ap20b_HighestKey2(header, file->directory, AP20_SECTION_HEADER);
}

// Writes a section, compacts and saves; when all of it succeeded the file
// must open again with the section as written.
void rewrite(AP20_FILE* file, uint16_t file_type) {
  ap20_SetGrowth(file, 1);
  GU3_HANDLE data = GU3_Allocate_MM(sizeof kWritten, 1, GU3_KIND_GLOBAL);
  std::memcpy(GU3_GetPointer_MM(data, 0, nullptr, nullptr), kWritten, sizeof kWritten);
  const bool written = ap20b_WriteOpenSection(file, kWrittenType, sizeof kWritten, data, 0, 0, 0) != 0;
  GU3_Free_MM(data);
  const bool compacted = written && ap20b_Compact(file) != 0;
  const bool saved = ap20a_SaveNative(file) != 0;
  if (!written || !compacted || !saved) return;
  check(ap20a_OpenNative(file, input_path().c_str(), 0, file_type, AP20_MSG_OPEN_NATIVE_READ) == AP20_NATIVE_OPENED);
  uint32_t length = 0;
  GU3_HANDLE block = ap20b_ReadOpenSection(file, kWrittenType, 0, 0, &length);
  check(block != nullptr && length == (sizeof kWritten + 3) / 4 * 4);
  check(std::memcmp(GU3_GetPointer_MM(block, 0, nullptr, nullptr), kWritten, sizeof kWritten) == 0);
  GU3_Free_MM(block);
  walk(file);
  ap20a_CloseNative(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  input_file().write(data, size);
  check(fuzz::load_library());
  AP20_FILE* file = ap20_file(ap2_New_OBJ(AP20_CLASS_ID, nullptr));
  check(file != nullptr);
  uint16_t file_type = 0;
  uint32_t error = 0;
  ap20a_FormatTest(file, input_path().c_str(), &file_type, &error);
  if (ap20a_OpenNative(file, input_path().c_str(), 0, file_type, AP20_MSG_OPEN_NATIVE_READ) == AP20_NATIVE_OPENED) {
    walk(file);
    ap20a_CloseNative(file);
    if (ap20a_OpenNative(file, input_path().c_str(), 0, file_type, AP20_MSG_OPEN_NATIVE) == AP20_NATIVE_OPENED)
      rewrite(file, file_type);
  } else {
    check(file->header == nullptr && !ap20_IsOpen(file));
  }
  check(ap20_Destroy(file, nullptr) == AP_DESTROYED);
  fuzz::release_library();
  return 0;
}
