// ATR correction by iterated Kramers-Kronig analysis, the spectrum's
// analysis message 323.
//
// The measured absorbance is read as the reflectance of a number of
// internal reflections at the crystal-sample interface. The single
// reflection's s-polarised reflectance gives, through a Kramers-Kronig
// phase, a first complex refractive index n + ik of the sample; a fixed
// number of passes then scales k until the reflectance n and k predict
// matches the measured one, n following from k by Kramers-Kronig. The
// result is a new spectrum of 4 pi nu k / 10000; the input stays as it was.
#include <cmath>
#include <new>
#include <vector>

#include "processing/processing.h"
#include "util/util.h"

namespace {

constexpr double kPi = 3.1415926535898;
// Points the X axis runs on past the last one, so that the Kramers-Kronig
// sums reach beyond the measured range.
constexpr uint32_t kExtension = 500;
constexpr double kDefaultSampleIndex = 1.5;
constexpr double kNewtonTolerance = 1e-5;
// The Newton iteration converges monotonically after its first step (its
// function is convex); this many steps are far more than it needs.
constexpr int kNewtonSteps = 200;
constexpr int kRefinementPasses = 3;
// A logarithm of the computed reflectance smaller than this divides as
// this, negative.
constexpr double kSmallestLog = 1e-5;
constexpr uint16_t kATRTitle = 11;

// The work record: the arguments and the nine arrays of N values.
struct ap7g_atr_record {
  double ns;
  double nc;
  double reflections;
  float angle;
  double dx;
  uint32_t n;
  uint32_t N;
  std::vector<double> nu, y, R, phi, lnr, nn, k, Rc, out;
};

double ap7g_radians(float angle) { return angle * kPi / 180.0; }

// The Kramers-Kronig sum at point i over the points of the other parity,
// which never meets the singular term j = i.
double ap7g_alternating_sum(const ap7g_atr_record& w, const std::vector<double>& f, uint32_t i) {
  double sum = 0.0;
  for (uint32_t j = (i + 1) % 2; j < w.N; j += 2) sum += (1.0 / (w.nu[j] - w.nu[i]) + 1.0 / (w.nu[j] + w.nu[i])) * f[j];
  return sum;
}

// At 45 degrees R_p = R_s^2, so (x + x^2) / 2 = a has a closed form.
uint16_t ap7g_InitialReflectance45(ap7g_atr_record* w) {
  if (w == nullptr) return 0;
  for (uint32_t i = 0; i < w->N; ++i) {
    const double a = std::pow(10.0, -w->y[i]);
    w->R[i] = std::pow(std::fabs((std::sqrt(8.0 * a + 1.0) - 1.0) / 2.0), 1.0 / w->reflections);
    w->lnr[i] = 0.5 * std::log(w->R[i]);
  }
  return 1;
}

// Elsewhere R_p is taken as R_s^c, and x^c + x = 2a solved by Newton's
// method. 0 when the angle does not lie above the critical angle or a
// point does not converge.
uint16_t ap7g_InitialReflectanceGeneral(ap7g_atr_record* w) {
  if (w == nullptr) return 0;
  const double theta = ap7g_radians(w->angle);
  const double s = std::sin(theta);
  const double t = std::tan(theta);
  const double rho = static_cast<float>(w->ns) / static_cast<float>(w->nc);
  const double u = 1.0 - rho * rho / (s * s);
  if (!(u > 0.0)) return 0;
  const double v = std::pow(rho, 4) / (t * t) + u;
  const double four_ns2 = 4.0 * w->ns * w->ns;
  const double nc2 = w->nc * w->nc;
  const double root_u = std::sqrt(u);
  const double c = (four_ns2 * root_u / (nc2 * t * v) + four_ns2 / (root_u * nc2 * t * v)) / (four_ns2 / (root_u * nc2 * t * (1.0 - rho * rho)));
  for (uint32_t i = 0; i < w->N; ++i) {
    const double a = std::pow(10.0, -w->y[i]);
    double x = std::pow(10.0, -w->y[i] / 2.0);
    if (x < kNewtonTolerance) x = kNewtonTolerance;
    bool converged = false;
    for (int step = 0; step < kNewtonSteps && !converged; ++step) {
      const double change = (std::pow(x, c) + x - 2.0 * a) / (c * std::pow(x, c - 1.0) + 1.0);
      x -= change;
      converged = std::fabs(change) < kNewtonTolerance;
    }
    if (!converged || !std::isfinite(x)) return 0;
    w->R[i] = std::pow(x, 1.0 / w->reflections);
    w->lnr[i] = 0.5 * std::log(w->R[i]);
  }
  return 1;
}

uint16_t ap7g_PhaseFromReflectance(ap7g_atr_record* w) {
  if (w == nullptr) return 0;
  for (uint32_t i = 0; i < w->N; ++i) w->phi[i] = -2.0 * w->dx / kPi * ap7g_alternating_sum(*w, w->lnr, i);
  return 1;
}

// The phase's constant: at the far end the sample no longer absorbs, and
// total reflection shifts the phase by pi - 2 beta.
uint16_t ap7g_AdjustPhase(ap7g_atr_record* w) {
  if (w == nullptr) return 0;
  const double theta = ap7g_radians(w->angle);
  const double rho = w->ns / w->nc;
  const double s = std::sin(theta);
  const double beta = std::atan(std::sqrt(s * s - rho * rho) / std::cos(theta));
  const double shift = kPi - 2.0 * beta - w->phi[w->N - 1];
  for (uint32_t i = 0; i < w->N; ++i) w->phi[i] += shift;
  return 1;
}

uint16_t ap7g_IndicesFromReflectance(ap7g_atr_record* w) {
  if (w == nullptr) return 0;
  const double c = std::cos(ap7g_radians(w->angle));
  const double g = c * c;
  const double nc2 = w->nc * w->nc;
  for (uint32_t i = 0; i < w->N; ++i) {
    const double r = w->R[i];
    const double root = std::sqrt(r);
    const double d = (1.0 + r) - 2.0 * root * std::cos(w->phi[i]);
    const double e1 = nc2 * g * (4.0 * (1.0 + r) * root * std::cos(w->phi[i]) - 8.0 * r) / (d * d) + nc2;
    const double e2 = 4.0 * nc2 * g * (1.0 - r) * root * std::sin(w->phi[i]) / (d * d);
    w->nn[i] = std::sqrt((e1 + std::sqrt(e1 * e1 + e2 * e2)) / 2.0);
    w->k[i] = e2 / (2.0 * w->nn[i]);
  }
  return 1;
}

// The s-polarised reflectance in percent of n + ik behind the crystal.
double ap7g_ReflectanceAt(const ap7g_atr_record& w, double n, double k) {
  const double theta = ap7g_radians(w.angle);
  const double p = w.nc * std::cos(theta);
  const double q = w.nc * std::sin(theta);
  const double a = n * n - k * k - q * q;
  const double b = n * k;
  const double whole = std::sqrt(a * a + 4.0 * b * b);
  const double real = std::sqrt((a + whole) / 2.0);
  const double imaginary = std::sqrt((whole - a) / 2.0);
  return 100.0 * ((p - real) * (p - real) + imaginary * imaginary) / ((p + real) * (p + real) + imaginary * imaginary);
}

uint16_t ap7g_ComputeReflectance(ap7g_atr_record* w) {
  if (w == nullptr) return 0;
  for (uint32_t i = 0; i < w->N; ++i) w->Rc[i] = ap7g_ReflectanceAt(*w, w->nn[i], w->k[i]);
  return 1;
}

uint16_t ap7g_UpdateAbsorptionIndex(ap7g_atr_record* w) {
  if (w == nullptr) return 0;
  for (uint32_t i = 0; i < w->N; ++i) {
    double l = std::log(w->Rc[i] / 100.0);
    if (std::fabs(l) < kSmallestLog) l = -kSmallestLog;
    w->k[i] = w->k[i] * std::log(w->R[i]) / l;
    w->lnr[i] = w->k[i];
    w->out[i] = 4.0 * kPi * w->nu[i] * w->k[i] / 10000.0;
  }
  return 1;
}

uint16_t ap7g_RefractiveIndexFromK(ap7g_atr_record* w) {
  if (w == nullptr) return 0;
  for (uint32_t i = 0; i < w->N; ++i) w->nn[i] = 2.0 * w->dx / kPi * ap7g_alternating_sum(*w, w->k, i) + w->ns;
  return 1;
}

// The record over the copy's data, its axis made rising and run on past
// the last point with the last value; false when it cannot be had.
bool ap7g_fill_record(ap7g_atr_record& w, const AP7_SPECTRUM* copy) {
  const AP41_HEADERDATA* record = ap7a_record(copy);
  const float* data = ap7b_GetDataPtr(copy);
  const uint32_t n = copy->data->columns;
  if (data == nullptr || n < 2) return false;
  const bool falling = record->first_x > record->last_x;
  const double low = falling ? record->last_x : record->first_x;
  w.n = n;
  w.N = n + kExtension;
  w.dx = std::fabs((static_cast<double>(record->last_x) - record->first_x) / (n - 1));
  try {
    for (auto* array : {&w.nu, &w.y, &w.R, &w.phi, &w.lnr, &w.nn, &w.k, &w.Rc, &w.out}) array->assign(w.N, 0.0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (uint32_t i = 0; i < w.N; ++i) {
    w.nu[i] = low + i * w.dx;
    const uint32_t at = i < n ? i : n - 1;
    w.y[i] = data[falling ? n - 1 - at : at];
  }
  return true;
}

bool ap7g_run_analysis(ap7g_atr_record* w) {
  const bool initial = w->angle == 45.0f ? ap7g_InitialReflectance45(w) : ap7g_InitialReflectanceGeneral(w);
  if (!initial || !ap7g_PhaseFromReflectance(w) || !ap7g_AdjustPhase(w) || !ap7g_IndicesFromReflectance(w))
    return false;
  for (int pass = 0; pass < kRefinementPasses; ++pass) {
    if (!ap7g_ComputeReflectance(w) || !ap7g_UpdateAbsorptionIndex(w) || !ap7g_RefractiveIndexFromK(w)) return false;
  }
  // The last pass's reflectance scales k once more.
  if (!ap7g_UpdateAbsorptionIndex(w) || !ap7g_RefractiveIndexFromK(w)) return false;
  for (uint32_t i = 0; i < w->n; ++i) {
    if (!std::isfinite(w->out[i])) return false;
  }
  return true;
}

}  // namespace

AP7_SPECTRUM* ap7g_ATRCorrection(AP7_SPECTRUM* spectrum, float sample_index, float crystal_index, float reflections,
                                 float angle) {
  if (ap7a_spectrum(spectrum) == nullptr) return nullptr;
  if (!(crystal_index > 0.0f) || !(reflections > 0.0f) || !(angle > 0.0f) || !(angle < 90.0f)) return nullptr;
  ap7g_atr_record w{};
  w.ns = sample_index > 0.0f ? sample_index : kDefaultSampleIndex;
  w.nc = crystal_index;
  w.reflections = reflections;
  w.angle = angle;
  if (w.ns > w.nc) return nullptr;
  // Below the critical angle there is no total reflection to analyse.
  if (!(std::sin(ap7g_radians(angle)) > w.ns / w.nc)) return nullptr;
  ap7a_new_spectrum copy(ap7a_Duplicate(spectrum, nullptr));
  if (copy.get() == nullptr || copy.get()->data == nullptr || ap4b_FillNaNGaps(copy.get()->data) == 0) return nullptr;
  if (ap7b_ConvertToAbsorbance(copy.get(), 0) == 0) return nullptr;
  if (!ap7g_fill_record(w, copy.get()) || !ap7g_run_analysis(&w)) return nullptr;
  float* data = ap7b_GetDataPtr(copy.get());
  const bool falling = ap7a_record(copy.get())->first_x > ap7a_record(copy.get())->last_x;
  for (uint32_t i = 0; i < w.n; ++i) data[falling ? w.n - 1 - i : i] = static_cast<float>(w.out[i]);
  if (const char* title = GU4_GetAssocString(AP7_GROUP_TITLE_PREFIX, kATRTitle, nullptr, nullptr))
    ap7d_PrependTitle(copy.get(), title);
  return copy.release();
}
