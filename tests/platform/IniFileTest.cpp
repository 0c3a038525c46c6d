#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/Atomicfile.h"
#include "platform/Inifiles.h"

namespace {

std::filesystem::path MakeIniFolder()
{
    char pattern[] = "/tmp/zbinitestXXXXXX";
    return std::filesystem::path(::mkdtemp(pattern));
}

void WriteText(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST(IniFile, LooksUpWithoutCaseAndTrimsValues)
{
    auto folder = MakeIniFolder();
    WriteText(folder / "ZB.INI",
              "; settings\r\n[zb]\r\n  fpsmode =  nosync \r\nVolumeBGM=150\r\nMesBoxColor=0x404080\r\n"
              "VolumeBGM=20\r\nnot an entry\r\n[ZB Debug]\r\nWindowMode=on\r\n[zb]\r\nVolumeSE=5\r\n");
    // The game names the file in upper case; the lookup ignores case on disk too.
    TIniFile ini((folder / "zb.ini").string());
    EXPECT_EQ(ini.ReadString("ZB", "FPSMode", "x"), "nosync");
    EXPECT_EQ(ini.ReadInteger("ZB", "VOLUMEBGM", 70), 150);  // the first duplicate wins
    EXPECT_EQ(ini.ReadInteger("ZB", "MesBoxColor", 0), 0x404080);
    EXPECT_EQ(ini.ReadString("zb debug", "windowmode", "OFF"), "on");
    EXPECT_EQ(ini.ReadInteger("ZB", "VolumeSE", 100), 100);  // only the first section counts
    EXPECT_EQ(ini.ReadString("ZB", "not an entry", "d"), "d");
    EXPECT_TRUE(ini.SectionExists("ZB DEBUG"));
    EXPECT_FALSE(ini.SectionExists("Other"));
    EXPECT_TRUE(ini.ValueExists("Zb", "fpsMODE"));
    EXPECT_FALSE(ini.ValueExists("ZB", "WindowMode"));
    EXPECT_FALSE(ini.ValueExists("ZB", "; settings"));
    std::filesystem::remove_all(folder);
}

TEST(IniFile, IntegersAndBoolsFallBackToTheDefault)
{
    auto folder = MakeIniFolder();
    WriteText(folder / "a.ini",
              "[S]\nEmpty=\nLetters=abc\nHex=0xFF\nDollar=$10\nNeg=-5\nHuge=99999999999\nBoolOn=1\nBoolOff=0\nBoolText=yes\n");
    TIniFile ini((folder / "a.ini").string());
    EXPECT_EQ(ini.ReadInteger("S", "Empty", 70), 70);
    EXPECT_EQ(ini.ReadInteger("S", "Letters", 100), 100);
    EXPECT_EQ(ini.ReadInteger("S", "Hex", 0), 255);
    EXPECT_EQ(ini.ReadInteger("S", "Dollar", 0), 16);
    EXPECT_EQ(ini.ReadInteger("S", "Neg", 0), -5);
    EXPECT_EQ(ini.ReadInteger("S", "Huge", 7), 7);
    EXPECT_EQ(ini.ReadInteger("S", "Missing", 3), 3);
    EXPECT_TRUE(ini.ReadBool("S", "BoolOn", false));
    EXPECT_FALSE(ini.ReadBool("S", "BoolOff", true));
    EXPECT_TRUE(ini.ReadBool("S", "BoolText", true));
    EXPECT_FALSE(ini.ReadBool("S", "BoolText", false));
    std::filesystem::remove_all(folder);
}

TEST(IniFile, WritesKeepCommentsUnknownKeysAndLineEndings)
{
    auto folder = MakeIniFolder();
    auto path = folder / "ZB.INI";
    WriteText(path, "; keep me\r\n[Other]\r\nX=1\r\n\r\n[ZB]\r\nfpsmode=Full\r\n; inner\r\nUnknown=keep\r\n\r\n[Tail]\r\nY=2\r\n");
    TIniFile ini(path.string());
    EXPECT_TRUE(ini.WriteString("zb", "FPSMode", "NoSync"));
    EXPECT_TRUE(ini.WriteInteger("ZB", "VolumeVoice", 42));
    EXPECT_TRUE(ini.WriteBool("New Section", "Flag", true));
    EXPECT_TRUE(ini.WriteString("ZB", "Evil", "a\r\n[Injected]\nb"));
    EXPECT_EQ(ReadText(path),
              "; keep me\r\n[Other]\r\nX=1\r\n\r\n[ZB]\r\nfpsmode=NoSync\r\n; inner\r\nUnknown=keep\r\nVolumeVoice=42\r\n"
              "Evil=a  [Injected] b\r\n\r\n[Tail]\r\nY=2\r\n\r\n[New Section]\r\nFlag=1\r\n");
    EXPECT_FALSE(ini.SectionExists("Injected"));
    EXPECT_EQ(ini.ReadInteger("ZB", "VolumeVoice", 0), 42);

    EXPECT_TRUE(ini.DeleteKey("ZB", "evil"));
    EXPECT_TRUE(ini.EraseSection("other"));
    EXPECT_FALSE(ini.SectionExists("Other"));
    EXPECT_EQ(ini.ReadString("Tail", "Y", ""), "2");
    EXPECT_FALSE(ini.ValueExists("ZB", "Evil"));

    // A file written with LF alone keeps LF; a missing file is created with CR LF.
    auto lf = folder / "lf.ini";
    WriteText(lf, "[A]\nK=1");
    TIniFile lfIni(lf.string());
    EXPECT_TRUE(lfIni.WriteString("A", "L", "2"));
    EXPECT_EQ(ReadText(lf), "[A]\nK=1\nL=2\n");
    TIniFile fresh((folder / "new.ini").string());
    EXPECT_EQ(fresh.ReadString("A", "K", "none"), "none");
    EXPECT_TRUE(fresh.WriteString("A", "K", "v"));
    EXPECT_EQ(ReadText(folder / "new.ini"), "[A]\r\nK=v\r\n");
    std::filesystem::remove_all(folder);
}

TEST(IniFile, BadFilesReadAsDefaultsAndAreNotOverwritten)
{
    auto folder = MakeIniFolder();
    auto huge = folder / "huge.ini";
    WriteText(huge, "[ZB]\r\nVolumeBGM=5\r\n" + std::string(TIniFile::MaxFileSize, ';'));
    TIniFile hugeIni(huge.string());
    EXPECT_EQ(hugeIni.ReadInteger("ZB", "VolumeBGM", 70), 70);
    EXPECT_FALSE(hugeIni.WriteInteger("ZB", "VolumeBGM", 1));
    EXPECT_EQ(std::filesystem::file_size(huge), TIniFile::MaxFileSize + 19);

    std::string binary;
    for (int i = 0; i < 4096; ++i)
        binary += static_cast<char>((i * 7919) & 0xFF);
    auto junk = folder / "junk.ini";
    WriteText(junk, binary + "\r\n[ZB]\r\nVolumeSE=9\r\n[trunc");
    TIniFile junkIni(junk.string());
    EXPECT_EQ(junkIni.ReadInteger("ZB", "VolumeSE", 100), 9);
    EXPECT_TRUE(junkIni.WriteInteger("ZB", "VolumeSE", 8));
    EXPECT_TRUE(ReadText(junk) == binary + "\r\n[ZB]\r\nVolumeSE=8\r\n[trunc") << "bytes outside the entry changed";

    // A folder where the file should be is neither read nor replaced.
    std::filesystem::create_directory(folder / "dir.ini");
    TIniFile dirIni((folder / "dir.ini").string());
    EXPECT_EQ(dirIni.ReadString("A", "B", "d"), "d");
    EXPECT_FALSE(dirIni.WriteString("A", "B", "v"));
    EXPECT_TRUE(std::filesystem::is_directory(folder / "dir.ini"));

    // A pipe under the name (no writer ever comes) must not stall the reader.
    ASSERT_EQ(::mkfifo((folder / "fifo.ini").c_str(), 0600), 0);
    TIniFile fifoIni((folder / "fifo.ini").string());
    EXPECT_EQ(fifoIni.ReadInteger("ZB", "VolumeSE", 100), 100);
    EXPECT_FALSE(fifoIni.WriteInteger("ZB", "VolumeSE", 1));
    std::filesystem::remove_all(folder);
}

TEST(IniFile, FailedWriteKeepsTheOldFileAndLeavesNoTemporary)
{
    auto folder = MakeIniFolder();
    auto path = folder / "ZB.INI";
    const std::string old = "[ZB]\r\nVolumeBGM=33\r\n";
    WriteText(path, old);
    // The child may write only small files, so the rewrite fails part way through.
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        TIniFile ini(path.string());
        bool written = ini.WriteString("ZB", "Big", std::string(100000, 'x'));
        ::_exit(written ? 1 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the write was reported as a success";
    EXPECT_EQ(ReadText(path), old);
    int entries = 0;
    for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator(folder))
        ++entries;
    EXPECT_EQ(entries, 1);

    // A folder that does not exist: nothing to create the temporary in.
    EXPECT_FALSE(WriteFileAtomic((folder / "none" / "x.ini").string(), "data"));

    // Edits held in memory that could not be written stay held, so a later write still lands
    // them: first a file the player made read-only, then a rename that fails.
    TMemIniFile batch(path.string());
    batch.WriteString("ZB", "VolumeBGM", "44");
    batch.WriteInteger("New", "K", 7);
    std::filesystem::permissions(path, std::filesystem::perms(0444));
    TAtomicWriteFault fault;
    EXPECT_FALSE(batch.UpdateFile(&fault));
    EXPECT_EQ(fault.Step, TAtomicWriteStep::Access);
    EXPECT_EQ(fault.Error, EACCES);
    EXPECT_EQ(ReadText(path), old);
    EXPECT_EQ(batch.ReadString("ZB", "VolumeBGM", ""), "44");
    std::filesystem::permissions(path, std::filesystem::perms(0644));
    AtomicFileOps.Rename = [](const char*, const char*) {
        errno = EIO;
        return false;
    };
    EXPECT_FALSE(batch.UpdateFile(&fault));
    AtomicFileOps = DefaultAtomicFileOps;
    EXPECT_EQ(fault.Step, TAtomicWriteStep::Rename);
    EXPECT_EQ(fault.Error, EIO);
    EXPECT_EQ(ReadText(path), old);
    EXPECT_TRUE(batch.UpdateFile(&fault));
    EXPECT_EQ(fault.Step, TAtomicWriteStep::None);
    TIniFile ini(path.string());
    EXPECT_EQ(ini.ReadInteger("ZB", "VolumeBGM", 0), 44);
    EXPECT_EQ(ini.ReadInteger("New", "K", 0), 7);
    std::filesystem::remove_all(folder);
}

TEST(IniFile, ConcurrentWritersDoNotLoseUpdates)
{
    auto folder = MakeIniFolder();
    auto path = (folder / "ZB.INI").string();
    auto writer = [&](const std::string& prefix) {
        TIniFile ini(path);
        for (int i = 0; i < 20; ++i)
            ini.WriteInteger("ZB", prefix + std::to_string(i), i);
    };
    std::thread a(writer, "A");
    std::thread b(writer, "B");
    a.join();
    b.join();
    TIniFile ini(path);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(ini.ReadInteger("ZB", "A" + std::to_string(i), -1), i);
        EXPECT_EQ(ini.ReadInteger("ZB", "B" + std::to_string(i), -1), i);
    }

    // Edits held in memory go onto the file as it is when they are written out.
    TMemIniFile batch(path);
    EXPECT_EQ(batch.ReadString("ZB", "A3", ""), "3");
    batch.WriteString("ZB", "A3", "batch");
    batch.WriteInteger("New", "K", 7);
    EXPECT_EQ(batch.ReadString("zb", "a3", ""), "batch");
    EXPECT_TRUE(ini.WriteString("ZB", "B3", "other"));
    EXPECT_EQ(ini.ReadString("ZB", "A3", ""), "3");
    EXPECT_TRUE(batch.UpdateFile());
    EXPECT_EQ(ini.ReadString("ZB", "A3", ""), "batch");
    EXPECT_EQ(ini.ReadString("ZB", "B3", ""), "other");
    EXPECT_EQ(ini.ReadInteger("New", "K", 0), 7);
    std::filesystem::remove_all(folder);
}

TEST(IniFile, ReplacedFileKeepsItsPermissions)
{
    auto folder = MakeIniFolder();
    auto path = folder / "p.ini";
    WriteText(path, "[A]\n");
    std::filesystem::permissions(path, std::filesystem::perms(0640));
    EXPECT_TRUE(WriteFileAtomic(path.string(), "[B]\n"));
    EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0640));
    EXPECT_EQ(ReadText(path), "[B]\n");

    // Only the permission bits: set-user-id, set-group-id and sticky are not carried over.
    std::filesystem::permissions(path, std::filesystem::perms(06755));
    EXPECT_TRUE(WriteFileAtomic(path.string(), "[C]\n"));
    EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0755));
    std::filesystem::permissions(path, std::filesystem::perms(01640));
    EXPECT_TRUE(WriteFileAtomic(path.string(), "[D]\n"));
    EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0640));

    // A file nobody may write is the player's "leave it": it is not replaced.
    std::filesystem::permissions(path, std::filesystem::perms(0444));
    TAtomicWriteFault fault;
    EXPECT_FALSE(WriteFileAtomic(path.string(), "[E]\n", &fault));
    EXPECT_EQ(fault.Error, EACCES);
    EXPECT_EQ(ReadText(path), "[D]\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1);
    std::filesystem::remove_all(folder);
}
