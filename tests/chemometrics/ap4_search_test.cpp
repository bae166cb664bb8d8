#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "chemometrics/chemometrics_fixture.h"

namespace {

using namespace chemtest;

const float kNaN = AP1_GetNaNSG_MATH();
const uint16_t kOptions[] = {AP4_SEARCH_DIFFERENCE_CORRELATION, AP4_SEARCH_ABSOLUTE_RESIDUAL,
                             AP4_SEARCH_SQUARED_RESIDUAL,       AP4_SEARCH_DIFFERENCE_ABSOLUTE_RESIDUAL,
                             AP4_SEARCH_DIFFERENCE_SQUARED_RESIDUAL, AP4_SEARCH_CORRELATION_SQUARED};

class SearchScore : public ChemometricsTest {
 protected:
  // The score through message 342, which always answers 1.
  static float score(AP4_ARRAY* a, AP4_ARRAY* b, uint16_t option) {
    float value = -7;
    AP4_SEARCHPARM parameter{b, option, &value};
    EXPECT_EQ(send(AP4_MSG_SEARCH_SCORE, a, &parameter), 1u);
    return value;
  }
  static AP4_ARRAY* row(const std::vector<float>& values) {
    return array_of(1, static_cast<uint32_t>(values.size()), values.data());
  }
};

// a = (0, 1, 4, 9), b = (1, 1, 3, 7), worked by hand.
//   Differences over two positions: Δa = (4, 8), Δb = (2, 6);
//   S_aa = 80, S_ab = 56, S_bb = 40, k = 56 / 40 = 1.4.
//   Data: min a = 0, min b = 1, c = 0 − 1.4 = −1.4; a − k·b − c =
//   (0, 1, 1.2, 0.6); Σ|a − min a| = 14, Σ(a − min a)² = 98.
//   Differences: Δa − k·Δb = (1.2, −0.4); Σ|Δa| = 12, ΣΔa² = 80.
//   Centred: a − 3.5 = (−3.5, −2.5, 0.5, 5.5), b − 3 = (−2, −2, 0, 4);
//   S_aa = 49, S_ab = 34, S_bb = 24.
struct Worked {
  uint16_t option;
  double score;
};
const Worked kWorked[] = {
    {AP4_SEARCH_DIFFERENCE_CORRELATION, 100 * std::sqrt(56.0 * 56.0 / (80.0 * 40.0))},
    {AP4_SEARCH_ABSOLUTE_RESIDUAL, 100 * (1 - 2.8 / 14)},
    {AP4_SEARCH_SQUARED_RESIDUAL, 100 * (1 - std::sqrt(1 + 1.44 + 0.36) / std::sqrt(98.0))},
    {AP4_SEARCH_DIFFERENCE_ABSOLUTE_RESIDUAL, 100 * (1 - 1.6 / 12)},
    {AP4_SEARCH_DIFFERENCE_SQUARED_RESIDUAL, 100 * (1 - std::sqrt(1.44 + 0.16) / std::sqrt(80.0))},
    {AP4_SEARCH_CORRELATION_SQUARED, 100 * 34.0 * 34.0 / (49.0 * 24.0)},
};

TEST_F(SearchScore, ScoresAWorkedPairByEveryMetric) {
  // The same pair with missing values in the sample ahead or behind, whose
  // positions and the differences reaching over them do not count, so the
  // candidate's values there do not matter.
  const std::vector<std::pair<std::vector<float>, std::vector<float>>> pairs = {
      {{0, 1, 4, 9}, {1, 1, 3, 7}},
      {{0, 1, 4, 9, kNaN, kNaN}, {1, 1, 3, 7, 100, -50}},
      {{kNaN, kNaN, 0, 1, 4, 9}, {-50, 100, 1, 1, 3, 7}},
  };
  for (const auto& [sample, candidate] : pairs) {
    AP4_ARRAY* a = row(sample);
    AP4_ARRAY* b = row(candidate);
    for (const Worked& w : kWorked) EXPECT_NEAR(score(a, b, w.option), w.score, 1e-4) << "option " << w.option;
    destroy(a);
    destroy(b);
  }
}

TEST_F(SearchScore, PerfectMatchesScoreOneHundred) {
  const std::vector<float> a = {0, 1, 4, 9, 16, 12, 3};
  std::vector<float> affine;
  std::vector<float> negated;
  for (float v : a) {
    affine.push_back(2 * v + 5);
    negated.push_back(-v);
  }
  AP4_ARRAY* sample = row(a);
  AP4_ARRAY* same = row(a);
  AP4_ARRAY* scaled = array_of(7, 1, affine.data());  // the shape does not matter, the count does
  AP4_ARRAY* opposite = row(negated);
  for (uint16_t option : kOptions) {
    EXPECT_NEAR(score(sample, same, option), 100, 1e-4) << "option " << option;
    EXPECT_NEAR(score(sample, scaled, option), 100, 1e-4) << "option " << option;
  }
  // The sign is lost by the correlations; option 3 maps with k = −1.
  for (uint16_t option : {AP4_SEARCH_DIFFERENCE_CORRELATION, AP4_SEARCH_CORRELATION_SQUARED,
                          AP4_SEARCH_DIFFERENCE_ABSOLUTE_RESIDUAL})
    EXPECT_NEAR(score(sample, opposite, option), 100, 1e-4) << "option " << option;
  for (AP4_ARRAY* x : {sample, same, scaled, opposite}) destroy(x);
}

TEST_F(SearchScore, ResidualScoresAreNotClipped) {
  // k falls back to 1 when the candidate's differences cancel the sample's
  // (S_ab = 0): a = (0, 0, 2), b = (0, 0, 0): Δa = 2, Δb = 0, so
  // S_bb = 0 and k = 1; c = 0; residual Σ|a − b| = 2 = Σ|a − min a|: 0.
  // With b = (0, 0, −4) the candidate runs the other way: S_ab = −8,
  // S_bb = 16, k = −0.5; min b = −4, c = −2; a − k·b − c = (2, 2, 2):
  // 100 × (1 − 6 / 2) = −200.
  AP4_ARRAY* a = row({0, 0, 2});
  AP4_ARRAY* flat = row({0, 0, 0});
  AP4_ARRAY* reverse = row({0, 0, -4});
  EXPECT_NEAR(score(a, flat, AP4_SEARCH_ABSOLUTE_RESIDUAL), 0, 1e-4);
  EXPECT_NEAR(score(a, reverse, AP4_SEARCH_ABSOLUTE_RESIDUAL), -200, 1e-4);
  for (AP4_ARRAY* x : {a, flat, reverse}) destroy(x);
}

TEST_F(SearchScore, WhatCannotBeScoredScoresZero) {
  AP4_ARRAY* a = row({0, 1, 4, 9});
  AP4_ARRAY* b = row({1, 1, 3, 7});
  AP4_ARRAY* longer = row({1, 1, 3, 7, 2});
  AP4_ARRAY* constant = row({3, 3, 3, 3});
  for (uint16_t option : kOptions) {
    SCOPED_TRACE(option);
    EXPECT_EQ(score(a, longer, option), 0);
    // A constant sample has no differences and no spread.
    EXPECT_EQ(score(constant, b, option), 0);
    EXPECT_EQ(score(a, reinterpret_cast<AP4_ARRAY*>(&b->rows), option), 0);
  }
  for (uint16_t option : {5, 7, 11, 0xFFFF}) EXPECT_EQ(score(a, b, option), 0) << "option " << option;
  float value = -7;
  EXPECT_EQ(AP4_SearchAllOptions_ARRAY(nullptr, b, 0, &value), 1);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(AP4_SearchAllOptions_ARRAY(a, b, 0, nullptr), 1);
  for (AP4_ARRAY* x : {a, b, longer, constant}) destroy(x);
}

TEST_F(SearchScore, AMissingValueInTheCandidateMakesTheScoreMissing) {
  // The candidate's values are taken as they are where the sample counts.
  AP4_ARRAY* a = row({0, 1, 4, 9});
  AP4_ARRAY* b = row({1, kNaN, 3, 7});
  for (uint16_t option : kOptions) EXPECT_TRUE(std::isnan(score(a, b, option))) << "option " << option;
  // Unless the residual scores have nothing to measure against.
  AP4_ARRAY* constant = row({3, 3, 3, 3});
  for (uint16_t option : {AP4_SEARCH_ABSOLUTE_RESIDUAL, AP4_SEARCH_SQUARED_RESIDUAL,
                          AP4_SEARCH_DIFFERENCE_ABSOLUTE_RESIDUAL, AP4_SEARCH_DIFFERENCE_SQUARED_RESIDUAL})
    EXPECT_EQ(score(constant, b, option), 0) << "option " << option;
  for (AP4_ARRAY* x : {a, b, constant}) destroy(x);
}

}  // namespace
