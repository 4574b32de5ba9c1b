#include "simmgr/cli/MergeCommand.h"

#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <optional>
#include <set>

#include "simmgr/blocks/BlockStore.h"
#include "simmgr/merge/BlockMerge.h"

namespace {

// Blocks are found by the content of the change of measure given; when the
// file has changed since the blocks ran, the copy their jobs ran beside
// them is the one to give.
void NameOtherChangesOfMeasure(const std::string& storeDir, const ChangeOfMeasure& bias) {
    if (storeDir.empty()) return;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(storeDir, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("bias-", 0) == 0 && name.size() == bias.CopyName().size() && name != bias.CopyName() &&
            name.compare(name.size() - 5, 5, ".bias") == 0)
            std::cerr << "simmgr: the store keeps another change of measure than " << bias.path
                      << ", which blocks there ran under: " << entry.path().string()
                      << "; give it to --bias to merge those blocks" << std::endl;
    }
}

// Blocks are found by the model's identity too: a store that holds only
// another model's blocks was given the wrong simulator.
void NameOtherModels(const BlockStore& store, const std::string& identity) {
    std::set<std::string> others;
    for (const auto& [name, path] : store.Files()) {
        const std::optional<BlockName> block = ParseBlockFileName(name);
        if (block && block->model != identity) others.insert(block->model);
    }
    for (const std::string& model : others)
        std::cerr << "simmgr: the store holds blocks of model " << model << ", not of " << identity
                  << ", the model of the simulator given; give merge the --sim those blocks ran on" << std::endl;
}

}  // namespace

MergeCommand::MergeCommand(CLI::App& app) {
    command = app.add_subcommand("merge", "Judge stored or planned blocks as a run would, and report");
    command->add_option("files", files, "Block files");
    command->add_option("--store", storeDir, "A directory of block files (a run's store or a plan's --out)");
    AddStudyOptions(command, study, "Simulator executable the blocks ran on: its model's blocks are the ones judged");
    AddOutputOptions(command, out);
}

int MergeCommand::Execute() {
    std::string error;
    std::vector<int> experiments;
    if (!OutputsWritable(out, error) || !ResolveStudy(study, catalog, experiments, error)) {
        std::cerr << "simmgr: " << error << std::endl;
        return 2;
    }
    if (storeDir.empty() == files.empty()) {
        std::cerr << "simmgr: merge needs either block files or --store DIR" << std::endl;
        return 2;
    }
    // Merging only reads: the store may be read-only, or someone else's.
    std::optional<BlockStore> store =
        files.empty() ? BlockStore::ForReading(storeDir, error) : BlockStore::OfFiles(files, error);
    if (!store) {
        std::cerr << "simmgr: " << error << std::endl;
        return files.empty() ? 2 : 1;   // no store at all, or files that clash
    }
    PrecisionGoal goal = study.goal;
    goal.confidence = out.confidence;
    const StoppingRule rule(goal);
    const MergeResult merged = MergeBlocks(study.layout, experiments, study.fixedReps > 0 ? nullptr : &rule,
                                           static_cast<int>(catalog.variables.size()), *store);
    for (const std::string& e : merged.errors) std::cerr << "simmgr: " << e << std::endl;
    if (!merged.errors.empty()) {
        std::cerr << "simmgr: merge refused: fix or leave out the files named above" << std::endl;
        return 1;
    }
    std::cerr << "simmgr: " << StatusTally(merged.results) << "; " << merged.blocksRead << " of "
              << merged.blocksPresent << " blocks present read" << std::endl;
    const bool published = Publish(merged.results, catalog, out, false, goal);
    bool complete = true;
    for (const auto& r : merged.results)
        complete = complete && r.status != ExperimentStatus::Incomplete;
    if (!complete) std::cerr << "simmgr: some experiments lack blocks their answer needs (see above)" << std::endl;
    if (!complete && study.layout.bias.Active()) NameOtherChangesOfMeasure(storeDir, study.layout.bias);
    if (merged.blocksRead == 0) NameOtherModels(*store, study.layout.model);
    if (merged.blocksRead == 0)
        std::cerr << "simmgr: no block of any experiment with these options (seed " << study.layout.baseSeed
                  << ", block size " << study.layout.blockSize << ", cap " << study.layout.maxReps << ")" << std::endl;
    return published && complete ? 0 : 1;
}
