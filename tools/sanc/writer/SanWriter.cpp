// The class of one atomic SAN: a nested Activity class per activity (per
// case, for an activity with cases), the places, the groups, the arcs.
#include <algorithm>
#include <cctype>
#include <map>

#include "model/Analysis.h"
#include "writer/Cpp.h"
#include "writer/Writer.h"

namespace sanc {
namespace {

// One generated activity class: an activity, or one case of it.
struct Action {
  const Activity* activity;
  const Case* theCase;
  int caseNumber;  // 1-based; 0 for an activity without cases
  std::string name;       // "bit_error_case1"
  std::string className;  // "bit_errorActivity_case1"
};

class SanWriter {
 public:
  SanWriter(const Model& model, const San& san, const WriterOptions& options)
      : model_(model), san_(san), options_(options), className_(san.name.text + "SAN"),
        header_(className_ + ".h"), source_(className_ + ".cpp") {
    for (const Activity& a : san.activities) {
      if (!a.explicitCases) {
        actions_.push_back({&a, &a.cases[0], 0, a.name.text, a.name.text + "Activity"});
        continue;
      }
      for (size_t k = 0; k < a.cases.size(); ++k) {
        const std::string n = std::to_string(k + 1);
        actions_.push_back({&a, &a.cases[k], static_cast<int>(k + 1), a.name.text + "_case" + n,
                            a.name.text + "Activity_case" + n});
      }
    }
    for (const Activity& a : san.activities) hasInstantaneous_ = hasInstantaneous_ || !a.timed;
  }

  std::vector<GeneratedFile> Write() {
    WriteHeader();
    WriteSource();
    return {{header_.Name(), header_.Str()}, {source_.Name(), source_.Str()}};
  }

 private:
  // --- Names and expressions ---
  std::string Mark(const std::string& place) const { return "*" + place + "_Mark"; }
  std::string Expr(const Expression& e) const {
    const Scope scope{Scope::SanPlaces, &san_};
    return CppExpression(model_, e.tree, scope, [this](const std::string& name) {
      return FindPlace(san_, name) != nullptr ? Mark(name) : name;
    });
  }
  std::string Conjunct(const Expression& e) const {
    const Scope scope{Scope::SanPlaces, &san_};
    return CppConjunct(model_, e.tree, scope, [this](const std::string& name) {
      return FindPlace(san_, name) != nullptr ? Mark(name) : name;
    });
  }
  // The site of a run-time check: the action and the model-file line.
  // A weight belongs to its case; everything else to the activity.
  std::string Site(const Action& action, int line, bool ofCase = true) const {
    const std::string element = ofCase ? action.name : action.activity->name.text;
    const std::string name = element + "_at_" + std::to_string(line);
    if (std::find(sites_.begin(), sites_.end(), name) == sites_.end()) {
      sites_.push_back(name);
      siteDefinitions_ += "constexpr ModelSite " + name + "{\"activity '" + element + "'\", \"" + model_.file + "\", " +
                          std::to_string(line) + "};\n";
    }
    return name;
  }
  // A parameter the simulator needs to be 0 or more. The checks have judged
  // constants already; one that reads only global variables keeps the value
  // the experiment gave it for the whole run, so it is checked once, when
  // the model is built; only one that reads places is checked at every
  // evaluation.
  std::string Parameter(const Action& action, const Expression& e, const std::string& what) {
    if (IsConstant(e.tree)) return Expr(e);
    const std::string check =
        "CheckedParameter(" + Expr(e) + ", " + Site(action, e.where.line, what == "weight") + ", \"" + what + "\")";
    std::vector<std::string> places;
    PlacesRead(e.tree, Scope{Scope::SanPlaces, &san_}, places);
    if (!places.empty()) return check;
    buildChecks_.push_back({"  " + check + ";", e.where.line});
    return Expr(e);
  }

  // --- Header ---
  void WriteHeader() {
    Text& h = header_;
    h << GeneratedBanner(model_);
    h << "// The SAN " + san_.name.text + " (line " + std::to_string(san_.name.where.line) + "): " +
             std::to_string(san_.places.size()) + " places, " + std::to_string(actions_.size()) +
             " activities and cases.\n"
             "// The model owns its places, activities and groups; every activity reads\n"
             "// and writes markings through value-cell pointers registered with the\n"
             "// places, so they follow the sharing of places.\n";
    h << "#pragma once\n\n#include <array>\n\n#include \"BaseClasses/Activity.h\"\n";
    if (!hasInstantaneous_) h << "#include \"BaseClasses/EmptyGroup.h\"\n";
    h << "#include \"BaseClasses/PostselectGroup.h\"\n";
    if (hasInstantaneous_) h << "#include \"BaseClasses/PreselectGroup.h\"\n";
    h << "#include \"BaseClasses/SANModel.h\"\n#include \"BaseClasses/state/Place.h\"\n\n";
    h << "// Final, like its activities: nothing derives from the generated classes,\n"
         "// so their calls to their own operations bind directly.\n";
    h << "class " + className_ + " final : public SANModel {\n public:\n";
    for (const Action& action : actions_) WriteActionClass(action);
    h << "  " + className_ + "();\n  ~" + className_ + "() override;\n\n";
    h << "  // Point every timed (instantaneous) activity at the places it uses.\n";
    h << "  void assignPlacesToActivitiesTimed();\n  void assignPlacesToActivitiesInst();\n";
    h << "  void CustomInitialization() {}\n\n";
    h << "  // --- Places, in model order (owned) ---------------------------------------\n";
    for (const Place& p : san_.places) h << "  Place* " + p.name.text + " = nullptr;\n";
    h << "\n  // --- Activities, in model order (owned) -----------------------------------\n";
    for (const Action& a : actions_) h << "  " + a.className + "* " + a.name + " = nullptr;\n";
    h << "\n  // --- Groups (owned); the first " + std::string(hasInstantaneous_ ? "two are" : "is") +
             " built but never handed over ------\n";
    if (hasInstantaneous_) {
      h << "  PreselectGroup* ImmediatePreselectGroup = nullptr;\n";
      h << "  PostselectGroup* ImmediatePostselectGroup = nullptr;\n";
    } else {
      h << "  EmptyGroup* ImmediateEmptyGroup = nullptr;\n";
    }
    for (const Activity& a : san_.activities)
      if (a.explicitCases) h << "  PostselectGroup* " + a.name.text + "Group = nullptr;\n";
    h << "};\n";
  }

  bool IsSingle(const Action& action) const { return action.caseNumber == 0; }
  bool LeavesMarking(const Action& action) const { return FireStatements(action).empty(); }

  void WriteActionClass(const Action& action) {
    const Activity& a = *action.activity;
    Text& h = header_;
    std::string kind = !a.timed ? "Instantaneous" : a.distribution.text;
    kind[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(kind[0])));
    std::string what = "  // " + kind + " activity " + a.name.text;
    if (!IsSingle(action)) what += ", case " + std::to_string(action.caseNumber) + " (weight " + action.theCase->weight.text + ")";
    h << what + "; line " + std::to_string(action.theCase->where.line) + ".\n";
    h << "  class " + action.className + " final : public Activity {\n   public:\n";
    if (!IsSingle(action) && LeavesMarking(action))
      h << "    static constexpr bool kLeavesMarking = true;  // Fire() changes no place\n";
    h << "    " + action.className + "();\n    bool Enabled() override;\n";
    if (IsSingle(action)) {
      h << "    // Activity's own change test, with this class's Enabled() bound directly.\n";
      h << "    bool EnablingChange() override { return EnablingChangeOfGroup(this); }\n";
    }
    h << "    double Rate() override;\n    double Weight() override;\n    int Rank() override;\n";
    h << "    double SampleDistribution() override;\n";
    if (a.timed) h << "    double* ReturnDistributionParameters() override;\n";
    h << "    bool ReactivationPredicate() override;\n    bool ReactivationFunction() override;\n";
    h << "    BaseActionClass* Fire() override;\n    void LinkVariables() override;\n";
    if (IsDeterministic(a)) h << "    double DeterministicParamValue();\n";
    h << "\n";
    for (const std::string& p : HeldPlaces(a, *action.theCase, san_))
      h << "    Place* " + p + " = nullptr;\n    short* " + p + "_Mark = nullptr;\n";
    if (a.timed)
      h << "    std::array<double, " + std::to_string(a.parameters.size()) + "> TheDistributionParameters{};\n";
    h << "  };\n\n";
  }
  static bool IsDeterministic(const Activity& a) { return a.timed && a.distribution.text == "deterministic"; }
  static bool IsExponential(const Activity& a) { return a.timed && a.distribution.text == "exponential"; }

  // --- Source ---
  void WriteSource() {
    Text body(source_.Name());
    for (const Action& action : actions_) WriteActionMethods(body, action);
    WriteModelMethods(body);
    Text& c = source_;
    c << GeneratedBanner(model_);
    c << "#include \"" + options_.includeDir + "/" + header_.Name() + "\"\n\n";
    const std::string& b = body.Str();
    const bool cmath = b.find("std::pow(") != std::string::npos || b.find("std::exp(") != std::string::npos ||
                       b.find("std::log(") != std::string::npos || b.find("std::sqrt(") != std::string::npos;
    const bool algorithm = b.find("std::min") != std::string::npos || b.find("std::max") != std::string::npos;
    if (algorithm) c << "#include <algorithm>\n";
    if (cmath) c << "#include <cmath>\n";
    if (algorithm || cmath) c << "\n";
    if (b.find("Checked") != std::string::npos) c << "#include \"BaseClasses/ModelChecks.h\"\n";
    if (std::any_of(san_.activities.begin(), san_.activities.end(), [](const Activity& a) { return a.explicitCases; }))
      c << "#include \"BaseClasses/PostselectGroupOf.h\"\n";
    if (std::any_of(model_.globals.begin(), model_.globals.end(), [&](const Global& g) { return HasWord(b, g.name.text); }))
      c << "#include \"" + options_.includeDir + "/GlobalVariables.h\"\n";
    if (b.find("TheDistribution->") != std::string::npos) c << "#include \"random/Distributions.h\"\n";
    if (!sites_.empty()) {
      // Named after the activity and the model-file line, so unique across
      // the model's files even when they are compiled as one.
      c << "\nnamespace {\n" + siteDefinitions_ + "}  // namespace\n";
    }
    // The body was counted from its own first line; shift its #line
    // directives back to this file by the lines written above it.
    c << ShiftLineDirectives(b, CountLines(c.Str()));
  }
  // Whether `word` occurs in `text` as a whole C++ name.
  static bool HasWord(const std::string& text, const std::string& word) {
    auto isName = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; };
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
      if ((at == 0 || !isName(text[at - 1])) && (at + word.size() >= text.size() || !isName(text[at + word.size()])))
        return true;
    return false;
  }
  static int CountLines(const std::string& s) { return static_cast<int>(std::count(s.begin(), s.end(), '\n')); }
  std::string ShiftLineDirectives(const std::string& text, int by) const {
    const std::string back = "\"" + source_.Name() + "\"";
    std::string out;
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(start, end - start);
      if (line.rfind("#line ", 0) == 0 && line.size() > back.size() &&
          line.compare(line.size() - back.size(), back.size(), back) == 0) {
        const int number = std::stoi(line.substr(6));
        line = "#line " + std::to_string(number + by) + " " + back;
      }
      out += line + "\n";
      start = end + 1;
    }
    return out;
  }

  std::string Method(const Action& action, const std::string& signature) const {
    const size_t space = signature.find(' ');
    return signature.substr(0, space + 1) + className_ + "::" + action.className + "::" + signature.substr(space + 1);
  }

  void WriteActionMethods(Text& c, const Action& action) {
    const Activity& a = *action.activity;
    const Case& theCase = *action.theCase;
    std::string title = "// --- " + a.name.text;
    if (!IsSingle(action)) title += ", case " + std::to_string(action.caseNumber);
    title += " ";
    title.resize(std::max<size_t>(title.size(), 80), '-');
    c << "\n" + title + "\n\n";

    const std::vector<std::string> enabling = EnablingPlaces(a, san_);
    const std::vector<std::string> affected = AffectedPlaces(a, theCase);
    const std::string distribution = !a.timed ? "INSTANTANEOUS" : FindDistribution(a.distribution.text)->code;
    c << className_ + "::" + action.className + "::" + action.className + "() {\n";
    c << "  ActivityInitialize(\"" + action.name + "\", " + std::to_string(GroupId(a)) + ", " + distribution +
             ", RaceEnabledPolicy, " + std::to_string(affected.size()) + ", " + std::to_string(enabling.size()) +
             ", " + (a.reactivation ? "true" : "false") + ");\n}\n\n";

    WriteEnabled(c, action);
    WriteRateAndWeight(c, action);
    c << Method(action, "int Rank() { return 1; }") + "\n";
    WriteSampling(c, action);
    if (a.reactivation) {
      c << Method(action, "bool ReactivationPredicate() { return true; }") + "\n\n";
      c << Method(action, "bool ReactivationFunction() {") + "\n";
      c.ModelLine("  return " + Expr(*a.reactivation) + ";", a.reactivation->where.line, model_.file);
      c << "}\n\n";
    } else {
      c << Method(action, "bool ReactivationPredicate() { return false; }") + "\n";
      c << Method(action, "bool ReactivationFunction() { return false; }") + "\n\n";
    }
    WriteFire(c, action);
    const std::vector<std::string> held = HeldPlaces(a, theCase, san_);
    if (held.size() == 1) {
      c << Method(action, "void LinkVariables() { " + held[0] + "->registerPointer(&" + held[0] + "_Mark); }") + "\n";
    } else {
      c << Method(action, "void LinkVariables() {") + "\n";
      for (const std::string& p : held) c << "  " + p + "->registerPointer(&" + p + "_Mark);\n";
      c << "}\n";
    }
  }

  int GroupId(const Activity& a) const {
    const std::vector<size_t> order = GroupOrder(san_);
    for (size_t g = 0; g < order.size(); ++g)
      if (&san_.activities[order[g]] == &a) return static_cast<int>(g);
    return 0;
  }

  void WriteEnabled(Text& c, const Action& action) {
    const Activity& a = *action.activity;
    std::vector<std::string> terms;
    for (const Arc& arc : a.inputArcs)
      terms.push_back(Mark(arc.place.text) + (arc.tokens == 1 ? " > 0" : " >= " + std::to_string(arc.tokens)));
    int line = a.name.where.line;
    for (const Gate& gate : a.inputGates) {
      terms.push_back(Conjunct(*gate.predicate));
      if (line == a.name.where.line) line = gate.predicate->where.line;
    }
    std::string predicate;
    for (const std::string& t : terms) predicate += (predicate.empty() ? "" : " && ") + t;
    if (predicate.empty()) predicate = "true";
    c << Method(action, "bool Enabled() {") + "\n  enabledBefore = enabledNow;\n";
    if (a.inputGates.empty()) c << "  enabledNow = " + predicate + ";\n";
    else c.ModelLine("  enabledNow = " + predicate + ";", line, model_.file);
    c << "  return enabledNow;\n}\n\n";
  }

  // A method returning a parameter of the action: one line when the
  // parameter is a constant, else a body holding the model file's
  // expression (checked as Parameter() says), set apart by blank lines.
  void WriteParameterMethod(Text& c, const Action& action, const std::string& signature, const Expression& e,
                            const std::string& what) {
    if (IsConstant(e.tree)) {
      c << Method(action, signature + " { return " + Expr(e) + "; }") + "\n";
      return;
    }
    c.BlankLine();
    c << Method(action, signature + " {") + "\n";
    c.ModelLine("  return " + Parameter(action, e, what) + ";", e.where.line, model_.file);
    c << "}\n\n";
  }

  void WriteRateAndWeight(Text& c, const Action& action) {
    const Activity& a = *action.activity;
    if (IsExponential(a))
      WriteParameterMethod(c, action, "double Rate()", a.parameters[0], "rate");
    else
      c << Method(action, "double Rate() { return 0.0; }") + "\n";
    if (a.explicitCases)
      WriteParameterMethod(c, action, "double Weight()", action.theCase->weight, "weight");
    else
      c << Method(action, "double Weight() { return 1.0; }") + "\n";
  }

  void WriteSampling(Text& c, const Action& action) {
    const Activity& a = *action.activity;
    if (!a.timed) {
      c << Method(action, "double SampleDistribution() { return 0.0; }") + "\n";
      return;
    }
    const DistributionInfo& d = *FindDistribution(a.distribution.text);
    std::vector<std::string> values;
    if (IsExponential(a)) {
      values.push_back("Rate()");
      c << Method(action, "double SampleDistribution() { return TheDistribution->Exponential(Rate()); }") + "\n\n";
    } else if (IsDeterministic(a)) {
      values.push_back("DeterministicParamValue()");
      WriteParameterMethod(c, action, "double DeterministicParamValue()", a.parameters[0], "delay");
      c << Method(action, "double SampleDistribution() { return DeterministicParamValue(); }") + "\n\n";
    } else {
      std::string arguments;
      for (size_t i = 0; i < a.parameters.size(); ++i) {
        const Expression& p = a.parameters[i];
        const std::string value = d.parameters[i].second ? Parameter(action, p, d.parameters[i].first) : Expr(p);
        values.push_back(value);
        arguments += (i ? ", " : "") + value;
      }
      c << Method(action, "double SampleDistribution() {") + "\n";
      c.ModelLine("  return TheDistribution->" + std::string(d.sampler) + "(" + arguments + ");",
                  a.distribution.where.line, model_.file);
      c << "}\n\n";
    }
    c << Method(action, "double* ReturnDistributionParameters() {") + "\n";
    for (size_t i = 0; i < values.size(); ++i) {
      const std::string line = "  TheDistributionParameters[" + std::to_string(i) + "] = " + values[i] + ";";
      if (IsExponential(a) || IsDeterministic(a)) c << line + "\n";
      else c.ModelLine(line, a.parameters[i].where.line, model_.file);
    }
    c << "  return TheDistributionParameters.data();\n}\n\n";
  }

  // --- Firing ---
  struct Statement {
    std::string code;
    int line;  // model-file line of a user expression, 0 for none
  };

  // Places an arc's tokens may be netted against: no gate of the firing
  // reads or writes them, so only the arcs change them.
  bool OnlyArcsTouch(const Action& action, const std::string& place) const {
    const Scope scope{Scope::SanPlaces, &san_};
    auto touches = [&](const Gate& gate) {
      std::vector<std::string> read;
      if (gate.predicate) PlacesRead(gate.predicate->tree, scope, read);
      for (const Assignment& s : gate.function) {
        read.push_back(s.place.text);
        PlacesRead(s.value.tree, scope, read);
      }
      return std::find(read.begin(), read.end(), place) != read.end();
    };
    for (const Gate& gate : action.activity->inputGates)
      if (touches(gate)) return false;
    for (const Output& o : action.theCase->outputs)
      if (o.gate && touches(*o.gate)) return false;
    return true;
  }

  std::vector<Statement> FireStatements(const Action& action) const {
    const Activity& a = *action.activity;
    std::map<std::string, int> net;  // arcs netted per place, written where the input arc is
    for (const Arc& arc : a.inputArcs)
      if (OnlyArcsTouch(action, arc.place.text)) net[arc.place.text] -= arc.tokens;
    for (const Output& o : action.theCase->outputs)
      if (o.arc && net.count(o.arc->place.text)) net[o.arc->place.text] += o.arc->tokens;
    std::vector<Statement> out;
    for (const Arc& arc : a.inputArcs) {
      const std::string& p = arc.place.text;
      const int change = net.count(p) ? net.at(p) : -arc.tokens;
      if (change < 0) out.push_back({change == -1 ? "(" + Mark(p) + ")--;" : Mark(p) + " -= " + std::to_string(-change) + ";", 0});
      if (change > 0) out.push_back({Increment(action, p, std::to_string(change), a.name.where.line), 0});
    }
    for (const Gate& gate : a.inputGates) AddFunction(action, gate.function, out);
    for (const Output& o : action.theCase->outputs) {
      if (o.arc && !net.count(o.arc->place.text))
        out.push_back({Increment(action, o.arc->place.text, std::to_string(o.arc->tokens), o.arc->place.where.line), 0});
      if (o.gate) AddFunction(action, *o.gate, out);
    }
    return out;
  }
  void AddFunction(const Action& action, const Gate& gate, std::vector<Statement>& out) const {
    AddFunction(action, gate.function, out);
  }
  void AddFunction(const Action& action, const std::vector<Assignment>& function, std::vector<Statement>& out) const {
    for (const Assignment& s : function) {
      const std::string& p = s.place.text;
      const int line = s.value.where.line;
      if (s.kind == Assignment::Set && IsConstant(s.value.tree)) {
        out.push_back({Mark(p) + " = " + Expr(s.value) + ";", line});
      } else if (s.kind == Assignment::Set) {
        out.push_back({Mark(p) + " = " + Checked(action, Expr(s.value), p, line) + ";", line});
      } else {
        const std::string sign = s.kind == Assignment::Add ? " + " : " - ";
        std::string value = Expr(s.value);
        if (!IsConstant(s.value.tree) || value[0] == '-') value = "(" + value + ")";
        out.push_back({Mark(p) + " = " + Checked(action, Mark(p) + sign + value, p, line) + ";", line});
      }
    }
  }
  std::string Increment(const Action& action, const std::string& place, const std::string& tokens, int line) const {
    return Mark(place) + " = " + Checked(action, Mark(place) + " + " + tokens, place, line) + ";";
  }
  std::string Checked(const Action& action, const std::string& value, const std::string& place, int line) const {
    return "CheckedMarking(" + value + ", " + Site(action, line) + ", \"marking of " +
           place + "\")";
  }

  void WriteFire(Text& c, const Action& action) {
    const std::vector<Statement> statements = FireStatements(action);
    if (statements.empty()) {
      c << Method(action, "BaseActionClass* Fire() { return this; }") + "\n";
      return;
    }
    c << Method(action, "BaseActionClass* Fire() {") + "\n";
    for (const Statement& s : statements) {
      if (s.line > 0) c.ModelLine("  " + s.code, s.line, model_.file);
      else c << "  " + s.code + "\n";
    }
    c << "  return this;\n}\n\n";
  }

  // --- The model ---
  void WriteModelMethods(Text& c) {
    std::string title = "// --- the model ";
    title.resize(80, '-');
    c << "\n" + title + "\n\n";
    c << className_ + "::" + className_ + "() {\n";
    for (const Action& a : actions_) c << "  " + a.name + " = new " + a.className + "();\n";
    c << "\n";
    if (hasInstantaneous_) {
      c << "  ImmediatePreselectGroup = new PreselectGroup();\n";
      c << "  ImmediatePostselectGroup = new PostselectGroup();\n\n";
    } else {
      c << "  ImmediateEmptyGroup = new EmptyGroup();\n\n";
    }
    bool anyGroup = false;
    for (const Activity& a : san_.activities) {
      if (!a.explicitCases) continue;
      std::string members;
      for (const Action& action : actions_)
        if (action.activity == &a) members += ", " + action.name;
      c << "  " + a.name.text + "Group = new PostselectGroupOf(\"" + a.name.text + "Group\"" + members + ");\n";
      anyGroup = true;
    }
    if (anyGroup) c << "\n";
    for (const Place& p : san_.places) {
      if (IsConstant(p.initial.tree)) {
        c << "  " + p.name.text + " = new Place(\"" + p.name.text + "\", " + Expr(p.initial) + ");\n";
      } else {
        c.ModelLine("  " + p.name.text + " = new Place(\"" + p.name.text + "\", CheckedMarking(" + Expr(p.initial) +
                        ", ModelSite{\"san '" + san_.name.text + "'\", \"" + model_.file + "\", " +
                        std::to_string(p.initial.where.line) + "}, \"initial marking of " + p.name.text + "\"));",
                    p.initial.where.line, model_.file);
      }
    }
    c << "\n";
    std::string places, actions, groups;
    for (const Place& p : san_.places) places += (places.empty() ? "" : ", ") + p.name.text;
    for (const Action& a : actions_) actions += (actions.empty() ? "" : ", ") + a.name;
    for (size_t index : GroupOrder(san_)) {
      const Activity& a = san_.activities[index];
      groups += (groups.empty() ? "" : ", ") + (a.explicitCases ? a.name.text + "Group" : a.name.text);
    }
    const std::string np = std::to_string(san_.places.size());
    const std::string na = std::to_string(actions_.size());
    const std::string ng = std::to_string(san_.activities.size());
    c << "  BaseStateVariableClass* InitialPlaces[" + np + "] = {" + places + "};\n";
    c << "  Activity* InitialActions[" + na + "] = {" + actions + "};\n";
    c << "  BaseGroupClass* InitialGroups[" + ng + "] = {" + groups + "};\n";
    c << "  initializeSANModelNow(\"" + san_.name.text + "\", " + np + ", InitialPlaces, 0, nullptr, " + na +
             ", InitialActions, " + ng + ", InitialGroups);\n";
    const bool reactivates = std::any_of(san_.activities.begin(), san_.activities.end(),
                                         [](const Activity& a) { return a.reactivation.has_value(); });
    if (!reactivates) {
      c << "  // Every activity's Enabled() reads the marking and records the answer,\n"
           "  // each tests a change of its enabling as Activity does, and none is ever\n"
           "  // reactivated.\n";
      c << "  for (BaseGroupClass* group : InitialGroups) {\n    group->enablingFromMarking = true;\n"
           "    group->neverWatched = true;\n  }\n\n";
    } else {
      c << "  // Every activity's Enabled() reads the marking and records the answer;\n"
           "  // only the activities with a reactivation condition are watched.\n";
      c << "  for (BaseGroupClass* group : InitialGroups) group->enablingFromMarking = true;\n";
      for (const Activity& a : san_.activities)
        if (!a.reactivation) c << "  " + a.name.text + (a.explicitCases ? "Group" : "") + "->neverWatched = true;\n";
      c << "\n";
    }
    c << "  assignPlacesToActivitiesInst();\n  assignPlacesToActivitiesTimed();\n\n";
    for (const Action& a : actions_)
      for (const std::string& p : AffectedPlaces(*a.activity, *a.theCase))
        c << "  AddAffectArc(" + p + ", " + a.name + ");\n";
    c << "\n";
    for (const Action& a : actions_)
      for (const std::string& p : EnablingPlaces(*a.activity, san_))
        c << "  AddEnableArc(" + p + ", " + a.name + ");\n";
    c << "\n  for (Activity* activity : InitialActions) activity->LinkVariables();\n";
    if (!buildChecks_.empty()) {
      c << "\n  // Rates, weights and delays that read only global variables keep their\n"
           "  // values for the whole run: checked once, here.\n";
      for (const auto& [code, line] : buildChecks_) c.ModelLine(code, line, model_.file);
    }
    c << "}\n\n";

    c << className_ + "::~" + className_ + "() {\n";
    for (const Place& p : san_.places) c << "  delete " + p.name.text + ";\n";
    if (hasInstantaneous_) c << "  delete ImmediatePreselectGroup;\n  delete ImmediatePostselectGroup;\n";
    else c << "  delete ImmediateEmptyGroup;\n";
    for (const Activity& a : san_.activities)
      if (a.explicitCases) c << "  delete " + a.name.text + "Group;\n";
    for (const Action& a : actions_) c << "  delete " + a.name + ";\n";
    c << "}\n";
    WriteAssignPlaces(c, false);
    WriteAssignPlaces(c, true);
  }

  void WriteAssignPlaces(Text& c, bool timed) {
    c << "\nvoid " + className_ + "::assignPlacesToActivities" + (timed ? "Timed" : "Inst") + "() {";
    std::string lines;
    for (const Action& a : actions_)
      if (a.activity->timed == timed)
        for (const std::string& p : HeldPlaces(*a.activity, *a.theCase, san_))
          lines += "  " + a.name + "->" + p + " = " + p + ";\n";
    c << (lines.empty() ? "}\n" : "\n" + lines + "}\n");
  }

  const Model& model_;
  const San& san_;
  const WriterOptions& options_;
  std::string className_;
  Text header_;
  Text source_;
  std::vector<Action> actions_;
  bool hasInstantaneous_ = false;
  // Sites of run-time checks, defined once each in the source.
  mutable std::vector<std::string> sites_;
  mutable std::string siteDefinitions_;
  // Checks made once when the model is built: code and model-file line.
  std::vector<std::pair<std::string, int>> buildChecks_;
};

}  // namespace

std::vector<GeneratedFile> WriteSan(const Model& model, const San& san, const WriterOptions& options) {
  return SanWriter(model, san, options).Write();
}

}  // namespace sanc
