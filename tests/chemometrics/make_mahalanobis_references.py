#!/usr/bin/python3
"""Writes mahalanobis_reference_values.h: the references of the Mahalanobis
calibration and prediction tests, computed once with numpy (Debian
python3-numpy). Run it from this folder to make the header again:

    /usr/bin/python3 make_mahalanobis_references.py > mahalanobis_reference_values.h
"""
import numpy as np


def floats(values):
    return ", ".join(repr(float(v)) for v in np.ravel(values))


def array(name, values):
    print(f"constexpr double {name}[] = {{{floats(values)}}};")


# The inputs are single-precision values, as an array holds them.
def f32(values):
    return np.asarray(values, dtype=np.float32).astype(np.float64)


print(f"// Made by make_mahalanobis_references.py (numpy {np.__version__}); do not edit.")
print("#pragma once")
print("#include <cstdint>")
print()
print("namespace mahalanobis_reference {")
print()

# Two classes of five samples over four variables, interleaved. The
# deviations from the class means have well separated singular values (so
# that an iteration of at most 21 steps settles on each factor) and sum to
# zero within each class, so centring by class leaves exactly them.
rng = np.random.default_rng(7122)
samples, variables, factors = 10, 4, 3
labels = np.array([0, 1, 0, 1, 0, 1, 0, 1, 0, 1])
u = rng.standard_normal((samples, variables))
for k in (0, 1):
    u[labels == k] -= u[labels == k].mean(axis=0)
u, _ = np.linalg.qr(u)
v, _ = np.linalg.qr(rng.standard_normal((variables, variables)))
means = np.array([[2.0, -1.0, 0.5, 3.0], [-1.5, 2.5, 1.0, -0.5]])
x = f32(u @ np.diag([6.0, 3.0, 1.5, 0.5]) @ v.T + means[labels])
print(f"constexpr uint32_t samples = {samples};")
print(f"constexpr uint32_t variables = {variables};")
print(f"constexpr uint16_t factors = {factors};")
array("x", x)
array("labels", labels)
class_means = np.array([x[labels == k].mean(axis=0) for k in (0, 1)])
array("class_means", class_means)
centred = x - class_means[labels]
_, s, vt = np.linalg.svd(centred, full_matrices=False)
eigenvalues = s ** 2
total = np.sum(centred ** 2)
array("eigenvalues", eigenvalues[:factors])
array("loadings", vt[:factors])  # row a: factor a's unit loading, up to sign
array("percent", np.cumsum(eigenvalues[:factors]) * 100 / total)
print(f"constexpr double explained = {float(np.sum(eigenvalues[:factors]) * 100 / total)!r};")
print()

# Two test spectra: the squared distance from each class mean in the space
# of the first factors, each score weighed by its inverse eigenvalue.
tests = f32([[1.5, -0.5, 0.0, 2.0], [-1.0, 2.0, 1.5, 0.0]])
array("tests", tests)
distances = [[float(np.sum((vt[:factors] @ (t - class_means[k])) ** 2 / eigenvalues[:factors]))
              for k in (0, 1)] for t in tests]
array("distances", distances)  # test by test, class 0 then class 1
print()
print("}  // namespace mahalanobis_reference")
