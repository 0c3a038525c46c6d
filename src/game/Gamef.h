#pragma once
// The main form: the game's one window and the owner of everything that lives as long as the
// game (devices, root panel, frame timer, locks, input queue, audio channels, transition
// buffers, screen images). Its operations are split by concern:
//   Gamef.cpp        creation, showing, hiding, destruction, quit and close requests
//   Gamefframe.cpp   frame timer, pump, update, counters, frame-rate counter, wait thread
//   Gamefrender.cpp  rendering, screen attach and the Begin operations
//   Gamefinput.cpp   input queue and the translation of display events
//   Gamefini.cpp     settings and the INI file
//   Gamefaudio.cpp   the audio channels (the stops and volumes the frame loop and settings use)
//   Gameftrans.cpp   the transition record (the calls the frame loop and renderer make)
//   Gamefdevices.cpp the display component and the root panel behind the form's interfaces
//
// Threads and locks: the interface thread creates, shows and closes the form; the timer thread
// only counts; the pumping thread (game thread or wait thread) runs Update and Render. Lock
// order: DrawLock (tried, held for a whole pump pass; waited for only by RemoveScreen and
// AwaitFramePass, whose callers hold no other lock then) -> StateLock -> FpsLock; StateLock before SoundLock; InputLock is a
// leaf. No frame thread ever waits for the interface thread.

#include "game/Zbglobals.h"
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "base/Vealpha.h"
#include "base/Vecritical.h"
#include "base/Vergbbits.h"
#include "base/Vetimer.h"
#include "game/Gamefdisplay.h"
#include "platform/Classes.h"
#include "platform/Input.h"
#include "platform/Syncobjs.h"
#include "platform/Threads.h"

class TFileMan;
class TFont;
class TMemMan;
class TMainThread;
namespace DirectX {
class TDSound;
class TDSoundBuffer;
class TDSoundStream;
}  // namespace DirectX

using TGameFormState = int8_t;
using TFPSMode = int8_t;  // 0 15 fps, 1 30 fps, 2 full speed, 3 full speed without vertical sync

enum : TGameFormState { gsCreated = 0, gsIdle = 1, gsMenu = 2, gsMiniGame = 3, gsScene = 4, gsWait = 5, gsTransition = 7, gsClosing = 8 };

// One queued input event. Fields a kind does not use are not read.
struct TMesQueue {
    uint8_t Kind = 0;  // 0 move, 1 down, 2 up, 3 wheel, 4 enter, 5 leave, 6 key down, 7 key up
    int32_t X = 0;
    int32_t Y = 0;
    TShiftState Shift;
    TMouseButton Button = mbLeft;
    int32_t WheelDelta = 0;
    uint16_t Key = 0;
};

// Frames per second over the last second, in five 250 ms slots.
class TFpsCounter {
public:
    TFpsCounter() { Reset(); }
    void Reset();
    int Tick();
    int Tick(uint32_t now);
    int Value() const { return FValue; }

private:
    uint32_t FStart[5];
    int FCount[5];
    int FIndex;
    int FValue;
};

// Pumps frames while the form is busy (state 5); parks itself otherwise.
class TWaitThread : public TThread {
public:
    ~TWaitThread() override;
    void Wake() { Resume(); }

protected:
    void Execute() override;
};

using TFrameProc = std::function<void(int steps)>;
using TRedrawProc = std::function<void(TVeRGBBits* target)>;
using TDrawProc = std::function<void(TVeRGBBits* target, TVeRectSet* dirty)>;
// Makes the game thread (created suspended); the game flow installs its own.
using TGameThreadFactory = std::function<TMainThread*()>;

class TGameForm : public TComponent {
public:
    TGameForm(TComponent* owner, const std::string& baseName, bool quitByClose);
    explicit TGameForm(TComponent* owner) : TGameForm(owner, "ZB", false) {}
    ~TGameForm() override;

    // Form events, run by the interface thread.
    void FormCreate(TObject* sender);
    void FormShow(TObject* sender);
    void FormHide(TObject* sender);
    void FormDestroy(TObject* sender);
    void FormCloseQuery(TObject* sender, bool& canClose);
    bool InitDirectX();
    // The class library's Show and Close: Show runs FormShow; Close asks FormCloseQuery and
    // hides the form (FormHide) when it may close.
    void Show();
    void Close();
    bool Visible() const { return FVisible; }

    // The quit ends the program with status 1 once MarkFailed has been called, else 0.
    void RequestQuit();
    void RequestClose(bool alreadyClosing);
    // Any thread: the game ends for a fault rather than at the player's request (a start that
    // failed, an error that ends the game), so that a launcher can tell it from a close.
    void MarkFailed() { FFailed.store(true); }
    bool Failed() const { return FFailed.load(); }
    // Logs, once, the line that names the display the game lost.
    void LogDisplayLoss();

    // Frame loop.
    void GameTimerTimer(TObject* sender);
    void PulseTimerEvent();
    void ResetFrameCounters();
    void SetState(TGameFormState s);
    TGameFormState GetState() const { return State.load(); }
    void SetCursorType(int type);
    int GetCursorType() const { return CursorType.load(); }
    void SetFrameProc(TFrameProc proc);
    void SetRedrawProc(TRedrawProc proc);
    void SetDrawProc(TDrawProc proc);
    // Takes a screen off before its unit is deleted: detaches panel (when given) and removes the
    // frame, redraw and draw hooks while no frame pass or forced frame runs, and returns only
    // then. Nothing of the screen (a hook, a panel handler) runs any more, and a frame procedure
    // still running cannot put a drawing hook back. Waits for the draw lock, so the caller must
    // not hold the state lock: a pass in progress may be waiting for it.
    void RemoveScreen(TVeRGBPanel* panel);
    // Returns once a frame pass or forced frame that runs at the call has ended. Called after
    // leaving the wait state, it leaves the new screen to the game thread alone: the wait thread
    // begins no pass outside that state. Same lock rule as RemoveScreen.
    void AwaitFramePass();
    void FramePump();
    void Update(int steps);
    int GetFramesDue() const { return FramesDue.load(); }
    int GetFramesDone() const { return FramesDone.load(); }
    int GetTimerInterval() const { return TimerInterval; }

    // Rendering.
    void Render(int steps);
    void ForceRender();
    void SetCursorPos(int x, int y);
    void AttachScreen(TVeRGBPanel* panel);
    void DetachScreen(TVeRGBPanel* panel);
    void BeginPlay();
    void BeginState3();
    void BeginState4();
    void BeginWait();

    // Input.
    void PushInput(const TMesQueue& event);
    void DispatchInput();
    void FlushInput();
    int QueuedInputCount();
    // Interface thread: one display event into the queue (or a close request).
    void HandleDisplayEvent(const TDisplayEvent& event);
    void PlayMuteBuffer();

    // Screen capture to the clipboard (Gamefcapture.cpp), interface thread. The display's
    // PrintScreen key presses stand in for system-wide hotkeys: id 0 is PrintScreen alone,
    // id 1 Alt+PrintScreen, which also shows the cursor.
    enum : int { CaptureHotKey = 0, CaptureHotKeyAlt = 1 };
    // Takes every PrintScreen key event (handled); a hotkey press captures while the game is
    // the active application.
    void AppMessage(const TDisplayEvent& message, bool& handled);
    // True when a picture was handed to the clipboard.
    bool CopyScreenToClipboard(int id);

    // Settings.
    void LoadIni();
    void SaveIni();
    void SetFPSMode(TFPSMode mode);
    TFPSMode GetFPSMode() const { return FPSMode.load(); }
    void SetVolumeVoice(int v);
    void SetVolumeBGM(int v);
    void SetVolumeSE(int v);
    int GetVolumeVoice() const { return VolumeVoice.load(); }
    int GetVolumeBGM() const { return VolumeBGM.load(); }
    int GetVolumeSE() const { return VolumeSE.load(); }

    // Audio service. Play and stop succeed silently without a sound device. Every operation
    // takes SoundLock (recursive); callers may hold StateLock, never the reverse.
    bool PlayBGMStream(int channel, int track, int volume, bool loop);
    bool StopBGMStream(int channel);
    bool PlayBGM(int track, bool loop, bool crossFade);
    void StopBGM(bool fade);
    bool PlayVoice(const std::string& name, TFileMan* files);
    // "gs1%03d.adp" from the main archive.
    bool PlayVoiceNo(int n);
    void StopVoice();
    bool PlaySE(const std::string& name, TFileMan* files);
    void StopSE();
    bool IsSEPlaying();
    // The looping second effect; fadeIn starts it silent and raises it to the effect volume.
    bool PlaySE2(const std::string& name, TFileMan* files, bool fadeIn);
    void StopSE2(bool fade);
    void StopAllChannels();
    // 0..100 to hundredths of a decibel: below 1 silent, 100 and above full.
    static long VolumeAttenuation(int volume);
    // A whole sound decoded from one file and registered with MemMan; null when there is no
    // device or the file does not open or decode (a file that is there is named in the log).
    DirectX::TDSoundBuffer* LoadSound(TFileMan* files, const std::string& name);

    // Screen transitions. The game thread makes two buffers, fills them and starts the
    // transition; the frame loop advances and ends it, the renderer draws it. The scene engine
    // drives the record itself within state 4.
    // A 640x480 black buffer in the screen's depth, registered in MemMan; "CreateEffectBuffer
    // Error" and EGameErr when it cannot be made.
    TVeRGBBits* CreateEffectBuffer();
    // The current screen whole into dest (state lock, then FPS lock).
    void DrawScreenTo(TVeRGBBits* dest);
    // dest cleared, then the wait picture as state 5 shows it.
    void DrawEffectBuffer(TVeRGBBits* dest);
    // Takes both pictures over in every case and nulls the caller's pointers: accepted, they
    // become the running transition (replacing an earlier one); refused (a picture missing, not
    // created, not 640x480, or both the same), they are deleted and the record is unchanged.
    bool SetTransition(int effect, TVeRGBBits*& oldImage, TVeRGBBits*& newImage);
    // The game thread's entry: state 7, hand-over, counters reset, one frame drawn at once.
    // Refused: state 1, pictures deleted as above, false.
    bool StartTransitionFrame(int effect, TVeRGBBits*& oldImage, TVeRGBBits*& newImage);
    bool IsTransitionIdle();
    void EndTransition();
    void AdvanceTransition(int frames);
    void DrawTransition(TVeRGBBits* dest, TVeRectSet* dirty);
    // Per-effect drivers, run only by DrawTransition.
    void DrawTransFade(TVeRGBBits* dest, TVeRectSet* dirty, int multiplier);
    void DrawTransSlide(TVeRGBBits* dest, TVeRectSet* dirty, int direction);
    void DrawTransZoomIn(TVeRGBBits* dest, TVeRectSet* dirty);
    void DrawTransZoomIn2(TVeRGBBits* dest, TVeRectSet* dirty);
    void DrawTransZoomBlur(TVeRGBBits* dest, TVeRectSet* dirty);
    void DrawTransZoomBlur2(TVeRGBBits* dest, TVeRectSet* dirty);
    void DrawTransWater(TVeRGBBits* dest, TVeRectSet* dirty);
    void DrawTransHalation(TVeRGBBits* dest, TVeRectSet* dirty);
    void DrawTransMaskAdd(TVeRGBBits* dest, TVeRectSet* dirty);
    void DrawTransMaskFade(TVeRGBBits* dest, TVeRectSet* dirty);

    TGameDisplay* Display() const { return FDisplay.get(); }
    TGameRoot* Root() const { return FRoot.get(); }
    // The root of the panel tree every screen is attached under.
    TVeRGBPanel* MainPanel() const { return FRoot ? FRoot->Panel() : nullptr; }
    TVeRGBBits* Target();
    bool FullFramePending() const { return FFullFramePending.load(); }
    int GetWaitFrame() const { return WaitFrame; }
    int GetCursorX() const { return CursorX.load(); }
    int GetCursorY() const { return CursorY.load(); }
    int FpsValue() const { return FpsCounter.Value(); }

    // How a pump pass waits before it runs; tests replace it (mode 0/1: the timer event,
    // at most 100 ms; 2/3: 3 ms).
    std::function<void(TFPSMode mode)> PumpWait;
    // The clock of the frame-rate counter (milliseconds); tests replace it.
    std::function<uint32_t()> Clock;
    // Called right before a screen's hook runs, on the thread that runs it, (hkPass) when a
    // pump pass has passed its state check, and (hkLeaveWait) on the thread about to end the
    // busy state, before the new state shows and with no lock a pass needs before hkPass; tests
    // hold or slow that thread there. Set before the form is shown.
    enum THookKind : int { hkFrame, hkRedraw, hkDraw, hkPass, hkLeaveWait };
    std::function<void(THookKind kind)> HookProbe;
    static void SetGameThreadFactory(TGameThreadFactory factory);

    // Fields, in the order of the form's record.
    const bool QuitByClose;
    const std::string BaseName;
    std::atomic<TGameFormState> State{gsCreated};
    TEvent* TimerEvent = nullptr;
    std::atomic<TFPSMode> FPSMode{2};
    int TimerInterval = 10;
    std::atomic<int> TickCount{0};
    TFpsCounter FpsCounter;
    TWaitThread* WaitThread = nullptr;
    TVeRGBBits* ConvertImage = nullptr;
    TVeRGBBits* CursorImage = nullptr;
    TVeAlpha* CursorAlpha = nullptr;
    std::atomic<int> CursorType{0};
    std::atomic<int> CursorX{0};
    std::atomic<int> CursorY{0};
    TVeRGBBits* CursorBack = nullptr;
    TVeRGBBits* FPSBack = nullptr;
    TVeRGBBits* WaitImage = nullptr;
    int WaitFrame = 0;
    TVeRGBBits* CapLogoImage = nullptr;
    TVeAlpha* CapLogoAlpha = nullptr;
    TVeRGBBits* CapCopyImage = nullptr;
    TVeAlpha* CapCopyAlpha = nullptr;
    std::deque<TMesQueue> InputQueue;
    DirectX::TDSoundBuffer* MuteBuffer = nullptr;

    // Audio channels (guarded by SoundLock).
    DirectX::TDSoundStream* BGMStream[2] = {nullptr, nullptr};
    TStream* BGMFile[2] = {nullptr, nullptr};
    int BGMTrack = 0;
    bool BGMLoop = false;
    int BGMCurrent = 0;
    int BGMFadeOut = -1;
    DirectX::TDSoundBuffer* VoiceBuffer = nullptr;
    std::string VoiceName;
    DirectX::TDSoundBuffer* SEBuffer = nullptr;
    std::string SEName;
    DirectX::TDSoundBuffer* SE2Buffer = nullptr;
    std::string SE2Name;
    int SE2Fade = 0;

    // Transition record (guarded by StateLock).
    TVeRGBBits* TransOld = nullptr;
    TVeRGBBits* TransNew = nullptr;
    int32_t TransEffect = -1;
    int32_t TransProgress = 0;
    int32_t TransDrawn = -1;
    int32_t TransStep = 0;

    TVeCriticalSection* DrawLock = nullptr;
    TCriticalSection* SoundLock = nullptr;
    TCriticalSection* InputLock = nullptr;
    std::atomic<int> VolumeVoice{100};
    std::atomic<int> VolumeBGM{70};
    std::atomic<int> VolumeSE{100};
    DirectX::TDSound* DSound = nullptr;
    TCriticalSection* StateLock = nullptr;
    TCriticalSection* FpsLock = nullptr;
    std::atomic<int> FramesDue{0};
    std::atomic<int> FramesDone{0};
    TFont* Font24 = nullptr;
    TVeTimer* GameTimer = nullptr;

private:
    template <class F>
    F CopyHook(const F& hook)
    {
        std::lock_guard<std::mutex> lock(FHookLock);
        return hook;
    }
    bool CreateObjects();
    bool LoadImages(bool& failed);
    void StopThreads();
    void FreeScreenImages();
    void DeleteObjects();
    uint32_t Now() const;
    void RenderPass(TGameFormState state, int steps);
    void ForceRenderPass(TGameFormState state);
    bool TargetUsable(TVeRGBBits* target);
    void DrawWaitPicture(TVeRGBBits* target, int frame);
    void DrawFpsBox(TVeRGBBits* target);
    void DrawCursor(TVeRGBBits* target, TVeRectSet* dirty);
    void RemoveOverlays(TVeRGBBits* target);
    void Present(TVeRGBBits* target, TVeRectSet* dirty);
    void EnterState(TGameFormState s);
    void StepFades(int steps);

    std::unique_ptr<TGameDisplay> FDisplay;
    std::unique_ptr<TGameRoot> FRoot;
    std::unique_ptr<TMainThread> FGameThread;
    std::mutex FHookLock;
    TFrameProc FrameProc;
    TRedrawProc RedrawProc;
    TDrawProc DrawProc;
    std::atomic<bool> FFullFramePending{false};
    std::atomic<bool> FCursorSaved{false};
    int FCursorSavedX = 0;
    int FCursorSavedY = 0;
    bool FFpsSaved = false;
    bool FVisible = false;
    bool FCreated = false;
    bool FMadeGlobals = false;
    bool FHidden = false;
    bool FDestroyed = false;
    std::atomic<bool> FFailed{false};
    bool FLossLogged = false;  // interface thread
};

extern TGameForm* GameForm;

// The folder of the executable (with a trailing slash): the game's data and "ZB.INI" live
// there. Tests point it elsewhere.
std::string GameFolder();
void SetGameFolder(const std::string& folder);

// Settings outside the form.
void ReadDebugIni();
// While one lives, the settings readers share one reading of "ZB.INI" instead of each opening
// the file; the first write of the file ends the sharing. The program holds one over its start.
class TIniStartSnapshot {
public:
    TIniStartSnapshot();
    ~TIniStartSnapshot();
    TIniStartSnapshot(const TIniStartSnapshot&) = delete;
    TIniStartSnapshot& operator=(const TIniStartSnapshot&) = delete;
};
struct TMesBoxConfig;
void ReadMesBoxIni(TMesBoxConfig* config);
void WriteMesBoxIni(const TMesBoxConfig* config);
// Removes what killed rewrites of "ZB.INI" left beside it; only while this instance holds the
// single-instance name.
void RemoveIniLeftovers();
