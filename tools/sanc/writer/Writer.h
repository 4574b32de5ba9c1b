// The writer: a checked model in, the generated classes out, in the shape
// the framework expects: per SAN its class with one nested class per
// activity or case; per join its class; the reward model with one node and
// one worker per variable; the study with its experiments; and the global
// variables. Every file opens with a line saying which model file it was
// generated from and that it must not be edited. Nothing is written to
// disk here.
#pragma once

#include <string>
#include <vector>

#include "model/Model.h"

namespace sanc {

struct GeneratedFile {
  std::string name;  // e.g. "ram_systemSAN.cpp"
  std::string text;
};

struct WriterOptions {
  // Generated files include each other as "<includeDir>/<name>".
  std::string includeDir = "model";
};

std::vector<GeneratedFile> Write(const Model& model, const WriterOptions& options);

// --- The parts, one per kind of generated class.
std::vector<GeneratedFile> WriteSan(const Model& model, const San& san, const WriterOptions& options);
std::vector<GeneratedFile> WriteJoin(const Model& model, const Join& join, const WriterOptions& options);
std::vector<GeneratedFile> WriteReward(const Model& model, const WriterOptions& options);
std::vector<GeneratedFile> WriteStudy(const Model& model, const WriterOptions& options);

// The first line of every generated file.
std::string GeneratedBanner(const Model& model);
// The generated class of a submodel: "<name>SAN" or "<name>RJ".
std::string SubmodelClass(const Model& model, const std::string& submodel);

}  // namespace sanc
