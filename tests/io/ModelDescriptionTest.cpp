// The description's JSON text: escaped strings, numbers that read back to
// the values of their types, and a file that appears whole or not at all.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "io/ModelDescription.h"

namespace {

using description::Description;
using description::Value;

Description Sample() {
  Description d;
  d.model = "m";
  d.identity = "m-0123456789abcdef";
  d.study = "s";
  d.globals = {{"f", "float"}, {"d", "double"}, {"i", "int"}};
  d.experiments = {{"Experiment 1", {Value::OfFloat(0.1f), Value::OfDouble(0.1), Value::OfInteger(-3)}}};
  d.variables = {{"v", 30.0}, {"w", 0.25}};
  return d;
}

TEST(ModelDescription, StringsAreEscaped) {
  EXPECT_EQ(description::JsonString("plain"), "\"plain\"");
  EXPECT_EQ(description::JsonString("say \"hi\"\\now"), "\"say \\\"hi\\\"\\\\now\"");
  EXPECT_EQ(description::JsonString(std::string("tab\tnew\nnul", 11) + std::string(1, '\0')),
            "\"tab\\u0009new\\u000anul\\u0000\"");

  Description d = Sample();
  d.study = "a \"quoted\" study\\name";
  d.globals[0].name = "line\nbreak";
  const nlohmann::json parsed = nlohmann::json::parse(description::ToJson(d));
  EXPECT_EQ(parsed[description::kStudy], d.study);
  EXPECT_EQ(parsed[description::kGlobals][0][description::kName], "line\nbreak");
}

TEST(ModelDescription, KeysAndLayout) {
  const std::string text = description::ToJson(Sample());
  EXPECT_EQ(text,
            "{\"format\": 1,\n"
            " \"model\": \"m\",\n"
            " \"identity\": \"m-0123456789abcdef\",\n"
            " \"study\": \"s\",\n"
            " \"globals\": [{\"name\": \"f\", \"type\": \"float\"},\n"
            "   {\"name\": \"d\", \"type\": \"double\"},\n"
            "   {\"name\": \"i\", \"type\": \"int\"}],\n"
            " \"experiments\": [{\"name\": \"Experiment 1\", \"values\": [0.1, 0.1, -3]}],\n"
            " \"variables\": [{\"name\": \"v\", \"time\": 30},\n"
            "   {\"name\": \"w\", \"time\": 0.25}]}\n");
  const nlohmann::json empty = nlohmann::json::parse(description::ToJson(Description{}));
  EXPECT_EQ(empty[description::kFormat], description::kFormatVersion);
  EXPECT_TRUE(empty[description::kGlobals].empty());
}

// Each value reads back to itself in its own type; one that is not finite
// is null.
TEST(ModelDescription, NumbersReadBackExactly) {
  const float floats[] = {0.1f, 1.0f / 3.0f, 16777217.0f, 1e-45f, 3.4028235e38f, -0.005f};
  const double doubles[] = {0.1, 1.0 / 3.0, 1e-300, 1.7976931348623157e308, 20000.0, 5e-324};
  Description d;
  d.globals = {{"x", "float"}};
  for (float f : floats) d.experiments.push_back({"e", {Value::OfFloat(f)}});
  for (double v : doubles) d.experiments.push_back({"e", {Value::OfDouble(v)}});
  d.experiments.push_back({"e", {Value::OfDouble(std::numeric_limits<double>::infinity())}});
  d.experiments.push_back({"e", {Value::OfFloat(std::nanf(""))}});
  d.experiments.push_back({"e", {Value::OfInteger(-9007199254740993LL)}});
  const nlohmann::json parsed = nlohmann::json::parse(description::ToJson(d));
  const nlohmann::json& experiments = parsed[description::kExperiments];
  size_t i = 0;
  // A float's text is read as a float, as a reader that knows the type does.
  for (float f : floats) {
    Description one;
    one.experiments = {{"e", {Value::OfFloat(f)}}};
    const std::string text = description::ToJson(one);
    const size_t start = text.find("\"values\": [") + 11;
    EXPECT_EQ(std::strtof(text.c_str() + start, nullptr), f) << text;
    EXPECT_EQ(experiments[i++]["values"][0].get<double>(), std::strtod(text.c_str() + start, nullptr));
  }
  for (double v : doubles) EXPECT_EQ(experiments[i++]["values"][0].get<double>(), v);
  EXPECT_TRUE(experiments[i++]["values"][0].is_null());
  EXPECT_TRUE(experiments[i++]["values"][0].is_null());
  EXPECT_EQ(experiments[i]["values"][0].get<int64_t>(), -9007199254740993LL);
  // The shortest text of the float, not of the double it widens to.
  EXPECT_NE(description::ToJson(d).find("[0.1]"), std::string::npos);
}

TEST(ModelDescription, FileIsWrittenWholeOrNotAtAll) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("description_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::string error;
  ASSERT_TRUE(description::WriteDescriptionFile((dir / "d.json").string(), Sample(), error)) << error;
  std::ifstream in(dir / "d.json");
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), description::ToJson(Sample()));
  // Written again over the old one, and no temporary is left beside it.
  ASSERT_TRUE(description::WriteDescriptionFile((dir / "d.json").string(), Sample(), error));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

  EXPECT_FALSE(description::WriteDescriptionFile((dir / "none" / "d.json").string(), Sample(), error));
  EXPECT_FALSE(error.empty());
  // A directory in the way: the temporary is written, the rename fails.
  fs::create_directories(dir / "taken");
  fs::create_directories(dir / "taken" / "x");
  EXPECT_FALSE(description::WriteDescriptionFile((dir / "taken").string(), Sample(), error));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
  fs::remove_all(dir);
}

}  // namespace
