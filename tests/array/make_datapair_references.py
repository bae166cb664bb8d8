#!/usr/bin/python3
"""Writes datapair_reference_values.h: the independent references of the
DATAPAIR curve and fit tests, computed once with numpy and scipy (Debian
python3-numpy and python3-scipy). Run it from this folder to make the header
again:

    /usr/bin/python3 make_datapair_references.py > datapair_reference_values.h
"""
import numpy as np
import scipy
from scipy.interpolate import CubicSpline


def floats(values):
    return ", ".join(repr(float(v)) for v in np.ravel(values))


def array(name, values):
    print(f"constexpr double {name}[] = {{{floats(values)}}};")


# The inputs are single-precision values, as the pairs hold them.
def f32(values):
    return np.asarray(values, dtype=np.float32).astype(np.float64)


print(f"// Made by make_datapair_references.py (numpy {np.__version__}, scipy {scipy.__version__}); do not edit.")
print("#pragma once")
print("#include <cstdint>")
print()
print("namespace datapair_reference {")
print()

# Natural cubic spline through unevenly spaced pairs, evaluated on an even
# grid that starts before the first pair and ends after the last (outside
# the pairs the curve holds the end values).
x = f32([0.0, 0.7, 1.5, 3.0, 3.4, 5.0, 6.5])
y = f32([1.0, 2.2, 0.4, -1.3, -0.2, 2.5, 1.1])
start, end, n = -0.5, 7.0, 31
grid = f32(start + np.arange(n, dtype=np.float32) * np.float32((end - start) / (n - 1)))
spline = CubicSpline(x, y, bc_type="natural")
values = np.where(grid <= x[0], y[0], np.where(grid >= x[-1], y[-1], spline(grid)))
print("// CubicSpline(bc_type='natural') through the pairs, held flat outside them.")
array("spline_x", x)
array("spline_y", y)
print(f"constexpr float spline_start = {start}f;")
print(f"constexpr float spline_end = {end}f;")
print(f"constexpr uint32_t spline_n = {n};")
array("spline_values", values)
print()

# Least-squares polynomials through noisy points: numpy.polyfit, lowest
# power first, for orders 1 to 4.
rng = np.random.default_rng(20261211)
fx = f32(np.linspace(-2.0, 10.0, 25))
fy = f32(0.3 + 0.2 * (fx - 4.0) - 0.15 * (fx - 4.0) ** 2 + 0.01 * (fx - 4.0) ** 3
         + rng.normal(0.0, 0.05, fx.size))
print("// numpy.polyfit of the points, c0 first; fitted values by numpy.polyval.")
array("fit_x", fx)
array("fit_y", fy)
print(f"constexpr uint32_t fit_count = {fx.size};")
for order in range(1, 5):
    c = np.polyfit(fx, fy, order)
    array(f"fit_order{order}", c[::-1])
    array(f"fit_order{order}_values", np.polyval(c, fx))
print()
print("}  // namespace datapair_reference")
