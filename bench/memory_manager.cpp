// Cell-heap get and release, and string store and remove: the two paths every
// object and every text of the library goes through.
#include <benchmark/benchmark.h>

#include <vector>

#include "core/core.h"

namespace {

void CellHeapGetRelease(benchmark::State& state) {
  const uint32_t live = static_cast<uint32_t>(state.range(0));
  GU3_HANDLE heap = GU3_Allocate_MM(200, 64, GU3_KIND_GLOBAL);
  GU3_HeapInit_MM(heap);
  std::vector<void*> cells(live);
  for (auto _ : state) {
    for (uint32_t i = 0; i < live; ++i) cells[i] = GU3_HeapGetEx_MM(heap);
    for (uint32_t i = 0; i < live; ++i) GU3_HeapRelease_MM(heap, cells[i]);
  }
  state.SetItemsProcessed(state.iterations() * live);
  GU3_Free_MM(heap);
}
BENCHMARK(CellHeapGetRelease)->Arg(100)->Arg(2000)->Arg(6000);

void StringStoreRemove(benchmark::State& state) {
  const uint32_t live = static_cast<uint32_t>(state.range(0));
  const char text[] = "a text of some forty bytes for the bench";
  std::vector<char*> strings(live);
  for (auto _ : state) {
    for (uint32_t i = 0; i < live; ++i) strings[i] = GU3_StoreStringEx(text);
    for (uint32_t i = live; i-- > 0;) GU3_RemoveString(strings[i]);
  }
  state.SetItemsProcessed(state.iterations() * live);
  GU3_Unregister();
}
BENCHMARK(StringStoreRemove)->Arg(100)->Arg(1000);

}  // namespace
