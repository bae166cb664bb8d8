#!/usr/bin/python3
"""Writes reference_values.h: the independent references of the chemometric
tests, computed once with numpy and scipy (Debian python3-numpy and
python3-scipy). Run it from this folder to make the header again:

    /usr/bin/python3 make_references.py > reference_values.h
"""
import numpy as np
from scipy.optimize import nnls
from scipy.signal import savgol_coeffs


def floats(values):
    return ", ".join(repr(float(v)) for v in np.ravel(values))


def array(name, values):
    values = np.asarray(values, dtype=np.float64)
    print(f"constexpr double {name}[] = {{{floats(values)}}};")


def matrix(name, values):
    values = np.asarray(values, dtype=np.float64)
    rows, columns = values.shape
    print(f"constexpr uint32_t {name}_rows = {rows};")
    print(f"constexpr uint32_t {name}_columns = {columns};")
    array(name, values)


print("// Made by make_references.py (numpy " + np.__version__ + "); do not edit.")
print("#pragma once")
print("#include <cstdint>")
print()
print("namespace reference {")
print()

# Savitzky-Golay: (window, order, derivative); coefficients in the order in
# which they multiply the points of the window, left to right.
sg_cases = [(5, 2, 0), (7, 2, 1), (9, 4, 2), (11, 3, 0), (21, 4, 2), (25, 6, 1), (31, 5, 0)]
print("struct SGCase { int32_t window; int32_t order; int32_t derivative; const double* coefficients; };")
for window, order, derivative in sg_cases:
    c = savgol_coeffs(window, order, deriv=derivative, use="dot")
    array(f"sg_{window}_{order}_{derivative}", c)
print("constexpr SGCase sg_cases[] = {" + ", ".join(
    f"{{{w}, {o}, {d}, sg_{w}_{o}_{d}}}" for w, o, d in sg_cases) + "};")
print()

# A data matrix (more rows than columns), its singular values in
# descending order and the squares, which the eigen analysis finds.
x = np.array([[2.0, 0.5, -1.0, 3.0],
              [1.0, 4.0, 0.0, -2.0],
              [0.0, 1.5, 2.5, 1.0],
              [-3.0, 0.0, 1.0, 0.5],
              [1.0, -1.0, 0.5, 2.0],
              [0.5, 2.0, -1.5, 0.0]])
matrix("data", x)
u, s, vt = np.linalg.svd(x)
array("data_singular_values", s)
array("data_loadings", vt)  # row f: the unit loading of factor f, up to sign
print()

# A symmetric positive-definite matrix and a symmetric indefinite one whose
# leading minors are all non-zero, with their inverses.
spd = np.array([[4.0, 1.0, 0.5, 0.2],
                [1.0, 3.0, 0.3, 0.1],
                [0.5, 0.3, 2.0, 0.4],
                [0.2, 0.1, 0.4, 1.0]])
matrix("spd", spd)
array("spd_inverse", np.linalg.inv(spd))
indefinite = np.array([[2.0, 1.0, 3.0],
                       [1.0, -1.0, 0.5],
                       [3.0, 0.5, 1.0]])
matrix("indefinite", indefinite)
array("indefinite_inverse", np.linalg.inv(indefinite))
print()

# Least squares: coefficients of the columns of b fitted by the columns of g
# ((GᵀG)⁻¹GᵀB), and the non-negative fit of one column whose unconstrained
# fit has a negative coefficient.
g = np.array([[1.0, 0.0, 0.5],
              [0.8, 0.2, 0.4],
              [0.5, 0.6, 0.1],
              [0.2, 1.0, 0.0],
              [0.0, 0.7, 0.6],
              [0.1, 0.3, 1.0]])
matrix("components", g)
b = np.array([[1.0, 2.0], [1.1, 1.0], [0.9, 0.5], [0.4, 0.3], [0.2, 1.5], [0.6, 2.2]])
matrix("targets", b)
array("lsq_coefficients", np.linalg.lstsq(g, b, rcond=None)[0])
target = np.array([1.0, 0.7, 0.2, -0.3, -0.4, 0.3])
array("nnls_target", target)
array("nnls_unconstrained", np.linalg.lstsq(g, target, rcond=None)[0])
array("nnls_coefficients", nnls(g, target)[0])
print()
print("}  // namespace reference")
