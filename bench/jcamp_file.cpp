// Writing and reading a 100,000-point spectrum as a JCAMP-DX file through a
// spectrum-file object, as a save and an open do: the writer's header and
// integer table, and the reader's records and table (plain, and the same
// values in the standard's compressed digit forms).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/core.h"
#include "exchange/exchange.h"
#include "files/files.h"
#include "library.h"
#include "spectrum/spectrum.h"

namespace {

constexpr uint32_t kPoints = 100000;

std::string bench_path(const char* name) { return (std::filesystem::temp_directory_path() / name).string(); }

// The library with its configuration in a scratch folder of its own.
struct JcampLibrary {
  JcampLibrary() {
    home = (std::filesystem::temp_directory_path() / "gaml2kov-bench-jcamp").string();
    std::filesystem::create_directories(home);
    setenv("GAML2KOV_HOME", home.c_str(), 1);
  }
  ~JcampLibrary() {
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
  }
  std::string home;
};

AP7_SPECTRUM* make_spectrum() {
  AP7_SPECTRUM* spectrum = ap7a_NewInit(AP7_CLASS_ID, kPoints, nullptr);
  AP41_HEADERDATA* record = ap7a_record(spectrum);
  record->x_units = 1;
  record->y_units = 17;
  record->first_x = 400.0f;
  record->last_x = 4000.0f;
  float* y = ap7b_GetDataPtr(spectrum);
  for (uint32_t i = 0; i < kPoints; ++i) y[i] = static_cast<float>(0.5 + 0.4 * std::sin(i / 300.0));
  return spectrum;
}

AP21_SPECTRUM_FILE* opened(const std::string& path, uint16_t mode) {
  auto* spectrum_file = reinterpret_cast<AP21_SPECTRUM_FILE*>(ap2_New_OBJ(AP21_CLASS_ID, nullptr));
  AP20_NAMEPARM naming{nullptr, path.c_str()};
  GU2_DoMethod_MSG(AP20_MSG_SET_NAME, spectrum_file, &naming);
  uint16_t class_id = AP23_CLASS_ID;
  uint16_t code = 0;
  AP21_OPENPARM open{mode, &class_id, &code};
  if (GU2_DoMethod_MSG(AP21_MSG_OPEN, spectrum_file, &open) == 0) {
    ap20_DestroyObject(spectrum_file);
    return nullptr;
  }
  return spectrum_file;
}

bool write_file(AP7_SPECTRUM* spectrum, const std::string& path) {
  AP21_SPECTRUM_FILE* spectrum_file = opened(path, AP20_MODE_CREATE);
  if (spectrum_file == nullptr) return false;
  const bool written = ap21_Write(spectrum_file, reinterpret_cast<AP_OBJECT*>(spectrum)) != 0;
  ap20_DestroyObject(spectrum_file);
  return written;
}

bool read_file(const std::string& path) {
  AP21_SPECTRUM_FILE* spectrum_file = opened(path, AP20_MODE_READ);
  if (spectrum_file == nullptr) return false;
  AP_OBJECT* read = ap21_Read(spectrum_file);
  ap20_DestroyObject(spectrum_file);
  const bool whole = ap7a_spectrum(read) != nullptr && ap7a_record(ap7a_spectrum(read))->points == kPoints;
  if (read != nullptr) ap20_DestroyObject(read);
  return whole;
}

void WriteSpectrum(benchmark::State& state) {
  JcampLibrary home;
  Library library;
  AP7_SPECTRUM* spectrum = make_spectrum();
  const std::string path = bench_path("bench_jcamp_write.jdx");
  for (auto _ : state) {
    if (!write_file(spectrum, path)) state.SkipWithError("write failed");
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(path)));
  ap7a_Delete(spectrum, nullptr);
  std::filesystem::remove(path);
}
BENCHMARK(WriteSpectrum)->Unit(benchmark::kMillisecond);

void ReadPlainTable(benchmark::State& state) {
  JcampLibrary home;
  Library library;
  AP7_SPECTRUM* spectrum = make_spectrum();
  const std::string path = bench_path("bench_jcamp_plain.jdx");
  if (!write_file(spectrum, path)) state.SkipWithError("write failed");
  ap7a_Delete(spectrum, nullptr);
  for (auto _ : state) {
    if (!read_file(path)) state.SkipWithError("read failed");
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
  std::filesystem::remove(path);
}
BENCHMARK(ReadPlainTable)->Unit(benchmark::kMillisecond);

// The same kind of values in DIF and DUP form: one absolute value a line
// in SQZ form, then differences, a run of equal ones as a DUP count.
std::string compressed_file() {
  std::string text = "##TITLE=bench\r\n##JCAMP-DX=5.01\r\n##XUNITS=1/CM\r\n##YUNITS=ABSORBANCE\r\n"
                     "##FIRSTX=400\r\n##LASTX=4000\r\n##YFACTOR=1.0E-06\r\n##NPOINTS=" +
                     std::to_string(kPoints) + "\r\n##XYDATA=(X++(Y..Y))\r\n";
  auto squeezed = [](long value, const char* positive, const char* negative) {
    std::string digits = std::to_string(std::labs(value));
    digits[0] = (value < 0 ? negative : positive)[digits[0] - '0'];
    return digits;
  };
  auto value_at = [](uint32_t i) { return static_cast<long>(500000 + 400000 * std::sin(i / 300.0)); };
  // Each line opens with an absolute value: point 0, then the Y check of
  // the line before.
  long previous = value_at(0);
  for (uint32_t i = 1; i < kPoints;) {
    std::string line = std::to_string(i - 1) + squeezed(previous, "@ABCDEFGHI", "@abcdefghi");
    for (int k = 0; k < 10 && i < kPoints; ++k, ++i) {
      const long value = value_at(i);
      line += squeezed(value - previous, "%JKLMNOPQR", "%jklmnopqr");
      previous = value;
    }
    text += line + "\r\n";
  }
  return text + "##END=\r\n";
}

void ReadCompressedTable(benchmark::State& state) {
  JcampLibrary home;
  Library library;
  const std::string path = bench_path("bench_jcamp_compressed.jdx");
  std::ofstream(path, std::ios::binary) << compressed_file();
  for (auto _ : state) {
    if (!read_file(path)) state.SkipWithError("read failed");
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
  std::filesystem::remove(path);
}
BENCHMARK(ReadCompressedTable)->Unit(benchmark::kMillisecond);

}  // namespace
