#include "common/variant.h"

#include <gtest/gtest.h>

#include "common/error.h"

namespace qor {
namespace {

TEST(VariantTest, ConversionsOfEachKind) {
  EXPECT_EQ(Variant(42).ToInteger(), 42);
  EXPECT_EQ(Variant(2.5).ToInteger(), 2);  // half to even
  EXPECT_EQ(Variant(3.5).ToInteger(), 4);
  EXPECT_EQ(Variant(" 17 ").ToInteger(), 17);
  EXPECT_EQ(Variant(true).ToInteger(), 1);
  EXPECT_DOUBLE_EQ(Variant("1.25").ToDouble(), 1.25);
  EXPECT_EQ(Variant("2026-01-02 03:04:05").ToDateTime().ToIso(), "2026-01-02 03:04:05");
  EXPECT_EQ(Variant(2.0).ToDateTime().ToIso(), "1900-01-01 00:00:00");
  EXPECT_TRUE(Variant(1).ToBoolean());
  EXPECT_FALSE(Variant("0").ToBoolean());
  EXPECT_EQ(Variant(1.5).ToText(), "1.5");
  EXPECT_EQ(Variant(0.1).ToText(), "0.1");
  EXPECT_EQ(Variant(-7).ToText(), "-7");
  EXPECT_EQ(Variant().ToText(), "");
  EXPECT_EQ(Variant(false).ToText(), "False");
}

TEST(VariantTest, NullAndBadTextDoNotConvert) {
  const Variant bad[] = {Variant(), Variant("abc"), Variant("12abc"), Variant("")};
  for (const Variant& v : bad) {
    EXPECT_THROW(v.ToInteger(), Error) << DebugString(v);
    EXPECT_THROW(v.ToDouble(), Error) << DebugString(v);
    EXPECT_THROW(v.ToDateTime(), Error) << DebugString(v);
  }
  try {
    Variant().ToInteger();
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), 13);
    EXPECT_EQ(e.source(), "Variant");
  }
}

TEST(VariantTest, EqualityComparesNumbersByValue) {
  EXPECT_EQ(Variant(2), Variant(2.0));
  EXPECT_NE(Variant("2"), Variant(2));
  EXPECT_EQ(Variant(), Variant());
  EXPECT_NE(Variant(), Variant(""));
  EXPECT_NE(Variant("abc"), Variant("ABC"));
}

TEST(VariantTest, RoundsHalfToEvenOnTheDecimalValue) {
  struct Case {
    double in;
    double out;
  } cases[] = {
      {1.125, 1.12},          {1.375, 1.38}, {1.135, 1.14},   {0.285, 0.28},   {2.675, 2.68},
      {1.124, 1.12},          {1.126, 1.13}, {-1.125, -1.12}, {-1.375, -1.38}, {5.0, 5.0},
      {99999.9999, 100000.0}, {0.005, 0.0},  {0.015, 0.02},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(RoundHalfEven(c.in, 2), c.out) << c.in;
  }
}

}  // namespace
}  // namespace qor
