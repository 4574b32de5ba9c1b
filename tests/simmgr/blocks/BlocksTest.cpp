// Blocks as the unit of work: their names and seeds (and the change of
// measure they run under), and the ledger that judges whole prefixes
// whatever order blocks arrive in.
#include <sys/stat.h>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <vector>

#include "simmgr/blocks/BlockLedger.h"
#include "simmgr/blocks/BlockStore.h"
#include "simmgr/testing/TestSupport.h"

namespace {

BlockOutcome Block(std::mt19937_64& rng, int reps, double p) {
    BlockOutcome out;
    std::bernoulli_distribution coin(p);
    for (int v = 0; v < 3; ++v)
        for (int i = 0; i < reps; ++i) out.stats[v].Add(coin(rng) ? 1.0 : 0.0);
    out.replications = reps;
    return out;
}

}  // namespace

TEST(BlockLayout, NamesCarryTheBlockAndReadBack) {
    BlockLayout layout;
    layout.model = "units_2-0123456789abcdef";
    layout.baseSeed = 100;
    layout.blockSize = 150;
    layout.maxReps = 400;   // blocks of 150, 150, 100
    layout.seedStride = 9;
    layout.simArgs = {"-O", "f:power_cycle_rate:0.5_x y"};
    EXPECT_EQ(layout.BlockCount(), 3);
    EXPECT_EQ(layout.RepsOf(2), 100);
    const std::string name = layout.FileName(4, 2);
    EXPECT_EQ(name.rfind("units_2-0123456789abcdef_e4_b2_s122_n100_o", 0), 0u) << name;
    const auto back = ParseBlockFileName(name);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->model, layout.model);
    EXPECT_EQ(back->options, (std::vector<std::string>{"-O", "f:power_cycle_rate:0.5_x y"}));
    EXPECT_TRUE(layout.Holds(*back));
    BlockName other = *back;
    other.seed += 1;
    EXPECT_FALSE(layout.Holds(other));
    other = *back;
    other.model = "units_2-0123456789abcdee";
    EXPECT_FALSE(layout.Holds(other)) << "another model's block";
    const std::string m = "m-0123456789abcdef_";
    for (const std::string& bad : std::vector<std::string>{m + "e4_b2_s122.bin", m + "e4_b2_s122_n100_o.bin", m + "e4_b2_s122_n100_x.bin", m + "e4_b2_s122_n100.txt",
          m + "e4_b2_s122_n100_o-a%20%20b.bin", m + "e4_b2_s122_n100_o-a%2.bin", std::string("e4_b2_s122_n100.bin"),
          "m-0123456789ABCDEF_e4_b2_s122_n100.bin", "m-0123456789abcde_e4_b2_s122_n100.bin",
          "2m-0123456789abcdef_e4_b2_s122_n100.bin", "m.x-0123456789abcdef_e4_b2_s122_n100.bin"})
        EXPECT_FALSE(ParseBlockFileName(bad)) << bad;

    std::string error;
    layout.baseSeed = kMaxIndependentSeed - 2 * 9 - 8;   // the last block of experiment 8 takes the last seed
    EXPECT_TRUE(layout.SeedsInRange(error)) << error;
    layout.baseSeed += 1;
    EXPECT_FALSE(layout.SeedsInRange(error));
    EXPECT_NE(error.find("1 to 1073741821"), std::string::npos) << error;
}

// Each simulator argument is encoded on its own: one argument holding a
// space is not two arguments, so their blocks never mix. After the model's
// identity, the names of the default blocks, of an override and of a change
// of measure read as they always have.
TEST(BlockLayout, EveryArgumentIsItsOwnPartOfTheName) {
    BlockLayout one, two;
    one.model = two.model = "m-0123456789abcdef";
    one.simArgs = {"-t 1"};
    two.simArgs = {"-t", "1"};
    EXPECT_NE(one.FileName(0, 0), two.FileName(0, 0));
    EXPECT_EQ(ParseBlockFileName(one.FileName(0, 0))->options, one.simArgs);
    EXPECT_EQ(ParseBlockFileName(two.FileName(0, 0))->options, two.simArgs);
    EXPECT_FALSE(two.Holds(*ParseBlockFileName(one.FileName(0, 0))));

    BlockLayout plain;
    plain.model = "basic_model-00000000000000ff";
    EXPECT_EQ(plain.FileName(3, 1), "basic_model-00000000000000ff_e3_b1_s31419_n1000.bin");
    plain.seedStride = 4;
    plain.selections = {{0, "f:ram_size:64"}, {0, "f:ram_size:128"}};
    EXPECT_EQ(plain.FileName(1, 0), "basic_model-00000000000000ff_e1_b0_s31416_n1000_o-e0%20-Of:ram%5Fsize:128.bin");
    plain.bias.contentHash = "0123456789abcdef";
    EXPECT_EQ(plain.FileName(0, 0),
              "basic_model-00000000000000ff_e0_b0_s31415_n1000_o-Of:ram%5Fsize:64%20-B%200123456789abcdef.bin");

    // A store holding the blocks of one argument list gives none to the other.
    ScratchDir dir;
    const std::string run = Simmgr() + " run --sim " + FakeSim() + " --experiments 0 --reps 10 --block-size 10 --store " +
                            (dir / "st");
    ASSERT_EQ(RunShell(run + " '--sim-arg=-t 1'", dir).status, 0);
    const auto r = RunShell(run + " --sim-arg=-t --sim-arg=1", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(" 1 run here"), std::string::npos) << "the other list's block was reused: " << r.err;
}

TEST(BlockLedger, ThePrefixAnswerIgnoresArrivalOrder) {
    std::mt19937_64 rng(7);
    std::vector<BlockOutcome> blocks;
    for (int j = 0; j < 40; ++j) blocks.push_back(Block(rng, 50, 0.3));
    PrecisionGoal goal;
    goal.relative = 0.1;
    goal.minReps = 100;
    const StoppingRule rule(goal);

    BlockLedger inOrder(40, 50, &rule, 3);
    for (int j = 0; j < 40 && !inOrder.Decided(); ++j) inOrder.Record(j, blocks[j]);
    ASSERT_EQ(inOrder.State(), BlockLedger::Verdict::Converged);
    const int64_t k = inOrder.PrefixBlocks();
    ASSERT_GT(k, 2);
    ASSERT_LT(k, 40);

    std::vector<int> order(40);
    for (int j = 0; j < 40; ++j) order[j] = j;
    std::shuffle(order.begin(), order.end(), rng);
    BlockLedger shuffled(40, 50, &rule, 3);
    for (int j : order) shuffled.Record(j, blocks[j]);
    EXPECT_EQ(shuffled.PrefixBlocks(), k) << "blocks past the first prefix that met the rule are not counted";
    EXPECT_EQ(shuffled.Uncounted(), 40 - k);
    for (int v = 0; v < 3; ++v) {
        EXPECT_EQ(shuffled.PrefixStats().at(v).Mean(), inOrder.PrefixStats().at(v).Mean()) << "bit for bit";
        EXPECT_EQ(shuffled.PrefixStats().at(v).Variance(), inOrder.PrefixStats().at(v).Variance());
    }

    BlockLedger fixed(3, 50, nullptr, 3);
    fixed.Record(2, blocks[2]);
    fixed.Record(0, blocks[0]);
    EXPECT_FALSE(fixed.Decided()) << "block 1 is still missing";
    fixed.Record(1, blocks[1]);
    EXPECT_EQ(fixed.State(), BlockLedger::Verdict::Finished);
    EXPECT_EQ(fixed.PrefixStats().at(0).Count(), 150);
}

TEST(ChangeOfMeasure, ItsContentNotItsPathIsPartOfTheIdentity) {
    ScratchDir dir;
    ASSERT_EQ(mkdir((dir / "elsewhere").c_str(), 0777), 0);
    WriteBytes(dir / "a.bias", "rate sefi x 40\n");
    WriteBytes(dir / "elsewhere/copy.bias", "rate sefi x 40\n");
    WriteBytes(dir / "edited.bias", "rate sefi x 41\n");
    BlockLayout plain, original, copy, edited;
    std::string error;
    ASSERT_TRUE(LoadChangeOfMeasure(dir / "a.bias", original.bias, error)) << error;
    ASSERT_TRUE(LoadChangeOfMeasure(dir / "elsewhere/copy.bias", copy.bias, error)) << error;
    ASSERT_TRUE(LoadChangeOfMeasure(dir / "edited.bias", edited.bias, error)) << error;
    for (BlockLayout* layout : {&plain, &original, &copy, &edited}) {
        layout->seedStride = 9;
        layout->model = "m-0123456789abcdef";
    }

    EXPECT_EQ(original.bias.contentHash.size(), 16u);
    EXPECT_EQ(original.FileName(2, 3), copy.FileName(2, 3)) << "same content under another path";
    EXPECT_NE(original.FileName(2, 3), edited.FileName(2, 3));
    EXPECT_NE(original.FileName(2, 3), plain.FileName(2, 3));
    EXPECT_EQ(original.FileName(2, 3).find("a.bias"), std::string::npos) << "the path is not in the name";
    const auto back = ParseBlockFileName(original.FileName(2, 3));
    ASSERT_TRUE(back);
    EXPECT_TRUE(original.Holds(*back));
    EXPECT_TRUE(copy.Holds(*back));
    EXPECT_FALSE(edited.Holds(*back));
    EXPECT_FALSE(plain.Holds(*back));

    // The simulator gets, after the extra options, the absolute path of a
    // copy kept in the store under the content's hash, never the file given.
    auto store = BlockStore::Open(dir / "st", error);
    ASSERT_TRUE(store) << error;
    ASSERT_TRUE(store->Keep(original.bias, error)) << error;
    const std::string kept = dir / ("st/bias-" + original.bias.contentHash + ".bias");
    EXPECT_EQ(original.bias.copyPath, kept);
    EXPECT_EQ(ReadFile(kept), "rate sefi x 40\n");
    original.simArgs = {"-O", "x"};
    const std::vector<std::string> expected = {"-O", "x", "-B", kept};
    EXPECT_EQ(original.SimulatorOptions(), expected);
    EXPECT_TRUE(original.bias.CopyIntact(error)) << error;
    // A copy changed behind the manager's back is told, and kept anew.
    chmod(kept.c_str(), 0644);
    WriteBytes(kept, "rate sefi x 41\n");
    EXPECT_FALSE(original.bias.CopyIntact(error));
    EXPECT_NE(error.find(kept + ", no longer holds the content of " + original.bias.path), std::string::npos) << error;
    ASSERT_TRUE(store->Keep(original.bias, error)) << error;
    EXPECT_TRUE(original.bias.CopyIntact(error)) << error;
}

// A store shared by several hosts: a temporary names the host that writes
// it, and only that host may remove it once its process is gone.
TEST(BlockStore, OnlyTheWritingHostRemovesItsStaleTemporaries) {
    ScratchDir dir;
    BlockLayout layout;
    std::string error;
    const auto store = BlockStore::Open(dir.Path(), error);
    ASSERT_TRUE(store) << error;
    const std::string mine = store->TempPath(layout, 0, 0);
    const std::string ownPid = "." + std::to_string(getpid());
    ASSERT_EQ(mine.substr(mine.size() - ownPid.size()), ownPid);
    const std::string stem = mine.substr(0, mine.size() - ownPid.size());   // "….part.<host>"
    ASSERT_EQ(stem.find('.', stem.rfind(".part.") + 6), std::string::npos) << "host tag holds no dot: " << stem;

    const pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);   // a pid no process has now
    const std::string dead = std::to_string(child);
    const std::string base = dir / layout.FileName(0, 0);
    const std::string deadHere = stem + "." + dead, liveHere = mine, deadElsewhere = base + ".part.otherhost." + dead,
                      oldStyle = base + ".part." + dead;
    for (const std::string& path : {deadHere, liveHere, deadElsewhere, oldStyle}) WriteBytes(path, "partial");

    ASSERT_TRUE(BlockStore::Open(dir.Path(), error)) << error;
    EXPECT_FALSE(std::filesystem::exists(deadHere));
    EXPECT_TRUE(std::filesystem::exists(liveHere));
    EXPECT_TRUE(std::filesystem::exists(deadElsewhere));
    EXPECT_TRUE(std::filesystem::exists(oldStyle));
}
