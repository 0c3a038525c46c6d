#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/Classes.h"
#include "platform/Filenames.h"
#include "platform/Streams.h"

namespace {

struct TCounted : TComponent {
    TCounted(TComponent* owner, int* deaths) : TComponent(owner), Deaths(deaths) {}
    ~TCounted() override { ++*Deaths; }
    int* Deaths;
};

std::filesystem::path MakeTempFolder()
{
    char pattern[] = "/tmp/zbtestXXXXXX";
    return std::filesystem::path(::mkdtemp(pattern));
}

}  // namespace

TEST(Component, OwnerDeletesWhatItOwnsAndEarlyDeletesLeaveTheList)
{
    int deaths = 0;
    auto* owner = new TComponent(nullptr);
    auto* a = new TCounted(owner, &deaths);
    auto* b = new TCounted(owner, &deaths);
    new TCounted(a, &deaths);  // owned by a grandchild chain
    EXPECT_EQ(owner->ComponentCount(), 2);
    delete b;
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(owner->ComponentCount(), 1);
    EXPECT_EQ(owner->Components(0), a);
    EXPECT_EQ(owner->Components(5), nullptr);
    delete owner;
    EXPECT_EQ(deaths, 3);
}

TEST(Streams, MemoryStreamReadsReturnTheCountAndSeekClamps)
{
    TMemoryStream m;
    EXPECT_EQ(m.Write("hello", 5), 5);
    m.SetPosition(3);
    char buffer[8] = {};
    EXPECT_EQ(m.Read(buffer, 8), 2);
    EXPECT_STREQ(buffer, "lo");
    EXPECT_EQ(m.Read(buffer, 8), 0);
    EXPECT_EQ(m.Seek(-10, soCurrent), 0);
    EXPECT_THROW(m.ReadBuffer(buffer, 6), EReadError);
    m.SetPosition(10);
    m.Write("x", 1);
    EXPECT_EQ(m.GetSize(), 11);
    EXPECT_EQ(m.Memory()[7], 0);
}

TEST(Streams, FileStreamFindsNamesWithBackslashesAndAnyCase)
{
    auto folder = MakeTempFolder();
    std::filesystem::create_directories(folder / "Data" / "Sub");
    std::ofstream(folder / "Data" / "Sub" / "Track01.BGM") << "abc";
    std::string name = folder.string() + "\\data\\SUB\\track01.bgm";
    TFileStream f(name, fmOpenRead);
    EXPECT_EQ(f.GetSize(), 3);
    char buffer[4] = {};
    EXPECT_EQ(f.Read(buffer, 10), 3);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_THROW(TFileStream(folder.string() + "/missing", fmOpenRead), EFOpenError);
    EXPECT_THROW(TFileStream(folder.string() + "/Data", fmOpenRead), EFOpenError);
    // Only regular files: a pipe with no writer is refused at once, and so is a device.
    ASSERT_EQ(mkfifo((folder / "pipe").c_str(), 0600), 0);
    EXPECT_THROW(TFileStream(folder.string() + "/pipe", fmOpenRead), EFOpenError);
    EXPECT_THROW(TFileStream("/dev/null", fmOpenRead), EFOpenError);
    EXPECT_TRUE(PathIsFile(name));
    EXPECT_TRUE(PathIsFolder(folder.string() + "\\DATA"));
    std::filesystem::remove_all(folder);
}

TEST(Filenames, WildcardsAndSortedListingsIgnoreCase)
{
    EXPECT_TRUE(WildcardMatch("*.Wps", "scene01.WPS"));
    EXPECT_TRUE(WildcardMatch("gs1???.adp", "GS1002.ADP"));
    EXPECT_FALSE(WildcardMatch("gs1???.adp", "gs10002.adp"));
    EXPECT_TRUE(WildcardMatch("*a*b*", "xxAyyBzz"));
    EXPECT_FALSE(WildcardMatch("*.wps", "a.wpsx"));
    EXPECT_TRUE(WildcardMatch("*", ""));

    auto folder = MakeTempFolder();
    for (const char* n : {"b.wps", "A.Wps", "c.WPS", "note.txt"})
        std::ofstream(folder / n) << n;
    std::filesystem::create_directory(folder / "dir.wps");
    auto names = ListFolder(folder.string(), "*.wps");
    EXPECT_EQ(names, (std::vector<std::string>{"A.Wps", "b.wps", "c.WPS"}));
    std::filesystem::remove_all(folder);
}
