#include "game/Splashf.h"

#include <algorithm>

#include "game/Batonu.h"
#include "game/Gamef.h"
#include "game/Gamefconst.h"
#include "game/Zbdata.h"
#include "game/Pchapter.h"
#include "game/Zbeffect.h"
#include "game/Zbeffectdata.h"
#include "game/Zbsysfile.h"
#include "platform/Display.h"
#include "platform/Forms.h"
#include "platform/Instance.h"
#include "platform/Params.h"

TSplashForm* SplashForm = nullptr;

namespace {

constexpr int SplashWidth = 320;
constexpr int SplashHeight = 240;
constexpr char SplashCaption[] = "Splash";
constexpr int SplashLanternFlare = 2;  // the big yellow halation flare

}  // namespace

// The splash picture lives in the program, made from its own halation pictures: the warm glow
// at half size with the big yellow flare as a lantern in the middle.
std::vector<uint32_t> SplashPicture()
{
    // Sampled at half size rather than shrunk: the picture is made on the start-up path.
    const TDecodedPicture glow = MakeHalationPicture(0, 640 / SplashWidth);
    const TDecodedPicture flare = MakeHalationPicture(SplashLanternFlare);
    std::vector<uint32_t> pixels(size_t(SplashWidth) * SplashHeight);
    const int fx = (SplashWidth - flare.Width) / 2, fy = (SplashHeight - flare.Height) / 2;
    for (int y = 0; y < SplashHeight; ++y)
        for (int x = 0; x < SplashWidth; ++x) {
            const int gx = std::min(x, glow.Width - 1), gy = std::min(y, glow.Height - 1);
            const uint8_t* g = &glow.Pixels[(size_t(gy) * size_t(glow.Width) + size_t(gx)) * 3];
            int c[3] = {g[0], g[1], g[2]};
            if (x >= fx && y >= fy && x < fx + flare.Width && y < fy + flare.Height) {
                const uint8_t* f = &flare.Pixels[(size_t(y - fy) * size_t(flare.Width) + size_t(x - fx)) * 3];
                for (int i = 0; i < 3; ++i)
                    c[i] = std::min(255, c[i] + f[i]);  // light adds up, as the halation draws it
            }
            pixels[size_t(y) * SplashWidth + size_t(x)] = uint32_t(c[2]) << 16 | uint32_t(c[1]) << 8 | uint32_t(c[0]);
        }
    return pixels;
}

TSplashForm::TSplashForm(TComponent* owner) : TComponent(owner)
{
    FormCreate(this);
    FWindow.Show(SplashCaption, SplashPicture(), SplashWidth, SplashHeight);
}

TSplashForm::~TSplashForm()
{
    FormDestroy(this);
    if (SplashForm == this)
        SplashForm = nullptr;
}

void TSplashForm::FormCreate(TObject*)
{
    if (Application)
        Application->OnIdle = [this](TObject* sender, bool& done) { AppIdle(sender, done); };
}

void TSplashForm::AppIdle(TObject*, bool&)
{
    if (!Application)
        return;
    Application->OnIdle = nullptr;
    GameForm = new TGameForm(this, GameTitle, false);
    GameForm->FormCreate(GameForm);
    GameForm->Show();
    FVisible = false;
    FWindow.Hide();
}

void TSplashForm::FormDestroy(TObject*)
{
    if (GameForm) {
        TGameForm* form = GameForm;
        delete form;
        GameForm = nullptr;
    }
}

int GameMain(int argc, const char* const* argv)
{
    SetParams(argc, argv);
    SetCurrentDir(GameFolder());
    TSingleInstance instance;
    TInstanceResult held = instance.Acquire(InstanceName);
    if (held == TInstanceResult::AlreadyRunning)
        return 0;
    // Only the instance that holds the name clears what killed writes left; the settings that a
    // closing instance writes after letting the name go are spared by their writer's lock.
    if (held == TInstanceResult::Acquired) {
        RemoveSysSaveLeftovers();
        RemoveIniLeftovers();
    }
    ZbdataStart();
    ZbeffectStart();
    TApplication* application = new TApplication();
    Application = application;
    InstallCloseSignals();
    // Start-up failures come before the game window exists; their boxes need no parent.
    Display::InstallMessageBoxes();
    // 0 only for the player's own close, a close signal, or a second start that gives way; a
    // start that fails and an end the player did not ask for give 1.
    int status = 1;
    try {
        TIniStartSnapshot iniSnapshot;
        ReadDebugIni();
        // The switches only switch on: an INI setting stays when its switch is absent.
        if (FindCmdLineSwitch("WINDOW"))
            WindowMode = true;
        if (FindCmdLineSwitch("FPS"))
            ShowFPS = true;
        application->Title = GameTitle;
        // SIGINT, SIGTERM and SIGHUP close the window as the user would, so the settings are saved.
        application->OnCloseSignal = [application] {
            if (GameForm)
                GameForm->Close();
            else
                application->PostQuitMessage(0);
        };
        SplashForm = new TSplashForm(application);
        // Data modules of the application, never shown; the game flow makes its own instances
        // into the same globals while it needs them.
        ChapterUnit = new TChapterUnit(application);
        BatonUnit = new TBatonUnit(application);
        application->Run();
        status = application->ExitCode();
    } catch (...) {
    }
    instance.Release();
    delete application;  // the splash form, and through it the game form
    Application = nullptr;
    ZbeffectFinish();
    ZbdataFinish();
    return status;
}
