#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <set>
#include <utility>

#include <gtest/gtest.h>

#include "array/array.h"
#include "core/core_fixture.h"
#include "spectrum/annotation_fixture.h"

namespace {

using namespace annotationtest;

uint32_t bits_of(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

float missing() { return AP1_GetNaNSG_MATH(); }

// The gain-type flag comes from a spectrum's gain: the stand-in spectrum's
// header holds the gain each case asks for.
class UnitConversion : public CoreTest {
 protected:
  void SetUp() override {
    install_standins();
    spectrum_.header = &header_;
  }
  void TearDown() override {
    AP1_SetGainType_MATH(nullptr);
    CoreTest::TearDown();
  }
  uint16_t use_gain(float gain) {
    header_.gain = gain;
    return AP1_SetGainType_MATH(&spectrum_);
  }

  StubHeader header_;
  StubSpectrum spectrum_;
};

// Expected values are the closed forms of the conversions:
// %T = 100 * 10^-A, A = -log10(%T / 100), f = (1 - R)^2 / 2R with R = %R / 100.
struct Case {
  const char* name;
  void (*convert)(float*);
  float gain;  // 1.0: the narrow limits; 5.156: the wide limits of the Combine forms
  float input;
  double expected;
};

std::ostream& operator<<(std::ostream& out, const Case& c) { return out << c.name; }

class YConversion : public UnitConversion, public testing::WithParamInterface<Case> {};

TEST_P(YConversion, GivesTheClosedFormOrTheLimitsValue) {
  const Case& c = GetParam();
  use_gain(c.gain);
  float value = c.input;
  c.convert(&value);
  EXPECT_NEAR(value, c.expected, std::fabs(c.expected) * 1e-6 + 1e-12);
}

const double kRemissionOfR5e5 = (1.0 - 5e-5) * (1.0 - 5e-5) / (2.0 * 5e-5);

INSTANTIATE_TEST_SUITE_P(
    Table, YConversion,
    testing::Values(Case{"FromAbsOne", AP1_FromAbs_MATH, 1.0f, 1.0f, 10.0},
                    Case{"FromAbsZero", AP1_FromAbs_MATH, 1.0f, 0.0f, 100.0},
                    Case{"FromAbsNegative", AP1_FromAbs_MATH, 1.0f, -1.0f, 1000.0},
                    Case{"FromAbsSixIsComputed", AP1_FromAbs_MATH, 1.0f, 6.0f, 1e-4},
                    Case{"FromAbsAboveSixClamps", AP1_FromAbs_MATH, 1.0f, 7.0f, 0.0001f},
                    Case{"FromAbsBelowMinusTwelveClamps", AP1_FromAbs_MATH, 1.0f, -13.0f, 100.0},
                    Case{"FromAbsCombineNarrow", AP1_FromAbsCombine_MATH, 1.0f, 7.0f, 0.0001f},
                    Case{"FromAbsCombineWideComputes", AP1_FromAbsCombine_MATH, 5.156f, 7.0f, 1e-5},
                    Case{"FromAbsCombineWideClamps", AP1_FromAbsCombine_MATH, 5.156f, 9.0f, 1e-6f},
                    Case{"FromAbsCombineWideLowEnd", AP1_FromAbsCombine_MATH, 5.156f, -13.0f, 100.0},
                    Case{"ToAbsTen", AP1_ToAbs_MATH, 1.0f, 10.0f, 1.0},
                    Case{"ToAbsHundred", AP1_ToAbs_MATH, 1.0f, 100.0f, 0.0},
                    Case{"ToAbsZeroClamps", AP1_ToAbs_MATH, 1.0f, 0.0f, 6.0},
                    Case{"ToAbsNegativeClamps", AP1_ToAbs_MATH, 1.0f, -5.0f, 6.0},
                    Case{"ToAbsBelowLimitClamps", AP1_ToAbs_MATH, 1.0f, 0.00005f, 6.0},
                    Case{"ToAbsCombineNarrow", AP1_ToAbsCombine_MATH, 1.0f, 0.00005f, 6.0},
                    Case{"ToAbsCombineWideComputes", AP1_ToAbsCombine_MATH, 5.156f, 0.00005f,
                         -std::log10(static_cast<double>(0.00005f) / 100.0)},
                    Case{"ToAbsCombineWideClamps", AP1_ToAbsCombine_MATH, 5.156f, 5e-7f, 8.0},
                    Case{"ToKMHalf", AP1_ToKM_MATH, 1.0f, 50.0f, 0.25},
                    Case{"ToKMAboveFullIsNegative", AP1_ToKM_MATH, 1.0f, 200.0f, -0.25},
                    Case{"ToKMFull", AP1_ToKM_MATH, 1.0f, 100.0f, 0.0},
                    Case{"ToKMZeroClamps", AP1_ToKM_MATH, 1.0f, 0.0f, 5000.0},
                    Case{"ToKMNegativeClamps", AP1_ToKM_MATH, 1.0f, -10.0f, 5000.0},
                    Case{"ToKMBelowLimitClamps", AP1_ToKM_MATH, 1.0f, 0.005f, 5000.0},
                    Case{"ToKMCombineNarrow", AP1_ToKMCombine_MATH, 1.0f, 0.005f, 5000.0},
                    Case{"ToKMCombineWideComputes", AP1_ToKMCombine_MATH, 5.156f, 0.005f, kRemissionOfR5e5},
                    Case{"ToKMCombineWideClamps", AP1_ToKMCombine_MATH, 5.156f, 5e-5f, 500000.0},
                    Case{"ToKMCombineWideZero", AP1_ToKMCombine_MATH, 5.156f, 0.0f, 500000.0},
                    Case{"FromKMQuarter", AP1_FromKM_MATH, 1.0f, 0.25f, 50.0},
                    Case{"FromKMNegativeQuarter", AP1_FromKM_MATH, 1.0f, -0.25f, 200.0},
                    Case{"FromKMZero", AP1_FromKM_MATH, 1.0f, 0.0f, 100.0},
                    Case{"FromKMHalf", AP1_FromKM_MATH, 1.0f, 0.5f, 100.0 * (1.5 - std::sqrt(1.25))},
                    // At the narrow limit itself the logarithm is taken: 2 - log10(0.0001) = 6.
                    Case{"ToAbsAtTheLimitIsComputed", AP1_ToAbs_MATH, 1.0f, 0.0001f,
                         2.0 - std::log10(static_cast<double>(0.0001f))},
                    Case{"FromAbsExpandComputes", AP1_FromAbsExpand_MATH, 1.0f, 7.0f, 1e-5},
                    Case{"FromAbsExpandEightIsComputed", AP1_FromAbsExpand_MATH, 1.0f, 8.0f, 1e-6},
                    Case{"FromAbsExpandClamps", AP1_FromAbsExpand_MATH, 1.0f, 9.0f, 1e-6f},
                    Case{"FromAbsExpandLowEnd", AP1_FromAbsExpand_MATH, 1.0f, -13.0f, 100.0},
                    Case{"FromAbsAbsoluteHasNoUpperLimit", AP1_FromAbsAbsolute_MATH, 1.0f, 9.0f, 1e-7},
                    Case{"FromAbsAbsoluteHasNoLowerLimit", AP1_FromAbsAbsolute_MATH, 1.0f, -13.0f, 1e15},
                    Case{"ToAbsExpandComputes", AP1_ToAbsExpand_MATH, 1.0f, 0.00005f,
                         -std::log10(static_cast<double>(0.00005f) / 100.0)},
                    Case{"ToAbsExpandClamps", AP1_ToAbsExpand_MATH, 1.0f, 5e-7f, 8.0},
                    Case{"ToAbsAbsoluteComputesAnyPositiveValue", AP1_ToAbsAbsolute_MATH, 1.0f, 1e-10f,
                         2.0 - std::log10(static_cast<double>(1e-10f))},
                    Case{"ToAbsAbsoluteNarrowAtZero", AP1_ToAbsAbsolute_MATH, 1.0f, 0.0f, 6.0},
                    Case{"ToAbsAbsoluteNarrowBelowZero", AP1_ToAbsAbsolute_MATH, 1.0f, -5.0f, 6.0},
                    Case{"ToAbsAbsoluteWideBelowZero", AP1_ToAbsAbsolute_MATH, 5.156f, -5.0f, 8.0},
                    Case{"ToKMExpandComputes", AP1_ToKMExpand_MATH, 1.0f, 0.005f, kRemissionOfR5e5},
                    Case{"ToKMExpandClamps", AP1_ToKMExpand_MATH, 1.0f, 5e-5f, 500000.0},
                    Case{"ToKMAbsoluteComputesTinyReflectance", AP1_ToKMAbsolute_MATH, 1.0f, 1e-12f,
                         (1.0 - 1e-14) * (1.0 - 1e-14) / (2.0 * static_cast<float>(1e-12f / 100.0))},
                    Case{"ToKMAbsoluteAtZero", AP1_ToKMAbsolute_MATH, 1.0f, 0.0f, 5000000136282112.0},
                    Case{"ToKMAbsoluteBelowZero", AP1_ToKMAbsolute_MATH, 1.0f, -3.0f, 5000000136282112.0},
                    Case{"ToKMAbsoluteAboveFullIsNegative", AP1_ToKMAbsolute_MATH, 1.0f, 200.0f, -0.25}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST_F(UnitConversion, AMissingValueAndANullAddressPassEveryConverterUntouched) {
  for (void (*convert)(float*) :
       {AP1_FromAbs_MATH, AP1_FromAbsExpand_MATH, AP1_FromAbsCombine_MATH, AP1_FromAbsAbsolute_MATH, AP1_ToAbs_MATH,
        AP1_ToAbsExpand_MATH, AP1_ToAbsCombine_MATH, AP1_ToAbsAbsolute_MATH, AP1_ToKM_MATH, AP1_ToKMExpand_MATH,
        AP1_ToKMCombine_MATH, AP1_ToKMAbsolute_MATH, AP1_FromKM_MATH}) {
    float value = missing();
    convert(&value);
    EXPECT_EQ(bits_of(value), AP_NAN_BITS);
    convert(nullptr);
  }
}

TEST_F(UnitConversion, AbsorbanceTurnsBackToTheTransmittanceItCameFrom) {
  using Pair = std::pair<void (*)(float*), void (*)(float*)>;
  for (Pair pair : {Pair{AP1_ToAbs_MATH, AP1_FromAbs_MATH}, Pair{AP1_ToAbsExpand_MATH, AP1_FromAbsExpand_MATH},
                    Pair{AP1_ToAbsAbsolute_MATH, AP1_FromAbsAbsolute_MATH}}) {
    for (float percent : {0.001f, 0.5f, 37.0f, 100.0f, 250.0f}) {
      float value = percent;
      pair.first(&value);
      pair.second(&value);
      EXPECT_NEAR(value, percent, percent * 1e-5) << percent;
    }
  }
}

TEST_F(UnitConversion, KubelkaMunkTurnsBackToTheReflectanceItCameFrom) {
  for (float percent : {0.5f, 12.0f, 50.0f, 99.0f, 150.0f}) {
    float value = percent;
    AP1_ToKM_MATH(&value);
    AP1_FromKM_MATH(&value);
    EXPECT_NEAR(value, percent, percent * 1e-4) << percent;
  }
  for (void (*to_km)(float*) : {AP1_ToKMExpand_MATH, AP1_ToKMAbsolute_MATH}) {
    float value = 0.02f;  // R = 2e-4, beyond the narrow limit only
    to_km(&value);
    AP1_FromKM_MATH(&value);
    EXPECT_NEAR(value, 0.02f, 0.02f * 1e-3);
  }
}

// ---------------------------------------------------------------------------
// Conversion between two units

struct UnitsCase {
  uint32_t from;
  uint32_t to;
  float value;
  double expected;
};

class NewUnits : public UnitConversion, public testing::WithParamInterface<UnitsCase> {};

TEST_P(NewUnits, GoesThroughPercent) {
  const UnitsCase& c = GetParam();
  EXPECT_NEAR(AP1_NewUnits_MATH(c.from, c.to, c.value), c.expected, std::fabs(c.expected) * 1e-6 + 1e-12)
      << c.from << " to " << c.to;
}

INSTANTIATE_TEST_SUITE_P(Table, NewUnits,
                         testing::Values(UnitsCase{23, 17, 0.5f, std::log10(2.0)},   // 50 %T
                                         UnitsCase{16, 16, 42.5f, 42.5},
                                         UnitsCase{17, 16, 1.0f, 10.0},
                                         UnitsCase{12, 21, 2.0f, 0.01},              // 1 %, as a fraction
                                         UnitsCase{16, 23, 50.0f, 0.5},
                                         UnitsCase{20, 17, 0.25f, std::log10(2.0)},  // 50 %R
                                         UnitsCase{17, 20, 1.0f, 0.9 * 0.9 / 0.2},   // 10 %, R = 0.1
                                         UnitsCase{26, 16, 7.0f, 7.0},               // photoacoustic: as it is
                                         UnitsCase{11, 16, 30.0f, 30.0},
                                         UnitsCase{16, 15, 30.0f, 30.0}));

TEST_F(UnitConversion, NewUnitsTakesTheNarrowLimitsWhateverTheGainType) {
  ASSERT_EQ(use_gain(5.156f), 1);
  EXPECT_FLOAT_EQ(AP1_NewUnits_MATH(17, 16, 7.0f), 0.0001f);
  EXPECT_FLOAT_EQ(AP1_NewUnits_MATH(16, 17, 0.00005f), 6.0f);
}

TEST_F(UnitConversion, NewUnitsKeepsAMissingValueMissing) {
  EXPECT_EQ(bits_of(AP1_NewUnits_MATH(17, 20, missing())), AP_NAN_BITS);
  EXPECT_EQ(bits_of(AP1_NewUnits_MATH(23, 21, missing())), AP_NAN_BITS);
}

// ---------------------------------------------------------------------------
// X units: wavelengths are scaled reciprocals of wavenumbers, energies a
// multiple (1 eV = 8065.8 cm-1).

struct XCase {
  bool to_wavenumbers;
  int16_t code;
  float input;
  double expected;
};

class XConversion : public testing::TestWithParam<XCase> {};

TEST_P(XConversion, GivesTheClosedForm) {
  const XCase& c = GetParam();
  float value = c.input;
  if (c.to_wavenumbers) AP1_ToWavenumbers_MATH(c.code, &value);
  else AP1_FromWavenumbers_MATH(c.code, &value);
  EXPECT_NEAR(value, c.expected, std::fabs(c.expected) * 1e-6) << (c.to_wavenumbers ? "to " : "from ") << c.code
                                                               << " of " << c.input;
}

INSTANTIATE_TEST_SUITE_P(Table, XConversion,
                         testing::Values(XCase{false, 3, 2000.0f, 5.0}, XCase{true, 3, 5.0f, 2000.0},
                                         XCase{false, 3, 0.0f, 1000.0}, XCase{true, 3, 0.0f, 40000.0},
                                         XCase{true, 3, -2.0f, 40000.0}, XCase{false, 4, 4000.0f, 2500.0},
                                         XCase{true, 4, 2500.0f, 4000.0}, XCase{false, 4, -1.0f, 1e6},
                                         XCase{true, 4, 0.0f, 40000.0}, XCase{false, 5, 8065.8f, 1.0},
                                         XCase{true, 5, 2.0f, 16131.6}, XCase{false, 5, -8065.8f, -1.0},
                                         XCase{false, 1, 1234.5f, 1234.5}, XCase{true, 2, 77.0f, 77.0},
                                         XCase{false, 6, 0.0f, 0.0}, XCase{true, 32, 512.0f, 512.0}));

TEST(XUnits, RoundTripsAndLeavesMissingValuesAlone) {
  for (int16_t code : {3, 4, 5}) {
    for (float wavenumber : {400.0f, 1234.5f, 15798.0f}) {
      float value = wavenumber;
      AP1_FromWavenumbers_MATH(code, &value);
      AP1_ToWavenumbers_MATH(code, &value);
      EXPECT_NEAR(value, wavenumber, wavenumber * 1e-6) << code;
    }
    float value = missing();
    AP1_FromWavenumbers_MATH(code, &value);
    AP1_ToWavenumbers_MATH(code, &value);
    EXPECT_EQ(bits_of(value), AP_NAN_BITS);
    AP1_FromWavenumbers_MATH(code, nullptr);
    AP1_ToWavenumbers_MATH(code, nullptr);
  }
}

TEST(YUnitClasses, FollowTheirCodeLists) {
  const std::set<int> peaks_down{11, 15, 16, 21, 23, 27};
  const std::set<int> taken_as_they_are{8, 9, 10, 12, 13, 14, 17, 18, 19, 22, 26, 31};
  for (int code = 0; code <= 40; ++code) {
    EXPECT_EQ(AP1_GetPeakDir_MATH(static_cast<uint16_t>(code)), peaks_down.count(code) ? 2 : 1) << code;
    EXPECT_EQ(AP1_GetConvertNeeded_MATH(static_cast<int16_t>(code)), taken_as_they_are.count(code) ? 0 : 1) << code;
    const uint16_t x_units = code == 10 ? 6 : code == 22 ? 2 : code == 31 ? 32 : 1;
    EXPECT_EQ(AP1_GetXUnits_MATH(static_cast<uint16_t>(code)), x_units) << code;
  }
}

// ---------------------------------------------------------------------------
// Gain type

struct GainCase {
  float gain;
  uint16_t flag;
};

class GainType : public UnitConversion, public testing::WithParamInterface<GainCase> {};

TEST_P(GainType, IsOneExactlyForAGainThatIsNotWhole) {
  EXPECT_EQ(use_gain(GetParam().gain), GetParam().flag) << GetParam().gain;
}

INSTANTIATE_TEST_SUITE_P(Table, GainType,
                         testing::Values(GainCase{0.0f, 0}, GainCase{2.0f, 0}, GainCase{10.0f, 0},
                                         GainCase{5.156f, 1}, GainCase{0.123f, 1}, GainCase{10.123f, 1},
                                         GainCase{std::numeric_limits<float>::quiet_NaN(), 0}));

TEST_F(UnitConversion, ASpectrumWithoutAReadableGainCountsAsGainOne) {
  ASSERT_EQ(use_gain(5.156f), 1);
  header_.readable = false;
  EXPECT_EQ(AP1_SetGainType_MATH(&spectrum_), 0);
  header_.readable = true;
  ASSERT_EQ(use_gain(5.156f), 1);
  spectrum_.header = nullptr;
  EXPECT_EQ(AP1_SetGainType_MATH(&spectrum_), 0);
}

TEST_F(UnitConversion, NoSpectrumResetsTheFlag) {
  ASSERT_EQ(use_gain(5.156f), 1);
  EXPECT_EQ(AP1_SetGainType_MATH(nullptr), 0);
  float value = 0.00005f;
  AP1_ToAbsCombine_MATH(&value);
  EXPECT_FLOAT_EQ(value, 6.0f) << "the narrow limits again";
}

}  // namespace
