// The change-of-measure reader: what it accepts, how it evaluates, and that
// every refusal names the file and line.
#include "simulator/ChangeOfMeasure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

// A vocabulary like the composed model's: two global variables, a shared
// place named unqualified and qualified, a group of cases named with and
// without its suffix, a single exponential activity and a deterministic one.
struct Model {
  float ramSize = 128.0f;
  float failureRate = 0.005f;
  short corrupted = 0;
  short* corruptedCell = &corrupted;
  short working = 1;
  short* workingCell = &working;
  MeasureVocabulary vocabulary;

  Model() {
    vocabulary.globals = {{"ram_size", ramSize}, {"random_failure_rate", failureRate}};
    vocabulary.places = {{"flash_corrupted", &corruptedCell},
                         {"flash_system.flash_corrupted", &corruptedCell},
                         {"ram_system.ram_working", &workingCell}};
    vocabulary.rateTargets = {{"bit_errorGroup", 0}, {"bit_error", 0}, {"sefi", 1}};
    vocabulary.caseTargets = {{"bit_error_case1", 0}, {"bit_error_case2", 1}};
    vocabulary.otherActions = {{"watchdog_reboot", "a deterministic activity"},
                               {"failure", "an instantaneous activity"}};
  }
  ChangeOfMeasure Parse(const std::string& text) const {
    return ChangeOfMeasure("cm.txt", text, vocabulary);
  }
  // The message of the refusal of `text`, or "" when it is accepted.
  std::string Refusal(const std::string& text) const {
    try {
      Parse(text);
    } catch (const MeasureError& error) {
      return error.what();
    }
    return "";
  }
  double SefiMultiplier(const std::string& expression) const {
    return Parse("rate sefi = " + expression).RateMultiplier(1).value;
  }
};

TEST(ChangeOfMeasureTest, ArithmeticFollowsTheUsualPrecedence) {
  Model model;
  EXPECT_DOUBLE_EQ(model.SefiMultiplier("1 + 2 * 3"), 7.0);
  EXPECT_DOUBLE_EQ(model.SefiMultiplier("(1 + 2) * 3"), 9.0);
  EXPECT_DOUBLE_EQ(model.SefiMultiplier("2 ^ 3 ^ 2"), 512.0);  // right-associative
  EXPECT_DOUBLE_EQ(model.SefiMultiplier("0 - -2 ^ 2 + 5"), 9.0);  // -2^2 = -4
  EXPECT_DOUBLE_EQ(model.SefiMultiplier("2 ^ -1"), 0.5);
  EXPECT_DOUBLE_EQ(model.SefiMultiplier("8 / 4 / 2"), 1.0);  // left-associative
  EXPECT_DOUBLE_EQ(model.SefiMultiplier("min(3, max(1, 2)) + sqrt(4) + exp(0) + log(1)"), 5.0);
  EXPECT_DOUBLE_EQ(model.SefiMultiplier("2.95e-6 * 1e6"), 2.95);
  EXPECT_DOUBLE_EQ(model.SefiMultiplier("ram_size / 64"), 2.0);
  // The global is read as the float the model reads.
  EXPECT_EQ(model.SefiMultiplier("random_failure_rate"), static_cast<double>(0.005f));
}

TEST(ChangeOfMeasureTest, LetsAreConstantsOfGlobalsAndEarlierLets) {
  Model model;
  ChangeOfMeasure measure = model.Parse(
      "# a comment\n\nlet a = ram_size / 128   # trailing comment\nlet b = a * 3\nrate sefi = b\n");
  model.ramSize = 512.0f;  // computed once, when read
  EXPECT_DOUBLE_EQ(measure.RateMultiplier(1).value, 3.0);
  EXPECT_EQ(measure.RateMultiplier(1).line, 5);
}

TEST(ChangeOfMeasureTest, FirstRuleWhoseConditionHoldsGivesTheMultiplier) {
  Model model;
  ChangeOfMeasure measure = model.Parse(
      "rate bit_error = 50 when flash_corrupted > 0 and not (ram_system.ram_working == 0)\n"
      "rate bit_errorGroup = 2 when flash_system.flash_corrupted >= 0 or flash_corrupted < -1\n"
      "weight bit_error_case2 = 4 when ram_system.ram_working != 1\n");
  EXPECT_EQ(measure.RateMultiplier(0).value, 2.0);
  EXPECT_EQ(measure.RateMultiplier(0).line, 2);
  model.corrupted = 1;  // places are read at evaluation
  EXPECT_EQ(measure.RateMultiplier(0).value, 50.0);
  EXPECT_EQ(measure.RateMultiplier(0).line, 1);
  model.working = 0;
  EXPECT_EQ(measure.RateMultiplier(0).value, 2.0);
  // No rule holds, or none is written: 1.
  model.working = 1;
  EXPECT_EQ(measure.WeightMultiplier(1).value, 1.0);
  EXPECT_EQ(measure.WeightMultiplier(1).line, 0);
  EXPECT_EQ(measure.RateMultiplier(1).value, 1.0);
  EXPECT_FALSE(measure.HasRateRules(1));
  EXPECT_TRUE(measure.HasWeightRules(1));
  EXPECT_EQ(measure.PlacesReadByRate(0).size(), 2u);
}

TEST(ChangeOfMeasureTest, RefusesNamesAndTargetsWithFileLineAndColumn) {
  Model model;
  const std::string unknownName = model.Refusal("\nrate sefi = 2 * bogus");
  EXPECT_EQ(unknownName.rfind("cm.txt:2:17: unknown name 'bogus'", 0), 0u) << unknownName;
  EXPECT_NE(unknownName.find("ram_size"), std::string::npos) << unknownName;
  EXPECT_NE(unknownName.find("ram_system.ram_working"), std::string::npos) << unknownName;

  const std::string unknownActivity = model.Refusal("rate nothing = 2");
  EXPECT_EQ(unknownActivity.rfind("cm.txt:1:6: unknown activity 'nothing'", 0), 0u);
  EXPECT_NE(unknownActivity.find("valid: bit_errorGroup, bit_error, sefi"), std::string::npos)
      << unknownActivity;
  EXPECT_NE(model.Refusal("rate bit_error_case2 = 2").find("cm.txt:1:6: 'bit_error_case2' is a case"),
            std::string::npos);
  EXPECT_NE(model.Refusal("rate watchdog_reboot = 2").find("is a deterministic activity"),
            std::string::npos);
  EXPECT_NE(model.Refusal("rate failure = 2").find("is an instantaneous activity"), std::string::npos);
  const std::string notACase = model.Refusal("weight sefi = 2");
  EXPECT_EQ(notACase.rfind("cm.txt:1:8: 'sefi' is not a case", 0), 0u) << notACase;
  EXPECT_NE(notACase.find("bit_error_case2"), std::string::npos);
  // Only one place of the model may be named unqualified.
  EXPECT_NE(model.Refusal("rate sefi = 2 when ram_working > 0").find("unknown name 'ram_working'"),
            std::string::npos);
}

TEST(ChangeOfMeasureTest, RefusesLetsThatReadPlacesAndConstantBadMultipliers) {
  Model model;
  EXPECT_EQ(model.Refusal("let x = 1\nlet y = flash_corrupted + x"),
            "cm.txt:2:9: let 'y' reads the place 'flash_corrupted'; a let may use global variables, "
            "numbers and earlier lets");
  EXPECT_EQ(model.Refusal("rate sefi = 0"),
            "cm.txt:1:13: rate multiplier of sefi is 0; a multiplier must be a positive finite number");
  EXPECT_NE(model.Refusal("let z = 0\nweight bit_error_case2 = 1 / z").find("cm.txt:2:26: weight multiplier"),
            std::string::npos);
  EXPECT_NE(model.Refusal("rate sefi = -ram_size").find("is -128"), std::string::npos);
  EXPECT_NE(model.Refusal("let a = 1\nlet a = 2").find("cm.txt:2:5: let 'a' is already a name"),
            std::string::npos);
  // A multiplier that reads places is judged when it is evaluated.
  EXPECT_EQ(model.Refusal("rate sefi = flash_corrupted"), "");
}

TEST(ChangeOfMeasureTest, SyntaxErrorsGiveTheColumn) {
  Model model;
  EXPECT_EQ(model.Refusal("rate sefi = (2 + 3"),
            "cm.txt:1:19: syntax error: expected ')', found end of line");
  EXPECT_EQ(model.Refusal("\n\nrate sefi 2"),
            "cm.txt:3:11: syntax error: expected '=', found '2'");
  EXPECT_EQ(model.Refusal("scale sefi = 2"),
            "cm.txt:1:1: syntax error: expected 'let', 'rate' or 'weight', found 'scale'");
  EXPECT_NE(model.Refusal("rate sefi = 2 $").find("cm.txt:1:15: syntax error: unexpected character '$'"),
            std::string::npos);
  EXPECT_NE(model.Refusal("rate sefi = 2 when 3").find("cm.txt:1:20: expected a condition"),
            std::string::npos);
  EXPECT_NE(model.Refusal("rate sefi = 1 < 2").find("cm.txt:1:13: expected a number"), std::string::npos);
  EXPECT_NE(model.Refusal("rate sefi = min(1)").find("min takes two arguments"), std::string::npos);
  EXPECT_NE(model.Refusal("rate sefi = 2 3").find("expected 'when' or end of line"), std::string::npos);
}

// Deep nesting of any kind is refused by line before it can exhaust the
// reader's stack; moderate nesting is read as written.
TEST(ChangeOfMeasureTest, DeepNestingIsRefusedNotOverflowed) {
  Model model;
  const std::string deep = "cm.txt:1:13: expression nested too deeply";
  EXPECT_EQ(model.Refusal("rate sefi = " + std::string(20000, '(') + "1" + std::string(20000, ')')), deep);
  EXPECT_EQ(model.Refusal("rate sefi = " + std::string(20000, '-') + "1"), deep);
  std::string nots;
  for (int i = 0; i < 20000; ++i) nots += "not ";
  EXPECT_EQ(model.Refusal("rate sefi = 2 when " + nots + "ram_working > 0"),
            "cm.txt:1:20: expression nested too deeply");
  EXPECT_EQ(model.SefiMultiplier(std::string(10, '(') + "3" + std::string(10, ')') + " ^ --2"), 9.0);
}

// Folding must leave every place read in place and give, to the bit, what
// the unfolded program gives at any marking.
TEST(ChangeOfMeasureTest, FoldingKeepsPlaceReadsAndTheExactResult) {
  using Op = MeasureExpression::Op;
  float ramSize = 96.0f;
  short tokens = 0;
  short* cell = &tokens;
  auto number = [](double v) { return MeasureExpression::Instruction{Op::Number, v, nullptr}; };
  auto op = [](Op o) { return MeasureExpression::Instruction{o, 0.0, nullptr}; };
  const MeasureExpression::Instruction global = number(ramSize);
  const MeasureExpression::Instruction place{Op::Place, 0.0, &cell};
  // (1 + (ram_size / 512 - 1) * 0.3) * place + exp(-ram_size / 7) ^ 0.5
  MeasureExpression e;
  e.code = {number(1), global, number(512), op(Op::Div), number(1), op(Op::Sub), number(0.3),
            op(Op::Mul), op(Op::Add), place, op(Op::Mul), global, op(Op::Neg), number(7),
            op(Op::Div), op(Op::Exp), number(0.5), op(Op::Pow), op(Op::Add)};
  const MeasureExpression unfolded = e;
  e.FoldConstants();
  ASSERT_EQ(e.code.size(), 5u);  // number, place, mul, number, add
  EXPECT_EQ(e.code[1].op, Op::Place);
  for (short t : {0, 1, 7, -3}) {
    tokens = t;
    EXPECT_EQ(e.Evaluate(), unfolded.Evaluate()) << t;
  }
  // A program that reads no place becomes one number.
  MeasureExpression constant;
  constant.code = {global, number(3), op(Op::Greater), number(1), number(2), op(Op::Less), op(Op::And)};
  constant.FoldConstants();
  ASSERT_EQ(constant.code.size(), 1u);
  EXPECT_EQ(constant.code[0].number, 1.0);
}

// The multipliers remembered per marking follow the marking through more
// markings than are remembered, and back, and keep the line of the rule.
TEST(ChangeOfMeasureTest, RememberedMultipliersFollowTheMarking) {
  Model model;
  ChangeOfMeasure measure = model.Parse(
      "rate sefi = 1 + flash_corrupted when ram_system.ram_working > 0\n"
      "rate sefi = 100 + flash_corrupted\n"
      "weight bit_error_case2 = 2 + flash_corrupted * ram_size\n");
  for (int pass = 0; pass < 2; ++pass)
    for (short t = 0; t < 20; ++t)
      for (short working : {1, 0}) {
        model.corrupted = t;
        model.working = working;
        const ChangeOfMeasure::Multiplier m = measure.RateMultiplier(1);
        EXPECT_EQ(m.value, (working > 0 ? 1.0 : 100.0) + t);
        EXPECT_EQ(m.line, working > 0 ? 1 : 2);
        EXPECT_EQ(measure.WeightMultiplier(1).value, 2.0 + t * 128.0);
      }
  // Asked twice at one marking, the answer is the same.
  EXPECT_EQ(measure.RateMultiplier(1).value, measure.RateMultiplier(1).value);
}

}  // namespace
