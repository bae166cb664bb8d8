#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "chemometrics/chemometrics_fixture.h"
#include "spectrum/spectrum.h"

namespace {

using namespace chemtest;

// A stand-in for the outside package's method object. Message 439 answers
// the object itself with its kind, count and column flags; message 425
// answers an nr × nc ARRAY whose row 0 holds the spectrum's first nc Y
// values and whose further rows hold `rows_after`; a spectrum whose point 0
// holds -99 gets no result.
constexpr uint16_t kMethodClass = 202;
constexpr uint16_t kDescribe = 439;
constexpr uint16_t kEvaluate = 425;

struct FakeMethod {
  uint16_t class_id = kMethodClass;
  uint16_t kind = 0;
  uint16_t v = 0;
  std::vector<uint16_t> flags;
  uint32_t nc = 0;
  std::vector<std::vector<float>> rows_after;
  bool describe_fails = false;
  float parameter_seen = 0.0f;
  int evaluations = 0;
};

#pragma pack(push, 2)
struct DescribeBlock {
  uint16_t zero;
  uint16_t* kind;
  uint16_t* count;
  GU3_HANDLE* flags;
};
struct EvaluateBlock {
  AP7_SPECTRUM* spectrum;
  uint32_t* scratch;
  float parameter;
};
#pragma pack(pop)

uint32_t method_dispatcher(void* object, uint16_t message, void* parameter) {
  auto* method = static_cast<FakeMethod*>(object);
  if (message == kDescribe) {
    if (method->describe_fails) return 0;
    auto* block = static_cast<DescribeBlock*>(parameter);
    *block->kind = method->kind;
    *block->count = method->v;
    GU3_HANDLE flags = GU3_Allocate_MM(static_cast<uint32_t>(method->flags.size()), sizeof(uint16_t), GU3_KIND_GLOBAL);
    auto* to = static_cast<uint16_t*>(GU3_GetPointer_MM(flags, 0, nullptr, nullptr));
    for (size_t i = 0; i < method->flags.size(); ++i) to[i] = method->flags[i];
    *block->flags = flags;
    return ap_object_result(method);
  }
  if (message != kEvaluate) return 0;
  auto* block = static_cast<EvaluateBlock*>(parameter);
  ++method->evaluations;
  method->parameter_seen = block->parameter;
  const float* y = ap_result_object<float>(GU2_DoMethod_MSG(AP7_MSG_DATA_POINTER, block->spectrum, nullptr));
  if (y[0] == -99.0f) return 0;
  const auto nr = static_cast<uint32_t>(1 + method->rows_after.size());
  AP4_ARRAY* result = make(nr, method->nc);
  float* d = ap4a_GetDataAddress(result);
  for (uint32_t c = 0; c < method->nc; ++c) d[c] = y[c];
  for (uint32_t r = 1; r < nr; ++r)
    for (uint32_t c = 0; c < method->nc; ++c) d[r * method->nc + c] = method->rows_after[r - 1][c];
  return ap_object_result(result);
}

GU3_HANDLE block_of_floats(const std::vector<float>& values) {
  GU3_HANDLE block = GU3_Allocate_MM(static_cast<uint32_t>(values.size()), sizeof(float), GU3_KIND_GLOBAL);
  auto* to = static_cast<float*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
  for (size_t i = 0; i < values.size(); ++i) to[i] = values[i];
  return block;
}

std::vector<float> floats_of(GU3_HANDLE block) {
  const auto* from = static_cast<const float*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
  return std::vector<float>(from, from + GU3_NumElements_MM(block));
}

AP7_SPECTRUM* new_spectrum(uint32_t points) {
  uint16_t class_id = AP7_CLASS_ID;
  AP7_NEWPARM parameter{points, nullptr};
  return ap_result_object<AP7_SPECTRUM>(send(AP_MSG_NEW, &class_id, &parameter));
}

void destroy_object(void* object) {
  AP_WINDOWPARM window{nullptr, 0};
  send(AP_MSG_DESTROY, object, &window);
}

constexpr uint32_t kPoints = 4;

// 1 × 3 positions of 4 points: position p holds (a_p, b_p, c_p, d_p).
const std::vector<float> kMap{2, -1, 0.5f, 9, 1, 0, 7, 8, 0, 2, 1, 6};

class KxMap : public ChemometricsTest {
 protected:
  void SetUp() override {
    ChemometricsTest::SetUp();
    GU2_ImmedSetDispatcher(kMethodClass, method_dispatcher);
    receiver_ = make(1, 1);
    spectrum_ = new_spectrum(kPoints);
    data_ = block_of_floats(kMap);
  }
  void TearDown() override {
    if (result_ != nullptr) GU3_Free_MM(result_);
    GU3_Free_MM(data_);
    destroy_object(spectrum_);
    destroy(receiver_);
    ChemometricsTest::TearDown();
  }
  GU3_HANDLE run(void* spectrum, GU3_HANDLE mask = nullptr, GU3_HANDLE data = nullptr, uint32_t points = kPoints) {
    if (result_ != nullptr) GU3_Free_MM(result_);
    AP4_MAPKXPARM parameter{data != nullptr ? data : data_, mask, 1, 3, points, &method_, spectrum, 0.25f,
                            &description_, &per_position_, &error_};
    result_ = ap_result_object<GU3_DESCRIPTOR>(send(AP4_MSG_MAP_KX, receiver_, &parameter));
    return result_;
  }
  std::vector<float> position(uint32_t p) const {
    const std::vector<float> all = floats_of(result_);
    return std::vector<float>(all.begin() + p * method_.v, all.begin() + (p + 1) * method_.v);
  }
  AP4_ARRAY* receiver_ = nullptr;
  AP7_SPECTRUM* spectrum_ = nullptr;
  GU3_HANDLE data_ = nullptr;
  GU3_HANDLE result_ = nullptr;
  FakeMethod method_;
  void* description_ = reinterpret_cast<void*>(1);
  uint32_t per_position_ = 77;
  uint32_t error_ = 77;
};

void expect_values(const std::vector<float>& got, const std::vector<float>& expected, const char* name) {
  ASSERT_EQ(got.size(), expected.size()) << name;
  for (size_t i = 0; i < got.size(); ++i) {
    if (std::isnan(expected[i]))
      EXPECT_TRUE(missing(got[i])) << name << " " << i;
    else
      EXPECT_EQ(got[i], expected[i]) << name << " " << i;
  }
}

TEST_F(KxMap, FlaggedColumnsOfEachIncludedPositionAndZerosElsewhere) {
  method_ = FakeMethod{kMethodClass, 5, 2, {1, 0, 1}, 3, {}, false, 0.0f, 0};
  std::vector<float> map = kMap;
  map[2 * kPoints] = -99.0f;  // position 2 gets no result
  GU3_HANDLE data = block_of_floats(map);
  GU3_HANDLE mask = GU3_Allocate_MM(3, sizeof(uint16_t), GU3_KIND_GLOBAL);
  auto* entries = static_cast<uint16_t*>(GU3_GetPointer_MM(mask, 0, nullptr, nullptr));
  entries[0] = 1;
  entries[1] = 0;
  entries[2] = 1;
  ASSERT_NE(run(spectrum_, mask, data), nullptr) << error_;
  EXPECT_EQ(error_, 0u);
  EXPECT_EQ(description_, &method_);
  EXPECT_EQ(per_position_, 2u);
  EXPECT_EQ(method_.evaluations, 2);
  EXPECT_EQ(method_.parameter_seen, 0.25f);
  expect_values(position(0), {2, 0.5f}, "included");
  expect_values(position(1), {0, 0}, "excluded");
  expect_values(position(2), {0, 0}, "no result");
  GU3_Free_MM(mask);
  GU3_Free_MM(data);
}

TEST_F(KxMap, IndexedKindsReadTheirRowsByTheResultsOwnWidth) {
  const float nan = std::nanf("");
  struct Case {
    const char* name;
    uint16_t kind;
    uint32_t nc;
    std::vector<std::vector<float>> rows_after;
    std::vector<float> position0;  // spectrum (2, -1, 0.5, 9)
  };
  // v = 3 while the results are 2 wide: a row-1 value sits at nc + c.
  const Case cases[] = {
      {"66: row 0 indexes row 1; -1 names no slot", 66, 2, {{10, 20}}, {nan, nan, 10}},
      {"134: row 1 indexes row 0", 134, 2, {{1, 0}}, {-1, 2, nan}},
      {"128: row 2 indexes row 0", 128, 2, {{5, 5}, {2, 2.7f}}, {nan, nan, -1}},
      {"128 without a third row", 128, 2, {{0, 1}}, {nan, nan, nan}},
      {"67: the pair of row 1 and row 0", 67, 2, {{10, 20}}, {10, 2, 0}},
      {"67 without a second row", 67, 2, {}, {nan, nan, 0}},
  };
  for (const Case& c : cases) {
    method_ = FakeMethod{kMethodClass, c.kind, 3, {1, 1}, c.nc, c.rows_after, false, 0.0f, 0};
    ASSERT_NE(run(spectrum_), nullptr) << c.name;
    expect_values(position(0), c.position0, c.name);
  }
}

TEST_F(KxMap, ASpectralHeaderLendsItsHeaderToATemporarySpectrum) {
  method_ = FakeMethod{kMethodClass, 5, 1, {0, 1}, 2, {}, false, 0.0f, 0};
  AP41_SPECTRALHEADER* header = spectrum_->header;
  ASSERT_NE(run(header), nullptr) << error_;
  expect_values(floats_of(result_), {-1, 0, 2}, "through the header");
  EXPECT_EQ(spectrum_->header, header);
  const uint32_t points = header->data.points;  // a packed field: read by value
  EXPECT_EQ(points, kPoints);
}

TEST_F(KxMap, FailuresAnswerTheirCodeAndClearTheOuts) {
  method_ = FakeMethod{kMethodClass, 5, 1, {1}, 1, {}, false, 0.0f, 0};
  AP7_SPECTRUM* longer = new_spectrum(kPoints + 1);
  AP4_ARRAY* not_a_spectrum = make(1, kPoints);
  GU3_HANDLE two = GU3_Allocate_MM(2, sizeof(uint16_t), GU3_KIND_GLOBAL);
  GU3_HANDLE short_data = block_of_floats(std::vector<float>(11, 1.0f));
  struct Case {
    const char* name;
    void* spectrum;
    GU3_HANDLE mask;
    GU3_HANDLE data;
    uint32_t error;
  };
  const Case cases[] = {
      {"map block smaller than the map", spectrum_, nullptr, short_data, 1},
      {"position mask of the wrong count", spectrum_, two, nullptr, 3},
      {"no spectrum", nullptr, nullptr, nullptr, 4},
      {"an array for a spectrum", not_a_spectrum, nullptr, nullptr, 4},
      {"spectrum of another length", longer, nullptr, nullptr, 5},
      {"spectral header of another length", longer->header, nullptr, nullptr, 5},
  };
  for (const Case& c : cases) {
    description_ = reinterpret_cast<void*>(1);
    per_position_ = 0;
    EXPECT_EQ(run(c.spectrum, c.mask, c.data), nullptr) << c.name;
    EXPECT_EQ(error_, c.error) << c.name;
    EXPECT_EQ(description_, nullptr) << c.name;
    EXPECT_EQ(per_position_, 0xFFFFFFFFu) << c.name;
  }
  method_.describe_fails = true;
  EXPECT_EQ(run(spectrum_), nullptr);
  EXPECT_EQ(error_, 6u);
  method_ = FakeMethod{kMethodClass, 5, 0, {1}, 1, {}, false, 0.0f, 0};
  EXPECT_EQ(run(spectrum_), nullptr);
  EXPECT_EQ(error_, 6u);
  EXPECT_EQ(method_.evaluations, 0);
  destroy_object(longer);
  destroy(not_a_spectrum);
  GU3_Free_MM(two);
  GU3_Free_MM(short_data);
}

}  // namespace
