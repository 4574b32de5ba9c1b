// The checks: every mistake the reader cannot see is refused with its line
// and column, and an unknown name with the names that would do.
#include <gtest/gtest.h>

#include "ModelText.h"

using sanc_test::Edited;
using sanc_test::Refusal;

namespace {

// The refusal's first line.
std::string FirstLine(const std::string& message) { return message.substr(0, message.find('\n')); }

}  // namespace

TEST(Checks, UnknownNamesListTheNamesThatWouldDo) {
  EXPECT_EQ(FirstLine(Refusal(Edited("output arc broken", "output arc brokn"))),
            "m.san:13:18: unknown place 'brokn' in san machine; did you mean 'broken'? (places: up, broken)");
  EXPECT_EQ(FirstLine(Refusal(Edited("case size / 512", "case sise / 512"))),
            "m.san:12:10: unknown name 'sise'; did you mean 'size'? (places and global variables: size, count, up, broken)");
  EXPECT_EQ(FirstLine(Refusal(Edited("rate machine.broken", "rate broken"))),
            "m.san:38:10: unknown name 'broken'; did you mean 'machine.broken'? (submodel.place of the measured model, "
            "and global variables: size, count, machine.up, machine.broken, spare.up)");
  EXPECT_NE(Refusal(Edited("exponential(0.5)", "exponetial(0.5)")).find("did you mean 'exponential'?"), std::string::npos);
  EXPECT_NE(Refusal(Edited("set size = 256", "set sizes = 256")).find("unknown global variable 'sizes'"), std::string::npos);
  EXPECT_NE(Refusal(Edited("submodel spare", "submodel spares")).find("unknown submodel 'spares'; did you mean 'spare'?"),
            std::string::npos);
}

TEST(Checks, DuplicatesAreRefusedAtTheirSecondDeclaration) {
  EXPECT_EQ(FirstLine(Refusal(Edited("place broken = 0", "place up = 0"))),
            "m.san:6:9: duplicate place 'up' (first declared on line 5)");
  EXPECT_NE(Refusal(Edited("timed fix", "timed wear")).find("duplicate activity 'wear'"), std::string::npos);
  EXPECT_NE(Refusal(Edited("experiment big", "experiment base")).find("duplicate experiment 'base'"), std::string::npos);
  EXPECT_NE(Refusal(Edited("global int count = 2", "global int size = 2")).find("duplicate global variable 'size'"),
            std::string::npos);
  // Places and activities are members of one class, shared places and
  // submodels of another.
  EXPECT_NE(Refusal(Edited("timed fix", "timed broken")).find("duplicate name in san machine: 'broken' (first declared on line 6)"),
            std::string::npos);
  EXPECT_NE(Refusal(Edited("share up", "share spare")).find("duplicate name in join plant: 'spare'"), std::string::npos);
  EXPECT_NE(Refusal(Edited("place broken = 0", "place Fire = 0")).find("'Fire' is a name of the simulator's framework"),
            std::string::npos);
  // Case classes are named NAME_caseN: an activity of that name would clash.
  EXPECT_NE(Refusal(Edited("timed fix", "timed wear_case2")).find("duplicate activity 'wear_case2'"), std::string::npos);
}

TEST(Checks, JoinsShareOnlyPlacesTheirChildrenHave) {
  EXPECT_EQ(FirstLine(Refusal(Edited("share up", "share broken"))),
            "m.san:32:9: shared place 'broken': submodel spare has no place 'broken'; (its places: up)");
  EXPECT_NE(Refusal(Edited("share up", "share up in machine, other")).find("'other' is not a submodel of join plant"),
            std::string::npos);
  EXPECT_NE(Refusal(Edited("place up = count  # shared with machine", "place up = 1")).find("shared place 'up' starts with 'count' in machine (line 5) but '1' in spare (line 23)"),
            std::string::npos);
  EXPECT_NE(Refusal(Edited("submodel spare", "submodel machine")).find("submodel 'machine' is already joined on line 31"),
            std::string::npos);
}

TEST(Checks, TypesMustFitTheirUse) {
  // A marking is a whole number: a float expression cannot set one.
  EXPECT_EQ(FirstLine(Refusal(Edited("output gate up += 1", "output gate up += size"))),
            "m.san:18:23: type mismatch: a marking is a whole number, but 'size' is a float");
  EXPECT_NE(Refusal(Edited("global int count = 2", "global int count = 2.5")).find("type mismatch: the default of count '2.5' is not a int"),
            std::string::npos);
  EXPECT_NE(Refusal(Edited("place up = count", "place up = size")).find("type mismatch"), std::string::npos);
  EXPECT_NE(Refusal(Edited("global int count = 2", "global int count = size")).find("only numbers may be written here"),
            std::string::npos);
  EXPECT_NE(Refusal(Edited("global int count = 2", "global int count = 012")).find("decimal"), std::string::npos);
}

TEST(Checks, ActivitiesStudiesAndRewardsMustBeComplete) {
  EXPECT_NE(Refusal(Edited("deterministic(2.5)", "deterministic(2.5, 3)")).find("deterministic takes 1 parameter, not 2"),
            std::string::npos);
  EXPECT_NE(Refusal(Edited("exponential(0.5)", "exponential(-0.5)")).find("the rate '-0.5' is negative"), std::string::npos);
  EXPECT_NE(Refusal(Edited("case size / 512", "case -1")).find("the case weight '-1' is negative"), std::string::npos);
  const std::string empty = Refusal(Edited("  experiment base\n  experiment big set size = 256\n", ""));
  EXPECT_NE(empty.find("study s is empty"), std::string::npos) << empty;
  EXPECT_NE(Refusal(Edited("instant 1, 10", "instant 10, 1")).find("instants must increase"), std::string::npos);
  EXPECT_NE(Refusal(Edited("    rate machine.broken\n", "")).find("variable down needs 'rate EXPR'"), std::string::npos);
  EXPECT_NE(Refusal(Edited("place broken = 0", "place class = 0")).find("'class' is a word of C++"), std::string::npos);
}

TEST(Checks, ReactivationJoinsAndNumbersHaveTheirLimits) {
  EXPECT_NE(Refusal(Edited("    output arc broken\n", "    output arc broken\n    reactivate when up > 0\n"))
                .find("reactivation of an activity with cases is not supported"),
            std::string::npos);
  const std::string cycle = Refusal(sanc_test::kSmallModel + "join a\n  submodel b\nend\njoin b\n  submodel a\nend\n");
  EXPECT_NE(cycle.find("contains itself"), std::string::npos) << cycle;
  EXPECT_NE(Refusal(Edited("deterministic(2.5)", "deterministic(3000000000)")).find("does not fit an int"),
            std::string::npos);
  EXPECT_NE(Refusal(Edited("deterministic(2.5)", "deterministic(-2.5)")).find("the delay '-2.5' is negative"),
            std::string::npos);
  EXPECT_NE(Refusal(Edited("input arc up\n", "input arc up * 0\n")).find("a whole number of tokens from 1 to 32767"),
            std::string::npos);
  EXPECT_NE(Refusal(Edited("place broken = 0", "place broken = 40000")).find("-32768 ... 32767"), std::string::npos);
  EXPECT_NE(Refusal(Edited("global int count = 2", "global short count = 40000")).find("is not a short"),
            std::string::npos);
  EXPECT_NE(Refusal(Edited("share up", "share up\n  share up")).find("duplicate shared place 'up'"), std::string::npos);
}

TEST(Checks, RewardsMeasureAModelOfTheFile) {
  EXPECT_NE(Refusal(Edited("reward r of plant", "reward r of plants")).find("unknown model 'plants'; did you mean 'plant'?"),
            std::string::npos);
  EXPECT_NE(Refusal(Edited("    instant 1, 10\n", "    interval 5 to 5\n")).find("an interval must end after it starts"),
            std::string::npos);
  EXPECT_NE(Refusal(Edited("    instant 1, 10\n", "")).find("variable down needs 'instant T, ...' or 'interval START to STOP'"),
            std::string::npos);
  EXPECT_NE(Refusal(Edited("    rate machine.broken\n", "    rate machine.broken\n    submodels elsewhere\n"))
                .find("'elsewhere' is no san of the measured model"),
            std::string::npos);
  // A reward may measure one SAN, and then reads only that SAN's places.
  EXPECT_EQ(Refusal(Edited("reward r of plant", "reward r of machine")), "");
  EXPECT_NE(Refusal(Edited("reward r of plant", "reward r of spare")).find("unknown name 'machine.broken'"),
            std::string::npos);
  EXPECT_NE(Refusal(Edited("study s of r", "study s of q")).find("unknown reward 'q'; did you mean 'r'?"),
            std::string::npos);
}

TEST(Checks, CandidatesNameTheNearestAndAllThatWouldDo) {
  EXPECT_EQ(sanc::Candidates("sise", {"size", "count"}, "globals"), "did you mean 'size'? (globals: size, count)");
  EXPECT_EQ(sanc::Candidates("zzz", {"size", "count"}, "globals"), "(globals: size, count)");
  EXPECT_EQ(sanc::Candidates("x", {}, "places"), "(no places)");
  EXPECT_EQ(sanc::Candidates("failed", {"a.up", "b.failed"}, "places"), "did you mean 'b.failed'? (places: a.up, b.failed)");
}
