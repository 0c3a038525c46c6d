#include "support/SceneFixtures.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "base/Vememman.h"
#include "base/Vergbbits.h"
#include "game/Zbglobals.h"
#include "platform/Forms.h"
#include "scenario/Popupu.h"
#include "support/Pictures.h"

std::string SceneScript(const std::string& body, const std::string& extra)
{
    return ".trigger Main group=0 priority=100\n.end\n.function Main\n" + body + "\n" + extra;
}

TSceneWorld::TSceneWorld(bool useForm)
{
    FSavedCwd = GetCurrentDir();
    SetCurrentDir(Script.Folder().Path());
    if (useForm)
        return;
    FOwner = std::make_unique<TComponent>(nullptr);
    FMemMan = new TMemMan(FOwner.get());
    MemMan = FMemMan;
    BitDepth = bd32;
    TAvgUnitHost& host = Unit().Host;
    host.PlayBGM = [this](int t, bool loop, bool cross) {
        Calls.push_back("bgm " + std::to_string(t) + (loop ? " loop" : "") + (cross ? " cross" : ""));
    };
    host.StopBGM = [this](bool fade) { Calls.push_back(fade ? "stopbgm fade" : "stopbgm"); };
    host.PlaySE = [this](const std::string& name, TFileMan*) { Calls.push_back("se " + name); };
    host.PlaySE2 = [this](const std::string& name, TFileMan*, bool in) {
        Calls.push_back("se2 " + name + (in ? " in" : ""));
    };
    host.StopSE = [this] { Calls.push_back("stopse"); };
    host.StopSE2 = [this](bool) { Calls.push_back("stopse2"); };
    host.PlayVoice = [this](const std::string& name, TFileMan*) { Calls.push_back("voice " + name); };
    host.StopVoice = [this] { Calls.push_back("stopvoice"); };
    host.IsSEPlaying = [] { return false; };
    host.SetTransition = [this](int effect, TVeRGBBits* a, TVeRGBBits* b) {
        Effects.push_back(effect);
        MemMan->Delete(a);
        MemMan->Delete(b);
        return Accept;
    };
    host.IsTransitionIdle = [this] { return Idle; };
    host.AdvanceTransition = [](int) {};
    host.EndTransition = [] {};
    host.DrawTransition = [](TVeRGBBits*, TVeRectSet*) {};
}

TSceneWorld::~TSceneWorld()
{
    Unit().DetachPopup();
    if (Unit().ResourcesReady)
        Unit().ReleaseResources();
    if (FPopup) {
        FPopup->Release();
        delete FPopup;
    }
    PopupWin = nullptr;
    PackFileMan = nullptr;
    if (FMemMan) {
        delete FMemMan;
        MemMan = nullptr;
        FOwner.reset();
    }
    SetCurrentDir(FSavedCwd);
}

void TSceneWorld::Background(int number, const std::string& ext)
{
    char name[64];
    std::snprintf(name, sizeof name, "EvBG_Pak/zbbg%03d.%s", number, ext.c_str());
    Script.Folder().Write(name, MakeJpeg(MakePatternPicture(640, 480), 90));
}

void TSceneWorld::Figure(int number, int width, int height)
{
    char name[64];
    std::snprintf(name, sizeof name, "EvCG_Pak/zbchr%03d.png", number);
    Script.Folder().Write(name, MakePng(MakePatternPicture(width, height, true), TPngKind::InterlacedRgba));
}

void TSceneWorld::EyeStrip(int number, const std::string& ext)
{
    char name[64];
    std::snprintf(name, sizeof name, "EvCG_Pak/zbeye%03d.%s", number, ext.c_str());
    const TDecodedPicture strip = MakePatternPicture(20, 10, ext == "png");
    Script.Folder().Write(name, ext == "png" ? MakePng(strip, TPngKind::InterlacedRgba) : MakeBmp(strip, TBmpKind::Rgb24));
}

void TSceneWorld::EyeTable(const std::string& csv)
{
    Script.Folder().Write("EvCG_Pak/EyeAnime.csv", csv);
}

bool TSceneWorld::Prepare(bool withSnow)
{
    if (withSnow)
        Script.Folder().Write("Snow.bmp", MakeBmp(MakePatternPicture(50, 14), TBmpKind::Rgb24));
    const bool scenario = Script.Init();
    Unit().ResourcesReady = false;
    Unit().PackFile = &Script.Files();
    PackFileMan = &Script.Files();
    FPopup = new TPopupWin(nullptr);
    PopupWin = FPopup;
    FPopup->Setup(&Script.Files());
    const bool resources = Unit().CreateResources();
    Unit().AttachPopup();
    return scenario && resources;
}

bool TSceneWorld::Start(const std::string& body)
{
    Script.Add("Main.Wps", SceneScript(body));
    EXPECT_TRUE(Prepare());
    return Script.StartFirst();
}

void TSceneWorld::Frames(int n, int steps)
{
    for (int i = 0; i < n; ++i)
        Unit().FrameUpdate(steps);
}

int TSceneWorld::FramesUntilPhase(std::initializer_list<int> phases, int limit)
{
    for (int i = 0; i < limit; ++i) {
        for (int p : phases)
            if (Unit().Phase == p)
                return i;
        Unit().FrameUpdate(1);
    }
    ADD_FAILURE() << "phase not reached, now " << int(Unit().Phase);
    return limit;
}
