// Gathering a block's observations: values add up per variable, a message
// counts as many replications as its longest entry, and a message naming
// an unknown variable is refused whole.
#include <gtest/gtest.h>

#include "simmgr/wire/Observations.h"

namespace {

DataMessage Message(std::initializer_list<ObservationBlock> blocks) {
    DataMessage m;
    m.blocks = blocks;
    return m;
}

}  // namespace

TEST(Observations, GatherPerVariableAndCountTheLongestEntry) {
    Observations seen;
    int unknown = -1;
    ASSERT_TRUE(seen.Add(Message({{0, {1.0, 0.0, 1.0}}, {2, {4.0}}}), 3, unknown));
    ASSERT_TRUE(seen.Add(Message({{0, {1.0}}}), 3, unknown));
    EXPECT_EQ(seen.replications, 4);
    EXPECT_EQ(seen.stats.at(0).Count(), 4);
    EXPECT_DOUBLE_EQ(seen.stats.at(0).Mean(), 0.75);
    EXPECT_EQ(seen.stats.at(2).Count(), 1);
    EXPECT_EQ(unknown, -1);
}

TEST(Observations, AnUnknownVariableRefusesTheWholeMessage) {
    Observations seen;
    int unknown = -1;
    EXPECT_FALSE(seen.Add(Message({{0, {1.0}}, {5, {2.0}}}), 3, unknown));
    EXPECT_EQ(unknown, 5);
    EXPECT_TRUE(seen.stats.empty()) << "nothing of a refused message is kept";
    EXPECT_EQ(seen.replications, 0);
}
