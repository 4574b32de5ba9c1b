#include <gtest/gtest.h>

#include <vector>

#include "BaseClasses/BaseActionClass.h"
#include "BaseClasses/state/BaseStructStateVariable.h"
#include "BaseClasses/state/Place.h"

namespace {

// Records both sides of "action changes variable" / "action reads variable",
// as the models do when they add arcs.
void linkAffects(BaseActionClass* a, BaseStateVariableClass* v) {
  a->addAffectedSV(v);
  v->appendAffectingAction(a);
}

void linkEnables(BaseActionClass* a, BaseStateVariableClass* v) {
  a->addEnablingSV(v);
  v->appendEnabledAction(a);
}

std::vector<BaseStateVariableClass*> svs(const List<BaseStateVariableClass>& list) {
  return std::vector<BaseStateVariableClass*>(list.getList(), list.getList() + list.getNumItems());
}

std::vector<BaseActionClass*> actions(const List<BaseActionClass>* list) {
  return std::vector<BaseActionClass*>(list->getList(), list->getList() + list->getNumItems());
}

TEST(SharingActionsTest, MergedGroupHoldsTheUnionAndActionsNameTheHolderOnce) {
  Place p1("p1", 3), p2("p2", 5);
  BaseActionClass a1, a2, a3;
  linkAffects(&a1, &p2);
  linkAffects(&a2, &p1);
  linkAffects(&a2, &p2);
  linkEnables(&a3, &p2);
  linkEnables(&a2, &p1);

  p1.ShareWith(&p2);
  EXPECT_EQ(p1.getAffectingActions(), p2.getAffectingActions());
  EXPECT_EQ(p1.getEnabledActions(), p2.getEnabledActions());
  EXPECT_EQ(actions(p1.getAffectingActions()), (std::vector<BaseActionClass*>{&a2, &a1}));
  EXPECT_EQ(actions(p1.getEnabledActions()), (std::vector<BaseActionClass*>{&a2, &a3}));
  EXPECT_EQ(svs(a1.affectedSVs), (std::vector<BaseStateVariableClass*>{&p1}));
  EXPECT_EQ(svs(a2.affectedSVs), (std::vector<BaseStateVariableClass*>{&p1}));
  EXPECT_EQ(svs(a3.enablingSVs), (std::vector<BaseStateVariableClass*>{&p1}));
  EXPECT_EQ(svs(a2.enablingSVs), (std::vector<BaseStateVariableClass*>{&p1}));
}

TEST(SharingActionsTest, OnlyTheHolderRecordsNewAffectingActions) {
  Place p1("p1", 3), p2("p2", 5);
  p1.ShareWith(&p2);
  BaseActionClass a;
  p2.appendAffectingAction(&a);
  EXPECT_EQ(p1.getNumAffectingActions(), 0);
  p1.appendAffectingAction(&a);
  p1.appendAffectingAction(&a);
  EXPECT_EQ(actions(p2.getAffectingActions()), (std::vector<BaseActionClass*>{&a}));
}

TEST(SharingActionsTest, JoiningAGroupRewritesTheJoinersActions) {
  Place p1("p1", 0), p2("p2", 0), p3("p3", 0), q1("q1", 0), q2("q2", 0);
  BaseActionClass a3, aq;
  p1.ShareWith(&p2);
  linkAffects(&a3, &p3);
  p2.ShareWith(&p3);  // p3 joins p1's group
  EXPECT_EQ(svs(a3.affectedSVs), (std::vector<BaseStateVariableClass*>{&p1}));
  EXPECT_TRUE(p1.getAffectingActions()->contains(&a3));

  q1.ShareWith(&q2);
  linkEnables(&aq, &q2);
  p2.ShareWith(&q2);  // the two groups merge; q's holder keeps the group
  EXPECT_EQ(svs(aq.enablingSVs), (std::vector<BaseStateVariableClass*>{&q1}));
  EXPECT_EQ(p3.getEnabledActions(), q1.getEnabledActions());
  EXPECT_TRUE(q1.getAffectingActions()->contains(&a3));
}

TEST(SharingActionsTest, ResharingWithinTheGroupKeepsTheHolderListed) {
  Place p1("p1", 0), p2("p2", 0);
  BaseActionClass a;
  linkAffects(&a, &p1);
  p1.ShareWith(&p2);
  p2.ShareWith(&p1);
  EXPECT_EQ(svs(a.affectedSVs), (std::vector<BaseStateVariableClass*>{&p1}));
}

TEST(SharingActionsTest, StructureLinksActionsToItsLeaves) {
  Place p("p", 0), q("q", 0);
  class Pair : public BaseStructStateVariable {
   public:
    Pair(Place* first, Place* second) : BaseStructStateVariable("pair", "") {
      fields.push_back({first, SHORT_ELEMENT});
      fields.push_back({second, SHORT_ELEMENT});
    }
  } pair(&p, &q);

  BaseActionClass reader, writer;
  linkEnables(&reader, &pair);
  linkAffects(&writer, &pair);
  EXPECT_EQ(svs(reader.enablingSVs), (std::vector<BaseStateVariableClass*>{&p, &q}));
  EXPECT_EQ(svs(writer.affectedSVs), (std::vector<BaseStateVariableClass*>{&p, &q}));
  EXPECT_TRUE(pair.getEnabledActions()->contains(&reader));
  EXPECT_TRUE(q.getEnabledActions()->contains(&reader));
  EXPECT_TRUE(pair.getAffectingActions()->contains(&writer));
  EXPECT_TRUE(p.getAffectingActions()->contains(&writer));

  pair.removeSelfFromEnablingSVOfAction(&reader);
  EXPECT_EQ(reader.enablingSVs.getNumItems(), 0);
  reader.removeAffectedSV(&p);
  writer.removeAffectedSV(&pair);
  EXPECT_EQ(writer.affectedSVs.getNumItems(), 0);
}

TEST(SharingActionsTest, SharedStructuresMergeTheirActionLists) {
  Place p("p", 1), q("q", 2);
  class One : public BaseStructStateVariable {
   public:
    One(const char* n, Place* element) : BaseStructStateVariable(n, "") { fields.push_back({element, SHORT_ELEMENT}); }
  } a("a", &p), b("b", &q);
  BaseActionClass ra, rb;
  linkEnables(&ra, &a);
  linkEnables(&rb, &b);
  a.ShareWith(&b);
  EXPECT_EQ(p.Mark, q.Mark);
  EXPECT_EQ(actions(a.getEnabledActions()), (std::vector<BaseActionClass*>{&ra, &rb}));
  EXPECT_EQ(b.getEnabledActions(), a.getEnabledActions());
  // The leaves merged too, so rb now reads the place that holds the cell.
  EXPECT_EQ(svs(rb.enablingSVs), (std::vector<BaseStateVariableClass*>{&p}));
  EXPECT_EQ(actions(p.getEnabledActions()), (std::vector<BaseActionClass*>{&ra, &rb}));
}

}  // namespace
