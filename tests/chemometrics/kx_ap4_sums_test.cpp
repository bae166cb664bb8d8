// The quantitative sums and statistics against numpy (quant_reference_values.h,
// made by make_quant_references.py), through the ARRAY messages, with the
// refusals of arguments that do not fit and the ratio score worked here.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "chemometrics/chemometrics_fixture.h"
#include "chemometrics/quant_reference_values.h"

namespace {

using namespace chemtest;
namespace ref = quant_reference;

class QuantSums : public ChemometricsTest {};

TEST_F(QuantSums, AccumulatorsSumASeriesOfArrays) {
  const double* items[] = {ref::item0, ref::item1, ref::item2};
  const double* constants[] = {ref::constants0, ref::constants1, ref::constants2};
  struct Case {
    const char* what;
    uint16_t message;
    const double* expected;
  };
  const Case cases[] = {{"sum", KX_AP4_MSG_SUMMER, ref::sum},
                        {"squares", KX_AP4_MSG_SQUARE_SUMMER, ref::square_sum},
                        {"rows scaled", KX_AP4_MSG_CONST_SUMMER, ref::const_sum}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    AP4_ARRAY* total = make_filled(2, 3);
    for (int k = 0; k < 3; ++k) {
      AP4_ARRAY* item = array_of(2, 3, items[k]);
      AP4_ARRAY* scale = array_of(2, 1, constants[k]);
      const auto add = static_cast<uint16_t>(k > 0);
      KX_AP4_SUMMERPARM plain{item, add};
      KX_AP4_CONSTSUMMERPARM scaled{item, scale, add};
      void* parameter = c.message == KX_AP4_MSG_CONST_SUMMER ? static_cast<void*>(&scaled) : &plain;
      EXPECT_EQ(send(c.message, total, parameter), 0u) << k;
      destroy(item);
      destroy(scale);
    }
    expect_near_all(values(total), c.expected, 6, 1e-5);
    destroy(total);
  }
  EXPECT_EQ(arraytest::array_class().live, 0);
}

TEST_F(QuantSums, AccumulatorsRefuseWhatDoesNotFitAndLeaveTheTotal) {
  AP4_ARRAY* total = array_of(2, 3, {1, 2, 3, 4, 5, 6});
  AP4_ARRAY* oblong = make_filled(1, 5);
  AP4_ARRAY* fits = make_filled(2, 3);
  AP4_ARRAY* two_columns = make_filled(2, 2);
  AP4_ARRAY* three_rows = make_filled(3, 1);
  KX_AP4_SUMMERPARM copy{oblong, 0};
  KX_AP4_SUMMERPARM add{oblong, 1};
  KX_AP4_SUMMERPARM none{nullptr, 0};
  KX_AP4_CONSTSUMMERPARM wide{fits, two_columns, 0};
  KX_AP4_CONSTSUMMERPARM tall{fits, three_rows, 0};
  EXPECT_EQ(send(KX_AP4_MSG_SUMMER, total, &copy), 1u);
  EXPECT_EQ(send(KX_AP4_MSG_SUMMER, total, &add), 1u);
  EXPECT_EQ(send(KX_AP4_MSG_SQUARE_SUMMER, total, &copy), 1u);
  EXPECT_EQ(send(KX_AP4_MSG_SUMMER, total, &none), 1u);
  EXPECT_NE(send(KX_AP4_MSG_CONST_SUMMER, total, &wide), 0u);
  EXPECT_NE(send(KX_AP4_MSG_CONST_SUMMER, total, &tall), 0u);
  EXPECT_EQ(values(total), (std::vector<float>{1, 2, 3, 4, 5, 6}));
  for (AP4_ARRAY* a : {total, oblong, fits, two_columns, three_rows}) destroy(a);
  EXPECT_EQ(arraytest::array_class().live, 0);
}

TEST_F(QuantSums, AMissingValueMakesItsTotalMissing) {
  AP4_ARRAY* total = array_of(1, 3, {1, 1, 1});
  AP4_ARRAY* source = array_of(1, 3, {1, AP1_GetNaNSG_MATH(), 2});
  KX_AP4_SUMMERPARM add{source, 1};
  EXPECT_EQ(send(KX_AP4_MSG_SUMMER, total, &add), 0u);
  const std::vector<float> v = values(total);
  EXPECT_EQ(v[0], 2.0f);
  EXPECT_TRUE(missing(v[1]));
  EXPECT_EQ(v[2], 3.0f);
  destroy(total);
  destroy(source);
}

TEST_F(QuantSums, CorrelationAndSlopeLeaveOutPairsWithAMissingValue) {
  std::vector<double> av(ref::a, ref::a + ref::n);
  std::vector<double> bv(ref::b, ref::b + ref::n);
  av[ref::a_missing] = std::nan("");
  bv[ref::b_missing] = std::nan("");
  AP4_ARRAY* a = array_of(1, ref::n, av.data());
  AP4_ARRAY* b = array_of(ref::n, 1, bv.data());
  struct Case {
    uint16_t message;
    uint16_t centre;
    double expected;
  };
  const Case cases[] = {{KX_AP4_MSG_CORRELATION_COEFF, 1, ref::r2_centred},
                        {KX_AP4_MSG_CORRELATION_COEFF, 0, ref::r2_uncentred},
                        {KX_AP4_MSG_SLOPE, 1, ref::slope_centred},
                        {KX_AP4_MSG_SLOPE, 0, ref::slope_uncentred}};
  for (const Case& c : cases) {
    float result = -1;
    KX_AP4_PAIRSTATPARM parameter{b, ref::n, c.centre, c.centre, &result};
    EXPECT_EQ(send(c.message, a, &parameter), 1u);
    EXPECT_NEAR(result, c.expected, 1e-5) << c.message << " centre " << c.centre;
  }
  destroy(a);
  destroy(b);
}

TEST_F(QuantSums, CorrelationAndSlopeWithoutUsablePairs) {
  const float nan = AP1_GetNaNSG_MATH();
  AP4_ARRAY* all_missing = array_of(1, 3, {nan, nan, nan});
  AP4_ARRAY* a = array_of(1, 3, {1, 2, 3});
  AP4_ARRAY* constant = array_of(1, 3, {0.1f, 0.1f, 0.1f});
  struct Case {
    const char* what;
    uint16_t message;
    AP4_ARRAY* b;
    int32_t n;
    uint32_t answer;
  };
  const Case cases[] = {
      {"every pair missing", KX_AP4_MSG_CORRELATION_COEFF, all_missing, 3, 0},
      {"constant b, centred: slope 0", KX_AP4_MSG_SLOPE, constant, 3, 1},
      {"constant b, centred: r² 0", KX_AP4_MSG_CORRELATION_COEFF, constant, 3, 1},
      {"n beyond the values", KX_AP4_MSG_SLOPE, constant, 4, 0},
      {"n negative", KX_AP4_MSG_CORRELATION_COEFF, constant, -1, 0},
  };
  for (const Case& c : cases) {
    float result = -1;
    KX_AP4_PAIRSTATPARM parameter{c.b, c.n, 1, 1, &result};
    EXPECT_EQ(send(c.message, a, &parameter), c.answer) << c.what;
    EXPECT_EQ(result, 0.0f) << c.what;
  }
  for (AP4_ARRAY* x : {all_missing, a, constant}) destroy(x);
}

TEST_F(QuantSums, MultipleCorrelationOfALeastSquaresFit) {
  AP4_ARRAY* x = array_of(ref::x_rows, ref::x_columns, ref::x);
  AP4_ARRAY* y = array_of(ref::x_rows, 1, ref::y);
  AP4_ARRAY* holder = make(ref::x_columns, ref::x_rows);
  AP4_ARRAY* results = make(1, 2);
  KX_AP4_MULTCORRPARM first{x, holder, 0, y};
  EXPECT_EQ(send(KX_AP4_MSG_MULT_CORRELATION, results, &first), 0u);
  expect_near_all(values(holder), ref::pseudo_inverse, ref::x_rows * ref::x_columns, 1e-5);
  // A later index reuses the holder; an exact fit gives R = 1.
  std::vector<double> exact(ref::x_rows);
  for (uint32_t i = 0; i < ref::x_rows; ++i) exact[i] = 0.5 + 2.0 * ref::x[2 * i + 1];
  AP4_ARRAY* fitted = array_of(ref::x_rows, 1, exact.data());
  KX_AP4_MULTCORRPARM second{x, holder, 1, fitted};
  EXPECT_EQ(send(KX_AP4_MSG_MULT_CORRELATION, results, &second), 0u);
  const std::vector<float> r = values(results);
  EXPECT_NEAR(r[0], ref::multiple_r, 1e-5);
  EXPECT_NEAR(r[1], 1.0, 1e-5);
  // A constant y: the sums vanish and R is 0.
  AP4_ARRAY* constant = make_filled(ref::x_rows, 1);
  ap4a_FillRange(constant, AP4_WHOLE_RANGE, 3.0f);
  KX_AP4_MULTCORRPARM flat{x, holder, 1, constant};
  EXPECT_EQ(send(KX_AP4_MSG_MULT_CORRELATION, results, &flat), 0u);
  EXPECT_EQ(values(results)[1], 0.0f);
  // A holder of the wrong shape, and an index past the results.
  AP4_ARRAY* wrong = make(ref::x_rows, ref::x_columns);
  KX_AP4_MULTCORRPARM misshapen{x, wrong, 0, y};
  KX_AP4_MULTCORRPARM outside{x, holder, 2, y};
  EXPECT_EQ(send(KX_AP4_MSG_MULT_CORRELATION, results, &misshapen), 1u);
  EXPECT_EQ(send(KX_AP4_MSG_MULT_CORRELATION, results, &outside), 1u);
  for (AP4_ARRAY* a : {x, y, holder, results, fitted, constant, wrong}) destroy(a);
  EXPECT_EQ(arraytest::array_class().live, 0);
}

class QuantPerformance : public ChemometricsTest {
 protected:
  struct Series {
    AP4_ARRAY* statistics = make_filled(2, 3);
    AP4_ARRAY* ranges = array_of(1, 4, ref::ranges);
    int32_t counter = 0;
    ~Series() {
      destroy(statistics);
      destroy(ranges);
    }
  };
  // One sample through the exported routine.
  static float score(Series& series, uint16_t mode, std::vector<float> actual, std::vector<float> predicted,
                     uint16_t n = 2, uint16_t exclude = 0, float exclusion = 0) {
    AP4_ARRAY* a = array_of(1, static_cast<uint32_t>(actual.size()), actual.data());
    AP4_ARRAY* p = array_of(1, static_cast<uint32_t>(predicted.size()), predicted.data());
    const float result = KX_AP4_QMPerformance_ARRAY(a, p, series.ranges, mode, n, exclude, exclusion,
                                                    &series.counter, series.statistics);
    destroy(a);
    destroy(p);
    return result;
  }
};

TEST_F(QuantPerformance, RunningFiguresAgreeWithNumpy) {
  struct Case {
    const char* what;
    uint16_t mode;
    const double* sample;
    const double* overall;
    const double* component;
    double tolerance;
  };
  const Case cases[] = {
      {"root-mean-square error", KX_AP4_QM_RMS, ref::rms_sample, ref::rms_overall, ref::rms_component, 1e-5},
      {"accuracy in per cent", KX_AP4_QM_ACCURACY, ref::accuracy_sample, ref::accuracy_overall,
       ref::accuracy_component, 1e-3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Series series;
    for (int s = 0; s < 3; ++s) {
      const std::vector<float> a{static_cast<float>(ref::actual[2 * s]), static_cast<float>(ref::actual[2 * s + 1])};
      const std::vector<float> p{static_cast<float>(ref::predicted[2 * s]),
                                 static_cast<float>(ref::predicted[2 * s + 1])};
      EXPECT_NEAR(score(series, c.mode, a, p), c.sample[s], c.tolerance) << s;
      EXPECT_EQ(series.counter, s + 1);
      const std::vector<float> figures = values(series.statistics);
      EXPECT_NEAR(figures[0], c.overall[s], c.tolerance) << s;
      EXPECT_NEAR(figures[1], c.component[2 * s], c.tolerance) << s;
      EXPECT_NEAR(figures[2], c.component[2 * s + 1], c.tolerance) << s;
      EXPECT_EQ(figures[3], 2.0f * (s + 1));
      EXPECT_EQ(figures[4], s + 1.0f);
    }
  }
}

TEST_F(QuantPerformance, RatioScoresAndTheirRunningMean) {
  struct Case {
    float actual;
    float predicted;
    float score;
  };
  // q = |actual / predicted| capped at 5; 1 or 5 when the prediction is 0.
  const Case cases[] = {{0, 0, 80}, {3, 0, 0}, {2, 1, 60}, {1, 4, 95}, {12, 1, 0}};
  Series series;
  double q_sum = 0;
  for (const Case& c : cases) {
    EXPECT_FLOAT_EQ(score(series, KX_AP4_QM_RATIO, {c.actual}, {c.predicted}, 1), c.score);
    q_sum += (100 - c.score) / 20;
    EXPECT_NEAR(values(series.statistics)[0], 100 - 20 * q_sum / series.counter, 1e-4);
  }
  EXPECT_EQ(series.counter, 5);
}

TEST_F(QuantPerformance, RmsLeavesOutExcludedComponentsAndArrivesTruncated) {
  Series series;
  // Actual (1, 2), predicted (1, 4): sqrt(4 / 2).
  EXPECT_NEAR(score(series, KX_AP4_QM_RMS, {1, 2}, {1, 4}), std::sqrt(2.0), 1e-6);
  // Component 0 at the exclusion value counts neither value nor error.
  EXPECT_NEAR(score(series, KX_AP4_QM_RMS, {-1, 5}, {7, 3}, 2, 1, -1.0f), std::sqrt(2.0), 1e-6);
  const std::vector<float> figures = values(series.statistics);
  EXPECT_EQ(figures[3], 3.0f);
  EXPECT_EQ(figures[4], 1.0f);
  EXPECT_NEAR(figures[1], 0.0, 1e-6);
  EXPECT_NEAR(figures[2], std::sqrt(4.0), 1e-6);

  // The message answers the figure truncated toward zero: 79.9 is 79.
  AP4_ARRAY* actual = array_of(1, 1, {1.005f});
  AP4_ARRAY* predicted = array_of(1, 1, {1.0f});
  AP4_ARRAY* statistics = make_filled(2, 2);
  int32_t counter = 0;
  KX_AP4_QMPERFPARM parameter{predicted, nullptr, KX_AP4_QM_RATIO, 1, 0, 0, &counter, statistics};
  EXPECT_EQ(send(KX_AP4_MSG_QM_PERFORMANCE, actual, &parameter), 79u);
  for (AP4_ARRAY* a : {actual, predicted, statistics}) destroy(a);
}

TEST_F(QuantPerformance, RefusalsGiveTheErrorValueAndKeepTheFigures) {
  const float nan = AP1_GetNaNSG_MATH();
  Series series;
  ASSERT_NEAR(score(series, KX_AP4_QM_RMS, {1, 2}, {1, 4}), std::sqrt(2.0), 1e-6);
  const std::vector<float> before = values(series.statistics);
  struct Case {
    const char* what;
    uint16_t mode;
    std::vector<float> actual;
    uint16_t n;
    float error;
  };
  const Case cases[] = {
      {"missing actual value", KX_AP4_QM_RMS, {1, nan}, 2, -1000},
      {"missing ratio value", KX_AP4_QM_RATIO, {nan, 1}, 1, 1000},
      {"more components than values", KX_AP4_QM_RMS, {1, 2}, 3, -1000},
      {"more components than the figures hold", KX_AP4_QM_ACCURACY, {1, 2, 3}, 3, 1000},
      {"no components", KX_AP4_QM_RMS, {1, 2}, 0, -1000},
  };
  for (const Case& c : cases) {
    std::vector<float> predicted(c.actual.size(), 1.0f);
    EXPECT_EQ(score(series, c.mode, c.actual, predicted, c.n), c.error) << c.what;
    EXPECT_EQ(series.counter, 1) << c.what;
  }
  std::vector<float> after = values(series.statistics);
  // Only the count of the component read before the missing one moved on.
  EXPECT_EQ(after[3], before[3] + 1);
  EXPECT_EQ(after[4], before[4] + 1);
  after[3] = before[3];
  after[4] = before[4];
  EXPECT_EQ(after, before);
  series.counter = -1;
  EXPECT_EQ(score(series, KX_AP4_QM_RMS, {1, 2}, {1, 4}), -1000.0f);
}

}  // namespace
