// Point-wise statistics over lists of spectra (message 259) and the scaled
// difference, against numpy's values (statistics_references.h).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "processing/processing.h"
#include "processing/statistics_references.h"
#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;
namespace ref = statistics_reference;

template <size_t N>
std::vector<float> vec(const float (&values)[N]) {
  return std::vector<float>(values, values + N);
}

// Each value within a relative 1e-5 of the reference, missing where it is.
template <size_t N>
void expect_values(const AP7_SPECTRUM* spectrum, const float (&expected)[N], float tolerance = 1e-5f) {
  const std::vector<float> got = values(spectrum);
  ASSERT_EQ(got.size(), N);
  for (size_t i = 0; i < N; ++i) {
    if (std::isnan(expected[i])) {
      EXPECT_TRUE(ap1_is_missing(got[i])) << "point " << i << " is " << got[i];
    } else {
      EXPECT_NEAR(got[i], expected[i], tolerance * std::max(1.0f, std::fabs(expected[i]))) << "point " << i;
    }
  }
}

class ListStatisticsTest : public SpectrumTest {
 protected:
  void SetUp() override {
    SpectrumTest::SetUp();
    carrier_ = own(make_ramp(4, 0.0f, 3.0f));
  }

  void TearDown() override {
    for (AP40_LLIST* list : lists_) ap40_Destroy_LLIST(list, nullptr, 1);
    for (AP7_SPECTRUM* spectrum : spectra_) destroy(spectrum);
    SpectrumTest::TearDown();
  }

  // A spectrum owned by the test.
  AP7_SPECTRUM* own(AP7_SPECTRUM* spectrum) {
    if (spectrum != nullptr) spectra_.push_back(spectrum);
    return spectrum;
  }

  // A list in insertion order owning the spectra.
  AP40_LLIST* list_of(const std::vector<AP7_SPECTRUM*>& members) {
    AP40_LLIST* list = ap40_New_LLIST(nullptr, 0xFFFF);
    for (AP7_SPECTRUM* member : members) ap40_Add_LLIST(list, reinterpret_cast<AP_OBJECT*>(member));
    lists_.push_back(list);
    return list;
  }

  AP40_LLIST* reference_items() {
    return list_of({make_axis(ref::item0_first_x, ref::item0_last_x, vec(ref::item0_values)),
                    make_axis(ref::item1_first_x, ref::item1_last_x, vec(ref::item1_values)),
                    make_axis(ref::item2_first_x, ref::item2_last_x, vec(ref::item2_values))});
  }

  // Message 259, sent to a spectrum of the test's own.
  AP7_SPECTRUM* statistics(void* items, uint16_t derivative, uint16_t statistic, int16_t& status) {
    status = 99;
    AP7_LISTSTATISTICSPARM block{static_cast<AP_OBJECT*>(items), derivative, statistic, &status};
    return own(ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_LIST_STATISTICS, carrier_, &block)));
  }

  std::vector<AP40_LLIST*> lists_;
  std::vector<AP7_SPECTRUM*> spectra_;
  AP7_SPECTRUM* carrier_ = nullptr;
};

TEST_F(ListStatisticsTest, MeanDeviationAndRangeMatchNumpyOverTheRangeAllItemsShare) {
  AP40_LLIST* items = reference_items();
  int16_t status = 0;
  AP7_SPECTRUM* mean = statistics(items, AP7_DERIVATIVE_NONE, AP7_STATISTIC_MEAN, status);
  ASSERT_NE(mean, nullptr);
  EXPECT_EQ(status, AP7_STATISTICS_DONE);
  EXPECT_EQ(packed(record(mean).first_x), ref::common_first_x);
  EXPECT_EQ(packed(record(mean).last_x), ref::common_last_x);
  expect_values(mean, ref::mean);

  AP7_SPECTRUM* deviation = statistics(items, AP7_DERIVATIVE_NONE, AP7_STATISTIC_STD_DEV, status);
  ASSERT_NE(deviation, nullptr);
  EXPECT_EQ(status, AP7_STATISTICS_DONE);
  expect_values(deviation, ref::std_dev, 1e-4f);

  AP7_SPECTRUM* range = statistics(items, AP7_DERIVATIVE_NONE, AP7_STATISTIC_RANGE, status);
  ASSERT_NE(range, nullptr);
  EXPECT_EQ(status, AP7_STATISTICS_DONE);
  EXPECT_EQ(packed(record(range).points), static_cast<uint32_t>(std::size(ref::range)));
  expect_values(range, ref::range);
}

// Every item's values reach every point kept: the order of unequal ranges
// does not matter, the last item's range does not decide.
TEST_F(ListStatisticsTest, UnequalRangesGiveTheSameResultInAnyOrder) {
  AP40_LLIST* items = list_of({make_axis(ref::item2_first_x, ref::item2_last_x, vec(ref::item2_values)),
                               make_axis(ref::item1_first_x, ref::item1_last_x, vec(ref::item1_values)),
                               make_axis(ref::item0_first_x, ref::item0_last_x, vec(ref::item0_values))});
  int16_t status = 0;
  AP7_SPECTRUM* mean = statistics(items, AP7_DERIVATIVE_NONE, AP7_STATISTIC_MEAN, status);
  ASSERT_NE(mean, nullptr);
  EXPECT_EQ(packed(record(mean).first_x), ref::common_first_x);
  EXPECT_EQ(packed(record(mean).last_x), ref::common_last_x);
  expect_values(mean, ref::mean);
}

TEST_F(ListStatisticsTest, OneSpectrumIsItsOwnMeanWithZeroSpread) {
  AP7_SPECTRUM* single = own(make_axis(10.0f, 14.0f, {1.0f, 2.0f, AP1_GetNaNSG_MATH(), 4.0f, 5.0f}));
  int16_t status = 0;
  AP7_SPECTRUM* mean = statistics(single, AP7_DERIVATIVE_NONE, AP7_STATISTIC_MEAN, status);
  ASSERT_NE(mean, nullptr);
  const float expected_mean[] = {1.0f, 2.0f, NAN, 4.0f, 5.0f};
  expect_values(mean, expected_mean);
  const float zeros[] = {0.0f, 0.0f, NAN, 0.0f, 0.0f};
  for (uint16_t statistic : {AP7_STATISTIC_STD_DEV, AP7_STATISTIC_RANGE}) {
    AP7_SPECTRUM* spread = statistics(single, AP7_DERIVATIVE_NONE, statistic, status);
    ASSERT_NE(spread, nullptr) << statistic;
    EXPECT_EQ(status, AP7_STATISTICS_DONE);
    expect_values(spread, zeros);
  }
}

TEST_F(ListStatisticsTest, ResultLeavesTheItemsAndTheirDescriptionsBehind) {
  AP7_SPECTRUM* first = make_ramp(5, 0.0f, 4.0f);
  ap7b_SetNameAndSubSpectra(first, "first item", nullptr, nullptr);
  ap7d_AddCommentText(first, "note");
  std::strcpy(record(first).p49, "code");
  AP40_LLIST* items = list_of({first, make_ramp(5, 0.0f, 4.0f)});
  int16_t status = 0;
  AP7_SPECTRUM* mean = statistics(items, AP7_DERIVATIVE_NONE, AP7_STATISTIC_MEAN, status);
  ASSERT_NE(mean, nullptr);
  EXPECT_STREQ(mean->name, "");
  EXPECT_STREQ(record(mean).p49, "");
  const char* comment = ap7d_GetCommentText(mean);
  EXPECT_TRUE(comment == nullptr || comment[0] == '\0');
  EXPECT_STREQ(first->name, "first item");
  EXPECT_EQ(values(first), (std::vector<float>{1.0f, 2.0f, 3.0f, 4.0f, 5.0f}));
}

TEST_F(ListStatisticsTest, DerivativesAreTakenBeforeTheStatistic) {
  // y = x^2 and y = 3 x^2: first differences 2x+1 and 3(2x+1) on 0..4.
  AP40_LLIST* items = list_of({make_axis(0.0f, 4.0f, {0, 1, 4, 9, 16}), make_axis(0.0f, 4.0f, {0, 3, 12, 27, 48})});
  int16_t status = 0;
  AP7_SPECTRUM* mean = statistics(items, AP7_DERIVATIVE_FIRST, AP7_STATISTIC_MEAN, status);
  ASSERT_NE(mean, nullptr);
  AP7_SPECTRUM* derivative = own(ap7a_Derivative(
      reinterpret_cast<AP7_SPECTRUM*>(list_member(items, 0)), AP_NOT_GIVEN, AP_NOT_GIVEN));
  ASSERT_NE(derivative, nullptr);
  const std::vector<float> first = values(derivative);
  const std::vector<float> got = values(mean);
  ASSERT_EQ(got.size(), first.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_FLOAT_EQ(got[i], 2.0f * first[i]) << i;
}

TEST_F(ListStatisticsTest, ItemsThatDoNotMatchAreRefusedWithTheirStatus) {
  struct Case {
    const char* what;
    uint32_t x_units;
    uint32_t y_units;
    float last_x;
    float first_x;
    int16_t status;
  };
  const Case cases[] = {
      {"X unit differs", 3, AP7_DEFAULT_YUNITS, 4.0f, 0.0f, AP7_STATISTICS_UNITS_DIFFER},
      {"Y unit differs", 1, 17, 4.0f, 0.0f, AP7_STATISTICS_UNITS_DIFFER},
      {"spacing 2 % wider", 1, AP7_DEFAULT_YUNITS, 4.08f, 0.0f, AP7_STATISTICS_SPACINGS_DIFFER},
      {"no common point", 1, AP7_DEFAULT_YUNITS, 24.0f, 20.0f, AP7_STATISTICS_NO_COMMON_POINTS},
  };
  for (const Case& c : cases) {
    AP7_SPECTRUM* first = make_ramp(5, 0.0f, 4.0f);
    record(first).x_units = 1;
    AP7_SPECTRUM* second = make_ramp(5, c.first_x, c.last_x);
    record(second).x_units = c.x_units;
    record(second).y_units = c.y_units;
    const uint16_t live = spectrum_class().live;
    int16_t status = 0;
    EXPECT_EQ(statistics(list_of({first, second}), AP7_DERIVATIVE_NONE, AP7_STATISTIC_MEAN, status), nullptr)
        << c.what;
    EXPECT_EQ(status, c.status) << c.what;
    EXPECT_EQ(spectrum_class().live, live) << c.what;
  }
}

TEST_F(ListStatisticsTest, SpacingsWithinOnePercentAreAccepted) {
  AP40_LLIST* items = list_of({make_ramp(5, 0.0f, 4.0f), make_ramp(5, 0.0f, 4.02f)});
  int16_t status = 0;
  EXPECT_NE(statistics(items, AP7_DERIVATIVE_NONE, AP7_STATISTIC_MEAN, status), nullptr);
  EXPECT_EQ(status, AP7_STATISTICS_DONE);
}

TEST_F(ListStatisticsTest, EmptyListsAndOtherObjectsFail) {
  int16_t status = 0;
  EXPECT_EQ(statistics(list_of({}), AP7_DERIVATIVE_NONE, AP7_STATISTIC_MEAN, status), nullptr);
  EXPECT_EQ(status, AP7_STATISTICS_FAILED);
  AP48_TEXT* text = new_text("not a spectrum");
  EXPECT_EQ(statistics(text, AP7_DERIVATIVE_NONE, AP7_STATISTIC_MEAN, status), nullptr);
  EXPECT_EQ(status, AP7_STATISTICS_FAILED);
  destroy(text);
  AP40_LLIST* mixed = list_of({make_ramp(5, 0.0f, 4.0f)});
  ap40_Add_LLIST(mixed, reinterpret_cast<AP_OBJECT*>(new_text("in a list")));
  EXPECT_EQ(statistics(mixed, AP7_DERIVATIVE_NONE, AP7_STATISTIC_MEAN, status), nullptr);
  EXPECT_EQ(status, AP7_STATISTICS_FAILED);
}

// ---------------------------------------------------------------------------
// Scaled difference

class ScaledDifferenceTest : public ListStatisticsTest {
 protected:
  AP40_LLIST* a_list() {
    return list_of({make_axis(ref::a_first_x, ref::a_last_x, vec(ref::a0_values)),
                    make_axis(ref::a_first_x, ref::a_last_x, vec(ref::a1_values))});
  }
  AP7_SPECTRUM* b() { return own(make_axis(ref::b_first_x, ref::b_last_x, vec(ref::b_values))); }
};

TEST_F(ScaledDifferenceTest, GivenFactorRegionFitAndWholeFitMatchNumpy) {
  AP40_LLIST* a = a_list();
  AP7_SPECTRUM* spectrum_b = b();
  auto* b_object = reinterpret_cast<AP_OBJECT*>(spectrum_b);
  const uint16_t live = spectrum_class().live;
  AP7_SPECTRUM* given = own(ap7e_CompareListStatistics(reinterpret_cast<AP_OBJECT*>(a), b_object, AP7_SCALE_GIVEN,
                                                         ref::given_k, nullptr, AP_NOT_GIVEN, AP_NOT_GIVEN));
  ASSERT_NE(given, nullptr);
  EXPECT_EQ(packed(record(given).first_x), ref::a_first_x);
  EXPECT_EQ(packed(record(given).last_x), ref::a_last_x);
  expect_values(given, ref::given_difference);

  AP7_SPECTRUM* region = own(ap7e_CompareListStatistics(reinterpret_cast<AP_OBJECT*>(a), b_object,
                                                          AP7_SCALE_FIT_REGION, 0.0f, nullptr, ref::region_x1,
                                                          ref::region_x2));
  ASSERT_NE(region, nullptr);
  expect_values(region, ref::region_difference, 1e-4f);

  // Mode 2 without a region, and mode 1 without a weight, fit over the
  // whole common range.
  for (uint32_t mode : {AP7_SCALE_FIT_REGION, AP7_SCALE_FIT_WEIGHT_RANGE, 7u}) {
    AP7_SPECTRUM* whole = own(ap7e_CompareListStatistics(reinterpret_cast<AP_OBJECT*>(a), b_object, mode, 0.0f,
                                                           nullptr, AP_NOT_GIVEN, 3.0f));
    ASSERT_NE(whole, nullptr) << mode;
    expect_values(whole, ref::whole_difference, 1e-4f);
  }
  // The means made of the list are gone again; B is unchanged.
  EXPECT_EQ(spectrum_class().live, live + 5);
  EXPECT_EQ(values(spectrum_b), vec(ref::b_values));
}

TEST_F(ScaledDifferenceTest, WeightSpectrumSetsTheRegionAndMasksItsMissingSteps) {
  AP40_LLIST* a = a_list();
  AP7_SPECTRUM* weight = own(make_axis(406.0f, 412.0f, std::vector<float>(7, 1.0f)));
  AP7_SPECTRUM* fitted = own(ap7e_CompareListStatistics(reinterpret_cast<AP_OBJECT*>(a),
                                                          reinterpret_cast<AP_OBJECT*>(b()),
                                                          AP7_SCALE_FIT_WEIGHT_RANGE, 0.0f, weight, 0.0f, 0.0f));
  ASSERT_NE(fitted, nullptr);
  expect_values(fitted, ref::region_difference, 1e-4f);

  // A weight missing everywhere leaves no step: k = 0 and R = A.
  AP7_SPECTRUM* blank = own(make_axis(406.0f, 412.0f, std::vector<float>(7, AP1_GetNaNSG_MATH())));
  AP7_SPECTRUM* unscaled = own(ap7e_CompareListStatistics(reinterpret_cast<AP_OBJECT*>(a),
                                                            reinterpret_cast<AP_OBJECT*>(b()),
                                                            AP7_SCALE_FIT_WEIGHT_RANGE, 5.0f, blank, 0.0f, 0.0f));
  ASSERT_NE(unscaled, nullptr);
  const std::vector<float> got = values(unscaled);
  for (size_t i = 4; i < got.size(); ++i) {
    const float mean = (ref::a0_values[i] + ref::a1_values[i]) / 2.0f;
    if (std::isnan(mean)) {
      EXPECT_TRUE(ap1_is_missing(got[i])) << i;
    } else {
      EXPECT_FLOAT_EQ(got[i], mean) << i;
    }
  }
}

TEST_F(ScaledDifferenceTest, ZeroFirstDifferencesInBGiveAZeroFactor) {
  AP7_SPECTRUM* a = own(make_ramp(6, 0.0f, 5.0f));
  AP7_SPECTRUM* flat = own(make_axis(0.0f, 5.0f, std::vector<float>(6, 7.0f)));
  AP7_SPECTRUM* result = own(ap7e_CompareListStatistics(reinterpret_cast<AP_OBJECT*>(a),
                                                          reinterpret_cast<AP_OBJECT*>(flat), AP7_SCALE_FIT_REGION,
                                                          9.0f, nullptr, AP_NOT_GIVEN, AP_NOT_GIVEN));
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(values(result), values(a));
}

TEST_F(ScaledDifferenceTest, MismatchedInputsAreRefused) {
  AP7_SPECTRUM* a = own(make_ramp(6, 0.0f, 5.0f));
  auto* a_object = reinterpret_cast<AP_OBJECT*>(a);
  AP7_SPECTRUM* finer = own(make_ramp(11, 0.0f, 5.0f));
  AP7_SPECTRUM* apart = own(make_ramp(6, 10.0f, 15.0f));
  AP48_TEXT* text = new_text("weight");
  const uint16_t live = spectrum_class().live;
  EXPECT_EQ(ap7e_CompareListStatistics(a_object, reinterpret_cast<AP_OBJECT*>(finer), AP7_SCALE_GIVEN, 1.0f, nullptr,
                                       AP_NOT_GIVEN, AP_NOT_GIVEN),
            nullptr);
  EXPECT_EQ(ap7e_CompareListStatistics(a_object, reinterpret_cast<AP_OBJECT*>(apart), AP7_SCALE_GIVEN, 1.0f, nullptr,
                                       AP_NOT_GIVEN, AP_NOT_GIVEN),
            nullptr);
  EXPECT_EQ(ap7e_CompareListStatistics(a_object, nullptr, AP7_SCALE_GIVEN, 1.0f, nullptr, AP_NOT_GIVEN, AP_NOT_GIVEN),
            nullptr);
  EXPECT_EQ(ap7e_CompareListStatistics(a_object, a_object, AP7_SCALE_FIT_WEIGHT_RANGE, 1.0f,
                                       reinterpret_cast<AP7_SPECTRUM*>(text), AP_NOT_GIVEN, AP_NOT_GIVEN),
            nullptr);
  // A region outside the common range.
  EXPECT_EQ(ap7e_CompareListStatistics(a_object, a_object, AP7_SCALE_FIT_REGION, 1.0f, nullptr, 20.0f, 30.0f),
            nullptr);
  EXPECT_EQ(spectrum_class().live, live);
  destroy(text);
}

}  // namespace
