#!/usr/bin/python3
"""Writes factor_reference_values.h: the independent references of the
factor extraction tests, computed once with numpy (Debian python3-numpy).
Run it from this folder to make the header again:

    /usr/bin/python3 make_factor_references.py > factor_reference_values.h
"""
import numpy as np


def floats(values):
    return ", ".join(repr(float(v)) for v in np.ravel(values))


def array(name, values):
    print(f"constexpr double {name}[] = {{{floats(values)}}};")


# The inputs are single-precision values, as an array holds them.
def f32(values):
    return np.asarray(values, dtype=np.float32).astype(np.float64)


print(f"// Made by make_factor_references.py (numpy {np.__version__}); do not edit.")
print("#pragma once")
print("#include <cstdint>")
print()
print("namespace factor_reference {")
print()

# A 7 x 4 matrix with well separated singular values, so that an iteration
# of at most 21 steps settles on each factor: random orthonormal bases from
# a seeded generator.
rng = np.random.default_rng(20261211)
rows, columns = 7, 4
u, _ = np.linalg.qr(rng.standard_normal((rows, columns)))
v, _ = np.linalg.qr(rng.standard_normal((columns, columns)))
x = f32(u @ np.diag([9.0, 3.0, 1.0, 0.25]) @ v.T)
print(f"constexpr uint32_t rows = {rows};")
print(f"constexpr uint32_t columns = {columns};")
array("x", x)
uu, s, vt = np.linalg.svd(x, full_matrices=False)
array("eigenvalues", s ** 2)  # the squared singular values, descending
array("loadings", vt)  # row k: the unit loading of factor k, up to sign
array("scores", uu.T)  # row k: the unit score of factor k, same sign as its loading
print(f"constexpr double total = {float(np.sum(x * x))!r};")
print()

# Its cross product XᵀX: the eigenvalues, eigenvectors and trace.
c = f32(x.T @ x)
array("cross", c)
w, e = np.linalg.eigh(c)
order = np.argsort(w)[::-1]
array("cross_eigenvalues", w[order])
array("cross_vectors", e[:, order].T)  # row k: eigenvector k, up to sign
print(f"constexpr double cross_trace = {float(np.trace(c))!r};")
print()
print("}  // namespace factor_reference")
