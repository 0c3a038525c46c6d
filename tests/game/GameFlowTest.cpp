// The game flow on a main form with the real panel tree and the sample game: the test stands in
// for the player by giving each screen's signal once the flow waits on it, and checks which
// screen was up, what the flow made of each answer and that every way out frees the screens.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "base/Vecritical.h"
#include "base/Vememman.h"
#include "game/Batonu.h"
#include "game/GameFormHarness.h"
#include "game/Movieu.h"
#include "game/Pchapter.h"
#include "game/Pconfigmenu.h"
#include "game/Pmainmenu.h"
#include "game/Zbglobals.h"
#include "game/Zbsysfile.h"
#include "scenario/Avgu.h"
#include "scenario/Popupu.h"
#include "scenario/Zbgamet.h"

namespace fs = std::filesystem;

namespace {

// The sample game, built once per run.
const std::string& SampleGame()
{
    static std::string folder;
    static std::once_flag once;
    std::call_once(once, [] {
        std::string path = (fs::temp_directory_path() / ("zbflow-" + std::to_string(::getpid()))).string();
        std::string command = "'" + std::string(ZB_BINARY_DIR) + "/mksample' '" + path + "' '" +
                              std::string(ZB_SOURCE_DIR) + "/sample' >/dev/null 2>&1";
        if (std::system(command.c_str()) == 0)
            folder = path;
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(fs::temp_directory_path() / ("zbflow-" + std::to_string(::getpid())), ec);
        });
    });
    return folder;
}

class GameFlowTest : public GameFormHarness {
protected:
    void SetUp() override
    {
        GameFormHarness::SetUp();
        SetGameRootFactory(nullptr);  // the real panel tree: screens are found by their panels
        TGameForm::SetGameThreadFactory(CreateGameThread);
        SavedSaveFolder = SysSaveFolder;
        SysSaveFolder = Folder.Path();
    }
    void TearDown() override
    {
        GameFormHarness::TearDown();
        SysSaveFolder = SavedSaveFolder;
    }

    bool StartGame()
    {
        if (SampleGame().empty())
            return false;
        fs::copy(SampleGame(), Folder.Path(), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        StartForm(false);
        return MainThread.load() != nullptr;
    }

    void StopGame()
    {
        Taken = nullptr;
        delete Form;
        Form = nullptr;
        GameForm = nullptr;
    }

    bool OnScreen(TVeRGBPanel* panel) const { return panel && panel->Parent() == Form->MainPanel(); }

    // The screen attached to the form; the flow must be parked (state lock held by the caller).
    std::string Screen() const
    {
        if (GameMenu && OnScreen(GameMenu->MainMenuPanel))
            return "title";
        if (ConfigMenu && OnScreen(ConfigMenu->ConfigPanel))
            return "config";
        if (ChapterUnit && OnScreen(ChapterUnit->MenuPanel))
            return "chapter" + std::to_string(ChapterUnit->GetMode());
        if (ChapterUnit && OnScreen(ChapterUnit->ViewerPanel))
            return "viewer";
        if (AvgUnit && OnScreen(AvgUnit->AvgPanel))
            return "scene";
        if (MovieUnit && OnScreen(MovieUnit->MoviePanel))
            return "movie";
        if (BatonUnit && OnScreen(BatonUnit->BatonPanel))
            return "baton";
        return "";
    }

    // Waits until the flow waits for a screen's signal, runs act with the flow parked, then
    // gives the signal (none when give is false). Answers the screen that was up ("" on a
    // timeout or when the flow ended).
    template <class F>
    std::string Answer(int value, F act, bool give = true)
    {
        auto end = zbtest::HangDeadline();
        // The last signal first has to be taken: until then the flow still waits where it was.
        while (Taken && MainThread.load() == Taken && Taken->WaitsDone.load() == TakenAt &&
               std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        Taken = nullptr;
        while (std::chrono::steady_clock::now() < end) {
            {
                std::lock_guard<TCriticalSection> lock(*Form->StateLock);
                TMainThread* thread = MainThread.load();
                if (!thread)
                    return "";
                std::string screen = Screen();
                if (thread->Waiting.load() && !screen.empty() && Form->GetState() != gsTransition) {
                    act();
                    if (give) {
                        Seen.push_back(screen);
                        thread->SetSignal(value);
                        Taken = thread;
                        TakenAt = thread->WaitsDone.load();
                    }
                    return screen;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return "";
    }
    std::string Answer(int value)
    {
        return Answer(value, [] {});
    }
    std::string Parked()
    {
        return Answer(0, [] {}, false);
    }

    bool Ended()
    {
        return zbtest::WaitUntil([] { return MainThread.load() == nullptr; }, std::chrono::milliseconds(5));
    }

    // No screen unit of the flow is left.
    static bool UnitsFreed()
    {
        return !GameMenu && !ConfigMenu && !ChapterUnit && !AvgUnit && !PopupWin && !MovieUnit && !BatonUnit;
    }

    std::string SaveFile() const { return Folder.Path() + "/ZBSys.sav"; }

    std::vector<std::string> Seen;
    std::string SavedSaveFolder;
    TMainThread* Taken = nullptr;
    uint32_t TakenAt = 0;
};

TEST_F(GameFlowTest, StoryRunsScenesMoviesAndTheMiniGameByResultsThenExitSaves)
{
    ASSERT_TRUE(StartGame());
    EXPECT_EQ(Answer(0), "title");  // Start
    // The prologue of a new game; steer the next scene to the second chapter.
    EXPECT_EQ(Answer(1,
                     [] {
                         EXPECT_EQ(GetGameEpisode(GameData), 0);
                         EXPECT_EQ(GetGameScene(GameData), 1);
                         EXPECT_FALSE(GetGameFlag(GameData, 511));
                         SetGameEpisode(GameData, 14);
                         SetGameScene(GameData, 2);
                         AvgUnit->ResultValue = 7;
                         BatonResult = 0;
                     }),
              "scene");
    EXPECT_EQ(Answer(0, [] { EXPECT_EQ(ScriptValue, 7); }), "movie");  // the chapter movie
    EXPECT_EQ(Answer(2,
                     [] {
                         EXPECT_EQ(BatonResult, 2);  // a chapter movie counts the mini-game passed
                         EXPECT_EQ(GetGamePhase(GameData), 2);
                         AvgUnit->ResultValue = 0;
                     }),
              "scene");
    EXPECT_EQ(Answer(0, [] { EXPECT_EQ(ScriptValue, 0); }), "baton");
    EXPECT_EQ(Answer(9, [] { EXPECT_EQ(GetGamePhase(GameData), 2); }), "scene");  // an ending: episode 14's movie
    EXPECT_EQ(Answer(0), "movie");
    // The ending leads to group 1; an unknown result goes back to the title.
    EXPECT_EQ(Answer(5, [] { EXPECT_EQ(GetGamePhase(GameData), 1); }), "scene");
    EXPECT_EQ(Answer(4, [this] { fs::remove(SaveFile()); }), "title");  // Exit
    ASSERT_TRUE(Ended());
    EXPECT_TRUE(fs::exists(SaveFile()));
    EXPECT_TRUE(UnitsFreed());
    RunPosted();
    EXPECT_FALSE(Form->Visible());
    EXPECT_EQ(Seen, (std::vector<std::string>{"title", "scene", "movie", "scene", "baton", "scene", "movie", "scene",
                                              "title"}));
}

TEST_F(GameFlowTest, EndingOutsideTheEpisodesPlaysNoMovieAndNoTriggerLeadsBackToTheTitle)
{
    ASSERT_TRUE(StartGame());
    Answer(0);
    Answer(9, [] {
        SetGameEpisode(GameData, 13);
        SetGameScene(GameData, 9);  // no scene has a trigger for this
    });
    Answer(0);  // straight back to the title: no movie, no scene
    Answer(16, [this] { fs::remove(SaveFile()); });  // a scene's quit ends the program
    ASSERT_TRUE(Ended());
    EXPECT_TRUE(UnitsFreed());
    EXPECT_TRUE(fs::exists(SaveFile()));
    EXPECT_EQ(Seen, (std::vector<std::string>{"title", "scene", "title", "scene"}));
}

TEST_F(GameFlowTest, ChapterSelectGalleryAndSettingsReturnToTheTitle)
{
    ASSERT_TRUE(StartGame());
    EXPECT_EQ(Answer(1), "title");     // Chapter
    EXPECT_EQ(Answer(0), "chapter4");  // episode 14
    EXPECT_EQ(Answer(-1), "chapter0"); // a back other than the list's: the episodes again
    EXPECT_EQ(Answer(0), "chapter4");
    EXPECT_EQ(Answer(-2), "chapter0"); // the list's back: straight to the title
    EXPECT_EQ(Answer(3), "title");     // Gallery
    EXPECT_EQ(Answer(0), "chapter3");
    EXPECT_EQ(Answer(0), "viewer");
    EXPECT_EQ(Answer(-1), "chapter3");
    EXPECT_EQ(Answer(2), "title");  // Settings; its exit clears the signal
    EXPECT_EQ(Answer(7), "config");
    EXPECT_EQ(Answer(5), "title");  // no button gives 5: the title comes again
    EXPECT_EQ(Answer(1), "title");
    EXPECT_EQ(Answer(0), "chapter4");  // episode 14
    EXPECT_EQ(Answer(1), "chapter0");  // its second chapter
    EXPECT_EQ(Answer(-1,
                     [] {
                         EXPECT_EQ(GetGameEpisode(GameData), 14);
                         EXPECT_EQ(GetGameScene(GameData), 2);
                         EXPECT_TRUE(GetGameFlag(GameData, 511));
                         EXPECT_FALSE(GetGameFlag(GameData, 510));
                         EXPECT_EQ(GetGamePhase(GameData), 1);
                     }),
              "scene");
    EXPECT_EQ(Answer(0), "title");
    EXPECT_EQ(Seen, (std::vector<std::string>{"title", "chapter4", "chapter0", "chapter4", "chapter0", "title",
                                              "chapter3", "viewer", "chapter3", "title", "config", "title", "title",
                                              "chapter4", "chapter0", "scene", "title"}));
}

TEST_F(GameFlowTest, EveryChapterOfTheSampleOpensTheSceneItsNameTells)
{
    // The places of the sample's story, as a player meets them once the scene's first message
    // stands: the background (its tens) and the weather (-1: either).
    struct TPlace {
        const char* Name;
        int Tens;
        int Weather;
    };
    const TPlace places[] = {{"潮見の町", 1, 0}, {"雨の坂道", 2, 1}, {"雪の灯台", 3, 2}, {"灯りの約束", 4, -1},
                             {"それから", 1, 0}};
    std::vector<std::string> names;
    std::ifstream in(std::string(ZB_SOURCE_DIR) + "/sample/chapters.txt");
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            names.push_back(line);
    ASSERT_EQ(names.size(), 4u) << "the sample's episode 14 has four chapters";
    ASSERT_TRUE(StartGame());
    for (size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        const TPlace* place = nullptr;
        for (const TPlace& p : places)
            if (names[i].find(p.Name) != std::string::npos)
                place = &p;
        ASSERT_NE(place, nullptr) << "a chapter name that tells no place of the story";
        ASSERT_EQ(Answer(1), "title");     // Chapter
        ASSERT_EQ(Answer(0), "chapter4");  // episode 14
        ASSERT_EQ(Answer(int(i)), "chapter0");
        int file = -1, weather = -1;
        const auto end = zbtest::HangDeadline();
        while (file < 0 && std::chrono::steady_clock::now() < end) {
            ASSERT_EQ(Answer(0,
                             [&] {
                                 // Between two frame passes (they hold the draw lock), the first
                                 // message waits for a click.
                                 TVeTryLock between(*Form->DrawLock);
                                 if (between && AvgUnit && AvgUnit->Phase == 9) {
                                     file = AvgUnit->BGFileNo;
                                     weather = AvgUnit->WeatherKind;
                                 }
                             },
                             false),
                      "scene");
            if (file < 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_EQ(file / 10, place->Tens) << "background " << file;
        if (place->Weather >= 0) {
            EXPECT_EQ(weather, place->Weather);
        }
        ASSERT_EQ(Answer(-1), "scene");  // back to the title
    }
    EXPECT_EQ(Answer(4, [this] { fs::remove(SaveFile()); }), "title");  // Exit
    ASSERT_TRUE(Ended());
}

TEST_F(GameFlowTest, ClosingAtAnyWaitEndsTheThreadAndFreesEveryScreen)
{
    // How many answers lead to the wait where the window closes: title, settings, chapter list,
    // scene, chapter movie, mini-game.
    const std::vector<std::vector<int>> roads{{}, {2}, {1, 0}, {0}, {0, 1}, {0, 2}};
    for (const auto& road : roads) {
        SCOPED_TRACE(road.size());
        ASSERT_TRUE(StartGame());
        for (int value : road)
            ASSERT_FALSE(Answer(value).empty());
        ASSERT_FALSE(Parked().empty());
        Form->Close();
        EXPECT_EQ(MainThread.load(), nullptr);
        EXPECT_TRUE(UnitsFreed());
        EXPECT_TRUE(fs::exists(SaveFile()));
        StopGame();
        fs::remove(SaveFile());
    }
    for (const std::string& line : LogLines())
        ADD_FAILURE() << line;
}

TEST_F(GameFlowTest, AScreenIsNeverRunOrDeletedUnderAWaitThreadPassBegunBeforeIt)
{
    // Shared with the form's threads, which may outlive this body when an assertion fails.
    struct THold {
        // Gates that park a pumping thread at the start of its next pass, before it tries the
        // draw lock: 1 armed, 2 parked, 0 open.
        std::atomic<int> WaitGate{0}, GameGate{0};
        // Armed (1), the game thread's next forced frame in the busy state that runs a drawing
        // hook fails: it announces itself (2) and throws once let go (0).
        std::atomic<int> FailGate{0};
        // The hooks (one bit per kind) in which the wait thread is held, once.
        std::atomic<int> HoldKinds{0};
        std::atomic<bool> Held{false}, DeletedUnderCall{false};
        std::function<TComponent*()> Unit;
        // Armed (1), the wait thread's next pass past its state check is held (2) until the
        // game thread has left the busy state and either waits for that pass or for its
        // screen's signal; let go (3) until it runs a frame procedure (0).
        std::atomic<int> PassGate{0};
        std::atomic<bool> SignalAwaitedBesidePass{false}, PassRanFrame{false};
    };
    auto hold = std::make_shared<THold>();
    auto until = [](auto done) { return zbtest::WaitUntil(done); };
    auto kind = [](TGameForm::THookKind k) { return 1 << k; };
    FormPumpWait = [this, hold, until](TFPSMode) {
        const bool onWaitThread = Form->WaitThread && Form->WaitThread->IsCurrent();
        std::atomic<int>& gate = onWaitThread ? hold->WaitGate : hold->GameGate;
        int armed = 1;
        if ((!onWaitThread || Form->GetState() == gsWait) && gate.compare_exchange_strong(armed, 2))
            until([&] { return gate.load() != 2; });
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
    };
    // Holds the wait thread in a screen's hook until the game thread has either deleted the
    // screen's unit or stands waiting for this pass to end. A deleted unit's hook is not called:
    // the pass fails instead.
    FormHookProbe = [this, hold, until, kind](TGameForm::THookKind k) {
        if (!Form->WaitThread || !Form->WaitThread->IsCurrent()) {
            if (k == TGameForm::hkLeaveWait) {
                // A gate armed for the busy state must catch the wait thread in it: a busy
                // machine can keep that thread from its first pass until the loading is done.
                until([&] { return hold->WaitGate.load() != 1 && hold->PassGate.load() != 1; });
                return;
            }
            int armed = 1;
            if (k == TGameForm::hkRedraw && Form->GetState() == gsWait &&
                hold->FailGate.compare_exchange_strong(armed, 2)) {
                until([&] { return hold->FailGate.load() != 2; });
                throw std::runtime_error("forced frame failed");
            }
            return;
        }
        if (k == TGameForm::hkPass) {
            int armed = 1;
            if (!hold->PassGate.compare_exchange_strong(armed, 2))
                return;
            TMainThread* game = MainThread.load();
            const auto passWaited = [&] { return Form->DrawLock->GetWaiting() > 0; };
            until([&] { return Form->GetState() != gsWait || passWaited(); });
            if (Form->GetState() == gsWait) {
                hold->PassGate = 1;  // still loading, the game thread needs this pass over: the next one
                return;
            }
            until([&] { return passWaited() || (game && game->Waiting.load()); });
            hold->SignalAwaitedBesidePass = game && game->Waiting.load();
            hold->PassGate = 3;
            return;
        }
        int let = 3;
        if (k == TGameForm::hkFrame && hold->PassGate.compare_exchange_strong(let, 0))
            hold->PassRanFrame = true;
        int kinds = hold->HoldKinds.load();
        if (!(kinds & kind(k)) || !hold->HoldKinds.compare_exchange_strong(kinds, 0))
            return;
        TComponent* unit = hold->Unit();
        hold->Held = true;
        auto gone = [&] { return hold->Unit() != unit || !MemMan->IsRecorded(unit); };
        until([&] { return gone() || Form->DrawLock->GetWaiting() > 0; });
        hold->DeletedUnderCall = gone();
        if (hold->DeletedUnderCall)
            throw std::runtime_error("the screen's unit was deleted under its hook");
    };
    auto reset = [&](std::function<TComponent*()> unit) {
        hold->Unit = std::move(unit);
        hold->Held = false;
        hold->DeletedUnderCall = false;
    };

    // The scene is loaded, and the mini-game set up, in the busy state, where the wait thread
    // pumps. Each road leads to the answer that starts that screen, parks the wait thread at its
    // first pass in the busy state, and ends the screen with a result that deletes its unit.
    struct TRoad {
        std::vector<int> Before;
        const char* Screen;
        std::function<TComponent*()> Unit;
        int End;
    };
    const TRoad roads[] = {{{}, "scene", [] { return static_cast<TComponent*>(AvgUnit); }, 5},
                           {{0}, "baton", [] { return static_cast<TComponent*>(BatonUnit); }, 0}};
    for (const TRoad& road : roads) {
        SCOPED_TRACE(road.Screen);
        reset(road.Unit);
        ASSERT_TRUE(StartGame());
        for (int value : road.Before)
            ASSERT_FALSE(Answer(value).empty());
        hold->WaitGate = 1;
        ASSERT_FALSE(Answer(road.Before.empty() ? 0 : 2).empty());  // Start, or the mini-game
        ASSERT_EQ(Parked(), road.Screen);
        ASSERT_TRUE(until([&] { return hold->WaitGate.load() == 2; }));
        // The game thread parks in its own next pass, so that the wait thread's pass, begun in
        // the busy state, is the one that runs the screen's frame procedure.
        hold->GameGate = 1;
        ASSERT_TRUE(until([&] { return hold->GameGate.load() == 2; }));
        hold->HoldKinds = kind(TGameForm::hkFrame);
        hold->WaitGate = 0;
        // That pass belongs to a state the wait thread no longer pumps: it must leave the screen
        // to the game thread and the wait thread go to rest, without entering the procedure.
        ASSERT_TRUE(until([&] { return hold->Held.load() || Form->WaitThread->Suspended(); }));
        EXPECT_FALSE(hold->Held.load());
        hold->HoldKinds = 0;
        Taken = MainThread.load();
        TakenAt = Taken->WaitsDone.load();
        Taken->SetSignal(road.End);
        hold->GameGate = 0;
        EXPECT_EQ(Answer(4), "title");  // no scene follows either in a new game's prologue: Exit
        ASSERT_TRUE(Ended());
        EXPECT_TRUE(UnitsFreed());
        StopGame();
    }

    {
        // A pass the wait thread began in the busy state, held past its state check while the
        // game thread shows the scene it loaded, goes on into the scene's frame procedure: the
        // game thread must wait for that pass before it reads the scene's state or waits for
        // its signal, or a first frame that ends the scene could signal before the wait and be lost.
        SCOPED_TRACE("pass in flight at the scene's start");
        reset([] { return static_cast<TComponent*>(AvgUnit); });
        ASSERT_TRUE(StartGame());
        ASSERT_EQ(Answer(0, [&] { hold->PassGate = 1; }), "title");  // Start, armed once the title is up
        ASSERT_TRUE(until([&] { return hold->PassGate.load() == 0; }));
        EXPECT_TRUE(hold->PassRanFrame.load());
        EXPECT_FALSE(hold->SignalAwaitedBesidePass.load());
        EXPECT_EQ(Answer(5), "scene");
        EXPECT_EQ(Answer(4), "title");  // Exit
        ASSERT_TRUE(Ended());
        EXPECT_TRUE(UnitsFreed());
        StopGame();
    }

    // A scene whose start fails in the busy state after its script has put in the drawing hooks
    // of its first transition (here the forced frame that shows it fails) is taken off while the
    // wait thread may still draw with those hooks: its unit must outlive that pass.
    SCOPED_TRACE("failed scene start");
    reset([] { return static_cast<TComponent*>(AvgUnit); });
    ASSERT_TRUE(StartGame());
    hold->WaitGate = 1;
    hold->FailGate = 1;
    ASSERT_EQ(Answer(0), "title");  // Start
    ASSERT_TRUE(until([&] { return hold->FailGate.load() == 2; }));
    {
        // The failure is logged on standard error before the scene is taken off: holding that
        // stream keeps the game thread there, the hooks still in, until the wait thread is in one.
        flockfile(stderr);
        struct TUnlock {
            ~TUnlock() { funlockfile(stderr); }
        } unlock;
        hold->HoldKinds = kind(TGameForm::hkDraw) | kind(TGameForm::hkRedraw);
        hold->FailGate = 0;
        hold->WaitGate = 0;
        ASSERT_TRUE(until([&] { return hold->Held.load(); }));
    }
    ASSERT_TRUE(Ended());
    EXPECT_FALSE(hold->DeletedUnderCall.load());
    EXPECT_TRUE(UnitsFreed());
    EXPECT_FALSE(LogLines().empty());  // the failure ends the game as an error
}

TEST_F(GameFlowTest, TitleThatCannotBeSetUpEndsTheGameWithoutHanging)
{
    ASSERT_FALSE(SampleGame().empty());
    StartForm(false);  // only the form's own pictures: the title's are missing
    ASSERT_TRUE(Ended());
    EXPECT_TRUE(UnitsFreed());
    RunPosted();
    EXPECT_FALSE(Form->Visible());
}

}  // namespace
