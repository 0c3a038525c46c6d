#include "game/Batonu.h"

#include <algorithm>
#include <cstdio>

#include "archive/Vefileman.h"
#include "base/Vealpha.h"
#include "base/Vecsvread.h"
#include "base/Vememman.h"
#include "base/Vergbbits.h"
#include "game/Gamef.h"
#include "game/Maint.h"
#include "game/Movieu.h"
#include "game/Movieuconst.h"
#include "game/Zbdata.h"
#include "game/Zbfunc.h"
#include "game/Zbglobals.h"
#include "media/Vedsound.h"
#include "media/Vemovie.h"

TBatonUnit* BatonUnit = nullptr;

namespace {

constexpr int RetryFlag = 510;
constexpr int TicksPerSecond = 30;
constexpr int32_t PromptVoice = 32;

template <class T>
T* Make(TComponent* fallbackOwner)
{
    if (MemMan)
        return MemMan->CreateVCL<T>();
    return new T(fallbackOwner);
}

void Log(const char* line)
{
    if (ErrLog)
        ErrLog->Add(line);
}

// A panel of a strip image under parent; the gauge, marks and prompt take no mouse input.
void SetupPanel(TVeRGBPanel* panel, TVeRGBPanel* parent, int blocks, TVeRGBBits* image, TVeAlpha* alpha)
{
    panel->SetMouseControl(false);
    panel->SetParent(parent);
    panel->SetNumBlock(blocks);  // first: the image sizes the panel to one block
    panel->SetImage(image);
    if (alpha) {
        panel->SetAlpha(alpha);
        panel->SetMaskMode(mmAlphaMask);
    }
}

DirectX::TDSoundBuffer* LoadSound(TFileMan* files, const char* name)
{
    DirectX::TDSoundBuffer* buffer = GameForm ? GameForm->LoadSound(files, name) : nullptr;
    if (buffer)
        buffer->SetVolume(VolumeToAttenuation(GameForm->GetVolumeSE()));
    return buffer;
}

bool SoundDeviceUp()
{
    return GameForm && GameForm->DSound && GameForm->DSound->GetEnabled();
}

}  // namespace

TBatonUnit::TBatonUnit(TComponent* Owner) : TComponent(Owner)
{
    BatonPanel = new TVeRGBPanel(this);
    BatonPanel->SetSizeX(640);
    BatonPanel->SetSizeY(480);
    BatonPanel->SetKeyControl(true);
    BatonPanel->OnClick = [this](TObject* sender) { BatonPanelClick(sender); };
    BatonPanel->OnKeyDown = [this](TObject* sender, Word& key, TShiftState shift) {
        BatonPanelKeyDown(sender, key, shift);
    };
}

TBatonUnit::~TBatonUnit()
{
    if (MovieOpen || Stream)
        CloseMovie();
    if (ResourcesMade)
        ReleaseResources();
    if (BatonUnit == this)
        BatonUnit = nullptr;
}

bool TBatonUnit::CreateResources(TFileMan* fileMan)
{
    FileMan = fileMan;
    ResourcesMade = true;  // so that a failure below releases what was made
    auto fail = [this] {
        ReleaseResources();
        return false;
    };
    auto load = [&](TVeRGBBits*& image, TVeAlpha** alpha, const char* name) {
        image = Make<TVeRGBBits>(this);
        if (alpha)
            *alpha = Make<TVeAlpha>(this);
        if (!image || (alpha && !*alpha))
            return false;
        image->SetBitDepth(BitDepth);
        return DrawImageFile(image, alpha ? *alpha : nullptr, name, 0, 0, fileMan) && image->Created();
    };
    if (!load(FrameImage, &FrameAlpha, BatonFrameFile) || !load(PointImage, &PointAlpha, BatonPointFile) ||
        !load(MarkImage, &MarkAlpha, BatonMarkImageFile) || !load(WaitImage, nullptr, BatonWaitFile))
        return fail();

    PointPanel = Make<TVeRGBPanel>(this);
    FramePanel = Make<TVeRGBPanel>(this);
    for (TVeRGBPanel*& mark : MarkPanel)
        mark = Make<TVeRGBPanel>(this);
    WaitPanel = Make<TVeRGBPanel>(this);
    if (!PointPanel || !FramePanel || !WaitPanel || std::count(MarkPanel, MarkPanel + SlotCount, nullptr) > 0)
        return fail();
    SetupPanel(PointPanel, BatonPanel, 2, PointImage, PointAlpha);
    PointPanel->SetOffsetX(53);
    PointPanel->SetOffsetY(420);
    PointPanel->OnDraw = [this](TObject* sender, TVeRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy) {
        return PointPanelDraw(sender, dest, x, y, sx, sy, dx, dy);
    };
    SetupPanel(FramePanel, BatonPanel, 2, FrameImage, FrameAlpha);
    FramePanel->SetOffsetX(0);
    FramePanel->SetOffsetY(406);
    for (TVeRGBPanel* mark : MarkPanel) {
        SetupPanel(mark, BatonPanel, 18, MarkImage, MarkAlpha);
        mark->SetVisible(false);
    }
    SetupPanel(WaitPanel, BatonPanel, 13, WaitImage, nullptr);
    WaitPanel->SetOffsetX((640 - WaitPanel->SizeX()) / 2);
    WaitPanel->SetOffsetY((480 - WaitPanel->SizeY()) / 2);
    WaitPanel->SetVisible(false);
    BatonPanel->AllCreate();

    Surface = CreateScreenSurface();
    if (!Surface)
        return fail();
    BatonPanel->SetImage(Surface);

    OKSound = LoadSound(fileMan, BatonOKSound);
    ErrSound = LoadSound(fileMan, BatonErrSound);
    // Without a sound device the game plays on silently, as every other sound does.
    if ((!OKSound || !ErrSound) && SoundDeviceUp()) {
        Log(LogBatonSound);
        return fail();
    }
    return true;
}

void TBatonUnit::ReleaseResources()
{
    if (!ResourcesMade)
        return;
    BatonPanel->AllRelease();
    BatonPanel->SetImage(nullptr);
    for (DirectX::TDSoundBuffer** sound : {&OKSound, &ErrSound}) {
        if (*sound)
            (*sound)->Stop();
        DeleteMade(MemMan, *sound);
    }
    DeleteMade(MemMan, FrameImage);
    DeleteMade(MemMan, FrameAlpha);
    DeleteMade(MemMan, PointImage);
    DeleteMade(MemMan, PointAlpha);
    DeleteMade(MemMan, MarkImage);
    DeleteMade(MemMan, MarkAlpha);
    DeleteMade(MemMan, WaitImage);
    DeleteMade(MemMan, Surface);
    DeleteMade(MemMan, FramePanel);
    DeleteMade(MemMan, PointPanel);
    for (TVeRGBPanel*& mark : MarkPanel)
        DeleteMade(MemMan, mark);
    DeleteMade(MemMan, WaitPanel);
    ResourcesMade = false;
}

bool TBatonUnit::OpenMovie(const std::string& name)
{
    if (MovieOpen || Stream)
        CloseMovie();
    if (!OpenScreenMovie(name, Stream) || !LoadMarks()) {
        // Never ran, so nothing to stop: only freed.
        CloseScreenMovie(Stream, false);
        return false;
    }
    Score = StartScore;
    UpdateScore();
    Retries = 0;
    MovieOpen = true;
    return true;
}

bool TBatonUnit::LoadMarks()
{
    char name[32];
    std::snprintf(name, sizeof name, BatonMarkFile, static_cast<int>(ScriptValue));
    TStream* stream = OpenDataFile(FileMan, name);
    if (!stream) {
        Log(LogMarkOpen);
        return false;
    }
    TVeCsvRead csv;
    bool ok = csv.Read(stream) && csv.GetSizeX() >= 3 && csv.GetSizeY() >= 2;
    FileMan->Close(stream);
    if (!ok) {
        Log(LogMarkRead);
        return false;
    }
    StartScore = csv.GetValue(0, 0);
    // Places far off the screen are pulled in to +-8192: no mark there can be reached anyway,
    // and the distance arithmetic stays well inside 64 bits. A row earlier than the mark before
    // it (out of order, or unreadable text that reads as 0) is skipped: the marks leave the
    // ring in table order, so such a row would hold up every mark after it.
    auto place = [](int32_t v) { return std::clamp<int32_t>(v, -8192, 8192); };
    const int rows = std::min(csv.GetSizeY() - 1, MaxMarks);
    MarkCount = 0;
    for (int row = 1; row <= rows; ++row) {
        TBatonMark mark{csv.GetValue(0, row), place(csv.GetValue(1, row)), place(csv.GetValue(2, row))};
        if (MarkCount > 0 && mark.Time < Marks[MarkCount - 1].Time)
            continue;
        Marks[MarkCount++] = mark;
    }
    return true;
}

void TBatonUnit::CloseMovie()
{
    CloseScreenMovie(Stream, MovieOpen);
    MovieOpen = false;
}

void TBatonUnit::Start()
{
    if (!MovieOpen) {
        // The game flow waits for a signal even when the movie did not open.
        BatonResult = 0;
        State = bsFinished;
        GiveUpPending = true;
        return;
    }
    State = bsReady;
    Score = Retries >= 12 ? MaxScore : StartScore;
    UpdateScore();
    HideMarks();
    FirstMark = 0;
    FirstSlot = 0;
    if (Surface)
        Surface->Cls();
    BatonPanel->SetModify();
    if (WaitPanel) {
        WaitPanel->SetBlockIndex(0);
        WaitPanel->SetVisible(true);
    }
    TickCount = 0;
}

void TBatonUnit::HideMarks()
{
    for (int slot = 0; slot < SlotCount; ++slot) {
        SlotState[slot] = dsHidden;
        if (MarkPanel[slot])
            MarkPanel[slot]->SetVisible(false);
    }
}

void TBatonUnit::FrameUpdate(int steps)
{
    if (!MovieOpen) {
        if (GiveUpPending) {
            GiveUpPending = false;
            GiveUp();
        }
        return;
    }
    switch (State) {
    case bsReady: {
        int32_t before = TickCount;
        TickCount += steps;
        if (before < 30 && TickCount >= 30 && WaitPanel)
            WaitPanel->SetBlockIndex(1);
        if (TickCount >= 45)
            StartPlaying();
        break;
    }
    case bsRetry:
        RetryStep(steps);
        break;
    case bsPlaying:
        PlayStep(steps);
        break;
    default:
        break;
    }
}

void TBatonUnit::StartPlaying()
{
    State = bsPlaying;
    if (WaitPanel)
        WaitPanel->SetVisible(false);
    PrevTime = 0;
    ReadPointer(PrevX, PrevY);
    // Rewinds to time 0 and runs; the first picture is asked for by the next frame.
    if (!PlayScreenMovie(Stream))
        GiveUp();
}

void TBatonUnit::RetryStep(int steps)
{
    int32_t s0 = TickCount / TicksPerSecond;
    TickCount += steps;
    int32_t s = TickCount / TicksPerSecond;
    if (s == s0)
        return;
    if (s >= 2 && s <= 11) {
        if (WaitPanel)
            WaitPanel->SetBlockIndex(s + 1);
        if (GameForm)
            GameForm->PlayVoiceNo(s + 31);
    } else if (s >= 12) {
        BatonResult = 0;
        State = bsFinished;
        MainThreadSignal(0);
    }
}

void TBatonUnit::ReadPointer(int32_t& x, int32_t& y)
{
    int px = 0, py = 0;
    if (GameForm && GameForm->Display() && GameForm->Display()->CursorPos(px, py)) {
        x = std::clamp(px, -8192, 8192);
        y = std::clamp(py, -8192, 8192);
    }
}

void TBatonUnit::PlayStep(int steps)
{
    int64_t time = Stream->Time();
    TMovieUpdate result = Stream->Update(Surface);
    if (result.NewPicture)
        DrawMovieFrame();
    NoteScreenMovieEnd(Stream, result);
    if (result.Ended) {
        Finish();
        return;
    }
    if (result.Failed) {
        GiveUp();
        return;
    }
    int32_t now = static_cast<int32_t>(std::clamp<int64_t>(time, INT32_MIN, INT32_MAX));
    int32_t mx = PrevX, my = PrevY;
    ReadPointer(mx, my);
    TraceMarks(steps, now, mx, my);
    PrevTime = now;
    PrevX = mx;
    PrevY = my;
}

void TBatonUnit::DrawMovieFrame()
{
    // The decoder has already written the picture, stretched to the whole surface.
    BatonPanel->SetModify();
}

void TBatonUnit::Finish()
{
    if (Score >= PassScore) {
        BatonResult = Retries == 0 ? 2 : 1;
        State = bsFinished;
        MainThreadSignal(0);
        return;
    }
    HideMarks();
    if (Surface)
        Surface->BoxFill(0, 0, 639, 479, 0xFFFFFF);
    BatonPanel->SetModify();
    if (WaitPanel) {
        WaitPanel->SetBlockIndex(2);
        WaitPanel->SetVisible(true);
    }
    TickCount = 0;
    State = bsRetry;
    if (GameForm)
        GameForm->PlayVoiceNo(PromptVoice);
}

void TBatonUnit::GiveUp()
{
    BatonResult = 0;
    State = bsFinished;
    MainThreadSignal(0);
}

void TBatonUnit::Retry()
{
    ++Retries;
    SetGameFlag(GameData, RetryFlag, true);
    if (GameForm)
        GameForm->PlaySE(BatonRetrySound, FileMan);
    if (WaitPanel)
        WaitPanel->SetVisible(false);
    Start();
}

void TBatonUnit::UpdateScore()
{
    if (!ResourcesMade || !FramePanel || !PointPanel)
        return;
    FramePanel->SetBlockIndex(Score < PassScore ? 0 : 1);
    PointPanel->SetBlockIndex(Score != 0 ? 1 : 0);
    PointPanel->SetModify();
}

void TBatonUnit::BatonPanelClick(TObject*)
{
    if (State == bsRetry)
        Retry();
}

void TBatonUnit::BatonPanelKeyDown(TObject*, Word& Key, TShiftState)
{
    if (State != bsRetry)
        return;
    if (Key == 32 || Key == 13)
        Retry();
    else if (Key == 27)
        GiveUp();
}

void TBatonUnit::PanelCreate(TObject* Sender)
{
    if (auto* panel = dynamic_cast<TVeRGBPanel*>(Sender))
        LoadPanelImage(panel, panel->GetText(), FileMan);
}

void TBatonUnit::PanelRelease(TObject* Sender)
{
    if (auto* panel = dynamic_cast<TVeRGBPanel*>(Sender))
        ReleasePanelImage(panel);
}

void TBatonUnit::PlaySound(DirectX::TDSoundBuffer* sound)
{
    if (sound)
        sound->Play(false);
}
