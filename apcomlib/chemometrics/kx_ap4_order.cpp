// Choosing calibration and validation standards for a quantitative method.
// The ordering picks from a candidate matrix a calibration set that spans
// the space evenly (max-min distance, starting at the candidate nearest
// the mean) and then validation standards between them, moving the chosen
// rows to the front. The drawing generates the candidates first: random
// (uniform, shaped or constrained), approximately normal, factorial, or
// one component at a time. Both report progress through the caller's
// record and stop on its request.
//
// Exported, and reached through ARRAY messages 122 and 121.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "chemometrics/chemometrics.h"
#include "platform/memory.h"

namespace {

constexpr uint32_t kOperationsPerNotice = 4000;
constexpr int32_t kDrawsPerNotice = 2500;
constexpr int32_t kMeanValuesPerNotice = 2000;
// Draws of one design row before a constraint is given up as unreachable.
constexpr uint32_t kMostRedraws = 100000;
constexpr int32_t kDefaultSeed = -3731;
constexpr int32_t kMostFactorialComponents = 14;
const char* const kFillers[] = {"...", " ...", "  ...", "   ..."};

// The caller's record while one routine runs: the text it shows lives in
// this call's buffer, and the caller's own text pointer comes back when the
// call ends, so that no text outlives its owner.
class kx_ap4_progress {
 public:
  explicit kx_ap4_progress(KX_AP4_PROGRESS* record) : record_(record) {
    if (record_ == nullptr) return;
    previous_ = record_->text;
    record_->text = text_;
  }
  ~kx_ap4_progress() {
    if (record_ != nullptr) record_->text = previous_;
  }
  kx_ap4_progress(const kx_ap4_progress&) = delete;
  kx_ap4_progress& operator=(const kx_ap4_progress&) = delete;

  // Shows a text and notifies; false once a stop is requested.
  bool show(const char* text) {
    if (record_ == nullptr) return true;
    std::snprintf(text_, sizeof text_, "%s", text);
    if (record_->notify != nullptr) record_->notify(record_);
    return record_->state != KX_AP4_PROGRESS_STOPPED;
  }
  bool show_count(int32_t current, int32_t total) {
    char text[64];
    std::snprintf(text, sizeof text, "   %ld / %ld", static_cast<long>(current), static_cast<long>(total));
    return show(text);
  }
  bool show_activity() {
    const char* filler = kFillers[filler_];
    filler_ = (filler_ + 1) % 4;
    return show(filler);
  }
  // The last word: a running record is marked finished and told the result.
  void finish(int16_t result) {
    if (record_ == nullptr) return;
    if (record_->state == KX_AP4_PROGRESS_RUNNING) {
      record_->state = KX_AP4_PROGRESS_STOPPED;
      if (record_->notify != nullptr) record_->notify(record_);
    }
    record_->result = static_cast<uint16_t>(result);
  }

 private:
  KX_AP4_PROGRESS* record_;
  const char* previous_ = nullptr;
  char text_[256] = {};
  int filler_ = 0;
};

// The candidates, the window, the mirror and the work rows of an ordering.
struct kx_ap4_ordering {
  float* x = nullptr;
  uint32_t n = 0;
  uint32_t p = 0;
  uint32_t first = 0;
  uint32_t width = 0;
  const float* ends = nullptr;  // ranges, two values per column
  uint32_t end_stride = 0;
  float weight = 1.0f;
  std::vector<float> dmin, dsum, mmin, msum;
  std::vector<bool> seen;  // whether a standard has set a candidate's minima
  uint32_t operations = 0;

  float* row(uint32_t i) const { return x + static_cast<size_t>(i) * p; }
  float mirror(uint32_t c, float value) const {
    if (ends == nullptr) return value;
    return (2.0f * weight - 1.0f) * value + (1.0f - weight) * (ends[c * end_stride] + ends[c * end_stride + 1]);
  }
  double distance(const float* candidate, const float* standard, bool mirrored) {
    double sum = 0.0;
    for (uint32_t c = first; c < first + width; ++c) {
      const double d = static_cast<double>(mirrored ? mirror(c, candidate[c]) : candidate[c]) - standard[c];
      sum += d * d;
    }
    operations += width;
    return sum;
  }
  // Candidate i's work values take in one more chosen standard.
  void take_in(uint32_t i, const float* standard) {
    const auto d = static_cast<float>(distance(row(i), standard, false));
    const auto m = static_cast<float>(distance(row(i), standard, true));
    dmin[i] = seen[i] ? std::min(dmin[i], d) : d;
    mmin[i] = seen[i] ? std::min(mmin[i], m) : m;
    dsum[i] += d;
    msum[i] += m;
    seen[i] = true;
  }
  void swap_rows(uint32_t a, uint32_t b) {
    if (a == b) return;
    std::swap_ranges(row(a), row(a) + p, row(b));
    std::swap(dmin[a], dmin[b]);
    std::swap(dsum[a], dsum[b]);
    std::swap(mmin[a], mmin[b]);
    std::swap(msum[a], msum[b]);
    std::vector<bool>::swap(seen[a], seen[b]);
  }
};

// The band selection over rows from .. n-1: a row well beyond the group
// (> 1.1 g) starts a new one, a row within it (> 0.9 g) joins it and wins
// with a larger sum. Rows at or above the limit take no part. Row 0 when no
// row qualified.
struct kx_ap4_band {
  uint32_t best = 0;
  double group = 0.0;
  uint32_t members = 0;
  double best_sum = 0.0;
  void consider(uint32_t i, double a, double s) {
    if (a > 1.1 * group) {
      best = i;
      group = a;
      members = 1;
      best_sum = s;
    } else if (a > 0.9 * group) {
      if (s > best_sum) {
        best = i;
        best_sum = s;
      }
      group = (group * members + a) / (members + 1);
      ++members;
    }
  }
};

// A copy of the caller's set, or an empty one; false for a set that is not
// an array of p columns.
bool kx_ap4_copy_set(AP4_ARRAY** set, uint32_t p, ap4a_new_array* copy) {
  if (set == nullptr || *set == nullptr) return true;
  if (!ap4a_is_array(*set) || (*set)->columns != p) return false;
  copy->reset(ap4a_Duplicate(*set, nullptr));
  return copy->get() != nullptr;
}

// Appends a row of p values to a set, making the set when it is empty.
bool kx_ap4_append_row(ap4a_new_array* set, const float* values, uint32_t p) {
  if (set->get() == nullptr) {
    set->reset(ap4a_New(AP4_CLASS_ID, 1, p, nullptr));
    if (set->get() == nullptr) return false;
  } else if (!ap4a_InsertRows(set->get(), static_cast<int32_t>(set->get()->rows), 1)) {
    return false;
  }
  std::copy(values, values + p, ap4a_GetDataAddress(set->get()) + static_cast<size_t>(set->get()->rows - 1) * p);
  return true;
}

// Steps 3 to 5 of the ordering; false on a failure, true when done or
// stopped on request.
bool kx_ap4_select(kx_ap4_ordering& o, int32_t ncal, int32_t nval, bool first_placed, ap4a_new_array& s1,
                   ap4a_new_array& s2, kx_ap4_progress& progress) {
  const uint32_t p = o.p;
  const int32_t total = ncal + nval;
  auto ration = [&] {
    if (o.operations <= kOperationsPerNotice) return true;
    o.operations -= kOperationsPerNotice;
    return progress.show_activity();
  };
  for (uint32_t i = 0; i < o.n; ++i) {
    for (AP4_ARRAY* set : {s1.get(), s2.get()})
      for (uint32_t r = 0; set != nullptr && r < set->rows; ++r)
        o.take_in(i, ap4a_GetDataAddress(set) + static_cast<size_t>(r) * p);
    if (!ration()) return true;
  }
  double group = 0.0;
  auto update_from = [&](uint32_t from, const float* standard) {
    for (uint32_t i = from; i < o.n; ++i) {
      o.take_in(i, standard);
      if (!ration()) return false;
    }
    return true;
  };
  for (int32_t t = first_placed ? 1 : 0; t < ncal; ++t) {
    if (!progress.show_count(t + 1, total)) return true;
    kx_ap4_band band;
    for (uint32_t i = static_cast<uint32_t>(t); i < o.n; ++i) band.consider(i, o.dmin[i], o.dsum[i]);
    // With nothing beyond the group the next row is as good as any.
    const uint32_t best = band.members > 0 ? band.best : static_cast<uint32_t>(t);
    group = band.group;
    o.swap_rows(best, static_cast<uint32_t>(t));
    if (!kx_ap4_append_row(&s1, o.row(static_cast<uint32_t>(t)), p)) return false;
    if (!update_from(static_cast<uint32_t>(t), o.row(static_cast<uint32_t>(t)))) return true;
  }
  if (ncal <= 0) return true;
  const double limit = 0.9 * group;
  std::vector<float> standard(p);
  for (int32_t u = 0; u < nval; ++u) {
    const auto at = static_cast<uint32_t>(ncal + u);
    if (!progress.show_count(ncal + u + 1, total)) return true;
    kx_ap4_band within;
    kx_ap4_band any;
    for (uint32_t i = at; i < o.n; ++i) {
      if (o.mmin[i] < limit) within.consider(i, o.mmin[i], o.msum[i]);
      any.consider(i, o.mmin[i], o.msum[i]);
    }
    uint32_t best = within.best != 0 ? within.best : any.best;
    if (best == 0) best = at;
    o.swap_rows(best, at);
    const float* chosen = o.row(at);
    for (uint32_t c = 0; c < p; ++c)
      standard[c] = (c >= o.first && c < o.first + o.width) ? o.mirror(c, chosen[c]) : chosen[c];
    if (!kx_ap4_append_row(&s2, standard.data(), p)) return false;
    if (!update_from(at, standard.data())) return true;
  }
  return true;
}

int16_t kx_ap4_order_rows(AP4_ARRAY* x, uint32_t first_column, uint32_t width, int32_t ncal, int32_t nval,
                          AP4_ARRAY* ranges, float weight, AP4_ARRAY** s1_io, AP4_ARRAY** s2_io,
                          kx_ap4_progress& progress) {
  if (!ap4a_is_array(x) || IsBadWritePtr(s1_io, sizeof *s1_io) || IsBadWritePtr(s2_io, sizeof *s2_io)) return 0;
  kx_ap4_ordering o;
  o.x = ap4a_GetDataAddress(x);
  o.n = x->rows;
  o.p = x->columns;
  const uint64_t window_end = uint64_t{first_column} + width;
  if (o.x == nullptr || window_end > o.p || ncal < 0 || nval < 0 || int64_t{o.n} < int64_t{ncal} + nval) return 0;
  o.first = first_column;
  o.width = width;
  if (ranges != nullptr) {
    // Every window column needs its range.
    if (!ap4a_is_array(ranges) || ranges->columns < 2 || ranges->rows < window_end) return 0;
    o.ends = ap4a_GetDataAddress(ranges);
    o.end_stride = ranges->columns;
    o.weight = (weight > 0.5f && weight <= 1.0f) ? weight : 1.0f;
    if (o.ends == nullptr) return 0;
  }
  ap4a_new_array s1;
  ap4a_new_array s2;
  if (!kx_ap4_copy_set(s1_io, o.p, &s1) || !kx_ap4_copy_set(s2_io, o.p, &s2)) return 0;
  const uint32_t existing = s1.get() != nullptr ? s1.get()->rows : 0;
  if (existing + static_cast<uint32_t>(ncal) < 1) return 0;
  o.dmin.assign(o.n, 0.0f);
  o.dsum.assign(o.n, 0.0f);
  o.mmin.assign(o.n, 0.0f);
  o.msum.assign(o.n, 0.0f);
  o.seen.assign(o.n, false);

  ap4a_change_bracket bracket(x);
  if (!bracket.begun()) return 0;
  bool first_placed = false;
  bool stopped = false;
  if (existing == 0) {
    stopped = !progress.show_count(1, ncal + nval);
    std::vector<double> mean(o.p, 0.0);
    for (uint32_t i = 0; i < o.n; ++i)
      for (uint32_t c = 0; c < o.p; ++c) mean[c] += o.row(i)[c];
    std::vector<float> centre(o.p);
    for (uint32_t c = 0; c < o.p; ++c) centre[c] = static_cast<float>(mean[c] / o.n);
    uint32_t nearest = 0;
    double smallest = 0.0;
    for (uint32_t i = 0; i < o.n; ++i) {
      const double d = o.distance(o.row(i), centre.data(), false);
      if (i == 0 || d < smallest) {
        nearest = i;
        smallest = d;
      }
    }
    o.swap_rows(nearest, 0);
    if (!kx_ap4_append_row(&s1, o.row(0), o.p)) return 0;
    first_placed = true;
  }
  if (!stopped && !kx_ap4_select(o, ncal, nval, first_placed, s1, s2, progress)) return 0;
  if (*s1_io != nullptr) ap4a_Delete(*s1_io, nullptr);
  if (*s2_io != nullptr) ap4a_Delete(*s2_io, nullptr);
  *s1_io = s1.release();
  *s2_io = s2.release();
  return 1;
}

// ---------------------------------------------------------------------------
// Designs

struct kx_ap4_range {
  float end0;
  float end1;
};

bool kx_ap4_ranges_of(const AP4_ARRAY* ranges, int32_t k, std::vector<kx_ap4_range>* out) {
  if (!ap4a_is_array(ranges) || ranges->columns < 2 || ranges->rows < static_cast<uint32_t>(k)) return false;
  const float* v = ap4a_GetDataAddress(ranges);
  if (v == nullptr) return false;
  out->resize(static_cast<size_t>(k));
  for (int32_t i = 0; i < k; ++i) (*out)[i] = {v[i * ranges->columns], v[i * ranges->columns + 1]};
  return true;
}

bool kx_ap4_same(float a, float b) { return AP1_KovFloatCompareSG_MATH(a, b) != 0; }

// One component at a time: the calibration design at the high and low
// levels (or the high one only), the validation design at the middle.
int16_t kx_ap4_one_at_a_time(const std::vector<kx_ap4_range>& ranges, int32_t points, int32_t k, int32_t m,
                             int32_t* ncal, int32_t* nval, AP4_ARRAY** s1, AP4_ARRAY** s2) {
  const bool two_levels = k < points;
  const auto columns = static_cast<uint32_t>(k + m);
  ap4a_new_array calibration(ap4a_New(AP4_CLASS_ID, static_cast<uint32_t>(two_levels ? 2 * k : k), columns, nullptr));
  ap4a_new_array validation(ap4a_New(AP4_CLASS_ID, static_cast<uint32_t>(k), columns, nullptr));
  if (calibration.get() == nullptr || validation.get() == nullptr) return 0;
  float* cal = ap4a_GetDataAddress(calibration.get());
  float* val = ap4a_GetDataAddress(validation.get());
  for (int32_t i = 0; i < k; ++i) {
    float lo = std::min(ranges[i].end0, ranges[i].end1);
    float hi = std::max(ranges[i].end0, ranges[i].end1);
    if (lo == 0.0f && hi == 0.0f) hi = 1.0f;
    float mid = 0.0f;
    if (kx_ap4_same(lo, hi)) {
      lo = 0.1f * hi;
      mid = 0.5f * hi;
    } else {
      mid = (lo + hi) / 2.0f;
    }
    if (lo == 0.0f) lo = 0.1f * hi;
    if (hi == 0.0f) hi = 0.1f * lo;
    if (mid == 0.0f) mid = 0.1f * hi;
    if (two_levels) {
      cal[(2 * i) * columns + i] = hi;
      cal[(2 * i + 1) * columns + i] = lo;
    } else {
      cal[i * columns + i] = hi;
    }
    val[i * columns + i] = mid;
  }
  for (uint32_t r = 0; r < calibration.get()->rows; ++r)
    for (uint32_t c = static_cast<uint32_t>(k); c < columns; ++c) cal[r * columns + c] = 1.0f;
  for (uint32_t r = 0; r < validation.get()->rows; ++r)
    for (uint32_t c = static_cast<uint32_t>(k); c < columns; ++c) val[r * columns + c] = 1.0f;
  if (*s1 != nullptr) ap4a_Delete(*s1, nullptr);
  if (*s2 != nullptr) ap4a_Delete(*s2, nullptr);
  *ncal = static_cast<int32_t>(calibration.get()->rows);
  *nval = k;
  *s1 = calibration.release();
  *s2 = validation.release();
  return 1;
}

// The full factorial design at 2 (with the centre point first), 3 or 5
// levels, by the number of points asked for.
AP4_ARRAY* kx_ap4_factorial(const std::vector<kx_ap4_range>& ranges, int32_t points, int32_t k, int32_t m) {
  auto power = [](uint32_t base, int32_t e) {
    uint32_t v = 1;
    for (int32_t i = 0; i < e; ++i) v *= base;
    return v;
  };
  const uint32_t two = power(2, k) + 1;
  const uint32_t three = power(3, k);
  const auto asked = static_cast<uint32_t>(std::abs(points));
  uint32_t levels = 2;
  if (asked < two) levels = 2;
  else if (k < 9 && asked <= three) levels = 3;
  else if (k < 6) levels = 5;
  else if (k < 9) levels = 3;
  const uint32_t size = levels == 2 ? two : power(levels, k);
  const auto columns = static_cast<uint32_t>(k + m);
  AP4_ARRAY* design = ap4a_New(AP4_CLASS_ID, size, columns, nullptr);
  if (design == nullptr) return nullptr;
  float* v = ap4a_GetDataAddress(design);
  uint32_t row = 0;
  if (levels == 2) {
    for (int32_t i = 0; i < k; ++i) v[i] = (ranges[i].end0 + ranges[i].end1) / 2.0f;
    row = 1;
  }
  for (uint32_t r = 0; row < size; ++r, ++row) {
    uint32_t digits = r;
    for (int32_t i = 0; i < k; ++i) {
      const float t = static_cast<float>(digits % levels) / static_cast<float>(levels - 1);
      digits /= levels;
      v[row * columns + i] = ranges[i].end0 * t + ranges[i].end1 * (1.0f - t);
    }
  }
  for (uint32_t r = 0; r < size; ++r)
    for (uint32_t c = static_cast<uint32_t>(k); c < columns; ++c) v[r * columns + c] = 1.0f;
  return design;
}

float kx_ap4_uniform(int32_t* seed) {
  float u = 0.0f;
  AP1_Ran1_MATH(seed, &u);
  return u;
}

// A uniform draw reshaped toward the middle, folded back into [0, 1].
float kx_ap4_shaped(int32_t* seed, int32_t shape) {
  double u = kx_ap4_uniform(seed);
  const double v = u - 0.5;
  if (shape == 1) u = v * (13.0 - 16.0 * v * v) / 9.0 + 0.5;
  if (shape == 2) u = v * (5.0 - 8.0 * v * v) / 3.0 + 0.5;
  if (u < 0.0) u = -u;
  if (u > 1.0) u = 2.0 - u;
  return static_cast<float>(u);
}

// Draws rows 1 .. |N|-1 of a random design and puts their mean in row 0.
// False when a constraint cannot be met, a row cannot be drawn within the
// cap, or a stop is requested.
bool kx_ap4_draw(const std::vector<kx_ap4_range>& ranges, int32_t method, int32_t constraint, float target,
                 int32_t shape, int32_t* seed, AP4_ARRAY* design, int32_t k, kx_ap4_progress& progress) {
  double low_sum = 0.0;
  double high_sum = 0.0;
  size_t widest = 0;
  for (size_t i = 0; i < ranges.size(); ++i) {
    low_sum += std::min(ranges[i].end0, ranges[i].end1);
    high_sum += std::max(ranges[i].end0, ranges[i].end1);
    if (std::fabs(ranges[i].end1 - ranges[i].end0) > std::fabs(ranges[widest].end1 - ranges[widest].end0))
      widest = i;
  }
  if (method == KX_AP4_DESIGN_RANDOM) {
    switch (constraint) {
      case 0: break;
      case 1:
        if (!kx_ap4_same(static_cast<float>(low_sum), 0.0f) ||
            !kx_ap4_same(static_cast<float>(high_sum / k), target))
          return false;
        break;
      case 2:
        if (kx_ap4_same(target, 0.0f)) target = static_cast<float>((low_sum + high_sum) / 2.0);
        if (!(low_sum < target && target < high_sum)) return false;
        break;
      case 3:
        if (!(target > low_sum)) return false;
        break;
      case 4:
        if (!(target < high_sum)) return false;
        break;
      default: return false;
    }
  }
  const uint32_t columns = design->columns;
  float* v = ap4a_GetDataAddress(design);
  int32_t countdown = kDrawsPerNotice;
  auto tick = [&](int32_t restart) {
    if (--countdown > 0) return true;
    countdown = restart;
    return progress.show_activity();
  };
  for (uint32_t r = 1; r < design->rows; ++r) {
    float* row = v + static_cast<size_t>(r) * columns;
    bool accepted = false;
    for (uint32_t attempt = 0; attempt < kMostRedraws && !accepted; ++attempt) {
      double sum = 0.0;
      for (int32_t i = 0; i < k; ++i) {
        double value = 0.0;
        if (method == KX_AP4_DESIGN_NORMAL) {
          double g = 0.0;
          for (int draw = 0; draw < 20; ++draw) g += kx_ap4_uniform(seed);
          g = (g - 10.0) * 0.2 + 0.5;
          value = ranges[i].end0 + (static_cast<double>(ranges[i].end1) - ranges[i].end0) * g;
        } else {
          value = ranges[i].end0 +
                  (static_cast<double>(ranges[i].end1) - ranges[i].end0) * kx_ap4_shaped(seed, shape);
        }
        row[i] = static_cast<float>(value);
        sum += row[i];
        if (!tick(kDrawsPerNotice)) return false;
      }
      accepted = true;
      if (method != KX_AP4_DESIGN_RANDOM) continue;
      if (constraint == 1) {
        if (kx_ap4_same(static_cast<float>(sum), 0.0f)) {
          accepted = false;
          continue;
        }
        for (int32_t i = 0; i < k; ++i) row[i] = static_cast<float>(row[i] * (target / sum));
      } else if (constraint == 2) {
        const double rest = sum - row[widest];
        const auto value = static_cast<float>(target - rest);
        row[widest] = value;
        accepted = value >= std::min(ranges[widest].end0, ranges[widest].end1) &&
                   value <= std::max(ranges[widest].end0, ranges[widest].end1);
      } else if (constraint == 3) {
        accepted = !(sum > target);
      } else if (constraint == 4) {
        accepted = !(sum < target);
      }
    }
    if (!accepted) return false;
    for (uint32_t c = static_cast<uint32_t>(k); c < columns; ++c) row[c] = 1.0f;
  }
  countdown = kMeanValuesPerNotice;
  for (uint32_t c = 0; c < columns; ++c) {
    double sum = 0.0;
    for (uint32_t r = 1; r < design->rows; ++r) sum += v[static_cast<size_t>(r) * columns + c];
    v[c] = c >= static_cast<uint32_t>(k) ? 1.0f
                                         : static_cast<float>(design->rows > 1 ? sum / (design->rows - 1) : 0.0);
    if (!tick(kMeanValuesPerNotice)) return false;
  }
  return progress.show("");
}

}  // namespace

APEXPORT int16_t KX_AP4_OrderRows_ARRAY(AP4_ARRAY* x, uint32_t first_column, uint32_t width, int32_t calibration,
                                        int32_t validation, AP4_ARRAY* ranges, float weight, AP4_ARRAY** s1,
                                        AP4_ARRAY** s2, KX_AP4_PROGRESS* record) {
  if (record != nullptr && IsBadWritePtr(record, sizeof *record)) return 0;
  kx_ap4_progress progress(record);
  const int16_t result = kx_ap4_order_rows(x, first_column, width, calibration, validation, ranges, weight, s1, s2,
                                           progress);
  progress.finish(result);
  return result;
}

APEXPORT int16_t KX_AP4_DrawAndOrder_ARRAY(AP4_ARRAY* ranges, int32_t method, int32_t points, int32_t components,
                                           int32_t extra, int32_t* calibration, int32_t* validation, float weight,
                                           int32_t constraint, float target, int32_t shape, int32_t seed,
                                           AP4_ARRAY** s1, AP4_ARRAY** s2, AP4_ARRAY** design_out,
                                           KX_AP4_PROGRESS* record) {
  if (record != nullptr && IsBadWritePtr(record, sizeof *record)) return 0;
  kx_ap4_progress progress(record);
  auto done = [&](int16_t result) {
    progress.finish(result);
    return result;
  };
  if (IsBadWritePtr(s1, sizeof *s1) || IsBadWritePtr(s2, sizeof *s2) ||
      IsBadWritePtr(calibration, sizeof *calibration) || IsBadWritePtr(validation, sizeof *validation))
    return done(0);
  const bool hand_back = design_out != nullptr && !IsBadWritePtr(design_out, sizeof *design_out);
  if (hand_back) *design_out = nullptr;
  const int32_t k = components;
  if (k < 1 || extra < 0) return done(0);
  std::vector<kx_ap4_range> ends;
  if (!kx_ap4_ranges_of(ranges, k, &ends)) return done(0);

  if (method == KX_AP4_DESIGN_FACTORIAL) {
    if (*s1 != nullptr) {
      method = KX_AP4_DESIGN_RANDOM;
    } else {
      if (*s2 != nullptr) ap4a_Delete(*s2, nullptr);
      *s2 = nullptr;
      if (k > kMostFactorialComponents) method = KX_AP4_DESIGN_RANDOM;
    }
  }
  if (method == KX_AP4_DESIGN_ONE_AT_A_TIME)
    return done(kx_ap4_one_at_a_time(ends, points, k, extra, calibration, validation, s1, s2));

  ap4a_new_array design;
  AP4_ARRAY* mirror = ranges;
  float mirror_weight = weight;
  if (method == KX_AP4_DESIGN_FACTORIAL) {
    design.reset(kx_ap4_factorial(ends, points, k, extra));
    if (design.get() == nullptr || *calibration < 0 || static_cast<uint32_t>(*calibration) > design.get()->rows)
      return done(0);
  } else if (method == KX_AP4_DESIGN_NORMAL || method == KX_AP4_DESIGN_RANDOM) {
    if (points == 0 || *calibration < 0 || *calibration > std::abs(points)) return done(0);
    design.reset(ap4a_New(AP4_CLASS_ID, static_cast<uint32_t>(std::abs(points)), static_cast<uint32_t>(k + extra),
                          nullptr));
    if (design.get() == nullptr) return done(0);
    int32_t state = seed == 0 ? kDefaultSeed : (seed < 0 ? seed : -seed);
    if (!kx_ap4_draw(ends, method, constraint, target, shape, &state, design.get(), k, progress)) return done(0);
    if (method == KX_AP4_DESIGN_NORMAL) mirror_weight = 1.0f;
    if (method == KX_AP4_DESIGN_RANDOM && constraint != 0) mirror = nullptr;
  } else {
    return done(0);
  }
  if (*calibration > 0 && !kx_ap4_order_rows(design.get(), 0, static_cast<uint32_t>(k), *calibration, *validation,
                                             mirror, mirror_weight, s1, s2, progress))
    return done(0);
  if (points < 0 && hand_back) *design_out = design.release();
  return done(1);
}
