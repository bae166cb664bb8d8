#!/usr/bin/python3
"""Writes deconvolution_reference_values.h: Fourier self-deconvolution of a
few ranges worked with numpy's FFT (Debian python3-numpy) in double
precision. The array's transforms keep X[0] and 2 X[k] and drop the Nyquist
term; their inverse gives 2 (Y[0] + Re sum Y[k] e^(2 pi i k n / N)); both
are written here from numpy's own transform. Run it from this folder to
make the header again:

    /usr/bin/python3 make_deconvolution_references.py > deconvolution_reference_values.h
"""
import numpy as np


def forward(x):
    n = len(x)
    h = n // 2
    spectrum = np.fft.fft(x)
    out = np.zeros(n)
    out[0] = spectrum[0].real
    out[1:h] = 2 * spectrum[1:h].real
    out[h + 1:] = 2 * spectrum[1:h].imag
    return out


def inverse(y):
    n = len(y)
    h = n // 2
    z = np.zeros(n, dtype=complex)
    z[1:h] = y[1:h] + 1j * y[h + 1:]
    return 2 * (y[0] + (n * np.fft.ifft(z)).real)


def mirror(row, h):
    for j in range(1, h):
        row[h + j] = row[h - j]


def fill_gaps(x):
    x = x.copy()
    bad = np.isnan(x)
    x[bad] = np.interp(np.flatnonzero(bad), np.flatnonzero(~bad), x[~bad])
    return x


def deconvolve(x, first, last, width, factor, mode, points):
    d = fill_gaps(x)[first:last + 1]
    n = len(d)
    d = d - (d[0] + (d[-1] - d[0]) * np.arange(n) / (n - 1))
    h = points if 0 < points < 16384 else 16384
    s0 = d.sum()
    row = np.zeros(2 * h)
    row[:min(n, h)] = d[:h]
    mirror(row, h)
    row = inverse(row)
    width = max(width, 0.005)
    p = max(float(points), float(n))
    a = width * np.pi / (2 * (p + 1))
    f = {1: 2.2598, 2: 2.174}.get(mode, 2.0)
    t_limit = factor * f * (p + 1) / width
    t = max(int(t_limit), 1)
    if t < h:
        row[t:h + 1] = 0
    else:
        t = h
    i = np.arange(1, t + 1)
    x_ = i * np.pi / t_limit
    if mode == 2:
        g = np.exp(a * i) * np.sin(x_) / x_
    elif mode == 1:
        g = np.exp(a * i) * (t_limit - i) * np.sin(x_) / (x_ * t_limit)
    else:
        g = np.exp(a * i) * (np.cos(x_) + 1) / 2
    row[1:t + 1] *= g
    mirror(row, h)
    row = forward(row)
    out = np.zeros(n)
    out[:min(n, h)] = row[:min(n, h)]
    return out * (s0 / out.sum())


def floats(values):
    return ", ".join(repr(float(v)) for v in np.ravel(values))


# Two bands on a sloping base with one missing point, in single precision.
columns = np.arange(24)
source = (np.float32(3.0) / (1 + ((columns - 8.0) / 1.5) ** 2)
          + np.float32(2.0) / (1 + ((columns - 14.0) / 2.0) ** 2) + 0.05 * columns).astype(np.float32)
source[11] = np.nan
source64 = source.astype(np.float64)

cases = [
    ("cosine window", 1, 20, 3.0, 1.5, 0, 32),
    ("sinc window", 1, 20, 3.0, 1.5, 1, 16),
    ("sinc squared window", 1, 20, 3.0, 1.5, 2, 32),
    ("truncated early", 1, 20, 3.0, 0.3, 0, 16),
    ("range longer than the half length", 2, 21, 2.0, 0.8, 0, 16),
]
print(f"// Made by make_deconvolution_references.py (numpy {np.__version__}); do not edit.")
print("#pragma once")
print("#include <cmath>")
print("#include <cstdint>")
print()
print("namespace deconvolution_reference {")
print()
print(f"constexpr float source[] = {{{', '.join('NAN' if np.isnan(v) else repr(float(v)) + 'f' for v in source)}}};")
print(f"constexpr uint32_t source_count = {len(source)};")
print()
print("struct Case {")
print("  const char* what;")
print("  int32_t first;")
print("  int32_t last;")
print("  float half_width;")
print("  float factor;")
print("  uint16_t mode;")
print("  uint32_t points;")
print("  double expected[20];")
print("};")
print("constexpr Case cases[] = {")
for what, first, last, width, factor, mode, points in cases:
    out = deconvolve(source64, first, last, width, factor, mode, points)
    print(f'    {{"{what}", {first}, {last}, {width}f, {factor}f, {mode}, {points},')
    print(f"     {{{floats(out)}}}}},")
print("};")
print()
print("}  // namespace deconvolution_reference")
