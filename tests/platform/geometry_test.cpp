#include "platform/geometry.h"

#include <gtest/gtest.h>

TEST(Rect, ContainsHalfOpen) {
  const CRect r(10, 20, 30, 40);
  EXPECT_TRUE(r.PtInRect({10, 20}));
  EXPECT_TRUE(r.PtInRect({29, 39}));
  EXPECT_FALSE(r.PtInRect({30, 25}));
  EXPECT_FALSE(r.PtInRect({15, 40}));
  EXPECT_FALSE(r.PtInRect({9, 25}));
}

TEST(Rect, EmptinessAndNormalise) {
  EXPECT_TRUE(CRect(0, 0, 0, 5).IsRectEmpty());
  EXPECT_TRUE(CRect(5, 0, 1, 5).IsRectEmpty());
  CRect r(5, 8, 1, 2);
  r.NormalizeRect();
  EXPECT_EQ(r, CRect(1, 2, 5, 8));
  EXPECT_FALSE(r.IsRectEmpty());
  EXPECT_EQ(r.Width(), 4);
  EXPECT_EQ(r.CenterPoint(), CPoint(3, 5));
}

TEST(Rect, IntersectAndUnion) {
  CRect r;
  EXPECT_TRUE(r.IntersectRect({0, 0, 10, 10}, {5, 5, 20, 20}));
  EXPECT_EQ(r, CRect(5, 5, 10, 10));
  // Touching edges share no point: the result is empty and zeroed.
  EXPECT_FALSE(r.IntersectRect({0, 0, 10, 10}, {10, 0, 20, 10}));
  EXPECT_TRUE(r.IsRectNull());
  EXPECT_TRUE(r.UnionRect({0, 0, 2, 2}, {5, 5, 6, 7}));
  EXPECT_EQ(r, CRect(0, 0, 6, 7));
  // An empty operand does not stretch the union to the origin.
  EXPECT_TRUE(r.UnionRect({}, {5, 5, 6, 7}));
  EXPECT_EQ(r, CRect(5, 5, 6, 7));
  r.InflateRect(1, 2);
  EXPECT_EQ(r, CRect(4, 3, 7, 9));
  r.OffsetRect(-4, -3);
  EXPECT_EQ(r, CRect(0, 0, 3, 6));
}
