#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "chemometrics/chemometrics_fixture.h"
#include "chemometrics/map_reference_values.h"
#include "platform/registry.h"
#include "util/util.h"

namespace {

using namespace chemtest;

const float kNaN = std::nanf("");

template <typename T>
GU3_HANDLE block_of(const std::vector<T>& entries) {
  GU3_HANDLE block = GU3_Allocate_MM(static_cast<uint32_t>(entries.size()), sizeof(T), GU3_KIND_GLOBAL);
  auto* to = static_cast<T*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
  for (size_t i = 0; i < entries.size(); ++i) to[i] = entries[i];
  return block;
}

template <typename T>
std::vector<T> entries_of(GU3_HANDLE block) {
  const auto* from = static_cast<const T*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
  return std::vector<T>(from, from + GU3_NumElements_MM(block));
}

std::vector<float> reference_map() {
  return std::vector<float>(std::begin(mapref::map), std::end(mapref::map));
}

constexpr uint32_t kRows = mapref::map_rows;
constexpr uint32_t kColumns = mapref::map_columns;
constexpr uint32_t kPoints = mapref::map_points;
constexpr uint32_t kPositions = kRows * kColumns;

class PcaMap : public ChemometricsTest {
 protected:
  void SetUp() override {
    ChemometricsTest::SetUp();
    receiver_ = make(1, 1);
  }
  void TearDown() override {
    drop_outs();
    destroy(receiver_);
    GU9_DeleteValue(GU9_TALVO_KEY, "AbsPCScores");
    ChemometricsTest::TearDown();
  }
  void drop_outs() {
    for (AP4_ARRAY** a : {&loadings_, &eigenvalues_}) {
      if (*a != nullptr) destroy(*a);
      *a = nullptr;
    }
    if (scores_ != nullptr) GU3_Free_MM(scores_);
    scores_ = nullptr;
  }
  uint32_t scale(uint16_t message, GU3_HANDLE data, GU3_HANDLE positions, GU3_HANDLE points, uint32_t rows,
                 uint32_t columns, uint32_t n, uint32_t mode, uint16_t zero_excluded, uint16_t centre = 0) {
    AP4_MAPSCALEPARM parameter{data, positions, points, rows, columns, n, centre, mode, zero_excluded};
    return send(message, receiver_, &parameter);
  }
  // Message 347 on a rows × columns × n map; keeps the outs for the test.
  GU3_HANDLE pca(GU3_HANDLE data, GU3_HANDLE positions, GU3_HANDLE points, uint32_t factors, uint16_t per_spectrum,
                 uint16_t map_wide, uint16_t zero_excluded, uint32_t rows = kRows, uint32_t columns = kColumns,
                 uint32_t n = kPoints) {
    drop_outs();
    AP4_MAPPCAPARM parameter{data,     positions,     points,       rows,        columns,
                             n,        factors,       100.0f,       per_spectrum, map_wide,
                             zero_excluded, &loadings_, &eigenvalues_, &row_count_,  &error_};
    scores_ = ap_result_object<GU3_DESCRIPTOR>(send(AP4_MSG_MAP_PCA, receiver_, &parameter));
    return scores_;
  }
  uint32_t reconstruct(GU3_HANDLE data, int32_t first, int32_t last, uint16_t map_wide,
                       AP4_ARRAY* loadings = nullptr, GU3_HANDLE scores = nullptr) {
    AP4_RECONSTRUCTPARM parameter{data, loadings != nullptr ? loadings : loadings_, scores != nullptr ? scores : scores_,
                                  nullptr, nullptr, kRows, kColumns, kPoints, first, last, 0, map_wide};
    return send(AP4_MSG_RECONSTRUCT_PCA, receiver_, &parameter);
  }
  AP4_ARRAY* receiver_ = nullptr;
  AP4_ARRAY* loadings_ = nullptr;
  AP4_ARRAY* eigenvalues_ = nullptr;
  GU3_HANDLE scores_ = nullptr;
  uint32_t row_count_ = 77;
  uint32_t error_ = 77;
};

TEST_F(PcaMap, ScoresLoadingsAndEigenvaluesOfACentredMapMatchNumpy) {
  GU3_HANDLE data = block_of(reference_map());
  ASSERT_NE(pca(data, nullptr, nullptr, 2, 0, 1, 0), nullptr) << error_;
  EXPECT_EQ(error_, 0u);
  ASSERT_EQ(row_count_, 3u);
  ASSERT_EQ(uint32_t{loadings_->rows}, 3u);
  ASSERT_EQ(uint32_t{loadings_->columns}, kPoints);
  const std::vector<float> eigen = values(eigenvalues_);
  ASSERT_EQ(eigen.size(), 3u);
  EXPECT_NEAR(eigen[0], mapref::map_eigenvalues[0], 1e-4 * mapref::map_eigenvalues[0]);
  EXPECT_NEAR(eigen[1], mapref::map_eigenvalues[1], 1e-3 * mapref::map_eigenvalues[0]);
  EXPECT_NEAR(eigen[2], mapref::map_total, 1e-4 * mapref::map_total);
  const std::vector<float> q = values(loadings_);
  const std::vector<float> block = entries_of<float>(scores_);
  ASSERT_EQ(block.size(), 2u * kPositions * 3);
  for (uint32_t i = 0; i < 2; ++i) {
    // A factor's sign is free: take numpy's.
    const double sign = q[i * kPoints] * mapref::map_loadings[i * kPoints] < 0 ? -1.0 : 1.0;
    for (uint32_t k = 0; k < kPoints; ++k)
      EXPECT_NEAR(sign * q[i * kPoints + k], mapref::map_loadings[i * kPoints + k], 1e-3) << i << ", " << k;
    for (uint32_t p = 0; p < kPositions; ++p) {
      const double expected = mapref::map_scores[p * 2 + i];
      const float kept = block[kPositions * 3 + p * 3 + i];
      EXPECT_NEAR(sign * kept, expected, 2e-3) << "position " << p << " factor " << i;
      EXPECT_FLOAT_EQ(block[p * 3 + i], std::fabs(kept));
    }
  }
  for (uint32_t k = 0; k < kPoints; ++k) EXPECT_EQ(q[2 * kPoints + k], 0.0f);
  for (uint32_t p = 0; p < kPositions; ++p) {
    EXPECT_NEAR(block[p * 3 + 2], 0.0f, 1e-3) << p;
    EXPECT_EQ(block[p * 3 + 2], block[kPositions * 3 + p * 3 + 2]);
  }
  GU3_Free_MM(data);
}

TEST_F(PcaMap, AbsPCScoresOfTenShowsSignedScores) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, GU9_TALVO_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  const uint32_t ten = 10;
  ASSERT_EQ(GU9_SetDWordKeyValue(GU9_TALVO_KEY, "AbsPCScores", &ten, 4), 1);
  GU3_HANDLE data = block_of(reference_map());
  ASSERT_NE(pca(data, nullptr, nullptr, 2, 0, 1, 0), nullptr);
  const std::vector<float> block = entries_of<float>(scores_);
  bool some_negative = false;
  for (uint32_t i = 0; i < kPositions * 3; ++i) {
    EXPECT_EQ(block[i], block[kPositions * 3 + i]);
    some_negative = some_negative || block[i] < 0.0f;
  }
  EXPECT_TRUE(some_negative);
  GU3_Free_MM(data);
}

TEST_F(PcaMap, ReconstructionFromEveryFactorGivesTheMapBack) {
  GU3_HANDLE data = block_of(reference_map());
  ASSERT_NE(pca(data, nullptr, nullptr, 2, 0, 1, 0), nullptr);
  struct Case {
    int32_t first;
    int32_t last;
  };
  // -5 clamps to factor 0, 99 to the last stored factor.
  for (const Case c : {Case{0, 1}, Case{-5, 99}}) {
    GU3_HANDLE rebuilt = block_of(reference_map());
    ASSERT_EQ(reconstruct(rebuilt, c.first, c.last, 1), 0u);
    const std::vector<float> got = entries_of<float>(rebuilt);
    for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], mapref::map[i], 2e-4) << c.first << " " << i;
    GU3_Free_MM(rebuilt);
  }
  // Factor 1 alone: the mean spectrum plus factor 1's part only.
  GU3_HANDLE partial = block_of(reference_map());
  ASSERT_EQ(reconstruct(partial, 1, 1, 1), 0u);
  const std::vector<float> got = entries_of<float>(partial);
  const std::vector<float> q = values(loadings_);
  const std::vector<float> block = entries_of<float>(scores_);
  for (uint32_t k = 0; k < kPoints; ++k) {
    double mean = 0;
    for (uint32_t p = 0; p < kPositions; ++p) mean += mapref::map[p * kPoints + k] / kPositions;
    for (uint32_t p = 0; p < kPositions; ++p)
      EXPECT_NEAR(got[p * kPoints + k], mean + block[kPositions * 3 + p * 3 + 1] * q[kPoints + k], 2e-4);
  }
  GU3_Free_MM(partial);
  GU3_Free_MM(data);
}

TEST_F(PcaMap, ReconstructionRefusesMissingOrTooSmallInputs) {
  GU3_HANDLE data = block_of(reference_map());
  ASSERT_NE(pca(data, nullptr, nullptr, 2, 0, 1, 0), nullptr);
  AP4_ARRAY* one_row = make(1, kPoints);
  AP4_ARRAY* wrong_width = make(3, kPoints + 1);
  GU3_HANDLE short_scores = block_of(std::vector<float>(kPositions * 3, 1.0f));
  GU3_HANDLE short_data = block_of(std::vector<float>(kPositions * kPoints - 1, 1.0f));
  const std::vector<float> before = entries_of<float>(data);
  EXPECT_EQ(reconstruct(data, 0, 1, 1, one_row), 1u);
  EXPECT_EQ(reconstruct(data, 0, 1, 1, wrong_width), 1u);
  EXPECT_EQ(reconstruct(data, 0, 1, 1, nullptr, short_scores), 1u);
  EXPECT_EQ(reconstruct(short_data, 0, 1, 1), 1u);
  EXPECT_EQ(entries_of<float>(data), before);
  AP4_RECONSTRUCTPARM bad_mask{data, loadings_, scores_, block_of(std::vector<uint16_t>(3, 1)), nullptr,
                               kRows, kColumns, kPoints, 0, 1, 0, 0};
  EXPECT_EQ(send(AP4_MSG_RECONSTRUCT_PCA, receiver_, &bad_mask), 4u);
  GU3_Free_MM(bad_mask.position_mask);
  for (GU3_HANDLE h : {short_scores, short_data, data}) GU3_Free_MM(h);
  destroy(one_row);
  destroy(wrong_width);
}

TEST_F(PcaMap, FailuresAnswerTheirCodeAndLeaveNoOuts) {
  GU3_HANDLE data = block_of(reference_map());
  GU3_HANDLE three = block_of(std::vector<uint16_t>(3, 1));
  struct Case {
    const char* name;
    GU3_HANDLE data;
    GU3_HANDLE positions;
    GU3_HANDLE points;
    uint32_t factors;
    uint32_t error;
  };
  const Case cases[] = {
      {"no data", nullptr, nullptr, nullptr, 2, 1},
      {"position mask of the wrong count", data, three, nullptr, 2, 3},
      {"point mask of the wrong count", data, nullptr, three, 2, 5},
      {"no factors sought", data, nullptr, nullptr, 0, 7},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(pca(c.data, c.positions, c.points, c.factors, 0, 0, 0), nullptr) << c.name;
    EXPECT_EQ(error_, c.error) << c.name;
    EXPECT_EQ(loadings_, nullptr) << c.name;
    EXPECT_EQ(eigenvalues_, nullptr) << c.name;
  }
  // A map block smaller than rows × columns × points.
  EXPECT_EQ(pca(data, nullptr, nullptr, 2, 0, 0, 0, kRows, kColumns, kPoints + 1), nullptr);
  EXPECT_EQ(error_, 1u);
  GU3_Free_MM(three);
  GU3_Free_MM(data);
}

TEST_F(PcaMap, AMissingValueSpoilsOnlyTheScoresOfItsOwnExcludedPosition) {
  std::vector<float> map = reference_map();
  map[5 * kPoints + 3] = kNaN;  // position 5, excluded below, at an included point
  map[1 * kPoints + 7] = kNaN;  // position 1, included: point 7 leaves the analysis
  GU3_HANDLE data = block_of(map);
  std::vector<uint16_t> included(kPositions, 1);
  included[5] = 0;
  GU3_HANDLE positions = block_of(included);
  GU3_HANDLE points = block_of(std::vector<uint16_t>(kPoints, 1));
  ASSERT_NE(pca(data, positions, points, 2, 0, 0, 0), nullptr) << error_;
  const std::vector<uint16_t> point_mask = entries_of<uint16_t>(points);
  EXPECT_EQ(point_mask[7], 0);
  EXPECT_EQ(point_mask[3], 1);
  const std::vector<float> block = entries_of<float>(scores_);
  for (uint32_t p = 0; p < kPositions; ++p)
    for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(missing(block[kPositions * 3 + p * 3 + i]), p == 5) << p << " " << i;
  // With the zero-excluded flag the excluded position gets zeros.
  ASSERT_NE(pca(data, positions, points, 2, 0, 0, 1), nullptr);
  const std::vector<float> zeroed = entries_of<float>(scores_);
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(zeroed[5 * 3 + i], 0.0f);
    EXPECT_EQ(zeroed[kPositions * 3 + 5 * 3 + i], 0.0f);
  }
  for (GU3_HANDLE h : {data, positions, points}) GU3_Free_MM(h);
}

TEST_F(PcaMap, MeanCentringSkipsMissingValuesInTheMean) {
  // One map row of three positions, one point; the mean is that of 1 and 3.
  GU3_HANDLE data = block_of(std::vector<float>{1.0f, kNaN, 3.0f});
  ASSERT_EQ(scale(AP4_MSG_MAP_MEAN_CENTER, data, nullptr, nullptr, 1, 3, 1, 0, 0), 0u);
  const std::vector<float> got = entries_of<float>(data);
  EXPECT_FLOAT_EQ(got[0], -1.0f);
  EXPECT_TRUE(missing(got[1]));
  EXPECT_FLOAT_EQ(got[2], 1.0f);
  GU3_Free_MM(data);
}

TEST_F(PcaMap, MeanCentringByGroup) {
  // 2 × 2 positions of 2 points: position p holds (p, 10 p).
  const std::vector<float> map{0, 0, 1, 10, 2, 20, 3, 30};
  struct Case {
    const char* name;
    uint32_t mode;
    std::vector<uint16_t> included;
    uint16_t zero_excluded;
    uint32_t result;
    std::vector<float> expected;
  };
  const Case cases[] = {
      {"all positions", 0, {1, 1, 1, 1}, 0, 0, {-1.5f, -15, -0.5f, -5, 0.5f, 5, 1.5f, 15}},
      {"no position included leaves the map", 0, {0, 0, 0, 0}, 0, 0, map},
      {"per map row", 1, {1, 1, 1, 1}, 0, 0, {-0.5f, -5, 0.5f, 5, -0.5f, -5, 0.5f, 5}},
      {"per map column", 2, {1, 1, 1, 1}, 0, 0, {-1, -10, -1, -10, 1, 10, 1, 10}},
      {"per map row, the mean of the included one", 1, {1, 0, 1, 1}, 0, 0, {0, 0, 1, 10, -0.5f, -5, 0.5f, 5}},
      {"excluded set to zero", 1, {1, 0, 1, 1}, 1, 0, {0, 0, 0, 0, -0.5f, -5, 0.5f, 5}},
      {"map row without an included position", 1, {0, 0, 1, 1}, 0, 4, map},
      {"the flag zeroes a map row without one", 1, {0, 0, 1, 1}, 1, 0, {0, 0, 0, 0, -0.5f, -5, 0.5f, 5}},
      {"map column without an included position", 2, {1, 0, 1, 0}, 0, 5, map},
      {"per spectrum", 3, {1, 1, 1, 0}, 0, 0, {0, 0, -4.5f, 4.5f, -9, 9, 0, 0}},
      {"unknown mode", 4, {1, 1, 1, 1}, 0, 1, map},
  };
  for (const Case& c : cases) {
    GU3_HANDLE data = block_of(map);
    GU3_HANDLE positions = block_of(c.included);
    EXPECT_EQ(scale(AP4_MSG_MAP_MEAN_CENTER, data, positions, nullptr, 2, 2, 2, c.mode, c.zero_excluded), c.result)
        << c.name;
    const std::vector<float> got = entries_of<float>(data);
    for (size_t i = 0; i < map.size(); ++i) EXPECT_FLOAT_EQ(got[i], c.expected[i]) << c.name << " " << i;
    GU3_Free_MM(data);
    GU3_Free_MM(positions);
  }
}

TEST_F(PcaMap, VarianceScalingOverTheMapMatchesNumpyAutoscaling) {
  GU3_HANDLE data = block_of(reference_map());
  ASSERT_EQ(scale(AP4_MSG_MAP_VARIANCE_SCALE, data, nullptr, nullptr, kRows, kColumns, kPoints, 0, 0, 1), 0u);
  const std::vector<float> got = entries_of<float>(data);
  for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], mapref::map_autoscaled[i], 1e-5) << i;
  GU3_Free_MM(data);
}

TEST_F(PcaMap, VarianceScalingByGroup) {
  // 2 × 2 positions of 2 points; point 1 is the same everywhere (sd 0).
  const std::vector<float> map{1, 7, 3, 7, 5, 7, 9, 7};
  const float sd = std::sqrt(2.0f);  // of 1 and 3 over sqrt(2), of 5 and 9 over sqrt(8)
  struct Case {
    const char* name;
    uint32_t mode;
    uint16_t centre;
    std::vector<uint16_t> included;
    uint16_t zero_excluded;
    uint32_t result;
    std::vector<float> expected;
  };
  const Case cases[] = {
      {"per map row, centred", 1, 1, {1, 1, 1, 1}, 0, 0, {-1 / sd, 0, 1 / sd, 0, -1 / sd, 0, 1 / sd, 0}},
      {"per map row, not centred", 1, 0, {1, 1, 1, 1}, 0, 0, {1 / sd, 0, 3 / sd, 0, 5 / std::sqrt(8.0f), 0,
                                                              9 / std::sqrt(8.0f), 0}},
      {"a map row with one included position", 1, 1, {1, 0, 1, 1}, 0, 4, map},
      {"the flag zeroes that map row", 1, 1, {1, 0, 1, 1}, 1, 0, {0, 0, 0, 0, -1 / sd, 0, 1 / sd, 0}},
      {"a map column with one included position", 2, 1, {1, 1, 0, 1}, 0, 5, map},
      {"one included position over the map", 0, 1, {1, 0, 0, 0}, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    GU3_HANDLE data = block_of(map);
    GU3_HANDLE positions = block_of(c.included);
    EXPECT_EQ(scale(AP4_MSG_MAP_VARIANCE_SCALE, data, positions, nullptr, 2, 2, 2, c.mode, c.zero_excluded,
                    c.centre),
              c.result)
        << c.name;
    const std::vector<float> got = entries_of<float>(data);
    for (size_t i = 0; i < map.size(); ++i) EXPECT_NEAR(got[i], c.expected[i], 1e-6) << c.name << " " << i;
    GU3_Free_MM(data);
    GU3_Free_MM(positions);
  }
}

TEST_F(PcaMap, PerSpectrumModesDropMissingPointsFromTheCallersMask) {
  // Two positions of four points; position 1 misses point 2.
  const std::vector<float> map{1, 2, 3, 6, 2, 4, kNaN, 8};
  for (uint16_t message : {AP4_MSG_MAP_MEAN_CENTER, AP4_MSG_MAP_VARIANCE_SCALE}) {
    GU3_HANDLE data = block_of(map);
    GU3_HANDLE points = block_of(std::vector<uint16_t>{1, 1, 1, 1});
    ASSERT_EQ(scale(message, data, nullptr, points, 1, 2, 4, 3, 0, 1), 0u) << message;
    EXPECT_EQ(entries_of<uint16_t>(points), (std::vector<uint16_t>{1, 1, 0, 1})) << message;
    const std::vector<float> got = entries_of<float>(data);
    // Position 0 over points 0, 1 and 3: mean 3, sd sqrt(7).
    const float sd = message == AP4_MSG_MAP_MEAN_CENTER ? 1.0f : std::sqrt(7.0f);
    EXPECT_NEAR(got[0], -2 / sd, 1e-6) << message;
    EXPECT_NEAR(got[2], 0 / sd, 1e-6) << message;
    EXPECT_TRUE(missing(got[6])) << message;
    GU3_Free_MM(data);
    GU3_Free_MM(points);
  }
  GU3_HANDLE data = block_of(map);
  GU3_HANDLE three = block_of(std::vector<uint16_t>{1, 1, 1});
  EXPECT_EQ(scale(AP4_MSG_MAP_MEAN_CENTER, data, nullptr, three, 1, 2, 4, 3, 0), 8u);
  EXPECT_EQ(scale(AP4_MSG_MAP_VARIANCE_SCALE, data, nullptr, three, 1, 2, 4, 3, 0), 9u);
  EXPECT_EQ(scale(AP4_MSG_MAP_MEAN_CENTER, data, three, nullptr, 1, 2, 4, 3, 0), 3u);
  EXPECT_EQ(scale(AP4_MSG_MAP_MEAN_CENTER, nullptr, nullptr, nullptr, 1, 2, 4, 3, 0), 1u);
  EXPECT_EQ(scale(AP4_MSG_MAP_MEAN_CENTER, data, nullptr, nullptr, 1, 2, 5, 3, 0), 1u);
  GU3_Free_MM(data);
  GU3_Free_MM(three);
}

}  // namespace
