#include "scenario/Zbgamet.h"

#include <cstdio>
#include <utility>

#include "base/Vememman.h"
#include "game/Batonu.h"
#include "game/Gamef.h"
#include "game/Movieu.h"
#include "game/Pchapter.h"
#include "game/Pconfigmenu.h"
#include "game/Pmainmenu.h"
#include "game/Zbdata.h"
#include "game/Zbglobals.h"
#include "game/Zbsysfile.h"
#include "platform/Startuptrace.h"
#include "scenario/Avgu.h"
#include "scenario/Popupu.h"

namespace {

// Runs its action when the scope is left, by return or by exception; the action never throws
// out of the unwinding.
template <class F>
class TFinally {
public:
    explicit TFinally(F action) : FAction(std::move(action)) {}
    ~TFinally()
    {
        try {
            FAction();
        } catch (...) {
        }
    }
    TFinally(const TFinally&) = delete;
    TFinally& operator=(const TFinally&) = delete;

private:
    F FAction;
};

template <class T>
T* NewUnit()
{
    return MemMan ? MemMan->CreateVCL<T>() : nullptr;
}

template <class... T>
void DeleteUnits(T*&... units)
{
    (DeleteMade(MemMan, units), ...);
}

// Creates every unit through the registry; false, with none of them kept, when one cannot be made.
template <class... T>
bool NewUnits(T*&... units)
{
    ((units = NewUnit<T>()), ...);
    if ((units && ...))
        return true;
    DeleteUnits(units...);
    return false;
}


void Log(const char* line)
{
    if (ErrLog)
        ErrLog->Add(line);
}

int MovieQuality()
{
    return MesBoxConfig ? MesBoxConfig->MovieQuality : 1;
}

// Screen effects of the flow's transitions.
constexpr int FxTitle = 116;
constexpr int FxConfig = 111;
constexpr int FxChapter = 114;
constexpr int FxCut = 1;

// What the title screen signals.
enum : int { tsStart = 0, tsChapter = 1, tsConfig = 2, tsGallery = 3, tsExit = 4 };

// A scene's results.
enum : int { srNext = 0, srChapterMovie = 1, srBaton = 2, srOpening = 8, srEnding = 9, srQuit = 16 };

constexpr int ChapterBack = -2;  // the chapter list's back button: straight to the title
constexpr int FirstEpisode = 14;
constexpr int LastEpisode = 16;
constexpr int FlagFromChapter = 511;
constexpr int FlagRetried = 510;

}  // namespace

TMainThread* CreateGameThread()
{
    return new TZBGameThread();
}

TZBGameThread::TZBGameThread()
{
    SceneUnitsCreated = false;
    Leave = false;
    if (MesBoxConfig)
        ReadMesBoxIni(MesBoxConfig);
    LoadSysData();
}

void TZBGameThread::ClearSignal()
{
    SetSignal(0);
}

void TZBGameThread::Show(TVeRGBPanel* panel)
{
    if (GameForm && panel)
        GameForm->AttachScreen(panel);
    FShown = panel;
}

void TZBGameThread::Hide()
{
    if (GameForm && FShown)
        GameForm->DetachScreen(FShown);
    FShown = nullptr;
}

void TZBGameThread::Run()
{
    SignalValue.store(0);
    ChapterChosen = false;
    while (!Terminated()) {
        TitleMenu();
        switch (SignalValue.load()) {
        case tsStart:
            NewGame();
            break;
        case tsChapter:
            ChapterStart();
            break;
        case tsExit:
            SaveSysData();
            StopBGM(false);
            GameQuit();
        default:
            break;
        }
        SaveSysData();
    }
    StopBGM(false);
}

void TZBGameThread::GameEnded()
{
    SaveSysData();
}

void TZBGameThread::TitleMenu()
{
    FadeOut(0);
    BeginWait();
    if (!NewUnits(GameMenu, ConfigMenu, ChapterUnit)) {
        Log("TitleCreate Error");
        GameAbort();
    }
    TFinally release([this] {
        TakeOffScreen();
        GameMenu->Release();
        ConfigMenu->SetOnExit(nullptr);
        ConfigMenu->Release();
        ChapterUnit->ReleaseResources();
        DeleteUnits(GameMenu, ConfigMenu, ChapterUnit);
    });

    if (!GameMenu->Setup(PackFileMan))
        GameAbort();
    ConfigMenu->SetOnExit([this] { ClearSignal(); });
    if (!ConfigMenu->Setup(PackFileMan) || !ChapterUnit->CreateResources(PackFileMan))
        GameAbort();

    GameMenu->UpdateButtons();
    PlayBGM(1, true, true);
    TVeRGBPanel* title = GameMenu->MainMenuPanel;
    TVeRGBPanel* chapter = ChapterUnit->MenuPanel;
    StartupTrace::Mark("title");
    auto episodes = [] { ChapterUnit->SetMode(TChapterUnit::cmEpisodeSelect); };
    SwitchTo(FxTitle, title);

    for (;;) {
        Leave = false;
        const int select = AwaitSignal();
        if (select == tsConfig) {
            SwitchTo(FxConfig, ConfigMenu->ConfigPanel);
            AwaitSignal();
            if (MesBoxConfig)
                WriteMesBoxIni(MesBoxConfig);
            SwitchTo(FxConfig, title);
            continue;
        }
        if (select == tsStart) {
            ClearGameData(GameData);
            SignalValue.store(0);
            break;
        }
        if (select == tsChapter) {
            SwitchTo(FxChapter, chapter, episodes);
            for (int v = AwaitSignal(); v >= 0; v = AwaitSignal()) {
                ChosenEpisode = v + FirstEpisode;
                SwitchTo(FxCut, chapter, [v] { ChapterUnit->SetMode(v); });
                const int w = AwaitSignal();
                if (w == ChapterBack) {
                    Leave = true;
                    Hide();
                    break;
                }
                if (w >= 0) {
                    ChosenScene = w + 1;
                    ClearGameData(GameData);
                    SignalValue.store(tsChapter);
                    ChapterChosen = true;
                    Hide();
                    break;
                }
                SwitchTo(FxCut, chapter, episodes);
            }
            if (ChapterChosen)
                break;
            SwitchTo(FxChapter, title);  // detaches the chapter panel unless the back button did
            continue;
        }
        if (select == tsGallery) {
            ChapterUnit->SetMode(TChapterUnit::cmGallery);
            SwitchTo(FxChapter, chapter);
            for (int v = AwaitSignal(); v >= 0; v = AwaitSignal()) {
                ChapterUnit->OpenViewer(v);
                SwitchTo(FxCut, ChapterUnit->ViewerPanel);
                AwaitSignal();
                SwitchTo(FxCut, chapter);
            }
            SwitchTo(FxChapter, title);
            continue;
        }
        break;  // Exit, or a value no button gives
    }
    Hide();
    ChapterChosen = false;
}

void TZBGameThread::NewGame()
{
    StartStory(false, 0, 1);
}

void TZBGameThread::ChapterStart()
{
    StartStory(true, ChosenEpisode, ChosenScene);
}

void TZBGameThread::StartStory(bool fromChapter, int episode, int scene)
{
    StopBGM(true);
    FadeOut(FxChapter);
    BeginWait();
    CreateSceneUnits();
    TFinally remove([this] { DeleteSceneUnits(); });
    SetGameFlag(GameData, FlagFromChapter, fromChapter);
    SetGameFlag(GameData, FlagRetried, false);
    SetGameEpisode(GameData, episode);
    SetGameScene(GameData, scene);
    SetGamePhase(GameData, 1);
    ScriptIndex = -1;
    StoryStep = 0;
    StoryLoop();
}

void TZBGameThread::StoryLoop()
{
    while (!Terminated() && !Leave) {
        const int quality = MovieQuality();
        switch (StoryStep) {
        case 0:
            RunScene();
            continue;
        case 1:
            PlayMovie(StoryMovieName("ZBCH", quality));
            BatonResult = 2;
            SetGamePhase(GameData, 2);
            break;
        case 2:
            RunBaton();
            SetGamePhase(GameData, 2);
            break;
        case 3:
            PlayMovie(StoryMovieName("ZBOP", quality));
            SetGamePhase(GameData, 1);
            break;
        case 4: {
            const int episode = GetGameEpisode(GameData);
            if (episode >= FirstEpisode && episode <= LastEpisode) {
                char stem[16];
                std::snprintf(stem, sizeof stem, "ZBED%02d", episode);
                PlayMovie(StoryMovieName(stem, quality));
            }
            SetGamePhase(GameData, 1);
            break;
        }
        default:
            Leave = true;
            continue;
        }
        StoryStep = 0;
        ScriptIndex = -1;
        StopBGM(true);
    }
}

void TZBGameThread::CreateSceneUnits()
{
    if (SceneUnitsCreated)
        return;
    if (!NewUnits(AvgUnit, ConfigMenu, PopupWin))
        GameAbort();
    // From here a failed set-up releases and deletes the three like a finished story.
    SceneUnitsCreated = true;
    AvgUnit->Host.ConfigPanel = ConfigMenu->ConfigPanel;
    bool ready = AvgUnit->InitScenario(PackFileMan) && AvgUnit->CreateResources() &&
                 ConfigMenu->Setup(PackFileMan) && PopupWin->Setup(PackFileMan);
    if (!ready) {
        DeleteSceneUnits();
        GameAbort();
    }
    if (MesBoxConfig) {
        PopupWin->SetMesBoxColor(MesBoxConfig->BoxColor.ToDWORD() & 0xFFFFFF);
        PopupWin->SetMesWinType(MesBoxConfig->MesBoxType);
    }
}

void TZBGameThread::DeleteSceneUnits()
{
    if (!SceneUnitsCreated)
        return;
    SceneUnitsCreated = false;
    AvgUnit->ReleaseResources();
    AvgUnit->FreeScenario();
    ConfigMenu->SetOnExit(nullptr);
    ConfigMenu->Release();
    PopupWin->Release();
    DeleteUnits(AvgUnit, ConfigMenu, PopupWin);
}

void TZBGameThread::RunScene()
{
    if (ScriptIndex < 0) {
        AvgUnit->SetTriggerGroup(GetGamePhase(GameData));
        int index = -1;
        uint32_t entry = 0;
        bool found = false;
        while (AvgUnit->FindTrigger(index, entry)) {
            if (AvgUnit->TestTrigger(index, entry)) {
                found = true;
                break;
            }
        }
        if (!found) {
            Leave = true;
            StoryStep = -1;
            return;
        }
        ScriptIndex = index;
        TriggerEntry = static_cast<int>(entry);
    }

    ConfigMenu->SetOnExit([] {
        if (AvgUnit)
            AvgUnit->ConfigChanged();
    });
    AvgUnit->AttachPopup();
    // However the scene is left, also by an exception (the window closed mid-scene), it comes
    // off the screen and out of the frame loop before DeleteSceneUnits deletes it: its frame
    // procedure and the drawing hooks of a transition it was running, once no pass still runs
    // them (the wait thread may have begun one while the script started).
    TFinally unhook([this] {
        TakeOffScreen();
        ConfigMenu->SetOnExit(nullptr);
        AvgUnit->DetachPopup();
    });
    AvgUnit->StartScript(ScriptIndex, static_cast<uint32_t>(TriggerEntry));
    TAvgUnit* unit = AvgUnit;
    ShowScreen(AvgUnit->AvgPanel, [unit](int steps) { unit->FrameUpdate(steps); }, &TGameForm::BeginState4);
    if (AvgUnit->IsHalted())
        SignalValue.store(AvgUnit->Result);  // ended at its start, maybe without a signal
    else
        WaitSignal();

    if (GameForm)
        GameForm->SetCursorType(0);
    const int result = SignalValue.load();
    switch (result) {
    case srNext:
        SetGamePhase(GameData, 1);
        StoryStep = 0;
        break;
    case srChapterMovie:
        ScriptValue = AvgUnit->ResultValue;
        StoryStep = 1;
        break;
    case srBaton:
        StopAllSound(true);
        ScriptValue = AvgUnit->ResultValue;
        StoryStep = 2;
        break;
    case srOpening:
        StopAllSound(true);
        StoryStep = 3;
        break;
    case srEnding:
        StopAllSound(true);
        StoryStep = 4;
        break;
    case srQuit:
        StopAllSound(true);
        GameQuit();
    default:
        StopAllSound(true);
        Leave = true;
        break;
    }

    SaveSysData();
    ScriptIndex = -1;
}

void TZBGameThread::ShowScreen(TVeRGBPanel* panel, std::function<void(int)> frameProc, void (TGameForm::*begin)())
{
    Show(panel);
    if (GameForm) {
        GameForm->SetFrameProc(std::move(frameProc));
        (GameForm->*begin)();
        GameForm->ResetFrameCounters();
        // A wait-thread pass begun before may be running the frame procedure: the caller reads
        // the screen's state and starts it next, and a signal sent meanwhile would be lost.
        AwaitFramePass();
    }
}

void TZBGameThread::TakeOffScreen()
{
    RemoveScreen(FShown);
    FShown = nullptr;
}

void TZBGameThread::PlayScreen(int cursor, TVeRGBPanel* panel, std::function<void(int)> frameProc,
                               void (TGameForm::*begin)(), const std::function<void()>& start)
{
    if (GameForm)
        GameForm->SetCursorType(cursor);
    ShowScreen(panel, std::move(frameProc), begin);
    start();
    WaitSignal();
    TakeOffScreen();
    if (GameForm)
        GameForm->SetCursorType(0);
}

template <class T>
bool TZBGameThread::CreateMovieScreen(T*& unit, const char* failure)
{
    if (!NewUnits(unit))
        GameAbort();
    if (unit->CreateResources(PackFileMan))
        return true;
    Log(failure);
    return false;
}

template <class T>
void TZBGameThread::DeleteMovieScreen(T*& unit)
{
    TakeOffScreen();
    if (!unit)
        return;
    unit->CloseMovie();
    unit->ReleaseResources();
    DeleteMade(MemMan, unit);
}

void TZBGameThread::PlayMovie(const std::string& name)
{
    FadeColor(0);
    TFinally remove([this] { DeleteMovieScreen(MovieUnit); });
    if (!CreateMovieScreen(MovieUnit, "MovieUnit Not Create.") || !MovieUnit->OpenMovie(name))
        return;
    TMovieUnit* unit = MovieUnit;
    // The movie's end or a click signals.
    PlayScreen(-1, unit->MoviePanel, [unit](int steps) { unit->Update(steps); }, &TGameForm::BeginPlay,
               [unit] { unit->Play(); });
}

void TZBGameThread::RunBaton()
{
    StopBGM(true);
    FadeOut(0);
    BeginWait();
    TFinally remove([this] { DeleteMovieScreen(BatonUnit); });
    if (!CreateMovieScreen(BatonUnit, "BatonUnit Not Create."))
        return;
    BatonUnit->OpenMovie(BatonMovieName(MovieQuality()));
    TBatonUnit* unit = BatonUnit;
    FadeIn(FxCut, unit->BatonPanel);
    PlayScreen(1, unit->BatonPanel, [unit](int steps) { unit->FrameUpdate(steps); }, &TGameForm::BeginState3,
               [unit] { unit->Start(); });
}

void TZBGameThread::SwitchTo(int effect, TVeRGBPanel* panel, const std::function<void()>& prepare)
{
    Hide();
    if (prepare)
        prepare();
    FadeIn(effect, panel);
    Show(panel);
}

int TZBGameThread::AwaitSignal()
{
    BeginPlay();
    WaitSignal();
    return SignalValue.load();
}
