// "ZB.INI": defaults, spellings, replacements of bad values, and the round trip.
#include <cerrno>

#include "game/GameFormHarness.h"
#include "platform/Atomicfile.h"
#include "platform/Inifiles.h"

namespace {

int Rewrites = 0;
bool CountingRename(const char* from, const char* to)
{
    ++Rewrites;
    return DefaultAtomicFileOps.Rename(from, to);
}

// The number of times the file is replaced while body runs.
template <typename TBody>
int RewritesOf(TBody body)
{
    Rewrites = 0;
    AtomicFileOps = DefaultAtomicFileOps;
    AtomicFileOps.Rename = CountingRename;
    body();
    AtomicFileOps = DefaultAtomicFileOps;
    return Rewrites;
}

class SettingsIniTest : public GameFormHarness {
protected:
    std::string IniPath() const { return Folder.Path() + "/ZB.INI"; }
    void WriteIni(const std::string& text) const { Folder.Write("ZB.INI", text); }
    std::string Read(const char* section, const char* key) const
    {
        return TIniFile(IniPath()).ReadString(section, key, "<missing>");
    }
};

}  // namespace

TEST_F(SettingsIniTest, MissingFileKeepsDefaultsAndDestructionWritesThem)
{
    {
        TGameForm form(nullptr, "ZB", false);
        EXPECT_EQ(form.GetFPSMode(), 2);
        EXPECT_EQ(form.GetVolumeVoice(), 100);
        EXPECT_EQ(form.GetVolumeBGM(), 70);
        EXPECT_EQ(form.GetVolumeSE(), 100);
    }
    EXPECT_EQ(Read("ZB", "FPSMode"), "Full");
    EXPECT_EQ(Read("ZB", "VolumeBGM"), "70");
    EXPECT_EQ(Read("ZB Debug", "WindowMode"), "<missing>");
}

TEST_F(SettingsIniTest, ValuesAreReadWithTheirSpellingsAndReplacements)
{
    WriteIni("[zb]\r\nfpsmode=nosync\r\nVolumeVoice=abc\r\nVolumeBGM=150\r\nVolumeSE=35\r\n");
    {
        TGameForm form(nullptr, "ZB", false);
        EXPECT_EQ(form.GetFPSMode(), 3);
        EXPECT_EQ(form.GetVolumeVoice(), 100);
        EXPECT_EQ(form.GetVolumeBGM(), 70);
        EXPECT_EQ(form.GetVolumeSE(), 35);
    }
    WriteIni("[ZB]\r\nFPSMode=60\r\nVolumeBGM=\r\nVolumeVoice=-1\r\n");
    TGameForm form(nullptr, "ZB", false);
    EXPECT_EQ(form.GetFPSMode(), 2);
    EXPECT_EQ(form.GetVolumeBGM(), 70);
    EXPECT_EQ(form.GetVolumeVoice(), 100);
}

TEST_F(SettingsIniTest, ModeChangeWritesModeAndVolumesWhichTheNextStartReads)
{
    WriteIni("; kept\r\n[Other]\r\nKey=1\r\n");
    {
        ASSERT_TRUE(StartForm());
        Form->SetVolumeBGM(40);
        Form->SetVolumeSE(0);
        EXPECT_EQ(Read("ZB", "VolumeBGM"), "<missing>");  // volumes alone do not save
        // The mode and the volumes land together, in one rewrite.
        EXPECT_EQ(RewritesOf([&] { Form->SetFPSMode(1); }), 1);
        EXPECT_EQ(Read("ZB", "FPSMode"), "30fps");
        EXPECT_EQ(Read("ZB", "VolumeBGM"), "40");
        EXPECT_EQ(Read("ZB", "VolumeSE"), "0");
        Form->SetFPSMode(3);
        EXPECT_TRUE(Display->NoVSync.load());
        Form->SetFPSMode(0);
        EXPECT_FALSE(Display->NoVSync.load());
        EXPECT_EQ(Read("ZB", "FPSMode"), "15fps");
        Form->SetVolumeVoice(55);
        delete Form;
        Form = nullptr;
        GameForm = nullptr;
    }
    EXPECT_EQ(Read("ZB", "VolumeVoice"), "55");
    EXPECT_EQ(Read("Other", "Key"), "1");
    {
        TGameForm again(nullptr, "ZB", false);
        EXPECT_EQ(again.GetFPSMode(), 0);
        EXPECT_EQ(again.GetVolumeBGM(), 40);
        EXPECT_EQ(again.GetVolumeSE(), 0);
    }
    // The mode read from the file decides the display's vertical sync at creation.
    WriteIni("[ZB]\r\nFPSMode=NoSync\r\n");
    ASSERT_TRUE(StartForm());
    EXPECT_TRUE(Display->NoVSync.load());
}

TEST_F(SettingsIniTest, MessageBoxSettingsRoundTripWithSixHexDigits)
{
    WriteIni("[ZB]\r\nMesBoxColor=FF0000\r\nMesBoxType=2\r\nMovieQuality=3\r\n");
    TMesBoxConfig config{TVeRGB(0x404080), 1, 1};
    ReadMesBoxIni(&config);
    EXPECT_EQ(config.BoxColor.ToDWORD(), 0xFF0000u);
    EXPECT_EQ(config.MesBoxType, 2);
    EXPECT_EQ(config.MovieQuality, 1);
    EXPECT_EQ(RewritesOf([&] { WriteMesBoxIni(&config); }), 1);
    EXPECT_EQ(Read("ZB", "MesBoxColor"), "FF0000");
    config.BoxColor = 0x000080;
    WriteMesBoxIni(&config);
    EXPECT_EQ(Read("ZB", "MesBoxColor"), "000080");
    WriteIni("[ZB]\r\nMesBoxColor=zz\r\nMesBoxType=x\r\n");
    ReadMesBoxIni(&config);
    EXPECT_EQ(config.BoxColor.ToDWORD(), 0x404080u);
    EXPECT_EQ(config.MesBoxType, 1);
}

TEST_F(SettingsIniTest, DebugSwitchesOnlyEverSwitchOn)
{
    WindowMode = false;
    ShowFPS = false;
    ReadDebugIni();
    EXPECT_FALSE(WindowMode);
    WriteIni("[ZB Debug]\r\nWindowMode=on\r\nShowFPS=yes\r\n");
    ReadDebugIni();
    EXPECT_TRUE(WindowMode);
    EXPECT_FALSE(ShowFPS);
    WriteIni("[ZB Debug]\r\nWindowMode=OFF\r\n");
    ReadDebugIni();
    EXPECT_TRUE(WindowMode);
}

TEST_F(SettingsIniTest, StartReadsTheFileOnceUntilTheFirstWrite)
{
    WriteIni("[ZB Debug]\r\nShowFPS=on\r\n[ZB]\r\nVolumeBGM=40\r\nMesBoxType=2\r\n");
    TIniStartSnapshot snapshot;
    ShowFPS = false;
    ReadDebugIni();
    EXPECT_TRUE(ShowFPS);
    // The form and the game thread take their keys from that one reading.
    WriteIni("[ZB]\r\nVolumeBGM=10\r\nMesBoxType=0\r\n");
    TGameForm form(nullptr, "ZB", false);
    EXPECT_EQ(form.GetVolumeBGM(), 40);
    TMesBoxConfig config{TVeRGB(0x404080), 1, 1};
    ReadMesBoxIni(&config);
    EXPECT_EQ(config.MesBoxType, 2);
    // Once the game writes the file, readers read it again.
    form.SetFPSMode(0);
    ReadMesBoxIni(&config);
    EXPECT_EQ(config.MesBoxType, 0);
    EXPECT_EQ(Read("ZB", "VolumeBGM"), "40");
}

namespace {

int ReadOnlyFolderCreate(char*, unsigned)
{
    errno = EROFS;
    return -1;
}

bool FailingFolderSync(const char*)
{
    errno = EIO;
    return false;
}

std::string FileText(const std::string& path)
{
    std::string text;
    EXPECT_EQ(ReadWholeFile(path, 1 << 20, text), TFileReadResult::Ok);
    return text;
}

}  // namespace

TEST_F(SettingsIniTest, EachFailedWriteLeavesOneLogLineNamingItsCause)
{
    TGameForm form(nullptr, "ZB", false);
    const std::string path = IniPath();
    // A refused write is a "SaveError"; one that landed but whose folder sync failed, a
    // "SyncError".
    auto expectOneLine = [&](const char* kind, const char* cause, auto write) {
        SCOPED_TRACE(cause);
        const size_t lines = ErrLog->Count();
        write();
        ASSERT_EQ(ErrLog->Count(), lines + 1);
        const std::string line = ErrLog->Line(lines);
        EXPECT_EQ(line.rfind(std::string("ZB.INI ") + kind + " (", 0), 0u) << line;
        EXPECT_NE(line.find(cause), std::string::npos) << line;
    };

    // The player made the file read-only: it stays byte for byte.
    const std::string readOnly = "[ZB]\r\nFPSMode=Full\r\n; mine\r\n";
    WriteIni(readOnly);
    std::filesystem::permissions(path, std::filesystem::perms(0444));
    expectOneLine("SaveError", "Permission denied", [&] { form.SetFPSMode(1); });
    EXPECT_EQ(FileText(path), readOnly);
    TMesBoxConfig config{TVeRGB(0x123456), 2, 0};
    expectOneLine("SaveError", "Permission denied", [&] { WriteMesBoxIni(&config); });
    EXPECT_EQ(FileText(path), readOnly);
    std::filesystem::remove(path);

    WriteIni("[ZB]\r\n" + std::string(TIniFile::MaxFileSize, ';'));
    expectOneLine("SaveError", "File too large", [&] { form.SetFPSMode(0); });
    std::filesystem::remove(path);

    std::filesystem::create_directory(path);
    expectOneLine("SaveError", "Is a directory", [&] { WriteMesBoxIni(&config); });
    std::filesystem::remove(path);

    AtomicFileOps = DefaultAtomicFileOps;
    AtomicFileOps.Create = ReadOnlyFolderCreate;
    expectOneLine("SaveError", "Read-only file system", [&] { form.SetFPSMode(2); });
    AtomicFileOps = DefaultAtomicFileOps;
    EXPECT_FALSE(std::filesystem::exists(path));

    AtomicFileOps.SyncFolder = FailingFolderSync;
    expectOneLine("SyncError", "folder sync: Input/output error", [&] { form.SetFPSMode(1); });
    AtomicFileOps = DefaultAtomicFileOps;
    EXPECT_EQ(Read("ZB", "FPSMode"), "30fps");
}
