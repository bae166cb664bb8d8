#!/usr/bin/python3
"""Writes running_references.h: a set of spectra (their values in the
region the tests add), a property value for each, and the point-wise mean,
sample standard deviation and size of the correlation with the property,
computed once with numpy (Debian python3-numpy). Run it from this folder to
make the header again:

    /usr/bin/python3 make_running_references.py > running_references.h
"""
import numpy as np


def floats(values):
    return ", ".join(repr(float(v)) + "f" for v in np.ravel(values))


rng = np.random.default_rng(34)
spectra, points = 5, 7
# The values as the tests store them: floats of three decimals.
values = np.round(rng.uniform(-2.0, 3.0, size=(spectra, points)), 3).astype(np.float32)
prop = np.round(rng.uniform(0.5, 4.0, size=spectra), 3).astype(np.float32)

x = values.astype(np.float64)
y = prop.astype(np.float64)
mean = x.mean(axis=0)
deviation = x.std(axis=0, ddof=1)
correlation = np.array([abs(np.corrcoef(x[:, j], y)[0, 1]) for j in range(points)])

print("// Made by make_running_references.py (numpy " + np.__version__ + "); do not edit.")
print("#pragma once")
print()
print("namespace running_reference {")
print()
print(f"constexpr int kSpectra = {spectra};")
print(f"constexpr int kPoints = {points};")
print("// Row k: the region's values of spectrum k.")
print(f"constexpr float kValues[kSpectra][kPoints] = {{")
for row in values:
    print(f"    {{{floats(row)}}},")
print("};")
print(f"constexpr float kProperty[kSpectra] = {{{floats(prop)}}};")
print(f"constexpr double kMean[kPoints] = {{{', '.join(repr(float(v)) for v in mean)}}};")
print(f"constexpr double kDeviation[kPoints] = {{{', '.join(repr(float(v)) for v in deviation)}}};")
print(f"constexpr double kCorrelation[kPoints] = {{{', '.join(repr(float(v)) for v in correlation)}}};")
print()
print("}  // namespace running_reference")
