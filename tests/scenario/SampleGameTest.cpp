// The bundled sample game: the builder makes every file the program opens, each readable by the
// program's own readers, and the story's triggers lead from each story step to its scene.
#include "SampleBuildKit.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "archive/Vefileman.h"
#include "base/Vecsvread.h"
#include "base/Vepicture.h"
#include "base/Vememman.h"
#include "game/Zbdata.h"
#include "game/Zbfunc.h"
#include "game/Zbglobals.h"
#include "panels/Vergbparts.h"
#include "platform/Inifiles.h"
#include "platform/Movie.h"
#include "media/Veacm.h"
#include "support/HangGuard.h"
#include "support/ScriptFixtures.h"

namespace fs = std::filesystem;

namespace {

using namespace samplebuild;

struct TExpectedPicture {
    const char* Name;
    int Width;  // 0: any size
    int Height;
    bool Alpha;
};

// The pictures of the main archive with the sizes their screens cut them by.
const TExpectedPicture MainPictures[] = {
    {"Cursor.png", 256, 32, true},         {"Wait.bmp", 240, 352, false},
    {"Cap_Logo.png", 0, 0, true},          {"Cap_Copy.png", 0, 0, true},
    {"TitleBack.jpg", 640, 480, false},    {"TitleParts.png", 1300, 360, true},
    {"ExitFrame_wm.png", 208, 108, true},  {"ExitYes_wm.png", 43, 110, true},
    {"ExitNo_wm.png", 43, 110, true},      {"CfgBack.png", 640, 480, false},
    {"CfgParts.png", 310, 298, true},      {"ChapterBack.jpg", 640, 480, false},
    {"GalleryBack.jpg", 640, 480, false},  {"ChapterButton.png", 308, 123, true},
    {"ChapterTitle.png", 390, 306, true},  {"ChapterEpisode.png", 615, 152, true},
    {"ChapterEp14.png", 285, 1260, true},  {"ChapterEp15.png", 285, 1260, true},
    {"ChapterEp16.png", 285, 1071, true},  {"GalleryName.png", 328, 990, true},
    {"GalleryNum.png", 17, 374, true},     {"ViewerParts.png", 230, 196, true},
    {"BatonFrame.png", 640, 148, true},    {"BatonPoint.png", 534, 40, true},
    {"BatonMark.png", 48, 864, true},      {"BatonWait.png", 240, 780, false},
    {"MesWin1_wm.png", 560, 146, true},    {"MesWin2_wm.png", 560, 146, true},
    {"MesNextBtn_wm.png", 22, 154, true},  {"MesHide_wm.png", 15, 60, true},
    {"MesSkip_wm.png", 15, 60, true},      {"SelFrame_wm.png", 550, 136, true},
    {"SelCursor_wm.png", 500, 28, true},   {"MenuFrame_wm.png", 170, 160, true},
    {"Menu01_wm.png", 122, 180, true},     {"Menu02_wm.png", 122, 180, true},
    {"Menu03_wm.png", 122, 180, true},     {"Menu04_wm.png", 122, 180, true},
    {"Menu05_wm.png", 122, 180, true},     {"Menu06_wm.png", 122, 180, true},
    {"BakFrame_wm.png", 80, 27, true},     {"BakBack_wm.png", 21, 84, true},
    {"BakStop_wm.png", 21, 84, true},      {"BakNext_wm.png", 21, 84, true},
    {"Snow.bmp", 44, 14, false},           {"HaloBack.bmp", 640, 480, false},
    {"HaloBlueB.bmp", 0, 0, false},        {"HaloBlueS.bmp", 0, 0, false},
    {"HaloGreen.bmp", 0, 0, false},        {"HaloYellowB.bmp", 0, 0, false},
    {"HaloYellowS.bmp", 0, 0, false},
};

const TExpectedPicture ScenePictures[] = {
    {"zbbg010.jpg", 640, 480, false}, {"zbbg020.jpg", 640, 480, false}, {"zbbg026.jpg", 640, 480, false},
    {"zbbg030.jpg", 640, 480, false}, {"zbbg037.jpg", 640, 480, false}, {"zbbg040.jpg", 640, 480, false},
    {"zbbg041.jpg", 640, 480, false}, {"zbbg500.lzh", 640, 480, false}, {"zbbg501.lzh", 640, 480, false},
};

const TExpectedPicture Figures[] = {
    {"zbchr001.png", 220, 420, true}, {"zbchr002.png", 220, 420, true}, {"zbchr003.png", 220, 420, true},
    {"zbeye001.png", 92, 40, true},   {"zbeye002.png", 92, 40, true},   {"zbeye003.png", 92, 40, true},
};

bool EndsWith(const std::string& s, const char* tail)
{
    const std::string t = tail;
    return s.size() >= t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
}

void ExpectPicture(TFileMan& files, const TExpectedPicture& expected)
{
    SCOPED_TRACE(expected.Name);
    TStream* stream = files.Open(expected.Name);
    ASSERT_NE(stream, nullptr);
    const std::string name = expected.Name;
    TDecodedPicture picture;
    bool ok = false;
    if (EndsWith(name, ".png"))
        ok = DecodePng(stream, picture, EndsWith(name, "_wm.png"));
    else if (EndsWith(name, ".jpg"))
        ok = DecodeJpeg(stream, picture);
    else if (EndsWith(name, ".bmp"))
        ok = DecodeBmp(stream, picture);
    else if (EndsWith(name, ".lzh"))
        ok = DecodeGny(stream, GnyBuiltinKeyTable.data(), picture);
    files.Close(stream);
    ASSERT_TRUE(ok);
    if (expected.Width > 0) {
        EXPECT_EQ(picture.Width, expected.Width);
        EXPECT_EQ(picture.Height, expected.Height);
    }
    EXPECT_EQ(!picture.Alpha.empty(), expected.Alpha);
}

// Decodes a whole ADP1 sound; its length in device frames, 0 when it does not open.
uint64_t SoundFrames(TFileMan& files, const std::string& name)
{
    TStream* stream = files.Open(name);
    if (!stream)
        return 0;
    DirectX::TAdpReader reader;
    uint64_t frames = 0;
    if (reader.Open(stream)) {
        std::vector<int16_t> buffer(2 * 4096);
        int n;
        while ((n = reader.Read(buffer.data(), 4096)) > 0)
            frames += uint64_t(n);
    }
    files.Close(stream);
    return frames;
}

// A picture of the archive with the plain decode; empty when it does not open.
TDecodedPicture ReadPicture(TFileMan& files, const std::string& name)
{
    TDecodedPicture picture;
    TStream* stream = files.Open(name);
    if (stream && !DecodePng(stream, picture, false))
        picture = TDecodedPicture{};
    if (stream)
        files.Close(stream);
    return picture;
}

// How many separate tones a sound holds: runs above a tenth of its peak, apart by more than
// 15 ms of quiet.
int CountTones(TFileMan& files, const std::string& name)
{
    TStream* stream = files.Open(name);
    if (!stream)
        return -1;
    DirectX::TAdpReader reader;
    std::vector<int> level;  // left channel, absolute
    if (reader.Open(stream)) {
        std::vector<int16_t> buffer(2 * 4096);
        int n;
        while ((n = reader.Read(buffer.data(), 4096)) > 0)
            for (int i = 0; i < n; ++i)
                level.push_back(std::abs(int(buffer[size_t(2 * i)])));
    }
    files.Close(stream);
    const int peak = level.empty() ? 0 : *std::max_element(level.begin(), level.end());
    int tones = 0;
    size_t quiet = SIZE_MAX;  // samples since the last loud one
    for (int v : level) {
        if (v > peak / 10) {
            if (quiet > 44100 * 15 / 1000)
                ++tones;
            quiet = 0;
        } else if (quiet != SIZE_MAX) {
            ++quiet;
        }
    }
    return tones;
}

bool ReadTable(TFileMan& files, const std::string& name, TVeCsvRead& table)
{
    TStream* stream = files.Open(name);
    if (!stream)
        return false;
    const bool ok = table.Read(stream);
    files.Close(stream);
    return ok;
}

// The conditions read the story position with scene instructions, which the machine may not
// have yet; a condition using one then fails with the "not supported" line.
bool SceneInstructionsBuilt()
{
    TScriptWorld probe;
    probe.Add("A.Wps", ".trigger F group=0 priority=100\ngetepisode\n.end\n.function F\nend\n");
    if (!probe.Init())
        return false;
    try {
        probe.Unit().TestTrigger(0, 0);
    } catch (...) {
    }
    for (const auto& line : probe.Log())
        if (line.rfind("ExecCode Opcode not supported", 0) == 0)
            return false;
    return true;
}

class SampleGame : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Folder = new TScratchFolder;
        Built = BuildSample(*Folder);
    }
    static void TearDownTestSuite()
    {
        delete Folder;
        Folder = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(Built) << "the builder failed"; }

    static std::string Game(const std::string& relative) { return Folder->Path() + "/game/" + relative; }

    static TScratchFolder* Folder;
    static bool Built;
};

TScratchFolder* SampleGame::Folder = nullptr;
bool SampleGame::Built = false;

}  // namespace

TEST_F(SampleGame, PicturesDecodeAtTheirScreensSizes)
{
    TFileMan main(nullptr), bg(nullptr), cg(nullptr);
    ASSERT_TRUE(main.InitPack(Game("ZB.pak")));
    ASSERT_TRUE(bg.InitPack(Game("EvBG.pak")));
    ASSERT_TRUE(cg.InitPack(Game("EvCG.pak")));
    for (const auto& expected : MainPictures)
        ExpectPicture(main, expected);
    for (const auto& expected : ScenePictures)
        ExpectPicture(bg, expected);
    for (const auto& expected : Figures)
        ExpectPicture(cg, expected);

    const char* masks[] = {"FadeMask00_BlindR.bmp",  "FadeMask01_BlindL.bmp",    "FadeMask02_TovanR.bmp",
                           "FadeMask03_TovanL.bmp",  "FadeMask04_Circle.bmp",    "FadeMask05_CircleR.bmp",
                           "FadeMask06_Clock.bmp",   "FadeMask07_Swirl.bmp",     "FadeMask08_Crystal.bmp",
                           "FadeMask09_StripesB.bmp", "FadeMask10_StripesN.bmp", "FadeMask11_Star.bmp",
                           "FadeMask12_Radiation.bmp", "FadeMask13_RadiationR.bmp", "FadeMask14_Windmill.bmp",
                           "FadeMask15_Naruto.bmp",  "FadeMask16_Noise.bmp"};
    for (const char* mask : masks) {
        SCOPED_TRACE(mask);
        TStream* stream = main.Open(mask);
        ASSERT_NE(stream, nullptr);
        int width = 0, height = 0;
        std::vector<uint8_t> plane;
        EXPECT_TRUE(DecodeAlphaPicture(stream, width, height, plane));
        main.Close(stream);
        EXPECT_EQ(width, 640);
        EXPECT_EQ(height, 480);
    }
    for (const char* table : {"WaterDistTbl.bin", "WaterSinTbl.bin", "WaterMultiTbl.bin"})
        EXPECT_TRUE(main.FileIsExist(table)) << table;
}

TEST_F(SampleGame, PartsSheetsCutByTheirScreensTables)
{
    using TTable = std::vector<TVePartsData>;
    auto column = [](int count, int x, int step, int w, int h, int patterns) {
        TTable t;
        for (int i = 0; i < count; ++i)
            t.push_back({x, step * i, w, h, patterns});
        return t;
    };
    auto row = [](int count, int step, int w, int h, int patterns) {
        TTable t;
        for (int i = 0; i < count; ++i)
            t.push_back({step * i, 0, w, h, patterns});
        return t;
    };
    const std::map<std::string, TTable> sheets = {
        {"TitleParts.png", row(5, 260, 260, 60, 6)},
        {"CfgParts.png",
         {{0, 0, 56, 19, 2},    {56, 0, 56, 19, 2},   {112, 0, 56, 19, 2},  {168, 0, 56, 19, 2},
          {0, 38, 75, 19, 2},   {75, 38, 75, 19, 2},  {150, 38, 75, 19, 2}, {0, 76, 75, 19, 3},
          {75, 76, 75, 19, 3},  {150, 76, 75, 19, 3}, {0, 133, 146, 55, 3}, {146, 133, 146, 55, 3},
          {225, 0, 16, 16, 3},  {241, 0, 16, 16, 3},  {257, 0, 16, 16, 3},  {273, 0, 16, 16, 3},
          {225, 48, 9, 19, 1},  {292, 0, 9, 14, 10},  {301, 0, 9, 14, 10}}},
        {"ChapterButton.png", {{0, 0, 97, 41, 3}, {97, 0, 211, 40, 3}}},
        {"ChapterTitle.png", row(5, 78, 78, 306, 1)},
        {"ChapterEpisode.png", row(3, 205, 205, 38, 4)},
        {"ChapterEp14.png", column(20, 0, 63, 285, 21, 3)},
        {"ChapterEp15.png", column(20, 0, 63, 285, 21, 3)},
        {"ChapterEp16.png", column(17, 0, 63, 285, 21, 3)},
        {"GalleryName.png", column(10, 0, 99, 328, 33, 3)},
        {"GalleryNum.png", {{0, 0, 17, 34, 10}, {0, 340, 17, 34, 1}}},
        {"ViewerParts.png",
         {{0, 0, 32, 32, 3}, {32, 0, 68, 32, 3}, {0, 96, 130, 50, 2}, {164, 0, 66, 98, 2}, {100, 0, 64, 48, 2}}},
    };
    ZbdataStart();
    MemMan = new TMemMan(nullptr);
    BitDepth = bd32;
    TFileMan main(nullptr);
    ASSERT_TRUE(main.InitPack(Game("ZB.pak")));
    const size_t logStart = ErrLog->Count();
    for (const auto& [name, parts] : sheets) {
        SCOPED_TRACE(name);
        TTable table = parts;
        table.push_back({-1, 0, 0, 0, 0});
        TVeRGBParts* sheet = nullptr;
        EXPECT_TRUE(LoadPartsImage(sheet, name, &main, table.data()));
        if (sheet) {
            EXPECT_EQ(sheet->GetSize(), int(parts.size()));
            for (int i = 0; i < sheet->GetSize(); ++i)
                EXPECT_NE(sheet->GetAlpha(i), nullptr) << "part " << i;
            MemMan->Delete(sheet);
        }
    }
    EXPECT_EQ(ErrLog->Count(), logStart);
    EXPECT_EQ(MemMan->Count(), 0);
    delete MemMan;
    MemMan = nullptr;
    BitDepth = bd24;
    ZbdataFinish();
}

TEST_F(SampleGame, SoundsDecode)
{
    TFileMan main(nullptr), se(nullptr), music(nullptr);
    ASSERT_TRUE(main.InitPack(Game("ZB.pak")));
    ASSERT_TRUE(se.InitPack(Game("EvSE.pak")));
    ASSERT_TRUE(music.InitDir(Game("BGM")));
    std::vector<std::string> names = {"btn_1.adp", "btn_3.adp", "BatonOK.adp", "BatonErr.adp", "BatonRetry.adp"};
    for (int n = 32; n <= 42; ++n)
        names.push_back("gs10" + std::to_string(n) + ".adp");
    for (const auto& name : names)
        EXPECT_GT(SoundFrames(main, name), 0u) << name;
    for (const char* name : {"zbse001.adp", "zbse002.adp", "zbse003.adp"})
        EXPECT_GT(SoundFrames(se, name), 0u) << name;
    for (const char* name : {"Track01.bgm", "Track02.bgm", "Track03.bgm"})
        EXPECT_GT(SoundFrames(music, name), 44100u * 5) << name;  // a loop of several seconds

    // Every voice the story speaks, in the archive its number names.
    const std::map<int, std::vector<int>> voices = {{1, {1001, 1002, 1003, 1004, 1005}},
                                                    {2, {2001, 2002, 2003, 2004}}};
    for (const auto& [pack, ids] : voices) {
        char archive[32];
        std::snprintf(archive, sizeof archive, "Voice/zbvo%02d.pak", pack);
        TFileMan voice(nullptr);
        ASSERT_TRUE(voice.InitPack(Game(archive))) << archive;
        for (int id : ids) {
            char name[16];
            std::snprintf(name, sizeof name, "zb%05d.adp", id);
            EXPECT_GT(SoundFrames(voice, name), 0u) << name;
        }
    }
}

TEST_F(SampleGame, MiniGameCountdownAgreesAndItsCaptionReadsOnTheRetryScreen)
{
    TFileMan main(nullptr);
    ASSERT_TRUE(main.InitPack(Game("ZB.pak")));
    // The countdown tells the seconds left before the prompt gives up: 10 at block 3 down to 1
    // at block 12. Only the first has two digits, so its ink is the widest.
    const TDecodedPicture wait = ReadPicture(main, "BatonWait.png");
    ASSERT_EQ(wait.Height, 13 * 60);
    auto inkWidth = [&](int block) {
        const uint8_t* night = &wait.Pixels[(size_t(60 * block + 30) * size_t(wait.Width) + 40) * 3];
        int left = wait.Width, right = -1;
        for (int y = 60 * block + 8; y < 60 * block + 52; ++y)
            for (int x = 20; x < wait.Width - 20; ++x) {
                const uint8_t* p = &wait.Pixels[(size_t(y) * size_t(wait.Width) + size_t(x)) * 3];
                if (std::abs(p[0] - night[0]) + std::abs(p[1] - night[1]) + std::abs(p[2] - night[2]) > 60) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
            }
        return right - left + 1;
    };
    const int ten = inkWidth(3);
    for (int block = 4; block <= 12; ++block) {
        EXPECT_GT(inkWidth(block), 0) << block;
        EXPECT_GT(ten * 2, inkWidth(block) * 3) << "block " << block << " beside the 10 of block 3";
    }
    // The spoken countdown says the same: voice 33 tells 10, voice 42 tells 1.
    for (int n = 33; n <= 42; ++n)
        EXPECT_EQ(CountTones(main, "gs10" + std::to_string(n) + ".adp"), 43 - n) << n;

    // Below 35 points the frame stands over the retry prompt's white: every light pixel of its
    // block 0 has a dark one close by, so its caption reads there.
    const TDecodedPicture frame = ReadPicture(main, "BatonFrame.png");
    ASSERT_EQ(frame.Height, 148);
    ASSERT_FALSE(frame.Alpha.empty());
    auto overWhite = [&](int x, int y) {
        const size_t i = size_t(y) * size_t(frame.Width) + size_t(x);
        const int a = frame.Alpha[i];
        int sum = 0;
        for (int c = 0; c < 3; ++c)
            sum += (frame.Pixels[i * 3 + size_t(c)] * a + 255 * (255 - a)) / 255;
        return sum;  // 0 black .. 765 white
    };
    int light = 0, unreadable = 0;
    for (int y = 0; y < 74; ++y)
        for (int x = 0; x < frame.Width; ++x) {
            if (frame.Alpha[size_t(y) * size_t(frame.Width) + size_t(x)] < 128 || overWhite(x, y) < 690)
                continue;
            ++light;
            bool dark = false;
            for (int dy = -3; dy <= 3 && !dark; ++dy)
                for (int dx = -3; dx <= 3 && !dark; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    dark = nx >= 0 && ny >= 0 && nx < frame.Width && ny < 74 && overWhite(nx, ny) < 300;
                }
            unreadable += dark ? 0 : 1;
        }
    EXPECT_GT(light, 0) << "the caption is drawn";
    EXPECT_EQ(unreadable, 0) << "of " << light << " light pixels";
}

TEST_F(SampleGame, TablesAndSettingsRead)
{
    TFileMan main(nullptr), cg(nullptr);
    ASSERT_TRUE(main.InitPack(Game("ZB.pak")));
    ASSERT_TRUE(cg.InitPack(Game("EvCG.pak")));

    TVeCsvRead marks;
    ASSERT_TRUE(ReadTable(main, "Baton0000.csv", marks));
    EXPECT_GE(marks.GetSizeX(), 3);
    ASSERT_GE(marks.GetSizeY(), 2);
    for (int row = 2; row < marks.GetSizeY(); ++row)
        EXPECT_GT(marks.GetValue(0, row), marks.GetValue(0, row - 1)) << "marks out of time order";
    for (int row = 1; row < marks.GetSizeY(); ++row) {
        EXPECT_GE(marks.GetValue(1, row) - 24, 0);
        EXPECT_LE(marks.GetValue(1, row) + 24, 640);
        EXPECT_LE(marks.GetValue(2, row) + 24, 406) << "mark under the gauge";
    }

    TVeCsvRead eyes;
    ASSERT_TRUE(ReadTable(cg, "EyeAnime.csv", eyes));
    ASSERT_EQ(eyes.GetSizeY(), 3);
    for (int row = 0; row < 3; ++row)
        EXPECT_TRUE(cg.FileIsExist("zbchr00" + std::to_string(eyes.GetValue(0, row)) + ".png"));

    const TIniFile ini(Game("ZB.INI"));
    EXPECT_EQ(ini.ReadString("ZB Debug", "WindowMode", ""), "ON");
    EXPECT_EQ(ini.ReadString("ZB", "MesBoxType", ""), "1");
    EXPECT_EQ(ini.ReadString("ZB", "MovieQuality", ""), "1");
}

TEST_F(SampleGame, MoviesOpenForEveryQuality)
{
    const char* movies[] = {"ZBOPLQ.mpg", "ZBOPNQ.mpg", "ZBCHLQ.mpg",   "ZBCHNQ.mpg",  "ZBED14LQ.mpg",
                            "ZBED14NQ.mpg", "ZBFBLQ.mpg", "ZBFBNQ.mpg", "ZBFBHQ.mpg"};
    for (const char* name : movies) {
        SCOPED_TRACE(name);
        TMovieDecoder movie;
        ASSERT_TRUE(movie.Open(Game("Movie/") + name)) << movie.LastError();
        EXPECT_EQ(movie.Width(), name[std::strlen(name) - 6] == 'L' ? 160 : 320);
        EXPECT_TRUE(movie.HasAudio());
        movie.Close();
    }
}

TEST_F(SampleGame, EveryStoryStepFindsItsScene)
{
    if (!SceneInstructionsBuilt())
        GTEST_SKIP() << "the machine does not run scene instructions yet";
    TScriptWorld world;
    ASSERT_TRUE(world.Init(Game("Script.pak")));
    TAvgUnit& unit = world.Unit();
    ASSERT_EQ(unit.ScriptCount(), 5);
    for (int i = 0; i < unit.ScriptCount(); ++i)
        unit.LoadFunction(i);
    EXPECT_EQ(world.Log(), std::vector<std::string>());

    // (phase, episode, scene) as the game flow leaves them -> the script that must play.
    struct TStep {
        int Phase, Episode, Scene;
        const char* Script;
    };
    const TStep steps[] = {
        {1, 0, 1, "prologue.Wps"},  // a new game
        {1, 14, 1, "ep14_01.Wps"},  // after the opening movie, or chapter 1 chosen
        {2, 14, 2, "ep14_02.Wps"},  // after the chapter movie
        {1, 14, 2, "ep14_02.Wps"},  // chapter 2 chosen
        {2, 14, 3, "ep14_03.Wps"},  // after the mini-game
        {1, 14, 3, "ep14_03.Wps"},  // chapter 3 chosen
        {1, 14, 4, "ep14_04.Wps"},  // after the ending movie, or chapter 4 chosen
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.Script);
        ClearGameData(GameData);
        SetGameEpisode(GameData, step.Episode);
        SetGameScene(GameData, step.Scene);
        unit.SetTriggerGroup(uint8_t(step.Phase));
        int script = -1;
        uint32_t entry = 0;
        std::vector<std::string> chosen;
        while (unit.FindTrigger(script, entry))
            if (unit.TestTrigger(script, entry))
                chosen.push_back(unit.GetScriptInfo(script).FileName);
        EXPECT_EQ(chosen, std::vector<std::string>{step.Script});
    }
    // Past the end of the story nothing plays, and the flow goes back to the title.
    ClearGameData(GameData);
    SetGameEpisode(GameData, 14);
    SetGameScene(GameData, 5);
    unit.SetTriggerGroup(1);
    int script = -1;
    uint32_t entry = 0;
    while (unit.FindTrigger(script, entry))
        EXPECT_FALSE(unit.TestTrigger(script, entry)) << unit.GetScriptInfo(script).FileName;
    EXPECT_EQ(world.Log(), std::vector<std::string>());
}

namespace {

// A picture of the archive with the decode its screen uses: white matte for "_wm" names.
TDecodedPicture ReadScreenPicture(TFileMan& files, const std::string& name)
{
    TDecodedPicture picture;
    TStream* stream = files.Open(name);
    if (stream && !DecodePng(stream, picture, EndsWith(name, "_wm.png")))
        picture = TDecodedPicture{};
    if (stream)
        files.Close(stream);
    return picture;
}

uint32_t PixelAt(const TDecodedPicture& p, int x, int y)
{
    const uint8_t* c = &p.Pixels[(size_t(y) * size_t(p.Width) + size_t(x)) * 3];
    return uint32_t(c[2]) << 16 | uint32_t(c[1]) << 8 | c[0];
}

int AlphaAt(const TDecodedPicture& p, int x, int y)
{
    return p.Alpha.empty() ? 255 : p.Alpha[size_t(y) * size_t(p.Width) + size_t(x)];
}

// Lightness as the CIE defines it, 0 black to 100 white, steps of equal seeming difference: the
// sRGB decoding, the luminance of its primaries and the CIE's cube-root scale.
double Lightness(uint32_t rgb)
{
    auto linear = [](uint32_t v) {
        const double c = v / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    const double y = 0.2126 * linear(rgb >> 16 & 255) + 0.7152 * linear(rgb >> 8 & 255) + 0.0722 * linear(rgb & 255);
    return y > 216.0 / 24389 ? 116 * std::cbrt(y) - 16 : y * 24389.0 / 27;
}

// How far apart in lightness a button block's face and its label stand, away from the block's
// rim (a fifth of its smaller side in): the face is the commonest opaque colour there, the label
// the next commonest. 0 when the block shows no label at all.
double LabelLightnessGap(const TDecodedPicture& p, int left, int top, int width, int height)
{
    const int inset = (std::min(width, height) + 4) / 5;
    std::map<uint32_t, int> counts;
    for (int y = top + inset; y < top + height - inset; ++y)
        for (int x = left + inset; x < left + width - inset; ++x)
            if (AlphaAt(p, x, y) == 255)
                ++counts[PixelAt(p, x, y)];
    std::vector<std::pair<int, uint32_t>> byCount;
    for (auto [colour, n] : counts)
        byCount.push_back({n, colour});
    std::sort(byCount.rbegin(), byCount.rend());
    if (byCount.size() < 2 || byCount[1].first < 4)
        return 0;
    return std::abs(Lightness(byCount[0].second) - Lightness(byCount[1].second));
}

}  // namespace

// The yardstick below, against the published lightness of the sRGB primaries and greys.
TEST(SampleGameYardstick, LightnessOfKnownColours)
{
    const std::pair<uint32_t, double> known[] = {{0x000000, 0},     {0xFFFFFF, 100},   {0x777777, 50.03},
                                                 {0xFF0000, 53.24}, {0x00FF00, 87.73}, {0x0000FF, 32.30},
                                                 {0x808080, 53.59}, {0x0A0A0A, 2.74}};
    for (auto [rgb, lightness] : known)
        EXPECT_NEAR(Lightness(rgb), lightness, 0.05) << std::hex << rgb;
}

// Every pattern of every labelled button reads: normal, focus, selected, down and disabled. A
// label reads when its lightness and its face's stand at least 40 apart, of the 100 from black
// to white.
TEST_F(SampleGame, ButtonLabelsStandOutFromTheirFaces)
{
    struct TStrip {
        std::string Name;
        int X, Y, W, H, Blocks;
    };
    std::vector<TStrip> strips = {
        {"ChapterButton.png", 0, 0, 97, 41, 3}, {"ChapterButton.png", 97, 0, 211, 40, 3},
        {"ViewerParts.png", 0, 0, 32, 32, 3},   {"ViewerParts.png", 32, 0, 68, 32, 3},
        {"ExitYes_wm.png", 0, 0, 43, 22, 5},    {"ExitNo_wm.png", 0, 0, 43, 22, 5},
        {"BakBack_wm.png", 0, 0, 21, 21, 4},    {"BakStop_wm.png", 0, 0, 21, 21, 4},
        {"BakNext_wm.png", 0, 0, 21, 21, 4},    {"MesHide_wm.png", 0, 0, 15, 15, 4},
        {"MesSkip_wm.png", 0, 0, 15, 15, 4},
    };
    for (int i = 0; i < 5; ++i)
        strips.push_back({"TitleParts.png", 260 * i, 0, 260, 60, 6});
    for (int i = 0; i < 4; ++i)
        strips.push_back({"CfgParts.png", 56 * i, 0, 56, 19, 2});
    for (int i = 0; i < 3; ++i) {
        strips.push_back({"CfgParts.png", 75 * i, 38, 75, 19, 2});
        strips.push_back({"CfgParts.png", 75 * i, 76, 75, 19, 3});
        strips.push_back({"ChapterEpisode.png", 205 * i, 0, 205, 38, 4});
    }
    for (int i = 0; i < 2; ++i)
        strips.push_back({"CfgParts.png", 146 * i, 133, 146, 55, 3});
    for (int i = 0; i < 20; ++i)
        strips.push_back({"ChapterEp14.png", 0, 63 * i, 285, 21, 3});
    for (int i = 0; i < 10; ++i)
        strips.push_back({"GalleryName.png", 0, 99 * i, 328, 33, 3});
    for (int i = 1; i <= 6; ++i)
        strips.push_back({"Menu0" + std::to_string(i) + "_wm.png", 0, 0, 122, 20, 9});

    TFileMan main(nullptr);
    ASSERT_TRUE(main.InitPack(Game("ZB.pak")));
    std::map<std::string, TDecodedPicture> pictures;
    for (const auto& s : strips) {
        if (!pictures.count(s.Name))
            pictures[s.Name] = ReadScreenPicture(main, s.Name);
        const TDecodedPicture& p = pictures[s.Name];
        ASSERT_GE(p.Width, s.X + s.W) << s.Name;
        ASSERT_GE(p.Height, s.Y + s.H * s.Blocks) << s.Name;
        for (int b = 0; b < s.Blocks; ++b)
            EXPECT_GE(LabelLightnessGap(p, s.X, s.Y + s.H * b, s.W, s.H), 40)
                << s.Name << " part at " << s.X << "," << s.Y << ", block " << b;
    }
}

// The message window's frame keeps the scene's buttons whole: its corner buttons stand each on
// one plain plate of the frame, and the backlog bar above the window's top edge (496, 312, 80 x 27
// on the screen; the window stands at 42, 330) is not hidden under the frame.
TEST_F(SampleGame, MessageWindowFramesLeaveTheButtonsWhole)
{
    TFileMan main(nullptr);
    ASSERT_TRUE(main.InitPack(Game("ZB.pak")));
    const std::pair<int, int> look[2] = {{537, 107}, {538, 108}}, skip[2] = {{525, 123}, {526, 124}};
    for (int type = 1; type <= 2; ++type) {
        const std::string name = "MesWin" + std::to_string(type) + "_wm.png";
        SCOPED_TRACE(name);
        const TDecodedPicture frame = ReadScreenPicture(main, name);
        ASSERT_EQ(frame.Width, 560);
        ASSERT_EQ(frame.Height, 146);
        for (auto [bx, by] : {look[type - 1], skip[type - 1]}) {
            std::map<uint32_t, int> colours;
            int open = 0;
            for (int y = by - 1; y <= by + 15; ++y)
                for (int x = bx - 1; x <= bx + 15; ++x) {
                    open += AlphaAt(frame, x, y) < 255;
                    ++colours[PixelAt(frame, x, y)];
                }
            EXPECT_EQ(open, 0) << "button at " << bx << "," << by;
            EXPECT_EQ(colours.size(), 1u) << "button at " << bx << "," << by;
        }
        int covered = 0;
        for (int y = 0; y < 312 + 27 - 330; ++y)
            for (int x = 496 - 42; x < 496 + 80 - 42; ++x)
                covered += AlphaAt(frame, x, y) > 0;
        EXPECT_EQ(covered, 0) << "pixels of the backlog bar under the frame";
    }
}

TEST_F(SampleGame, BuildIsRepeatable)
{
    TScratchFolder again;
    ASSERT_TRUE(BuildSample(again));
    size_t compared = 0;
    for (auto& entry : fs::recursive_directory_iterator(Game(""))) {
        if (!entry.is_regular_file())
            continue;
        const std::string relative = fs::relative(entry.path(), Game("")).string();
        SCOPED_TRACE(relative);
        EXPECT_EQ(ReadWholeFile(entry.path().string()), ReadWholeFile(again.Path() + "/game/" + relative));
        ++compared;
    }
    EXPECT_EQ(compared, 20u);  // five archives, two voice archives, three tracks, nine movies, the INI file
}

// Builders started together on one folder, new or already built, take turns: each ends well, and
// the folder holds what one builder alone makes, with nothing left over.
TEST_F(SampleGame, BuildersStartedTogetherMakeOneBuildersData)
{
    TScratchFolder folder;
    const std::string game = folder.Path() + "/game";
    for (const char* round : {"into a new folder", "over a built one"}) {
        SCOPED_TRACE(round);
        std::vector<pid_t> builders;
        for (int i = 0; i < 3; ++i)
            builders.push_back(StartBuilder(game, folder.Path() + "/errors" + std::to_string(i)));
        for (size_t i = 0; i < builders.size(); ++i) {
            ASSERT_GT(builders[i], 0);
            const int status = AwaitBuilder(builders[i]);
            const TByteVector errors = ReadWholeFile(folder.Path() + "/errors" + std::to_string(i));
            EXPECT_EQ(status, 0) << std::string(errors.begin(), errors.end());
        }
        ExpectSameEntries(Entries(Game("")), game);
    }
}

// A rebuild that cannot finish (here the movies' folder is a file) ends with status 1 and one
// line that names the file and the cause, and leaves the data in place as it was.
TEST_F(SampleGame, FailedRebuildSaysWhyAndLeavesTheDataAsItWas)
{
    TScratchFolder played;
    ASSERT_TRUE(BuildSample(played));
    const std::string game = played.Path() + "/game";
    WriteWholeFile(game + "/ZB.pak", TByteVector{'o', 'l', 'd'});
    fs::remove_all(game + "/Movie");
    WriteWholeFile(game + "/Movie", TByteVector{'x'});
    const auto before = Entries(game);

    const std::string errors = played.Path() + "/errors";
    const pid_t builder = StartBuilder(game, errors);
    ASSERT_GT(builder, 0);
    EXPECT_EQ(AwaitBuilder(builder), 1) << "1000 and more: killed by a signal";
    const TByteVector text = ReadWholeFile(errors);
    const std::string message(text.begin(), text.end());
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
    EXPECT_NE(message.find(game + "/Movie: " + std::strerror(ENOTDIR)), std::string::npos) << message;
    EXPECT_TRUE(Entries(game) == before) << "the data in place changed, or something was left behind";
}

// A build stopped by SIGINT, SIGTERM or SIGHUP ends by that signal with a line that says so, and
// leaves nothing of its own behind, whether it was waiting for the folder's lock, making its files
// or putting them in place. One that waits for the lock ends at once, while the other build still
// holds the folder; a SIGHUP or SIGINT ignored when it started (nohup) stays ignored. One killed
// outright while it puts a file in place leaves that file's temporary, which the next build
// removes. The player's files stay throughout, the game's own temporaries among them, and the
// build after the last leaves one builder's data.
TEST_F(SampleGame, StoppedOrKilledBuildLeavesNothingOnceTheNextHasRun)
{
    TScratchFolder folder;
    const std::string game = folder.Path() + "/game";
    fs::create_directories(game);
    const std::map<std::string, std::string> players = {
        {"ZB.INI", "[ZB]\r\nVolumeBGM=12\r\n"},
        {"ZBSys.sav", "a save"},
        {"ZB.INI.tmpAb12Cd", "the game's temporary, its writer gone"},
        {"ZBSys.sav.tmp0aZ9yX", "the game's temporary, its writer gone"},
        {"ZB.pak.bak", "the player's own copy"},
    };
    for (const auto& [name, text] : players)
        WriteWholeFile(game + "/" + name, TByteVector(text.begin(), text.end()));
    auto expected = Entries(Game(""));
    for (const auto& [name, text] : players)
        expected[name] = text;
    auto strays = [&] {
        std::set<std::string> names;
        for (const auto& [name, bytes] : Entries(game))
            if (!expected.count(name))
                names.insert(name);
        return names;
    };
    const std::string errors = folder.Path() + "/errors";
    auto message = [&] {
        const TByteVector text = ReadWholeFile(errors);
        return std::string(text.begin(), text.end());
    };

    // Waiting: while another build holds the folder. Making: as soon as the build has begun
    // making its files, before the main archive is in place. Installing: while the main
    // archive's temporary stands beside the data.
    enum class TMoment { Waiting, Making, Installing };
    struct TRound {
        int Signal;
        TMoment Moment;
        bool Nohup;  // SIGHUP and SIGINT ignored when the builder starts, and sent before the stop
    };
    const TRound rounds[] = {{SIGINT, TMoment::Waiting, false},    {SIGTERM, TMoment::Waiting, true},
                             {SIGHUP, TMoment::Waiting, false},    {SIGINT, TMoment::Making, false},
                             {SIGKILL, TMoment::Installing, false}, {SIGTERM, TMoment::Installing, false},
                             {SIGHUP, TMoment::Making, false},     {SIGKILL, TMoment::Installing, false}};
    const char* moments[] = {" while waiting", " while making", " mid-install"};
    for (const TRound& round : rounds) {
        SCOPED_TRACE(std::string(strsignal(round.Signal)) + moments[int(round.Moment)] +
                     (round.Nohup ? ", HUP and INT ignored" : ""));
        int status = -1;
        std::string arrived;
        if (round.Moment == TMoment::Waiting) {
            const auto before = Entries(game);
            TFolderHold other(game);
            ASSERT_TRUE(other.Ok()) << std::strerror(errno);
            const pid_t builder =
                StartBuilder(game, errors, round.Nohup ? std::vector<int>{SIGHUP, SIGINT} : std::vector<int>{});
            ASSERT_GT(builder, 0);
            // Until it waits in the lock's call itself, so that the stop comes during the wait.
            const std::string call = "/proc/" + std::to_string(builder) + "/syscall";
            auto ended = [&] {
                siginfo_t end{};
                return waitid(P_PID, id_t(builder), &end, WEXITED | WNOHANG | WNOWAIT) == 0 && end.si_pid == builder;
            };
            const bool waits = zbtest::WaitUntil(
                [&] {
                    if (ended())
                        return true;
                    std::ifstream now(call);
                    long number = -1;
                    return message().find("waiting for another build") != std::string::npos && (now >> number) &&
                           number == SYS_flock;
                },
                std::chrono::milliseconds(1));
            if (!waits || ended()) {
                ::kill(builder, SIGKILL);
                ADD_FAILURE() << "the builder did not wait for the folder, or ended: " << AwaitBuilder(builder) << "\n"
                              << message();
                return;
            }
            if (round.Nohup) {
                const uint64_t hupAndInt = (uint64_t(1) << (SIGHUP - 1)) | (uint64_t(1) << (SIGINT - 1));
                EXPECT_EQ(IgnoredSignals(builder) & hupAndInt, hupAndInt) << "not ignored as when it started";
                ::kill(builder, SIGHUP);
                ::kill(builder, SIGINT);
            }
            ::kill(builder, round.Signal);
            // The other build still holds the folder: only the stop can end this one.
            if (!zbtest::WaitUntil(ended, std::chrono::milliseconds(1))) {
                ::kill(builder, SIGKILL);
                AwaitBuilder(builder);
                ADD_FAILURE() << "the builder went on waiting for the folder after the stop\n" << message();
                return;
            }
            status = AwaitBuilder(builder);
            other.Release();
            EXPECT_TRUE(Entries(game) == before) << "the data changed while another build held the folder";
        } else {
            for (const auto end = zbtest::HangDeadline();;) {
                ASSERT_LT(std::chrono::steady_clock::now(), end) << "the builder was never held at the moment";
                // Stale, so that the build puts a new one in place.
                if (fs::exists(game + "/ZB.pak"))
                    WriteWholeFile(game + "/ZB.pak", TByteVector{'o', 'l', 'd'});
                TArrivalWatch watch(game);
                ASSERT_TRUE(watch.Ok()) << std::strerror(errno);
                const pid_t builder = StartBuilder(game, errors);
                ASSERT_GT(builder, 0);
                arrived = watch.Await(
                    [&](const std::string& name) {
                        return round.Moment == TMoment::Installing ? name.find(".tmp") != std::string::npos
                                                                   : name == ".staging";
                    },
                    builder);
                // Held there, the moment checked, the signal sent: it lands before the builder takes
                // another step. A builder that had gone past the moment goes on, and the round
                // starts again.
                const bool held = !arrived.empty() && Hold(builder, status);
                const TByteVector pak = ReadWholeFile(game + "/ZB.pak");
                const bool stands = held && (round.Moment == TMoment::Installing
                                                 ? fs::exists(game + "/" + arrived)
                                                 : std::string(pak.begin(), pak.end()) != expected["ZB.pak"]);
                if (stands)
                    ::kill(builder, round.Signal);
                if (held) {
                    ::kill(builder, SIGCONT);
                    status = AwaitBuilder(builder);
                }
                ASSERT_FALSE(arrived.empty()) << "the builder ended with " << AwaitBuilder(builder)
                                              << " before the moment came\n" << message();
                if (stands)
                    break;
                EXPECT_EQ(status, 0) << message();
            }
        }
        EXPECT_EQ(status, 1000 + round.Signal) << message();
        const auto left = strays();
        if (round.Signal == SIGKILL) {
            EXPECT_TRUE(left.count(arrived)) << arrived << " is not left: the kill came after it moved in place";
        } else {
            const std::string text = message();
            EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), round.Moment == TMoment::Waiting ? 2 : 1) << text;
            const std::string last = text.substr(text.rfind('\n', text.size() - 2) + 1);
            EXPECT_NE(last.find(game), std::string::npos) << text;
            EXPECT_NE(last.find("stopped"), std::string::npos) << text;
            // Every stop comes after a round that left nothing, or after a kill whose
            // leftovers a build that reaches its files' places removes first.
            EXPECT_EQ(left, std::set<std::string>()) << "left behind";
        }
    }
    ASSERT_TRUE(BuildSample(folder));
    ExpectSameEntries(expected, game);
}

namespace {

// Which file stands under a name and when its bytes last changed: a file rewritten in place keeps
// its inode but not its time, one put there by rename has a new inode.
std::pair<uint64_t, int64_t> Identity(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {0, 0};
    return {uint64_t(st.st_ino), int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

}  // namespace

// The builder, run again over a game that has been played, brings the data up to date and keeps
// every file the game wrote: the player's settings, the save and its kept copies, captures and
// temporaries. The game may be running on that data: a file whose bytes are already right is
// left as it is, and one that changes comes in by rename, so that a file the game holds open
// never changes under it.
TEST_F(SampleGame, RebuildKeepsWhatThePlayersGameWrote)
{
    TScratchFolder played;
    ASSERT_TRUE(BuildSample(played));
    const std::string game = played.Path() + "/game/";
    const std::map<std::string, std::string> written = {
        {"ZB.INI", "[ZB]\r\nVolumeBGM=12\r\nMesBoxColor=FF8000\r\n[ZB Debug]\r\nWindowMode=OFF\r\n"},
        {"ZBSys.sav", "a save"},
        {"ZBSys.sav.bad", "an unreadable save"},
        {"ZBSys.sav.bad1", "an older unreadable save"},
        {"ZBCap000.png", "a capture"},
        {"ZB.INI.tmpAb12Cd", "a temporary"},
    };
    for (const auto& [name, text] : written)
        WriteWholeFile(game + name, TByteVector(text.begin(), text.end()));
    const TByteVector pak = ReadWholeFile(Game("ZB.pak"));
    fs::remove(game + "Script.pak");
    // Changed bytes in a file of the right size.
    const std::string altered = "Voice/zbvo02.pak";
    TByteVector alteredBytes = ReadWholeFile(Game(altered));
    ASSERT_FALSE(alteredBytes.empty());
    alteredBytes[alteredBytes.size() / 2] ^= 0xFF;
    WriteWholeFile(game + altered, alteredBytes);
    const std::vector<std::string> stale = {"ZB.pak", "BGM/Track02.bgm", "Movie/ZBCHNQ.mpg"};
    std::vector<int> held;
    for (const auto& name : stale) {
        WriteWholeFile(game + name, TByteVector{'o', 'l', 'd'});
        held.push_back(::open((game + name).c_str(), O_RDONLY | O_CLOEXEC));
        ASSERT_GE(held.back(), 0) << name;
    }
    std::map<std::string, std::pair<uint64_t, int64_t>> before;
    for (auto& entry : fs::recursive_directory_iterator(game))
        if (entry.is_regular_file())
            before[fs::relative(entry.path(), game).string()] = Identity(entry.path().string());

    ASSERT_TRUE(BuildSample(played));
    for (const auto& [name, text] : written) {
        const TByteVector kept = ReadWholeFile(game + name);
        EXPECT_EQ(std::string(kept.begin(), kept.end()), text) << name;
    }
    EXPECT_EQ(ReadWholeFile(game + "ZB.pak"), pak);
    EXPECT_EQ(ReadWholeFile(game + "Script.pak"), ReadWholeFile(Game("Script.pak")));
    EXPECT_TRUE(ReadWholeFile(game + altered) == ReadWholeFile(Game(altered))) << altered << " was not put right";
    for (size_t i = 0; i < stale.size(); ++i) {
        SCOPED_TRACE(stale[i]);
        EXPECT_EQ(ReadWholeFile(game + stale[i]), ReadWholeFile(Game(stale[i])));
        EXPECT_NE(Identity(game + stale[i]).first, before[stale[i]].first) << "rewritten in place";
        char bytes[8] = {};
        EXPECT_EQ(::pread(held[i], bytes, sizeof bytes, 0), 3) << "the open file changed";
        EXPECT_EQ(std::string(bytes, 3), "old");
        ::close(held[i]);
    }
    std::set<std::string> after;
    for (auto& entry : fs::recursive_directory_iterator(game))
        if (entry.is_regular_file())
            after.insert(fs::relative(entry.path(), game).string());
    after.erase("Script.pak");
    for (const auto& [name, identity] : before) {
        EXPECT_EQ(after.erase(name), 1u) << name << " is gone";
        if (name != altered && std::find(stale.begin(), stale.end(), name) == stale.end()) {
            EXPECT_EQ(Identity(game + name), identity) << name << " was written again with the same bytes";
        }
    }
    EXPECT_EQ(after, std::set<std::string>()) << "left behind";
}
