#include "simmgr/blocks/BlockLayout.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "io/ModelDescription.h"

namespace {

bool PlainOptionChar(unsigned char c) { return std::isalnum(c) || c == '-' || c == '.' || c == ',' || c == ':' || c == '='; }

// Between option words in a name; a space inside a word is written '+'.
const char kWordSeparator[] = "%20";

std::string EncodeWord(const std::string& word) {
    std::string out;
    for (unsigned char c : word) {
        if (PlainOptionChar(c)) {
            out += static_cast<char>(c);
        } else if (c == ' ') {
            out += '+';
        } else {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            out += buf;
        }
    }
    return out;
}

std::string EncodeWords(const std::vector<std::string>& words) {
    std::string out;
    for (size_t i = 0; i < words.size(); ++i) out += (i ? kWordSeparator : "") + EncodeWord(words[i]);
    return out;
}

// The words of an encoded option list; nothing if the text is no such
// list (a stray character, a broken escape or an empty word).
std::optional<std::vector<std::string>> DecodeWords(const std::string& text) {
    std::vector<std::string> words(1);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            words.back() += ' ';
        } else if (c != '%') {
            if (!PlainOptionChar(static_cast<unsigned char>(c))) return std::nullopt;
            words.back() += c;
        } else if (text.compare(i, sizeof kWordSeparator - 1, kWordSeparator) == 0) {
            words.emplace_back();
            i += 2;
        } else {
            if (i + 2 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
                !std::isxdigit(static_cast<unsigned char>(text[i + 2])))
                return std::nullopt;
            words.back() += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        }
    }
    for (const std::string& word : words)
        if (word.empty()) return std::nullopt;
    return words;
}

// Reads "<letter><decimal>" at the front of text, up to the next '_' or the end.
bool TakeField(std::string& text, char letter, int64_t& value) {
    if (text.size() < 2 || text[0] != letter) return false;
    const size_t end = std::min(text.find('_'), text.size());
    const std::string digits = text.substr(1, end - 1);
    if (digits.empty() || digits.size() > 12 || !std::all_of(digits.begin(), digits.end(), ::isdigit)) return false;
    value = std::strtoll(digits.c_str(), nullptr, 10);
    text.erase(0, end == text.size() ? end : end + 1);
    return true;
}

// Reads "<name>-<16 hex digits>_" at the front of text: a model identity,
// whose name may hold '_' but no '-'.
bool TakeModel(std::string& text, std::string& model) {
    const size_t dash = text.find('-');
    const size_t end = dash + 17;
    if (dash == std::string::npos || end >= text.size() || text[end] != '_') return false;
    model = text.substr(0, end);
    if (!description::IsModelIdentity(model)) return false;
    text.erase(0, end + 1);
    return true;
}

}  // namespace

int64_t BlockLayout::RepsOf(int64_t block) const { return std::min(blockSize, maxReps - block * blockSize); }

SimSelection BlockLayout::SelectionOf(int experiment) const {
    if (experiment >= 0 && experiment < static_cast<int>(selections.size())) return selections[experiment];
    return SimSelection{experiment, ""};
}

std::vector<std::string> BlockLayout::SelectionArgs(int experiment) const {
    const SimSelection s = SelectionOf(experiment);
    std::vector<std::string> args = {"-e", std::to_string(s.simExperiment)};
    if (!s.overrides.empty()) args.push_back("-O" + s.overrides);
    return args;
}

std::vector<std::string> BlockLayout::OptionWords(int experiment) const {
    std::vector<std::string> words = simArgs;
    const SimSelection s = SelectionOf(experiment);
    if (s.simExperiment != experiment) words.push_back("-e" + std::to_string(s.simExperiment));
    if (!s.overrides.empty()) words.push_back("-O" + s.overrides);
    if (bias.Active()) words.insert(words.end(), {"-B", bias.contentHash});
    return words;
}

std::vector<std::string> BlockLayout::SimulatorOptions() const {
    std::vector<std::string> options = simArgs;
    if (bias.Active()) options.insert(options.end(), {"-B", bias.copyPath});
    return options;
}

std::string BlockLayout::FileName(int experiment, int64_t block) const {
    std::string name = model + "_e" + std::to_string(experiment) + "_b" + std::to_string(block) + "_s" +
                       std::to_string(SeedOf(experiment, block)) + "_n" + std::to_string(RepsOf(block));
    const std::vector<std::string> options = OptionWords(experiment);
    if (!options.empty()) name += "_o" + EncodeWords(options);
    return name + ".bin";
}

bool BlockLayout::Holds(const BlockName& name) const {
    return name.model == model && name.experiment < seedStride && name.block < BlockCount() && name.seed == SeedOf(name.experiment, name.block) &&
           name.replications == RepsOf(name.block) && name.options == OptionWords(name.experiment);
}

bool BlockLayout::FileNamesFit(const std::vector<int>& experiments, const std::string& suffix,
                               std::string& error) const {
    for (int e : experiments) {
        // The last block has the most digits, unless it is short and the
        // one before it has a longer count.
        for (int64_t j = std::max<int64_t>(0, BlockCount() - 2); j < BlockCount(); ++j) {
            const std::string name = FileName(e, j) + suffix;
            if (name.size() <= kMaxFileNameBytes) continue;
            error = "the blocks of experiment " + std::to_string(e) + " would be written as " + name + ", " +
                    std::to_string(name.size()) + " bytes, more than the " + std::to_string(kMaxFileNameBytes) +
                    " a file name may have: shorten the simulator options (--sim-arg, --set, --vary)";
            return false;
        }
    }
    return true;
}

bool BlockLayout::SeedsInRange(std::string& error) const {
    const int64_t last = SeedOf(seedStride - 1, BlockCount() - 1);
    if (baseSeed >= 1 && last <= kMaxIndependentSeed) return true;
    error = "--seed " + std::to_string(baseSeed) + " gives block seeds " + std::to_string(baseSeed) + " to " +
            std::to_string(last) + " (" + std::to_string(BlockCount()) + " blocks of " + std::to_string(seedStride) +
            " experiments), which leave 1 to " + std::to_string(kMaxIndependentSeed) +
            ", the range of independent lagged Fibonacci seeds";
    return false;
}

std::optional<BlockName> ParseBlockFileName(const std::string& fileName) {
    const std::string suffix = ".bin";
    if (fileName.size() <= suffix.size() || fileName.compare(fileName.size() - suffix.size(), suffix.size(), suffix) != 0)
        return std::nullopt;
    std::string rest = fileName.substr(0, fileName.size() - suffix.size());
    BlockName name;
    int64_t experiment = 0;
    if (!TakeModel(rest, name.model) || !TakeField(rest, 'e', experiment) || experiment > 65535 || !TakeField(rest, 'b', name.block) ||
        !TakeField(rest, 's', name.seed) || !TakeField(rest, 'n', name.replications))
        return std::nullopt;
    name.experiment = static_cast<int>(experiment);
    if (!rest.empty()) {
        if (rest[0] != 'o') return std::nullopt;
        auto options = DecodeWords(rest.substr(1));
        if (!options) return std::nullopt;
        name.options = std::move(*options);
    }
    return name;
}
