// Principal component analysis of a map: a grid of rows × columns positions
// with one spectrum of `points` f32 values each, held in one GU3 block.
// Mean centring and variance scaling of the map (over all positions, per
// map row, per map column or per spectrum), the PCA of the included
// positions and points with scores and residuals for every position, and
// the reconstruction of the map from a range of factors.
//
// The map block is changed in place; work vectors, temporary masks and the
// data matrix of the analysis are owned here and freed on every path. The
// ARRAY dispatcher reaches the four operations through messages 345, 346,
// 347 and 349. Map arithmetic is single precision; a missing value neither
// counts towards a mean nor towards a deviation.
#include <cmath>
#include <cstdint>

#include "chemometrics/chemometrics.h"
#include "platform/memory.h"
#include "util/util.h"

namespace {

constexpr uint32_t kOverAllPositions = 0;
constexpr uint32_t kPerMapRow = 1;
constexpr uint32_t kPerMapColumn = 2;
constexpr uint32_t kPerSpectrum = 3;

constexpr uint16_t kLargestPreprocessing = 3;
constexpr uint32_t kSignedScoresOnly = 10;

// Error codes of the PCA map.
constexpr uint32_t kPcaNoData = 1;
constexpr uint32_t kPcaPositionMaskAllocation = 2;
constexpr uint32_t kPcaPositionMaskCount = 3;
constexpr uint32_t kPcaPointMaskAllocation = 4;
constexpr uint32_t kPcaPointMaskCount = 5;
constexpr uint32_t kPcaDataMatrix = 6;
constexpr uint32_t kPcaEigenFailed = 7;
constexpr uint32_t kPcaEigenOutputs = 8;
constexpr uint32_t kPcaLoadings = 9;
constexpr uint32_t kPcaScoreBlock = 10;
constexpr uint32_t kPcaPerSpectrum = 11;
constexpr uint32_t kPcaMapWide = 12;

// Error codes of the reconstruction.
constexpr uint32_t kRebuildMissingInput = 1;
constexpr uint32_t kRebuildPositionMaskAllocation = 3;
constexpr uint32_t kRebuildPositionMaskCount = 4;
constexpr uint32_t kRebuildPointMaskAllocation = 5;
constexpr uint32_t kRebuildPointMaskCount = 6;
constexpr uint32_t kRebuildStatistics = 7;

bool ap4_flag_set(uint16_t flag) { return flag == 1; }

float ap4_nan() { return AP1_GetNaNSG_MATH(); }

bool ap4_zero(float value) { return AP1_KovFloatCompareSG_MATH(value, 0.0f) != 0; }

// The map's floats, or null when the block does not hold them all (or the
// sizes overflow the address space of the block).
float* ap4_map_values(GU3_HANDLE data, uint32_t rows, uint32_t columns, uint32_t points) {
  if (data == nullptr || rows == 0 || columns == 0 || points == 0) return nullptr;
  const uint64_t count = static_cast<uint64_t>(rows) * columns * points;
  const uint64_t bytes = static_cast<uint64_t>(GU3_NumElements_MM(data)) * GU3_LenElements_MM(data);
  if (count > UINT32_MAX / sizeof(float) || count * sizeof(float) > bytes) return nullptr;
  return static_cast<float*>(GU3_GetPointer_MM(data, 0, nullptr, nullptr));
}

// The mask a call works with: the caller's, or for the call's duration a
// temporary one that includes everything.
class ap4_map_mask {
 public:
  ap4_map_mask(GU3_HANDLE given, uint32_t count) : handle_(given) {
    if (given == nullptr) {
      temporary_ = GU3_Allocate_MM(count, sizeof(uint16_t), GU3_KIND_GLOBAL);
      handle_ = temporary_;
      entries_ = static_cast<uint16_t*>(GU3_GetPointer_MM(temporary_, 0, nullptr, nullptr));
      if (entries_ == nullptr) {
        allocation_failed_ = true;
        return;
      }
      for (uint32_t i = 0; i < count; ++i) entries_[i] = 1;
      return;
    }
    const uint16_t* entries = nullptr;
    count_differs_ = !ap4c_MaskEntries(given, count, &entries);
    entries_ = const_cast<uint16_t*>(entries);
  }
  ~ap4_map_mask() {
    if (temporary_ != nullptr) GU3_Free_MM(temporary_);
  }
  ap4_map_mask(const ap4_map_mask&) = delete;
  ap4_map_mask& operator=(const ap4_map_mask&) = delete;
  bool given() const { return temporary_ == nullptr; }
  bool allocation_failed() const { return allocation_failed_; }
  bool count_differs() const { return count_differs_; }
  GU3_HANDLE handle() const { return handle_; }
  uint16_t* entries() const { return entries_; }

 private:
  GU3_HANDLE handle_;
  GU3_HANDLE temporary_ = nullptr;
  uint16_t* entries_ = nullptr;
  bool allocation_failed_ = false;
  bool count_differs_ = false;
};

// The positions that are scaled together: the whole map, one map row or
// one map column.
struct ap4_map_groups {
  uint32_t mode;
  uint32_t rows;
  uint32_t columns;
  uint32_t count() const { return mode == kPerMapRow ? rows : mode == kPerMapColumn ? columns : 1; }
  uint32_t size() const { return mode == kPerMapRow ? columns : mode == kPerMapColumn ? rows : rows * columns; }
  uint32_t position(uint32_t group, uint32_t i) const {
    return mode == kPerMapRow ? group * columns + i : mode == kPerMapColumn ? i * columns + group : i;
  }
};

// How one of the two scaling operations treats its groups, and the codes it
// answers.
struct ap4_scaling {
  bool variance;
  bool centre;
  uint16_t least_per_group;  // included positions a map row or column needs
  uint32_t point_mask_allocation;
  uint32_t point_mask_count;
};

constexpr ap4_scaling kMeanCentring{false, true, 1, 7, 8};

void ap4_zero_spectrum(float* spectrum, uint32_t points) {
  for (uint32_t k = 0; k < points; ++k) spectrum[k] = 0.0f;
}

// Modes 0 to 2: per group, the mean (and the deviation) at every point over
// the included positions, then applied to every position of the group.
void ap4_scale_groups(float* x, const uint16_t* included, const ap4_map_groups& groups, uint32_t points,
                      const ap4_scaling& how, bool zero_excluded, float* mean, float* deviation) {
  for (uint32_t g = 0; g < groups.count(); ++g) {
    uint32_t n = 0;
    for (uint32_t i = 0; i < groups.size(); ++i) n += included[groups.position(g, i)] != 0;
    if (groups.mode != kOverAllPositions && n < how.least_per_group) {
      for (uint32_t i = 0; i < groups.size(); ++i) ap4_zero_spectrum(x + groups.position(g, i) * points, points);
      continue;
    }
    for (uint32_t k = 0; k < points; ++k) {
      float sum = 0.0f;
      uint32_t taken = 0;
      for (uint32_t i = 0; i < groups.size(); ++i) {
        const uint32_t p = groups.position(g, i);
        const float v = x[p * points + k];
        if (included[p] == 0 || ap1_is_missing(v)) continue;
        sum += v;
        ++taken;
      }
      mean[k] = taken != 0 ? sum / static_cast<float>(taken) : 0.0f;
      if (!how.variance) continue;
      float squares = 0.0f;
      for (uint32_t i = 0; i < groups.size(); ++i) {
        const uint32_t p = groups.position(g, i);
        const float v = x[p * points + k];
        if (included[p] == 0 || ap1_is_missing(v)) continue;
        squares += (v - mean[k]) * (v - mean[k]);
      }
      deviation[k] = taken >= 2 ? std::sqrt(squares / static_cast<float>(taken - 1)) : 0.0f;
    }
    for (uint32_t i = 0; i < groups.size(); ++i) {
      const uint32_t p = groups.position(g, i);
      float* spectrum = x + p * points;
      if (zero_excluded && included[p] == 0) {
        ap4_zero_spectrum(spectrum, points);
        continue;
      }
      for (uint32_t k = 0; k < points; ++k) {
        if (ap1_is_missing(spectrum[k])) continue;
        if (!how.variance)
          spectrum[k] -= mean[k];
        else if (ap4_zero(deviation[k]))
          spectrum[k] = 0.0f;
        else
          spectrum[k] = ((how.centre ? spectrum[k] - mean[k] : spectrum[k])) / deviation[k];
      }
    }
  }
}

// Mode 3: each included position on its own, over the included points.
void ap4_scale_spectra(float* x, const uint16_t* included, const uint16_t* point_included, uint32_t positions,
                       uint32_t points, const ap4_scaling& how) {
  for (uint32_t p = 0; p < positions; ++p) {
    float* spectrum = x + p * points;
    float sum = 0.0f;
    uint32_t n = 0;
    for (uint32_t k = 0; k < points; ++k) {
      if (point_included[k] == 0 || ap1_is_missing(spectrum[k])) continue;
      sum += spectrum[k];
      ++n;
    }
    if (included[p] == 0 || n < how.least_per_group) {
      ap4_zero_spectrum(spectrum, points);
      continue;
    }
    const float mean = sum / static_cast<float>(n);
    float deviation = 1.0f;
    if (how.variance) {
      float squares = 0.0f;
      for (uint32_t k = 0; k < points; ++k)
        if (point_included[k] != 0 && !ap1_is_missing(spectrum[k]))
          squares += (spectrum[k] - mean) * (spectrum[k] - mean);
      deviation = std::sqrt(squares / static_cast<float>(n - 1));
    }
    for (uint32_t k = 0; k < points; ++k) {
      if (ap1_is_missing(spectrum[k])) continue;
      if (!how.variance)
        spectrum[k] -= mean;
      else if (ap4_zero(deviation))
        spectrum[k] = 0.0f;
      else
        spectrum[k] = (how.centre ? spectrum[k] - mean : spectrum[k]) / deviation;
    }
  }
}

// The common frame of messages 345 and 346.
uint32_t ap4_scale_map(GU3_HANDLE data, GU3_HANDLE position_mask, GU3_HANDLE point_mask, uint32_t rows,
                       uint32_t columns, uint32_t points, uint32_t mode, uint16_t zero_excluded,
                       const ap4_scaling& how) {
  float* x = ap4_map_values(data, rows, columns, points);
  if (x == nullptr || mode > kPerSpectrum) return 1;
  const uint32_t positions = rows * columns;
  ap4_map_mask positions_in(position_mask, positions);
  if (positions_in.count_differs()) return 3;
  if (positions_in.allocation_failed()) return 2;
  const bool zero = ap4_flag_set(zero_excluded);
  const uint16_t* included = positions_in.entries();
  if (positions_in.given() && !zero && (mode == kPerMapRow || mode == kPerMapColumn)) {
    const ap4_map_groups groups{mode, rows, columns};
    for (uint32_t g = 0; g < groups.count(); ++g) {
      uint32_t n = 0;
      for (uint32_t i = 0; i < groups.size(); ++i) n += included[groups.position(g, i)] != 0;
      if (n < how.least_per_group) return mode == kPerMapRow ? 4 : 5;
    }
  }
  ap4a_new_array mean(ap4a_New(AP4_CLASS_ID, 1, points, nullptr));
  if (mean.get() == nullptr) return 6;
  ap4a_new_array deviation(how.variance ? ap4a_New(AP4_CLASS_ID, 1, points, nullptr) : nullptr);
  if (how.variance && deviation.get() == nullptr) return 7;
  if (mode != kPerSpectrum) {
    ap4_scale_groups(x, included, ap4_map_groups{mode, rows, columns}, points, how, zero,
                     ap4a_GetDataAddress(mean.get()),
                     how.variance ? ap4a_GetDataAddress(deviation.get()) : nullptr);
    return 0;
  }
  ap4_map_mask points_in(point_mask, points);
  if (points_in.count_differs()) return how.point_mask_count;
  if (points_in.allocation_failed()) return how.point_mask_allocation;
  ap4d_ExcludeNaNPoints(x, included, points_in.entries(), rows, columns, points);
  ap4_scale_spectra(x, included, points_in.entries(), positions, points, how);
  return 0;
}

// Runs the preprocessing code (1 centring, 2 scaling, 3 both) in a mode.
uint32_t ap4_preprocess(uint16_t code, GU3_HANDLE data, GU3_HANDLE position_mask, GU3_HANDLE point_mask,
                        uint32_t rows, uint32_t columns, uint32_t points, uint32_t mode) {
  if (code == 1) return AP4_Map_MeanCenter_ARRAY(data, position_mask, point_mask, rows, columns, points, mode, 0);
  if (code == 2 || code == 3)
    return AP4_Map_VarianceScale_ARRAY(data, position_mask, point_mask, rows, columns, points, code == 3, mode, 0);
  return 0;
}

uint32_t ap4_count_included(const uint16_t* entries, uint32_t count) {
  uint32_t n = 0;
  for (uint32_t i = 0; i < count; ++i) n += entries[i] != 0;
  return n;
}

// A GU3 block of floats that is freed again unless it is handed out.
class ap4_float_block {
 public:
  explicit ap4_float_block(uint64_t count)
      : handle_(count != 0 && count <= UINT32_MAX / sizeof(float)
                    ? GU3_Allocate_MM(static_cast<uint32_t>(count), sizeof(float), GU3_KIND_GLOBAL)
                    : nullptr) {}
  ~ap4_float_block() {
    if (handle_ != nullptr) GU3_Free_MM(handle_);
  }
  ap4_float_block(const ap4_float_block&) = delete;
  ap4_float_block& operator=(const ap4_float_block&) = delete;
  float* values() const { return static_cast<float*>(GU3_GetPointer_MM(handle_, 0, nullptr, nullptr)); }
  GU3_HANDLE release() {
    GU3_HANDLE handle = handle_;
    handle_ = nullptr;
    return handle;
  }

 private:
  GU3_HANDLE handle_;
};

// Statistics that undo the preprocessing: mean and deviation per position
// (2 × positions) and per point (2 × points).
struct ap4_preprocess_stats {
  ap4_float_block per_position;
  ap4_float_block per_point;
};

// The mean and deviation of the non-missing values among count values
// `stride` apart that `use` admits; the deviation stays 1 below two values.
template <typename Use>
void ap4_mean_deviation(const float* x, uint32_t count, uint32_t stride, Use use, bool with_deviation, float* mean,
                        float* deviation) {
  float sum = 0.0f;
  uint32_t taken = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const float v = x[i * stride];
    if (!use(i) || ap1_is_missing(v)) continue;
    sum += v;
    ++taken;
  }
  *mean = taken != 0 ? sum / static_cast<float>(taken) : 0.0f;
  *deviation = 1.0f;
  if (!with_deviation || taken < 2) return;
  float squares = 0.0f;
  for (uint32_t i = 0; i < count; ++i) {
    const float v = x[i * stride];
    if (use(i) && !ap1_is_missing(v)) squares += (v - *mean) * (v - *mean);
  }
  *deviation = std::sqrt(squares / static_cast<float>(taken - 1));
}

bool ap4d_PreprocessStats(const float* x, const uint16_t* included, const uint16_t* point_included,
                          uint32_t positions, uint32_t points, uint16_t per_spectrum, uint16_t map_wide,
                          ap4_preprocess_stats& stats) {
  float* position_stats = stats.per_position.values();
  float* point_stats = stats.per_point.values();
  if (position_stats == nullptr || point_stats == nullptr) return false;
  for (uint32_t p = 0; p < positions; ++p) {
    position_stats[p] = 0.0f;
    position_stats[positions + p] = 1.0f;
    if (per_spectrum == 0) continue;
    ap4_mean_deviation(x + p * points, points, 1, [](uint32_t) { return true; }, per_spectrum >= 2,
                       &position_stats[p], &position_stats[positions + p]);
    if (per_spectrum == 2) position_stats[p] = 0.0f;
  }
  for (uint32_t k = 0; k < points; ++k) {
    point_stats[k] = 0.0f;
    point_stats[points + k] = 1.0f;
    if (map_wide == 0 || point_included[k] == 0) continue;
    ap4_mean_deviation(x + k, positions, points, [&](uint32_t p) { return included[p] != 0; }, map_wide >= 2,
                       &point_stats[k], &point_stats[points + k]);
    if (map_wide == 2) point_stats[k] = 0.0f;
  }
  return true;
}

// The outs of the PCA map, set back to nothing when a later step fails.
struct ap4_pca_outs {
  const AP4_MAPPCAPARM* parameter;
  uint32_t* error;
  GU3_HANDLE fail(uint32_t code) const {
    if (*parameter->loadings != nullptr) ap4a_Delete(*parameter->loadings, nullptr);
    if (*parameter->eigenvalues != nullptr) ap4a_Delete(*parameter->eigenvalues, nullptr);
    *parameter->loadings = nullptr;
    *parameter->eigenvalues = nullptr;
    *parameter->row_count = 0;
    *error = code;
    return nullptr;
  }
};

}  // namespace

uint16_t ap4d_ExcludeNaNPoints(float* data, const uint16_t* position_mask, uint16_t* point_mask, uint32_t rows,
                               uint32_t columns, uint32_t points) {
  if (data == nullptr || point_mask == nullptr) return 0;
  for (uint32_t p = 0; p < rows * columns; ++p) {
    if (position_mask != nullptr && position_mask[p] == 0) continue;
    for (uint32_t k = 0; k < points; ++k)
      if (point_mask[k] != 0 && ap1_is_missing(data[p * points + k])) point_mask[k] = 0;
  }
  return 1;
}

APEXPORT uint32_t AP4_Map_MeanCenter_ARRAY(GU3_HANDLE data, GU3_HANDLE position_mask, GU3_HANDLE point_mask,
                                           uint32_t rows, uint32_t columns, uint32_t points, uint32_t mode,
                                           uint16_t zero_excluded) {
  return ap4_scale_map(data, position_mask, point_mask, rows, columns, points, mode, zero_excluded,
                       kMeanCentring);
}

APEXPORT uint32_t AP4_Map_VarianceScale_ARRAY(GU3_HANDLE data, GU3_HANDLE position_mask, GU3_HANDLE point_mask,
                                              uint32_t rows, uint32_t columns, uint32_t points, uint16_t centre,
                                              uint32_t mode, uint16_t zero_excluded) {
  const ap4_scaling how{true, ap4_flag_set(centre), 2, 8, 9};
  return ap4_scale_map(data, position_mask, point_mask, rows, columns, points, mode, zero_excluded, how);
}

APEXPORT GU3_HANDLE AP4_Map_PCA_ARRAY(const AP4_MAPPCAPARM* parameter) {
  uint32_t* error = parameter->error;
  uint32_t ignored = 0;
  if (IsBadWritePtr(error, sizeof *error)) error = &ignored;
  *error = 0;
  auto fail = [error](uint32_t code) -> GU3_HANDLE {
    *error = code;
    return nullptr;
  };
  if (IsBadWritePtr(parameter->loadings, sizeof(AP4_ARRAY*)) ||
      IsBadWritePtr(parameter->eigenvalues, sizeof(AP4_ARRAY*)) ||
      IsBadWritePtr(parameter->row_count, sizeof(uint32_t)))
    return fail(kPcaNoData);
  const uint16_t per_spectrum = parameter->per_spectrum > kLargestPreprocessing ? 0 : parameter->per_spectrum;
  const uint16_t map_wide = parameter->map_wide > kLargestPreprocessing ? 0 : parameter->map_wide;
  uint32_t registry = 0;
  const bool absolute = !(GU9_GetDWordKeyValue(GU9_TALVO_KEY, "AbsPCScores", HKEY_LOCAL_MACHINE, &registry) &&
                          registry == kSignedScoresOnly);
  const uint32_t rows = parameter->rows;
  const uint32_t columns = parameter->columns;
  const uint32_t points = parameter->points;
  float* x = ap4_map_values(parameter->data, rows, columns, points);
  if (x == nullptr) return fail(kPcaNoData);
  const uint32_t positions = rows * columns;
  ap4_map_mask positions_in(parameter->position_mask, positions);
  if (positions_in.count_differs()) return fail(kPcaPositionMaskCount);
  if (positions_in.allocation_failed()) return fail(kPcaPositionMaskAllocation);
  ap4_map_mask points_in(parameter->point_mask, points);
  if (points_in.count_differs()) return fail(kPcaPointMaskCount);
  if (points_in.allocation_failed()) return fail(kPcaPointMaskAllocation);
  if (ap4_preprocess(per_spectrum, parameter->data, nullptr, points_in.handle(), rows, columns, points,
                     kPerSpectrum) != 0)
    return fail(kPcaPerSpectrum);
  if (ap4_preprocess(map_wide, parameter->data, positions_in.handle(), points_in.handle(), rows, columns, points,
                     kOverAllPositions) != 0)
    return fail(kPcaMapWide);
  // Whatever the preprocessing, a point that is missing at an included
  // position cannot enter the analysis.
  const uint16_t* included = positions_in.entries();
  uint16_t* point_included = points_in.entries();
  ap4d_ExcludeNaNPoints(x, included, point_included, rows, columns, points);
  const uint32_t np = ap4_count_included(included, positions);
  const uint32_t nk = ap4_count_included(point_included, points);
  if (np == 0 || nk == 0) return fail(kPcaEigenFailed);
  AP4_ARRAY* scores = nullptr;
  AP4_ARRAY* factor_loadings = nullptr;
  AP4_ARRAY* eigenvalues = nullptr;
  float total = 0.0f;
  int32_t f = 0;
  {
    ap4a_new_array matrix(ap4a_New(AP4_CLASS_ID, np, nk, nullptr));
    if (matrix.get() == nullptr) return fail(kPcaDataMatrix);
    float* to = ap4a_GetDataAddress(matrix.get());
    for (uint32_t p = 0; p < positions; ++p) {
      if (included[p] == 0) continue;
      for (uint32_t k = 0; k < points; ++k)
        if (point_included[k] != 0) *to++ = x[p * points + k];
    }
    if (!AP4D_DblEigenAnalysis(matrix.get(), static_cast<int32_t>(parameter->factors), parameter->percent, 0,
                               &scores, &factor_loadings, &eigenvalues, &total, &f))
      return fail(kPcaEigenFailed);
  }
  ap4a_new_array drop_scores(scores);
  ap4a_new_array analysis_loadings(factor_loadings);
  ap4a_new_array eigenvalue_row(eigenvalues);
  if (scores == nullptr || factor_loadings == nullptr || eigenvalues == nullptr || f <= 0)
    return fail(kPcaEigenOutputs);
  const auto factors = static_cast<uint32_t>(f);
  ap4a_new_array loadings(ap4a_New(AP4_CLASS_ID, factors + 1, points, nullptr));
  if (loadings.get() == nullptr) return fail(kPcaLoadings);
  float* q = ap4a_GetDataAddress(loadings.get());
  const float* qa = ap4a_GetDataAddress(factor_loadings);
  for (uint32_t i = 0; i < factors; ++i) {
    uint32_t row = 0;
    for (uint32_t k = 0; k < points; ++k) q[i * points + k] = point_included[k] != 0 ? qa[row++ * factors + i] : 0.0f;
  }
  if (!ap4a_InsertColumns(eigenvalues, static_cast<int32_t>(factors), 1)) return fail(kPcaEigenOutputs);
  ap4a_GetDataAddress(eigenvalues)[factors] = total;
  const ap4_pca_outs outs{parameter, error};
  *parameter->loadings = loadings.release();
  *parameter->eigenvalues = eigenvalue_row.release();
  *parameter->row_count = factors + 1;
  const uint32_t per_position = factors + 1;
  ap4_float_block block(2ull * positions * per_position);
  float* displayed = block.values();
  if (displayed == nullptr) return outs.fail(kPcaScoreBlock);
  float* signed_scores = displayed + static_cast<size_t>(positions) * per_position;
  ap4a_new_array residual_vector(ap4a_New(AP4_CLASS_ID, 1, points, nullptr));
  float* residual = residual_vector.get() != nullptr ? ap4a_GetDataAddress(residual_vector.get()) : nullptr;
  const bool zero = ap4_flag_set(parameter->zero_excluded);
  for (uint32_t p = 0; p < positions; ++p) {
    float* shown = displayed + p * per_position;
    float* kept = signed_scores + p * per_position;
    if (zero && included[p] == 0) {
      for (uint32_t i = 0; i < per_position; ++i) shown[i] = kept[i] = 0.0f;
      continue;
    }
    const float* spectrum = x + p * points;
    if (residual != nullptr)
      for (uint32_t k = 0; k < points; ++k) residual[k] = spectrum[k];
    for (uint32_t i = 0; i < factors; ++i) {
      // Over the included points only: elsewhere the loading is 0, and a
      // missing value there must not make the score missing; a missing
      // value at an included point does.
      float s = 0.0f;
      for (uint32_t k = 0; k < points; ++k)
        if (point_included[k] != 0) s += spectrum[k] * q[i * points + k];
      if (ap1_is_missing(s)) s = ap4_nan();
      if (residual != nullptr)
        for (uint32_t k = 0; k < points; ++k) residual[k] -= s * q[i * points + k];
      kept[i] = s;
      shown[i] = absolute && !ap1_is_missing(s) ? std::fabs(s) : s;
    }
    float rest = 0.0f;
    if (residual != nullptr) {
      float squares = 0.0f;
      for (uint32_t k = 0; k < points; ++k)
        if (point_included[k] != 0) squares += residual[k] * residual[k];
      rest = ap1_is_missing(squares) ? ap4_nan() : std::sqrt(squares / static_cast<float>(nk));
    }
    shown[factors] = kept[factors] = rest;
  }
  return block.release();
}

APEXPORT uint32_t AP4_Reconstruct_PCA_ARRAY(const AP4_RECONSTRUCTPARM* parameter) {
  const uint32_t rows = parameter->rows;
  const uint32_t columns = parameter->columns;
  const uint32_t points = parameter->points;
  float* x = ap4_map_values(parameter->data, rows, columns, points);
  const AP4_ARRAY* loadings = parameter->loadings;
  if (x == nullptr || !ap4a_is_array(loadings) || loadings->rows < 2 || loadings->columns != points ||
      parameter->scores == nullptr)
    return kRebuildMissingInput;
  const uint32_t positions = rows * columns;
  const uint32_t nf = loadings->rows - 1;
  // The score block must hold both halves for every position.
  const uint64_t score_count = 2ull * positions * (nf + 1);
  const uint64_t score_bytes =
      static_cast<uint64_t>(GU3_NumElements_MM(parameter->scores)) * GU3_LenElements_MM(parameter->scores);
  if (score_count * sizeof(float) > score_bytes) return kRebuildMissingInput;
  const auto* scores = static_cast<const float*>(GU3_GetPointer_MM(parameter->scores, 0, nullptr, nullptr));
  if (scores == nullptr) return kRebuildMissingInput;
  const float* signed_scores = scores + score_count / 2;
  const uint16_t per_spectrum = parameter->per_spectrum > kLargestPreprocessing ? 0 : parameter->per_spectrum;
  const uint16_t map_wide = parameter->map_wide > kLargestPreprocessing ? 0 : parameter->map_wide;
  ap4_map_mask positions_in(parameter->position_mask, positions);
  if (positions_in.allocation_failed()) return kRebuildPositionMaskAllocation;
  if (positions_in.count_differs()) return kRebuildPositionMaskCount;
  ap4_map_mask points_in(parameter->point_mask, points);
  if (points_in.allocation_failed()) return kRebuildPointMaskAllocation;
  if (points_in.count_differs()) return kRebuildPointMaskCount;
  ap4_preprocess_stats stats{ap4_float_block(2ull * positions), ap4_float_block(2ull * points)};
  if (!ap4d_PreprocessStats(x, positions_in.entries(), points_in.entries(), positions, points, per_spectrum,
                            map_wide, stats))
    return kRebuildStatistics;
  int32_t first = parameter->first;
  int32_t last = parameter->last;
  const auto stored = static_cast<int32_t>(nf);
  if (first < 0) first = 0;
  if (first >= stored) first = stored - 1;
  if (last < 0 || last >= stored) last = stored - 1;
  if (first > last) first = last;
  const float* q = ap4a_GetDataAddress(loadings);
  const float* position_stats = stats.per_position.values();
  const float* point_stats = stats.per_point.values();
  for (uint32_t p = 0; p < positions; ++p) {
    float* spectrum = x + p * points;
    const float* s = signed_scores + p * (nf + 1);
    for (uint32_t k = 0; k < points; ++k) {
      float v = 0.0f;
      for (int32_t i = first; i <= last; ++i) v += s[i] * q[i * points + k];
      spectrum[k] = v;
    }
    for (uint32_t k = 0; k < points; ++k) {
      if (ap1_is_missing(spectrum[k])) continue;
      spectrum[k] = point_stats[points + k] * spectrum[k] + point_stats[k];
      spectrum[k] = position_stats[positions + p] * spectrum[k] + position_stats[p];
    }
  }
  return 0;
}
