// Atomic SAN models built from small token nets: state size, save and
// restore, lookups by name, global and local actions across a shared place,
// the local state image and the printed descriptions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "BaseClasses/Activity.h"
#include "BaseClasses/SANModel.h"
#include "BaseClasses/state/Place.h"

namespace {

// Moves one token from one place to another; enabled while the source holds
// a token. Reads its places through registered pointers, as a generated
// activity does, so a merge redirects them.
class TokenMove : public Activity {
 public:
  TokenMove(const char* moveName, Place* from, Place* to) : from_(from), to_(to) {
    ActivityInitialize(moveName, 0, EXPONENTIAL, RaceEnabledPolicy, 1, 1, false);
  }
  bool Enabled() override {
    enabledBefore = enabledNow;
    enabledNow = *fromMark_ > 0;
    return enabledNow;
  }
  double Weight() override { return 1.0; }
  int Rank() override { return 1; }
  BaseActionClass* Fire() override {
    --*fromMark_;
    ++*toMark_;
    return this;
  }
  void LinkVariables() override {
    from_->registerPointer(&fromMark_);
    to_->registerPointer(&toMark_);
  }

 private:
  Place* from_;
  Place* to_;
  short* fromMark_ = nullptr;
  short* toMark_ = nullptr;
};

struct MoveDef {
  const char* name;
  int from;
  int to;
};

// A SAN with its places and activities, owned here as a generated model
// would own them; every activity is its own group.
struct Net {
  Net(const char* modelName, std::vector<std::pair<const char*, short>> placeDefs,
      std::vector<MoveDef> moveDefs, std::vector<std::pair<const char*, short>> readOnly = {}) {
    for (auto& [placeName, marking] : placeDefs) places.push_back(std::make_unique<Place>(placeName, marking));
    for (auto& [placeName, marking] : readOnly) readOnlyPlaces.push_back(std::make_unique<Place>(placeName, marking));
    for (const MoveDef& m : moveDefs)
      moves.push_back(std::make_unique<TokenMove>(m.name, places[m.from].get(), places[m.to].get()));
    std::vector<BaseStateVariableClass*> placeArray, readOnlyArray;
    for (auto& p : places) placeArray.push_back(p.get());
    for (auto& p : readOnlyPlaces) readOnlyArray.push_back(p.get());
    for (auto& m : moves) {
      activities.push_back(m.get());
      groups.push_back(m.get());
    }
    model.initializeSANModelNow(modelName, static_cast<int>(placeArray.size()), placeArray.data(),
                                static_cast<int>(readOnlyArray.size()), readOnlyArray.data(),
                                static_cast<int>(activities.size()), activities.data(),
                                static_cast<int>(groups.size()), groups.data());
    for (size_t i = 0; i < moveDefs.size(); ++i) {
      model.AddAffectArc(places[moveDefs[i].from].get(), moves[i].get());
      model.AddAffectArc(places[moveDefs[i].to].get(), moves[i].get());
    }
    for (size_t i = 0; i < moveDefs.size(); ++i)
      model.AddEnableArc(places[moveDefs[i].from].get(), moves[i].get());
    for (auto& m : moves) m->LinkVariables();
  }

  Place& place(int i) { return *places[i]; }

  std::vector<std::unique_ptr<Place>> places;
  std::vector<std::unique_ptr<Place>> readOnlyPlaces;
  std::vector<std::unique_ptr<TokenMove>> moves;
  std::vector<Activity*> activities;
  std::vector<BaseGroupClass*> groups;
  SANModel model;
};

std::vector<BaseActionClass*> toVector(const ActionSList& list) {
  return std::vector<BaseActionClass*>(list.begin(), list.end());
}

std::set<BaseActionClass*> toSet(const ActionSList& list) {
  return std::set<BaseActionClass*>(list.begin(), list.end());
}

Net fourPlaceNet(const char* modelName = "four") {
  return Net(modelName, {{"a", 1}, {"b", 0}, {"c", 2}, {"d", -3}},
             {{"ab", 0, 1}, {"cd", 2, 3}});
}

TEST(SANModelTest, ModelsAreNumberedInCreationOrder) {
  SANModel first, second;
  EXPECT_EQ(second.modelId, first.modelId + 1);
  EXPECT_EQ(first.parentId, first.modelId);
  second.SetParentId(first.modelId);
  EXPECT_EQ(second.parentId, first.modelId);
  EXPECT_EQ(first.GetModelType(), 1);
  EXPECT_EQ(first.GetNumberOfChildren(), 0);
}

TEST(SANModelTest, AdoptsItsElementsAndRecordsArcsOnBothSides) {
  Net net = fourPlaceNet();
  SANModel& m = net.model;
  EXPECT_STREQ(m.name, "four");
  EXPECT_EQ(m.numStateVariables, 4);
  EXPECT_EQ(m.numActions, 2);
  EXPECT_EQ(m.numGroups, 2);
  EXPECT_EQ(m.NumSharedStateVariables, 0);
  EXPECT_EQ(net.moves[0]->parentModel, &m);
  EXPECT_EQ(m.GetLocalStateVariables(nullptr)[3], &net.place(3));

  EXPECT_TRUE(net.place(0).getAffectingActions()->contains(net.moves[0].get()));
  EXPECT_TRUE(net.place(0).getEnabledActions()->contains(net.moves[0].get()));
  EXPECT_TRUE(net.moves[0]->affectedSVs.contains(&net.place(1)));
  EXPECT_TRUE(net.moves[0]->enablingSVs.contains(&net.place(0)));
  EXPECT_FALSE(net.moves[0]->enablingSVs.contains(&net.place(1)));
  EXPECT_TRUE(net.moves[1]->IsAnAffectingStateVariable(&net.place(3)));
  EXPECT_FALSE(net.moves[1]->IsAnAffectingStateVariable(&net.place(0)));

  Place* placeArray[] = {&net.place(0), &net.place(1), &net.place(2), &net.place(3)};
  Activity* activityArray[] = {net.moves[0].get(), net.moves[1].get()};
  EXPECT_TRUE(checkLocalSVs(&m, placeArray));
  EXPECT_TRUE(checkLocalActions(&m, activityArray));
  std::swap(placeArray[1], placeArray[2]);
  std::swap(activityArray[0], activityArray[1]);
  EXPECT_FALSE(checkLocalSVs(&m, placeArray));
  EXPECT_FALSE(checkLocalActions(&m, activityArray));
}

TEST(SANModelTest, StateIsSavedAndRestoredPlaceByPlace) {
  Net net = fourPlaceNet();
  SANModel& m = net.model;
  ASSERT_EQ(m.StateSize(), 8);
  EXPECT_TRUE(m.HasLocalState());

  short saved[4] = {};
  m.CurrentState(saved);
  EXPECT_EQ(saved[0], 1);
  EXPECT_EQ(saved[2], 2);
  EXPECT_EQ(saved[3], -3);

  net.moves[0]->Fire();
  net.moves[1]->Fire();
  short changed[4] = {};
  m.CurrentState(changed);
  EXPECT_FALSE(m.CompareState(saved, changed));

  m.SetState(saved);
  EXPECT_EQ(net.place(0).getMark(), 1);
  EXPECT_EQ(net.place(1).getMark(), 0);
  EXPECT_EQ(net.place(3).getMark(), -3);
  m.CurrentState(changed);
  EXPECT_TRUE(m.CompareState(saved, changed));

  Net empty("empty", {}, {});
  EXPECT_EQ(empty.model.StateSize(), 0);
  EXPECT_FALSE(empty.model.HasLocalState());
}

TEST(SANModelTest, LookupsByNameUseExactEquality) {
  Net net("net", {{"x", 0}, {"xy", 0}}, {{"go", 0, 1}, {"go", 1, 0}, {"back", 1, 0}},
          {{"x", 4}});
  SANModel& m = net.model;
  EXPECT_EQ(m.numStateVariables, 3);
  EXPECT_EQ(m.StateSize(), 4);  // read-only places are not part of the state

  List<BaseModelClass> models;
  m.listModels("ne", &models);
  EXPECT_EQ(models.getNumItems(), 0);
  m.listModels("net", &models);
  EXPECT_EQ(models.getNumItems(), 1);

  List<BaseActionClass> named;
  m.listActions("go", &named);
  ASSERT_EQ(named.getNumItems(), 1);
  EXPECT_EQ(named[0], net.moves[0].get());
  List<BaseActionClass> all;
  m.listActions(&all);
  EXPECT_EQ(all.getNumItems(), 3);
  List<BaseGroupClass> groups;
  m.listGroups(&groups);
  EXPECT_EQ(groups.getNumItems(), 3);

  List<BaseStateVariableClass> svs;
  List<BaseModelClass> owners;
  m.listSVs("other", "x", &svs, &owners);
  EXPECT_EQ(svs.getNumItems(), 0);
  EXPECT_EQ(owners.getNumItems(), 0);
  m.listSVs("net", "x", &svs, &owners);
  ASSERT_EQ(svs.getNumItems(), 2);
  EXPECT_EQ(svs[0], &net.place(0));
  EXPECT_EQ(svs[1], net.readOnlyPlaces[0].get());
  EXPECT_EQ(owners.getNumItems(), 1);
}

TEST(SANModelTest, UnsharedModelHasOnlyLocalActions) {
  Net net = fourPlaceNet();
  ActionSList global, local;
  net.model.GetGlobalActions(global);
  net.model.GetLocalActions(local);
  EXPECT_TRUE(global.empty());
  // Added at the front, so the model order comes out reversed.
  EXPECT_EQ(toVector(local), (std::vector<BaseActionClass*>{net.moves[1].get(), net.moves[0].get()}));
}

TEST(SANModelTest, ActionsReachingAMergedPlaceAreGlobal) {
  Net x = fourPlaceNet("X");
  Net y("Y", {{"s", 5}, {"t", 0}}, {{"st", 0, 1}});
  y.place(0).ShareWith(&x.place(1));  // X's b is merged into Y's s
  ASSERT_FALSE(x.place(1).getStored());

  ActionSList xGlobal, xLocal, yGlobal;
  x.model.GetGlobalActions(xGlobal);
  x.model.GetLocalActions(xLocal);
  y.model.GetGlobalActions(yGlobal);
  EXPECT_EQ(toSet(xGlobal), (std::set<BaseActionClass*>{x.moves[0].get()}));
  EXPECT_EQ(toVector(xLocal), (std::vector<BaseActionClass*>{x.moves[1].get()}));
  EXPECT_TRUE(yGlobal.empty());  // Y still holds its place

  // The group keeps the merged place's value; a change made through one
  // model is seen by the other at once.
  EXPECT_EQ(y.place(0).getMark(), 0);
  x.moves[0]->Fire();
  EXPECT_EQ(y.place(0).getMark(), 1);
  EXPECT_TRUE(y.moves[0]->Enabled());
}

TEST(SANModelTest, SharedPlacesAreSavedByTheModelThatHoldsThem) {
  Net x = fourPlaceNet("X");
  Net y("Y", {{"s", 5}, {"t", 0}}, {{"st", 0, 1}});
  y.place(0).ShareWith(&x.place(1));

  // X no longer holds b's value: its image leaves b out, and no more than
  // StateSize() bytes are written.
  ASSERT_EQ(x.model.StateSize(), 6);
  char image[10];
  std::fill(std::begin(image), std::end(image), 'z');
  x.model.CurrentState(image);
  EXPECT_EQ(image[6], 'z');

  // Y holds the merged cell: saving and restoring Y brings it back.
  ASSERT_EQ(y.model.StateSize(), 4);
  y.place(0).setMark(3);
  State* saved = nullptr;
  y.model.ConstructLocalState(saved);
  y.model.GetLocalState(saved);
  x.place(1).setMark(9);
  y.model.SetLocalState(saved);
  EXPECT_EQ(x.place(1).getMark(), 3);
  y.model.DestructLocalState(saved);
  y.model.DestructLocalState(nullptr);
}

// A model whose state is exactly the given bytes, one place per byte pair.
struct ByteImage {
  explicit ByteImage(int places) {
    for (int i = 0; i < places; ++i) owned.push_back(std::make_unique<Place>("p", 0));
    for (auto& p : owned) array.push_back(p.get());
    model.initializeSANModelNow("bytes", places, array.data(), 0, nullptr, 0, nullptr, 0, nullptr);
  }
  std::vector<std::unique_ptr<Place>> owned;
  std::vector<BaseStateVariableClass*> array;
  SANModel model;
};

TEST(SANModelTest, LocalStateHashWeighsSignedBytesByPrimes) {
  ByteImage one(1);
  SANModel::LocalState s(&one.model);
  ASSERT_EQ(s.size, 2);
  s.data[0] = 1;
  s.data[1] = 2;
  EXPECT_EQ(s.hash(), 1 * 2 + 2 * 3);
  s.data[0] = static_cast<char>(-1);
  EXPECT_EQ(s.hash(), -2 + 2 * 3);

  ByteImage wide(129);  // 258 bytes: positions 256 and 257 reuse the first primes
  SANModel::LocalState w(&wide.model);
  w.data[256] = 1;
  w.data[257] = 1;
  EXPECT_EQ(w.hash(), 2 + 3);

  ByteImage none(0);
  SANModel::LocalState empty(&none.model);
  EXPECT_EQ(empty.hash(), 0);
}

TEST(SANModelTest, LocalStatesCompareAndCopyBytewise) {
  ByteImage img(1);
  SANModel::LocalState a(&img.model), b(&img.model);
  EXPECT_EQ(a.compare(b), 0);
  a.data[1] = static_cast<char>(0x80);
  b.data[1] = 0x01;
  EXPECT_GT(a.compare(b), 0);  // bytes compare as unsigned values
  EXPECT_LT(b.compare(a), 0);
  b = a;
  EXPECT_EQ(a.compare(b), 0);
  State& self = a;
  self = a;
  EXPECT_EQ(static_cast<unsigned char>(a.data[1]), 0x80);

  ByteImage bigger(2);
  SANModel::LocalState c(&bigger.model);
  EXPECT_NE(a.compare(c), 0);
  EXPECT_DEATH(static_cast<State&>(c) = a, "Assertion failed: size == _localS->size, file SANModel");
}

TEST(SANModelTest, LocalStateFileTransferReportsShortOrMismatchedImages) {
  ByteImage img(2);
  SANModel::LocalState out(&img.model), in(&img.model);
  for (int i = 0; i < 4; ++i) out.data[i] = static_cast<char>(i + 1);

  FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  EXPECT_FALSE(out.fwriteState(f));
  std::rewind(f);
  EXPECT_FALSE(in.freadState(f));
  EXPECT_EQ(in.compare(out), 0);
  std::fclose(f);

  // A file cut short after the size.
  FILE* shortFile = std::tmpfile();
  const int32_t four = 4;
  std::fwrite(&four, sizeof four, 1, shortFile);
  std::fwrite("ab", 1, 2, shortFile);
  std::rewind(shortFile);
  EXPECT_TRUE(in.freadState(shortFile));
  std::fclose(shortFile);

  // An image of another size is refused without touching the state.
  FILE* other = std::tmpfile();
  const int32_t eight = 8;
  std::fwrite(&eight, sizeof eight, 1, other);
  std::fwrite("abcdefgh", 1, 8, other);
  std::rewind(other);
  SANModel::LocalState kept(&img.model);
  kept.data[0] = 42;
  EXPECT_TRUE(kept.freadState(other));
  EXPECT_EQ(kept.size, 4);
  EXPECT_EQ(kept.data[0], 42);
  std::fclose(other);

  FILE* empty = std::tmpfile();
  EXPECT_TRUE(in.freadState(empty));
  std::fclose(empty);

  // A stream that cannot be written.
  FILE* readOnly = std::fopen("/dev/null", "r");
  ASSERT_NE(readOnly, nullptr);
  EXPECT_TRUE(out.fwriteState(readOnly));
  std::fclose(readOnly);
}

TEST(SANModelTest, PrintedTexts) {
  Net net("shown", {{"up", 3}, {"down", -1}}, {{"fall", 0, 1}}, {{"ro", 7}});
  net.moves[0]->groupId = 2;
  std::ostringstream out;
  net.model.printState(&out);
  EXPECT_EQ(out.str(), "Model: (" + std::to_string(net.model.modelId) +
                           ")shown\n  up = 3\n  down = -1\n  ro = 7\n");

  testing::internal::CaptureStdout();
  net.model.PrintSANModelInfo();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "SANModelInfo\n"
            "Number of Actions = 1, Number of Groups = 1, Number of State Variables = 3\n"
            "ActionName = fall\n"
            "Group Id = 2\n"
            "DistributionType = 1\n"
            "ExecutionPolicy = 1\n"
            "Number of affected state variables = 2\n"
            "Number of enabling state variables = 1\n"
            "\n"
            "Group Name = fall \n"
            "Place Name = up\n"
            "Place Name = down\n"
            "Read Only Place Name = ro\n");

  ByteImage img(1);
  SANModel::LocalState s(&img.model);
  s.data[0] = static_cast<char>(-5);
  s.data[1] = 12;
  testing::internal::CaptureStdout();
  s.print();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "   -5   12\n");
}

TEST(SANModelTest, ASanModelHasNoChildren) {
  Net net = fourPlaceNet();
  EXPECT_DEATH(net.model.GetChild(0), "Assertion failed: false, file SANModel");
}

}  // namespace
