// Section writes and reads of the native container: a group file's worth of
// 1 KB sections written into a directory sized for them, the same written
// into a directory that has to grow (each growth moves every section written
// so far), and all of them read back.
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "core/core.h"
#include "library.h"
#include "files/files.h"

namespace {

constexpr uint32_t kSectionBytes = 1024;
constexpr uint16_t kSectionType = 3;

std::string bench_path() {
  return (std::filesystem::temp_directory_path() / "bench_native_sections.spg").string();
}

// Writes `count` sections into a new file made for `expected` entries.
bool write_file(uint16_t count, uint16_t expected, GU3_HANDLE data) {
  std::filesystem::remove(bench_path());
  AP20_FILE* file = ap20_file(ap2_New_OBJ(AP20_CLASS_ID, nullptr));
  bool written = ap20a_OpenNative(file, bench_path().c_str(), expected, AP20_FILE_GROUP, AP20_MSG_OPEN_NATIVE) ==
                 AP20_NATIVE_OPENED;
  ap20_SetGrowth(file, 1);
  for (uint16_t key2 = 0; written && key2 < count; ++key2)
    written = ap20b_WriteOpenSection(file, kSectionType, kSectionBytes, data, 1, key2, 0) != 0;
  written = ap20a_SaveNative(file) && written;
  ap20_Destroy(file, nullptr);
  return written;
}

void WriteSections(benchmark::State& state, bool sized) {
  Library library;
  const auto count = static_cast<uint16_t>(state.range(0));
  GU3_HANDLE data = GU3_Allocate_MM(kSectionBytes, 1, GU3_KIND_GLOBAL);
  for (auto _ : state) {
    if (!write_file(count, sized ? count : 0, data)) state.SkipWithError("write failed");
  }
  state.SetItemsProcessed(state.iterations() * count);
  state.SetBytesProcessed(state.iterations() * count * kSectionBytes);
  GU3_Free_MM(data);
  std::filesystem::remove(bench_path());
}

void WriteSectionsSized(benchmark::State& state) { WriteSections(state, true); }
void WriteSectionsGrowing(benchmark::State& state) { WriteSections(state, false); }
BENCHMARK(WriteSectionsSized)->Arg(100)->Arg(1000);
BENCHMARK(WriteSectionsGrowing)->Arg(100)->Arg(1000);

void ReadSections(benchmark::State& state) {
  Library library;
  const auto count = static_cast<uint16_t>(state.range(0));
  GU3_HANDLE data = GU3_Allocate_MM(kSectionBytes, 1, GU3_KIND_GLOBAL);
  if (!write_file(count, count, data)) state.SkipWithError("write failed");
  GU3_Free_MM(data);
  AP20_FILE* file = ap20_file(ap2_New_OBJ(AP20_CLASS_ID, nullptr));
  for (auto _ : state) {
    ap20a_OpenNative(file, bench_path().c_str(), 0, AP20_FILE_GROUP, AP20_MSG_OPEN_NATIVE_READ);
    for (uint16_t key2 = 0; key2 < count; ++key2) {
      uint32_t length = 0;
      GU3_Free_MM(ap20b_ReadOpenSection(file, kSectionType, key2, 0, &length));
    }
    ap20a_CloseNative(file);
  }
  state.SetItemsProcessed(state.iterations() * count);
  ap20_Destroy(file, nullptr);
  std::filesystem::remove(bench_path());
}
BENCHMARK(ReadSections)->Arg(100)->Arg(1000);

}  // namespace
