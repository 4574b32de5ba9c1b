#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simmgr/testing/TestSupport.h"
#include "simmgr/wire/BinaryFileReader.h"
#include "simmgr/wire/Wire.h"

namespace {

std::string Bytes(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

// A file of experiment 3 with two messages: 4 and 2 replications of two
// variables.
std::string SampleFile() {
    DataMessage a;
    a.experiment = 3;
    a.blocks = {{0, {1, 0, 1, 1}}, {1, {0, 0, 0, 1}}};
    DataMessage b = a;
    b.blocks = {{0, {0, 0}}, {1, {1, 1}}};
    return Bytes(EncodeBinHeader(3)) + Bytes(EncodeData(a)) + Bytes(EncodeData(b));
}

}  // namespace

TEST(BinaryFileReader, GathersEveryMessage) {
    ScratchDir dir;
    WriteBytes(dir / "a.bin", SampleFile());
    BinaryFileData data;
    std::string err;
    ASSERT_TRUE(ReadBinaryFile(dir / "a.bin", 3, data, err)) << err;
    EXPECT_EQ(data.experiment, 3);
    EXPECT_EQ(data.messages, 2);
    EXPECT_EQ(data.observations.replications, 6);
    EXPECT_EQ(data.observations.stats[0].Count(), 6);
    EXPECT_DOUBLE_EQ(data.observations.stats[0].Mean(), 3.0 / 6);
    EXPECT_DOUBLE_EQ(data.observations.stats[1].Mean(), 3.0 / 6);

    // A header alone is a valid file with no observations.
    WriteBytes(dir / "empty.bin", Bytes(EncodeBinHeader(0)));
    BinaryFileData none;
    EXPECT_TRUE(ReadBinaryFile(dir / "empty.bin", 3, none, err)) << err;
    EXPECT_EQ(none.messages, 0);
}

TEST(BinaryFileReader, RefusesDamageNamingFileAndOffset) {
    ScratchDir dir;
    const std::string good = SampleFile();
    const size_t secondMessage = 256 + 9 + 2 * (7 + 32);
    struct Case {
        const char* what;
        std::string bytes;
        std::string expect;
    };
    std::string badKind = good;
    badKind[secondMessage + 11] = 5;
    std::string wrongExp = good;
    wrongExp[secondMessage + 6] = 9;
    std::string otherClient = good;
    otherClient[secondMessage + 4] = static_cast<char>(otherClient[secondMessage + 4] ^ 1);
    const Case cases[] = {
        {"cut inside the header", good.substr(0, 100), "truncated at byte offset 100"},
        {"cut inside the second message", good.substr(0, good.size() - 3),
         "truncated at byte offset " + std::to_string(secondMessage)},
        {"cut inside a length field", good.substr(0, secondMessage + 2),
         "truncated at byte offset " + std::to_string(secondMessage)},
        {"bad kind byte", badKind, "corrupt: malformed message at byte offset " + std::to_string(secondMessage)},
        {"message of another experiment", wrongExp, "experiment 9 in a file of experiment 3"},
        {"message of another client", otherClient, "in a file of client"},
        {"not a binary file", std::string(300, 'x'), "corrupt at byte offset 0"},
    };
    for (const Case& c : cases) {
        const std::string path = dir / "bad.bin";
        WriteBytes(path, c.bytes);
        BinaryFileData data;
        std::string err;
        EXPECT_FALSE(ReadBinaryFile(path, 3, data, err)) << c.what;
        EXPECT_NE(err.find(path), std::string::npos) << err;
        EXPECT_NE(err.find(c.expect), std::string::npos) << c.what << ": " << err;
    }
    BinaryFileData data;
    std::string err;
    EXPECT_FALSE(ReadBinaryFile(dir / "missing.bin", 3, data, err));
    EXPECT_FALSE(ReadBinaryFile((WriteBytes(dir / "v.bin", good), dir / "v.bin"), 1, data, err))
        << "variable 1 is beyond a one-variable model";
}
