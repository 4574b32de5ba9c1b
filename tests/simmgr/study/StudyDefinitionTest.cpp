// Studies of the user's own: --set and --vary are checked against the
// model's variables before anything runs, --vary's cross product is numbered
// like nested loops in the order given, the values shown are the ones the
// simulator is given, and a setting changes every block's identity.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "simmgr/blocks/BlockLayout.h"
#include "simmgr/study/StudyDefinition.h"

namespace {

// The built-in study's shape: four float globals, experiments 0 to 8 with
// power_cycle_rate doubling from 1/32.
StudyCatalog BuiltIn() {
    StudyCatalog c;
    c.globalNames = {"flash_size", "power_cycle_rate", "ram_size", "random_failure_rate"};
    c.globalTypes = {"float", "float", "float", "float"};
    for (int e = 0; e < 9; ++e) {
        ExperimentInfo info;
        info.name = "Experiment " + std::to_string(e + 1);
        info.simExperiment = e;
        info.globals = {64, 0.03125 * (1 << e), 128, static_cast<double>(0.005f)};
        c.experiments.push_back(info);
    }
    return c;
}

struct Outcome {
    std::optional<DefinedStudy> study;
    std::string error;
};

Outcome Define(std::vector<std::string> sets, std::vector<std::string> varies, std::vector<std::string> simArgs = {},
               std::vector<int> chosen = {0}) {
    Outcome o;
    o.study = DefineStudy(BuiltIn(), StudyRequest{sets, varies, simArgs, chosen}, o.error);
    return o;
}

void ExpectRefused(const Outcome& o, const std::string& part) {
    EXPECT_FALSE(o.study.has_value());
    EXPECT_NE(o.error.find(part), std::string::npos) << o.error;
}

}  // namespace

TEST(StudyRequest, BadSettingsAreRefusedWithWhatIsWrong) {
    const std::string listing = "(its global variables: flash_size, power_cycle_rate, ram_size, random_failure_rate)";
    ExpectRefused(Define({"ram_sise=1"}, {}), "--set ram_sise=1: the model has no global variable 'ram_sise' " + listing);
    ExpectRefused(Define({}, {"disk=1,2"}), "no global variable 'disk'");
    ExpectRefused(Define({"ram_size=big"}, {}), "--set ram_size=big: 'big' is not a number");
    ExpectRefused(Define({"ram_size="}, {}), "'' is not a number");
    ExpectRefused(Define({"ram_size=1e99"}, {}), "out of range for ram_size (a float)");
    for (const char* unread : {"ram_size=inf", "ram_size=nan", "ram_size= 1", "ram_size=1 "})
        ExpectRefused(Define({unread}, {}), "is not a number");
    ExpectRefused(Define({"ram_size"}, {}), "--set ram_size: expected NAME=VALUE");
    ExpectRefused(Define({}, {"ram_size=1,,2"}), "'' is not a number");
    ExpectRefused(Define({}, {"ram_size=1,2,1.0"}), "the value 1 comes twice");
    ExpectRefused(Define({"ram_size=1"}, {"ram_size=1,2"}), "ram_size is also given to --set");
    ExpectRefused(Define({}, {"ram_size=1", "ram_size=2"}), "ram_size is varied twice");
    ExpectRefused(Define({}, {"ram_size=1,2"}, {}, {0, 4}), "--vary starts from one built-in experiment");
    ExpectRefused(Define({}, {"ram_size=1,2"}, {"-Of:flash_size:1"}), "cannot be combined with --set or --vary");
}

TEST(StudyRequest, RawOverridesAreReadAsTheSimulatorReadsThem) {
    // Both the attached and the separate form; the last -O is the one simulated.
    for (const auto& args : std::vector<std::vector<std::string>>{{"-Of:ram_size:1"}, {"-O", "f:ram_size:1"},
                                                                   {"-Of:ram_size:7", "-Of::ram_size:1:"}}) {
        const Outcome o = Define({}, {}, args);
        ASSERT_TRUE(o.study) << o.error;
        EXPECT_EQ(o.study->catalog.experiments[3].globals[2], 1.0);
        EXPECT_EQ(o.study->catalog.experiments[3].overrides, "") << "the raw option itself reaches the simulator";
    }
    ExpectRefused(Define({}, {}, {"-Of:ram_size"}), "the override string is incomplete");
    ExpectRefused(Define({}, {}, {"-O"}), "no override string follows");
    ExpectRefused(Define({}, {}, {"-O", "-x"}), "no override string follows");
    ExpectRefused(Define({}, {}, {"-Od:ram_size:1"}), "'d' is not the type letter of ram_size, a float (its letter is f)");
    ExpectRefused(Define({}, {}, {"-Of:ram:1"}), "no global variable 'ram'");
    ExpectRefused(Define({}, {}, {"-Of:ram_size:1x"}), "'1x' is not a number");
}

TEST(StudyRequest, SetChangesEveryExperimentAndShowsTheSimulatedValue) {
    const Outcome o = Define({"ram_size=256", "random_failure_rate=0.01", "ram_size=0.1"}, {}, {}, {2, 5});
    ASSERT_TRUE(o.study) << o.error;
    const StudyCatalog& c = o.study->catalog;
    EXPECT_EQ(o.study->experiments, (std::vector<int>{2, 5}));
    ASSERT_EQ(c.NumExperiments(), 9) << "the built-in numbering and seeds stay";
    for (int e = 0; e < 9; ++e) {
        EXPECT_EQ(c.experiments[e].simExperiment, e);
        EXPECT_EQ(c.experiments[e].overrides, "f:ram_size:0.1:f:random_failure_rate:0.01") << "the later --set wins";
        EXPECT_EQ(c.experiments[e].globals[2], static_cast<double>(0.1f)) << "a float holds the float nearest 0.1";
    }
    EXPECT_EQ(c.ExperimentName(5), "Experiment 6");
    EXPECT_EQ(c.Heading(5), "Experiment 6 (-e 5)");
}

TEST(StudyRequest, VaryIsTheCrossProductFirstSlowest) {
    const Outcome o = Define({"flash_size=32"}, {"power_cycle_rate=0.5,1", "ram_size=64,128,2.5e2"}, {}, {3});
    ASSERT_TRUE(o.study) << o.error;
    const StudyCatalog& c = o.study->catalog;
    ASSERT_EQ(c.NumExperiments(), 6);
    EXPECT_EQ(o.study->experiments, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(c.varied, (std::vector<int>{1, 2}));
    const std::vector<std::string> names = {
        "power_cycle_rate=0.5 ram_size=64", "power_cycle_rate=0.5 ram_size=128", "power_cycle_rate=0.5 ram_size=250",
        "power_cycle_rate=1 ram_size=64",   "power_cycle_rate=1 ram_size=128",   "power_cycle_rate=1 ram_size=250"};
    for (int e = 0; e < 6; ++e) {
        EXPECT_EQ(c.ExperimentName(e), names[e]);
        EXPECT_EQ(c.experiments[e].simExperiment, 3) << "every experiment starts from the one chosen";
        EXPECT_EQ(c.experiments[e].globals[0], 32);
        EXPECT_EQ(c.experiments[e].globals[1], e < 3 ? 0.5 : 1.0);
        EXPECT_EQ(c.experiments[e].globals[3], static_cast<double>(0.005f)) << "the rest from experiment 3";
    }
    EXPECT_EQ(c.experiments[2].overrides, "f:flash_size:32:f:power_cycle_rate:0.5:f:ram_size:250");
    EXPECT_EQ(c.Heading(2), "power_cycle_rate=0.5 ram_size=250 (#2, -e 3)");
}

TEST(StudyRequest, OverridesTooLongForTheSimulatorAreRefused) {
    StudyCatalog c = BuiltIn();
    const std::string longName(120, 'v');
    c.globalNames.push_back(longName);
    c.globalTypes.push_back("double");
    for (ExperimentInfo& info : c.experiments) info.globals.push_back(0);
    std::string error;
    EXPECT_TRUE(DefineStudy(c, StudyRequest{{longName + "=1"}, {}, {}, {0}}, error)) << error;
    EXPECT_FALSE(DefineStudy(c, StudyRequest{{longName + "=1", "ram_size=2"}, {}, {}, {0}}, error));
    EXPECT_NE(error.find("the simulator takes at most 128"), std::string::npos) << error;
}

TEST(BlockIdentity, SettingsAndTheStartingExperimentNameTheBlocks) {
    BlockLayout plain;
    plain.model = "basic_model-0123456789abcdef";
    plain.seedStride = 9;
    BlockLayout set = plain;
    set.selections.assign(9, SimSelection{});
    for (int e = 0; e < 9; ++e) set.selections[e] = SimSelection{e, "f:ram_size:1"};
    BlockLayout varied = plain;
    varied.selections = {SimSelection{4, "f:ram_size:1"}, SimSelection{4, "f:ram_size:2"}};
    varied.seedStride = 2;

    EXPECT_EQ(plain.FileName(3, 1), "basic_model-0123456789abcdef_e3_b1_s31427_n1000.bin");
    EXPECT_EQ(set.FileName(3, 1), "basic_model-0123456789abcdef_e3_b1_s31427_n1000_o-Of:ram%5Fsize:1.bin");
    EXPECT_EQ(varied.FileName(1, 0), "basic_model-0123456789abcdef_e1_b0_s31416_n1000_o-e4%20-Of:ram%5Fsize:2.bin");
    EXPECT_EQ(set.SelectionArgs(3), (std::vector<std::string>{"-e", "3", "-Of:ram_size:1"}));
    EXPECT_EQ(varied.SelectionArgs(1), (std::vector<std::string>{"-e", "4", "-Of:ram_size:2"}));

    // Each layout holds its own blocks only.
    for (const BlockLayout* owner : {&plain, &set, &varied}) {
        for (const BlockLayout* other : {&plain, &set, &varied}) {
            const auto name = ParseBlockFileName(owner->FileName(1, 0));
            ASSERT_TRUE(name);
            EXPECT_EQ(other->Holds(*name), owner == other) << owner->FileName(1, 0);
        }
    }
}

TEST(StudyValues, AFloatIsRoundedOnceAsTheSimulatorRoundsIt) {
    // Just above the midpoint between 1 and the next float: read as a double
    // first, it lands on the midpoint and then rounds to 1.
    const std::string text = "1.0000000596046447753906250000001";
    const double simulated = static_cast<double>(std::nextafter(1.0f, 2.0f));
    for (const Outcome& o : {Define({}, {}, {"-Of:ram_size:" + text}), Define({"ram_size=" + text}, {})}) {
        ASSERT_TRUE(o.study) << o.error;
        EXPECT_EQ(o.study->catalog.experiments[0].globals[2], simulated);
    }
    const Outcome set = Define({"ram_size=" + text}, {});
    EXPECT_EQ(set.study->catalog.experiments[0].overrides, "f:ram_size:1.0000001");
}

TEST(StudyValues, TheWholeRangeOfAFloatAndNoMore) {
    const Outcome largest = Define({"ram_size=3.4028235e38"}, {});
    ASSERT_TRUE(largest.study) << largest.error;
    EXPECT_EQ(largest.study->catalog.experiments[0].globals[2], static_cast<double>(FLT_MAX));
    EXPECT_EQ(largest.study->catalog.experiments[0].overrides, "f:ram_size:3.4028235e+38");
    ExpectRefused(Define({"ram_size=3.4028236e38"}, {}), "out of range for ram_size (a float)");
    ExpectRefused(Define({"ram_size=-1e39"}, {}), "out of range for ram_size (a float)");
    ExpectRefused(Define({"ram_size=1e-50"}, {}), "out of range for ram_size (a float)");
    const Outcome tiny = Define({"ram_size=1e-45"}, {});
    ASSERT_TRUE(tiny.study) << tiny.error;
    EXPECT_EQ(tiny.study->catalog.experiments[0].globals[2], static_cast<double>(std::numeric_limits<float>::denorm_min()));
}

TEST(StudyValues, EqualValuesAreOneValueWhateverTheirText) {
    ExpectRefused(Define({}, {"ram_size=0,-0"}), "comes twice");
    ExpectRefused(Define({}, {"ram_size=0.1,0.10000000149"}), "comes twice");
    EXPECT_TRUE(Define({}, {"ram_size=1.0000001,1.0000002"}).study);
}

TEST(StudyValues, TheSimulatorIsGivenTextThatReadsBackToTheValueShown) {
    const std::vector<std::string> values = {"0.1", "1e-45", "3.4028235e38", "1.0000001", "-2.5e-39", "16777217", "0.005"};
    std::string list;
    for (const std::string& v : values) list += (list.empty() ? "" : ",") + v;
    const Outcome o = Define({}, {"ram_size=" + list});
    ASSERT_TRUE(o.study) << o.error;
    for (const ExperimentInfo& info : o.study->catalog.experiments) {
        const std::string text = info.overrides.substr(info.overrides.rfind(':') + 1);
        float read = 0;
        ASSERT_EQ(std::sscanf(text.c_str(), "%f", &read), 1);
        EXPECT_EQ(static_cast<double>(read), info.globals[2]) << info.overrides;
        EXPECT_EQ(info.name, "ram_size=" + text);
    }
    EXPECT_EQ(o.study->catalog.experiments[6].overrides, "f:ram_size:0.005") << "an ordinary value keeps its text";
}
