// sanc, the model compiler: reads a model file, checks it and writes the
// generated classes into a directory.
//
//   sanc MODEL.san -o DIR [--include-dir NAME] [--unity FILE]
//
// --unity FILE also writes FILE, one source that includes every generated
// source, so that a build system knows the one output before the model's
// SAN names are known.
// Files whose content is unchanged are not rewritten, so a build that runs
// sanc on every change of the model recompiles only what changed. Exit
// status 0 on success, 1 for a mistake in the model file, 2 for a bad
// command line or a file that cannot be read or written.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "checks/Checks.h"
#include "model/Diagnostic.h"
#include "reader/Reader.h"
#include "writer/Writer.h"

namespace {

constexpr const char* kUsage = "usage: sanc MODEL.san -o DIR [--include-dir NAME] [--unity FILE]\n";

struct Options {
  std::string model;
  std::string outDir;
  std::string unity;
  sanc::WriterOptions writer;
};

bool ParseArguments(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-o" && i + 1 < argc) {
      options.outDir = argv[++i];
    } else if (arg == "--include-dir" && i + 1 < argc) {
      options.writer.includeDir = argv[++i];
    } else if (arg == "--unity" && i + 1 < argc) {
      options.unity = argv[++i];
    } else if (arg == "-h" || arg == "--help") {
      std::cout << kUsage;
      std::exit(0);
    } else if (!arg.empty() && arg[0] != '-' && options.model.empty()) {
      options.model = arg;
    } else {
      std::cerr << "sanc: unexpected argument '" << arg << "'\n" << kUsage;
      return false;
    }
  }
  if (options.model.empty() || options.outDir.empty()) {
    std::cerr << kUsage;
    return false;
  }
  return true;
}

bool ReadFile(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  text = buffer.str();
  return !in.bad();
}

// Writes the file unless it already holds exactly this text.
bool WriteIfChanged(const std::filesystem::path& path, const std::string& text) {
  std::string old;
  if (ReadFile(path.string(), old) && old == text) return true;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseArguments(argc, argv, options)) return 2;
  std::string text;
  if (!ReadFile(options.model, text)) {
    std::cerr << "sanc: cannot read " << options.model << "\n";
    return 2;
  }
  std::vector<sanc::GeneratedFile> files;
  try {
    const sanc::Model model = sanc::ReadModel(options.model, text);
    sanc::Check(model);
    files = sanc::Write(model, options.writer);
  } catch (const sanc::ModelError& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
  std::error_code error;
  std::filesystem::create_directories(options.outDir, error);
  std::string unity;
  for (const sanc::GeneratedFile& file : files) {
    const std::filesystem::path path = std::filesystem::path(options.outDir) / file.name;
    if (!WriteIfChanged(path, file.text)) {
      std::cerr << "sanc: cannot write " << path.string() << "\n";
      return 2;
    }
    if (path.extension() == ".cpp") unity += "#include \"" + options.writer.includeDir + "/" + file.name + "\"\n";
  }
  if (!options.unity.empty() && !WriteIfChanged(options.unity, files.front().text.substr(0, files.front().text.find('\n') + 1) + unity)) {
    std::cerr << "sanc: cannot write " << options.unity << "\n";
    return 2;
  }
  return 0;
}
