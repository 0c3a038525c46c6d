// The form's creation and showing on the dummy drivers: the whole start with generated data,
// each missing picture, failed device checks, and the orderly close.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <thread>

#include "archive/Vefileman.h"
#include "game/Gamefconst.h"
#include "media/Getdxver.h"
#include "game/GameFormHarness.h"
#include "game/Splashf.h"
#include "game/Zbglobals.h"
#include "platform/Instance.h"
#include "support/Pictures.h"

namespace {

class StartupTest : public GameFormHarness {
protected:
    bool WaitForState(TGameFormState s)
    {
        return zbtest::WaitUntil([&] { return Form->GetState() == s; }, std::chrono::milliseconds(2));
    }
    // The quit message was posted: running the queue ends the loop.
    bool QuitPosted()
    {
        RunPosted();
        return App->Terminated();
    }
    // The program's exit status once the posted messages have run; -1 while it goes on.
    int ExitStatus()
    {
        RunPosted();
        return App->Terminated() ? App->ExitCode() : -1;
    }
};

uint32_t PatternColour(int x, int y)
{
    uint32_t b = static_cast<uint8_t>(x * 7 + y), g = static_cast<uint8_t>(y * 13 + x),
             r = static_cast<uint8_t>((x ^ y) * 5);
    return (r << 16) | (g << 8) | b;
}

}  // namespace

TEST_F(StartupTest, HeadlessStartShowsTheWaitPictureAndClosesInOrder)
{
    TGameForm::SetGameThreadFactory(nullptr);  // the default game thread
    ASSERT_TRUE(StartForm(false) || Form->GetState() == gsWait);
    EXPECT_EQ(Form->GetTimerInterval(), 5);
    EXPECT_EQ(Root->Calls().front(), "create");
    ASSERT_TRUE(WaitForState(gsWait));
    ASSERT_NE(MainThread.load(), nullptr);
    // The loading picture's head and still strip reach the screen.
    // The screen is read under the lock that guards the drawing targets.
    auto shown = [&] {
        std::lock_guard<TCriticalSection> lock(*Form->FpsLock);
        return Display->Surface()->PGet(394, 397);
    };
    zbtest::WaitUntil([&] { return shown() == PatternColour(10, 5); }, std::chrono::milliseconds(5));
    EXPECT_EQ(shown(), PatternColour(10, 5));
    EXPECT_TRUE(Form->GameTimer->GetEnabled());

    Form->Close();
    EXPECT_EQ(Form->GetState(), gsClosing);
    EXPECT_EQ(MainThread.load(), nullptr);
    EXPECT_EQ(Form->WaitThread, nullptr);
    EXPECT_EQ(Form->CursorImage, nullptr);
    EXPECT_FALSE(Display->Enabled());
    EXPECT_EQ(Root->Calls().back(), "uncreate");
    EXPECT_EQ(ExitStatus(), 0);
    EXPECT_TRUE(LogLines().empty());
    delete Form;
    Form = nullptr;
    GameForm = nullptr;
    EXPECT_EQ(MemMan, nullptr);
    EXPECT_EQ(PackFileMan, nullptr);
    EXPECT_FALSE(ReadWholeFile(Folder.Path() + "/ZB.INI").empty());
}

TEST_F(StartupTest, EachMissingPictureFailsTheShowingWithItsLogLine)
{
    const std::pair<int, const char*> cases[] = {
        {gpCursor, LogCursorImage}, {gpWait, LogWaitImage}, {gpCapLogo, LogCapLogo}, {gpCapCopy, LogCapCopy}};
    for (const auto& [missing, line] : cases) {
        SCOPED_TRACE(line);
        TearDown();
        SetUp();
        TGameForm::SetGameThreadFactory(nullptr);
        Pictures = gpAll & ~missing;
        EXPECT_FALSE(StartForm(false));
        EXPECT_EQ(LogLines(), (std::vector<std::string>{line, LogShowError}));
        EXPECT_EQ(Form->GetState(), gsCreated);
        EXPECT_EQ(Form->WaitThread, nullptr);
        EXPECT_EQ(MainThread.load(), nullptr);
        EXPECT_FALSE(Form->GameTimer->GetEnabled());
        EXPECT_EQ(ExitStatus(), 1);
    }
}

TEST_F(StartupTest, APictureRefusedForItsSizeIsNamedWithTheBoundBeforeItsLogLine)
{
    TGameForm::SetGameThreadFactory(nullptr);
    TScratchFolder pictures;
    WriteGamePictures(pictures.Path());
    TNamedBytes members;
    for (const char* name : {"Cursor.png", "Wait.bmp", "Cap_Logo.png", "Cap_Copy.png"})
        members.push_back({name, ReadWholeFile(pictures.Path() + "/ZB_Pak/" + name)});
    members[0].second = WidenPng(members[0].second, MaxPictureSide + 1);
    ASSERT_TRUE(BuildPack(Folder.Path() + "/ZB.pak", members));
    Pictures = 0;
    EXPECT_FALSE(StartForm(false));
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].rfind("Cursor.png: cannot be decoded: " + std::to_string(MaxPictureSide + 1) + " x 32", 0), 0u)
        << lines[0];
    EXPECT_NE(lines[0].find(std::to_string(MaxPictureSide) + " "), std::string::npos) << lines[0];
    EXPECT_EQ(lines[1], LogCursorImage);
    EXPECT_EQ(lines[2], LogShowError);
}

TEST_F(StartupTest, ArchiveServesThePicturesWhenPresentAndADamagedOrMissingOneIsNamed)
{
    TNamedBytes members;
    TScratchFolder pictures;
    WriteGamePictures(pictures.Path());
    for (const char* name : {"Cursor.png", "Wait.bmp", "Cap_Logo.png", "Cap_Copy.png"})
        members.push_back({name, ReadWholeFile(pictures.Path() + "/ZB_Pak/" + name)});
    ASSERT_TRUE(BuildPack(Folder.Path() + "/ZB.pak", members));
    Pictures = 0;
    EXPECT_TRUE(StartForm());
    EXPECT_TRUE(LogLines().empty());  // no script archive: the folder stands in without a word

    // A script archive that lost its tail is refused with a line that names it and says so; the
    // folder stands in for it all the same and the start goes on.
    TearDown();
    SetUp();
    const std::string scripts = Folder.Path() + "/Script.pak";
    ASSERT_TRUE(BuildPack(scripts, {{"a.Wps", PatternBytes(1, 300)}}));
    CutFile(scripts, 200);
    Pictures = 0;
    EXPECT_TRUE(StartForm());
    EXPECT_EQ(LogLines(), std::vector<std::string>{"Script.pak: cut short: the directory lies past the end of the file"});
    EXPECT_FALSE(ScriptFileMan->IsPack());
    EXPECT_TRUE(PackFileMan->IsPack());

    // Neither an archive nor its folder: the archive is named, with the folder tried, once and
    // before the lines of what fails for want of it; what the player sees stays the same.
    TearDown();
    SetUp();
    std::filesystem::remove(Folder.Path() + "/ZB.pak");
    std::filesystem::remove(scripts);
    Pictures = 0;
    EXPECT_FALSE(StartForm());
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"ZB.pak: not found, nor the folder ZB_Pak", LogCursorImage,
                                                    LogWaitImage, LogCapLogo, LogCapCopy, LogShowError}));
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(ExitStatus(), 1);

    TearDown();
    SetUp();
    ScriptFolder = false;
    EXPECT_TRUE(StartForm());
    EXPECT_EQ(LogLines(), std::vector<std::string>{"Script.pak: not found, nor the folder Script_pak"});
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(StartupTest, OldDisplayVersionFailsCreationAndTheShowingReportsTheMissingObjects)
{
    Config->Version = 0x600;
    EXPECT_FALSE(StartForm());
    EXPECT_EQ(Boxes, (std::vector<std::string>{std::string(CaptionError) + ": " + MsgDirectX7,
                                               std::string(CaptionQJError) + ": " + MsgInitFailed}));
    EXPECT_EQ(LogLines(), (std::vector<std::string>{LogDirectX, LogShowException, LogShowError}));
    EXPECT_EQ(Form->WaitThread, nullptr);
    EXPECT_EQ(ExitStatus(), 1);
}

TEST_F(StartupTest, DisplayDepthChecksChooseTheWorkingDepth)
{
    Config->DesktopWidth = 640;
    Config->DesktopHeight = 480;
    EXPECT_FALSE(StartForm());
    EXPECT_EQ(Boxes.front(), std::string(CaptionError) + ": " + MsgWindowDepth);

    TearDown();
    SetUp();
    Config->DesktopWidth = 800;
    Config->DesktopHeight = 600;
    Config->DesktopBits = 16;
    EXPECT_TRUE(StartForm());
    EXPECT_EQ(BitDepth, bd24);
    ASSERT_NE(Form->ConvertImage, nullptr);
    EXPECT_EQ(Form->ConvertImage->BitDepth(), bd24);

    TearDown();
    SetUp();
    WindowMode = false;
    Config->Modes = {{bd16, pf16_565, true}, {bd32, pf32_888, false}, {bd32, pfNone, true}};
    EXPECT_TRUE(StartForm());
    EXPECT_EQ(BitDepth, bd24);
    EXPECT_TRUE(Display->FullScreen);
    EXPECT_NE(Form->ConvertImage, nullptr);

    TearDown();
    SetUp();
    WindowMode = false;
    Config->Modes = {{bd16, pf16_565, false}};
    EXPECT_FALSE(StartForm());
    EXPECT_EQ(Boxes.front(), std::string(CaptionError) + ": " + MsgFullDepth);
}

TEST_F(StartupTest, DevicesThatCannotOpenFailTheShowingWithTheirOwnMessages)
{
    {
        // A sound device that cannot start is not an old platform: the creation succeeds and
        // the showing reports the sound device.
        const std::string driver = std::getenv("SDL_AUDIODRIVER") ? std::getenv("SDL_AUDIODRIVER") : "";
        setenv("SDL_AUDIODRIVER", "nosuchdriver", 1);
        Config->Version = DirectX::GetDXVersion();
        const bool started = StartForm();
        setenv("SDL_AUDIODRIVER", driver.c_str(), 1);
        EXPECT_FALSE(started);
        EXPECT_EQ(Boxes, (std::vector<std::string>{std::string(CaptionError) + ": " + MsgDirectSound}));
        // The sound library's own reason comes first, as the device's line cannot say why.
        const std::vector<std::string> lines = LogLines();
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_NE(lines[0].find("nosuchdriver"), std::string::npos) << lines[0];
        EXPECT_EQ(lines[1], LogDirectSound);
        EXPECT_EQ(lines[2], LogShowError);
        EXPECT_EQ(Form->WaitThread, nullptr);
        EXPECT_EQ(ExitStatus(), 1);
    }

    TearDown();
    SetUp();
    Config->EnableResult = false;
    EXPECT_FALSE(StartForm());
    EXPECT_EQ(Boxes, (std::vector<std::string>{std::string(CaptionError) + ": " + MsgDirectDraw}));
    std::vector<std::string> lines = LogLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front(), LogDirectDraw);
    EXPECT_EQ(lines.back(), LogShowError);
    EXPECT_EQ(ExitStatus(), 1);
}

TEST_F(StartupTest, GameThreadFailureIsLoggedAndClosesTheFormWithAFailureStatus)
{
    struct TFailingThread : TMainThread {
        void Run() override { throw Exception("broken flow"); }
    };
    struct TQuittingThread : TMainThread {
        void Run() override { GameQuit(); }
    };
    struct TAbortingThread : TMainThread {
        void Run() override { GameAbort(); }
    };
    // The flow's own quit is the player's close; its abort and an error are failures.
    const struct {
        const char* What;
        std::function<TMainThread*()> Make;
        std::vector<std::string> Lines;
        int Status;
    } cases[] = {
        {"error", [] { return new TFailingThread(); }, {"broken flow"}, 1},
        {"quit", [] { return new TQuittingThread(); }, {}, 0},
        {"abort", [] { return new TAbortingThread(); }, {}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        TearDown();
        SetUp();
        TGameForm::SetGameThreadFactory(c.Make);
        StartForm(false);
        zbtest::WaitUntil([] { return MainThread.load() == nullptr; }, std::chrono::milliseconds(2));
        EXPECT_EQ(MainThread.load(), nullptr);
        RunPosted();
        EXPECT_FALSE(Form->Visible());
        EXPECT_EQ(LogLines(), c.Lines);
        EXPECT_EQ(ExitStatus(), c.Status);
    }
}

TEST_F(StartupTest, TheProgramReadsItsSwitchesAndEndsInOrderWhateverEndsTheStart)
{
    WriteGamePictures(Folder.Path(), Pictures);
    const std::string runtime = std::getenv("XDG_RUNTIME_DIR") ? std::getenv("XDG_RUNTIME_DIR") : "";
    setenv("XDG_RUNTIME_DIR", Folder.Path().c_str(), 1);
    auto runProgram = [](std::vector<const char*> args) {
        int code = -1;
        EXPECT_NO_THROW(code = GameMain(static_cast<int>(args.size()), args.data()));
        EXPECT_EQ(Application, nullptr);
        EXPECT_EQ(GameForm, nullptr);
        TSingleInstance instance;
        EXPECT_EQ(instance.Acquire(InstanceName), TInstanceResult::Acquired) << "the instance lock was kept";
        return code;
    };

    // Prefixes "-" and "/" in any case switch on; a doubled prefix or none does not. Without
    // the window switch the program needs a 640x480 full-screen mode, which this display lacks.
    Config->Modes.clear();
    WindowMode = false;
    EXPECT_EQ(runProgram({"zb", "--window", "//fps", "window", "-"}), 1);
    EXPECT_FALSE(WindowMode);
    EXPECT_FALSE(ShowFPS);
    EXPECT_EQ(Boxes, (std::vector<std::string>{std::string(CaptionError) + ": " + MsgFullDepth,
                                               std::string(CaptionQJError) + ": " + MsgInitFailed}));

    // A standard exception out of the start is caught at the top; the form still closes in
    // order and writes its settings.
    Boxes.clear();
    TGameForm::SetGameThreadFactory([]() -> TMainThread* { throw std::runtime_error("no game thread"); });
    EXPECT_EQ(runProgram({"zb", "-Window", "/fps"}), 1);
    EXPECT_TRUE(WindowMode);
    EXPECT_TRUE(ShowFPS);
    EXPECT_TRUE(Boxes.empty());
    EXPECT_FALSE(ReadWholeFile(Folder.Path() + "/ZB.INI").empty());
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
}
