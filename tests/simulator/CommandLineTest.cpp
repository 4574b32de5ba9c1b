#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simulator/SimulatorClass.h"

namespace {

// Runs the parser on a fresh simulator and keeps what it printed.
struct Parsed {
  int status;
  std::string out;
  std::string err;
};

class CommandLineTest : public ::testing::Test {
 protected:
  Parsed Parse(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "basic_model_sim");
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    int status = sim.ParseCommandLineOptions(static_cast<int>(argv.size()), argv.data());
    std::string err = ::testing::internal::GetCapturedStderr();
    std::string out = ::testing::internal::GetCapturedStdout();
    return {status, out, err};
  }
  SimulatorClass sim{SimulatorClass::FieldsOnly{}};
};

TEST_F(CommandLineTest, NoArgumentIsAnError) {
  std::vector<char*> argv{const_cast<char*>("basic_model_sim")};
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(sim.ParseCommandLineOptions(1, argv.data()), 1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "ERROR: No command line options specified\n");
}

TEST_F(CommandLineTest, StrayArgumentKeepsTheDefaults) {
  Parsed parsed = Parse({"x"});
  EXPECT_EQ(parsed.status, 0);
  EXPECT_EQ(parsed.out, "");
  EXPECT_EQ(sim.reportSize, 1000);
  EXPECT_EQ(sim.maxBatches, 0);
  EXPECT_EQ(sim.seed, 31415u);
  EXPECT_EQ(sim.port, 10000);
  EXPECT_EQ(sim.isTerminating, 1);
  EXPECT_FALSE(sim.tarvekTrace);
}

TEST_F(CommandLineTest, EveryOptionIsStoredAndEchoedInArgumentOrder) {
  Parsed parsed = Parse({"-a", "out.txt", "-bout.bin", "-c", "3", "-e", "2", "-n", "7", "-N", "9",
                         "-p", "12345", "-r", "1", "-s", "42", "-t", "0", "-w", "-O",
                         "f:ram_size:256", "-l", "2", "-f", "tr"});
  ASSERT_EQ(parsed.status, 0) << parsed.err;
  EXPECT_EQ(parsed.out,
            "ASCIIFilename: out.txt\nBinFilename: out.bin\nClientID: 3\nExperiment: 2\n"
            "ReportSize: 7\nMax Number of Batches: 9\nPort: 12345\n"
            "Random Number Generator: 1\nRandom Number Seed: 42\n"
            "Is Terminating Simulation: 0\nWait For Socket Enabled\n"
            "OverrideString is f:ram_size:256\nTraceLevel: 2\nTraceFile: tr\n");
  EXPECT_STREQ(sim.asciiFilename, "out.txt");
  EXPECT_STREQ(sim.binFilename, "out.bin");
  EXPECT_EQ(sim.clientID, 3);
  EXPECT_EQ(sim.experiment, 2);
  EXPECT_EQ(sim.reportSize, 7);
  EXPECT_EQ(sim.maxBatches, 9);
  EXPECT_EQ(sim.rngType, 1);
  EXPECT_EQ(sim.seed, 42u);
  EXPECT_EQ(sim.isTerminating, 0);
  EXPECT_TRUE(sim.waitForSocket);
  EXPECT_STREQ(sim.overrideString, "f:ram_size:256");
  EXPECT_EQ(sim.traceLevel, 2);
  EXPECT_STREQ(sim.traceFilename, "tr");
  // -f / -l alone switch plain-text tracing on.
  EXPECT_TRUE(sim.tarvekTrace);
  EXPECT_FALSE(sim.xmlTrace);
}

TEST_F(CommandLineTest, NumbersKeepTheirWidths) {
  Parsed parsed = Parse({"-s-5", "-e-1", "-p", "65537", "-p70000"});
  ASSERT_EQ(parsed.status, 0);
  EXPECT_EQ(parsed.out,
            "Random Number Seed: 4294967291\nExperiment: 4294967295\nPort: 1\nPort: 4464\n");
  EXPECT_EQ(sim.port, 4464);
  Parsed negative = Parse({"-p", "40000"});
  EXPECT_EQ(negative.out, "Port: -25536\n");
}

TEST_F(CommandLineTest, LaterOptionsOverrideEarlierOnes) {
  Parsed parsed = Parse({"-s", "1", "-s", "2", "-N", "5", "-N-3"});
  ASSERT_EQ(parsed.status, 0);
  EXPECT_EQ(sim.seed, 2u);
  EXPECT_EQ(sim.maxBatches, 0 - 3);
  EXPECT_EQ(Parse({"-cabc"}).out, "ClientID: 0\n");
}

TEST_F(CommandLineTest, ParameterRulesForEveryOption) {
  for (const char* letter : {"a", "b", "B", "c", "D", "e", "f", "l", "n", "N", "p", "r", "s", "t"}) {
    std::string option = std::string("-") + letter;
    Parsed last = Parse({option});
    EXPECT_EQ(last.status, 1);
    EXPECT_EQ(last.err, "Expect a parameter after '" + option + "'\n");
    // A following argument that begins with '-' is never a parameter.
    Parsed dashed = Parse({option, "-5"});
    EXPECT_EQ(dashed.status, 1);
    EXPECT_EQ(dashed.err, "Expect a parameter after '" + option + "'\n");
  }
  for (const char* letter : {"m", "x", "w"}) {
    std::string option = std::string("-") + letter;
    Parsed attached = Parse({option + "1"});
    EXPECT_EQ(attached.status, 1);
    EXPECT_EQ(attached.err, "Did not expect a parameter after '" + option + "'\n");
    Parsed separate = Parse({option, "value"});
    EXPECT_EQ(separate.status, 1);
    EXPECT_EQ(separate.err, "Did not expect a parameter after '" + option + "'\n");
  }
  Parsed bareOverride = Parse({"-O"});
  EXPECT_EQ(bareOverride.status, 0);
  EXPECT_EQ(bareOverride.out, "");
  EXPECT_EQ(sim.overrideString, nullptr);
}

TEST_F(CommandLineTest, UnknownOptionIsNamedAsTyped) {
  Parsed parsed = Parse({"-z42"});
  EXPECT_EQ(parsed.status, 1);
  EXPECT_EQ(parsed.err, "ERROR: Unrecognized Command Line option: -z42\n");
  EXPECT_EQ(Parse({"-"}).err, "ERROR: Unrecognized Command Line option: -\n");
}

TEST_F(CommandLineTest, ArgumentLengthLimit) {
  std::string name(126, 'n');
  Parsed accepted = Parse({"-a" + name});
  EXPECT_EQ(accepted.status, 0);
  Parsed refused = Parse({"-a" + name + "n"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "ERROR: Command Line Argument Too Long, Limited to 128 Characters\n");
  // A separate parameter is not measured.
  EXPECT_EQ(Parse({"-a", name + "nnnn"}).status, 0);
}

TEST_F(CommandLineTest, TracingSwitches) {
  EXPECT_EQ(Parse({"-l", "3", "-x"}).status, 0);
  EXPECT_TRUE(sim.xmlTrace);
  EXPECT_FALSE(sim.tarvekTrace);  // -x given: -l does not add plain text
  EXPECT_EQ(Parse({"-m"}).status, 0);
  EXPECT_TRUE(sim.tarvekTrace);
}

TEST_F(CommandLineTest, ReportSizeBelowOneIsRefused) {
  for (const char* size : {"0", "-n-4"}) {
    Parsed parsed = std::string(size) == "0" ? Parse({"-n", size}) : Parse({size});
    EXPECT_EQ(parsed.status, 1);
    EXPECT_NE(parsed.err.find("Report size (-n) must be at least 1"), std::string::npos);
    EXPECT_EQ(parsed.out, "");
  }
}

TEST_F(CommandLineTest, UsageText) {
  ::testing::internal::CaptureStderr();
  sim.PrintUsage();
  std::string usage = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(usage.rfind("Valid Options\n-a <name>: write ASCII output to file <name>\n", 0), 0u);
  EXPECT_NE(usage.find("-m: Enable Tarvek trace \n-l <num>: Trace Level (1, 2,3,4 [default=1])\n"),
            std::string::npos);
  EXPECT_NE(usage.find("-w: Simulator will wait to send output until socket connection is "
                       "established.\n\n"),
            std::string::npos);
  EXPECT_EQ(usage.find("-O"), std::string::npos);
  EXPECT_EQ(usage.find("-B"), std::string::npos);
  EXPECT_EQ(usage.find("-D"), std::string::npos);
}

TEST_F(CommandLineTest, DescriptionFileIsStoredAndEchoed) {
  Parsed parsed = Parse({"-D", "model.json"});
  EXPECT_EQ(parsed.status, 0);
  EXPECT_EQ(parsed.out, "DescriptionFile: model.json\n");
  ASSERT_NE(sim.descriptionFilename, nullptr);
  EXPECT_STREQ(sim.descriptionFilename, "model.json");
}

}  // namespace
