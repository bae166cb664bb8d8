// Spectral formula arithmetic (message 271): every operator, parentheses,
// constants, K, A, B and the prefixes, worked out point by point in the
// test; malformed formulas and formulas beyond the tables are refused
// without leaving spectra behind.
#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "processing/processing.h"
#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

const std::vector<float> kA = {1.0f, 2.0f, 4.0f, 8.0f, 16.0f};
const std::vector<float> kB = {3.0f, 5.0f, 7.0f, 9.0f, 11.0f};

class FormulaTest : public SpectrumTest {
 protected:
  void SetUp() override {
    SpectrumTest::SetUp();
    a_ = make_axis(0.0f, 4.0f, kA);
    b_ = make_axis(0.0f, 4.0f, kB);
  }

  void TearDown() override {
    destroy(a_);
    destroy(b_);
    SpectrumTest::TearDown();
  }

  // Message 271 to A; the result's values, or nothing for a null result.
  // The spectra alive afterwards are A, B and the result only.
  bool evaluate(const std::string& text, std::vector<float>& y, AP7_SPECTRUM* b, float* k) {
    const uint16_t live = spectrum_class().live;
    AP7_FORMULAPARM block{b, text.c_str(), k};
    AP7_SPECTRUM* result = ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_SPECTRAL_FORMULA, a_, &block));
    EXPECT_EQ(values(a_), kA) << text;
    EXPECT_EQ(values(b_), kB) << text;
    if (result == nullptr) {
      EXPECT_EQ(spectrum_class().live, live) << text;
      return false;
    }
    EXPECT_EQ(spectrum_class().live, live + 1) << text;
    y = values(result);
    destroy(result);
    return true;
  }

  bool evaluate(const std::string& text, std::vector<float>& y, float k = 2.0f) {
    return evaluate(text, y, b_, &k);
  }

  AP7_SPECTRUM* a_ = nullptr;
  AP7_SPECTRUM* b_ = nullptr;
};

using Pointwise = std::function<double(double a, double b)>;

TEST_F(FormulaTest, EveryOperatorConstantAndPrefixGivesThePointwiseValue) {
  struct Case {
    const char* formula;
    Pointwise expected;
  };
  const double k = 2.0;
  const Case cases[] = {
      {"A", [](double a, double) { return a; }},
      {"B", [](double, double b) { return b; }},
      {"A+B", [](double a, double b) { return a + b; }},
      {"A-B", [](double a, double b) { return a - b; }},
      {"A*B", [](double a, double b) { return a * b; }},
      {"A/B", [](double a, double b) { return a / b; }},
      {"A+3", [](double a, double) { return a + 3; }},
      {"3+A", [](double a, double) { return 3 + a; }},
      {"A-3", [](double a, double) { return a - 3; }},
      {"3-A", [](double a, double) { return 3 - a; }},
      {"A*3", [](double a, double) { return a * 3; }},
      {"3*A", [](double a, double) { return 3 * a; }},
      {"A/4", [](double a, double) { return a / 4; }},
      {"32/A", [](double a, double) { return 32 / a; }},
      {"-A", [](double a, double) { return -a; }},
      {"-3*A", [](double a, double) { return -3 * a; }},
      {"B*-3", [](double, double b) { return b * -3; }},
      {"K*A", [k](double a, double) { return k * a; }},
      {"A-K", [k](double a, double) { return a - k; }},
      {"-K+B", [k](double, double b) { return -k + b; }},
      {"(2)", [](double, double) { return 2; }},
      {"2", [](double, double) { return 2; }},
      {"LOG(-1)", [](double, double) { return NAN; }},
      {"2*3+A", [](double a, double) { return 6 + a; }},
      {"8/2-A", [](double a, double) { return 4 - a; }},
      {"1E-3*A", [](double a, double) { return 0.001 * a; }},
      {"1.5e+1-B", [](double, double b) { return 15 - b; }},
      {".5*A", [](double a, double) { return 0.5 * a; }},
      {"LOG(A)", [](double a, double) { return std::log10(a); }},
      {"EXP(A/16)", [](double a, double) { return std::pow(10.0, a / 16); }},
      {"SQRT(A)", [](double a, double) { return std::sqrt(a); }},
      {"LOG(100)+A", [](double a, double) { return 2 + a; }},
      {"SQRT(9)*A", [](double a, double) { return 3 * a; }},
      {"EXP(1)*A", [](double a, double) { return 10 * a; }},
      {"-LOG(B)", [](double, double b) { return -std::log10(b); }},
      {"SQRT(A)*SQRT(A)", [](double a, double) { return a; }},
      {" a + b ", [](double a, double b) { return a + b; }},
      {"log ( a )", [](double a, double) { return std::log10(a); }},
  };
  for (const Case& c : cases) {
    std::vector<float> y;
    ASSERT_TRUE(evaluate(c.formula, y)) << c.formula;
    ASSERT_EQ(y.size(), kA.size()) << c.formula;
    for (size_t i = 0; i < y.size(); ++i) {
      const double expected = c.expected(kA[i], kB[i]);
      if (std::isnan(expected)) {
        EXPECT_TRUE(ap1_is_missing(y[i])) << c.formula << " point " << i;
        continue;
      }
      EXPECT_NEAR(y[i], expected, 1e-5 * std::max(1.0, std::fabs(expected))) << c.formula << " point " << i;
    }
  }
}

TEST_F(FormulaTest, PrecedenceAndParenthesesOrderTheSteps) {
  struct Case {
    const char* formula;
    Pointwise expected;
  };
  const Case cases[] = {
      {"A+B*2", [](double a, double b) { return a + b * 2; }},
      {"(A+B)*2", [](double a, double b) { return (a + b) * 2; }},
      {"A-B-A", [](double a, double b) { return a - b - a; }},
      {"A-(B-A)", [](double a, double b) { return a - (b - a); }},
      {"A/B*B", [](double a, double) { return a; }},
      {"A/(B*B)", [](double a, double b) { return a / (b * b); }},
      {"-A*B", [](double a, double b) { return -a * b; }},
      {"-(A+B)", [](double a, double b) { return -(a + b); }},
      {"((A))", [](double a, double) { return a; }},
      {"(A+(B-(2*A)))/2", [](double a, double b) { return (a + (b - 2 * a)) / 2; }},
      {"A*(B+1)-(A-1)*B", [](double a, double b) { return a * (b + 1) - (a - 1) * b; }},
      {"SQRT(A*4)+LOG(B*10)", [](double a, double b) { return std::sqrt(a * 4) + std::log10(b * 10); }},
  };
  for (const Case& c : cases) {
    std::vector<float> y;
    ASSERT_TRUE(evaluate(c.formula, y)) << c.formula;
    for (size_t i = 0; i < y.size(); ++i) {
      const double expected = c.expected(kA[i], kB[i]);
      EXPECT_NEAR(y[i], expected, 1e-5 * std::max(1.0, std::fabs(expected))) << c.formula << " point " << i;
    }
  }
}

TEST_F(FormulaTest, DerivativePrefixesMatchTheDerivativeMessage) {
  AP7_SPECTRUM* first = ap7a_Derivative(a_, AP_NOT_GIVEN, AP_NOT_GIVEN);
  ASSERT_NE(first, nullptr);
  AP7_SPECTRUM* second = ap7a_Derivative(first, AP_NOT_GIVEN, AP_NOT_GIVEN);
  ASSERT_NE(second, nullptr);
  std::vector<float> y;
  ASSERT_TRUE(evaluate("DA", y));
  EXPECT_EQ(y, values(first));
  ASSERT_TRUE(evaluate("DDA", y));
  EXPECT_EQ(y, values(second));
  ASSERT_TRUE(evaluate("2*DB", y));
  destroy(first);
  destroy(second);
}

TEST_F(FormulaTest, DomainsOfLogAndSqrtLeaveMissingPoints) {
  std::vector<float> y;
  // A - 2 = -1, 0, 2, 6, 14.
  ASSERT_TRUE(evaluate("LOG(A-2)", y));
  EXPECT_TRUE(ap1_is_missing(y[0]));
  EXPECT_TRUE(ap1_is_missing(y[1]));
  EXPECT_FLOAT_EQ(y[2], std::log10(2.0f));
  ASSERT_TRUE(evaluate("SQRT(A-2)", y));
  EXPECT_TRUE(ap1_is_missing(y[0]));
  EXPECT_EQ(y[1], 0.0f);
  EXPECT_FLOAT_EQ(y[4], std::sqrt(14.0f));
}

TEST_F(FormulaTest, AddingTakesTheOtherValueWhereOneIsMissing) {
  const float missing = AP1_GetNaNSG_MATH();
  AP7_SPECTRUM* gapped = make_axis(0.0f, 4.0f, {1.0f, missing, 3.0f, missing, 5.0f});
  AP7_SPECTRUM* other = make_axis(0.0f, 4.0f, {10.0f, 20.0f, missing, missing, 50.0f});
  AP7_FORMULAPARM block{other, "A+B", nullptr};
  AP7_SPECTRUM* sum = ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_SPECTRAL_FORMULA, gapped, &block));
  ASSERT_NE(sum, nullptr);
  const std::vector<float> y = values(sum);
  EXPECT_EQ(y[0], 11.0f);
  EXPECT_EQ(y[1], 20.0f);
  EXPECT_EQ(y[2], 3.0f);
  EXPECT_TRUE(ap1_is_missing(y[3]));
  EXPECT_EQ(y[4], 55.0f);
  for (AP7_SPECTRUM* spectrum : {sum, gapped, other}) destroy(spectrum);
}

TEST_F(FormulaTest, KIsMissingAfterAFormulaWithoutItAndRequiredByOneWithIt) {
  std::vector<float> y;
  float k = 3.0f;
  ASSERT_TRUE(evaluate("A+1", y, b_, &k));
  EXPECT_TRUE(ap1_is_missing(k));
  EXPECT_FALSE(evaluate("K*A", y, b_, &k));
  EXPECT_FALSE(evaluate("k*A", y, b_, nullptr));
  k = 3.0f;
  ASSERT_TRUE(evaluate("k*A", y, b_, &k));
  EXPECT_EQ(k, 3.0f);
  EXPECT_EQ(y[4], 48.0f);
  ASSERT_TRUE(evaluate("A", y, nullptr, nullptr));
}

TEST_F(FormulaTest, MalformedFormulasAreRefused) {
  const char* const formulas[] = {
      "",        "   ",      "2*3",   "A+",     "+A",      "*A",      "A*/B",    "()",      "(A",    "A)",
      ")A(",     "(A)(B)",   "AB",    "AA",     "2A",      "A2",      "A(B)",    "2(A)",    "DX",    "D",
      "DD",      "DDDA",     "D2",    "L",      "LOG",     "LOG()",   "LOG0*A",  "LOG-1+A", "SQRT-4*A", "2/0",
      "A/0",     "A%B",      "A=B",   "C",      "A+-",     "--A",     "-",       "A-*B",    "1E999*A", "A LOG",
      "2EXP(A)", "DLOG(A)",  "(A)2",  "K(A)",
  };
  for (const char* formula : formulas) {
    std::vector<float> y;
    EXPECT_FALSE(evaluate(formula, y)) << '"' << formula << '"';
  }
  std::vector<float> y;
  EXPECT_FALSE(evaluate("A+B", y, nullptr, nullptr));
  EXPECT_FALSE(evaluate("DB", y, nullptr, nullptr));
}

TEST_F(FormulaTest, BadObjectsAreRefused) {
  float k = 1.0f;
  AP48_TEXT* text = new_text("B");
  AP7_FORMULAPARM not_b{reinterpret_cast<AP7_SPECTRUM*>(text), "A", &k};
  EXPECT_EQ(send(AP7_MSG_SPECTRAL_FORMULA, a_, &not_b), 0u);
  AP7_FORMULAPARM no_text{b_, nullptr, &k};
  EXPECT_EQ(send(AP7_MSG_SPECTRAL_FORMULA, a_, &no_text), 0u);
  EXPECT_EQ(ap7c_ParseSpectralFormula(reinterpret_cast<AP7_SPECTRUM*>(text), b_, "A", &k), nullptr);
  destroy(text);
}

// The text may be long: blanks and long numbers do not count against any
// buffer, only tokens do (32), and the spectra a formula needs (16).
TEST_F(FormulaTest, LengthIsBoundOnlyByTheTables) {
  std::vector<float> y;
  ASSERT_TRUE(evaluate(std::string(500, ' ') + "A" + std::string(500, ' '), y));
  EXPECT_EQ(y, kA);
  ASSERT_TRUE(evaluate("A+" + std::string(200, '0') + "1." + std::string(200, '0'), y));
  EXPECT_EQ(y[0], 2.0f);

  // A and 16 terms need 31 tokens and 15 intermediate sums: the table is
  // full with B given, and has room without it.
  std::string sum = "A";
  for (int i = 0; i < 15; ++i) sum += "+A";
  EXPECT_FALSE(evaluate(sum, y));
  ASSERT_TRUE(evaluate(sum, y, nullptr, nullptr));
  EXPECT_EQ(y[4], 256.0f);
  // 33 tokens.
  EXPECT_FALSE(evaluate(sum + "+A", y, nullptr, nullptr));
  // Each difference of spectra needs two intermediates.
  std::string differences = "A";
  for (int i = 0; i < 8; ++i) differences += "-A";
  EXPECT_FALSE(evaluate(differences, y));
  // Tokens made by one character (DD and the operand) count too.
  std::string many = "A";
  for (int i = 0; i < 14; ++i) many += "+1";
  EXPECT_TRUE(evaluate(many + "+A", y, nullptr, nullptr));
  EXPECT_FALSE(evaluate(many + "+DDA", y, nullptr, nullptr));
}

// The parser's own table operations.
TEST(FormulaTokens, RemovingTokensShiftsTheRestDownAndClearsTheTail) {
  AP7C_FORMULA formula{};
  for (uint16_t token : {64, 1, 65, 3, 32}) formula.tokens[formula.token_count++] = token;
  ap7c_RemoveTokens(&formula, 1, 2);
  EXPECT_EQ(formula.token_count, 3u);
  EXPECT_EQ(formula.tokens[0], 64);
  EXPECT_EQ(formula.tokens[1], 3);
  EXPECT_EQ(formula.tokens[2], 32);
  EXPECT_EQ(formula.tokens[3], 0);
  EXPECT_EQ(formula.tokens[4], 0);
  ap7c_RemoveTokens(&formula, 2, 10);
  EXPECT_EQ(formula.token_count, 2u);
  ap7c_RemoveTokens(&formula, 5, 1);
  EXPECT_EQ(formula.token_count, 2u);
  EXPECT_EQ(ap7c_EvaluateTokens(&formula, 1, 5), 0u);
  EXPECT_EQ(ap7c_EvaluateTokens(&formula, 0, 0), 0u);
}

}  // namespace
