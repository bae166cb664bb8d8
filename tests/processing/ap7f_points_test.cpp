#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "processing/processing_fixture.h"

namespace {

using namespace spectrumtest;

class PointAxis : public ProcessingTest {
 protected:
  // Point-axis data: X counts the points from 0.
  AP7_SPECTRUM* points(const std::vector<float>& y, uint32_t y_units = 22) {
    AP7_SPECTRUM* s = keep(make_axis(0.0f, static_cast<float>(y.size() - 1), y));
    record(s).x_units = 2;
    record(s).y_units = y_units;
    record(s).SSP = 1.0f;
    record(s).NumScanPts = 9;
    record(s).FinalPeakPos = 5;
    record(s).NumPostPeakPts = 7;
    return s;
  }
  AP7_SPECTRUM* shift(AP7_SPECTRUM* s, uint16_t mode, float given, float* used) {
    AP7F_CENTRESHIFTPARM parameter{mode, given, used};
    return keep(ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_CENTRE_SHIFT, s, &parameter)));
  }
  AP7_SPECTRUM* fold(AP7_SPECTRUM* s) {
    return keep(ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_FOLD_RECORD, s, nullptr)));
  }
};

// The value of the parabola through three points at a fraction s of a
// point from the middle one, by Lagrange interpolation.
float parabola(float a, float b, float c, float s) {
  return static_cast<float>(a * s * (s - 1) / 2 - b * (s - 1) * (s + 1) + c * s * (s + 1) / 2);
}

TEST_F(PointAxis, MeasuredShiftMovesEachPointOntoTheParabolaVertex) {
  // Centre stencil at m = 4: 7, 10, 9, whose vertex lies a quarter point up.
  const std::vector<float> y = {1, 3, 6, 7, 10, 9, 4, 2, 1};
  AP7_SPECTRUM* s = points(y);
  float used = -1.0f;
  AP7_SPECTRUM* out = shift(s, AP7F_MEASURED_SHIFT, 0.0f, &used);
  ASSERT_NE(out, nullptr);
  const float k = (9.0f - 20.0f + 7.0f) / 2.0f;
  const float g = (9.0f - 7.0f) / 2.0f;
  EXPECT_FLOAT_EQ(used, -g / (2.0f * k));
  const std::vector<float> got = values(out);
  EXPECT_EQ(got[0], y[0]);
  EXPECT_EQ(got[8], y[8]);
  for (int i = 1; i < 8; ++i) EXPECT_NEAR(got[i], parabola(y[i - 1], y[i], y[i + 1], used), 1e-5) << i;
  // Ramp: the shift grows from point 1 to the centre.
  out = shift(s, AP7F_GIVEN_RAMP, 0.4f, &used);
  EXPECT_EQ(used, 0.4f);
  for (int i = 1; i < 8; ++i)
    EXPECT_NEAR(values(out)[i], parabola(y[i - 1], y[i], y[i + 1], (i - 1) * 0.4f / 4.0f), 1e-5) << i;
  EXPECT_EQ(values(s), y) << "input untouched";
}

TEST_F(PointAxis, FlatOrFarCentresGiveNoShift) {
  float used = -1.0f;
  AP7_SPECTRUM* flat = points({1, 2, 5, 5, 5, 2, 1});
  EXPECT_EQ(values(shift(flat, AP7F_MEASURED_SHIFT, 0.0f, &used)), values(flat));
  EXPECT_EQ(used, 0.0f);
  // 1, 2, 4 around m = 2: the vertex lies 1.5 points away.
  AP7_SPECTRUM* far = points({0, 1, 2, 4, 3});
  ASSERT_NE(shift(far, AP7F_MEASURED_SHIFT, 0.0f, &used), nullptr);
  EXPECT_EQ(used, 0.0f);
}

TEST_F(PointAxis, HalvingKeepsOddOrEvenPointsAndHalvesTheCollection) {
  AP7_SPECTRUM* s = points({0, 1, 2, 3, 4, 5, 6, 7});
  AP7_SPECTRUM* even = shift(s, 1, 0.0f, nullptr);
  ASSERT_NE(even, nullptr);
  EXPECT_EQ(values(even), (std::vector<float>{0, 2, 4, 6}));
  EXPECT_EQ(values(shift(s, AP7F_HALVE_ODD_POINTS, 0.0f, nullptr)), (std::vector<float>{1, 3, 5, 7}));
  const AP41_HEADERDATA made = record(even);
  EXPECT_EQ(packed(made.points), 4u);
  EXPECT_EQ(packed(made.first_x), 0.0f);
  EXPECT_EQ(packed(made.last_x), 3.0f);
  EXPECT_EQ(packed(made.SSP), 2.0f);
  EXPECT_EQ(packed(made.NumScanPts), 4u);
  EXPECT_EQ(packed(made.FinalPeakPos), 2u);
  EXPECT_EQ(packed(made.NumPostPeakPts), 3u);
}

TEST_F(PointAxis, TooFewPointsOrAnotherAxisAreRefused) {
  float used = -1.0f;
  EXPECT_EQ(shift(points({4}), 1, 0.0f, &used), nullptr) << "one point cannot be halved";
  EXPECT_EQ(used, 0.0f);
  for (uint16_t mode : {AP7F_MEASURED_SHIFT, AP7F_GIVEN_SHIFT, AP7F_MEASURED_RAMP, AP7F_GIVEN_RAMP}) {
    EXPECT_EQ(shift(points({4, 5}), mode, 0.2f, &used), nullptr) << mode;
    EXPECT_EQ(shift(points({4}), mode, 0.2f, &used), nullptr) << mode;
  }
  AP7_SPECTRUM* wavenumbers = points({1, 2, 3, 4});
  record(wavenumbers).x_units = 1;
  EXPECT_EQ(shift(wavenumbers, AP7F_GIVEN_SHIFT, 0.2f, &used), nullptr);
  EXPECT_EQ(shift(nullptr, 1, 0.0f, &used), nullptr);
}

TEST_F(PointAxis, FoldAddsEachPointToItsMirror) {
  AP7_SPECTRUM* s = points({1, 2, 3, 4, 5, 6, 7, 8});
  AP7_SPECTRUM* out = fold(s);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(values(out), (std::vector<float>{9, 9, 9, 9}));
  const AP41_HEADERDATA made = record(out);
  EXPECT_EQ(packed(made.first_x), 0.0f);
  EXPECT_EQ(packed(made.last_x), 3.0f);
  EXPECT_EQ(packed(made.SSP), 2.0f);
  for (uint32_t y_units : {15u, 19u}) EXPECT_NE(fold(points({1, 2, 3, 4}, y_units)), nullptr) << y_units;
}

TEST_F(PointAxis, FoldRefusesWhatIsNoPowerOfTwoRecord) {
  EXPECT_EQ(fold(points({1, 2, 3, 4, 5, 6})), nullptr);
  EXPECT_EQ(fold(points({5})), nullptr) << "1 is not taken as a power of two";
  EXPECT_EQ(fold(points({1, 2, 3, 4}, 17)), nullptr);
  AP7_SPECTRUM* shifted = points({1, 2, 3, 4});
  record(shifted).first_x = 1.0f;
  record(shifted).last_x = 4.0f;
  EXPECT_EQ(fold(shifted), nullptr);
}

}  // namespace
