// A change of measure for importance sampling: multipliers of exponential
// rates and of case weights, read from a small text file and evaluated on
// the current marking. It owns the compiled rules and, per target, the
// multiplier its rules last gave; the global variables and places it reads
// belong to the model. Invariants: every rule's target is a valid id of the
// vocabulary it was parsed with; every `let`, and every part of a rule that
// reads no place, is already a number (global variables are read once, when
// the file is read); a rule whose multiplier reads no place was checked
// positive and finite when parsed; a target's remembered multipliers are the
// ones its rules give at the markings remembered with them.
//
// The file, line by line:
//
//   # comment to end of line; blank lines ignored
//   let NAME = EXPR                   a constant, computed once when the file
//                                     is read (after the experiment's global
//                                     variables are set); it may use global
//                                     variables, numbers and earlier lets,
//                                     not places
//   rate ACTIVITY = EXPR [when COND]  multiplier of an exponential activity's
//                                     rate (a group of cases is named by its
//                                     activity name, with or without the
//                                     suffix "Group")
//   weight CASE = EXPR [when COND]    multiplier of a case's weight
//
// EXPR and COND are the expression language shared with model files
// (expr/Expression.h): decimal numbers, names, + - * / ^ (power: right-associative, binding
// tighter than unary minus, so -2^2 = -4), unary -, parentheses, min(a,b),
// max(a,b), exp(x), log(x), sqrt(x). Names are global variables, lets and,
// in rate and weight rules, places (their current marking); a place is
// named unqualified when that name is one place of the composed model, or
// as `submodel.place`.
// COND: comparisons < <= > >= == != between EXPRs, combined with and, or,
// not and parentheses.
// For one activity or case the rules are tried in file order; the first
// whose condition holds (no `when`: always) gives the multiplier; when none
// holds the multiplier is 1.
// Errors are reported as "FILE:LINE:COLUMN: what is wrong" (1-based; a
// mistake of a whole expression or line is placed where it starts).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// A change of measure that cannot be read: the message names the file,
// line and column.
class MeasureError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What a change of measure may name; supplied by the simulator from the
// model. Each list holds every accepted spelling.
struct MeasureVocabulary {
  // Every global variable, whatever its type, at its value for this run:
  // the study sets them before the model is built and nothing changes them
  // while it runs, so a global is a constant of the file, like a let.
  std::vector<std::pair<std::string, double>> globals;
  // The place's marking cell is read through the place's own pointer, which
  // follows the sharing of places.
  std::vector<std::pair<std::string, short* const*>> places;
  std::vector<std::pair<std::string, int>> rateTargets;  // exponential activities
  std::vector<std::pair<std::string, int>> caseTargets;  // cases
  // Names of other activities, with what they are ("a deterministic
  // activity", "a case", ...), for the error that refuses them.
  std::vector<std::pair<std::string, std::string>> otherActions;
};

// A compiled expression: a postfix program over doubles (conditions give 1
// or 0).
class MeasureExpression {
 public:
  enum class Op : uint8_t {
    Number, Place, Add, Sub, Mul, Div, Pow, Neg, Min, Max, Exp, Log, Sqrt,
    Less, LessEqual, Greater, GreaterEqual, Equal, NotEqual, And, Or, Not
  };
  struct Instruction {
    Op op;
    double number = 0.0;             // Number
    short* const* mark = nullptr;    // Place
  };
  // Deepest stack a program may need; deeper expressions are refused.
  static constexpr int kMaxDepth = 64;

  double Evaluate() const;
  // Replaces every subexpression that reads no place by the number it
  // evaluates to, computed by the same operations so the result is
  // unchanged to the bit.
  void FoldConstants();
  bool Empty() const { return code.empty(); }
  bool ReadsPlaces() const;
  // The marking cells the expression reads.
  std::vector<short* const*> PlacesRead() const;

  std::vector<Instruction> code;
};

class ChangeOfMeasure {
 public:
  struct Rule {
    int line = 0;
    MeasureExpression multiplier;
    MeasureExpression condition;  // empty: always holds
  };
  // The multiplier a target gets now, and the line of the rule that gave it
  // (0 when no rule held and the multiplier is 1).
  struct Multiplier {
    double value = 1.0;
    int line = 0;
  };
  // The rules of one target in file order. A multiplier depends on the
  // marking alone, and a run moves among few markings, so the multipliers
  // given at the last few markings met are kept, the latest looked at first.
  struct Target {
    static constexpr size_t kRemembered = 8;
    std::vector<Rule> rules;
    std::vector<short* const*> reads;  // marking cells read by the rules
    std::vector<short> markings;       // per remembered marking, the tokens of `reads`
    std::vector<Multiplier> given;     // per remembered marking, its multiplier
    std::vector<short> scratch;        // the tokens now, while looking them up
    size_t latest = 0;                 // remembered marking met last
    size_t oldest = 0;                 // the one to forget when all are in use
  };

  // Parses the file's text; throws MeasureError.
  ChangeOfMeasure(std::string fileName, const std::string& text,
                  const MeasureVocabulary& vocabulary);

  Multiplier RateMultiplier(int target) { return Current(rateRules_, target); }
  Multiplier WeightMultiplier(int target) { return Current(weightRules_, target); }
  bool HasRateRules(int target) const { return HasRules(rateRules_, target); }
  bool HasWeightRules(int target) const { return HasRules(weightRules_, target); }
  // The marking cells read by the rate or weight rules of a target.
  std::vector<short* const*> PlacesReadByRate(int target) const;
  std::vector<short* const*> PlacesReadByWeight(int target) const;
  const std::string& FileName() const { return fileName_; }

 private:
  using RuleTable = std::vector<Target>;  // per target id
  // Kept in the header: the loop asks for a multiplier at most firings and
  // nearly always finds it at the latest marking.
  static Multiplier Current(RuleTable& table, int target) {
    if (!HasRules(table, target)) return {};
    Target& rules = table[static_cast<size_t>(target)];
    return AtLatest(rules) ? rules.given[rules.latest] : Remember(rules);
  }
  static bool AtLatest(const Target& target) {
    if (target.given.empty()) return false;
    const size_t n = target.reads.size();
    const short* tokens = target.markings.data() + target.latest * n;
    for (size_t i = 0; i < n; ++i)
      if (**target.reads[i] != tokens[i]) return false;
    return true;
  }
  static Multiplier FirstHolding(const std::vector<Rule>& rules);
  static Multiplier Remember(Target& target);
  static void ListPlacesRead(RuleTable& table);
  static bool HasRules(const RuleTable& table, int target) {
    return target >= 0 && static_cast<size_t>(target) < table.size() &&
           !table[static_cast<size_t>(target)].rules.empty();
  }
  friend class MeasureParser;

  std::string fileName_;
  RuleTable rateRules_;
  RuleTable weightRules_;
};
