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

template <class T>
void DeleteUnit(T*& unit)
{
    if (!unit)
        return;
    if (MemMan && MemMan->IsRecorded(unit)) {
        MemMan->Delete(unit);
    } else {
        delete unit;
        unit = nullptr;
    }
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
    GameMenu = NewUnit<TGameMenu>();
    ConfigMenu = NewUnit<TConfigMenu>();
    ChapterUnit = NewUnit<TChapterUnit>();
    if (!GameMenu || !ConfigMenu || !ChapterUnit) {
        DeleteUnit(GameMenu);
        DeleteUnit(ConfigMenu);
        DeleteUnit(ChapterUnit);
        Log("TitleCreate Error");
        GameAbort();
    }
    TFinally release([this] {
        Hide();
        GameMenu->Release();
        ConfigMenu->SetOnExit(nullptr);
        ConfigMenu->Release();
        ChapterUnit->ReleaseResources();
        DeleteUnit(GameMenu);
        DeleteUnit(ConfigMenu);
        DeleteUnit(ChapterUnit);
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
    FadeIn(FxTitle, title);
    Show(title);

    for (;;) {
        Leave = false;
        BeginPlay();
        WaitSignal();
        const int select = SignalValue.load();
        if (select == tsConfig) {
            Hide();
            FadeIn(FxConfig, ConfigMenu->ConfigPanel);
            Show(ConfigMenu->ConfigPanel);
            BeginPlay();
            WaitSignal();
            if (MesBoxConfig)
                WriteMesBoxIni(MesBoxConfig);
            Hide();
            FadeIn(FxConfig, title);
            Show(title);
            continue;
        }
        if (select == tsStart) {
            ClearGameData(GameData);
            SignalValue.store(0);
            break;
        }
        if (select == tsChapter) {
            Hide();
            ChapterUnit->SetMode(TChapterUnit::cmEpisodeSelect);
            FadeIn(FxChapter, chapter);
            Show(chapter);
            for (;;) {
                BeginPlay();
                WaitSignal();
                const int v = SignalValue.load();
                if (v < 0)
                    break;
                ChosenEpisode = v + FirstEpisode;
                Hide();
                ChapterUnit->SetMode(v);
                FadeIn(FxCut, chapter);
                Show(chapter);
                BeginPlay();
                WaitSignal();
                const int w = SignalValue.load();
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
                Hide();
                ChapterUnit->SetMode(TChapterUnit::cmEpisodeSelect);
                FadeIn(FxCut, chapter);
                Show(chapter);
            }
            if (ChapterChosen)
                break;
            if (!Leave)
                Hide();
            FadeIn(FxChapter, title);
            Show(title);
            continue;
        }
        if (select == tsGallery) {
            ChapterUnit->SetMode(TChapterUnit::cmGallery);
            Hide();
            FadeIn(FxChapter, chapter);
            Show(chapter);
            for (;;) {
                BeginPlay();
                WaitSignal();
                const int v = SignalValue.load();
                if (v < 0) {
                    Hide();
                    FadeIn(FxChapter, title);
                    Show(title);
                    break;
                }
                ChapterUnit->OpenViewer(v);
                Hide();
                FadeIn(FxCut, ChapterUnit->ViewerPanel);
                Show(ChapterUnit->ViewerPanel);
                BeginPlay();
                WaitSignal();
                Hide();
                FadeIn(FxCut, chapter);
                Show(chapter);
            }
            continue;
        }
        break;  // Exit, or a value no button gives
    }
    Hide();
    ChapterChosen = false;
}

void TZBGameThread::NewGame()
{
    StopBGM(true);
    FadeOut(FxChapter);
    BeginWait();
    CreateSceneUnits();
    TFinally remove([this] { DeleteSceneUnits(); });
    SetGameFlag(GameData, FlagFromChapter, false);
    SetGameFlag(GameData, FlagRetried, false);
    SetGameEpisode(GameData, 0);
    SetGameScene(GameData, 1);
    StartStory();
}

void TZBGameThread::ChapterStart()
{
    StopBGM(true);
    FadeOut(FxChapter);
    BeginWait();
    CreateSceneUnits();
    TFinally remove([this] { DeleteSceneUnits(); });
    SetGameFlag(GameData, FlagFromChapter, true);
    SetGameFlag(GameData, FlagRetried, false);
    SetGameEpisode(GameData, ChosenEpisode);
    SetGameScene(GameData, ChosenScene);
    StartStory();
}

void TZBGameThread::StartStory()
{
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
    AvgUnit = NewUnit<TAvgUnit>();
    ConfigMenu = NewUnit<TConfigMenu>();
    PopupWin = NewUnit<TPopupWin>();
    if (!AvgUnit || !ConfigMenu || !PopupWin) {
        DeleteUnit(AvgUnit);
        DeleteUnit(ConfigMenu);
        DeleteUnit(PopupWin);
        GameAbort();
    }
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
    DeleteUnit(AvgUnit);
    DeleteUnit(ConfigMenu);
    DeleteUnit(PopupWin);
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
    // Left by an exception (the window closed mid-scene), the scene comes off the screen and
    // out of the frame loop before DeleteSceneUnits deletes it.
    bool done = false;
    TFinally unhook([this, &done] {
        if (done)
            return;
        UnhookScene();
        Hide();
        ConfigMenu->SetOnExit(nullptr);
        AvgUnit->DetachPopup();
    });
    AvgUnit->StartScript(ScriptIndex, static_cast<uint32_t>(TriggerEntry));
    Show(AvgUnit->AvgPanel);
    if (GameForm) {
        TAvgUnit* unit = AvgUnit;
        GameForm->SetFrameProc([unit](int steps) { unit->FrameUpdate(steps); });
        GameForm->BeginState4();
        GameForm->ResetFrameCounters();
    }
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
    done = true;
    UnhookScene();
    Hide();
    ConfigMenu->SetOnExit(nullptr);
    AvgUnit->DetachPopup();
    ScriptIndex = -1;
}

void TZBGameThread::UnhookScene()
{
    if (!GameForm)
        return;
    GameForm->SetFrameProc(nullptr);
    // A scene ended (or closed) in the middle of one of its transitions still has its drawing
    // hooks on the form; the wait picture would call them after the unit is gone.
    GameForm->SetRedrawProc(nullptr);
    GameForm->SetDrawProc(nullptr);
}

void TZBGameThread::PlayMovie(const std::string& name)
{
    FadeColor(0);
    MovieUnit = NewUnit<TMovieUnit>();
    if (!MovieUnit)
        GameAbort();
    TFinally remove([this] {
        if (GameForm)
            GameForm->SetFrameProc(nullptr);
        Hide();
        MovieUnit->CloseMovie();
        MovieUnit->ReleaseResources();
        DeleteUnit(MovieUnit);
    });
    if (!MovieUnit->CreateResources(PackFileMan)) {
        Log("MovieUnit Not Create.");
        return;
    }
    if (!MovieUnit->OpenMovie(name))
        return;
    if (GameForm)
        GameForm->SetCursorType(-1);
    Show(MovieUnit->MoviePanel);
    if (GameForm) {
        TMovieUnit* unit = MovieUnit;
        GameForm->SetFrameProc([unit](int steps) { unit->Update(steps); });
        GameForm->BeginPlay();
        GameForm->ResetFrameCounters();
    }
    MovieUnit->Play();
    WaitSignal();
    if (GameForm)
        GameForm->SetFrameProc(nullptr);
    Hide();
    if (GameForm)
        GameForm->SetCursorType(0);
}

void TZBGameThread::RunBaton()
{
    StopBGM(true);
    FadeOut(0);
    BeginWait();
    BatonUnit = NewUnit<TBatonUnit>();
    if (!BatonUnit)
        GameAbort();
    TFinally remove([this] {
        if (GameForm)
            GameForm->SetFrameProc(nullptr);
        Hide();
        BatonUnit->CloseMovie();
        BatonUnit->ReleaseResources();
        DeleteUnit(BatonUnit);
    });
    if (!BatonUnit->CreateResources(PackFileMan)) {
        Log("BatonUnit Not Create.");
        return;
    }
    BatonUnit->OpenMovie(BatonMovieName(MovieQuality()));
    FadeIn(FxCut, BatonUnit->BatonPanel);
    if (GameForm)
        GameForm->SetCursorType(1);
    Show(BatonUnit->BatonPanel);
    if (GameForm) {
        TBatonUnit* unit = BatonUnit;
        GameForm->SetFrameProc([unit](int steps) { unit->FrameUpdate(steps); });
        GameForm->BeginState3();
        GameForm->ResetFrameCounters();
    }
    BatonUnit->Start();
    WaitSignal();
    if (GameForm)
        GameForm->SetFrameProc(nullptr);
    Hide();
    if (GameForm)
        GameForm->SetCursorType(0);
}
