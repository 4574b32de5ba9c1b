// The model a model file describes, as the reader builds it: global
// variables, atomic SANs, joins, the reward model and the study, each
// element with the place in the file it was written (for messages and for
// the #line directives of generated code). The reader only records what the
// file says; the checks judge it; the writer turns a checked model into
// C++. Plain data, owned by value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "expr/Expression.h"

namespace sanc {

// A 1-based line and column of the model file.
struct Where {
  int line = 0;
  int column = 0;
};

// An expression as written, parsed by the shared expression language.
struct Expression {
  expr::Node tree;
  std::string text;  // the source text of the expression
  Where where;
};

// The C++ types of values in a model. Markings are Short.
enum class Type { Bool, Char, Short, Int, Float, Double };

struct Name {
  std::string text;
  Where where;
};

struct Global {
  Name name;
  Type type = Type::Double;
  Expression value;  // the default: numbers only
};

struct Place {
  Name name;
  Expression initial;  // numbers and global variables
};

// PLACE = EXPR, PLACE += EXPR or PLACE -= EXPR.
struct Assignment {
  enum Kind { Set, Add, Subtract };
  Name place;
  Kind kind = Set;
  Expression value;
};

// An arc between a place and an activity, carrying `tokens` tokens.
struct Arc {
  Name place;
  int tokens = 1;
};

// An input gate (a predicate and a function) or an output gate (a function).
struct Gate {
  Where where;
  std::optional<Expression> predicate;
  std::vector<Assignment> function;
};

// What a firing does after its input side, in the order written.
struct Output {
  std::optional<Arc> arc;
  std::optional<Gate> gate;
};

struct Case {
  Where where;
  Expression weight;
  std::vector<Output> outputs;
};

struct Activity {
  Name name;
  bool timed = true;
  Name distribution;  // timed only: exponential, deterministic, ...
  std::vector<Expression> parameters;
  std::vector<Arc> inputArcs;
  std::vector<Gate> inputGates;
  // Without case lines, one case of weight 1 holds the outputs.
  std::vector<Case> cases;
  bool explicitCases = false;
  // Timed only: the condition under which an enabled activity samples its
  // delay again after a firing elsewhere.
  std::optional<Expression> reactivation;
  int endLine = 0;
};

struct San {
  Name name;
  std::vector<Place> places;
  std::vector<Activity> activities;
};

// One place of the join made of the same-named place of several children.
struct Share {
  Name place;
  std::vector<Name> children;  // empty: every child
};

struct Join {
  Name name;
  std::vector<Name> children;  // SANs or joins, in order
  std::vector<Share> shares;
};

struct Impulse {
  Name activity;  // submodel.activity
  Expression value;
};

struct Variable {
  enum Kind { Instant, Interval };
  Name name;
  Kind kind = Instant;
  std::vector<double> times;  // Instant: the instants; Interval: start, stop
  Where timesWhere;
  std::optional<Expression> rate;  // reads submodel.place and globals
  std::vector<Impulse> impulses;
  std::vector<Name> submodels;  // written out; else the ones the rate reads
};

struct Reward {
  Name name;
  Name model;  // the join or SAN measured
  std::vector<Variable> variables;
};

struct Setting {
  Name global;
  Expression value;  // numbers only
};

struct Experiment {
  Name name;
  std::vector<Setting> settings;
};

struct Study {
  Name name;
  Name reward;
  std::vector<Experiment> experiments;
};

struct Model {
  std::string file;                // as named on the command line
  uint64_t fileHash = 0;           // FNV-1a of the file's bytes as read
  std::vector<std::string> lines;  // the file's lines, for messages
  std::vector<Global> globals;
  std::vector<San> sans;
  std::vector<Join> joins;
  std::optional<Reward> reward;
  std::optional<Study> study;
};

const char* TypeName(Type type);

}  // namespace sanc
