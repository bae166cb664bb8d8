// Fixtures for the DATAPAIR class's tests: lists made through the class's
// messages from literal points, and the points read back.
#pragma once
#include <ostream>
#include <vector>

#include <gtest/gtest.h>

#include "array/array_fixture.h"

namespace pairtest {

using arraytest::send;

struct Point {
  uint16_t tag;
  float x;
  float y;
  bool operator==(const Point& other) const { return tag == other.tag && x == other.x && y == other.y; }
};

inline std::ostream& operator<<(std::ostream& out, const Point& p) {
  return out << "(" << p.tag << ", " << p.x << ", " << p.y << ")";
}

inline AP9_DATAPAIR* make(uint32_t count) {
  uint16_t class_id = AP9_CLASS_ID;
  AP9_NEWPARM parameter{count, nullptr};
  return ap_result_object<AP9_DATAPAIR>(send(AP_MSG_NEW, &class_id, &parameter));
}

inline uint32_t set(AP9_DATAPAIR* pairs, uint32_t index, const Point& p) {
  AP9_SETPARM parameter{index, p.tag, p.x, p.y};
  return send(AP9_MSG_SET_PAIR, pairs, &parameter);
}

inline AP9_DATAPAIR* make_of(const std::vector<Point>& points) {
  AP9_DATAPAIR* pairs = make(static_cast<uint32_t>(points.size()));
  for (size_t i = 0; i < points.size(); ++i) set(pairs, static_cast<uint32_t>(i), points[i]);
  return pairs;
}

// Points (0, x, y) from parallel lists.
template <typename T>
AP9_DATAPAIR* make_xy(const T* x, const T* y, uint32_t count) {
  std::vector<Point> points;
  for (uint32_t i = 0; i < count; ++i) points.push_back(Point{0, static_cast<float>(x[i]), static_cast<float>(y[i])});
  return make_of(points);
}

inline std::vector<Point> points_of(AP9_DATAPAIR* pairs) {
  std::vector<Point> points(send(AP9_MSG_GET_COUNT, pairs));
  for (uint32_t i = 0; i < points.size(); ++i) {
    AP9_GETPARM parameter{i, &points[i].tag, &points[i].x, &points[i].y};
    EXPECT_EQ(send(AP9_MSG_GET_PAIR, pairs, &parameter), 1u);
  }
  return points;
}

inline uint32_t destroy_pairs(AP9_DATAPAIR* pairs) {
  AP_WINDOWPARM parameter{nullptr, 0};
  return send(AP_MSG_DESTROY, pairs, &parameter);
}

inline const APX_CLASSREC& pair_class() { return APX_GetClassTable()->classes[AP9_CLASS_ID]; }

}  // namespace pairtest
