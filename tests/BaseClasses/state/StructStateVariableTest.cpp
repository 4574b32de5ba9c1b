#include "BaseClasses/state/BaseStructStateVariable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <vector>

#include "BaseClasses/state/Place.h"
#include "BaseClasses/state/TypedMemory.h"

namespace {

// Stands in for a generated structure: `field` hands out the given elements
// in declaration order, as generated code creates them.
class TestStruct : public BaseStructStateVariable {
 public:
  TestStruct(const char* svName, std::vector<fieldType> elements)
      : BaseStructStateVariable(svName, ""), pending(std::move(elements)) {
    std::vector<ArrayType> types;
    for (const fieldType& f : pending) types.push_back(f.type);
    makeArrays(types.data(), static_cast<int>(types.size()));
  }

  // Once the given elements are used up, fields carry only their codes.
  fieldType field(ArrayType t, BaseStateVariableClass*) const override {
    return {next < pending.size() ? pending[next++].sv : nullptr, t};
  }

 private:
  std::vector<fieldType> pending;
  mutable size_t next = 0;
};

TEST(StructStateVariableTest, ScalarFieldsArePackedAtTheirOffsets) {
  Place s("s", 0x1234);
  SharableSV<char> c("c");
  SharableSV<double> d("d");
  char cv = 'k';
  double dv = 2.5;
  c.SetState(&cv);
  d.SetState(&dv);
  TestStruct st("st", {{&s, SHORT_ELEMENT}, {&c, CHAR_ELEMENT}, {&d, DOUBLE_ELEMENT}});
  ASSERT_EQ(st.StateSize(), 11);
  EXPECT_EQ(st.getSize(), 3);
  EXPECT_EQ(st.getType(2), DOUBLE_ELEMENT);

  unsigned char buffer[11] = {};
  st.CurrentState(buffer);
  short sOut;
  double dOut;
  std::memcpy(&sOut, buffer, 2);
  std::memcpy(&dOut, buffer + 3, 8);
  EXPECT_EQ(sOut, 0x1234);
  EXPECT_EQ(buffer[2], 'k');
  EXPECT_EQ(dOut, 2.5);

  s.setMark(0);
  cv = 'x';
  c.SetState(&cv);
  dv = 0.0;
  d.SetState(&dv);
  st.SetState(buffer);
  EXPECT_EQ(s.getMark(), 0x1234);
  d.CurrentState(&dOut);
  EXPECT_EQ(dOut, 2.5);
}

TEST(StructStateVariableTest, NestedStructureCountsItsOwnSize) {
  Place p("p", 1);
  SharableSV<int> i1("i1"), i2("i2");
  TestStruct inner("inner", {{&p, SHORT_ELEMENT}, {&i1, INT_ELEMENT}});
  TestStruct outer("outer", {{&i2, INT_ELEMENT}, {&inner, STRUCT_ELEMENT}});
  EXPECT_EQ(inner.StateSize(), 6);
  EXPECT_EQ(outer.StateSize(), 10);
  EXPECT_EQ(outer.calculateStateSize(), 10);
  EXPECT_FALSE(outer.isLeafNode());
  EXPECT_EQ(outer.getNumLeafNodes(), 3);

  List<BaseStateVariableClass>* leaves = outer.getLeafNodes();
  ASSERT_EQ(leaves->getNumItems(), 3);
  EXPECT_EQ(leaves->getItem(0), &i2);
  EXPECT_EQ(leaves->getItem(1), &p);
  EXPECT_EQ(leaves->getItem(2), &i1);
  delete leaves;
}

TEST(StructStateVariableTest, SizeIsCachedUntilFieldsAreAdded) {
  Place p("p", 0);
  TestStruct st("st", {{&p, SHORT_ELEMENT}});
  EXPECT_EQ(st.cachedStateSize, -1);
  EXPECT_EQ(st.StateSize(), 2);
  EXPECT_EQ(st.cachedStateSize, 2);
  ArrayType more[] = {INT_ELEMENT, FLOAT_ELEMENT};
  st.makeArrays(more, 2);
  EXPECT_EQ(st.cachedStateSize, -1);
  EXPECT_EQ(st.StateSize(), 10);
}

TEST(StructStateVariableTest, EmptyStructureIsALeaf) {
  BaseStructStateVariable empty;
  EXPECT_TRUE(empty.isLeafNode());
  EXPECT_EQ(empty.getNumLeafNodes(), 1);
  EXPECT_EQ(empty.StateSize(), 0);
  EXPECT_STREQ(empty.name, "default");
  EXPECT_TRUE(empty.getStored());
  EXPECT_FALSE(empty.getShared());
}

TEST(StructStateVariableTest, CodeOnlyConstructionSizesByCodeWithoutElements) {
  ArrayType types[] = {SHORT_ELEMENT, INT_ELEMENT, CHAR_ELEMENT, DOUBLE_ELEMENT, FLOAT_ELEMENT, STRUCT_ELEMENT};
  BaseStructStateVariable st("st", "pre", types, 6);
  EXPECT_EQ(st.getSize(), 6);
  EXPECT_EQ(st.fields[0].sv, nullptr);
  EXPECT_EQ(st.StateSize(), 2 + 4 + 1 + 8 + 4);
  unsigned char buffer[19] = {};
  st.CurrentState(buffer);  // no elements to copy: nothing happens
  st.SetState(buffer);
  List<BaseStateVariableClass>* leaves = st.getLeafNodes();
  EXPECT_EQ(leaves->getNumItems(), 0);
  delete leaves;
}

TEST(StructStateVariableTest, SamePlaceInTwoFieldsIsOneLeaf) {
  Place p("p", 0);
  TestStruct st("st", {{&p, SHORT_ELEMENT}, {&p, SHORT_ELEMENT}});
  List<BaseStateVariableClass>* leaves = st.getLeafNodes();
  ASSERT_EQ(leaves->getNumItems(), 1);
  EXPECT_EQ(leaves->getItem(0), &p);
  delete leaves;
}

TEST(StructStateVariableTest, PrintStateListsEveryElement) {
  Place p("p", 4);
  TestStruct s("s", {{&p, SHORT_ELEMENT}});
  std::ostringstream out;
  s.printState(&out);
  EXPECT_EQ(out.str(), "s = {\n.p = 4\n}\n");
}

TEST(StructSharingTest, SharingGoesElementByElement) {
  Place p1("p1", 1), p2("p2", 2), q1("q1", 3), q2("q2", 4);
  TestStruct a("a", {{&p1, SHORT_ELEMENT}, {&p2, SHORT_ELEMENT}});
  TestStruct b("b", {{&q1, SHORT_ELEMENT}, {&q2, SHORT_ELEMENT}});
  a.share(&b);
  EXPECT_EQ(p1.getMark(), 3);
  EXPECT_EQ(p2.getMark(), 4);
  q2.setMark(8);
  EXPECT_EQ(p2.getMark(), 8);
  EXPECT_EQ(p1.Mark, q1.Mark);
  EXPECT_FALSE(b.getStored());
  EXPECT_TRUE(b.getShared());
  EXPECT_TRUE(a.getStored());
  EXPECT_EQ(b.SVAffectingActions, a.SVAffectingActions);
  EXPECT_EQ(b.SVEnabledActions, a.SVEnabledActions);
}

TEST(StructSharingTest, WholeGroupsFollowLaterMerges) {
  Place p1("p1", 1), q1("q1", 3), r1("r1", 5);
  TestStruct a("a", {{&p1, SHORT_ELEMENT}});
  TestStruct b("b", {{&q1, SHORT_ELEMENT}});
  TestStruct c("c", {{&r1, SHORT_ELEMENT}});
  a.ShareWith(&b);
  a.ShareWith(&b);
  a.ShareWith(&a);
  b.ShareWith(&a);  // within one group: a keeps its lists
  EXPECT_TRUE(a.getStored());
  c.ShareWith(&b);  // a's group (a, b) joins c's
  for (TestStruct* s : {&a, &b}) {
    EXPECT_EQ(s->SVAffectingActions, c.SVAffectingActions) << s->name;
    EXPECT_EQ(s->SVEnabledActions, c.SVEnabledActions) << s->name;
    EXPECT_FALSE(s->getStored()) << s->name;
  }
  EXPECT_TRUE(c.getStored());
  r1.setMark(6);
  EXPECT_EQ(p1.getMark(), 6);
  EXPECT_EQ(q1.getMark(), 6);
}

TEST(StructSharingDeathTest, MismatchedStructuresAreFatalAssertions) {
  Place p1("p1", 1), p2("p2", 2), q1("q1", 3);
  TestStruct two("two", {{&p1, SHORT_ELEMENT}, {&p2, SHORT_ELEMENT}});
  TestStruct one("one", {{&q1, SHORT_ELEMENT}});
  EXPECT_DEATH(two.ShareWith(&one),
               "Assertion failed: otheri!=otherStruct->fields.end\\(\\), file StructStateVariable");
  EXPECT_DEATH(two.share(&q1), "Assertion failed: otherStruct, file StructStateVariable");
}

TEST(TypedMemoryTest, ValuesAndArraysCopyThroughUnalignedMemory) {
  unsigned char raw[64] = {};
  void* odd = raw + 1;
  writeMemory<double>(-1.25, odd);
  double d = 0;
  readMemory2(odd, &d);
  EXPECT_EQ(d, -1.25);
  writeMemory<bool>(true, odd);
  bool b = false;
  readMemory2(odd, &b);
  EXPECT_TRUE(b);
  writeMemory<char>('q', odd);
  char c = 0;
  readMemory2(odd, &c);
  EXPECT_EQ(c, 'q');
  writeMemory<short>(-300, odd);
  short s = 0;
  readMemory2(odd, &s);
  EXPECT_EQ(s, -300);
  writeMemory<int>(123456789, odd);
  int i = 0;
  readMemory2(odd, &i);
  EXPECT_EQ(i, 123456789);
  writeMemory<float>(0.5f, odd);
  float f = 0;
  readMemory2(odd, &f);
  EXPECT_EQ(f, 0.5f);

  int src[5] = {1, -2, 3, -4, 5};
  int dst[5] = {};
  writeArray(src, odd, 5);
  readArray(dst, odd, 5);
  for (int k = 0; k < 5; k++) EXPECT_EQ(dst[k], src[k]);
  EXPECT_EQ(raw[0], 0);
  EXPECT_EQ(raw[21], 0);  // nothing written past the five ints
  readArray(dst, raw + 40, 0);
  EXPECT_EQ(dst[0], 1);
}

}  // namespace
