#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>
#include <complex>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "processing/processing.h"
#include "spectrum/lorentz_oscillator.h"
#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

class ReflectanceKK : public SpectrumTest {
 protected:
  struct Outputs {
    AP7_SPECTRUM* n = nullptr;
    AP7_SPECTRUM* k = nullptr;
    AP7_SPECTRUM* absorption = nullptr;
  };

  static double nu(float first, float last, uint32_t n, uint32_t i) {
    return first + (static_cast<double>(last) - first) * i / (n - 1);
  }

  // A percent-reflectance spectrum of the oscillator over first..last.
  static AP7_SPECTRUM* reflectance_spectrum(const oscillator::Lorentz& model, uint32_t n, float first, float last) {
    std::vector<float> y(n);
    for (uint32_t i = 0; i < n; ++i) y[i] = static_cast<float>(100.0 * model.reflectance(nu(first, last, n, i)));
    return percent_reflectance(first, last, y);
  }

  static AP7_SPECTRUM* percent_reflectance(float first, float last, const std::vector<float>& y) {
    AP7_SPECTRUM* spectrum = make_axis(first, last, y);
    record(spectrum).y_units = 11;
    record(spectrum).x_units = 1;
    std::snprintf(record(spectrum).title, sizeof record(spectrum).title, "%s", "Sample");
    return spectrum;
  }

  static uint32_t transform(AP7_SPECTRUM* spectrum, Outputs* out) {
    AP7G_KKPARM parameter{&out->n, &out->k, &out->absorption};
    return send(AP7_MSG_KK_REFLECTANCE, spectrum, &parameter);
  }

  static void destroy_all(const Outputs& out) {
    for (AP7_SPECTRUM* s : {out.n, out.k, out.absorption}) destroy(s);
  }
};

// Over a range wide enough that the reflectance beyond it is about constant,
// as the integral's end terms assume, n and k come out close to the
// oscillator's.
TEST_F(ReflectanceKK, RecoversTheOpticalConstantsOfALorentzOscillator) {
  const oscillator::Lorentz model;
  constexpr uint32_t kPoints = 601;
  AP7_SPECTRUM* spectrum = reflectance_spectrum(model, kPoints, 100.0f, 6100.0f);
  const std::vector<float> before = values(spectrum);
  Outputs out;
  ASSERT_EQ(transform(spectrum, &out), AP7G_KK_DONE);
  const std::vector<float> n = values(out.n);
  const std::vector<float> k = values(out.k);
  const std::vector<float> absorption = values(out.absorption);
  ASSERT_EQ(n.size(), kPoints);
  ASSERT_EQ(k.size(), kPoints);
  ASSERT_EQ(absorption.size(), kPoints);
  for (uint32_t i = 0; i < kPoints; ++i) {
    const double x = nu(100.0f, 6100.0f, kPoints, i);
    const std::complex<double> index = model.index(x);
    EXPECT_NEAR(n[i], index.real(), 0.06) << "point " << i;
    EXPECT_NEAR(k[i], index.imag(), 0.04) << "point " << i;
    EXPECT_NEAR(absorption[i], 4.0 * M_PI * x / 23030.0 * k[i], 1e-5 * std::max(1.0, std::fabs(static_cast<double>(absorption[i]))));
  }
  EXPECT_EQ(values(spectrum), before);
  destroy_all(out);
  destroy(spectrum);
}

// n and k put back into the Fresnel formula give the measured reflectance,
// whatever the phase: the amplitude is the measured one.
TEST_F(ReflectanceKK, OpticalConstantsGiveTheReflectanceBack) {
  const oscillator::Lorentz model{2.0, 0.5, 1200.0, 40.0};
  constexpr uint32_t kPoints = 161;
  AP7_SPECTRUM* spectrum = reflectance_spectrum(model, kPoints, 800.0f, 1600.0f);
  Outputs out;
  ASSERT_EQ(transform(spectrum, &out), AP7G_KK_DONE);
  const std::vector<float> r = values(spectrum);
  const std::vector<float> n = values(out.n);
  const std::vector<float> k = values(out.k);
  for (uint32_t i = 0; i < kPoints; ++i) {
    const std::complex<double> index(n[i], k[i]);
    EXPECT_NEAR(100.0 * std::norm((index - 1.0) / (index + 1.0)), r[i], 1e-3 * r[i]) << "point " << i;
  }
  destroy_all(out);
  destroy(spectrum);
}

// The phase of n + ik; the first and last repeat their neighbours'.
TEST_F(ReflectanceKK, EndPhasesRepeatTheirNeighbours) {
  AP7_SPECTRUM* spectrum = reflectance_spectrum(oscillator::Lorentz{}, 41, 800.0f, 1200.0f);
  Outputs out;
  ASSERT_EQ(transform(spectrum, &out), AP7G_KK_DONE);
  const std::vector<float> n = values(out.n);
  const std::vector<float> k = values(out.k);
  auto phase = [&](size_t i) {
    const std::complex<double> index(n[i], k[i]);
    return std::arg((index - 1.0) / (index + 1.0));
  };
  EXPECT_NEAR(phase(0), phase(1), 1e-4);
  EXPECT_NEAR(phase(40), phase(39), 1e-4);
  EXPECT_GT(std::fabs(phase(20) - phase(19)), 1e-3);
  destroy_all(out);
  destroy(spectrum);
}

TEST_F(ReflectanceKK, OutputsCarryTheirUnitsTitlesAndHistory) {
  AP7_SPECTRUM* spectrum = reflectance_spectrum(oscillator::Lorentz{}, 41, 800.0f, 1200.0f);
  Outputs out;
  ASSERT_EQ(transform(spectrum, &out), AP7G_KK_DONE);
  EXPECT_EQ(packed(record(out.n).y_units), 8u);
  EXPECT_EQ(packed(record(out.k).y_units), 8u);
  EXPECT_EQ(packed(record(out.absorption).y_units), 17u);
  EXPECT_EQ(std::string(record(out.n).title), "Refractive index: Sample");
  EXPECT_EQ(std::string(record(out.k).title), "Extinction coefficient: Sample");
  EXPECT_EQ(std::string(record(out.absorption).title), "Absorption index: Sample");
  EXPECT_EQ(std::string(record(out.n).p52), "Refractive index");
  EXPECT_EQ(std::string(record(out.k).p54), "Extinction coefficient");
  EXPECT_EQ(std::string(record(out.absorption).p52), "");
  const std::string history = ap_result_object<char>(send(AP7_MSG_GET_HISTORY, out.k));
  EXPECT_NE(history.find("Kramers-Kronig extinction coefficient"), std::string::npos);
  EXPECT_EQ(history.substr(history.size() - 4), "\r\n\r\n");
  // The input's title and header stay.
  EXPECT_EQ(std::string(record(spectrum).title), "Sample");
  EXPECT_EQ(packed(record(spectrum).y_units), 11u);
  destroy_all(out);
  destroy(spectrum);
}

// The integral runs along rising wavenumbers: a falling axis gives the same
// constants in its own order, where the integral's end terms would take
// logarithms of negative numbers.
TEST_F(ReflectanceKK, FallingAxisGivesTheSameConstantsReversed) {
  const oscillator::Lorentz model;
  AP7_SPECTRUM* rising = reflectance_spectrum(model, 81, 800.0f, 1200.0f);
  AP7_SPECTRUM* falling = reflectance_spectrum(model, 81, 1200.0f, 800.0f);
  Outputs up;
  Outputs down;
  ASSERT_EQ(transform(rising, &up), AP7G_KK_DONE);
  ASSERT_EQ(transform(falling, &down), AP7G_KK_DONE);
  for (auto [a, b] : {std::pair{up.n, down.n}, std::pair{up.k, down.k}, std::pair{up.absorption, down.absorption}}) {
    const std::vector<float> forward = values(a);
    const std::vector<float> backward = values(b);
    for (size_t i = 0; i < forward.size(); ++i) {
      ASSERT_FALSE(std::isnan(backward[i]));
      EXPECT_NEAR(backward[forward.size() - 1 - i], forward[i], 1e-5 * std::max(1.0f, std::fabs(forward[i])));
    }
  }
  destroy_all(up);
  destroy_all(down);
  destroy(rising);
  destroy(falling);
}

struct BadValues {
  const char* name;
  std::vector<float> y;
  uint32_t status;
};

TEST_F(ReflectanceKK, BadReflectanceValuesGiveTheirStatusAndNoSpectra) {
  const std::vector<BadValues> cases = {
      {"zero", {20.0f, 0.0f, 30.0f, 40.0f}, AP7G_KK_ZERO},
      {"negative", {20.0f, -5.0f, 30.0f, 40.0f}, AP7G_KK_NEGATIVE},
      {"missing", {20.0f, NAN, 30.0f, 40.0f}, AP7G_KK_NAN},
      // The last bad point decides.
      {"negative first, missing last", {-1.0f, 20.0f, 30.0f, NAN}, AP7G_KK_NAN},
      {"missing first, zero last", {NAN, 20.0f, 30.0f, 0.0f}, AP7G_KK_ZERO},
  };
  for (const BadValues& c : cases) {
    SCOPED_TRACE(c.name);
    AP7_SPECTRUM* spectrum = percent_reflectance(1000.0f, 1003.0f, c.y);
    const auto live = spectrum_class().live;
    auto* sentinel = reinterpret_cast<AP7_SPECTRUM*>(0x1234);
    Outputs out{sentinel, sentinel, sentinel};
    EXPECT_EQ(transform(spectrum, &out), c.status);
    EXPECT_EQ(out.n, sentinel);
    EXPECT_EQ(out.k, sentinel);
    EXPECT_EQ(out.absorption, sentinel);
    EXPECT_EQ(spectrum_class().live, live);
    destroy(spectrum);
  }
}

TEST_F(ReflectanceKK, RefusedInputs) {
  Outputs out;
  // Two points leave no inner point for the phase to start from.
  AP7_SPECTRUM* two = percent_reflectance(1000.0f, 1001.0f, {20.0f, 30.0f});
  EXPECT_EQ(transform(two, &out), AP7G_KK_FAILED);
  EXPECT_EQ(out.n, nullptr);
  destroy(two);
  // Units that do not convert to reflectance.
  AP7_SPECTRUM* raman = percent_reflectance(1000.0f, 1003.0f, {20.0f, 30.0f, 40.0f, 50.0f});
  record(raman).y_units = 31;
  EXPECT_EQ(transform(raman, &out), AP7G_KK_FAILED);
  // An out-field that cannot be written.
  AP7G_KKPARM parameter{&out.n, nullptr, &out.absorption};
  record(raman).y_units = 11;
  EXPECT_EQ(send(AP7_MSG_KK_REFLECTANCE, raman, &parameter), AP7G_KK_FAILED);
  EXPECT_EQ(out.n, nullptr);
  destroy(raman);
}

}  // namespace
