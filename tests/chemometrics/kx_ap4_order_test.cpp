// Ordering of calibration standards on a small candidate list worked by
// hand, its progress texts and stop request, and the designs drawn before
// ordering: factorial, one component at a time, and random designs that are
// reproducible from their seed and keep their constraints.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "chemometrics/chemometrics_fixture.h"

namespace {

using namespace chemtest;

// Notices seen through the record, and a stop requested at a given text.
struct Watcher {
  KX_AP4_PROGRESS record{};
  std::vector<std::string> texts;
  std::string stop_at;
};

int16_t watch(KX_AP4_PROGRESS* record) {
  auto* watcher = reinterpret_cast<Watcher*>(record);
  watcher->texts.emplace_back(record->text);
  if (!watcher->stop_at.empty() && watcher->texts.back() == watcher->stop_at) record->state = KX_AP4_PROGRESS_STOPPED;
  return 1;
}

class OrderRows : public ChemometricsTest {
 protected:
  struct Result {
    uint32_t answer = 0;
    AP4_ARRAY* s1 = nullptr;
    AP4_ARRAY* s2 = nullptr;
    ~Result() {
      if (s1 != nullptr) destroy(s1);
      if (s2 != nullptr) destroy(s2);
    }
  };
  static void order(AP4_ARRAY* x, int32_t ncal, int32_t nval, Result& out, AP4_ARRAY* ranges = nullptr,
                    float weight = 1.0f, KX_AP4_PROGRESS* record = nullptr) {
    KX_AP4_ORDERROWSPARM parameter{0, x->columns, ncal, nval, ranges, weight, &out.s1, &out.s2, record};
    out.answer = send(KX_AP4_MSG_ORDER_ROWS, x, &parameter);
  }
  // Eleven candidates of one component at 0 .. 10.
  static AP4_ARRAY* candidates() { return array_of(1, 11, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}); }
  static AP4_ARRAY* column(AP4_ARRAY* row) {
    AP4_ARRAY* t = ap4a_Transpose(row);
    destroy(row);
    return t;
  }
};

// By hand: 5 is nearest the mean; the band selection then takes 0 (the
// group at 25 before 10, whose sum is not larger), then 10 (the last new
// group); the validation standard is 8 (a minimum of 4 with the largest
// sum, 77, among the group at 4).
TEST_F(OrderRows, CalibrationThenValidationStandards) {
  AP4_ARRAY* x = column(candidates());
  Result out;
  order(x, 3, 1, out);
  ASSERT_EQ(out.answer, 1u);
  EXPECT_EQ(values(out.s1), (std::vector<float>{5, 0, 10}));
  EXPECT_EQ(values(out.s2), (std::vector<float>{8}));
  EXPECT_EQ(values(x), (std::vector<float>{5, 0, 10, 8, 4, 1, 6, 7, 3, 9, 2}));
  // A mirror weight outside (0.5, 1] is 1: the same choice with ranges.
  AP4_ARRAY* again = column(candidates());
  AP4_ARRAY* ranges = array_of(1, 2, {0, 10});
  Result mirrored;
  order(again, 3, 1, mirrored, ranges, 0.4f);
  EXPECT_EQ(values(mirrored.s1), values(out.s1));
  EXPECT_EQ(values(mirrored.s2), values(out.s2));
  for (AP4_ARRAY* a : {x, again, ranges}) destroy(a);
}

TEST_F(OrderRows, OneStandardIsTheCandidateNearestTheMean) {
  AP4_ARRAY* x = array_of(4, 1, {1, 9, 4, 5});
  Result out;
  order(x, 1, 0, out);
  ASSERT_EQ(out.answer, 1u);
  EXPECT_EQ(values(out.s1), (std::vector<float>{5}));
  EXPECT_EQ(out.s2, nullptr);
  EXPECT_EQ(values(x), (std::vector<float>{5, 9, 4, 1}));
  destroy(x);
}

TEST_F(OrderRows, RefusalsKeepTheCallersSets) {
  AP4_ARRAY* x = column(candidates());
  AP4_ARRAY* wrong_width = make_filled(1, 2);
  struct Case {
    const char* what;
    int32_t ncal;
    int32_t nval;
    AP4_ARRAY* s1;
  };
  const Case cases[] = {
      {"nothing to start from", 0, 2, nullptr},
      {"more standards than candidates", 10, 2, nullptr},
      {"a set of other columns", 1, 0, wrong_width},
  };
  for (const Case& c : cases) {
    Result out;
    out.s1 = c.s1;
    order(x, c.ncal, c.nval, out);
    EXPECT_EQ(out.answer, 0u) << c.what;
    EXPECT_EQ(out.s1, c.s1) << c.what;
    out.s1 = nullptr;
  }
  EXPECT_EQ(values(x), (std::vector<float>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  destroy(x);
  destroy(wrong_width);
}

TEST_F(OrderRows, ProgressTextsAndAStopRequest) {
  const char* caller_text = "caller's own";
  struct Case {
    const char* what;
    std::string stop_at;
    std::vector<std::string> texts;
    std::vector<float> s1;
  };
  const Case cases[] = {
      {"to the end", "", {"   1 / 4", "   2 / 4", "   3 / 4", "   4 / 4", "   4 / 4"}, {5, 0, 10}},
      {"stopped before the second standard", "   2 / 4", {"   1 / 4", "   2 / 4"}, {5}},
  };
  for (const Case& c : cases) {
    AP4_ARRAY* x = column(candidates());
    Watcher watcher;
    watcher.record.state = KX_AP4_PROGRESS_RUNNING;
    watcher.record.text = caller_text;
    watcher.record.notify = watch;
    watcher.stop_at = c.stop_at;
    Result out;
    order(x, 3, 1, out, nullptr, 1.0f, &watcher.record);
    EXPECT_EQ(out.answer, 1u) << c.what;
    EXPECT_EQ(watcher.texts, c.texts) << c.what;
    EXPECT_EQ(values(out.s1), c.s1) << c.what;
    EXPECT_EQ(watcher.record.state, KX_AP4_PROGRESS_STOPPED) << c.what;
    EXPECT_EQ(watcher.record.result, 1u) << c.what;
    // The text the routine showed was its own; the caller's comes back.
    EXPECT_EQ(watcher.record.text, caller_text) << c.what;
    destroy(x);
  }
}

class DrawAndOrder : public ChemometricsTest {
 protected:
  struct Draw {
    int32_t method = 0;
    int32_t points = -6;
    int32_t components = 2;
    int32_t extra = 0;
    int32_t ncal = 0;
    int32_t nval = 0;
    float weight = 1.0f;
    int32_t constraint = 0;
    float target = 0;
    int32_t shape = 0;
    int32_t seed = 17;
  };
  struct Result {
    uint32_t answer = 0;
    int32_t ncal = 0;
    int32_t nval = 0;
    AP4_ARRAY* s1 = nullptr;
    AP4_ARRAY* s2 = nullptr;
    AP4_ARRAY* design = nullptr;
    ~Result() {
      for (AP4_ARRAY* a : {s1, s2, design})
        if (a != nullptr) destroy(a);
    }
  };
  static void draw(AP4_ARRAY* ranges, const Draw& d, Result& out) {
    out.ncal = d.ncal;
    out.nval = d.nval;
    KX_AP4_DRAWPARM parameter{ranges,   d.method,     d.points,   d.components, d.extra, &out.ncal,
                              &out.nval, d.weight,    d.constraint, d.target,   d.shape, d.seed,
                              &out.s1,  &out.s2,      &out.design, nullptr};
    AP4_ARRAY* receiver = make(1, 1);
    out.answer = send(KX_AP4_MSG_DRAW_AND_ORDER, receiver, &parameter);
    destroy(receiver);
  }
};

TEST_F(DrawAndOrder, FactorialDesignWithItsCentrePoint) {
  AP4_ARRAY* ranges = array_of(2, 2, {0, 10, 20, 40});
  Draw d;
  d.method = KX_AP4_DESIGN_FACTORIAL;
  d.points = -3;
  d.extra = 1;
  Result out;
  draw(ranges, d, out);
  ASSERT_EQ(out.answer, 1u);
  ASSERT_NE(out.design, nullptr);
  EXPECT_EQ(values(out.design), (std::vector<float>{5, 30, 1, 10, 40, 1, 0, 40, 1, 10, 20, 1, 0, 20, 1}));
  destroy(ranges);
}

TEST_F(DrawAndOrder, OneComponentAtATime) {
  AP4_ARRAY* ranges = array_of(3, 2, {0, 10, 4, 2, 5, 5});
  Draw d;
  d.method = KX_AP4_DESIGN_ONE_AT_A_TIME;
  d.points = 5;
  d.components = 3;
  Result out;
  draw(ranges, d, out);
  ASSERT_EQ(out.answer, 1u);
  EXPECT_EQ(out.ncal, 6);
  EXPECT_EQ(out.nval, 3);
  EXPECT_EQ(values(out.s1),
            (std::vector<float>{10, 0, 0, 1, 0, 0, 0, 4, 0, 0, 2, 0, 0, 0, 5, 0, 0, 0.5f}));
  EXPECT_EQ(values(out.s2), (std::vector<float>{5, 0, 0, 0, 3, 0, 0, 0, 2.5f}));
  destroy(ranges);
}

TEST_F(DrawAndOrder, RandomDesignsComeBackFromTheirSeed) {
  AP4_ARRAY* ranges = array_of(2, 2, {0, 1, 10, 20});
  Draw d;
  Result first;
  Result second;
  Result other;
  draw(ranges, d, first);
  draw(ranges, d, second);
  d.seed = 18;
  draw(ranges, d, other);
  ASSERT_EQ(first.answer, 1u);
  ASSERT_NE(first.design, nullptr);
  EXPECT_EQ(values(first.design), values(second.design));
  EXPECT_NE(values(first.design), values(other.design));
  // Row 0 is the mean of the drawn rows, which lie in their ranges.
  const Dense design = dense(first.design);
  for (uint32_t c = 0; c < 2; ++c) {
    double sum = 0;
    for (uint32_t r = 1; r < design.rows; ++r) {
      sum += design.at(r, c);
      EXPECT_GE(design.at(r, c), c == 0 ? 0.0 : 10.0);
      EXPECT_LE(design.at(r, c), c == 0 ? 1.0 : 20.0);
    }
    EXPECT_NEAR(design.at(0, c), sum / 5, 1e-5);
  }
  // A positive count keeps the design to itself.
  d.points = 6;
  Result kept;
  draw(ranges, d, kept);
  EXPECT_EQ(kept.answer, 1u);
  EXPECT_EQ(kept.design, nullptr);
  destroy(ranges);
}

TEST_F(DrawAndOrder, ConstraintsHoldOrFail) {
  AP4_ARRAY* ranges = array_of(2, 2, {0, 2, 0, 2});
  struct Case {
    const char* what;
    int32_t constraint;
    float target;
    uint32_t answer;
  };
  const Case cases[] = {
      {"rows scaled to the target sum", 1, 2.0f, 1},
      {"rows at most the target", 3, 1.0f, 1},
      {"rows at least the target", 4, 3.0f, 1},
      {"the widest component makes up the target", 2, 2.0f, 1},
      {"a target at the low end", 3, 0.0f, 0},
      {"a constraint not defined", 5, 1.0f, 0},
      // Nearly every row is drawn again: the cap ends the drawing.
      {"a target hardly ever reached", 4, 3.9999995f, 0},
  };
  for (const Case& c : cases) {
    Draw d;
    d.constraint = c.constraint;
    d.target = c.target;
    Result out;
    draw(ranges, d, out);
    EXPECT_EQ(out.answer, c.answer) << c.what;
    if (c.answer == 0) {
      EXPECT_EQ(out.design, nullptr) << c.what;
      continue;
    }
    const Dense design = dense(out.design);
    for (uint32_t r = 1; r < design.rows; ++r) {
      const double sum = design.at(r, 0) + design.at(r, 1);
      if (c.constraint == 1 || c.constraint == 2) {
        EXPECT_NEAR(sum, c.target, 1e-5) << c.what;
      } else if (c.constraint == 3) {
        EXPECT_LE(sum, c.target) << c.what;
      } else {
        EXPECT_GE(sum, c.target) << c.what;
      }
    }
  }
  destroy(ranges);
}

TEST_F(DrawAndOrder, ADrawnDesignIsOrderedIntoTheSets) {
  AP4_ARRAY* ranges = array_of(2, 2, {0, 1, 0, 1});
  for (int32_t method : {KX_AP4_DESIGN_RANDOM, KX_AP4_DESIGN_NORMAL, KX_AP4_DESIGN_FACTORIAL}) {
    Draw d;
    d.method = method;
    d.points = -9;
    d.ncal = 3;
    d.nval = 2;
    Result out;
    draw(ranges, d, out);
    ASSERT_EQ(out.answer, 1u) << method;
    EXPECT_EQ(packed(out.s1->rows), 3u) << method;
    EXPECT_EQ(packed(out.s2->rows), 2u) << method;
    // The chosen standards lead the handed-back design.
    const std::vector<float> design = values(out.design);
    const std::vector<float> s1 = values(out.s1);
    EXPECT_EQ(std::vector<float>(design.begin(), design.begin() + 6), s1) << method;
  }
  // With a calibration set already there the factorial design is drawn at
  // random and extends it.
  Draw d;
  d.method = KX_AP4_DESIGN_FACTORIAL;
  d.ncal = 1;
  Result out;
  out.s1 = array_of(1, 2, {0.5f, 0.5f});
  draw(ranges, d, out);
  ASSERT_EQ(out.answer, 1u);
  EXPECT_EQ(packed(out.s1->rows), 2u);
  EXPECT_EQ(packed(out.design->rows), 6u);
  destroy(ranges);
}

}  // namespace
