#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "support/ArchiveFixtures.h"
#include "archive/Vecrc.h"
#include "archive/Vepack.h"

namespace {

uint32_t Get32(const TByteVector& b, size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

void Put32(TByteVector& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Recomputes the trailer so that an edited header or directory reaches the structural checks.
void Reseal(TByteVector& file)
{
    uint32_t directory = Get32(file, 8);
    size_t end = file.size() - 2;
    TCrcCheck crc;
    crc.Update(file.data(), 16);
    if (directory >= 16 && directory <= end)
        crc.Update(file.data() + directory, end - directory);
    file[end] = static_cast<uint8_t>(crc.Value());
    file[end + 1] = static_cast<uint8_t>(crc.Value() >> 8);
}

TNamedBytes SampleMembers()
{
    return {{"Title.png", PatternBytes(1, 300)},
            {"empty.bin", {}},
            {"Voice\\zb00001.adp", PatternBytes(2, 77)},
            {"Script\\a.Wps", PatternBytes(3, 1000)}};
}

// Opens file and reads every member; true when it opened. Members that read must be intact.
bool OpenAndReadAll(const std::string& path, const TNamedBytes& written, int& badReads)
{
    TVePack pack;
    badReads = 0;
    if (!pack.Open(path))
        return false;
    for (int i = 0; i < pack.Count(); ++i) {
        TMemoryStream stream;
        if (!pack.ReadMember(i, stream)) {
            ++badReads;
            continue;
        }
        for (const auto& [name, bytes] : written)
            if (name == pack.Entry(i).Name) {
                EXPECT_TRUE(stream.GetSize() == static_cast<int64_t>(bytes.size()) &&
                            (bytes.empty() || std::memcmp(stream.Memory(), bytes.data(), bytes.size()) == 0))
                    << name;
            }
    }
    return true;
}

}  // namespace

TEST(CrcCheck, MatchesTheCatalogueCheckValueInPieces)
{
    EXPECT_EQ(TCrcCheck::Calc("123456789", 9), 0x29B1);
    TCrcCheck crc;
    crc.Update("1234", 4);
    crc.Update("56789", 5);
    EXPECT_EQ(crc.Value(), 0x29B1);
    crc.Reset();
    EXPECT_EQ(crc.Value(), 0xFFFF);
    EXPECT_EQ(TCrcCheck::Calc(nullptr, 0), 0xFFFF);
}

TEST(CrcCheck, AgreesWithTheBitwiseDefinitionForAnySplit)
{
    TByteVector bytes = PatternBytes(42, 1000);
    uint16_t expected = 0xFFFF;
    for (uint8_t byte : bytes) {
        expected ^= static_cast<uint16_t>(byte << 8);
        for (int bit = 0; bit < 8; ++bit)
            expected = static_cast<uint16_t>((expected & 0x8000) ? (expected << 1) ^ 0x1021 : expected << 1);
    }
    EXPECT_EQ(TCrcCheck::Calc(bytes.data(), bytes.size()), expected);
    for (size_t split = 0; split <= 17; ++split) {
        TCrcCheck crc;
        size_t at = 0;
        while (at < bytes.size()) {
            size_t count = std::min(bytes.size() - at, split + 1 + at % 11);
            crc.Update(bytes.data() + at, count);
            at += count;
        }
        EXPECT_EQ(crc.Value(), expected) << split;
    }
}

TEST(VePack, RoundTripKeepsOrderNamesAndBytes)
{
    TScratchFolder scratch;
    std::string path = scratch.Path() + "/a.pak";
    TNamedBytes members = SampleMembers();
    ASSERT_TRUE(BuildPack(path, members));

    TVePack pack;
    ASSERT_TRUE(pack.Open(path)) << pack.LastError();
    EXPECT_EQ(pack.MajorVersion(), 3);
    EXPECT_EQ(pack.MinorVersion(), 1);
    ASSERT_EQ(pack.Count(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(pack.Entry(i).Name, members[i].first);
        TMemoryStream stream;
        stream.Write("junk", 4);
        ASSERT_TRUE(pack.ReadMember(i, stream));
        EXPECT_EQ(stream.GetPosition(), 0);
        ASSERT_EQ(stream.GetSize(), static_cast<int64_t>(members[i].second.size()));
        if (!members[i].second.empty()) {
            EXPECT_EQ(0, std::memcmp(stream.Memory(), members[i].second.data(), members[i].second.size()));
        }
    }
    EXPECT_EQ(pack.IndexOf("voice/ZB00001.ADP"), 2);
    EXPECT_EQ(pack.IndexOf("TITLE.PNG"), 0);
    EXPECT_EQ(pack.IndexOf("Title.pn"), -1);
    EXPECT_EQ(pack.IndexOf("zb00001.adp"), -1);
    TMemoryStream stream;
    EXPECT_FALSE(pack.ReadMember(4, stream));
    EXPECT_FALSE(pack.ReadMember(-1, stream));

    // The file is exactly header, data, directory and trailer.
    TByteVector file = ReadWholeFile(path);
    EXPECT_EQ(0, std::memcmp(file.data(), "VePack", 6));
    EXPECT_EQ(Get32(file, 8), 16u + 300 + 0 + 77 + 1000);
    EXPECT_EQ(Get32(file, 12), 4u);
}

TEST(VePack, WriterRefusesBadAndDuplicateNamesButFinishes)
{
    TScratchFolder scratch;
    std::string path = scratch.Path() + "/w.pak";
    TVePackWriter writer;
    ASSERT_TRUE(writer.Begin(path));
    uint8_t byte = 7;
    EXPECT_TRUE(writer.Add("Sub\\One.bin", &byte, 1));
    for (const char* bad : {"", "sub\\one.BIN", "SUB/one.bin", "\\abs", "a\\..\\b", "a\\\\b", "a\\", "dot\\.\\x",
                            "tab\there", "c:x"}) {
        EXPECT_FALSE(writer.Add(bad, &byte, 1)) << bad;
        EXPECT_FALSE(writer.LastError().empty());
    }
    EXPECT_FALSE(writer.Add(std::string(256, 'n'), &byte, 1));
    EXPECT_TRUE(writer.Add(std::string(255, 'n'), &byte, 1));
    ASSERT_TRUE(writer.Finish());

    TVePack pack;
    ASSERT_TRUE(pack.Open(path));
    EXPECT_EQ(pack.Count(), 2);
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

TEST(VePack, AbandonedWriteLeavesTheOldArchive)
{
    TScratchFolder scratch;
    std::string path = scratch.Path() + "/keep.pak";
    ASSERT_TRUE(BuildPack(path, SampleMembers()));
    {
        TVePackWriter writer;
        ASSERT_TRUE(writer.Begin(path));
        uint8_t byte = 1;
        writer.Add("x", &byte, 1);
    }
    TVePack pack;
    ASSERT_TRUE(pack.Open(path));
    EXPECT_EQ(pack.Count(), 4);
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

TEST(VePack, VersionsOneToThreePointOneAreRead)
{
    TScratchFolder scratch;
    std::string path = scratch.Path() + "/v.pak";
    ASSERT_TRUE(BuildPack(path, SampleMembers()));
    TByteVector file = ReadWholeFile(path);
    struct {
        uint8_t major, minor;
        bool accepted;
    } cases[] = {{1, 0, true}, {1, 9, true}, {2, 5, true}, {3, 0, true}, {3, 1, true}, {0, 9, false},
                 {0, 0, false}, {3, 2, false}, {4, 0, false}, {255, 255, false}};
    for (const auto& c : cases) {
        TByteVector edited = file;
        edited[6] = c.major;
        edited[7] = c.minor;
        Reseal(edited);
        WriteWholeFile(path, edited);
        TVePack pack;
        EXPECT_EQ(pack.Open(path), c.accepted) << int(c.major) << "." << int(c.minor);
    }
}

TEST(VePack, StructuralFaultsAreRefused)
{
    TScratchFolder scratch;
    std::string path = scratch.Path() + "/s.pak";
    TNamedBytes members = SampleMembers();
    ASSERT_TRUE(BuildPack(path, members));
    const TByteVector file = ReadWholeFile(path);
    const uint32_t directory = Get32(file, 8);
    // Directory entries: 12 fixed bytes then the name and its zero.
    const size_t first = directory;                          // Title.png
    const size_t second = first + 12 + 10;                   // empty.bin
    const size_t third = second + 12 + 10;                   // Voice\zb00001.adp

    auto expectRefused = [&](const char* what, auto edit) {
        TByteVector edited = file;
        edit(edited);
        Reseal(edited);
        WriteWholeFile(path, edited);
        TVePack pack;
        EXPECT_FALSE(pack.Open(path)) << what;
        EXPECT_FALSE(pack.Active()) << what;
        EXPECT_EQ(pack.Count(), 0) << what;
    };
    expectRefused("magic", [](TByteVector& b) { b[0] = 'v'; });
    expectRefused("directory before the data", [](TByteVector& b) { Put32(b, 8, 15); });
    expectRefused("directory past the end", [&](TByteVector& b) { Put32(b, 8, static_cast<uint32_t>(b.size())); });
    expectRefused("directory moved", [&](TByteVector& b) { Put32(b, 8, directory - 1); });
    expectRefused("count too big", [](TByteVector& b) { Put32(b, 12, 5); });
    expectRefused("count huge", [](TByteVector& b) { Put32(b, 12, 0xFFFFFFFF); });
    expectRefused("count too small leaves bytes", [](TByteVector& b) { Put32(b, 12, 3); });
    expectRefused("entry before the data", [&](TByteVector& b) { Put32(b, first, 15); });
    expectRefused("entry past the data", [&](TByteVector& b) { Put32(b, first + 4, directory); });
    expectRefused("entry size wraps", [&](TByteVector& b) { Put32(b, third + 4, 0xFFFFFFF0); });
    expectRefused("entry offset huge", [&](TByteVector& b) { Put32(b, third, 0xFFFFFFF0); });
    expectRefused("overlap", [&](TByteVector& b) { Put32(b, third, 16 + 299); });
    expectRefused("flags", [&](TByteVector& b) { b[first + 10] = 1; });
    expectRefused("duplicate name by case", [&](TByteVector& b) { b[second + 12] = 'T'; std::memcpy(&b[second + 12], "TITLE.PNG", 9); });
    expectRefused("empty name", [&](TByteVector& b) { b[second + 12] = 0; });
    expectRefused("name with a slash", [&](TByteVector& b) { b[third + 12 + 5] = '/'; });
    expectRefused("name like a drive", [&](TByteVector& b) { b[third + 12 + 1] = ':'; });
    expectRefused("name without terminator", [&](TByteVector& b) {
        // The last name runs into the trailer.
        b[b.size() - 3] = 'x';
    });
    expectRefused("stray bytes after the directory", [&](TByteVector& b) { b.insert(b.end() - 2, 0); });

    // Undamaged and resealed still opens, so the edits above are what was refused.
    TByteVector same = file;
    Reseal(same);
    WriteWholeFile(path, same);
    TVePack pack;
    EXPECT_TRUE(pack.Open(path));
}

TEST(VePack, EveryTruncationIsRefusedAndEveryByteFlipCaught)
{
    TScratchFolder scratch;
    std::string path = scratch.Path() + "/t.pak";
    TNamedBytes members = {{"a", PatternBytes(5, 40)}, {"b\\c", PatternBytes(6, 25)}, {"d", {}}};
    ASSERT_TRUE(BuildPack(path, members));
    const TByteVector file = ReadWholeFile(path);
    int badReads = 0;

    for (size_t length = 0; length < file.size(); ++length) {
        WriteWholeFile(path, TByteVector(file.begin(), file.begin() + static_cast<long>(length)));
        EXPECT_FALSE(OpenAndReadAll(path, members, badReads)) << length;
    }
    // A changed byte is caught by the trailer (header, directory) or by its member's own CRC.
    for (size_t at = 0; at < file.size(); ++at) {
        TByteVector edited = file;
        edited[at] ^= 0x5A;
        WriteWholeFile(path, edited);
        bool opened = OpenAndReadAll(path, members, badReads);
        bool inData = at >= 16 && at < Get32(file, 8);
        EXPECT_EQ(opened, inData) << at;
        if (opened) {
            EXPECT_EQ(badReads, 1) << at;
        }
    }
    // Many random multi-byte flips: never a crash, never wrong bytes handed out.
    std::mt19937 random(1234);
    for (int round = 0; round < 2000; ++round) {
        TByteVector edited = file;
        int flips = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < flips; ++i)
            edited[random() % edited.size()] ^= static_cast<uint8_t>(1 + random() % 255);
        if (round % 2)
            Reseal(edited);
        WriteWholeFile(path, edited);
        OpenAndReadAll(path, members, badReads);
    }
}

TEST(VePack, MissingFolderPipeAndEmptyFilesAreRefused)
{
    TScratchFolder scratch;
    TVePack pack;
    EXPECT_FALSE(pack.Open(scratch.Path() + "/none.pak"));
    EXPECT_FALSE(pack.Open(scratch.Path()));
    EXPECT_FALSE(pack.LastError().empty());
    // A pipe with no writer is refused at once instead of waiting for one.
    const std::string pipe = scratch.Path() + "/pipe.pak";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_FALSE(pack.Open(pipe));
    EXPECT_EQ(pack.LastError(), "not a regular file");
    std::string empty = scratch.Write("empty.pak", TByteVector{});
    EXPECT_FALSE(pack.Open(empty));
    ASSERT_TRUE(BuildPack(scratch.Path() + "/zero.pak", {}));
    EXPECT_TRUE(pack.Open(scratch.Path() + "/zero.pak"));
    EXPECT_EQ(pack.Count(), 0);
}

TEST(VePack, MemberCountAndMemberSizeAreBounded)
{
    using VePackFormat::MaxMemberSize;
    using VePackFormat::MaxMembers;
    TScratchFolder scratch;
    const std::string path = scratch.Path() + "/b.pak";
    // Empty members, as many as an archive may hold, then one more.
    std::vector<TRawPackEntry> entries;
    for (uint32_t i = 0; i <= MaxMembers; ++i)
        entries.push_back({"m" + std::to_string(i), 16, 0, TCrcCheck::Calc(nullptr, 0), {}});
    ASSERT_TRUE(WriteRawPack(path, 16, entries));
    TVePack pack;
    EXPECT_FALSE(pack.Open(path));
    EXPECT_NE(pack.LastError().find(std::to_string(MaxMembers)), std::string::npos) << pack.LastError();
    entries.pop_back();
    ASSERT_TRUE(WriteRawPack(path, 16, entries));
    ASSERT_TRUE(pack.Open(path)) << pack.LastError();
    EXPECT_EQ(pack.Count(), static_cast<int>(MaxMembers));

    // Members of zeros whose CRCs are right: the largest a member may be reads, one byte more is
    // refused before anything is read or allocated for it.
    const TByteVector zeros(MaxMemberSize + 1, 0);
    const uint32_t dataEnd = 16 + 2 * MaxMemberSize + 1;
    ASSERT_TRUE(WriteRawPack(path, dataEnd,
                             {{"at.bin", 16, MaxMemberSize, TCrcCheck::Calc(zeros.data(), MaxMemberSize), {}},
                              {"over.bin", 16 + MaxMemberSize, MaxMemberSize + 1,
                               TCrcCheck::Calc(zeros.data(), zeros.size()), {}}}));
    ASSERT_TRUE(pack.Open(path)) << pack.LastError();
    TMemoryStream stream;
    std::string failure;
    EXPECT_TRUE(pack.ReadMember(pack.IndexOf("at.bin"), stream, &failure)) << failure;
    EXPECT_EQ(stream.GetSize(), int64_t(MaxMemberSize));
    EXPECT_FALSE(pack.ReadMember(pack.IndexOf("over.bin"), stream, &failure));
    EXPECT_EQ(stream.GetSize(), 0);
    EXPECT_NE(failure.find(std::to_string(MaxMemberSize)), std::string::npos) << failure;

    // The writer makes no archive the reader would refuse.
    TVePackWriter writer;
    ASSERT_TRUE(writer.Begin(scratch.Path() + "/w.pak"));
    EXPECT_FALSE(writer.Add("over.bin", zeros.data(), zeros.size()));
    EXPECT_TRUE(writer.Add("at.bin", zeros.data(), MaxMemberSize));
    EXPECT_TRUE(writer.Finish());
    ASSERT_TRUE(writer.Begin(scratch.Path() + "/n.pak"));
    for (uint32_t i = 0; i < MaxMembers; ++i)
        ASSERT_TRUE(writer.Add("m" + std::to_string(i), nullptr, 0)) << i << ": " << writer.LastError();
    EXPECT_FALSE(writer.Add("one.more", nullptr, 0));
    EXPECT_NE(writer.LastError().find(std::to_string(MaxMembers)), std::string::npos) << writer.LastError();
    ASSERT_TRUE(writer.Finish()) << writer.LastError();
    ASSERT_TRUE(pack.Open(scratch.Path() + "/n.pak")) << pack.LastError();
    EXPECT_EQ(pack.Count(), static_cast<int>(MaxMembers));
}
