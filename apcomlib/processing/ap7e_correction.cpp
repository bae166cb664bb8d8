// Correction tables and correction files. A fixed-width text table names
// pairs of stored interferograms and spectral regions; message 282 turns
// each pair into a spectrum at each resolution and zero-filling level,
// keeps the named regions less their chords, orthonormalises the vectors
// and writes them as the files "_corrn<r><k>.crn" of the host's correction
// directory. Message 283 reads back the file that fits a spectrum's
// collection and removes the spectrum's projections on its vectors.
//
// Every vector is made before any file is touched, so that a failed step
// leaves the files as they were; each file is written beside its name and
// renamed over it. Files are read with their sizes checked against their
// length first. The dispatcher's analysis table calls
// ap7e_BuildCorrectionFiles and ap7e_ApplyCorrection.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "chemometrics/chemometrics.h"
#include "core/core.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "processing/processing.h"

namespace {

// Fields of the table: numbers in 14 bytes (10 used), texts in 42 (40 used).
constexpr uint32_t kNumberField = 14;
constexpr uint32_t kNumberUsed = 10;
constexpr uint32_t kTextField = 42;
constexpr uint32_t kTextUsed = 40;
constexpr uint32_t kHeaderFields = 8;
constexpr uint32_t kEntryBytes = 2 * kTextField + kNumberField;
constexpr uint32_t kRegionBytes = 3 * kNumberField;

// The first interferogram's post-peak span (points x spacing) and the
// levels it allows: 262144 / 2^r for r = 0..6.
constexpr uint32_t kLeastSpan = 4096;
constexpr uint32_t kLargestSpan = 262144;
constexpr uint32_t kMostZeroFill = 6;
constexpr uint32_t kLaserGridPoints = 2048;
// What the transform of an entry is given: the phase length and its size
// code.
constexpr uint32_t kPhaseLength = 200;
constexpr uint16_t kPhaseSizeCode = 10;
// Output units that need no background.
constexpr uint32_t kNoBackground[] = {22, 15, 19, 31, 32};
constexpr uint32_t kInterferogram = 22;
constexpr uint32_t kRaman = 32;
// Ratios are converted to these units; other units keep the ratio.
constexpr uint16_t kConvertedUnits[] = {11, 12, 17, 20, 26};
// The resolution factors an entry may be made at.
constexpr float kFactors[] = {32.0f, 16.0f, 8.0f, 4.0f, 2.0f, 1.0f, 0.5f, 0.25f, 0.125f, 0.0625f};

// Message 58 of the host settings object: a text parameter into a buffer.
constexpr uint16_t kMsgSettingsText = 58;
#pragma pack(push, 2)
struct ap7e_settings_text {
  uint16_t index;
  uint16_t flags;
  char* buffer;
};
#pragma pack(pop)

// An open file closed when the scope ends.
class ap7e_file {
 public:
  explicit ap7e_file(HFILE file) : file_(file) {}
  ~ap7e_file() {
    if (file_ != HFILE_ERROR) _lclose(file_);
  }
  ap7e_file(const ap7e_file&) = delete;
  ap7e_file& operator=(const ap7e_file&) = delete;
  bool open() const { return file_ != HFILE_ERROR; }
  HFILE get() const { return file_; }
  // The length of the file; the position is put back to the start.
  int64_t length() const {
    const LONG end = _llseek(file_, 0, FILE_END);
    return _llseek(file_, 0, FILE_BEGIN) == 0 ? end : -1;
  }
  bool read(void* buffer, uint32_t bytes) const {
    return _hread(file_, buffer, static_cast<LONG>(bytes)) == static_cast<LONG>(bytes);
  }

 private:
  HFILE file_;
};

// A numeric field, cut at byte 10 and at its first blank.
bool ap7e_number_text(const ap7e_file& file, char (&text)[kNumberField]) {
  if (!file.read(text, kNumberField)) return false;
  text[kNumberUsed] = '\0';
  if (char* blank = std::strchr(text, ' ')) *blank = '\0';
  return text[0] != '\0';
}

bool ap7e_read_long(const ap7e_file& file, long& value) {
  char text[kNumberField];
  if (!ap7e_number_text(file, text)) return false;
  char* end = nullptr;
  value = std::strtol(text, &end, 10);
  return end != text;
}

bool ap7e_read_float(const ap7e_file& file, float& value) {
  char text[kNumberField];
  if (!ap7e_number_text(file, text)) return false;
  char* end = nullptr;
  value = std::strtof(text, &end);
  return end != text && std::isfinite(value);
}

// A text field, cut at byte 40 and at its first blank.
bool ap7e_read_text(const ap7e_file& file, std::string& value) {
  char text[kTextField];
  if (!file.read(text, kTextField)) return false;
  text[kTextUsed] = '\0';
  if (char* blank = std::strchr(text, ' ')) *blank = '\0';
  value = text;
  return true;
}

// The correction directory: text parameter 114 of the host settings
// object. Without that object (this system has none) there is no
// directory, and no file is read, written or deleted.
std::string ap7e_host_directory() {
  char buffer[MAX_PATH + 1] = "";
  ap7e_settings_text block{AP7E_SETTINGS_CORRECTION_DIRECTORY, 0, buffer};
  void* settings = APX_GetGlobalObject();
  if (settings == nullptr || GU2_DoMethod_MSG(kMsgSettingsText, settings, &block) == 0) return "";
  buffer[MAX_PATH] = '\0';
  return buffer;
}

std::string ap7e_file_path(const std::string& directory, uint32_t r, uint32_t k) {
  std::string path = directory;
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
  return path + "_corrn" + std::to_string(r) + std::to_string(k) + ".crn";
}

float ap7e_laser_step() { return AP1_GetLaserRef_MATH(1) / 2.0f / static_cast<float>(kLaserGridPoints); }

// What an entry's interferograms must satisfy, and the spectrum made from
// them at a level.
struct ap7e_level {
  float factor;
  uint32_t zero_fill;
};

bool ap7e_is_interferogram(const AP7_SPECTRUM* spectrum) {
  const AP41_HEADERDATA* record = ap7a_record(spectrum);
  return record != nullptr && record->y_units == kInterferogram;
}

bool ap7e_align_and_transform(AP7_SPECTRUM* interferogram, uint32_t before, uint32_t after, uint16_t size_code,
                              bool transform) {
  if (!ap7b_AlignInterferogram(interferogram, before, after)) return false;
  if (!transform) return true;
  const AP41_HEADERDATA* record = ap7a_record(interferogram);
  return ap7b_InterferogramToSingleBeam(interferogram, size_code, static_cast<uint16_t>(record->ApodID),
                                        static_cast<uint16_t>(record->PhaseCorrID), kPhaseLength, kPhaseSizeCode, 0,
                                        0, nullptr) != 0;
}

// The entry spectrum of sample a and background b (null: none) at a level,
// on the vectors' X range; null when they do not fit the level or a step
// fails. Both interferograms are changed.
AP7_SPECTRUM* ap7e_entry_spectrum(AP7_SPECTRUM* a, AP7_SPECTRUM* b, ap7e_level level, uint32_t y_code, float low,
                                  float high) {
  const bool needs_background =
      std::find(std::begin(kNoBackground), std::end(kNoBackground), y_code) == std::end(kNoBackground);
  if (!ap7e_is_interferogram(a) || (needs_background && !ap7e_is_interferogram(b))) return nullptr;
  if (!needs_background) b = nullptr;
  const bool known_factor = std::any_of(std::begin(kFactors), std::end(kFactors),
                                        [&](float f) { return AP1_KovFloatCompareSG_MATH(level.factor, f) != 0; });
  if (!known_factor || level.zero_fill > kMostZeroFill) return nullptr;
  const AP41_HEADERDATA* ra = ap7a_record(a);
  if (!(ra->SSP > 0.0f)) return nullptr;
  const int32_t after = ap1_TruncateToInt32((32768.0f / ra->SSP) / level.factor);
  if (after < 1 || ra->NumPostPeakPts < static_cast<uint32_t>(after)) return nullptr;
  const uint32_t peak = ra->FinalPeakPos;
  const uint32_t before = std::min<uint32_t>(static_cast<uint32_t>(after), peak);
  if (b != nullptr) {
    const AP41_HEADERDATA* rb = ap7a_record(b);
    if (rb->NumPostPeakPts < static_cast<uint32_t>(after) || before > rb->FinalPeakPos ||
        !AP1_KovFloatCompareSG_MATH(ra->SSP, rb->SSP))
      return nullptr;
  }
  // The transform exponent: the power of two nearest the points after the
  // peak, zero filled.
  const double points = static_cast<double>(after) * (1u << level.zero_fill);
  const auto size_code = static_cast<uint16_t>(std::trunc(std::log(points) / std::log(2.0) + 0.5));
  const bool transform = y_code != kInterferogram;
  if (!ap7e_align_and_transform(a, before, static_cast<uint32_t>(after), size_code, transform) ||
      (b != nullptr && !ap7e_align_and_transform(b, before, static_cast<uint32_t>(after), size_code, transform)))
    return nullptr;
  ap7a_new_spectrum made(b == nullptr ? ap7a_Duplicate(a, nullptr) : ap7b_RatioAgainstBackground(a, b));
  if (made.get() == nullptr) return nullptr;
  if (b == nullptr && y_code == kRaman && !ap7d_SetRamanLaserFreq(made.get(), AP1_GetNaNSG_MATH())) return nullptr;
  const bool converted =
      std::find(std::begin(kConvertedUnits), std::end(kConvertedUnits), y_code) != std::end(kConvertedUnits);
  if (b != nullptr && converted && !ap7d_ConvertYUnitsEx(made.get(), static_cast<uint16_t>(y_code), 1)) return nullptr;
  if (transform) {
    const float laser = AP1_GetLaserRef_MATH(1);
    if (laser > 0.0f && !ap7e_SetLaserFrequency(made.get(), laser)) return nullptr;
    float x1 = low, x2 = high;
    if (!ap7d_FitToXRange(made.get(), &x1, &x2)) return nullptr;
  }
  if (!ap7d_CopyListTo(a, made.get())) return nullptr;
  return made.release();
}

// The entry spectrum's regions of one code, each less its chord, zero
// elsewhere.
AP7_SPECTRUM* ap7e_region_spectrum(AP7_SPECTRUM* entry, const AP7E_CORRECTIONTABLE& table, int32_t code) {
  ap7a_new_spectrum region(ap7a_Duplicate(entry, nullptr));
  if (region.get() == nullptr || !ap7a_FillRange(region.get(), AP_NOT_GIVEN, AP_NOT_GIVEN, 0.0f)) return nullptr;
  const float* y = ap7b_GetDataPtr(entry);
  float* out = ap7b_GetDataPtr(region.get());
  if (y == nullptr || out == nullptr) return nullptr;
  for (const AP7E_CORRECTIONREGION& row : table.regions) {
    if (row.code != code) continue;
    float x1 = row.low, x2 = row.high;
    AP4_CELL first{}, last{};
    const int32_t count = ap7b_XRangeToIndexRange(entry, &x1, &x2, &first, &last);
    if (count < 1) return nullptr;
    const int32_t first_index = first.column, last_index = last.column;
    const int32_t s = std::min(first_index, last_index);
    const int32_t e = std::max(first_index, last_index);
    const float rise = count > 1 ? (y[e] - y[s]) / static_cast<float>(count - 1) : 0.0f;
    for (int32_t j = 0; j < count; ++j) out[s + j] = y[s + j] - y[s] - static_cast<float>(j) * rise;
  }
  return region.release();
}

// The region spectrum on the vectors' X range: points added where the
// range reaches beyond it, then cut to it; its values, or the differences
// of points two apart.
bool ap7e_vector_row(AP7_SPECTRUM* region, const AP7E_CORRECTIONTABLE& table, std::vector<float>& row) {
  const AP41_HEADERDATA* record = ap7a_record(region);
  const float dx = ap7b_GetXSpacing(region);
  if (!(std::fabs(dx) > 0.0f)) return false;
  const float first_x = record->first_x, last_x = record->last_x;
  const float lowest = std::min(first_x, last_x);
  const float highest = std::max(first_x, last_x);
  const bool rising = dx > 0.0f;
  const auto extend = [&](float gap, bool at_low_end) {
    if (!(gap > 0.0f)) return true;
    const int32_t count = ap1_TruncateToInt32(gap / std::fabs(dx) + 2.0);
    return count > 0 && ap7a_InsertPoints(region, at_low_end == rising ? 1 : 0, count) != 0;
  };
  if (!extend(lowest - table.low, true) || !extend(table.high - highest, false)) return false;
  ap7a_new_spectrum cut(ap7a_NewFromRangeStrict(region, table.low, table.high));
  const float* y = ap7b_GetDataPtr(cut.get());
  if (y == nullptr) return false;
  const uint32_t n = ap7e_PointCount(cut.get());
  row.assign(y, y + n);
  if (table.derivative != 0) {
    for (uint32_t j = 0; j + 2 < n; ++j) row[j] = y[j + 2] - y[j];
    for (uint32_t j = n >= 2 ? n - 2 : 0; j < n; ++j) row[j] = 0.0f;
  }
  return true;
}

// Appends the vectors of one entry at a level; false when a step fails.
bool ap7e_entry_vectors(const AP7E_CORRECTIONTABLE& table, const AP7E_CORRECTIONENTRY& entry, ap7e_level level,
                        std::vector<std::vector<float>>& rows) {
  ap7a_new_spectrum sample(ap7b_ReadSpectrumFile(entry.sample.c_str()));
  ap7a_new_spectrum background(entry.background.empty() ? nullptr : ap7b_ReadSpectrumFile(entry.background.c_str()));
  if (sample.get() == nullptr || (!entry.background.empty() && background.get() == nullptr)) return false;
  ap7a_new_spectrum made(
      ap7e_entry_spectrum(sample.get(), background.get(), level, table.y_code, table.low, table.high));
  if (made.get() == nullptr) return false;
  // The digits of the code, the least significant first.
  for (int32_t codes = entry.codes; codes > 0; codes /= 10) {
    ap7a_new_spectrum region(ap7e_region_spectrum(made.get(), table, codes % 10));
    std::vector<float> row;
    if (region.get() == nullptr || !ap7e_vector_row(region.get(), table, row)) return false;
    if (!rows.empty() && row.size() != rows.front().size()) return false;
    rows.push_back(std::move(row));
  }
  return true;
}

struct ap7e_array_deleter {
  void operator()(AP4_ARRAY* array) const { ap4a_Delete(array, nullptr); }
};
using ap7e_array = std::unique_ptr<AP4_ARRAY, ap7e_array_deleter>;

// One correction file's vectors, orthonormal.
struct ap7e_level_file {
  uint32_t r;
  uint32_t k;
  bool written;  // false: the level is below the first interferogram's
  ap7e_array vectors;
};

AP4_ARRAY* ap7e_orthonormal(const std::vector<std::vector<float>>& rows) {
  if (rows.empty()) return nullptr;
  const auto columns = static_cast<uint32_t>(rows.front().size());
  ap4a_new_array array(ap4a_New(AP4_CLASS_ID, static_cast<uint32_t>(rows.size()), columns, nullptr));
  float* values = ap4a_GetDataAddress(array.get());
  if (values == nullptr) return nullptr;
  for (size_t r = 0; r < rows.size(); ++r) std::copy(rows[r].begin(), rows[r].end(), values + r * columns);
  return ap4d_OrthonormalizeRows(array.get()) ? array.release() : nullptr;
}

// Writes the file beside its name and renames it over the name.
bool ap7e_write_file(const std::string& path, const AP7E_CORRECTIONTABLE& table, const AP4_ARRAY* vectors) {
  AP7E_CORRECTIONHEAD head{0, 0, table.low, table.high, table.derivative};
  const float* values = vectors != nullptr ? ap4a_GetDataAddress(vectors) : nullptr;
  if (values != nullptr) {
    head.rows = vectors->rows;
    head.columns = vectors->columns;
  }
  const uint64_t bytes = uint64_t{head.rows} * head.columns * sizeof(float);
  if (bytes > INT32_MAX) return false;
  const std::string made = path + "~";
  bool written = false;
  {
    ap7e_file file(_lcreat(made.c_str(), 0));
    written = file.open() &&
              _hwrite(file.get(), reinterpret_cast<const char*>(&head), sizeof head) == static_cast<LONG>(sizeof head) &&
              (bytes == 0 || _hwrite(file.get(), reinterpret_cast<const char*>(values), static_cast<LONG>(bytes)) ==
                                 static_cast<LONG>(bytes));
  }
  written = written && MoveFileExA(made.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
  if (!written) DeleteFileA(made.c_str());
  return written;
}

}  // namespace

uint16_t ap7e_ReadCorrectionTable(const char* path, AP7E_CORRECTIONTABLE* table) {
  if (path == nullptr || table == nullptr) return 0;
  ap7e_file file(_lopen(path, OF_READ));
  if (!file.open()) return 0;
  const int64_t length = file.length();
  long magic = 0, y_code = 0, derivative = 0, skipped = 0, region_count = 0, entry_count = 0;
  float high = 0.0f, low = 0.0f;
  if (length < int64_t{kHeaderFields} * kNumberField || !ap7e_read_long(file, magic) ||
      magic != AP7E_CORRECTION_MAGIC || !ap7e_read_long(file, y_code) || !ap7e_read_long(file, derivative) ||
      !ap7e_read_long(file, skipped) || !ap7e_read_long(file, region_count) || !ap7e_read_long(file, entry_count) ||
      !ap7e_read_float(file, high) || !ap7e_read_float(file, low))
    return 0;
  // The counts must fit what is left of the file before anything is kept.
  const int64_t needed = int64_t{skipped} * kTextField + int64_t{region_count} * kRegionBytes +
                         int64_t{entry_count} * kEntryBytes;
  if (y_code < 0 || skipped < 0 || region_count < 0 || entry_count < 0 ||
      needed > length - int64_t{kHeaderFields} * kNumberField)
    return 0;
  AP7E_CORRECTIONTABLE read;
  read.y_code = static_cast<uint32_t>(y_code);
  read.derivative = derivative != 0 ? 1 : 0;
  read.high = std::max(high, low);
  read.low = std::min(high, low);
  std::string line;
  for (long i = 0; i < skipped; ++i)
    if (!ap7e_read_text(file, line)) return 0;
  for (long i = 0; i < region_count; ++i) {
    AP7E_CORRECTIONREGION region{};
    long code = 0;
    if (!ap7e_read_float(file, region.high) || !ap7e_read_float(file, region.low) || !ap7e_read_long(file, code))
      return 0;
    if (region.high < region.low) std::swap(region.high, region.low);
    region.code = static_cast<int32_t>(code);
    read.regions.push_back(region);
  }
  for (long i = 0; i < entry_count; ++i) {
    AP7E_CORRECTIONENTRY entry;
    long codes = 0;
    if (!ap7e_read_text(file, entry.sample) || !ap7e_read_text(file, entry.background) ||
        !ap7e_read_long(file, codes))
      return 0;
    entry.codes = static_cast<int32_t>(std::clamp<long>(codes, INT32_MIN, INT32_MAX));
    read.entries.push_back(std::move(entry));
  }
  *table = std::move(read);
  return 1;
}

uint16_t ap7e_BuildCorrectionFiles(const char* path) {
  const std::string directory = ap7e_host_directory();
  return directory.empty() ? 0 : ap7e_BuildCorrectionFilesIn(path, directory.c_str());
}

uint16_t ap7e_BuildCorrectionFilesIn(const char* path, const char* directory) {
  AP7E_CORRECTIONTABLE table;
  if (directory == nullptr || directory[0] == '\0' || IsBadStringPtrA(path, 1) || !ap7e_ReadCorrectionTable(path, &table) ||
      table.entries.empty())
    return 0;
  const float step = ap7e_laser_step();
  if (step > 0.0f) {
    table.high = std::trunc(table.high / step + 0.99f) * step;
    table.low = std::trunc(table.low / step) * step;
  }
  // The lowest level the first interferogram reaches.
  double span = 0.0;
  {
    ap7a_new_spectrum first(ap7b_ReadSpectrumFile(table.entries.front().sample.c_str()));
    const AP41_HEADERDATA* record = ap7a_record(first.get());
    if (record == nullptr) return 0;
    span = std::trunc(static_cast<double>(record->NumPostPeakPts) * record->SSP);
  }
  if (!(span >= kLeastSpan && span <= kLargestSpan)) return 0;
  uint32_t r_min = 0;
  while ((kLargestSpan >> r_min) > span) ++r_min;

  std::vector<ap7e_level_file> files;
  for (uint32_t r = 0; r < AP7E_RESOLUTION_LEVELS; ++r) {
    for (uint32_t k = 0; k < AP7E_ZERO_FILL_LEVELS; ++k) {
      if ((r == 0 && k >= 1) || (r == 1 && k == 2)) continue;
      files.push_back(ap7e_level_file{r, k, r >= r_min, nullptr});
    }
  }
  for (ap7e_level_file& level : files) {
    if (!level.written) continue;
    std::vector<std::vector<float>> rows;
    const ap7e_level at{0.125f * static_cast<float>(1u << level.r), level.k};
    for (const AP7E_CORRECTIONENTRY& entry : table.entries)
      if (!ap7e_entry_vectors(table, entry, at, rows)) return 0;
    level.vectors.reset(ap7e_orthonormal(rows));
    if (!rows.empty() && level.vectors.get() == nullptr) return 0;
  }
  for (const ap7e_level_file& level : files) {
    const std::string file = ap7e_file_path(directory, level.r, level.k);
    if (!level.written) {
      // A level the interferograms do not reach keeps no stale file.
      DeleteFileA(file.c_str());
    } else if (!ap7e_write_file(file, table, level.vectors.get())) {
      return 0;
    }
  }
  return 1;
}

uint16_t ap7e_ReadCorrectionFile(const char* path, AP7E_CORRECTIONHEAD* head, AP4_ARRAY** vectors) {
  if (path == nullptr || head == nullptr || vectors == nullptr) return 0;
  *vectors = nullptr;
  ap7e_file file(_lopen(path, OF_READ));
  if (!file.open()) return 0;
  const int64_t length = file.length();
  AP7E_CORRECTIONHEAD read{};
  if (length < static_cast<int64_t>(sizeof read) || !file.read(&read, sizeof read)) return 0;
  const uint64_t values = uint64_t{read.rows} * read.columns;
  if (values * sizeof(float) != static_cast<uint64_t>(length) - sizeof read || (read.rows == 0) != (read.columns == 0))
    return 0;
  ap4a_new_array array(values != 0 ? ap4a_New(AP4_CLASS_ID, read.rows, read.columns, nullptr) : nullptr);
  if (values != 0 && (array.get() == nullptr || !file.read(ap4a_GetDataAddress(array.get()),
                                                           static_cast<uint32_t>(values * sizeof(float)))))
    return 0;
  *head = read;
  *vectors = array.release();
  return 1;
}

AP7_SPECTRUM* ap7e_ApplyCorrection(AP7_SPECTRUM* spectrum, float* residual) {
  if (!IsBadWritePtr(residual, sizeof(float))) *residual = AP1_GetNaNSG_MATH();
  const std::string directory = ap7e_host_directory();
  return directory.empty() ? nullptr : ap7e_ApplyCorrectionFrom(spectrum, directory.c_str(), residual);
}

AP7_SPECTRUM* ap7e_ApplyCorrectionFrom(AP7_SPECTRUM* spectrum, const char* directory, float* residual) {
  if (IsBadWritePtr(residual, sizeof(float))) return nullptr;
  *residual = AP1_GetNaNSG_MATH();
  const AP41_HEADERDATA* header = ap7a_record(ap7a_spectrum(spectrum));
  if (header == nullptr || directory == nullptr || directory[0] == '\0') return nullptr;
  const uint64_t transform = header->NumTransformPts;
  const uint64_t post_peak = header->NumPostPeakPts;
  uint32_t k = 0;
  if (post_peak != 0 && transform >= 4 * post_peak)
    while (k < kMostZeroFill && transform >= post_peak << (k + 2)) ++k;
  const uint64_t a = transform >> (k + 1);
  int64_t e = ap1_TruncateToInt32(static_cast<double>(a) * header->SSP);
  uint32_t r = AP7E_RESOLUTION_LEVELS - 1;
  while (e > static_cast<int64_t>(kLeastSpan) && r > 0) {
    e /= 2;
    --r;
  }
  AP7E_CORRECTIONHEAD head{};
  AP4_ARRAY* read = nullptr;
  if (!ap7e_ReadCorrectionFile(ap7e_file_path(directory, r, k).c_str(), &head, &read)) return nullptr;
  ap4a_new_array vectors(read);
  ap7a_new_spectrum result(ap7a_Duplicate(spectrum, nullptr));
  float* y = ap7b_GetDataPtr(result.get());
  if (y == nullptr) return nullptr;
  const auto n = static_cast<int64_t>(ap7e_PointCount(spectrum));
  const double extent = double{header->last_x} - header->first_x;
  if (n < 1 || extent == 0.0 || !std::isfinite(extent)) return nullptr;
  // Limits far outside the data are held where they still miss it.
  const double far = 4.0 * static_cast<double>(n) + static_cast<double>(head.columns);
  const auto index_of = [&](float x) {
    const double index = std::trunc(static_cast<double>(n - 1) * (x - header->first_x) / extent + 0.5);
    return static_cast<int64_t>(std::clamp(index, -far, far));
  };
  if (!std::isfinite(head.low) || !std::isfinite(head.high)) return nullptr;
  const int64_t i_s = index_of(head.low);
  const int64_t i_e = index_of(head.high);
  const float y0 = y[0];
  const float y1 = n > 1 ? y[1] : 0.0f;
  if (head.derivative != 0) {
    for (int64_t i = 0; i + 2 < n; ++i) y[i] = y[i + 2] - y[i];
    for (int64_t i = std::max<int64_t>(n - 2, 0); i < n; ++i) y[i] = 0.0f;
  }
  // The span of the data the vectors cover.
  const int64_t from = std::max<int64_t>(i_s, 0);
  const int64_t to = std::min({i_e, n - 1, i_s + static_cast<int64_t>(head.columns) - 1});
  for (int64_t i = from; i <= to; ++i)
    if (ap1_is_missing(y[i])) y[i] = 0.0f;
  const float* v = ap4a_GetDataAddress(vectors.get());
  for (uint32_t row = 0; v != nullptr && row < head.rows; ++row) {
    const float* vector = v + uint64_t{row} * head.columns;
    double dot = 0.0, norm = 0.0;
    for (int64_t i = from; i <= to; ++i) {
      dot += double{vector[i - i_s]} * y[i];
      norm += double{vector[i - i_s]} * vector[i - i_s];
    }
    if (!(norm > 0.0)) norm = 1.0;
    const double scale = dot / norm;
    for (int64_t i = from; i <= to; ++i) y[i] = static_cast<float>(y[i] - scale * vector[i - i_s]);
  }
  double sum = 0.0;
  for (int64_t i = 0; i < n; ++i)
    if (!ap1_is_missing(y[i])) sum += double{y[i]} * y[i];
  if (head.derivative != 0) {
    // The differences summed back, even and odd points apart.
    std::vector<float> d(y, y + n);
    y[0] = y0;
    if (n > 1) y[1] = y1;
    for (int64_t i = 2; i < n; ++i) y[i] = y[i - 2] + d[i - 2];
  }
  *residual = static_cast<float>(std::sqrt(sum));
  return result.release();
}
