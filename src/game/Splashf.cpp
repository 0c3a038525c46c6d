#include "game/Splashf.h"

#include "game/Batonu.h"
#include "game/Gamef.h"
#include "game/Gamefconst.h"
#include "game/Zbdata.h"
#include "game/Pchapter.h"
#include "game/Zbeffect.h"
#include "platform/Forms.h"
#include "platform/Instance.h"
#include "platform/Params.h"

TSplashForm* SplashForm = nullptr;

TSplashForm::TSplashForm(TComponent* owner) : TComponent(owner)
{
    FormCreate(this);
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
    if (instance.Acquire(InstanceName) == TInstanceResult::AlreadyRunning)
        return 0;
    ZbdataStart();
    ZbeffectStart();
    TApplication* application = new TApplication();
    Application = application;
    InstallCloseSignals();
    try {
        ReadDebugIni();
        // The switches only switch on: an INI setting stays when its switch is absent.
        if (FindCmdLineSwitch("WINDOW"))
            WindowMode = true;
        if (FindCmdLineSwitch("FPS"))
            ShowFPS = true;
        application->Title = GameTitle;
        // SIGINT and SIGTERM close the window as the user would, so the settings are saved.
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
    } catch (...) {
    }
    instance.Release();
    delete application;  // the splash form, and through it the game form
    Application = nullptr;
    ZbeffectFinish();
    ZbdataFinish();
    return 0;
}
