// The baseline of a mid-infrared single-beam spectrum (message 308,
// exported as AP7_MIRSplineSB_SPECTRUM): the spectrum's values at a fixed
// list of anchor wavenumbers, chosen by the interferogram length it was
// collected with, less the anchors in three water-vapour bands that stand
// above the local baseline, joined in -ln(y) by a cubic per interval whose
// end slopes come from the parabolas through the neighbouring anchors. The
// result is a new spectrum of the baseline, or of 1 - sample/baseline.
//
// A spectrum whose X axis falls is worked on a rising copy and turned back.
#include <algorithm>
#include <cmath>
#include <vector>

#include "processing/processing.h"

namespace {

constexpr float kNonPositive = 20.0f;
constexpr uint16_t kMeanOfThree = 0;
constexpr uint16_t kSinglePoint = 2;

// The anchors of the finest resolution classes, falling, and the three
// lead points that stand before the first.
constexpr float kLeadPoints[3] = {7890.0f, 7800.0f, 7500.0f};
constexpr float kAnchors[] = {
    7333,   7200, 7152, 6900, 6700, 6500, 6300, 6100, 5850, 5600, 5530, 5422, 5320, 5214, 5145, 5106, 5030,
    4900,   4800, 4700, 4537, 4450, 4300, 4116, 4050, 4000, 3987, 3965, 3911, 3847, 3811, 3788, 3663, 3533,
    3453,   3407, 3300, 3204, 3160, 3072, 2985, 2945, 2895, 2825, 2760, 2680, 2600, 2500, 2400, 2283, 2200,
    2146,   2076, 1980, 1952, 1931, 1901, 1881, 1856, 1815, 1787, 1765, 1725.5, 1658, 1612, 1599, 1586, 1563,
    1530,   1493, 1482.5, 1462, 1443, 1409, 1391, 1381, 1352, 1328, 1302, 1277, 1265, 1254, 1241, 1209, 1190,
    1184,   1181, 1179, 1175, 1170, 1150, 1110, 1040, 1000, 920, 840, 780, 710, 681.5, 639, 622, 597, 578,
    553,    530, 510, 488, 449, 415, 400, 380, 360, 308, 200, 100, 10};
static_assert(sizeof kAnchors / sizeof kAnchors[0] == 116);
// Left out from class 32 on, and from class 64 on as well.
constexpr float kCoarseOut[] = {1563, 1530, 1493, 1462, 1391};
constexpr float kCoarserOut[] = {3847, 3811, 1787, 1765, 1658, 1612};
constexpr int32_t kCoarse = 32;
constexpr int32_t kCoarser = 64;
// Water-vapour groups, lowest first: the anchors strictly between the ends
// are dropped when they stand above the line between them.
constexpr float kPruningGroups[3][2] = {{1586, 1302}, {1881, 1586}, {3911, 3788}};

// The resolution class from the points after the interferogram's peak.
int32_t ap7g_resolution_class(int32_t post_peak) {
  if (post_peak == 0) return 100;
  if (post_peak <= 2048) return 64;
  if (post_peak <= 4096) return 32;
  if (post_peak <= 8192) return 16;
  if (post_peak <= 16384) return 8;
  if (post_peak <= 32768) return 4;
  return 100;
}

std::vector<float> ap7g_anchor_list(int32_t resolution_class) {
  std::vector<float> anchors(std::begin(kAnchors), std::end(kAnchors));
  auto leave_out = [&anchors](const float* first, const float* last) {
    anchors.erase(std::remove_if(anchors.begin(), anchors.end(),
                                 [&](float a) { return std::find(first, last, a) != last; }),
                  anchors.end());
  };
  if (resolution_class >= kCoarse) leave_out(std::begin(kCoarseOut), std::end(kCoarseOut));
  if (resolution_class >= kCoarser) leave_out(std::begin(kCoarserOut), std::end(kCoarserOut));
  return anchors;
}

float ap7g_transform(float v) { return v > 0.0f ? -std::log(v) : kNonPositive; }

// The spectrum's axis and values during the work.
struct ap7g_axis {
  const AP7_SPECTRUM* spectrum;
  const float* y;
  int32_t n;
  float first_x;
  float dx;
  uint16_t mode;

  int32_t index_of(float x) const {
    int32_t index = 0;
    ap7b_XToIndex(spectrum, x, &index);
    return index;
  }
  int32_t clamped(int32_t index) const { return std::clamp(index, 1, n - 2); }
  float x_of(int32_t index) const { return first_x + static_cast<float>(index) * dx; }
  // The value at a clamped index: its own transform, or the mean over it
  // and its two neighbours.
  float value(int32_t i) const {
    if (mode != kMeanOfThree) return ap7g_transform(y[i]);
    return (ap7g_transform(y[i - 1]) + ap7g_transform(y[i]) + ap7g_transform(y[i + 1])) / 3.0f;
  }
};

// Drops the candidates of each water group that stand above the line from
// the group's end; a candidate that stays lowers the line's start value.
void ap7g_prune(const ap7g_axis& axis, std::vector<float>& anchors) {
  for (const auto& group : kPruningGroups) {
    const auto start = std::find(anchors.begin(), anchors.end(), group[0]);
    const auto end = std::find(anchors.begin(), anchors.end(), group[1]);
    if (start == anchors.end() || end == anchors.end()) continue;
    const int32_t s_index = axis.clamped(axis.index_of(group[0]));
    const int32_t e_index = axis.clamped(axis.index_of(group[1]));
    const float x0 = axis.x_of(s_index);
    const float x1 = axis.x_of(e_index);
    float q0 = axis.value(s_index);
    const float q1 = axis.value(e_index);
    // From the one next to the end towards the start.
    for (auto k = end - 1; k != start;) {
      const int32_t index = axis.clamped(axis.index_of(*k));
      const float xk = axis.x_of(index);
      const float qk = axis.value(index);
      const float line = (q1 - q0) * ((xk - x0) / (x1 - x0)) + q0;
      if (line >= qk) {
        q0 = qk;
        --k;
      } else {
        k = anchors.erase(k) - 1;
      }
    }
  }
}

// The value and X of an outer stencil point, one point inside the anchor,
// kept within the data.
void ap7g_outer_point(const ap7g_axis& axis, int32_t index, float& q, float& x) {
  const int32_t i = axis.clamped(index);
  q = axis.value(i);
  x = axis.x_of(i);
}

// The cubic on t in 0..1 from q0 to q1 whose end slopes are those of the
// parabolas through (ta, qa), (0, q0), (1, q1) and (0, q0), (1, q1), (tb, qb).
void ap7g_cubic(float ta, float qa, float q0, float q1, float tb, float qb, float a[4]) {
  const float da = qa / ((1.0f - ta) * ta);
  const float d0 = q0 / (ta * tb);
  const float d1 = q1 / ((1.0f - ta) * (tb - 1.0f));
  const float db = qb / ((tb - 1.0f) * tb);
  a[3] = da + (ta - tb) * d0 + (ta - tb) * d1 + db;
  a[2] = -2.0f * da + (2.0f * tb - ta) * d0 + (2.0f * tb - ta - 1.0f) * d1 - db;
  a[1] = da - (1.0f + ta) * q0 / ta - ta * q1 / (1.0f - ta);
  a[0] = q0;
}

bool ap7g_inside(float x, float x1, float x2) {
  return (x >= x1 || AP1_KovFloatCompareSG_MATH(x, x1)) && (x <= x2 || AP1_KovFloatCompareSG_MATH(x, x2));
}

// One interval drawn: from the anchor two before (P1) down to the one
// before (P2), between the outer stencil points A[j] and P0.
void ap7g_draw(const ap7g_axis& axis, float* out, float anchor, float p0, float p1, float p2, float x1, float x2) {
  const float dx = axis.dx;
  float qa = 0.0f;
  float xa = 0.0f;
  float qb = 0.0f;
  float xb = 0.0f;
  ap7g_outer_point(axis, std::clamp(axis.index_of(anchor - dx), 0, axis.n - 1) + 1, qa, xa);
  ap7g_outer_point(axis, std::clamp(axis.index_of(p0 + dx), 0, axis.n - 1) - 1, qb, xb);
  const int32_t i0 = axis.clamped(axis.index_of(p2));
  const int32_t i1 = axis.clamped(axis.index_of(p1));
  const float start_x = axis.x_of(i0);
  const float end_x = axis.x_of(i1);
  if (AP1_KovFloatCompareSG_MATH(xa, start_x) || AP1_KovFloatCompareSG_MATH(start_x, end_x) ||
      AP1_KovFloatCompareSG_MATH(end_x, xb))
    return;
  const float ta = (xa - start_x) / (end_x - start_x);
  const float tb = (xb - start_x) / (end_x - start_x);
  float a[4];
  ap7g_cubic(ta, qa, axis.value(i0), axis.value(i1), tb, qb, a);
  for (int32_t i = i0; i <= i1; ++i) {
    const float t = static_cast<float>(i - i0) / static_cast<float>(i1 - i0);
    const float p = ((a[3] * t + a[2]) * t + a[1]) * t + a[0];
    if (ap7g_inside(axis.x_of(i), x1, x2)) out[i] = std::exp(-p);
  }
}

// The values in place reversed and the axis turned the other way.
bool ap7g_turn_axis(AP7_SPECTRUM* spectrum) {
  AP41_HEADERDATA* record = ap7a_record(spectrum);
  float* y = ap7b_GetDataPtr(spectrum);
  ap7a_change_bracket bracket(spectrum);
  if (y == nullptr || !bracket.begun()) return false;
  std::reverse(y, y + spectrum->data->columns);
  const float first_x = record->first_x;
  record->first_x = record->last_x;
  record->last_x = first_x;
  return true;
}

}  // namespace

APEXPORT AP7_SPECTRUM* AP7_MIRSplineSB_SPECTRUM(AP7_SPECTRUM* spectrum, uint16_t output, uint16_t mode, float x1,
                                               float x2) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || std::isnan(x1) || std::isnan(x2)) return nullptr;
  const bool falling = record->first_x > record->last_x;
  ap7a_new_spectrum result(falling ? ap7a_rising_copy(spectrum) : ap7a_Duplicate(spectrum, nullptr));
  const AP41_HEADERDATA* axis_record = ap7a_record(result.get());
  float* out = ap7b_GetDataPtr(result.get());
  // The three-point values and the outer stencil points need three points.
  if (out == nullptr || result.get()->data->columns < 3) return nullptr;
  const float first_x = axis_record->first_x;
  const float last_x = axis_record->last_x;
  if (AP1_KovFloatCompareSG_MATH(x1, x2)) {
    x1 = first_x;
    x2 = last_x;
  }
  if (x1 > x2) std::swap(x1, x2);
  if (x2 < first_x || x1 > last_x) return nullptr;

  const int32_t n = static_cast<int32_t>(result.get()->data->columns);
  const std::vector<float> input(out, out + n);
  const ap7g_axis axis{result.get(), input.data(), n, first_x, ap7b_GetXSpacing(result.get()),
                       mode == kMeanOfThree ? kMeanOfThree : kSinglePoint};
  const int32_t post_peak = static_cast<int32_t>(axis_record->NumPostPeakPts);
  std::vector<float> anchors = ap7g_anchor_list(ap7g_resolution_class(post_peak));
  ap7g_prune(axis, anchors);

  {
    ap7a_change_bracket bracket(result.get());
    if (!bracket.begun()) return nullptr;
    // The stencil of interval j: P0, P1, P2 above A[j], the lead points
    // standing in before the list.
    struct stencil {
      float p0, p1, p2;
    };
    std::vector<stencil> stencils(anchors.size());
    stencils[0] = {kLeadPoints[0], kLeadPoints[1], kLeadPoints[2]};
    int32_t previous_index = axis.clamped(axis.index_of(anchors.front()));
    for (size_t j = 0; j < anchors.size(); ++j) {
      bool on = true;
      if (j >= 1) {
        if (anchors[j] > anchors[j - 1]) return nullptr;
        const int32_t index = axis.clamped(axis.index_of(anchors[j]));
        on = index != previous_index;
        // On the previous anchor's point the stencil skips that anchor.
        const size_t from = !on && j >= 2 ? j - 2 : j - 1;
        stencils[j] = {stencils[from].p1, stencils[from].p2, anchors[from]};
        previous_index = index;
      }
      const stencil& at = stencils[j];
      if (x1 > at.p1 || x2 < at.p2) on = false;
      const bool inside = at.p0 >= first_x && at.p0 <= last_x && anchors[j] >= first_x && anchors[j] <= last_x;
      if (on && inside) ap7g_draw(axis, out, anchors[j], at.p0, at.p1, at.p2, x1, x2);
    }
    if (output == AP7G_MIR_ABSORPTION) {
      for (int32_t i = 0; i < n; ++i) {
        const float s = input[i];
        const float b = out[i];
        if (s < 0.0f || AP1_KovFloatCompareSG_MATH(s, 0.0f) || b < 0.0f || AP1_KovFloatCompareSG_MATH(b, 0.0f)) {
          out[i] = 0.0f;
        } else {
          const float d = -std::log(s) - -std::log(b);
          out[i] = 1.0f - std::exp(-d);
        }
      }
    }
  }
  if (falling && !ap7g_turn_axis(result.get())) return nullptr;
  return result.release();
}
