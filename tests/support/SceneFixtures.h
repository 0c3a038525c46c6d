#pragma once
// A scene unit with its resources and the popups, over generated pictures in a scratch folder
// (which is also the working folder, where the scene archives' folders are looked for). The
// main form's services are recorded: sounds as lines in Calls, transitions as their effects,
// accepted or refused by Accept and idle by Idle. The world sets the game's globals (the
// registry, the popups, the main archive): one world at a time.

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "platform/Classes.h"
#include "support/ScriptFixtures.h"

class TMemMan;
class TPopupWin;

// A scene script: trigger of group 0 starting at Main.
std::string SceneScript(const std::string& body, const std::string& extra = std::string());

class TSceneWorld {
public:
    // With useForm the main form already made (GameForm) serves sounds and transitions, and its
    // registry is used.
    explicit TSceneWorld(bool useForm = false);
    ~TSceneWorld();
    TSceneWorld(const TSceneWorld&) = delete;
    TSceneWorld& operator=(const TSceneWorld&) = delete;

    // Pictures in the scene archives' folders.
    void Background(int number, const std::string& ext = "jpg");
    void Figure(int number, int width, int height);
    void EyeStrip(int number, const std::string& ext = "png");
    void EyeTable(const std::string& csv);

    // Sets up the unit and the popups; false when a step fails.
    bool Prepare(bool withSnow = true);
    // Prepare, then the scene whose body is given; answers StartScript's result.
    bool Start(const std::string& body);
    // n frames of the scheduler, with the given steps each.
    void Frames(int n, int steps = 1);
    // Frames until the phase is one of those given (at most limit frames); the frames taken.
    int FramesUntilPhase(std::initializer_list<int> phases, int limit = 200);

    TAvgUnit& Unit() { return Script.Unit(); }
    TScriptWorld Script;
    std::vector<std::string> Calls;
    std::vector<int> Effects;
    bool Accept = true;
    bool Idle = true;

private:
    std::string FSavedCwd;
    // The registry's owner, which deletes the components it made.
    std::unique_ptr<TComponent> FOwner;
    TMemMan* FMemMan = nullptr;
    TPopupWin* FPopup = nullptr;
};
