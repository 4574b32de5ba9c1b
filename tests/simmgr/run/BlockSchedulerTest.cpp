// The scheduler's choice of the next block: the experiment with the most
// work left, never more than jobs blocks past its decided prefix.
#include <gtest/gtest.h>

#include <vector>

#include "simmgr/run/BlockScheduler.h"

TEST(BlockScheduler, LongestWorkFirstWithinTheWindow) {
    std::vector<ExperimentLoad> loads = {
        {true, 3, 1, 100, 10},   // two blocks in flight past its prefix
        {true, 0, 0, 100, 100},  // no estimate yet
        {false, 0, 0, 100, 100}, // decided
    };
    EXPECT_EQ(PickExperiment(loads, 2), 1);
    loads[1].nextBlock = 2;   // now at its window too (jobs = 2)
    EXPECT_EQ(PickExperiment(loads, 2), -1) << "no experiment may run jobs blocks past its prefix";
    EXPECT_EQ(PickExperiment(loads, 3), 1);
    loads[1].estimatedBlocks = 2;   // estimate reached: still fed when nobody else may run
    loads[0].nextBlock = 2;
    EXPECT_EQ(PickExperiment(loads, 3), 0);
}
