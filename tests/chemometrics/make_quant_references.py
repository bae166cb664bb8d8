#!/usr/bin/python3
"""Writes quant_reference_values.h: the independent references of the
quantitative-analysis tests (sums, correlation, slope, multiple correlation,
performance figures), computed once with numpy (Debian python3-numpy). Run
it from this folder to make the header again:

    /usr/bin/python3 make_quant_references.py > quant_reference_values.h
"""
import numpy as np


def floats(values):
    return ", ".join(repr(float(v)) for v in np.ravel(values))


def array(name, values):
    print(f"constexpr double {name}[] = {{{floats(values)}}};")


def scalar(name, value):
    print(f"constexpr double {name} = {float(value)!r};")


# The inputs are single-precision values, as an array holds them.
def f32(values):
    return np.asarray(values, dtype=np.float32).astype(np.float64)


print(f"// Made by make_quant_references.py (numpy {np.__version__}); do not edit.")
print("#pragma once")
print()
print("#include <cstdint>")
print()
print("namespace quant_reference {")
print()

# Three 2 x 3 arrays summed, summed as squares, and summed with each row
# scaled by a constant of its own per array.
items = [f32([[1.5, -2.0, 0.25], [3.0, 0.5, -1.0]]),
         f32([[0.1, 4.0, -0.75], [2.5, -3.5, 1.25]]),
         f32([[-1.0, 0.3, 2.0], [0.0, 1.75, -2.5]])]
constants = [f32([2.0, -1.0]), f32([0.5, 3.0]), f32([-1.5, 0.25])]
for k, item in enumerate(items):
    array(f"item{k}", item)
    array(f"constants{k}", constants[k])
array("sum", sum(items))
array("square_sum", sum(i * i for i in items))
array("const_sum", sum(c[:, None] * i for c, i in zip(constants, items)))
print()

# Two vectors with a missing value in each (the pair is left out): the
# squared correlation and the slope of a on b, centred and not.
a = f32([1.2, 2.9, np.nan, 4.1, 5.3, 6.0, 7.7, 8.1])
b = f32([0.5, 1.1, 1.6, np.nan, 2.4, 3.3, 3.5, 4.2])
print(f"constexpr int n = {len(a)};")
array("a", np.nan_to_num(a, nan=-1.0))
array("b", np.nan_to_num(b, nan=-1.0))
print("constexpr int a_missing = 2;")
print("constexpr int b_missing = 3;")
used = ~np.isnan(a) & ~np.isnan(b)
au, bu = a[used], b[used]
scalar("r2_centred", np.corrcoef(au, bu)[0, 1] ** 2)
scalar("r2_uncentred", np.dot(au, bu) ** 2 / (np.dot(au, au) * np.dot(bu, bu)))
da, db = au - au.mean(), bu - bu.mean()
scalar("slope_centred", np.dot(da, db) / np.dot(db, db))
scalar("slope_uncentred", np.dot(au, bu) / np.dot(bu, bu))
print()

# Multiple correlation: y fitted by least squares on the columns of X; R is
# the correlation of y and the fitted values.
x = f32([[1.0, 0.5], [1.0, 1.5], [1.0, 2.0], [1.0, 3.5], [1.0, 4.0], [1.0, 5.5]])
y = f32([1.1, 2.3, 2.2, 4.8, 4.1, 6.9])
print(f"constexpr unsigned x_rows = {x.shape[0]};")
print(f"constexpr unsigned x_columns = {x.shape[1]};")
array("x", x)
array("y", y)
coefficients, *_ = np.linalg.lstsq(x, y, rcond=None)
scalar("multiple_r", np.corrcoef(y, x @ coefficients)[0, 1])
array("pseudo_inverse", np.linalg.pinv(x))
print()

# Performance over three samples of two components: the root-mean-square
# error and the accuracy in per cent of each component's range (the error
# over a quarter of the width), per sample and running.
actual = f32([[1.0, 10.0], [2.0, 12.0], [3.5, 9.0]])
predicted = f32([[1.25, 9.0], [1.5, 12.5], [3.0, 11.0]])
ranges = f32([0.0, 4.0, 20.0, 5.0])
array("actual", actual)
array("predicted", predicted)
array("ranges", ranges)
e = actual - predicted
widths = np.abs(ranges[0::2] - ranges[1::2]) / 4.0
r = np.abs(e / widths)
rms_sample, rms_overall, rms_component = [], [], []
acc_sample, acc_overall, acc_component = [], [], []
for s in range(1, 4):
    rms_sample.append(np.sqrt(np.sum(e[s - 1] ** 2) / 2))
    rms_overall.append(np.sqrt(np.mean(e[:s] ** 2)))
    rms_component.append(np.sqrt(np.mean(e[:s] ** 2, axis=0)))
    acc_sample.append((1 - np.sqrt(np.sum(r[s - 1] ** 2) / 2)) * 100)
    acc_overall.append((1 - np.sqrt(np.mean(r[:s] ** 2))) * 100)
    acc_component.append((1 - np.sqrt(np.mean(r[:s] ** 2, axis=0))) * 100)
array("rms_sample", rms_sample)
array("rms_overall", rms_overall)
array("rms_component", rms_component)
array("accuracy_sample", acc_sample)
array("accuracy_overall", acc_overall)
array("accuracy_component", acc_component)
print()
print("}  // namespace quant_reference")
