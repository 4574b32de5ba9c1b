// The reader: the form of a model file, and refusals that show the line,
// the column and a caret under it.
#include <gtest/gtest.h>

#include "ModelText.h"

using sanc_test::Edited;
using sanc_test::kSmallModel;
using sanc_test::Refusal;

TEST(Reader, ReadsEveryBlockOfTheSmallModel) {
  const sanc::Model m = sanc::ReadModel("m.san", kSmallModel);
  ASSERT_EQ(m.globals.size(), 2u);
  EXPECT_EQ(m.globals[1].type, sanc::Type::Int);
  ASSERT_EQ(m.sans.size(), 2u);
  const sanc::Activity& wear = m.sans[0].activities[0];
  EXPECT_TRUE(wear.explicitCases);
  ASSERT_EQ(wear.cases.size(), 2u);
  EXPECT_EQ(wear.cases[0].weight.text, "1 - size / 512");
  EXPECT_EQ(m.sans[1].places[0].initial.text, "count");  // without its comment
  EXPECT_EQ(wear.cases[1].outputs[0].arc->place.text, "broken");
  const sanc::Activity& fix = m.sans[0].activities[1];
  EXPECT_FALSE(fix.explicitCases);
  ASSERT_EQ(fix.inputGates.size(), 1u);
  EXPECT_EQ(fix.inputGates[0].function[0].kind, sanc::Assignment::Subtract);
  EXPECT_EQ(m.joins[0].shares[0].place.text, "up");
  EXPECT_EQ(m.reward->variables[0].times, (std::vector<double>{1, 10}));
  EXPECT_EQ(m.study->experiments[1].settings[0].global.text, "size");
  EXPECT_EQ(Refusal(kSmallModel), "");
}

TEST(Reader, RefusalsShowLineColumnAndCaret) {
  EXPECT_EQ(Refusal(Edited("place broken = 0", "place broken 0")),
            "m.san:6:16: syntax error: expected '=', found '0'\n"
            "      place broken 0\n"
            "                   ^");
  EXPECT_EQ(Refusal("global float x = (1 + 2\n"),
            "m.san:1:24: syntax error: expected ')', found end of line\n"
            "    global float x = (1 + 2\n"
            "                           ^");
  EXPECT_EQ(Refusal("global float x = 1 $\n").rfind("m.san:1:20: syntax error: unexpected character '$'\n", 0), 0u);
  // An expression of the wrong kind is refused where it starts.
  EXPECT_EQ(Refusal(Edited("input gate broken > 0", "input gate broken + 1"))
                .rfind("m.san:17:16: expected a condition, found a number\n", 0),
            0u);
}

TEST(Reader, StatementsOutsideTheirBlocksAreRefused) {
  EXPECT_NE(Refusal("frobnicate 3\n").find("m.san:1:1: syntax error: expected 'global', 'san', 'join', 'reward' or 'study'"),
            std::string::npos);
  // A case belongs to an activity.
  EXPECT_NE(Refusal(Edited("  timed fix", "  case 0.5\n  timed fix")).find("m.san:16:3: a case belongs to an activity"),
            std::string::npos);
  EXPECT_NE(Refusal(Edited("    case 1 - size", "    output arc up\n    case 1 - size")).find("belong to no case"),
            std::string::npos);
  const std::string unclosed = Refusal("san m\n  place p = 0\n");
  EXPECT_EQ(unclosed.rfind("m.san:1:1: this san has no 'end' (the file ends first)", 0), 0u) << unclosed;
  EXPECT_NE(Refusal(Edited("global int count = 2", "global long count = 2")).find("unknown type 'long'"),
            std::string::npos);
  EXPECT_NE(Refusal(kSmallModel + "study t of r\n  experiment x\nend\n").find("one study block"), std::string::npos);
}

TEST(Reader, ReadsEveryKindOfStatement) {
  std::string text = sanc_test::Edited("    instant 1, 10\n", "    interval 2 to 3\n    submodels machine\n");
  text.replace(text.find("  share up"), 10, "  share up in machine, spare");
  const sanc::Model m = sanc::ReadModel("m.san", sanc_test::Edited("output arc broken", "output arc broken * 3"));
  EXPECT_EQ(m.sans[0].activities[0].cases[1].outputs[0].arc->tokens, 3);
  const sanc::Model other = sanc::ReadModel("m.san", text);
  EXPECT_EQ(other.reward->variables[0].kind, sanc::Variable::Interval);
  EXPECT_EQ(other.reward->variables[0].times, (std::vector<double>{2, 3}));
  EXPECT_EQ(other.reward->variables[0].submodels[0].text, "machine");
  ASSERT_EQ(other.joins[0].shares[0].children.size(), 2u);
  EXPECT_EQ(other.joins[0].shares[0].children[1].text, "spare");
  const sanc::Model settings = sanc::ReadModel("m.san", sanc_test::Edited("set size = 256", "set size = 256, count = 3"));
  EXPECT_EQ(settings.study->experiments[1].settings.size(), 2u);
  // Gate functions: several statements, each kind of assignment.
  const sanc::Model gates = sanc::ReadModel("m.san", sanc_test::Edited("output gate up += 1", "output gate up = 1; broken -= 2; up += broken"));
  const auto& function = gates.sans[0].activities[1].cases[0].outputs[0].gate->function;
  ASSERT_EQ(function.size(), 3u);
  EXPECT_EQ(function[0].kind, sanc::Assignment::Set);
  EXPECT_EQ(function[1].kind, sanc::Assignment::Subtract);
  EXPECT_EQ(function[2].value.text, "broken");
}

TEST(Reader, CommentsBlankLinesAndCarriageReturnsAreLayoutOnly) {
  std::string crlf;
  for (char c : sanc_test::kSmallModel) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(Refusal(crlf), "");
  const std::string commented = "# a model\n\n" + sanc_test::Edited("place broken = 0", "place broken = 0   # none yet");
  EXPECT_EQ(Refusal(commented), "");
  EXPECT_EQ(sanc::ReadModel("m.san", commented).sans[0].places[1].initial.text, "0");
  // Inside an activity, the statements that may follow are listed.
  EXPECT_NE(Refusal(Edited("    input arc up\n", "    place x = 1\n"))
                .find("expected 'input', 'output', 'case', 'reactivate' or 'end', found 'place'"),
            std::string::npos);
  const std::string variable = Refusal("reward r of m\n  variable v\n    instant 1\n");
  EXPECT_EQ(variable.rfind("m.san:2:3: this variable has no 'end'", 0), 0u) << variable;
}
