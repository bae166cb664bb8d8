// Fuzz target of the correction files and tables: arbitrary bytes read as
// a correction table and as a correction file "_corrn60.crn", whose
// vectors are then removed from a small spectrum whose collection picks
// that file. The library is loaded and released around each input, so
// every object and block is given back.
// Seeds: fuzz/correction_file_seeds.py.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "core/core.h"
#include "fuzz/input_file.h"
#include "fuzz/library.h"
#include "processing/processing.h"

namespace {

// A folder of its own for the correction file of this process.
const std::string& directory() {
  static const std::string folder = [] {
    std::random_device random;
    const auto path = std::filesystem::temp_directory_path() / ("correction_file_" + std::to_string(random()));
    std::filesystem::create_directories(path);
    return path.string();
  }();
  return folder;
}

void check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fuzz::InputFile table("correction_table", ".txt");
  table.write(data, size);
  const std::string file = directory() + "/_corrn60.crn";
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  check(fuzz::load_library());
  AP7E_CORRECTIONTABLE read;
  ap7e_ReadCorrectionTable(table.path().c_str(), &read);
  AP7E_CORRECTIONHEAD head{};
  AP4_ARRAY* vectors = nullptr;
  if (ap7e_ReadCorrectionFile(file.c_str(), &head, &vectors)) {
    check(uint64_t{head.rows} * head.columns * sizeof(float) + sizeof head == size);
    if (vectors != nullptr) ap4a_Delete(vectors, nullptr);
  } else {
    check(vectors == nullptr);
  }
  // 16 points over 1000..1015, collected so that level 6 without zero
  // filling applies.
  AP7_SPECTRUM* spectrum = ap7a_NewInit(AP7_CLASS_ID, 16, nullptr);
  if (AP41_HEADERDATA* record = ap7a_record(spectrum)) {
    record->first_x = 1000.0f;
    record->last_x = 1015.0f;
    record->SSP = 2.0f;
    record->NumPostPeakPts = 2048;
    record->NumTransformPts = 4096;
    float residual = 0.0f;
    ap7a_Delete(ap7e_ApplyCorrectionFrom(spectrum, directory().c_str(), &residual), nullptr);
    ap7a_Delete(spectrum, nullptr);
  }
  for (uint16_t class_id : {AP4_CLASS_ID, AP7_CLASS_ID}) check(APX_GetClassTable()->classes[class_id].live == 0);
  fuzz::release_library();
  return 0;
}
