#!/usr/bin/python3
"""Writes statistics_references.h: the point-wise statistics of a list of
spectra and the scaled difference of two spectra, computed once in double
precision with numpy (Debian python3-numpy). Run it from this folder to make
the header again:

    /usr/bin/python3 make_statistics_references.py > statistics_references.h

Statistics: three spectra of spacing 1 whose X ranges differ; the result
covers the X range all three share. Mean, sample standard deviation (n - 1)
and range (largest less smallest, a missing value passed over unless every
item misses it); a point missing in any item is missing in the mean and the
deviation.

Scaled difference: A is the mean of two spectra, B a third one on a shifted
range; R = A - k B over their common range, missing elsewhere on A's axis,
with k given or fitted as sum(a' b') / sum(b'^2) over the first differences
a'(i) = A(i) - A(i + 1) of a region.
"""
import numpy as np

NAN = float("nan")


def spectrum(first, n, phase, scale, missing=()):
    x = first + np.arange(n, dtype=np.float64)
    y = (scale * np.sin(0.37 * x + phase) + 0.01 * x).astype(np.float32).astype(np.float64)
    for m in missing:
        y[int(m - first)] = NAN
    return x, y


def emit(name, values):
    texts = ["NAN" if np.isnan(v) else repr(float(v)) + "f" for v in values]
    print("constexpr float %s[] = {%s};" % (name, ", ".join(texts)))


def on_common(items, low, high):
    rows = []
    for x, y in items:
        rows.append(y[(x >= low) & (x <= high)])
    return np.array(rows)


print("// Made by make_statistics_references.py (numpy %s); do not edit." % np.__version__)
print("#pragma once")
print("#include <cmath>")
print()
print("namespace statistics_reference {")
print()

# Statistics over three spectra of unequal ranges.
items = [spectrum(1000.0, 12, 0.0, 2.0, missing=[1001.0]),
         spectrum(1002.0, 12, 0.4, 1.5, missing=[1005.0]),
         spectrum(999.0, 12, 1.1, 2.5, missing=[1007.0])]
for i, (x, y) in enumerate(items):
    print("constexpr float item%d_first_x = %rf;" % (i, x[0]))
    print("constexpr float item%d_last_x = %rf;" % (i, x[-1]))
    emit("item%d_values" % i, y)
low = max(x[0] for x, _ in items)
high = min(x[-1] for x, _ in items)
table = on_common(items, low, high)
print("constexpr float common_first_x = %rf;" % low)
print("constexpr float common_last_x = %rf;" % high)
emit("mean", table.mean(axis=0))
emit("std_dev", table.std(axis=0, ddof=1))
with np.errstate(all="ignore"):
    emit("range", np.nanmax(table, axis=0) - np.nanmin(table, axis=0))
print()

# Scaled difference: A the mean of two spectra, B shifted by four points.
a_items = [spectrum(400.0, 16, 0.2, 1.0), spectrum(400.0, 16, 0.5, 1.2, missing=[409.0])]
xb, yb = spectrum(404.0, 16, 0.3, 0.8)
for i, (x, y) in enumerate(a_items):
    emit("a%d_values" % i, y)
print("constexpr float a_first_x = 400.0f;")
print("constexpr float a_last_x = 415.0f;")
emit("b_values", yb)
print("constexpr float b_first_x = 404.0f;")
print("constexpr float b_last_x = 419.0f;")
xa = a_items[0][0]
ya = (a_items[0][1] + a_items[1][1]) / 2.0
ya_at = dict(zip(xa, ya))
yb_at = dict(zip(xb, yb))


def difference(k):
    return [ya_at[x] - k * yb_at[x] if x in yb_at else NAN for x in xa]


def fitted(r1, r2):
    xs = [x for x in xa if r1 <= x <= r2 and x in yb_at]
    sab = 0.0
    sbb = 0.0
    for x0, x1 in zip(xs[:-1], xs[1:]):
        values = [ya_at[x0], ya_at[x1], yb_at[x0], yb_at[x1]]
        if any(np.isnan(v) for v in values):
            continue
        da = ya_at[x0] - ya_at[x1]
        db = yb_at[x0] - yb_at[x1]
        sab += da * db
        sbb += db * db
    return sab / sbb


print("constexpr float given_k = 0.75f;")
emit("given_difference", difference(0.75))
k_region = fitted(406.0, 412.0)
print("constexpr float region_x1 = 412.0f;")
print("constexpr float region_x2 = 406.0f;")
print("constexpr float region_k = %rf;" % k_region)
emit("region_difference", difference(k_region))
k_whole = fitted(404.0, 415.0)
print("constexpr float whole_k = %rf;" % k_whole)
emit("whole_difference", difference(k_whole))
print()
print("}  // namespace statistics_reference")
