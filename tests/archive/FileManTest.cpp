#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "support/ArchiveFixtures.h"
#include "archive/Vefileman.h"
#include "platform/Filenames.h"

namespace {

// A folder of files (with a subfolder) and the same files in an archive, as the packer makes it.
class FileManSources : public ::testing::Test {
protected:
    void SetUp() override
    {
        Files = {{"b.txt", PatternBytes(1, 10)},      {"A.TXT", PatternBytes(2, 20)},
                 {"c.Wps", PatternBytes(3, 3000)},    {"_under.txt", PatternBytes(4, 1)},
                 {"empty.txt", {}},                   {"Sub/Pic.png", PatternBytes(5, 500)},
                 {"Sub/aa.png", PatternBytes(6, 50)}, {"Sub/Deeper/x.png", PatternBytes(7, 5)}};
        for (const auto& [name, bytes] : Files)
            Scratch.Write("Data/" + name, bytes);
        // The packer's order: each folder's files by name without regard to case, then subfolders.
        TNamedBytes members = {{"_under.txt", Files[3].second},  {"A.TXT", Files[1].second},
                               {"b.txt", Files[0].second},       {"c.Wps", Files[2].second},
                               {"empty.txt", Files[4].second},   {"Sub\\aa.png", Files[6].second},
                               {"Sub\\Pic.png", Files[5].second}, {"Sub\\Deeper\\x.png", Files[7].second}};
        ASSERT_TRUE(BuildPack(Scratch.Path() + "/Data.pak", members));
        ASSERT_TRUE(Pack.InitPack(Scratch.Path() + "/Data.pak"));
        ASSERT_TRUE(Folder.InitDir(Scratch.Path() + "/Data"));
    }

    static std::vector<std::string> List(TFileMan& man, const std::string& pattern)
    {
        std::vector<std::string> names;
        man.FindFirst(pattern);
        std::string name;
        while (man.FindNext(name))
            names.push_back(name);
        return names;
    }

    static TByteVector ReadAll(TFileMan& man, const std::string& name)
    {
        TStream* stream = man.Open(name);
        if (!stream)
            return {9, 9, 9};
        TByteVector bytes(static_cast<size_t>(stream->GetSize()));
        EXPECT_EQ(stream->Read(bytes.data(), static_cast<int64_t>(bytes.size())), static_cast<int64_t>(bytes.size()));
        man.Close(stream);
        return bytes;
    }

    TScratchFolder Scratch;
    TNamedBytes Files;
    TFileMan Pack {nullptr};
    TFileMan Folder {nullptr};
};

}  // namespace

TEST_F(FileManSources, FolderAndArchiveServeTheSameListingAndBytes)
{
    EXPECT_TRUE(Pack.IsPack());
    EXPECT_FALSE(Folder.IsPack());
    for (const char* pattern : {"*", "*.txt", "?.TXT", "SUB\\*", "sub/*.PNG", "Sub\\Deeper\\*", "*.none", "b*"}) {
        std::vector<std::string> fromPack = List(Pack, pattern);
        std::vector<std::string> fromFolder = List(Folder, pattern);
        ASSERT_EQ(fromPack.size(), fromFolder.size()) << pattern;
        for (size_t i = 0; i < fromPack.size(); ++i)
            EXPECT_TRUE(SameName(fromPack[i], fromFolder[i])) << pattern << ": " << fromPack[i] << " " << fromFolder[i];
        for (const std::string& name : fromPack)
            EXPECT_EQ(ReadAll(Pack, name), ReadAll(Folder, name)) << name;
    }
    EXPECT_EQ(List(Pack, "*"), (std::vector<std::string> {"_under.txt", "A.TXT", "b.txt", "c.Wps", "empty.txt"}));
    EXPECT_EQ(List(Folder, "*.txt"), (std::vector<std::string> {"_under.txt", "A.TXT", "b.txt", "empty.txt"}));
    EXPECT_EQ(List(Pack, "sub\\*"), (std::vector<std::string> {"Sub\\aa.png", "Sub\\Pic.png"}));
    EXPECT_EQ(List(Folder, "sub\\*"), (std::vector<std::string> {"sub\\aa.png", "sub\\Pic.png"}));
}

TEST_F(FileManSources, NamesMatchInAnyCaseWithEitherSeparator)
{
    for (TFileMan* man : {&Pack, &Folder}) {
        EXPECT_EQ(ReadAll(*man, "SUB\\PIC.PNG"), Files[5].second);
        EXPECT_EQ(ReadAll(*man, "sub/deeper\\X.png"), Files[7].second);
        EXPECT_EQ(ReadAll(*man, "a.txt"), Files[1].second);
        EXPECT_TRUE(man->FileIsExist("C.WPS"));
        EXPECT_TRUE(man->FileIsExist("Sub\\Deeper\\X.PNG"));
        EXPECT_FALSE(man->FileIsExist("Sub"));
        EXPECT_FALSE(man->FileIsExist("Pic.png"));
        EXPECT_FALSE(man->FileIsExist("missing.txt"));
        EXPECT_EQ(man->OpenCount(), 0);
    }
}

// A script written against loose folders must keep working once they are packed: both modes
// serve the same spellings of a name, and refuse the same.
TEST_F(FileManSources, BothModesServeOrRefuseEverySpellingAlike)
{
    struct TSpelling {
        std::string Name;
        int File;  // index into Files, or -1 when refused
    };
    const std::vector<TSpelling> spellings = {
        {"Sub\\\\Pic.png", 5},
        {"Sub//Pic.png", 5},
        {"Sub\\/Pic.png", 5},
        {".\\b.txt", 0},
        {"./b.txt", 0},
        {".\\.\\b.txt", 0},
        {"Sub\\.\\Pic.png", 5},
        {".\\SUB\\.\\deeper\\\\X.PNG", 7},
        {"Sub\\Pic.png\\", -1},
        {"b.txt/", -1},
        {"Sub\\", -1},
        {"Sub\\Deeper\\", -1},
        {".", -1},
        {".\\", -1},
        {"\\\\b.txt", -1},
        {"//b.txt", -1},
        {std::string("b.txt\0", 6), -1},
        {std::string("b.txt\0.png", 10), -1},
        {std::string("Sub\\\0\\Pic.png", 13), -1},
        {"b.txt\x01", -1},
        {"Sub\\.\\..\\b.txt", -1},
        {"Sub:Pic.png", -1},
    };
    for (const TSpelling& spelling : spellings) {
        const std::string shown =
            std::string(spelling.Name.c_str()) + " (" + std::to_string(spelling.Name.size()) + " bytes)";
        for (TFileMan* man : {&Pack, &Folder}) {
            const char* mode = man == &Pack ? "archive" : "folder";
            EXPECT_EQ(man->FileIsExist(spelling.Name), spelling.File >= 0) << mode << ": " << shown;
            TStream* stream = man->Open(spelling.Name);
            EXPECT_EQ(stream != nullptr, spelling.File >= 0) << mode << ": " << shown;
            man->Close(stream);
            if (spelling.File >= 0) {
                EXPECT_EQ(ReadAll(*man, spelling.Name), Files[size_t(spelling.File)].second) << mode << ": " << shown;
            }
        }
    }
    for (const char* pattern : {".\\*.wps", "./*", "Sub\\\\*", ".\\Sub\\.\\*.png", "SUB//deeper\\*"}) {
        std::vector<std::string> fromPack = List(Pack, pattern);
        std::vector<std::string> fromFolder = List(Folder, pattern);
        EXPECT_FALSE(fromPack.empty()) << pattern;
        ASSERT_EQ(fromPack.size(), fromFolder.size()) << pattern;
        for (size_t i = 0; i < fromPack.size(); ++i) {
            EXPECT_TRUE(SameName(fromPack[i], fromFolder[i])) << pattern << ": " << fromPack[i] << " " << fromFolder[i];
            EXPECT_EQ(ReadAll(Pack, fromFolder[i]), ReadAll(Folder, fromPack[i])) << pattern;
        }
    }
}

TEST_F(FileManSources, NamesOutsideTheSourceAreRefusedAndReported)
{
    Scratch.Write("secret.txt", std::string("outside"));
    std::vector<std::string> messages;
    for (TFileMan* man : {&Pack, &Folder}) {
        man->OnError = [&](TObject* sender, const std::string& message) {
            EXPECT_EQ(sender, man);
            messages.push_back(message);
        };
        for (std::string name : std::vector<std::string> {"..\\secret.txt", "../secret.txt", "Sub\\..\\..\\secret.txt", "Sub\\..\\b.txt",
                                 Scratch.Path() + "/secret.txt", "\\b.txt", "/b.txt", "C:\\b.txt", "", "Sub",
                                 "nothere.txt"}) {
            EXPECT_EQ(man->Open(name), nullptr) << name;
            EXPECT_FALSE(man->FileIsExist(name)) << name;
        }
        EXPECT_TRUE(List(*man, "..\\*").empty());
        EXPECT_TRUE(List(*man, "\\*").empty() || man == &Pack);
    }
    ASSERT_EQ(messages.size(), 22u);
    for (const std::string& message : messages) {
        EXPECT_EQ(message.rfind("FileOpenErr Call(", 0), 0u) << message;
        EXPECT_EQ(message.back(), ')');
        EXPECT_GE(message.size(), std::strlen("FileOpenErr Call(00000000)"));
    }
}

// A folder or a pipe under a data file's name is refused for what it is, not as missing, and
// the name counts as taken though it holds no file.
TEST_F(FileManSources, AFolderOrPipeUnderANameIsRefusedForWhatItIs)
{
    ASSERT_EQ(mkfifo((Scratch.Path() + "/Data/pipe.adp").c_str(), 0600), 0);
    std::filesystem::create_directory(Scratch.Path() + "/Data/folder.adp");
    std::string failure;
    EXPECT_EQ(Folder.Open("pipe.adp", &failure), nullptr);
    EXPECT_NE(failure.find("Not a regular file"), std::string::npos) << failure;
    EXPECT_EQ(Folder.Open("FOLDER.ADP", &failure), nullptr);
    EXPECT_NE(failure.find(std::strerror(EISDIR)), std::string::npos) << failure;
    EXPECT_EQ(Folder.Open("none.adp", &failure), nullptr);
    EXPECT_EQ(failure, "not in " + Scratch.Path() + "/Data");
    for (const char* name : {"pipe.adp", "folder.adp", "Sub"}) {
        EXPECT_FALSE(Folder.FileIsExist(name)) << name;
        EXPECT_TRUE(Folder.NameIsTaken(name)) << name;
    }
    EXPECT_TRUE(Folder.NameIsTaken("b.txt"));
    EXPECT_FALSE(Folder.NameIsTaken("none.adp"));
    EXPECT_FALSE(Folder.NameIsTaken("..\\Data.pak"));
    EXPECT_TRUE(Pack.NameIsTaken("Sub\\Pic.png"));
    EXPECT_FALSE(Pack.NameIsTaken("Sub"));
    EXPECT_EQ(Folder.OpenCount(), 0);
}

TEST_F(FileManSources, EnumerationEndsAndRestarts)
{
    std::string name = "unchanged";
    TFileMan fresh(nullptr);
    EXPECT_FALSE(fresh.FindNext(name));
    fresh.FindFirst("*");
    EXPECT_FALSE(fresh.FindNext(name));
    EXPECT_EQ(name, "unchanged");

    Folder.FindFirst("*.wps");
    ASSERT_TRUE(Folder.FindNext(name));
    EXPECT_EQ(name, "c.Wps");
    EXPECT_FALSE(Folder.FindNext(name));
    EXPECT_FALSE(Folder.FindNext(name));
    Folder.FindFirst("?.*");
    EXPECT_EQ(List(Folder, "?.*"), (std::vector<std::string> {"A.TXT", "b.txt", "c.Wps"}));
    // A file added later is seen by the next enumeration of a folder.
    Scratch.Write("Data/d.wps", std::string("x"));
    EXPECT_EQ(List(Folder, "*.WPS"), (std::vector<std::string> {"c.Wps", "d.wps"}));
}

TEST_F(FileManSources, StreamsReadCountsAndSeekFromTheBeginning)
{
    for (TFileMan* man : {&Pack, &Folder}) {
        TStream* stream = man->Open("c.wps");
        ASSERT_NE(stream, nullptr);
        EXPECT_EQ(stream->GetPosition(), 0);
        uint8_t buffer[4000];
        EXPECT_EQ(stream->Read(buffer, 1000), 1000);
        EXPECT_EQ(0, std::memcmp(buffer, Files[2].second.data(), 1000));
        EXPECT_EQ(stream->Read(buffer, 4000), 2000);
        EXPECT_EQ(stream->Read(buffer, 10), 0);
        stream->SetPosition(2990);
        EXPECT_EQ(stream->Read(buffer, 100), 10);
        EXPECT_EQ(0, std::memcmp(buffer, Files[2].second.data() + 2990, 10));
        man->Close(stream);
        EXPECT_EQ(stream, nullptr);
    }
}

TEST_F(FileManSources, CloseDropsOnlyTheManagersOwnStreams)
{
    TStream* none = nullptr;
    Pack.Close(none);
    EXPECT_EQ(none, nullptr);

    TStream* a = Pack.Open("a.txt");
    TStream* b = Pack.Open("A.TXT");
    ASSERT_TRUE(a && b);
    EXPECT_NE(a, b);
    EXPECT_EQ(Pack.OpenCount(), 2);
    TStream* kept = a;
    Pack.Close(a);
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(Pack.OpenCount(), 1);
    // A stream of another manager (or one already closed) is neither deleted nor forgotten.
    TStream* other = Folder.Open("b.txt");
    TStream* copy = other;
    Pack.Close(other);
    EXPECT_EQ(other, copy);
    EXPECT_EQ(Folder.OpenCount(), 1);
    Pack.Close(kept);
    EXPECT_NE(kept, nullptr);
    EXPECT_EQ(Pack.OpenCount(), 1);
    // Streams left open (b, other) are deleted with their managers: the sanitizer tree checks.
}

TEST_F(FileManSources, SwitchingSourcesKeepsOpenStreamsAndFailureLeavesNone)
{
    TStream* member = Pack.Open("c.Wps");
    ASSERT_NE(member, nullptr);
    EXPECT_FALSE(Pack.InitPack(Scratch.Path() + "/missing.pak"));
    EXPECT_FALSE(Pack.HasSource());
    EXPECT_EQ(Pack.Open("c.Wps"), nullptr);
    EXPECT_FALSE(Pack.FileIsExist("c.Wps"));
    EXPECT_TRUE(List(Pack, "*").empty());
    TByteVector bytes(3000);
    EXPECT_EQ(member->Read(bytes.data(), 3000), 3000);
    EXPECT_EQ(bytes, Files[2].second);
    Pack.Close(member);

    // A folder is not an archive; an archive can take over from a folder and back.
    EXPECT_FALSE(Folder.InitPack(Scratch.Path() + "/Data"));
    EXPECT_TRUE(Folder.InitPack(Scratch.Path() + "/DATA.PAK"));
    EXPECT_TRUE(Folder.IsPack());
    EXPECT_FALSE(Folder.InitDir(Scratch.Path() + "/NoSuchFolder"));
    EXPECT_TRUE(Folder.HasSource());
    EXPECT_FALSE(Folder.FileIsExist("b.txt"));
}

TEST_F(FileManSources, RelativeFolderResolvesAgainstTheCurrentDirectoryWhenSet)
{
    std::filesystem::create_directory(Scratch.Path() + "/Voice");
    ASSERT_TRUE(BuildPack(Scratch.Path() + "/Voice/zbvo12.pak", {{"zb12345.adp", PatternBytes(8, 8)}}));
    std::string previous = std::filesystem::current_path().string();
    ASSERT_EQ(::chdir(Scratch.Path().c_str()), 0);
    TFileMan relative(nullptr);
    bool found = relative.InitDir("data\\SUB");
    bool packed = Pack.InitPack("data.PAK");
    TFileMan voice(nullptr);
    bool voicePacked = voice.InitPack("VOICE\\ZBVO12.pak");
    ASSERT_EQ(::chdir(previous.c_str()), 0);
    EXPECT_TRUE(found);
    EXPECT_TRUE(packed);
    EXPECT_TRUE(voicePacked);
    EXPECT_EQ(ReadAll(voice, "zb12345.adp"), PatternBytes(8, 8));
    EXPECT_EQ(ReadAll(relative, "pic.png"), Files[5].second);
}

TEST_F(FileManSources, OwnerDeletesTheManagerWithItsStreams)
{
    TComponent owner(nullptr);
    auto* man = new TFileMan(&owner);
    ASSERT_TRUE(man->InitPack(Scratch.Path() + "/Data.pak"));
    EXPECT_NE(man->Open("b.txt"), nullptr);
    EXPECT_EQ(owner.ComponentCount(), 1);
}

TEST_F(FileManSources, PackerToolBuildsWhatTheFolderServes)
{
    // The tools are built beside the test programs.
    std::error_code error;
    std::string binary = std::filesystem::read_symlink("/proc/self/exe", error).parent_path().string();
    if (const char* given = std::getenv("ZB_BINARY_DIR"))
        binary = given;
    if (!std::filesystem::exists(binary + "/vepack"))
        GTEST_SKIP() << "packer not built";
    std::string archive = Scratch.Path() + "/Tool.pak";
    std::string command = binary + "/vepack create '" + archive + "' '" + Scratch.Path() + "/Data' >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    TVePack pack;
    ASSERT_TRUE(pack.Open(archive));
    std::vector<std::string> names;
    for (int i = 0; i < pack.Count(); ++i)
        names.push_back(pack.Entry(i).Name);
    EXPECT_EQ(names, (std::vector<std::string> {"_under.txt", "A.TXT", "b.txt", "c.Wps", "empty.txt", "Sub\\aa.png",
                                                "Sub\\Pic.png", "Sub\\Deeper\\x.png"}));
    TFileMan man(nullptr);
    ASSERT_TRUE(man.InitPack(archive));
    EXPECT_EQ(ReadAll(man, "sub\\deeper\\x.png"), Files[7].second);
    command = binary + "/vepack list '" + archive + "' >/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0);
    command = binary + "/vepack list '" + Scratch.Path() + "/Data/b.txt' 2>/dev/null";
    EXPECT_NE(std::system(command.c_str()), 0);
}

TEST_F(FileManSources, ThreadsOpenReadAndListAtOnce)
{
    // A large file read in slices while others open and close, as a music stream's refill does.
    TByteVector big = PatternBytes(99, 1 << 20);
    Scratch.Write("Data/Track01.bgm", big);
    std::atomic<int> failures {0};
    std::vector<std::thread> threads;
    for (TFileMan* man : {&Pack, &Folder}) {
        for (int t = 0; t < 3; ++t) {
            threads.emplace_back([&, man, t] {
                for (int round = 0; round < 150; ++round) {
                    const auto& [name, bytes] = Files[static_cast<size_t>(round + t) % Files.size()];
                    TStream* stream = man->Open(name);
                    TByteVector read(bytes.size());
                    if (!stream || stream->Read(read.data(), static_cast<int64_t>(read.size())) !=
                                       static_cast<int64_t>(read.size()) || read != bytes)
                        ++failures;
                    man->Close(stream);
                    // One enumeration runs per manager at a time: only the first thread lists.
                    if (t == 0 && round % 25 == 0 && List(*man, "*.txt").size() != 4)
                        ++failures;
                    if (!man->FileIsExist("SUB\\aa.png"))
                        ++failures;
                }
            });
        }
    }
    threads.emplace_back([&] {
        TStream* stream = Folder.Open("track01.BGM");
        if (!stream) {
            ++failures;
            return;
        }
        TByteVector read(big.size());
        for (size_t at = 0; at < read.size(); at += 4096)
            if (stream->Read(read.data() + at, 4096) != 4096)
                ++failures;
        if (read != big)
            ++failures;
        Folder.Close(stream);
    });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(Pack.OpenCount(), 0);
    EXPECT_EQ(Folder.OpenCount(), 0);
}
