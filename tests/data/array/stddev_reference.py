#!/usr/bin/python3
# Reference values of the range statistics tests (tests/array/ap4a_arithmetic_test.cpp):
# sample standard deviations (ddof=1) and means of the ranges those tests use,
# printed with enough digits to compare f32 results against.
import numpy as np

cases = {
    "eight values": [2, 4, 4, 4, 5, 5, 7, 9],
    "NaN replaced by 0": [1, 0, 3, 8],
    "NaN left out": [1, 3, 8],
    "two values": [1e6, 1e6 + 2],
}
for name, values in cases.items():
    a = np.array(values, dtype=np.float64)
    print(f"{name}: mean {a.mean():.17g} std {a.std(ddof=1):.17g}")
