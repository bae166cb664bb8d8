// Spectrum header blocks: the mapping between a spectrum's header record
// (class 41) and the header block, the header extension block and the two
// words of the file header that a native file keeps for it.
//
// Writing fills the caller's zero-filled blocks; reading fills the header
// record inside one change of the header, rewrites an interferogram block of
// the older form in place first, derives a missing p39 from the collection
// values and reads the scan error words only from files of version 220 on.
// The file object answers message 71 with it; the spectrum header reader and
// writer and the native format classes reach it through that message.
#include <cmath>
#include <cstring>
#include <iterator>

#include "array/array.h"
#include "files/files.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"

namespace {

// The record tag and p1 that every header read from a block carries.
constexpr uint8_t kReadTag[4] = {3, 1, 19, 0};
constexpr uint32_t kReadP1 = 304;

// p39 of a block that lacks it: 0.06 / (sqrt(scans) × resolution × 7.5),
// with 4 scans and a resolution of 4.0 standing in for values that are 0.
constexpr double kP39Numerator = 0.06;
constexpr double kP39Factor = 7.5;
constexpr float kStandInResolution = 4.0f;
constexpr uint32_t kStandInScans = 4;

// DetectorID of the header (index) as the extension block stores it, and
// back; codes beyond the tables are unknown (20000).
constexpr uint32_t kUnknown = AP20_UNKNOWN_DETECTOR;
constexpr uint32_t kDetectorToFile[] = {
    1,       1,       2,       2,       4,       3,       5,       5,       6,       7,        // 0-9
    8,       9,       10,      11,      12,      13,      16,      17,      18,      41,       // 10-19
    20,      21,      kUnknown, kUnknown, kUnknown, kUnknown, kUnknown, kUnknown, kUnknown, kUnknown,  // 20-29
    kUnknown, kUnknown, 33,    33,      34,      35,      36,      37,      38,      39,       // 30-39
    40,      kUnknown, 42,                                                                    // 40-42
};
constexpr uint32_t kDetectorFromFile[] = {
    kUnknown, 1,      3,       5,       4,       7,       8,       9,       10,      11,       // 0-9
    12,      13,      14,      15,      kUnknown, kUnknown, 16,    17,      18,      kUnknown,  // 10-19
    20,      21,      kUnknown, kUnknown, kUnknown, kUnknown, kUnknown, kUnknown, kUnknown, kUnknown,  // 20-29
    kUnknown, kUnknown, kUnknown, 33,   34,      35,      36,      37,      38,      39,       // 30-39
    40,      19,      42,                                                                     // 40-42
};
static_assert(std::size(kDetectorToFile) == 43 && std::size(kDetectorFromFile) == 43);

// BeamSplitterID pairs (header code, file code); codes in neither column
// are stored as they are. The two directions are not inverse for every code.
struct CodePair {
  uint32_t header;
  uint32_t file;
};
constexpr CodePair kBeamSplitters[] = {{0, 1},   {1, 2},   {2, 3},   {4, 4},   {5, 5},   {7, 6},   {8, 7},  {10, 8},
                                       {20, 9},  {21, 10}, {22, 11}, {23, 12}, {24, 13}, {25, 14}, {30, 15}};

uint32_t ap20d_detector(const uint32_t (&table)[43], uint32_t code) {
  return code < std::size(table) ? table[code] : kUnknown;
}

uint32_t ap20d_beam_splitter_to_file(uint32_t code) {
  for (const CodePair& pair : kBeamSplitters) {
    if (pair.header == code) return pair.file;
  }
  return code;
}

uint32_t ap20d_beam_splitter_from_file(uint32_t code) {
  for (const CodePair& pair : kBeamSplitters) {
    if (pair.file == code) return pair.header;
  }
  return code;
}

void ap20d_to_blocks(const AP41_HEADERDATA& data, AP20_FILEHEADER* file_header, AP20_HEADERBLOCK* block,
                     AP20_HEADEREXTENSION* extension) {
  file_header->collection_time = data.time;
  file_header->parameter48 = data.p48;
  if (data.y_units == AP41_YUNITS_INTERFEROGRAM) {
    block->order = AP20_ORDER_FIRST_X_FIRST;
    block->x_a = data.first_x;
    block->x_b = data.last_x;
  } else {
    block->order = data.y_units == AP41_YUNITS_SINGLE_BEAM ? AP20_ORDER_SINGLE_BEAM : AP20_ORDER_LAST_X_FIRST;
    block->x_a = data.last_x;
    block->x_b = data.first_x;
  }
  block->points = data.points;
  block->x_units = data.x_units;
  block->y_units = data.y_units;
  block->p39 = data.p39;
  block->NumScanPts = data.NumScanPts;
  block->FinalPeakPos = data.FinalPeakPos;
  block->NumScans = data.NumScans;
  block->p30 = data.p30;
  block->NumTransformPts = data.NumTransformPts;
  block->NumPostPeakPts = data.NumPostPeakPts;
  block->BKNumScans = data.BKNumScans;
  block->BKGain = data.BKGain;
  block->ApodID = data.ApodID;
  block->p35 = data.p35;
  block->Duration = data.Duration;
  block->p38 = data.p38;
  block->PhaseCorrID = data.PhaseCorrID;
  block->LaserFreq = data.LaserFreq;
  block->SSP = data.SSP;
  block->p41 = data.p41;
  block->Aperture = data.Aperture;
  block->p44 = data.p44;
  block->p26 = data.p26;
  block->p27 = data.p27;
  block->p28 = data.p28;
  block->p46 = data.p46 | AP20_P46_WRITTEN;
  block->BadScans = data.BadScans;
  block->BKBadScans = data.BKBadScans;
  block->CollectErrorMap = data.CollectErrorMap;
  block->BKCollectErrorMap = data.BKCollectErrorMap;

  extension->BenchID = data.BenchID;
  extension->DetectorID = ap20d_detector(kDetectorToFile, data.DetectorID);
  extension->BeamSplitterID = ap20d_beam_splitter_to_file(data.BeamSplitterID);
  extension->SourceID = data.SourceID;
  extension->ADBits = data.ADBits;
  extension->HPF = data.HPF;
  extension->LPF = data.LPF;
  extension->p16 = data.p16;
  extension->p17 = data.p17;
  extension->p18 = data.p18;
  extension->p19 = data.p19;
  extension->Gain = data.Gain;
  extension->Velocity = data.Velocity;
  extension->p40 = data.p40;
}

// An interferogram of the older form (order 1, Y code 29, X values falling)
// becomes one of today's: X from 0 to points - 1, Y code 22, the points
// after the peak and the transform points from the peak position, gains 1.
// A peak position beyond the point count leaves no points after the peak.
void ap20d_repair_interferogram(AP20_HEADERBLOCK* block, AP20_HEADEREXTENSION* extension) {
  const uint32_t points = block->points;
  const uint32_t peak = block->FinalPeakPos;
  const uint32_t after_peak = points > peak ? points - peak : 0;
  block->x_a = 0.0f;
  block->x_b = static_cast<float>(static_cast<double>(points) - 1.0);
  block->y_units = AP41_YUNITS_INTERFEROGRAM;
  block->NumPostPeakPts = after_peak;
  block->NumTransformPts = after_peak <= UINT32_MAX / 2 ? 2 * after_peak : UINT32_MAX;
  block->BKGain = 1.0f;
  extension->Gain = 1.0f;
}

float ap20d_derived_p39(const AP41_HEADERDATA& data) {
  float resolution = 0.0f;
  if (!AP1_GetResolution_MATH(data.SSP, static_cast<int32_t>(data.NumPostPeakPts), &resolution, nullptr) ||
      AP1_KovFloatCompareSG_MATH(resolution, 0.0f))
    resolution = kStandInResolution;
  const uint32_t scans = data.NumScans != 0 ? data.NumScans : kStandInScans;
  return static_cast<float>(kP39Numerator / (std::sqrt(static_cast<double>(scans)) * resolution * kP39Factor));
}

void ap20d_to_header(AP41_HEADERDATA& data, const AP20_FILEHEADER* file_header, AP20_HEADERBLOCK* block,
                     AP20_HEADEREXTENSION* extension) {
  std::memcpy(data.tag, kReadTag, sizeof data.tag);
  data.p1 = kReadP1;
  data.time = file_header->collection_time;
  data.p48 = file_header->parameter48;
  if (block->order == AP20_ORDER_FIRST_X_FIRST && block->x_b < block->x_a &&
      block->y_units == AP41_YUNITS_OLD_INTERFEROGRAM)
    ap20d_repair_interferogram(block, extension);
  const bool first_x_first = block->order == AP20_ORDER_FIRST_X_FIRST;
  data.first_x = first_x_first ? block->x_a : block->x_b;
  data.last_x = first_x_first ? block->x_b : block->x_a;
  data.points = block->points;
  data.x_units = block->x_units;
  data.y_units = block->y_units;
  data.p39 = block->p39;
  data.NumScanPts = block->NumScanPts;
  data.FinalPeakPos = block->FinalPeakPos;
  data.NumScans = block->NumScans;
  data.p30 = block->p30;
  data.NumTransformPts = block->NumTransformPts;
  data.NumPostPeakPts = block->NumPostPeakPts;
  data.BKNumScans = block->BKNumScans;
  data.BKGain = block->BKGain;
  data.ApodID = block->ApodID;
  data.p35 = block->p35;
  data.Duration = block->Duration;
  data.p38 = block->p38;
  data.PhaseCorrID = block->PhaseCorrID;
  data.LaserFreq = block->LaserFreq;
  data.SSP = block->SSP;
  data.p41 = block->p41;
  data.Aperture = block->Aperture;
  data.p44 = block->p44;
  data.p26 = block->p26;
  data.p27 = block->p27;
  data.p28 = block->p28;
  data.p46 = block->p46;

  data.BenchID = extension->BenchID;
  data.DetectorID = ap20d_detector(kDetectorFromFile, extension->DetectorID);
  data.BeamSplitterID = ap20d_beam_splitter_from_file(extension->BeamSplitterID);
  data.SourceID = extension->SourceID;
  data.ADBits = extension->ADBits;
  data.HPF = extension->HPF;
  data.LPF = extension->LPF;
  data.p16 = extension->p16;
  data.p17 = extension->p17;
  data.p18 = extension->p18;
  data.p19 = extension->p19;
  data.Gain = extension->Gain;
  data.Velocity = extension->Velocity;
  data.p40 = extension->p40;

  if (std::isnan(data.p39) || AP1_KovFloatCompareSG_MATH(data.p39, 0.0f)) data.p39 = ap20d_derived_p39(data);
  data.p42 = file_header->version;
  // The history comes from its own section.
  data.history[0] = 0;
  data.history[1] = 0;
  if (file_header->version >= AP20_VERSION_SCAN_ERRORS) {
    data.BadScans = block->BadScans;
    data.BKBadScans = block->BKBadScans;
    data.CollectErrorMap = block->CollectErrorMap;
    data.BKCollectErrorMap = block->BKCollectErrorMap;
  }
}

}  // namespace

uint16_t ap20d_MapHeader(AP41_SPECTRALHEADER* header, AP20_FILEHEADER* file_header, AP20_HEADERBLOCK* block,
                         AP20_HEADEREXTENSION* extension, uint16_t direction) {
  if (ap41_header(header) == nullptr || IsBadWritePtr(file_header, sizeof *file_header) ||
      IsBadWritePtr(block, sizeof *block) || IsBadWritePtr(extension, sizeof *extension))
    return 0;
  if (direction == AP20_HEADER_TO_BLOCKS) {
    ap20d_to_blocks(header->data, file_header, block, extension);
    return 1;
  }
  ap20_change_bracket change(header);
  if (!change.begun) return 0;
  ap20d_to_header(header->data, file_header, block, extension);
  return 1;
}
