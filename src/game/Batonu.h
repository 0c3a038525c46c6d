#pragma once
// The mouse-tracing mini-game: a movie plays full screen while marks appear on it, each at a
// moment of movie time and a place; the player passes the pointer over each mark within 200 ms
// of its moment. Each mark is graded by how close the pointer came (also along the straight
// path between two frames), and the grades move a score of 0..40 that the gauge at the bottom
// shows. At the movie's end 35 points pass; otherwise a retry prompt with a spoken countdown
// offers another attempt, each retry making the rules more lenient.
//
// Outcome: BatonResult 2 passed at the first attempt, 1 passed after retries, 0 given up; then
// MainThreadSignal(0). Game flag 510 is set on each retry.
//
// Mark table "Baton%04d.csv" (number ScriptValue), integers: row 0 column 0 the start score;
// each further row one mark: time in ms of movie time, x, y in screen pixels, in ascending
// time. At least 3 columns and 2 rows; at most 256 marks are taken.
//
// Threads: CreateResources, OpenMovie and the first Start on the game thread before its wait;
// FrameUpdate, the panel events, Retry and later Starts on the thread that runs frames.

#include <cstdint>
#include <string>

#include "panels/Vergbpanel.h"
#include "platform/Classes.h"
#include "platform/Input.h"

class TFileMan;
class TVeMovie;
class TVeRGBBits;
class TVeAlpha;
namespace DirectX {
class TDSoundBuffer;
}

struct TBatonMark {
    int32_t Time;  // ms of movie time
    int32_t X;
    int32_t Y;
};

class TBatonUnit : public TComponent {
public:
    static constexpr int MaxMarks = 256;
    static constexpr int SlotCount = 16;
    static constexpr int PassScore = 35;
    static constexpr int MaxScore = 40;
    enum : uint8_t { bsFinished, bsReady, bsPlaying, bsRetry };
    enum : uint8_t { dsHidden, dsAppearing, dsApproaching, dsOpen, dsGrade };
    enum : uint8_t { grMissed, grNear, grGood };

    explicit TBatonUnit(TComponent* Owner);
    ~TBatonUnit() override;

    bool CreateResources(TFileMan* fileMan);
    void ReleaseResources();
    bool OpenMovie(const std::string& name);
    void CloseMovie();
    void Start();
    void FrameUpdate(int steps);

    void Finish();
    void GiveUp();
    void Retry();
    void DrawMovieFrame();
    void UpdateScore();
    bool PointPanelDraw(TObject* Sender, TVeRGBBits* DestBits, int X, int Y, int SX, int SY, int DX, int DY);

    void BatonPanelClick(TObject* Sender);
    void BatonPanelKeyDown(TObject* Sender, Word& Key, TShiftState Shift);
    void PanelCreate(TObject* Sender);
    void PanelRelease(TObject* Sender);

    // What tests and the game flow read.
    bool HasResources() const { return ResourcesMade; }
    bool IsMovieOpen() const { return MovieOpen; }
    uint8_t GetState() const { return State; }
    int32_t GetScore() const { return Score; }
    int32_t GetStartScore() const { return StartScore; }
    int32_t GetRetries() const { return Retries; }
    int32_t GetMarkCount() const { return MarkCount; }
    int32_t GetFirstMark() const { return FirstMark; }
    const TBatonMark& GetMark(int i) const { return Marks[i]; }
    // Display state and grade of the ring slot of mark k.
    uint8_t GetSlotState(int k) const { return SlotState[k % SlotCount]; }
    uint8_t GetSlotGrade(int k) const { return SlotGrade[k % SlotCount]; }
    TVeRGBBits* GetSurface() const { return Surface; }
    TVeMovie* GetStream() const { return Stream; }

    TVeRGBPanel* BatonPanel;
    TVeRGBPanel* FramePanel = nullptr;
    TVeRGBPanel* PointPanel = nullptr;
    TVeRGBPanel* MarkPanel[SlotCount] = {};
    TVeRGBPanel* WaitPanel = nullptr;

private:
    bool LoadMarks();
    void ReadPointer(int32_t& x, int32_t& y);
    void StartPlaying();
    void PlayStep(int steps);
    void RetryStep(int steps);
    void TraceMarks(int steps, int32_t now, int32_t mx, int32_t my);
    void CloseMark(int slot);
    void ShowSlot(int slot, const TBatonMark& mark);
    void HideMarks();
    void PlaySound(DirectX::TDSoundBuffer* sound);

    bool ResourcesMade = false;
    TFileMan* FileMan = nullptr;
    bool MovieOpen = false;
    TVeMovie* Stream = nullptr;
    TVeRGBBits* Surface = nullptr;
    TVeRGBBits* FrameImage = nullptr;
    TVeAlpha* FrameAlpha = nullptr;
    TVeRGBBits* PointImage = nullptr;
    TVeAlpha* PointAlpha = nullptr;
    TVeRGBBits* MarkImage = nullptr;
    TVeAlpha* MarkAlpha = nullptr;
    TVeRGBBits* WaitImage = nullptr;
    DirectX::TDSoundBuffer* OKSound = nullptr;
    DirectX::TDSoundBuffer* ErrSound = nullptr;
    int32_t StartScore = 0;
    TBatonMark Marks[MaxMarks] = {};
    int32_t MarkCount = 0;
    int32_t FirstMark = 0;
    int32_t FirstSlot = 0;
    uint8_t SlotState[SlotCount] = {};
    int32_t SlotCounter[SlotCount] = {};
    uint8_t SlotGrade[SlotCount] = {};
    int32_t PrevTime = 0;
    int32_t PrevX = 0;
    int32_t PrevY = 0;
    int32_t TickCount = 0;
    int32_t Retries = 0;
    uint8_t State = bsFinished;
    int32_t Score = 0;
    // Start without a movie: the first frame gives up, so the waiting game thread is released.
    bool GiveUpPending = false;
};

extern TBatonUnit* BatonUnit;
