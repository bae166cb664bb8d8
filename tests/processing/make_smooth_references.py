#!/usr/bin/python3
"""Writes smooth_references.h: a noisy band on an even X axis and its
Savitzky-Golay smoothing, first and second derivative (per X unit) by
scipy.signal.savgol_filter, computed once (Debian python3-numpy,
python3-scipy). Only the points whose window lies inside the data are
compared. Run it from this folder to make the header again:

    /usr/bin/python3 make_smooth_references.py > smooth_references.h
"""
import numpy as np
import scipy
from scipy.signal import savgol_filter


def floats(values):
    return ", ".join(repr(float(v)) + "f" for v in np.ravel(values))


points, first_x, spacing = 41, 400.0, 2.0
window, order = 7, 3
x = first_x + spacing * np.arange(points)
rng = np.random.default_rng(152)
band = 0.8 * np.exp(-((x - 440.0) / 12.0) ** 2) + 0.002 * (x - 400.0)
# The values as the tests store them: floats.
y = (band + rng.normal(0.0, 0.01, points)).astype(np.float32)
values = y.astype(np.float64)
smooth = savgol_filter(values, window, order, deriv=0, delta=spacing)
first = savgol_filter(values, window, order, deriv=1, delta=spacing)
second = savgol_filter(values, window, order, deriv=2, delta=spacing)

print("// Made by make_smooth_references.py (numpy " + np.__version__ + ", scipy " + scipy.__version__ +
      "); do not edit.")
print("#pragma once")
print()
print("namespace smooth_reference {")
print()
print(f"constexpr int kPoints = {points};")
print(f"constexpr float kFirstX = {first_x}f;")
print(f"constexpr float kSpacing = {spacing}f;")
print(f"constexpr int kWindow = {window};")
print(f"constexpr int kOrder = {order};")
print(f"constexpr float kValues[kPoints] = {{{floats(y)}}};")
print(f"constexpr float kSmoothed[kPoints] = {{{floats(smooth)}}};")
print(f"constexpr float kFirstDerivative[kPoints] = {{{floats(first)}}};")
print(f"constexpr float kSecondDerivative[kPoints] = {{{floats(second)}}};")
print()
print("}  // namespace smooth_reference")
