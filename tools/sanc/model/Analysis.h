// Facts about a model that the checks judge and the writer relies on: what
// a name in an expression stands for, the C++ type of an expression (as
// C++ itself types it), the places an activity reads and writes, the order
// of its groups, the distributions. Functions of the model only.
#pragma once

#include <string>
#include <vector>

#include "model/Model.h"

namespace sanc {

// Where expressions are written: in a SAN (its places and the global
// variables), in a reward (submodel.place and the global variables), or
// where only numbers are allowed.
struct Scope {
  enum Kind { Numbers, Globals, SanPlaces, RewardPlaces };
  Kind kind = Numbers;
  const San* san = nullptr;
};

const Global* FindGlobal(const Model& model, const std::string& name);
const Place* FindPlace(const San& san, const std::string& name);
const San* FindSan(const Model& model, const std::string& name);
const Join* FindJoin(const Model& model, const std::string& name);

// The SAN a reward name `submodel.place` reads, or null.
const San* SanOfQualified(const Model& model, const std::string& qualified, std::string* place);

// The type C++ gives the expression (names must be resolved).
Type TypeOf(const Model& model, const expr::Node& node, const Scope& scope);
bool IsIntegral(Type type);
// True when the expression is made of numbers only.
bool IsConstant(const expr::Node& node);
// Its value, computed in double (numbers only).
double ConstantValue(const expr::Node& node);

// Names of places an expression reads, in the order met, each once.
void PlacesRead(const expr::Node& node, const Scope& scope, std::vector<std::string>& out);

// A distribution the simulator samples: its name in the file, the code the
// framework stores, the sampling operation and its parameters (those that
// must be 0 or more are marked).
struct DistributionInfo {
  const char* name;
  const char* code;       // the enumerator, e.g. "EXPONENTIAL"
  const char* sampler;    // Distributions operation, e.g. "Exponential"
  std::vector<std::pair<const char*, bool>> parameters;  // name, must be >= 0
};
const DistributionInfo* FindDistribution(const std::string& name);
std::vector<std::string> DistributionNames();

// --- Per activity and case -------------------------------------------------------
// The places whose marking decides the activity's enabling (input arcs,
// then gate predicates, then its delay parameters and weights).
std::vector<std::string> EnablingPlaces(const Activity& activity, const San& san);
// The places one case's firing may change (input arcs, input gate
// functions, then the case's outputs).
std::vector<std::string> AffectedPlaces(const Activity& activity, const Case& c);
// Every place the case's code touches: enabling, then affected, then any
// other read (weights, gate function values), in order.
std::vector<std::string> HeldPlaces(const Activity& activity, const Case& c, const San& san);

// The SAN's groups in the order handed to the model: timed activities, then
// instantaneous ones, each in file order. Indices into san.activities.
std::vector<size_t> GroupOrder(const San& san);

}  // namespace sanc
