// Model bands written into a spectrum's Y values, and the peak cache.
//
// A band fit needs the bands themselves (Gaussian, Lorentzian, their
// mixtures and convolutions, log-normal shapes), the columns of their
// partial derivatives by each parameter, baselines, noise and orthonormal
// polynomial vectors; ap7d_SynthesizeBand writes any of them, and
// ap7d_BandShapeArea integrates a band over a scratch copy of a spectrum.
// AP7_Dispatcher_SPECTRUM calls them for messages 312 and 437.
//
// Profiles are evaluated outward from the point nearest the centre until
// they fall below a cut-off, so that a narrow band in a long spectrum costs
// a few points. The peak cache keeps what a profile added, keyed by all it
// depends on, so that a repeated request adds the same values again without
// computing them. Its memory comes from the handle memory manager and is
// given up when the spectrum class terminates.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "core/core.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"
#include "util/util.h"

namespace {

constexpr double kLn2 = 0.693147180559945309417;
constexpr double kSqrtTwoPi = 2.50662827463100050242;
// A profile's walk ends at the first point below this value.
constexpr double kCutOff = 1e-8;
// The four-term Voigt approximation on an explicit axis ends its walks
// where the unscaled sum falls below this.
constexpr double kApproxCutOff = 0.001;
// Walks that end only at the ends of the data.
constexpr double kNoCutOff = -std::numeric_limits<double>::infinity();

// The Voigt convolution samples the Gaussian from -6 to 6 standard
// deviations in N steps, N = 240 / a at least 600. Beyond 24000 steps
// (a Lorentzian narrower than a hundredth of the Gaussian) finer steps no
// longer change the single-precision result, and would only cost time.
constexpr double kVoigtSpan = 6.0;
constexpr double kVoigtStepsPerA = 240.0;
constexpr double kVoigtFewestSteps = 600.0;
constexpr double kVoigtMostSteps = 24000.0;

// The four generalized Lorentzians of the Voigt approximation, and
// sqrt(ln 2), which turns full widths into its reduced variables.
constexpr double kSqrtLn2 = 0.83255464;
constexpr double kApproxA[4] = {-1.215, -1.3509, -1.215, -1.3509};
constexpr double kApproxB[4] = {1.2359, 0.3786, -1.2359, -0.3786};
constexpr double kApproxE[4] = {-0.3085, 0.5906, -0.3085, 0.5906};
constexpr double kApproxF[4] = {0.021, -1.1858, -0.021, 1.1858};

// The noise generator draws 0..32767 as the run-time library's does; ten
// draws, each scaled to 0..1, sum to a value of mean 5.
constexpr double kDrawRange = 32767.0;
constexpr int kDrawsPerPoint = 10;
constexpr double kDrawsMean = 5.0;

// Steps of the central differences: an eighth of the point spacing, the
// Gaussian share moved by 0.01, the asymmetry moved by 0.02 decades.
constexpr double kSpacingStepShare = 1.0 / 8.0;
constexpr double kShareStep = 0.01;
constexpr double kAsymmetryDecades = 0.02;

// The asymmetry of the log-normal band: values about 1 (a symmetric band,
// which its formula cannot give) and values near 0 are moved away.
constexpr double kSymmetricLow = 0.99;
constexpr double kSymmetricHigh = 1.01;
constexpr double kSmallestAsymmetry = 0.001;

// ---------------------------------------------------------------------------
// The axis

// X of the points: the even grid of the header, or the caller's X array.
// The centre index always comes from the even grid.
struct ap7d_axis {
  const float* x;
  double first;
  double last;
  int32_t n;

  double at(int32_t i) const {
    if (x != nullptr) return x[i];
    if (n < 2) return first;
    // The share i / (n - 1) of the range, rounded once: grid points that
    // floats hold come out exactly.
    return first + static_cast<double>(i) * (last - first) / (n - 1);
  }

  int32_t centre_index(double x0) const {
    const int32_t c = ap1_TruncateToInt32((x0 - first) * (n - 1) / (last - first));
    return std::max(0, std::min(c, n - 1));
  }
};

ap7d_axis ap7d_axis_of(const AP7_SPECTRUM* spectrum, const float* x) {
  const AP41_HEADERDATA* record = ap7a_record(spectrum);
  const uint32_t points = std::min(uint32_t{record->points}, uint32_t{spectrum->data->columns});
  return ap7d_axis{x, record->first_x, record->last_x, static_cast<int32_t>(std::min<uint32_t>(points, INT32_MAX))};
}

// ---------------------------------------------------------------------------
// Walks

enum class ap7d_write { add, set, blank };

// A profile at one X: the value the walk tests against its cut-off, and
// the one it writes (they differ for derivatives, whose walk follows the
// profile itself).
struct ap7d_sample {
  double test;
  double value;
};

ap7d_sample ap7d_same(double v) { return ap7d_sample{v, v}; }

// The points a profile changed, first to end - 1, and what it wrote there.
struct ap7d_stretch {
  int32_t first;
  int32_t end;
  std::vector<float> written;
};

// The right walk from the centre index c upward, then the left walk from
// c - 1 downward; each writes scale × value at the points it visits and
// ends at the first point whose test value lies below the cut-off.
template <typename Profile>
ap7d_stretch ap7d_walk(float* y, const ap7d_axis& axis, int32_t c, double cut_off, ap7d_write write, double scale,
                       Profile profile) {
  std::vector<float> right;
  std::vector<float> left;
  auto visit = [&](int32_t i, std::vector<float>& written) {
    const ap7d_sample sample = profile(axis.at(i));
    if (sample.test < cut_off) return false;
    const auto value = static_cast<float>(scale * sample.value);
    if (write == ap7d_write::add) y[i] += value;
    if (write == ap7d_write::set) y[i] = value;
    if (write == ap7d_write::blank) y[i] = AP1_GetNaNSG_MATH();
    written.push_back(value);
    return true;
  };
  int32_t up = c;
  while (up < axis.n && visit(up, right)) ++up;
  int32_t down = c - 1;
  while (down >= 0 && visit(down, left)) --down;
  ap7d_stretch stretch{down + 1, up, std::vector<float>(left.rbegin(), left.rend())};
  stretch.written.insert(stretch.written.end(), right.begin(), right.end());
  return stretch;
}

// The key of a request: the parameters a kind does not read are left out,
// so that they do not keep equal profiles apart.
AP7D_PEAKKEY ap7d_key(uint16_t kind, float h, float x0, float w, float p2, float p3, const ap7d_axis& axis) {
  const bool reads_second = kind != AP7_SHAPE_GAUSSIAN && kind != AP7_SHAPE_LORENTZIAN;
  const bool reads_third = kind == AP7_SHAPE_PSEUDO_VOIGT;
  return AP7D_PEAKKEY{kind,
                      h,
                      x0,
                      w,
                      reads_second ? p2 : 0.0f,
                      reads_third ? p3 : 0.0f,
                      static_cast<uint32_t>(axis.n),
                      static_cast<float>(axis.first),
                      static_cast<float>(axis.last),
                      axis.x};
}

// An added profile from the cache, or walked and then kept there.
template <typename Profile>
void ap7d_cached_walk(float* y, const ap7d_axis& axis, const AP7D_PEAKKEY& key, double cut_off, double scale,
                      Profile profile) {
  if (ap7d_PeakCacheLookup(key, y)) return;
  const ap7d_stretch stretch =
      ap7d_walk(y, axis, axis.centre_index(key.centre), cut_off, ap7d_write::add, scale, profile);
  ap7d_PeakCacheStore(key, stretch.written.data(), stretch.first, stretch.end);
}

// Values added over the whole spectrum (zeros where the profile gives
// nothing), kept in the cache over the stretch between the first and the
// last point they change; on an explicit axis they depend on every X and
// are not cached.
void ap7d_add_everywhere(float* y, const ap7d_axis& axis, const AP7D_PEAKKEY& key, const std::vector<float>& added) {
  int32_t first = axis.n;
  int32_t end = 0;
  for (int32_t i = 0; i < axis.n; ++i) {
    y[i] += added[i];
    if (added[i] != 0.0f) {
      first = std::min(first, i);
      end = i + 1;
    }
  }
  if (axis.x == nullptr && first < end) ap7d_PeakCacheStore(key, added.data() + first, first, end);
}

// ---------------------------------------------------------------------------
// Profiles, u = (x - x0) / w

double ap7d_gaussian(double x, double x0, double w) {
  const double u = (x - x0) / w;
  return std::exp(-4.0 * kLn2 * u * u);
}

double ap7d_lorentzian(double x, double x0, double w) {
  const double u = (x - x0) / w;
  return 1.0 / (4.0 * u * u + 1.0);
}

// The four-term sum at reduced position X and width ratio Y.
double ap7d_voigt_sum(double X, double Y) {
  double sum = 0.0;
  for (int i = 0; i < 4; ++i) {
    const double dy = Y - kApproxA[i];
    const double dx = X - kApproxB[i];
    sum += (kApproxE[i] * dy + kApproxF[i] * dx) / (dy * dy + dx * dx);
  }
  return sum;
}

// The Lorentzian of half width a (in Gaussian deviations) at s; a distance
// below half a step counts as the centre when asked.
double ap7d_voigt_lorentzian(double s, double a_squared, double half_step) {
  if (std::fabs(s) < half_step) s = 0.0;
  return 1.0 / (1.0 + s * s / a_squared);
}

// ---------------------------------------------------------------------------
// Shapes

// The request as the shapes read it.
struct ap7d_band {
  AP7_SPECTRUM* spectrum;
  float* y;
  ap7d_axis axis;
  uint16_t shape;
  float h;
  float x0;
  float w;
  float p2;
  float p3;
};

AP7D_PEAKKEY ap7d_key_of(const ap7d_band& band) {
  return ap7d_key(band.shape, band.h, band.x0, band.w, band.p2, band.p3, band.axis);
}

uint16_t ap7d_baseline(const ap7d_band& band) {
  const int32_t n = band.axis.n;
  const bool level = AP1_KovFloatCompareSG_MATH(band.w, band.p2) != 0;
  for (int32_t i = 0; i < n; ++i) {
    const double share = level || n < 2 ? 0.0 : static_cast<double>(i) / (n - 1);
    band.y[i] += static_cast<float>(band.w + (double{band.p2} - band.w) * share);
  }
  return 1;
}

// Rectangles and blanks reach half the width to either side of the centre,
// whichever way the axis runs.
uint16_t ap7d_span(const ap7d_band& band, ap7d_write write) {
  if (!(band.w > 0.0f)) return 0;
  const double half = band.w / 2.0;
  const double x0 = band.x0;
  ap7d_walk(band.y, band.axis, band.axis.centre_index(x0), kCutOff, write, band.h,
            [&](double x) { return ap7d_same(std::fabs(x - x0) <= half ? 1.0 : 0.0); });
  return 1;
}

uint16_t ap7d_simple_profile(const ap7d_band& band) {
  const double x0 = band.x0;
  const double w = band.w;
  const double p2 = band.p2;
  const double p3 = band.p3;
  const AP7D_PEAKKEY key = ap7d_key_of(band);
  switch (band.shape) {
    case AP7_SHAPE_GAUSSIAN:
      if (!(w > 0.0)) return 0;
      ap7d_cached_walk(band.y, band.axis, key, kCutOff, band.h,
                       [&](double x) { return ap7d_same(ap7d_gaussian(x, x0, w)); });
      return 1;
    case AP7_SHAPE_LORENTZIAN:
      if (!(w > 0.0)) return 0;
      ap7d_cached_walk(band.y, band.axis, key, kCutOff, band.h,
                       [&](double x) { return ap7d_same(ap7d_lorentzian(x, x0, w)); });
      return 1;
    case AP7_SHAPE_PSEUDO_VOIGT:
      if (!(w > 0.0) || !(p2 > 0.0)) return 0;
      ap7d_cached_walk(band.y, band.axis, key, kCutOff, band.h, [&](double x) {
        return ap7d_same((1.0 - p3) * ap7d_lorentzian(x, x0, p2) + p3 * ap7d_gaussian(x, x0, w));
      });
      return 1;
    default: {  // Pearson VII: half height at x0 ± w/2 for every exponent
      if (!(w > 0.0) || !(p2 >= 1.0)) return 0;
      const double k = 2.0 * std::sqrt(std::pow(2.0, 1.0 / p2) - 1.0);
      ap7d_cached_walk(band.y, band.axis, key, kCutOff, band.h, [&](double x) {
        const double s = k * (x - x0) / w;
        return ap7d_same(std::pow(1.0 + s * s, -p2));
      });
      return 1;
    }
  }
}

// Gaussian standard deviation from the full width w, Lorentzian half width
// from p2; either may be 0, leaving the other pure profile on every point.
uint16_t ap7d_voigt(const ap7d_band& band) {
  if (!(band.w >= 0.0f) || !(band.p2 >= 0.0f)) return 0;
  const double sigma = band.w / std::sqrt(std::log(256.0));
  const double gamma = band.p2 / 2.0;
  const double x0 = band.x0;
  const int32_t c = band.axis.centre_index(x0);
  if (sigma != 0.0 && gamma != 0.0) {
    const auto a = static_cast<float>(gamma / sigma);
    ap7d_walk(band.y, band.axis, c, kCutOff, ap7d_write::add, band.h, [&](double x) {
      return ap7d_same(ap7d_VoigtByConvolution(static_cast<float>((x - x0) / sigma), a, a * a));
    });
  } else if (sigma != 0.0) {
    ap7d_walk(band.y, band.axis, c, kNoCutOff, ap7d_write::add, band.h, [&](double x) {
      const double t = (x - x0) / sigma;
      return ap7d_same(std::exp(-t * t / 2.0));
    });
  } else if (gamma != 0.0) {
    ap7d_walk(band.y, band.axis, c, kNoCutOff, ap7d_write::add, band.h, [&](double x) {
      const double s = (x - x0) / gamma;
      return ap7d_same(1.0 / (s * s + 1.0));
    });
  }
  return 1;
}

// The run-time library's generator: 0..32767, its state moved on by the
// same recurrence for every draw.
class ap7d_draws {
 public:
  explicit ap7d_draws(uint32_t seed) : state_(seed) {}
  int32_t next() {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int32_t>((state_ >> 16) & 0x7FFFu);
  }

 private:
  uint32_t state_;
};

// Sums of ten uniform draws less their mean, scaled to an rms of h.
uint16_t ap7d_noise(const ap7d_band& band) {
  const int32_t n = band.axis.n;
  if (n < 1) return 1;
  ap7d_draws draws(GU4_SystemTime());
  std::vector<double> r(static_cast<size_t>(n));
  double squares = 0.0;
  for (double& value : r) {
    double sum = 0.0;
    for (int k = 0; k < kDrawsPerPoint; ++k) sum += draws.next() / kDrawRange;
    value = sum - kDrawsMean;
    squares += value * value;
  }
  const double rms = std::sqrt(squares / n);
  const double factor = rms == 0.0 ? 1.0 : band.h / rms;
  for (int32_t i = 0; i < n; ++i) band.y[i] += static_cast<float>(factor * r[static_cast<size_t>(i)]);
  return 1;
}

// The log-normal distribution of mean x0 and standard deviation w over
// x - p2, scaled to the height h at its largest point.
uint16_t ap7d_log_normal(const ap7d_band& band) {
  if (!(band.w > 0.0f) || !(band.x0 > 0.0f)) return 0;
  const AP7D_PEAKKEY key = ap7d_key_of(band);
  if (band.axis.x == nullptr && ap7d_PeakCacheLookup(key, band.y)) return 1;
  const double mean = band.x0;
  const double spread = band.w;
  const double ratio = 1.0 + spread * spread / (mean * mean);
  const double mu = std::log(mean / std::sqrt(ratio));
  const double s = std::sqrt(std::log(ratio));
  const int32_t n = band.axis.n;
  std::vector<double> v(static_cast<size_t>(n), 0.0);
  double largest = 0.0;
  for (int32_t i = 0; i < n; ++i) {
    const double t = band.axis.at(i) - band.p2;
    if (!(t > 0.0)) continue;
    const double z = (std::log(t) - mu) / s;
    v[static_cast<size_t>(i)] = std::exp(-z * z / 2.0) / (t * s * kSqrtTwoPi);
    largest = std::max(largest, v[static_cast<size_t>(i)]);
  }
  if (!(largest > 0.0)) return 1;
  std::vector<float> added(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i)
    added[static_cast<size_t>(i)] = static_cast<float>(band.h / largest * v[static_cast<size_t>(i)]);
  ap7d_add_everywhere(band.y, band.axis, key, added);
  return 1;
}

double ap7d_asymmetry(double rho) {
  if (rho > kSymmetricLow && rho < kSymmetricHigh) return kSymmetricHigh;
  return rho < kSmallestAsymmetry ? kSmallestAsymmetry : rho;
}

// Full width w at half height, its sides w·ρ/(ρ + 1) above and w/(ρ + 1)
// below the centre; nothing beyond the point c where the logarithm's
// argument reaches 0.
uint16_t ap7d_log_normal_band(const ap7d_band& band) {
  if (!(band.w > 0.0f) || !(band.x0 > 0.0f)) return 0;
  const AP7D_PEAKKEY key = ap7d_key_of(band);
  if (band.axis.x == nullptr && ap7d_PeakCacheLookup(key, band.y)) return 1;
  const double rho = ap7d_asymmetry(band.p2);
  const double x0 = band.x0;
  const double w = band.w;
  const double c = x0 - w * rho / (rho * rho - 1.0);
  const double log_rho = std::log(rho);
  const int32_t n = band.axis.n;
  std::vector<float> added(static_cast<size_t>(n), 0.0f);
  for (int32_t i = 0; i < n; ++i) {
    const double x = band.axis.at(i);
    if (!((rho >= 1.0 && x >= c) || (rho < 1.0 && x < c))) continue;
    const double q = std::fabs((rho * rho - 1.0) * (x - x0) / (w * rho) + 1.0);
    const double log_q = std::log(q);
    const double v = std::exp(-kLn2 * log_q * log_q / (log_rho * log_rho));
    if (v > kCutOff) added[static_cast<size_t>(i)] = static_cast<float>(band.h * v);
  }
  ap7d_add_everywhere(band.y, band.axis, key, added);
  return 1;
}

uint16_t ap7d_voigt_approx(const ap7d_band& band) {
  if (!(band.w > 0.0f) || !(band.p2 > 0.0f)) return 0;
  if (band.axis.x != nullptr)
    return ap7d_AddVoigtApprox(band.spectrum, band.y, band.axis.x, band.w, band.p2, band.x0, band.h);
  const double Y = kSqrtLn2 * band.p2 / band.w;
  const double v0 = ap7d_voigt_sum(0.0, Y);
  const double x0 = band.x0;
  const double w = band.w;
  ap7d_walk(band.y, band.axis, band.axis.centre_index(x0), kCutOff, ap7d_write::add, band.h, [&](double x) {
    return ap7d_same(ap7d_voigt_sum(2.0 * kSqrtLn2 * (x - x0) / w, Y) / v0);
  });
  return 1;
}

// Orthonormal vectors of degree 0 to 3 over the point indexes; too few
// points for the degree leave Y as it is.
void ap7d_normalise(std::vector<double>& v) {
  double squares = 0.0;
  for (double value : v) squares += value * value;
  const double norm = std::sqrt(squares);
  for (double& value : v) value /= norm;
}

std::vector<double> ap7d_linear(int32_t n) {
  std::vector<double> l(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) l[static_cast<size_t>(i)] = 2.0 * i / (n - 1) - 1.0;
  ap7d_normalise(l);
  return l;
}

uint16_t ap7d_basis(const ap7d_band& band) {
  const int32_t n = band.axis.n;
  const int32_t degree = band.shape - AP7_SHAPE_BASIS_CONSTANT;
  if (n <= degree) return 1;
  std::vector<double> v(static_cast<size_t>(n), 1.0);
  const double last = n - 1;
  if (degree == 1) v = ap7d_linear(n);
  if (degree == 2) {
    double mean = 0.0;
    for (int32_t i = 0; i < n; ++i) {
      v[static_cast<size_t>(i)] = 2.0 * i - 2.0 * i * i / last;
      mean += v[static_cast<size_t>(i)] / n;
    }
    for (double& value : v) value -= mean;
  }
  if (degree == 3) {
    for (int32_t i = 0; i < n; ++i)
      v[static_cast<size_t>(i)] = -(27.0 / (last * last * last)) * i * (i - last) * (i - last / 2.0);
    const std::vector<double> l = ap7d_linear(n);
    double along = 0.0;
    for (int32_t i = 0; i < n; ++i) along += v[static_cast<size_t>(i)] * l[static_cast<size_t>(i)];
    for (int32_t i = 0; i < n; ++i) v[static_cast<size_t>(i)] -= along * l[static_cast<size_t>(i)];
  }
  ap7d_normalise(v);
  for (int32_t i = 0; i < n; ++i) band.y[i] = static_cast<float>(v[static_cast<size_t>(i)]);
  return 1;
}

// The step of the derivatives taken over neighbouring profiles: an eighth
// of the point spacing, which must not be 0.
bool ap7d_spacing_step(const ap7d_band& band, double* step) {
  *step = ap7b_GetXSpacing(band.spectrum) * kSpacingStepShare;
  return *step != 0.0 && std::isfinite(*step);
}

// Analytic derivatives of the Gaussian and the Lorentzian by the centre and
// the width, or their differences over a step δ; written (not added) on
// the points where the profile itself reaches the cut-off.
uint16_t ap7d_profile_derivative(const ap7d_band& band) {
  if (!(band.w > 0.0f)) return 0;
  const bool gaussian = band.shape % 10 == 3;
  const bool by_width = band.shape / 10 % 10 == 2;
  const bool stepped = band.shape / 100 == 2;
  double delta = 0.0;
  if (stepped && !ap7d_spacing_step(band, &delta)) return 0;
  const double x0 = band.x0;
  const double w = band.w;
  // A width step as large as the width leaves no profile on its lower side.
  if (stepped && by_width && !(std::fabs(delta) < w)) return 0;
  auto profile = [gaussian](double x, double centre, double width) {
    return gaussian ? ap7d_gaussian(x, centre, width) : ap7d_lorentzian(x, centre, width);
  };
  ap7d_walk(band.y, band.axis, band.axis.centre_index(x0), kCutOff, ap7d_write::set, band.h, [&](double x) {
    const double v = profile(x, x0, w);
    if (stepped && by_width)
      return ap7d_sample{v, (profile(x, x0, w + delta) - profile(x, x0, w - delta)) / (2 * delta)};
    if (stepped) return ap7d_sample{v, (profile(x, x0 + delta, w) - profile(x, x0 - delta, w)) / (2 * delta)};
    const double u = (x - x0) / w;
    const double along = by_width ? u * u : u;
    if (gaussian) return ap7d_sample{v, 2.0 * (4.0 * kLn2) * along * v / w};
    return ap7d_sample{v, 8.0 * v * v * along / w};
  });
  return 1;
}

// The parameters of a band, moved for a central difference.
struct ap7d_parameters {
  float x0;
  float w;
  float p2;
  float p3;
};

// Derivatives by central difference over the whole spectrum: the base
// profile with one parameter raised by δ at height h into cleared Y, the
// same lowered by δ at height -h, all divided by 2δ.
uint16_t ap7d_difference_derivative(const ap7d_band& band) {
  const uint16_t code = band.shape % 100;
  const uint16_t base = code % 10 == 5   ? AP7_SHAPE_PSEUDO_VOIGT
                        : code % 10 == 7 ? AP7_SHAPE_VOIGT_APPROX
                                         : AP7_SHAPE_LOG_NORMAL_BAND;
  const bool log_normal = base == AP7_SHAPE_LOG_NORMAL_BAND;
  if (!(band.w > 0.0f)) return 0;
  if (log_normal ? !(band.x0 > 0.0f) : !(band.p2 > 0.0f)) return 0;
  const int moved = code / 10;  // 1 centre, 2 width(s), 3 the shape's own parameter
  ap7d_parameters centre{band.x0, band.w, band.p2, band.p3};
  double delta = 0.0;
  if (moved == 3 && base == AP7_SHAPE_PSEUDO_VOIGT) {
    delta = kShareStep;
  } else if (moved == 3 && log_normal) {
    centre.p2 = static_cast<float>(ap7d_asymmetry(band.p2));
    delta = std::pow(10.0, std::log10(centre.p2) + kAsymmetryDecades) - centre.p2;
  } else if (!ap7d_spacing_step(band, &delta)) {
    return 0;
  }
  if (base == AP7_SHAPE_PSEUDO_VOIGT && moved == 2 && AP1_KovFloatCompareSG_MATH(band.w, band.p2) == 0) return 0;
  auto moved_by = [&](double step) {
    ap7d_parameters p = centre;
    if (moved == 1) p.x0 = static_cast<float>(p.x0 + step);
    if (moved == 2) p.w = static_cast<float>(p.w + step);
    if (moved == 2 && base == AP7_SHAPE_PSEUDO_VOIGT) p.p2 = static_cast<float>(p.p2 + step);
    if (moved == 3 && base == AP7_SHAPE_PSEUDO_VOIGT) p.p3 = static_cast<float>(p.p3 + step);
    if (moved == 3 && base != AP7_SHAPE_PSEUDO_VOIGT) p.p2 = static_cast<float>(p.p2 + step);
    return p;
  };
  const ap7d_parameters up = moved_by(delta);
  const ap7d_parameters down = moved_by(-delta);
  const uint16_t raised = ap7d_SynthesizeBand(band.spectrum, band.axis.x, base, band.h, up.x0, up.w, up.p2, up.p3, 1);
  const uint16_t lowered =
      ap7d_SynthesizeBand(band.spectrum, band.axis.x, base, -band.h, down.x0, down.w, down.p2, down.p3, 0);
  const AP4_RANGE all{{0, 0}, {0, band.axis.n - 1}};
  const bool divided =
      band.axis.n > 0 && ap4a_DivideScalar(band.spectrum->data, all, static_cast<float>(2 * delta)) != 0;
  return raised && lowered && divided ? 1 : 0;
}

bool ap7d_reads_centre(uint16_t shape) {
  switch (shape) {
    case AP7_SHAPE_CLEAR:
    case AP7_SHAPE_BASELINE:
    case AP7_SHAPE_NOISE:
    case AP7_SHAPE_BASIS_CONSTANT:
    case AP7_SHAPE_BASIS_LINEAR:
    case AP7_SHAPE_BASIS_QUADRATIC:
    case AP7_SHAPE_BASIS_CUBIC: return false;
    default: return true;
  }
}

uint16_t ap7d_draw(const ap7d_band& band) {
  if (ap7d_reads_centre(band.shape) && !std::isfinite(band.x0)) return 0;
  switch (band.shape) {
    case AP7_SHAPE_CLEAR: return 1;
    case AP7_SHAPE_BASELINE: return ap7d_baseline(band);
    case AP7_SHAPE_RECTANGLE: return ap7d_span(band, ap7d_write::add);
    case AP7_SHAPE_GAUSSIAN:
    case AP7_SHAPE_LORENTZIAN:
    case AP7_SHAPE_PSEUDO_VOIGT:
    case AP7_SHAPE_PEARSON_VII: return ap7d_simple_profile(band);
    case AP7_SHAPE_VOIGT: return ap7d_voigt(band);
    case AP7_SHAPE_BLANK: return ap7d_span(band, ap7d_write::blank);
    case AP7_SHAPE_NOISE: return ap7d_noise(band);
    case AP7_SHAPE_LOG_NORMAL: return ap7d_log_normal(band);
    case AP7_SHAPE_LOG_NORMAL_BAND: return ap7d_log_normal_band(band);
    case AP7_SHAPE_VOIGT_APPROX: return ap7d_voigt_approx(band);
    case AP7_SHAPE_BASIS_CONSTANT:
    case AP7_SHAPE_BASIS_LINEAR:
    case AP7_SHAPE_BASIS_QUADRATIC:
    case AP7_SHAPE_BASIS_CUBIC: return ap7d_basis(band);
    case AP7_SHAPE_GAUSSIAN_BY_CENTRE:
    case AP7_SHAPE_GAUSSIAN_BY_WIDTH:
    case AP7_SHAPE_GAUSSIAN_STEP_CENTRE:
    case AP7_SHAPE_GAUSSIAN_STEP_WIDTH:
    case AP7_SHAPE_LORENTZIAN_BY_CENTRE:
    case AP7_SHAPE_LORENTZIAN_BY_WIDTH:
    case AP7_SHAPE_LORENTZIAN_STEP_CENTRE:
    case AP7_SHAPE_LORENTZIAN_STEP_WIDTH: return ap7d_profile_derivative(band);
    case AP7_SHAPE_PSEUDO_VOIGT_BY_CENTRE:
    case AP7_SHAPE_PSEUDO_VOIGT_BY_CENTRE_2:
    case AP7_SHAPE_PSEUDO_VOIGT_BY_WIDTHS:
    case AP7_SHAPE_PSEUDO_VOIGT_BY_WIDTHS_2:
    case AP7_SHAPE_PSEUDO_VOIGT_BY_SHARE:
    case AP7_SHAPE_PSEUDO_VOIGT_BY_SHARE_2:
    case AP7_SHAPE_VOIGT_APPROX_BY_CENTRE:
    case AP7_SHAPE_VOIGT_APPROX_BY_CENTRE_2:
    case AP7_SHAPE_VOIGT_APPROX_BY_WIDTH:
    case AP7_SHAPE_VOIGT_APPROX_BY_WIDTH_2:
    case AP7_SHAPE_VOIGT_APPROX_BY_SECOND:
    case AP7_SHAPE_VOIGT_APPROX_BY_SECOND_2:
    case AP7_SHAPE_LOG_NORMAL_BAND_BY_CENTRE:
    case AP7_SHAPE_LOG_NORMAL_BAND_BY_CENTRE_2:
    case AP7_SHAPE_LOG_NORMAL_BAND_BY_WIDTH:
    case AP7_SHAPE_LOG_NORMAL_BAND_BY_WIDTH_2:
    case AP7_SHAPE_LOG_NORMAL_BAND_BY_ASYMMETRY:
    case AP7_SHAPE_LOG_NORMAL_BAND_BY_ASYMMETRY_2: return ap7d_difference_derivative(band);
    default: return 0;
  }
}

// ---------------------------------------------------------------------------
// The peak cache

// A record: its key (with the X values of the stretch it checks in place
// of the caller's array), the values added over first..end - 1 and, for an
// explicit axis, the X values from one point before the stretch to one
// point after it, as far as the data reach.
struct ap7d_peak_record {
  AP7D_PEAKKEY key;
  bool explicit_axis;
  int32_t first;
  int32_t end;
  float* values;
  float* axis;
};

struct ap7d_peak_cache {
  GU3_HANDLE record_block;
  GU3_HANDLE value_block;
  GU3_HANDLE axis_block;
  ap7d_peak_record* records;
  int32_t capacity;
  int32_t slice;
  int32_t next;
};

ap7d_peak_cache g_peak_cache{};

void ap7d_free_peak_cache() {
  for (GU3_HANDLE block : {g_peak_cache.record_block, g_peak_cache.value_block, g_peak_cache.axis_block})
    if (block != nullptr) GU3_Free_MM(block);
  g_peak_cache = ap7d_peak_cache{};
}

// The X values a walk over first..end - 1 read: those of the stretch and
// of the point beyond each end, where it ended.
void ap7d_checked_axis(const AP7D_PEAKKEY& key, int32_t first, int32_t end, int32_t* from, int32_t* count) {
  *from = std::max(first - 1, 0);
  const auto to = static_cast<int32_t>(std::min<int64_t>(end, int64_t{key.points} - 1));
  *count = to - *from + 1;
}

bool ap7d_same_key(const ap7d_peak_record& record, const AP7D_PEAKKEY& key) {
  const AP7D_PEAKKEY& held = record.key;
  if (held.kind == 0 || held.kind != key.kind || held.height != key.height || held.centre != key.centre ||
      held.width != key.width || held.second != key.second || held.third != key.third || held.points != key.points ||
      held.first_x != key.first_x || held.last_x != key.last_x || record.explicit_axis != (key.x != nullptr))
    return false;
  if (!record.explicit_axis) return true;
  int32_t from = 0;
  int32_t count = 0;
  ap7d_checked_axis(key, record.first, record.end, &from, &count);
  return std::memcmp(record.axis, key.x + from, static_cast<size_t>(count) * sizeof(float)) == 0;
}

}  // namespace

uint16_t ap7d_SynthesizeBand(AP7_SPECTRUM* spectrum, const float* x, uint16_t shape, float height, float centre,
                             float width, float second, float third, int16_t clear) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  float* y = ap7b_GetDataPtr(checked);
  if (ap7a_record(checked) == nullptr || y == nullptr) return 0;
  const ap7d_axis axis = ap7d_axis_of(checked, x);
  if (x != nullptr && IsBadReadPtr(x, static_cast<uint32_t>(axis.n) * sizeof(float))) return 0;
  ap7a_change_bracket bracket(checked);
  if (!bracket.begun()) return 0;
  if (clear != 0 || shape == AP7_SHAPE_CLEAR) std::fill(y, y + axis.n, 0.0f);
  return ap7d_draw(ap7d_band{checked, y, axis, shape, height, centre, width, second, third});
}

uint16_t ap7d_BandShapeArea(AP7_SPECTRUM* spectrum, float* area, uint16_t shape, float height, float, float width,
                            float second, float third) {
  if (ap7a_record(ap7a_spectrum(spectrum)) == nullptr || IsBadWritePtr(area, sizeof(float))) return 0;
  *area = AP1_GetNaNSG_MATH();
  AP7_SPECTRUM* scratch = ap7a_Duplicate(spectrum, nullptr);
  if (scratch == nullptr) return 0;
  const AP41_HEADERDATA* record = ap7a_record(scratch);
  const auto middle = static_cast<float>((double{record->first_x} + record->last_x) / 2.0);
  const uint16_t result = ap7d_SynthesizeBand(scratch, nullptr, shape, height, middle, width, second, third, 1);
  if (result != 0) {
    const ap7d_axis axis = ap7d_axis_of(scratch, nullptr);
    const float* y = ap7b_GetDataPtr(scratch);
    double sum = 0.0;
    for (int32_t i = 1; i < axis.n; ++i) sum += (double{y[i]} + y[i - 1]) / 2.0;
    *area = static_cast<float>(sum * ap7b_GetXSpacing(scratch));
  }
  ap7a_Delete(scratch, nullptr);
  return result;
}

APEXPORT int16_t AP7D_InitPeakCache(int32_t n, int32_t m) {
  ap7d_free_peak_cache();
  if (n < 1 || m < 1) return 1;
  const uint64_t floats = static_cast<uint64_t>(n) * static_cast<uint64_t>(m);
  if (floats > UINT32_MAX) return 0;
  ap7d_peak_cache cache{};
  cache.record_block = GU3_Allocate_MM(static_cast<uint32_t>(n), sizeof(ap7d_peak_record), GU3_KIND_GLOBAL);
  cache.value_block = GU3_Allocate_MM(static_cast<uint32_t>(floats), sizeof(float), GU3_KIND_GLOBAL);
  cache.axis_block = GU3_Allocate_MM(static_cast<uint32_t>(floats), sizeof(float), GU3_KIND_GLOBAL);
  g_peak_cache = cache;
  if (cache.record_block == nullptr || cache.value_block == nullptr || cache.axis_block == nullptr) {
    ap7d_free_peak_cache();
    return 0;
  }
  auto* records = static_cast<ap7d_peak_record*>(GU3_GetPointer_MM(cache.record_block, 0, nullptr, nullptr));
  auto* values = static_cast<float*>(GU3_GetPointer_MM(cache.value_block, 0, nullptr, nullptr));
  auto* axis = static_cast<float*>(GU3_GetPointer_MM(cache.axis_block, 0, nullptr, nullptr));
  for (int32_t i = 0; i < n; ++i) {
    const size_t slice = static_cast<size_t>(i) * static_cast<size_t>(m);
    records[i] = ap7d_peak_record{AP7D_PEAKKEY{}, false, 0, 0, values + slice, axis + slice};
  }
  g_peak_cache.records = records;
  g_peak_cache.capacity = n;
  g_peak_cache.slice = m;
  return 1;
}

bool ap7d_PeakCacheLookup(const AP7D_PEAKKEY& key, float* y) {
  for (int32_t i = 0; i < g_peak_cache.capacity; ++i) {
    const ap7d_peak_record& record = g_peak_cache.records[i];
    if (!ap7d_same_key(record, key)) continue;
    for (int32_t k = record.first; k < record.end; ++k) y[k] += record.values[k - record.first];
    return true;
  }
  return false;
}

void ap7d_PeakCacheStore(const AP7D_PEAKKEY& key, const float* added, int32_t first, int32_t end) {
  if (g_peak_cache.capacity < 1 || key.kind == 0 || first < 0 || end <= first || end > int64_t{key.points}) return;
  if (int64_t{end} - first + 1 >= g_peak_cache.slice) return;
  ap7d_peak_record& record = g_peak_cache.records[g_peak_cache.next];
  record.key = key;
  record.key.x = nullptr;
  record.explicit_axis = key.x != nullptr;
  record.first = first;
  record.end = end;
  std::copy(added, added + (end - first), record.values);
  if (record.explicit_axis) {
    int32_t from = 0;
    int32_t count = 0;
    ap7d_checked_axis(key, first, end, &from, &count);
    std::copy(key.x + from, key.x + from + count, record.axis);
  }
  g_peak_cache.next = (g_peak_cache.next + 1) % g_peak_cache.capacity;
}

// The trapezoid rule over the Gaussian from -6 to 6 deviations, sampling
// the Lorentzian at t - u and t + u; normalised by the same sum at t = 0.
float ap7d_VoigtByConvolution(float t, float a, float a_squared) {
  const double steps = std::floor(kVoigtStepsPerA / a);
  const double n = steps <= kVoigtFewestSteps ? kVoigtFewestSteps : std::min(steps, kVoigtMostSteps);
  const auto count = static_cast<int32_t>(n);
  const double d = kVoigtSpan / n;
  const double half_step = d / 2.0;
  double numerator = 0.0;
  double denominator = 0.0;
  for (int32_t k = count; k >= 1; --k) {
    const double u = k * d;
    const double weight = k == count ? 0.5 : 1.0;
    const double g = std::exp(-u * u / 2.0);
    const double left = ap7d_voigt_lorentzian(t - u, a_squared, half_step);
    const double right = ap7d_voigt_lorentzian(t + u, a_squared, half_step);
    numerator += weight * g * (left + right);
    denominator += 2.0 * weight * g * ap7d_voigt_lorentzian(u, a_squared, 0.0);
  }
  return static_cast<float>((ap7d_voigt_lorentzian(t, a_squared, half_step) + numerator) / (1.0 + denominator));
}

uint16_t ap7d_AddVoigtApprox(AP7_SPECTRUM* spectrum, float* y, const float* x, float width, float second, float centre,
                             float height) {
  if (!(width > 0.0f) || !(second > 0.0f) || ap7a_record(ap7a_spectrum(spectrum)) == nullptr || y == nullptr ||
      x == nullptr)
    return 0;
  const ap7d_axis axis = ap7d_axis_of(spectrum, x);
  const AP7D_PEAKKEY key = ap7d_key(AP7_SHAPE_VOIGT_APPROX, height, centre, width, second, 0.0f, axis);
  const double Y = kSqrtLn2 * second / width;
  const double x0 = centre;
  const double w = width;
  ap7d_cached_walk(y, axis, key, kApproxCutOff, height / ap7d_voigt_sum(0.0, Y),
                   [&](double at) { return ap7d_same(ap7d_voigt_sum(2.0 * kSqrtLn2 * (at - x0) / w, Y)); });
  return 1;
}
