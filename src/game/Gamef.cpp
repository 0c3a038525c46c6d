#include "game/Gamef.h"

#include "archive/Vefileman.h"
#include "base/Vememman.h"
#include "base/Vergbdib.h"
#include "game/Gamefconst.h"
#include "game/Maint.h"
#include "game/Zbdata.h"
#include "game/Zbfunc.h"
#include "media/Getdxver.h"
#include "media/Vedsound.h"
#include "platform/Dialogs.h"
#include "platform/Filenames.h"
#include "platform/Forms.h"
#include "platform/Graphics.h"
#include "platform/Params.h"
#include "platform/Winapi.h"

TGameForm* GameForm = nullptr;

namespace {

std::mutex FolderLock;
std::string Folder;
bool FolderSet = false;

TGameThreadFactory GameThreadFactory;

// A step of the showing found an object that the creation did not make.
struct EMissingObject {};

void Log(const char* line)
{
    if (ErrLog)
        ErrLog->Add(line);
}

// The pictures and the scripts come from these sources; without either, the lines that follow
// name only the files that could not be found, so the source is named first. An archive that is
// there but refused has been named with its cause already.
void OpenSource(TFileMan* files, const std::string& archive, const std::string& folder)
{
    if (!InitPackOrDir(files, archive, folder) && ErrLog && !PathExists(archive))
        ErrLog->Add(archive + ": not found, nor the folder " + folder);
}

template <class T>
T* Need(T* object)
{
    if (object == nullptr)
        throw EMissingObject{};
    return object;
}

}  // namespace

std::string GameFolder()
{
    std::lock_guard<std::mutex> lock(FolderLock);
    if (!FolderSet) {
        Folder = ExtractFilePath(ExeName());
        FolderSet = true;
    }
    return Folder;
}

void SetGameFolder(const std::string& folder)
{
    std::lock_guard<std::mutex> lock(FolderLock);
    Folder = folder;
    if (!Folder.empty() && Folder.back() != '/')
        Folder += '/';
    FolderSet = true;
}

void TGameForm::SetGameThreadFactory(TGameThreadFactory factory)
{
    GameThreadFactory = std::move(factory);
}

TGameForm::TGameForm(TComponent* owner, const std::string& baseName, bool quitByClose)
    : TComponent(owner), QuitByClose(quitByClose), BaseName(baseName)
{
    GameTimer = new TVeTimer(this);
    GameTimer->SetInterval(10);
    GameTimer->OnTimer = [this](TObject* sender) { GameTimerTimer(sender); };
    LoadIni();
}

TGameForm::~TGameForm()
{
    if (!FDestroyed)
        FormDestroy(this);
    if (GameForm == this)
        GameForm = nullptr;
}

void TGameForm::FormCreate(TObject*)
{
    // Print-screen hot keys and the input-method detach belong to the capture and the window.
    TimerEvent = new TEvent(false, false);
    SetCurrentDir(GameFolder());
    MemMan = new TMemMan(this);
    FMadeGlobals = true;
    PackFileMan = new TFileMan(this);
    BGMFileMan = new TFileMan(this);
    ScriptFileMan = new TFileMan(this);

    OpenSource(PackFileMan, BaseName + ".pak", BaseName + "_Pak");
    BGMFileMan->InitDir("BGM");
    OpenSource(ScriptFileMan, "Script.pak", "Script_pak");

    if (!InitDirectX()) {
        // A display lost before the window stood is named, as a loss during play is.
        if (FDisplay && FDisplay->Lost())
            LogDisplayLoss();
        Log(LogDirectX);
        ShowMessageBox(MsgInitFailed, CaptionQJError);
        MarkFailed();
        RequestQuit();
        return;
    }
    FRoot = MakeGameRoot();
    if (!FRoot) {
        ShowMessageBox(MsgInitFailed, CaptionQJError);
        MarkFailed();
        RequestQuit();
        return;
    }
    StateLock = MemMan->Create<TCriticalSection>();
    FpsLock = MemMan->Create<TCriticalSection>();
    DrawLock = MemMan->Create<TVeCriticalSection>();
    SoundLock = MemMan->Create<TCriticalSection>();
    InputLock = MemMan->Create<TCriticalSection>();
    Font24 = MemMan->Create<TFont>();
    if (Font24)
        Font24->Height = -24;
    if (GameRandom) {
        int draws = static_cast<int>(timeGetTime() & 0xFFF) + 1;
        for (int i = 0; i < draws; ++i)
            GameRandom->Rnd();
    }
    FCreated = true;
}

bool TGameForm::InitDirectX()
{
    DSound = MemMan->CreateVCL<DirectX::TDSound>();
    FDisplay = MakeGameDisplay();
    if (DSound == nullptr || !FDisplay)
        return false;
    if (FDisplay->Version() < 0x700) {
        ShowMessageBox(MsgDirectX7, CaptionError);
        return false;
    }
    TBitDepth depth = bdNone;
    if (WindowMode) {
        int width = 0, height = 0, bits = 0;
        if (FDisplay->DesktopMode(width, height, bits) && width > 640 && height > 480) {
            if (bits == 16)
                depth = bd16;
            else if (bits == 24)
                depth = bd24;
            else if (bits == 32)
                depth = bd32;
        }
    } else {
        std::vector<TGameDisplayMode> modes;
        FDisplay->EnumDisplayModes(modes);
        for (const TGameDisplayMode& mode : modes) {
            if (!mode.Is640x480 || mode.PixFormat == pfNone)
                continue;
            if ((mode.BitDepth == bd16 || mode.BitDepth == bd24 || mode.BitDepth == bd32) && mode.BitDepth > depth)
                depth = mode.BitDepth;
        }
    }
    if (depth == bdNone) {
        ShowMessageBox(WindowMode ? MsgWindowDepth : MsgFullDepth, CaptionError);
        return false;
    }
    BitDepth = bd24;
    if (depth == bd32) {
        TVeRGBDib* probe = MemMan->CreateVCL<TVeRGBDib>();
        if (probe) {
            probe->SetBitDepth(bd32);
            probe->Resize(16, 16);
            if (probe->Create())
                BitDepth = bd32;
            MemMan->Delete(probe);
        }
    }
    FDisplay->Configure(depth, !WindowMode, FPSMode.load() == 3);
    return true;
}

bool TGameForm::LoadImages(bool& failed)
{
    // Cursor: eight 32x32 frames side by side with their alpha.
    CursorImage = MemMan->CreateVCL<TVeRGBBits>();
    CursorAlpha = MemMan->CreateVCL<TVeAlpha>();
    bool cursorOk = CursorImage && CursorAlpha;
    if (cursorOk) {
        CursorImage->SetBitDepth(BitDepth);
        cursorOk = CursorImage->Resize(256, 32) && CursorAlpha->Resize(256, 32) && CursorImage->Create() &&
                   CursorAlpha->Create();
        if (cursorOk) {
            cursorOk = DrawDataPng(CursorImage, CursorAlpha, PackFileMan, CursorFileName);
        }
        if (cursorOk) {
            int x = 0, y = 0;
            if (FDisplay->CursorPos(x, y)) {
                CursorX.store(x);
                CursorY.store(y);
            }
            CursorType.store(0);
        }
    }
    if (!cursorOk) {
        Log(LogCursorImage);
        failed = true;
    }

    auto plain = [&](TVeRGBBits*& image, int width, int height, const char* line) {
        image = MemMan->CreateVCL<TVeRGBBits>();
        if (image) {
            image->SetBitDepth(BitDepth);
            if (image->Resize(width, height) && image->Create())
                return;
        }
        Log(line);
        failed = true;
    };
    plain(CursorBack, 32, 32, LogCursorBack);
    plain(FPSBack, 96, 26, LogFPSBack);
    return true;
}

void TGameForm::FormShow(TObject*)
{
    bool failed = false;
    try {
        // A creation that failed leaves its objects unusable: no device is opened for it.
        if (!FCreated)
            throw EMissingObject{};
        Need(MemMan);
        Need(PackFileMan);
        Need(DSound);
        DSound->SetEnabled(true);
        if (!DSound->GetEnabled()) {
            if (ErrLog && !DSound->OpenFailure().empty())
                ErrLog->Add(std::string(LogSoundDeviceReason) + DSound->OpenFailure());
            Log(LogDirectSound);
            ShowMessageBox(MsgDirectSound, CaptionError);
            failed = true;
        } else {
            MuteBuffer = DSound->CreateBufferMute(1);
            MemMan->AddPtr(MuteBuffer);
        }

        Need(FDisplay.get());
        FDisplay->ShowWindow(GameTitle, true);
        if (!FDisplay->Enable()) {
            Log(LogDirectDraw);
            ShowMessageBox(MsgDirectDraw, CaptionError);
            failed = true;
        } else {
            if (WindowMode || FDisplay->BitDepth() != BitDepth) {
                bool deep = BitDepth == bd32;
                ConvertImage = FDisplay->CreateSurface(deep ? bd32 : bd24, deep ? pf32_888 : pf24_888, 640, 480);
                MemMan->AddPtr(ConvertImage);
                if (ConvertImage == nullptr) {
                    Log(LogConvertImage);
                    failed = true;
                }
            }
            LoadImages(failed);
        }

        WaitImage = MemMan->CreateVCL<TVeRGBBits>();
        if (WaitImage) {
            WaitImage->SetBitDepth(BitDepth);
            TStream* stream = OpenDataFile(PackFileMan, WaitFileName);
            bool ok = stream && WaitImage->DrawBmpStream(stream, 0, 0);
            PackFileMan->Close(stream);
            if (!ok)
                MemMan->Delete(WaitImage);
        }
        if (WaitImage == nullptr) {
            Log(LogWaitImage);
            failed = true;
        }

        auto overlay = [&](TVeRGBBits*& image, TVeAlpha*& alpha, const char* name, const char* line) {
            image = MemMan->CreateVCL<TVeRGBBits>();
            alpha = MemMan->CreateVCL<TVeAlpha>();
            bool ok = image && alpha;
            if (ok) {
                image->SetBitDepth(bd24);
                ok = DrawDataPng(image, alpha, PackFileMan, name) && alpha->Created();
            }
            if (!ok) {
                MemMan->Delete(image);
                MemMan->Delete(alpha);
                Log(line);
                failed = true;
            }
        };
        overlay(CapLogoImage, CapLogoAlpha, CapLogoFileName, LogCapLogo);
        overlay(CapCopyImage, CapCopyAlpha, CapCopyFileName, LogCapCopy);

        Need(FRoot.get());
        if (!FRoot->SetCreated(true)) {
            Log(LogMainPanel);
            failed = true;
        }
        if (TVeTimer::MinPeriod() <= 5) {
            TimerInterval = 5;
            Need(GameTimer)->SetInterval(5);
        }
        Need(TimerEvent);
        Need(StateLock);
        Need(FpsLock);
        Need(DrawLock);
        Need(SoundLock);
        Need(InputLock);
    } catch (...) {
        Log(LogShowException);
        failed = true;
    }
    if (failed) {
        if (FDisplay && FDisplay->Lost())
            LogDisplayLoss();
        Log(LogShowError);
        MarkFailed();
        RequestQuit();
        return;
    }

    SetState(gsIdle);
    FpsCounter.Reset();
    WaitThread = new TWaitThread();
    GameTimer->SetEnabled(true);
    ForceRender();
    TMainThread* thread = GameThreadFactory ? GameThreadFactory() : new TMainThread();
    FGameThread.reset(thread);
    MainThread.store(thread);
    if (Application) {
        TGameDisplay* display = FDisplay.get();
        Application->EventPump = [this, display](int timeoutMs) {
            display->PumpEvents(timeoutMs, [this](const TDisplayEvent& e) { HandleDisplayEvent(e); });
        };
        // Posted closures wake the pump, so the idle loop need not poll for them.
        if (display->CanWakePump())
            Application->SetEventWake([display] { display->WakePump(); });
    }
    WaitThread->Start();
    if (thread)
        thread->Start();
}

void TGameForm::Show()
{
    if (FVisible || FHidden)
        return;
    FVisible = true;
    FormShow(this);
}

void TGameForm::FormCloseQuery(TObject*, bool& canClose)
{
    canClose = true;
}

void TGameForm::Close()
{
    if (FHidden)
        return;
    bool canClose = true;
    FormCloseQuery(this, canClose);
    if (!canClose)
        return;
    FVisible = false;
    FHidden = true;
    FormHide(this);
}

void TGameForm::StopThreads()
{
    if (TMainThread* thread = FGameThread.get()) {
        thread->Terminate();
        if (StateLock) {
            std::lock_guard<TCriticalSection> lock(*StateLock);
            PulseTimerEvent();
        } else {
            PulseTimerEvent();
        }
        thread->WaitFor();
        TMainThread* expected = thread;
        MainThread.compare_exchange_strong(expected, nullptr);
        FGameThread.reset();
    }
    if (WaitThread) {
        WaitThread->Terminate();
        PulseTimerEvent();
        WaitThread->WaitFor();
        delete WaitThread;
        WaitThread = nullptr;
    }
}

void TGameForm::FreeScreenImages()
{
    if (!MemMan)
        return;
    MemMan->Delete(CursorImage);
    MemMan->Delete(CursorAlpha);
    MemMan->Delete(CursorBack);
    MemMan->Delete(FPSBack);
    MemMan->Delete(CapLogoImage);
    MemMan->Delete(CapLogoAlpha);
    MemMan->Delete(CapCopyImage);
    MemMan->Delete(CapCopyAlpha);
    MemMan->Delete(WaitImage);
    MemMan->Delete(ConvertImage);
    MemMan->Delete(TransOld);
    MemMan->Delete(TransNew);
    TransEffect = -1;
}

void TGameForm::FormHide(TObject*)
{
    SetState(gsClosing);
    if (GameTimer)
        GameTimer->SetEnabled(false);
    StopThreads();
    if (Application) {
        Application->SetEventWake(nullptr);
        Application->EventPump = nullptr;
    }
    if (FRoot) {
        if (StateLock) {
            std::lock_guard<TCriticalSection> lock(*StateLock);
            FRoot->SetCreated(false);
        } else {
            FRoot->SetCreated(false);
        }
    }
    {
        std::unique_lock<TCriticalSection> lock;
        if (FpsLock)
            lock = std::unique_lock<TCriticalSection>(*FpsLock);
        FreeScreenImages();
        if (FDisplay) {
            FDisplay->ShowWindow(GameTitle, false);
            FDisplay->Disable();
        }
        StopAllChannels();
        if (MemMan)
            MemMan->Delete(MuteBuffer);
        if (DSound)
            DSound->SetEnabled(false);
    }
    RequestQuit();
}

void TGameForm::FormDestroy(TObject*)
{
    FDestroyed = true;
    State.store(gsClosing);
    if (GameTimer)
        GameTimer->SetEnabled(false);
    StopThreads();
    if (Application && FVisible) {
        Application->SetEventWake(nullptr);
        Application->EventPump = nullptr;  // it reaches into this form's display
    }
    SaveIni();
    // The registry and the file managers are global: only the form that made them frees them.
    if (!FMadeGlobals) {
        delete TimerEvent;
        TimerEvent = nullptr;
        return;
    }
    StopAllChannels();
    if (MemMan) {
        FreeScreenImages();
        MemMan->Delete(MuteBuffer);
        if (FRoot)
            FRoot->SetCreated(false);
        FRoot.reset();
        if (FDisplay)
            FDisplay->Disable();
        FDisplay.reset();
        MemMan->Delete(Font24);
        MemMan->Delete(StateLock);
        MemMan->Delete(FpsLock);
        MemMan->Delete(DrawLock);
        MemMan->Delete(SoundLock);
        MemMan->Delete(InputLock);
        if (DSound)
            DSound->SetEnabled(false);
        MemMan->Delete(DSound);
        delete MemMan;
        MemMan = nullptr;
    }
    FRoot.reset();
    FDisplay.reset();
    delete PackFileMan;
    PackFileMan = nullptr;
    delete BGMFileMan;
    BGMFileMan = nullptr;
    delete ScriptFileMan;
    ScriptFileMan = nullptr;
    delete TimerEvent;
    TimerEvent = nullptr;
}

void TGameForm::RequestQuit()
{
    if (!Application)
        return;
    if (!QuitByClose) {
        Application->PostQuitMessage(Failed() ? 1 : 0);
        return;
    }
    TGameForm* form = this;
    Application->Post([form] {
        if (GameForm == form)
            form->Close();
    });
}

void TGameForm::RequestClose(bool alreadyClosing)
{
    if (!alreadyClosing)
        SetState(gsClosing);
    if (!Application)
        return;
    TGameForm* form = this;
    Application->Post([form] {
        if (GameForm == form)
            form->Close();
    });
}
