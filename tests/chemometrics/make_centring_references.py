#!/usr/bin/python3
"""Writes centring_reference_values.h: the independent references of the
centring, scaling, area and regression tests, computed once with numpy
(Debian python3-numpy). Run it from this folder to make the header again:

    /usr/bin/python3 make_centring_references.py > centring_reference_values.h

NaN stands for a missing value and is written as NAN.
"""
import numpy as np

EXCLUDED = -1000.0


def floats(values):
    return ", ".join("NAN" if np.isnan(v) else repr(float(v)) for v in np.ravel(values))


def array(name, values):
    values = np.asarray(values, dtype=np.float64)
    print(f"constexpr double {name}[] = {{{floats(values)}}};")


def matrix(name, values):
    values = np.asarray(values, dtype=np.float64)
    rows, columns = values.shape
    print(f"constexpr uint32_t {name}_rows = {rows};")
    print(f"constexpr uint32_t {name}_columns = {columns};")
    array(name, values)


def integers(name, kind, values):
    print(f"constexpr {kind} {name}[] = {{{', '.join(str(int(v)) for v in values)}}};")


print("// Made by make_centring_references.py (numpy " + np.__version__ + "); do not edit.")
print("#pragma once")
print("#include <cmath>")
print("#include <cstdint>")
print()
print("namespace centring_reference {")
print()

nan = np.nan
# Observations are rows: one mean and one divisor per column. A holds a
# missing value and the exclusion value; B is the companion.
a = np.array([[1.5, 2.0, -0.5, 10.0],
              [2.5, nan, 0.5, 12.0],
              [0.5, 3.0, 1.5, 11.0],
              [4.0, 1.0, EXCLUDED, 9.0],
              [3.0, 2.5, 2.5, 13.5],
              [1.0, 4.5, 0.0, 8.0]])
b = np.array([[2.0, 1.5, 1.0, 10.5],
              [3.5, 2.0, nan, 11.5]])
matrix("a", a)
matrix("b", b)

# Without filters every value but the missing one counts, -1000 included.
array("column_means", np.nanmean(a, axis=0))
array("column_centred", a - np.nanmean(a, axis=0))
array("row_means", np.nanmean(a, axis=1))
array("row_centred", a - np.nanmean(a, axis=1)[:, None])
deviation = np.nanstd(a, axis=0, ddof=1)
array("column_deviations", deviation)
array("column_scaled", a / deviation)
array("column_root_deviations", np.sqrt(deviation))
array("column_root_scaled", a / np.sqrt(deviation))
print()

# The filters: counts below 1, labels other than the selected one (B's:
# the selected one + 20) and reference values equal to the exclusion value
# leave an observation out of the statistics; with the exclusion on, values
# equal to it neither count nor change.
selected = 5
a_counts = [1, 2, 0, 1, 1, 3]
a_labels = [5, 5, 5, 5, 7, 5]
a_reference = np.array([[9.0, 0.0], [9.0, 0.0], [9.0, 0.0], [9.0, 0.0], [9.0, 0.0], [9.0, EXCLUDED]])
b_counts = [1, 1]
b_labels = [25, 26]
b_reference = np.array([[0.0, 0.0], [0.0, 0.0]])
print(f"constexpr uint16_t selected_label = {selected};")
integers("a_counts", "int32_t", a_counts)
integers("a_labels", "uint16_t", a_labels)
matrix("a_reference", a_reference)
integers("b_counts", "int32_t", b_counts)
integers("b_labels", "uint16_t", b_labels)
matrix("b_reference", b_reference)
a_in = [k for k in range(a.shape[0])
        if a_counts[k] >= 1 and a_labels[k] == selected and a_reference[k, 1] != EXCLUDED]
b_in = [k for k in range(b.shape[0])
        if b_counts[k] >= 1 and b_labels[k] == selected + 20 and b_reference[k, 1] != EXCLUDED]
taken = np.vstack([a[a_in], b[b_in]])
taken = np.where(taken == EXCLUDED, nan, taken)
means = np.nanmean(taken, axis=0)
divisors = np.nanstd(taken, axis=0, ddof=1)
changes_a = np.isfinite(a) & (a != EXCLUDED)
changes_b = np.isfinite(b) & (b != EXCLUDED)
array("filtered_means", means)
array("filtered_a_centred", np.where(changes_a, a - means, a))
array("filtered_b_centred", np.where(changes_b, b - means, b))
array("filtered_deviations", divisors)
array("filtered_a_scaled", np.where(changes_a, a / divisors, a))
array("filtered_b_scaled", np.where(changes_b, b / divisors, b))
print()

# Areas of row 1 of a two-row array: the range is the whole row, the
# baseline range columns 2 to 7; the missing ends are trimmed, the interior
# missing value weighs nothing, the ends of what is left weigh a half.
area_data = np.array([[5.0, 5.0, 5.0, 5.0, 5.0, 5.0, 5.0, 5.0, 5.0],
                      [nan, 0.2, 1.0, 3.5, nan, 2.0, 0.8, 0.3, nan]])
matrix("area_data", area_data)
row = area_data[1]
level = 0.5
print(f"constexpr float area_level = {level};")
valid = np.flatnonzero(~np.isnan(row))
xa, xb = valid[0], valid[-1]
base = [k for k in range(2, 8) if not np.isnan(row[k])]
b1, b2 = base[0], base[-1]
line = row[b1] + (np.arange(row.size) - b1) * (row[b2] - row[b1]) / (b2 - b1)
weights = np.zeros(row.size)
weights[xa:xb + 1] = 1.0
weights[[xa, xb]] = 0.5
weights[np.isnan(row)] = 0.0
y = np.nan_to_num(row)
array("area_above_level", [np.sum(weights * (y - level))])
array("area_above_baseline", [np.sum(weights * (y - line))])
# Without missing values the weights are those of numpy's trapezoid rule.
clean = np.array([0.4, 1.7, 3.2, 2.6, 1.1, 0.5])
array("clean_row", clean)
array("clean_trapezoid", [np.trapz(clean - level)])
array("clean_above_line", [np.trapz(clean - np.linspace(clean[0], clean[-1], clean.size))])
print()

# Straight-line fit of y on x over the first 9 elements; pairs with a
# missing value are left out. The error terms are √(RSS / n / n) and
# √(RSS / n / Sxx) with the residual sum of squares RSS of the fit.
x = np.array([0.0, 1.0, 2.0, 3.0, 4.0, 5.0, nan, 7.0, 8.0, 100.0])
yv = np.array([1.1, 2.9, 5.2, nan, 8.8, 11.1, 13.0, 14.8, 17.3, -50.0])
array("regression_x", x)
array("regression_y", yv)
keep = ~np.isnan(x[:9]) & ~np.isnan(yv[:9])
xs, ys = x[:9][keep], yv[:9][keep]
slope, intercept = np.polyfit(xs, ys, 1)
rss = np.sum((ys - (intercept + slope * xs)) ** 2)
sxx = np.sum((xs - xs.mean()) ** 2)
n = xs.size
array("regression_fit", [intercept, slope, np.sqrt(rss / n / n), np.sqrt(rss / n / sxx)])
print()
print("}  // namespace centring_reference")
