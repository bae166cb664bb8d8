// The Kramers-Kronig transform of a specular-reflectance spectrum into its
// optical constants, the spectrum's analysis message 431.
//
// The phase of the reflected wave is the Kramers-Kronig integral of
// ln sqrt(R) over the measured range, summed by the trapezoid rule with
// the singular point's neighbourhood and the two ends beyond the range
// taken in closed form. The amplitude and the phase give three new
// spectra: the refractive index n, the extinction coefficient k and an
// absorption index that reads like absorbance. The input stays as it was.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/memory.h"
#include "processing/processing.h"
#include "util/util.h"

namespace {

constexpr double kPi = 3.1415926535898;
// The absorption index is 4 pi nu k / 23030.
constexpr double kAbsorptionDivisor = 23030.0;

// One output: its Y unit, its title and history texts (with the texts
// used when the resources hold none) and whether the texts go into header
// parameters 52 and 54 too.
struct ap7g_output {
  uint32_t y_units;
  uint16_t title;
  const char* title_fallback;
  uint16_t history;
  const char* history_fallback;
  bool text_fields;
};

constexpr ap7g_output kOutputs[AP7G_KK_OUTPUTS] = {
    {AP41_YUNITS_OTHER, 17, "Refractive index", 141, "Kramers-Kronig refractive index ", true},
    {AP41_YUNITS_OTHER, 18, "Extinction coefficient", 142, "Kramers-Kronig extinction coefficient ", true},
    {AP1_YUNIT_ABSORBANCE, 19, "Absorption index", 143, "Kramers-Kronig absorption index ", false},
};

const char* ap7g_text(uint16_t group, uint16_t number, const char* fallback) {
  const char* text = GU4_GetAssocString(group, number, nullptr, nullptr);
  return text != nullptr ? text : fallback;
}

// The status of the percent reflectance values: the last bad point decides.
uint32_t ap7g_examine(const float* r, uint32_t count) {
  uint32_t status = AP7G_KK_DONE;
  for (uint32_t i = 0; i < count; ++i) {
    if (std::isnan(r[i])) {
      status = AP7G_KK_NAN;
    } else if (AP1_KovFloatCompareSG_MATH(r[i], 0.0f)) {
      status = AP7G_KK_ZERO;
    } else if (r[i] < 0.0f) {
      status = AP7G_KK_NEGATIVE;
    }
  }
  return status;
}

// The phase at every point of a rising axis nu from L = ln sqrt(R).
std::vector<float> ap7g_phase(const std::vector<float>& nu, const std::vector<float>& l, double dx) {
  const uint32_t count = static_cast<uint32_t>(nu.size());
  const uint32_t last = count - 1;
  std::vector<float> theta(count, 0.0f);
  for (uint32_t i = 1; i < last; ++i) {
    const double vi = nu[i];
    const double li = l[i];
    double s1 = 0.0;
    for (uint32_t j = 0; j < count; ++j) {
      if (j == i) continue;
      const double vj = nu[j];
      const double weight = j == 0 || j == i - 1 || j == i + 1 || j == last ? 0.5 : 1.0;
      s1 += weight * (l[j] - li) * vi / (vj * vj - vi * vi);
    }
    const double s2 = 0.5 * (l[i - 1] - li) / (nu[i - 1] + vi) + 0.5 * (l[i + 1] - li) / (nu[i + 1] + vi);
    const double d = l[i - 1] - l[i + 1];
    const double e1 = (l[last] - li) * std::log((nu[last] - vi) / (vi + nu[last]));
    const double e2 = (l[0] - li) * std::log((vi - nu[0]) / (vi + nu[0]));
    theta[i] = static_cast<float>((-2.0 * dx * s1 + dx * s2 + d + e1 - e2) / kPi);
  }
  theta[0] = theta[1];
  theta[last] = theta[last - 1];
  return theta;
}

// Header, title and history of a finished output.
void ap7g_complete(AP7_SPECTRUM* output, const ap7g_output& kind) {
  AP41_HEADERDATA* record = ap7a_record(output);
  record->y_units = kind.y_units;
  const char* title = ap7g_text(AP7_GROUP_TITLE_PREFIX, kind.title, kind.title_fallback);
  if (kind.text_fields) {
    std::snprintf(record->p52, sizeof record->p52, "%s", title);
    std::snprintf(record->p54, sizeof record->p54, "%s", title);
  }
  char own[sizeof record->title];
  std::memcpy(own, record->title, sizeof own);
  own[sizeof own - 1] = '\0';
  std::string joined = std::string(title) + ": " + own;
  joined.resize(std::min(joined.size(), sizeof record->title - 1));
  std::memcpy(record->title, joined.c_str(), joined.size() + 1);
  if (ap7d_AddHistoryTextLine(output, ap7g_text(AP7_GROUP_HISTORY, kind.history, kind.history_fallback)))
    ap7d_AddHistoryText(output, "\r\n");
}

}  // namespace

uint32_t ap7g_KramersKronigReflectance(AP7_SPECTRUM* spectrum, AP7_SPECTRUM** n_out, AP7_SPECTRUM** k_out,
                                       AP7_SPECTRUM** absorption_out) {
  AP7_SPECTRUM** outs[AP7G_KK_OUTPUTS] = {n_out, k_out, absorption_out};
  for (AP7_SPECTRUM** out : outs) {
    if (IsBadWritePtr(out, sizeof *out)) return AP7G_KK_FAILED;
  }
  if (ap7a_record(ap7a_spectrum(spectrum)) == nullptr) return AP7G_KK_FAILED;
  ap7a_new_spectrum work(ap7a_Duplicate(spectrum, nullptr));
  if (work.get() == nullptr || ap7b_ConvertUnits137(work.get(), 0) == 0) return AP7G_KK_FAILED;
  ap7a_new_spectrum n(ap7a_Duplicate(work.get(), nullptr));
  ap7a_new_spectrum k(ap7a_Duplicate(work.get(), nullptr));
  ap7a_new_spectrum absorption(ap7a_Duplicate(work.get(), nullptr));
  const float* r = ap7b_GetDataPtr(work.get());
  float* yn = ap7b_GetDataPtr(n.get());
  float* yk = ap7b_GetDataPtr(k.get());
  float* ya = ap7b_GetDataPtr(absorption.get());
  // The phase takes its end values from their neighbours: three points at least.
  const uint32_t count = work.get()->data->columns;
  if (r == nullptr || yn == nullptr || yk == nullptr || ya == nullptr || count < 3) return AP7G_KK_FAILED;
  const uint32_t status = ap7g_examine(r, count);
  if (status != AP7G_KK_DONE) return status;

  // The integral runs along a rising axis.
  const AP41_HEADERDATA* record = ap7a_record(work.get());
  const bool falling = record->first_x > record->last_x;
  const double x0 = falling ? record->last_x : record->first_x;
  const double x1 = falling ? record->first_x : record->last_x;
  const double dx = (x1 - x0) / (count - 1);
  std::vector<float> nu(count);
  std::vector<float> l(count);
  std::vector<float> rho(count);
  for (uint32_t i = 0; i < count; ++i) {
    const double fraction = r[falling ? count - 1 - i : i] / 100.0;
    nu[i] = static_cast<float>(x0 + (x1 - x0) * i / (count - 1));
    l[i] = static_cast<float>(0.5 * std::log(fraction));
    rho[i] = static_cast<float>(std::sqrt(fraction));
  }
  const std::vector<float> theta = ap7g_phase(nu, l, dx);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t at = falling ? count - 1 - i : i;
    const double p = rho[i];
    const double c = std::cos(theta[i]);
    const double denominator = 1.0 + p * p - 2.0 * p * c;
    const double extinction = 2.0 * p * std::sin(theta[i]) / denominator;
    yn[at] = static_cast<float>((1.0 - p * p) / denominator);
    yk[at] = static_cast<float>(extinction);
    ya[at] = static_cast<float>(4.0 * kPi * nu[i] / kAbsorptionDivisor * extinction);
  }
  ap7a_new_spectrum* made[AP7G_KK_OUTPUTS] = {&n, &k, &absorption};
  for (int i = 0; i < AP7G_KK_OUTPUTS; ++i) ap7g_complete(made[i]->get(), kOutputs[i]);
  for (int i = 0; i < AP7G_KK_OUTPUTS; ++i) *outs[i] = made[i]->release();
  return AP7G_KK_DONE;
}
