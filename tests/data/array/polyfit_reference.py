#!/usr/bin/python3
# Reference values of the polynomial fit test (tests/array/ap4a_arithmetic_test.cpp):
# numpy's least-squares polyfit of the points the test uses, on each of the
# three abscissas, giving the value, slope and curvature (twice the square
# coefficient) of the fitted polynomial at x = 0.
import numpy as np

points = [2.0, 3.5, 3.0, 5.5, 8.0, 12.5, 19.0]
for degree in (2, 3):
    n = len(points)
    for mode, x in (("first at 0", -np.arange(n)),
                    ("last at 0", np.arange(n) - (n - 1)),
                    ("centred", np.arange(n) - (n - 1) / 2)):
        c = np.polyfit(x.astype(np.float64), np.array(points), degree)[::-1]
        print(f"degree {degree} {mode}: {c[0]:.9g} {c[1]:.9g} {2 * c[2]:.9g}")
# Only the last five of the seven points, centred, degree 2.
x = np.arange(5) - 2.0
c = np.polyfit(x, np.array(points[2:]), 2)[::-1]
print(f"last five centred: {c[0]:.9g} {c[1]:.9g} {2 * c[2]:.9g}")
