#!/usr/bin/python3
# Reference values of the pseudo-inverse test (tests/array/ap4a_arithmetic_test.cpp):
# numpy's pinv of a full-rank 3 x 2 and 2 x 3 matrix, which equal the left
# inverse (AtA)^-1 At and the right inverse At (AAt)^-1. Row-major.
import numpy as np

tall = np.array([[1, 2], [3, 4], [5, 7]], dtype=np.float64)
wide = np.array([[1, 0, 2], [0, 1, 1]], dtype=np.float64)
for name, a in (("tall", tall), ("wide", wide)):
    print(name, " ".join(f"{v:.9g}" for v in np.linalg.pinv(a).ravel()))
