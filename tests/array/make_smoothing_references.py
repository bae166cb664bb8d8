#!/usr/bin/python3
"""Writes smoothing_reference_values.h: the references of the derivative and
smoothing tests, computed once with scipy's Savitzky-Golay filter (Debian
python3-numpy and python3-scipy). Run it from this folder to make the header
again:

    /usr/bin/python3 make_smoothing_references.py > smoothing_reference_values.h

The smoothing narrows its window towards the ends of the row: the point c
places from an end is smoothed with the window of 2c + 1 points centred on
it, the last two points with a plain mean of three and no smoothing. Each
such point is the interior value of savgol_filter with that window.
"""
import numpy as np
from scipy.signal import savgol_coeffs, savgol_filter

POINTS = 40
SPACING = 0.5


def floats(values):
    return ", ".join(repr(float(v)) for v in np.ravel(values))


def array(name, values):
    print(f"constexpr double {name}[] = {{{floats(values)}}};")


def narrowing_smooth(x, window):
    n = len(x)
    half = (window - 1) // 2
    full = savgol_filter(x, window, 2, mode="interp")
    out = np.empty(n)
    for c in range(n):
        if c < half or c > n - half - 1:
            edge = min(c, n - 1 - c)
            if edge == 0:
                out[c] = x[c]
            elif edge == 1:
                out[c] = np.mean(x[c - 1:c + 2])
            else:
                out[c] = savgol_filter(x, 2 * edge + 1, 2, mode="interp")[c]
        else:
            out[c] = full[c]
    return out


# A smooth line with a band on it and a deterministic ripple, rounded to the
# single precision that the arrays hold.
t = np.arange(POINTS, dtype=np.float64)
signal = 0.02 * t + 3.0 * np.exp(-((t - 17.0) / 4.0) ** 2) + 0.25 * np.sin(1.7 * t)
signal = signal.astype(np.float32).astype(np.float64)

print("// Made by make_smoothing_references.py (numpy " + np.__version__ + "); do not edit.")
print("#pragma once")
print("#include <cstdint>")
print()
print("namespace smoothing_reference {")
print()
print(f"constexpr uint32_t points = {POINTS};")
print(f"constexpr float spacing = {SPACING!r}f;")
array("signal", signal)
print()
print("// Quadratic smoothing coefficients, windows 5, 7, ..., 25, one after the other.")
array("coefficients", np.concatenate([savgol_coeffs(w, 2) for w in range(5, 26, 2)]))
print()
print("// Central differences (window 3, first derivative) and the same taken twice;")
print("// the first is exact from point 1 to points - 2, the second from 2 to points - 3.")
first = savgol_filter(signal, 3, 2, deriv=1, delta=SPACING, mode="interp")
array("first_derivative", first)
array("second_derivative", savgol_filter(first, 3, 2, deriv=1, delta=SPACING, mode="interp"))
print()
print("// The narrowing smoothing of the whole row with windows 7 and 25.")
array("smoothed_7", narrowing_smooth(signal, 7))
array("smoothed_25", narrowing_smooth(signal, 25))
print()
print("}  // namespace smoothing_reference")
