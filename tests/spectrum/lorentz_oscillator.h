// The optical constants of one Lorentz oscillator in closed form, and the
// reflectances they give: the reference of the Kramers-Kronig tests.
//
// eps(nu) = eps_inf + S nu0^2 / (nu0^2 - nu^2 - i gamma nu), N = n + ik its
// root with k >= 0; at normal incidence from air r = (N - 1) / (N + 1); in
// attenuated total reflection from a crystal of index nc at angle theta the
// Fresnel coefficients of both polarisations.
#pragma once
#include <cmath>
#include <complex>

namespace oscillator {

struct Lorentz {
  double eps_inf = 2.25;
  double strength = 0.8;
  double centre = 1000.0;
  double width = 30.0;

  std::complex<double> index(double nu) const {
    const std::complex<double> eps =
        eps_inf + strength * centre * centre / std::complex<double>(centre * centre - nu * nu, -width * nu);
    std::complex<double> n = std::sqrt(eps);
    return n.imag() < 0.0 ? -n : n;
  }
  // Normal-incidence reflectance as a fraction.
  double reflectance(double nu) const {
    const std::complex<double> n = index(nu);
    return std::norm((n - 1.0) / (n + 1.0));
  }
  // The phase of the reflected wave.
  double phase(double nu) const {
    const std::complex<double> n = index(nu);
    return std::arg((n - 1.0) / (n + 1.0));
  }
  // Absorbance of an unpolarised ATR measurement of `reflections`
  // reflections at angle `degrees` from a crystal of index nc.
  double atr_absorbance(double nu, double nc, double degrees, double reflections) const {
    const double theta = degrees * M_PI / 180.0;
    const std::complex<double> n = index(nu);
    const double s = std::sin(theta);
    const double c = std::cos(theta);
    std::complex<double> w = std::sqrt(n * n - nc * nc * s * s);
    if (w.imag() < 0.0) w = -w;
    const double rs = std::norm((nc * c - w) / (nc * c + w));
    const double rp = std::norm((n * n * c - nc * w) / (n * n * c + nc * w));
    return -std::log10((std::pow(rs, reflections) + std::pow(rp, reflections)) / 2.0);
  }
};

}  // namespace oscillator
