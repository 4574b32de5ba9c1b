// Line-by-line reader of the format in Reader.h. Each block kind has one
// function that reads its statements until its `end`.
#include "reader/Reader.h"

#include <cctype>
#include <cmath>
#include <sstream>
#include <utility>

#include "common/ContentHash.h"
#include "model/Diagnostic.h"

namespace sanc {
namespace {

class Reader {
 public:
  Reader(const std::string& file, const std::string& text) {
    model_.file = file;
    model_.fileHash = HashBytes(kContentHashStart, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      model_.lines.push_back(line);
    }
  }

  Model Read() {
    while (NextStatement()) {
      if (in_->AtWord("global")) ReadGlobal();
      else if (in_->AtWord("san")) ReadSan();
      else if (in_->AtWord("join")) ReadJoin();
      else if (in_->AtWord("reward")) ReadReward();
      else if (in_->AtWord("study")) ReadStudy();
      else Refuse("'global', 'san', 'join', 'reward' or 'study'");
    }
    return std::move(model_);
  }

 private:
  // --- Lines and tokens ---
  // Moves to the next line that holds a statement; false at the end.
  bool NextStatement() {
    while (next_ < model_.lines.size()) {
      line_ = static_cast<int>(++next_);
      try {
        in_.emplace(expr::Tokenise(model_.lines[next_ - 1]));
      } catch (const expr::Error& e) {
        Fail(model_, {line_, e.column}, e.Plain());
      }
      if (!in_->AtEnd()) return true;
    }
    return false;
  }
  // The next statement of a block that `opened` began; refuses the end of
  // the file.
  void NextInBlock(const char* block, const Where& opened) {
    if (!NextStatement())
      Fail(model_, opened, std::string("this ") + block + " has no 'end' (the file ends first)");
  }
  Where Here() const { return {line_, in_->Peek().column}; }
  [[noreturn]] void Refuse(const std::string& expected) {
    try {
      in_->SyntaxError(expected);
    } catch (const expr::Error& e) {
      Fail(model_, {line_, e.column}, e.Plain());
    }
  }
  void Expect(const char* symbol) {
    if (!in_->AtSymbol(symbol)) Refuse(std::string("'") + symbol + "'");
    in_->Take();
  }
  void ExpectWord(const char* word) {
    if (!in_->AtWord(word)) Refuse(std::string("'") + word + "'");
    in_->Take();
  }
  void ExpectEnd() {
    if (!in_->AtEnd()) Refuse("end of line");
  }
  Name ReadName(const char* what) {
    if (in_->Peek().type != expr::Token::Name || expr::IsKeyword(in_->Peek().text)) Refuse(what);
    const Where where = Here();
    return {in_->Take().text, where};
  }
  Expression ReadExpression(expr::Kind kind, const char* description) {
    Expression e;
    e.where = Here();
    const size_t from = static_cast<size_t>(e.where.column - 1);
    try {
      e.tree = expr::Parse(*in_, kind, description, [](const expr::Token&) {});
    } catch (const expr::Error& error) {
      Fail(model_, {line_, error.column > 0 ? error.column : e.where.column}, error.Plain());
    }
    const std::string& line = model_.lines[static_cast<size_t>(line_) - 1];
    const size_t to = static_cast<size_t>(in_->Peek().column - 1);
    e.text = line.substr(from, to > from ? to - from : 0);
    e.text = e.text.substr(0, e.text.find('#'));  // a comment after the expression
    while (!e.text.empty() && std::isspace(static_cast<unsigned char>(e.text.back()))) e.text.pop_back();
    return e;
  }
  double ReadNumber(const char* what) {
    bool negative = false;
    if (in_->AtSymbol("-")) {
      in_->Take();
      negative = true;
    }
    if (in_->Peek().type != expr::Token::Number) Refuse(what);
    const double value = in_->Take().number;
    return negative ? -value : value;
  }
  int ReadTokens() {
    if (!in_->AtSymbol("*")) return 1;
    in_->Take();
    const Where where = Here();
    const double tokens = ReadNumber("a number of tokens");
    if (tokens < 1 || tokens > 32767 || tokens != std::floor(tokens))
      Fail(model_, where, "an arc carries a whole number of tokens from 1 to 32767");
    return static_cast<int>(tokens);
  }
  // NAME, NAME, ... to the end of the line.
  std::vector<Name> ReadNameList(const char* what) {
    std::vector<Name> names{ReadName(what)};
    while (in_->AtSymbol(",")) {
      in_->Take();
      names.push_back(ReadName(what));
    }
    ExpectEnd();
    return names;
  }

  // --- Top level ---
  void ReadGlobal() {
    in_->Take();
    Global global;
    const Where typeAt = Here();
    const std::string type = ReadName("a type (float, double, int, short or char)").text;
    static const std::pair<const char*, Type> kTypes[] = {
        {"float", Type::Float}, {"double", Type::Double}, {"int", Type::Int}, {"short", Type::Short},
        {"char", Type::Char}};
    bool known = false;
    for (const auto& [name, value] : kTypes)
      if (type == name) {
        global.type = value;
        known = true;
      }
    if (!known) Fail(model_, typeAt, "unknown type '" + type + "' (types: float, double, int, short, char)");
    global.name = ReadName("a name");
    Expect("=");
    global.value = ReadExpression(expr::Kind::Number, "a number");
    ExpectEnd();
    model_.globals.push_back(std::move(global));
  }

  void ReadSan() {
    const Where opened = Here();
    in_->Take();
    San san;
    san.name = ReadName("a name");
    ExpectEnd();
    for (;;) {
      NextInBlock("san", opened);
      if (in_->AtWord("end")) break;
      if (in_->AtWord("place")) {
        in_->Take();
        Place place;
        place.name = ReadName("a place name");
        Expect("=");
        place.initial = ReadExpression(expr::Kind::Number, "a number");
        ExpectEnd();
        san.places.push_back(std::move(place));
      } else if (in_->AtWord("timed") || in_->AtWord("instantaneous")) {
        san.activities.push_back(ReadActivity());
      } else if (in_->AtWord("case") || in_->AtWord("input") || in_->AtWord("output")) {
        Fail(model_, Here(), "a" + std::string(in_->AtWord("case") ? " case" : "n " + in_->Peek().text) +
                                 " belongs to an activity: put it between 'timed NAME ...' (or 'instantaneous NAME') and 'end'");
      } else {
        Refuse("'place', 'timed', 'instantaneous' or 'end'");
      }
    }
    in_->Take();
    ExpectEnd();
    model_.sans.push_back(std::move(san));
  }

  // --- Activities ---
  Activity ReadActivity() {
    const Where opened = Here();
    Activity activity;
    activity.timed = in_->Take().text == "timed";
    activity.name = ReadName("an activity name");
    if (activity.timed) ReadDistribution(activity);
    ExpectEnd();
    Case* current = nullptr;
    for (;;) {
      NextInBlock("activity", opened);
      if (in_->AtWord("end")) break;
      if (in_->AtWord("input")) {
        if (current != nullptr) Fail(model_, Here(), "inputs come before the first case");
        ReadInput(activity);
      } else if (in_->AtWord("output")) {
        if (current == nullptr) current = &ImplicitCase(activity);
        current->outputs.push_back(ReadOutput());
      } else if (in_->AtWord("case")) {
        if (current != nullptr && !activity.explicitCases)
          Fail(model_, Here(), "outputs before the first case belong to no case; put them under a case");
        Case c;
        c.where = Here();
        in_->Take();
        c.weight = ReadExpression(expr::Kind::Number, "a weight");
        ExpectEnd();
        activity.explicitCases = true;
        activity.cases.push_back(std::move(c));
        current = &activity.cases.back();
      } else if (in_->AtWord("reactivate")) {
        in_->Take();
        ExpectWord("when");
        activity.reactivation = ReadExpression(expr::Kind::Condition, "a condition");
        ExpectEnd();
      } else {
        Refuse("'input', 'output', 'case', 'reactivate' or 'end'");
      }
    }
    activity.endLine = line_;
    in_->Take();
    ExpectEnd();
    if (activity.cases.empty()) ImplicitCase(activity);
    return activity;
  }
  static Case& ImplicitCase(Activity& activity) {
    Case c;
    c.where = activity.name.where;
    c.weight.tree.op = expr::Op::Number;
    c.weight.tree.token = {expr::Token::Number, "1", 1.0, 0};
    c.weight.text = "1";
    c.weight.where = activity.name.where;
    activity.cases.push_back(std::move(c));
    return activity.cases.back();
  }
  void ReadDistribution(Activity& activity) {
    activity.distribution = ReadName("a distribution (exponential, deterministic, ...)");
    Expect("(");
    if (!in_->AtSymbol(")")) {
      activity.parameters.push_back(ReadExpression(expr::Kind::Number, "a number"));
      while (in_->AtSymbol(",")) {
        in_->Take();
        activity.parameters.push_back(ReadExpression(expr::Kind::Number, "a number"));
      }
    }
    Expect(")");
  }
  void ReadInput(Activity& activity) {
    in_->Take();
    if (in_->AtWord("arc")) {
      in_->Take();
      Arc arc;
      arc.place = ReadName("a place name");
      arc.tokens = ReadTokens();
      ExpectEnd();
      activity.inputArcs.push_back(std::move(arc));
      return;
    }
    if (!in_->AtWord("gate")) Refuse("'arc' or 'gate'");
    Gate gate;
    gate.where = Here();
    in_->Take();
    gate.predicate = ReadExpression(expr::Kind::Condition, "a condition");
    if (in_->AtWord("do")) {
      in_->Take();
      gate.function = ReadStatements();
    }
    ExpectEnd();
    activity.inputGates.push_back(std::move(gate));
  }
  Output ReadOutput() {
    in_->Take();
    Output output;
    if (in_->AtWord("arc")) {
      in_->Take();
      Arc arc;
      arc.place = ReadName("a place name");
      arc.tokens = ReadTokens();
      output.arc = std::move(arc);
    } else if (in_->AtWord("gate")) {
      Gate gate;
      gate.where = Here();
      in_->Take();
      gate.function = ReadStatements();
      output.gate = std::move(gate);
    } else {
      Refuse("'arc' or 'gate'");
    }
    ExpectEnd();
    return output;
  }
  std::vector<Assignment> ReadStatements() {
    std::vector<Assignment> statements;
    for (;;) {
      Assignment a;
      a.place = ReadName("a place name");
      if (in_->AtSymbol("=")) a.kind = Assignment::Set;
      else if (in_->AtSymbol("+=")) a.kind = Assignment::Add;
      else if (in_->AtSymbol("-=")) a.kind = Assignment::Subtract;
      else Refuse("'=', '+=' or '-='");
      in_->Take();
      a.value = ReadExpression(expr::Kind::Number, "a number");
      statements.push_back(std::move(a));
      if (!in_->AtSymbol(";")) return statements;
      in_->Take();
    }
  }

  // --- Joins ---
  void ReadJoin() {
    const Where opened = Here();
    in_->Take();
    Join join;
    join.name = ReadName("a name");
    ExpectEnd();
    for (;;) {
      NextInBlock("join", opened);
      if (in_->AtWord("end")) break;
      if (in_->AtWord("submodel")) {
        in_->Take();
        join.children.push_back(ReadName("a submodel name"));
        ExpectEnd();
      } else if (in_->AtWord("share")) {
        in_->Take();
        Share share;
        share.place = ReadName("a place name");
        if (in_->AtWord("in")) {
          in_->Take();
          share.children = ReadNameList("a submodel name");
        }
        ExpectEnd();
        join.shares.push_back(std::move(share));
      } else {
        Refuse("'submodel', 'share' or 'end'");
      }
    }
    in_->Take();
    ExpectEnd();
    model_.joins.push_back(std::move(join));
  }

  // --- Rewards and study ---
  // The first line of a reward or study block, `KEYWORD NAME of OTHER`; a
  // model file holds at most one block of each (`seen`: one was read).
  void ReadBlockHead(bool seen, const char* block, const char* other, Name& name, Name& of) {
    if (seen) Fail(model_, Here(), std::string("a model file has one ") + block + " block");
    in_->Take();
    name = ReadName("a name");
    ExpectWord("of");
    of = ReadName(other);
    ExpectEnd();
  }

  void ReadReward() {
    const Where opened = Here();
    Reward reward;
    ReadBlockHead(model_.reward.has_value(), "reward", "the name of the join or SAN measured", reward.name,
                  reward.model);
    for (;;) {
      NextInBlock("reward", opened);
      if (in_->AtWord("end")) break;
      if (!in_->AtWord("variable")) Refuse("'variable' or 'end'");
      reward.variables.push_back(ReadVariable());
    }
    in_->Take();
    ExpectEnd();
    model_.reward = std::move(reward);
  }
  Variable ReadVariable() {
    const Where opened = Here();
    in_->Take();
    Variable v;
    v.name = ReadName("a variable name");
    ExpectEnd();
    for (;;) {
      NextInBlock("variable", opened);
      if (in_->AtWord("end")) break;
      if (in_->AtWord("instant") || in_->AtWord("interval")) {
        v.kind = in_->Take().text == "instant" ? Variable::Instant : Variable::Interval;
        v.timesWhere = Here();
        v.times = {ReadNumber("a time")};
        if (v.kind == Variable::Interval) {
          ExpectWord("to");
          v.times.push_back(ReadNumber("a time"));
        }
        while (v.kind == Variable::Instant && in_->AtSymbol(",")) {
          in_->Take();
          v.times.push_back(ReadNumber("a time"));
        }
        ExpectEnd();
      } else if (in_->AtWord("rate")) {
        in_->Take();
        v.rate = ReadExpression(expr::Kind::Number, "a number");
        ExpectEnd();
      } else if (in_->AtWord("impulse")) {
        in_->Take();
        Impulse impulse;
        impulse.activity = ReadName("submodel.activity");
        Expect("=");
        impulse.value = ReadExpression(expr::Kind::Number, "a number");
        ExpectEnd();
        v.impulses.push_back(std::move(impulse));
      } else if (in_->AtWord("submodels")) {
        in_->Take();
        v.submodels = ReadNameList("a submodel name");
      } else {
        Refuse("'instant', 'interval', 'rate', 'impulse', 'submodels' or 'end'");
      }
    }
    in_->Take();
    ExpectEnd();
    return v;
  }

  // --- Study ---
  void ReadStudy() {
    const Where opened = Here();
    Study study;
    ReadBlockHead(model_.study.has_value(), "study", "the name of the reward model", study.name, study.reward);
    for (;;) {
      NextInBlock("study", opened);
      if (in_->AtWord("end")) break;
      if (!in_->AtWord("experiment")) Refuse("'experiment' or 'end'");
      in_->Take();
      Experiment experiment;
      experiment.name = ReadName("an experiment name");
      if (in_->AtWord("set")) {
        in_->Take();
        for (;;) {
          Setting setting;
          setting.global = ReadName("a global variable");
          Expect("=");
          setting.value = ReadExpression(expr::Kind::Number, "a number");
          experiment.settings.push_back(std::move(setting));
          if (!in_->AtSymbol(",")) break;
          in_->Take();
        }
      }
      ExpectEnd();
      study.experiments.push_back(std::move(experiment));
    }
    in_->Take();
    ExpectEnd();
    model_.study = std::move(study);
  }

  Model model_;
  size_t next_ = 0;  // lines read
  int line_ = 0;     // the current line, 1-based
  std::optional<expr::Cursor> in_;
};

}  // namespace

Model ReadModel(const std::string& file, const std::string& text) { return Reader(file, text).Read(); }

}  // namespace sanc
