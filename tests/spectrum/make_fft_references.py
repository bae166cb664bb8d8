#!/usr/bin/python3
"""Writes fft_reference_values.h: the references of the interpolation of a
spectrum through its Fourier transform, computed once in double precision
with numpy's FFT (Debian python3-numpy). Run it from this folder to make the
header again:

    /usr/bin/python3 make_fft_references.py > fft_reference_values.h

Each case is a stretch on the axis 0, 1, ..., n - 1 brought to a target
spacing: the runs of missing values are filled along the line between their
neighbours, the stretch is continued from its last value back to its first
up to m points (a power of two, at least 8 for every halving of the
transform to come), transformed, the middle of the
transform widened with zeros (or cut out) until the spacing is within 10 %
of the target, transformed back and divided by m; the points past the
stretch's end are dropped and the points strictly inside one spacing
around a run of missing values are missing again.
"""
import math

import numpy as np


def fill_gaps(y):
    y = np.array(y, dtype=np.float64)
    present = ~np.isnan(y)
    index = np.arange(len(y))
    y[~present] = np.interp(index[~present], index[present], y[present])
    return y


def interpolate(y, target):
    n = len(y)
    d = 1.0
    gaps = []
    i = 0
    while i < n:
        if math.isnan(y[i]):
            j = i
            while j + 1 < n and math.isnan(y[j + 1]):
                j += 1
            gaps.append((i - d, j + d))
            i = j
        i += 1
    filled = fill_gaps(y)
    m = 8
    coarse = d
    while coarse * 1.1 < target:
        coarse *= 2
        m *= 2
    while m < n:
        m *= 2
    step = (filled[0] - filled[-1]) / (m - n + 1)
    extended = np.concatenate([filled, filled[-1] + step * np.arange(1, m - n + 1)])
    spectrum = np.fft.fft(extended)
    while d * 0.9 > target:
        length = len(spectrum)
        wide = np.zeros(2 * length, dtype=complex)
        wide[: length // 2] = spectrum[: length // 2]
        wide[length // 2 + length :] = spectrum[length // 2 :]
        spectrum = wide
        d /= 2
    while d * 1.1 < target:
        length = len(spectrum) // 2
        narrow = np.zeros(length, dtype=complex)
        narrow[: length // 2] = spectrum[: length // 2]
        narrow[length // 2 :] = spectrum[length // 2 + length :]
        spectrum = narrow
        d *= 2
    values = np.real(np.fft.ifft(spectrum)) * len(spectrum) / m
    count = int(math.floor((n - 1) / d + 1.0 + 1e-3))
    values = values[:count]
    for k in range(count):
        x = k * d
        if any(start < x < end for start, end in gaps):
            values[k] = math.nan
    return d, values


def floats(values):
    return ", ".join("NAN" if math.isnan(v) else repr(float(v)) + "f" for v in values)


cases = [
    ("refined", [3 + math.sin(0.5 * x) + 0.1 * x for x in range(12)], 0.5),
    ("coarsened", [2 + math.cos(0.3 * x) for x in range(20)], 2.0),
    ("coarsened_short", [1.0, 4.0, 2.0, 5.0, 3.0, 6.0], 2.0),
    ("refined_twice", [1 + 0.05 * x * x - 0.2 * x for x in range(9)], 0.25),
    ("gap", [3 + math.sin(0.5 * x) if x not in (5, 6) else math.nan for x in range(12)], 0.5),
]

print("// Made by make_fft_references.py (numpy " + np.__version__ + "); do not edit.")
print("#pragma once")
print("#include <cmath>")
print()
print("namespace fft_reference {")
print()
for name, y, target in cases:
    d, values = interpolate(y, target)
    print(f"constexpr float {name}_source[] = {{{floats(y)}}};")
    print(f"constexpr float {name}_target = {target!r}f;")
    print(f"constexpr float {name}_spacing = {d!r}f;")
    print(f"constexpr float {name}_values[] = {{{floats(values)}}};")
    print()
print("}  // namespace fft_reference")
