#include <gtest/gtest.h>

#include <vector>

#include "media/amf.h"

using namespace Flash;

namespace {

std::vector<unsigned char> Bytes(const AS_Value& v) {
  std::vector<unsigned char> out(v.GetSize() + 16, 0xCC);
  unsigned char* p = out.data();
  EXPECT_EQ(0, v.Write(p));
  EXPECT_EQ(static_cast<std::size_t>(p - out.data()), v.GetSize()) << "GetSize must match Write";
  out.resize(v.GetSize());
  return out;
}

template <class T>
std::unique_ptr<T> RoundTrip(const AS_Value& v) {
  const auto bytes = Bytes(v);
  auto back = std::make_unique<T>();
  const unsigned char* p = bytes.data();
  EXPECT_EQ(0, back->Read(p, bytes.data() + bytes.size()));
  EXPECT_EQ(p, bytes.data() + bytes.size());
  return back;
}

}  // namespace

TEST(Amf, LeafValuesWriteTheirMarkerAndBigEndianBytes) {
  EXPECT_EQ((std::vector<unsigned char>{0x00, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0}), Bytes(AS_Double(1.0)));
  EXPECT_EQ((std::vector<unsigned char>{0x01, 0x01}), Bytes(AS_UInt8(1)));
  EXPECT_EQ((std::vector<unsigned char>{0x02, 0x00, 0x02, 'h', 'i'}), Bytes(AS_String("hi")));
  EXPECT_EQ((std::vector<unsigned char>{0x05}), Bytes(AS_NullType()));
  EXPECT_EQ((std::vector<unsigned char>{0x07, 0x12, 0x34}), Bytes(AS_UInt16(0x1234)));
  EXPECT_EQ((std::vector<unsigned char>{0x0C, 0, 0, 0, 1, 'x'}), Bytes(AS_LongString("x")));
  AS_Date date;
  date.m_high = 0x01020304;
  date.m_low = 0x05060708;
  date.m_zone = -60;
  EXPECT_EQ((std::vector<unsigned char>{0x0B, 1, 2, 3, 4, 5, 6, 7, 8, 0xFF, 0xC4}), Bytes(date));
}

TEST(Amf, Amf3NumbersUseTheShortestU29Form) {
  EXPECT_EQ((std::vector<unsigned char>{0x11, 0x04, 0x00}), Bytes(AS_AMF3Number()));
  EXPECT_EQ((std::vector<unsigned char>{0x11, 0x04, 0x7F}), Bytes(AS_AMF3Number(0x7F)));
  EXPECT_EQ((std::vector<unsigned char>{0x11, 0x04, 0x81, 0x00}), Bytes(AS_AMF3Number(0x80)));
  EXPECT_EQ((std::vector<unsigned char>{0x11, 0x04, 0xFF, 0x7F}), Bytes(AS_AMF3Number(0x3FFF)));
  EXPECT_EQ((std::vector<unsigned char>{0x11, 0x04, 0x81, 0x80, 0x00}), Bytes(AS_AMF3Number(0x4000)));
  EXPECT_EQ((std::vector<unsigned char>{0x11, 0x04, 0x80, 0xC0, 0x80, 0x00}), Bytes(AS_AMF3Number(0x200000)));
  EXPECT_EQ((std::vector<unsigned char>{0x11, 0x04, 0xFF, 0xFF, 0xFF, 0xFF}), Bytes(AS_AMF3Number(0x1FFFFFFF)));
  for (std::uint32_t v : {0u, 0x7Fu, 0x80u, 0x3FFFu, 0x4000u, 0x1FFFFFu, 0x200000u, 0x1FFFFFFFu}) {
    EXPECT_EQ(v, RoundTrip<AS_AMF3Number>(AS_AMF3Number(v))->GetValue()) << v;
  }
}

TEST(Amf, ContainersAndVariables) {
  AS_ECMA_Array array;
  array.AddChild(new AS_Variable("a", new AS_Double(2.5)));
  array.AddChild(new AS_Variable("ok", new AS_UInt8(1)));
  // 5 + (2+1+9) + (2+2+2) + 3
  EXPECT_EQ(26u, array.GetSize());
  const auto bytes = Bytes(array);
  EXPECT_EQ(0x08, bytes[0]);
  EXPECT_EQ(2, bytes[4]);
  EXPECT_EQ((std::vector<unsigned char>{0, 0, 9}), std::vector<unsigned char>(bytes.end() - 3, bytes.end()));

  auto back = RoundTrip<AS_ECMA_Array>(array);
  ASSERT_EQ(2u, back->GetChildren().size());
  EXPECT_DOUBLE_EQ(2.5, back->Find("a")->ToDouble());
  EXPECT_TRUE(back->Find("ok")->ToBool());
  EXPECT_EQ(nullptr, back->Find("missing"));

  AS_Object object;
  object.AddChild(new AS_Variable("s", new AS_String("v")));
  EXPECT_EQ(1u + (2 + 1 + 4) + 3, object.GetSize());
  EXPECT_EQ("v", RoundTrip<AS_Object>(object)->Find("s")->ToString());

  // A strict array writes its members without their names.
  AS_Strict_Array strict;
  strict.AddChild(new AS_Variable("ignored", new AS_Double(7)));
  strict.AddChild(new AS_Variable("also", new AS_NullType()));
  EXPECT_EQ(5u + 9 + 1, strict.GetSize());
  auto strictBack = RoundTrip<AS_Strict_Array>(strict);
  ASSERT_EQ(2u, strictBack->GetChildren().size());
  EXPECT_DOUBLE_EQ(7, strictBack->GetChildren()[0]->ToDouble());

  // A variable forwards the conversions to its value, and answers empty without one.
  AS_Variable empty;
  EXPECT_EQ("", empty.ToString());
  EXPECT_EQ(0.0, empty.ToDouble());
  EXPECT_EQ(0, empty.ToInt());
  AS_Variable var("n", new AS_UInt16(9));
  EXPECT_EQ(9, var.ToInt());
  EXPECT_EQ(2u + 1 + 3, var.GetSize());
  var.SetWriteName(false);
  EXPECT_EQ(3u, var.GetSize());
}

TEST(Amf, DataObjectIsNameThenValue) {
  AS_DataObject object;
  EXPECT_EQ(0u, object.GetSize());  // no name yet
  {
    AS_DataObject unnamed;  // with a value but no name
    unnamed.AddChild(new AS_NullType());
    EXPECT_EQ(0u, unnamed.GetSize());
    unsigned char none[1] = {0xCC};  // a block sized by GetSize gets nothing written
    unsigned char* at = none;
    EXPECT_EQ(-1, unnamed.Write(at));
    EXPECT_EQ(none, at);
    EXPECT_EQ(0xCC, none[0]);
  }
  object.SetName("onMetaData");
  object.AddChild(new AS_ECMA_Array());
  EXPECT_EQ(13u + 8, object.GetSize());
  const auto bytes = Bytes(object);
  EXPECT_EQ((std::vector<unsigned char>{0x02, 0, 10, 'o', 'n', 'M', 'e', 't', 'a', 'D', 'a', 't', 'a', 0x08}),
            std::vector<unsigned char>(bytes.begin(), bytes.begin() + 14));
  auto back = RoundTrip<AS_DataObject>(object);
  EXPECT_EQ("onMetaData", back->GetName());
  ASSERT_EQ(1u, back->GetChildren().size());
  EXPECT_EQ(0x08, back->GetChildren()[0]->GetMarker());
}

TEST(Amf, CreateValueFollowsTheMarkerTable) {
  AS_Value base;
  EXPECT_EQ(-1, base.CreateValue(0, nullptr));
  const int known[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x07, 0x08, 0x0A, 0x0B, 0x0C};
  const int expectMarker[] = {0x00, 0x01, 0x02, 0x03, 0x02, 0x05, 0x07, 0x08, 0x0A, 0x0B, 0x0C};
  for (std::size_t i = 0; i < std::size(known); ++i) {
    AS_Value* v = nullptr;
    EXPECT_EQ(0, base.CreateValue(known[i], &v));
    ASSERT_NE(nullptr, v) << known[i];
    EXPECT_EQ(expectMarker[i], v->GetMarker());
    delete v;
  }
  for (int marker : {0x06, 0x09, 0x0D, 0x11, 0xFF}) {
    AS_Value* v = reinterpret_cast<AS_Value*>(&base);
    EXPECT_EQ(0, base.CreateValue(marker, &v));
    EXPECT_EQ(nullptr, v) << marker;
  }
  // The base class writes nothing and reads nothing.
  unsigned char buf[4];
  unsigned char* p = buf;
  EXPECT_EQ(-1, base.Write(p));
  EXPECT_EQ(buf, p);
  EXPECT_EQ(0u, base.GetSize());
}

TEST(Amf, ReadingRefusesTruncatedAndHostileInput) {
  AS_ECMA_Array array;
  array.AddChild(new AS_Variable("text", new AS_String("abcdef")));
  const auto bytes = Bytes(array);
  for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
    AS_ECMA_Array back;
    const unsigned char* p = bytes.data();
    EXPECT_EQ(-1, back.Read(p, bytes.data() + cut)) << "cut at " << cut;
  }
  // A string that claims more bytes than there are.
  const unsigned char longString[] = {0x02, 0xFF, 0xFF, 'a'};
  AS_String s;
  const unsigned char* p = longString;
  EXPECT_EQ(-1, s.Read(p, longString + sizeof longString));
  EXPECT_EQ(longString, p);
  // Objects nested without end are refused, not followed into a stack overflow.
  std::vector<unsigned char> deep;
  for (int i = 0; i < 100000; ++i) {
    deep.insert(deep.end(), {0x00, 0x01, 'x', 0x03});
  }
  AS_Object nested;
  const unsigned char* q = deep.data() + 3;
  EXPECT_EQ(-1, nested.Read(q, deep.data() + deep.size()));
  // A marker no class carries.
  const unsigned char unknown[] = {0x03, 0x00, 0x01, 'k', 0x06, 0, 0, 9};
  AS_Object obj;
  q = unknown;
  EXPECT_EQ(-1, obj.Read(q, unknown + sizeof unknown));
}

TEST(Amf, TraverseVisitsEveryValue) {
  AS_ECMA_Array array;
  AS_Object* inner = new AS_Object();
  inner->AddChild(new AS_Variable("x", new AS_Double(1)));
  array.AddChild(new AS_Variable("inner", inner));
  array.AddChild(new AS_Variable("y", new AS_UInt8(0)));
  int count = 0;
  array.Traverse([](const AS_Value&, int, void* ctx) { ++*static_cast<int*>(ctx); }, &count);
  // array, inner variable, inner object, x variable, x value, y variable, y value
  EXPECT_EQ(7, count);
}
