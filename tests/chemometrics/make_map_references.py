#!/usr/bin/python3
"""Writes map_reference_values.h: the numpy references of the map PCA and
eigenvalue-report tests (Debian python3-numpy). Run it from this folder to
make the header again:

    /usr/bin/python3 make_map_references.py > map_reference_values.h
"""
import numpy as np


def floats(values):
    return ", ".join(repr(float(v)) for v in np.ravel(values))


def array(name, values):
    print(f"constexpr double {name}[] = {{{floats(np.asarray(values, dtype=np.float64))}}};")


print("// Made by make_map_references.py (numpy " + np.__version__ + "); do not edit.")
print("#pragma once")
print("#include <cstdint>")
print()
print("namespace mapref {")
print()

# A 3 x 4 map of 8-point spectra: a mean spectrum plus two components with
# known scores, so that the centred map has rank 2.
rows, columns, points = 3, 4, 8
k = np.arange(points)
mean_spectrum = 1.0 + 0.1 * k
component_a = np.exp(-0.5 * ((k - 2.0) / 1.0) ** 2)
component_b = np.exp(-0.5 * ((k - 5.5) / 1.2) ** 2)
position = np.arange(rows * columns)
score_a = np.cos(0.7 * position) * 2.0
score_b = np.sin(1.3 * position) + 0.25 * position
x = mean_spectrum + np.outer(score_a, component_a) + np.outer(score_b, component_b)
x = x.astype(np.float32).astype(np.float64)
print(f"constexpr uint32_t map_rows = {rows};")
print(f"constexpr uint32_t map_columns = {columns};")
print(f"constexpr uint32_t map_points = {points};")
array("map", x)

# Map-wide centring, then the principal factors of the centred map.
centred = x - x.mean(axis=0)
u, s, vt = np.linalg.svd(centred, full_matrices=False)
array("map_eigenvalues", s[:2] ** 2)
print(f"constexpr double map_total = {float((centred ** 2).sum())!r};")
array("map_loadings", vt[:2])            # factor by factor, over the points
array("map_scores", centred @ vt[:2].T)  # position by position
# Map-wide autoscaling (centred, sample deviation per point).
array("map_autoscaled", centred / x.std(axis=0, ddof=1))
print()

# Eigenvalue report: 12 points x 4 spectra of rank 2 on different straight
# baselines; points 3 and 9 are masked out.
p, m = 12, 4
k = np.arange(p)
peak_1 = np.exp(-0.5 * ((k - 4.0) / 1.1) ** 2)
peak_2 = np.exp(-0.5 * ((k - 8.0) / 0.9) ** 2)
amounts = np.array([[1.0, 0.2], [0.5, 0.9], [0.3, 0.4], [1.2, 1.1]])
pure = np.outer(peak_1, amounts[:, 0]) + np.outer(peak_2, amounts[:, 1])
noise = np.cos(np.outer(k + 1, np.arange(1, m + 1)) * 1.7) * 0.01
d = (pure + noise).astype(np.float32).astype(np.float64)
print(f"constexpr uint32_t report_points = {p};")
print(f"constexpr uint32_t report_spectra = {m};")
array("report_data", d)
masked = d.copy()
masked[[3, 9], :] = 0.0
sv = np.linalg.svd(masked, compute_uv=False)
array("report_eigenvalues", sv ** 2)
print(f"constexpr double report_total = {float((masked ** 2).sum())!r};")
print()
print("}  // namespace mapref")
