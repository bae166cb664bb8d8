#include <cfloat>
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "array/array.h"
#include "util/util.h"

namespace {

struct ResolutionCase {
  const char* name;
  float ssp;
  int32_t points;
  int16_t computed;
  float resolution;
};

// Powers of two take the 16-bit whole part of 2097152 / ssp / points over
// 64; other counts 15798 / (points × ssp / 2).
const ResolutionCase kResolutionCases[] = {
    {"PowerOfTwo", 2.0f, 4096, 1, 4.0f},
    {"PowerOfTwoKeepsWholeSixtyFourths", 1.0f, 16384, 1, 2.0f},
    {"SmallestPowerOfTwo", 2.0f, 64, 1, 256.0f},
    {"OtherCount", 2.0f, 4000, 1, static_cast<float>(15798.0 / 4000.0)},
    {"BelowSixtyFour", 2.0f, 10, 1, static_cast<float>(15798.0 / 10.0)},
    {"NoPoints", 2.0f, 0, 0, 0.0f},
    {"ZeroSpacing", 0.0f, 4096, 0, 0.0f},
    {"DenormalSpacing", FLT_MIN / 2, 4096, 0, 0.0f},
    {"MissingSpacing", AP1_GetNaNSG_MATH(), 4096, 0, 0.0f},
};

class Resolution : public testing::TestWithParam<ResolutionCase> {};

TEST_P(Resolution, ComesFromSpacingAndPoints) {
  const ResolutionCase& c = GetParam();
  float resolution = -1.0f;
  EXPECT_EQ(AP1_GetResolution_MATH(c.ssp, c.points, &resolution, nullptr), c.computed);
  EXPECT_FLOAT_EQ(resolution, c.resolution);
}

INSTANTIATE_TEST_SUITE_P(Cases, Resolution, testing::ValuesIn(kResolutionCases),
                         [](const testing::TestParamInfo<ResolutionCase>& info) { return info.param.name; });

// The decimal character is process-wide: each test puts it back.
class ResolutionText : public testing::Test {
 protected:
  void TearDown() override { GUX_SetInternationalChar('.', GUX_DECIMAL); }
};

TEST_F(ResolutionText, IsWrittenWithThreeDecimalsInTheLibrarysDecimalCharacter) {
  char text[AP1_RESOLUTION_TEXT_SIZE];
  ASSERT_EQ(GUX_SetInternationalChar(',', GUX_DECIMAL), 1);
  EXPECT_EQ(AP1_GetResolution_MATH(2.0f, 4096, nullptr, text), 1);
  EXPECT_EQ(std::string(text), " 4,000");
}

TEST_F(ResolutionText, IsWrittenOnFailureToo) {
  char text[AP1_RESOLUTION_TEXT_SIZE];
  EXPECT_EQ(AP1_GetResolution_MATH(0.0f, 4096, nullptr, text), 0);
  EXPECT_EQ(std::string(text), " 0.000");
}

TEST_F(ResolutionText, HoldsTheLargestFiniteResolution) {
  char text[AP1_RESOLUTION_TEXT_SIZE];
  float resolution = 0.0f;
  EXPECT_EQ(AP1_GetResolution_MATH(2e-34f, 1, &resolution, text), 1);
  EXPECT_GT(resolution, 1e38f);
  EXPECT_FALSE(std::isinf(resolution));
  EXPECT_EQ(std::string(text).size(), 43u) << "39 digits, the point and 3 decimals";
}

}  // namespace
