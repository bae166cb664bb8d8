#!/usr/bin/python3
"""Writes band_references.h: Voigt profiles for the band-shape tests,
computed once with scipy.special.voigt_profile (Debian python3-scipy), each
normalised to 1 at its centre. Run it from this folder to make the header
again:

    /usr/bin/python3 make_band_references.py > band_references.h
"""
import math

import numpy as np
import scipy
from scipy.special import voigt_profile


def floats(values):
    return ", ".join(repr(float(v)) for v in np.ravel(values))


def voigt(x, centre, gaussian_width, lorentzian_width):
    """The Voigt profile of a Gaussian of full width gaussian_width and a
    Lorentzian of full width lorentzian_width, 1 at the centre."""
    sigma = gaussian_width / math.sqrt(math.log(256.0))
    gamma = lorentzian_width / 2.0
    return voigt_profile(x - centre, sigma, gamma) / voigt_profile(0.0, sigma, gamma)


print("// Made by make_band_references.py (scipy " + scipy.__version__ + "); do not edit.")
print("#pragma once")
print("#include <cstdint>")
print()
print("namespace band_reference {")
print()

# The even axis of the tests: 101 points over 0..100, the centre off the grid.
first, last, points = 0.0, 100.0, 101
centre = float(np.float32(40.3))  # as the test passes it, a float
x = np.linspace(first, last, points)
print(f"constexpr float kFirstX = {first}f;")
print(f"constexpr float kLastX = {last}f;")
print(f"constexpr uint32_t kPoints = {points};")
print(f"constexpr float kCentre = {centre!r}f;")
print()

cases = [(10.0, 4.0), (6.0, 12.0), (8.0, 0.5)]
print("struct VoigtCase { float gaussian_width; float lorentzian_width; const double* values; };")
for k, (w, p2) in enumerate(cases):
    print(f"constexpr double voigt_{k}[] = {{{floats(voigt(x, centre, w, p2))}}};")
print("constexpr VoigtCase voigt_cases[] = {" + ", ".join(
    f"{{{w}f, {p2}f, voigt_{k}}}" for k, (w, p2) in enumerate(cases)) + "};")
print()

# An uneven X array close to the even axis, and the first profile on it.
uneven = x + 0.3 * np.sin(x)
print(f"constexpr float uneven_x[] = {{{', '.join(repr(float(np.float32(v))) + 'f' for v in uneven)}}};")
w, p2 = cases[0]
print(f"constexpr double voigt_uneven[] = {{{floats(voigt(uneven.astype(np.float32).astype(np.float64), centre, w, p2))}}};")
print()
print("}  // namespace band_reference")
