// What the manager learns of a model from its simulator: a description it
// can read becomes the study catalog, and one it cannot read is refused
// with what is wrong in it, before any block could be named after it.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "simmgr/study/SimulatorDescription.h"
#include "simmgr/testing/TestSupport.h"

namespace {

const std::string kGood = R"({"format": 1, "model": "units", "identity": "units-00ff00ff00ff00ff",
  "study": "repair_rates",
  "globals": [{"name": "mu", "type": "double"}, {"name": "spares", "type": "int"}],
  "experiments": [{"name": "nominal", "values": [0.5, 2]}, {"name": "slow", "values": [0.05, null]}],
  "variables": [{"name": "unreliability", "time": 10}, {"name": "unreliability", "time": 1000}]})";

// kGood with the first `from` replaced by `to`.
std::string Changed(const std::string& from, const std::string& to) {
    std::string text = kGood;
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
}

}  // namespace

TEST(SimulatorDescription, AReadableDescriptionIsTheCatalog) {
    std::string error;
    const auto c = ParseDescription(kGood, error);
    ASSERT_TRUE(c) << error;
    EXPECT_EQ(c->model, "units");
    EXPECT_EQ(c->identity, "units-00ff00ff00ff00ff");
    EXPECT_EQ(c->globalNames, (std::vector<std::string>{"mu", "spares"}));
    EXPECT_EQ(c->globalTypes, (std::vector<std::string>{"double", "int"}));
    ASSERT_EQ(c->NumExperiments(), 2);
    EXPECT_EQ(c->experiments[1].name, "slow");
    EXPECT_EQ(c->experiments[1].simExperiment, 1) << "experiment e is the simulator's -e e";
    EXPECT_EQ(c->experiments[1].globals[0], 0.05);
    EXPECT_TRUE(std::isnan(c->experiments[1].globals[1])) << "a value that is not finite is written null";
    ASSERT_EQ(c->variables.size(), 2u);
    EXPECT_EQ(c->variables[1].time, 1000);
}

TEST(SimulatorDescription, WhatCannotBeReadIsNamed) {
    struct Case {
        std::string text, expect;
    };
    const Case cases[] = {
        {"REGISTER: Port", "not a JSON object"},
        {Changed(R"("format": 1)", R"("format": 2)"), "its format is not 1"},
        {Changed(R"("model": "units")", R"("model": 7)"), "'model' is missing or not a text"},
        {Changed(R"("globals")", R"("global")"), "'globals' is missing or not a list"},
        {Changed("units-00ff00ff00ff00ff", "units-00FF00FF00FF00FF"), "is not the model's name 'units', a '-'"},
        {Changed("units-00ff00ff00ff00ff", "other-00ff00ff00ff00ff"), "is not the model's name 'units', a '-'"},
        {Changed("units-00ff00ff00ff00ff", "units-00ff00ff00ff00f"), "is not the model's name"},
        {Changed(R"("type": "int")", R"("type": "string")"), "global 1: type 'string' is not a type of a global"},
        {Changed("[0.05, null]", "[0.05]"), "experiment 1: 1 values for 2 globals"},
        {Changed("[0.05, null]", R"([0.05, "x"])"), "experiment 1: a value that is not a number"},
        {Changed(R"("time": 10)", R"("time": "10")"), "variable 0: 'time' is missing or not a number"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(ParseDescription(c.text, error)) << c.expect;
        EXPECT_NE(error.find(c.expect), std::string::npos) << c.expect << ": " << error;
    }
}

// A simulator that is missing, fails or cannot describe itself stops the
// study before anything runs, with its own first lines of explanation.
TEST(SimulatorDescription, ASimulatorThatCannotDescribeItselfIsNamed) {
    ScratchDir dir;
    const std::string old = dir / "old_sim.sh";
    WriteBytes(old, "#!/bin/sh\necho 'ERROR: Unrecognized Command Line option: -D' >&2\nfor i in 1 2 3 4 5 6; do "
                    "echo usage line $i >&2; done\nexit 1\n");
    WriteBytes(dir / "silent.sh", "#!/bin/sh\nexit 0\n");
    RunShell("chmod +x " + old + " " + (dir / "silent.sh"), dir);
    struct Case {
        std::string sim, expect;
    };
    const Case cases[] = {
        {dir / "missing", " is not an executable file (build it, or name it with --sim)"},
        {old, "could not describe its model (exit status 1)\n  ERROR: Unrecognized Command Line option: -D\n"},
        {dir / "silent.sh", "its description (-D) cannot be read: it is not a JSON object"},
    };
    for (const Case& c : cases) {
        const auto r = RunShell(Simmgr() + " run --sim " + c.sim + " --reps 10", dir);
        EXPECT_EQ(r.status, 2) << c.sim;
        EXPECT_NE(r.err.find(c.expect), std::string::npos) << c.sim << ": " << r.err;
        EXPECT_NE(r.err.find("(3 more lines)"), c.sim == old ? std::string::npos : 0) << r.err;
    }
    std::string error;
    const auto c = DescribeSimulator(FakeSim(), "", error);
    ASSERT_TRUE(c) << error;
    EXPECT_EQ(c->identity, kFakeModel);
}
