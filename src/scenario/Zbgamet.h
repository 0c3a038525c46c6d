#pragma once
// The game-flow thread: the title screen and its sub-screens, a new game or a chosen chapter,
// the story loop of scenes, movies and the mini-game, and the saving of the system data, all
// as sequential code on the game thread.
//
// Every screen unit is made through MemMan, set up with PackFileMan, attached, waited for, then
// detached, released and deleted however the step is left, so that EGameEnd unwinding the
// thread (a close request, Exit, a scene's quit) still frees it.
//
// It lives beside the scene unit because it drives it; the program installs it as the main
// form's game thread (TGameForm::SetGameThreadFactory(CreateGameThread)).

#include <cstdint>
#include <functional>
#include <string>

#include "game/Maint.h"

class TGameForm;
class TVeRGBPanel;

// The next step of the story loop: 0 a scene, 1 the chapter movie, 2 the mini-game,
// 3 the opening movie, 4 an ending movie; -1 (no trigger left) leaves the story.
using TStoryStep = int8_t;

class TZBGameThread : public TMainThread {
public:
    // Runs on the creating thread: reads the message-box settings and loads the saved data.
    TZBGameThread();

    // The settings screen's exit while the title owns it.
    void ClearSignal();

    bool SceneUnitsCreated = false;
    bool Leave = false;
    TStoryStep StoryStep = 0;
    int ChosenEpisode = 0;
    int ChosenScene = 0;
    bool ChapterChosen = false;
    int ScriptIndex = -1;
    int TriggerEntry = 0;

protected:
    void Run() override;
    void GameEnded() override;

    void PlayMovie(const std::string& name);
    void NewGame();
    void ChapterStart();
    void StoryLoop();
    void CreateSceneUnits();
    void DeleteSceneUnits();
    void RunScene();
    void RunBaton();
    void TitleMenu();

private:
    // Both ways into the story: the scene units live until the story loop ends, however it ends.
    void StartStory(bool fromChapter, int episode, int scene);
    // The one screen panel on the form, detached again by Hide and by unwinding.
    void Show(TVeRGBPanel* panel);
    void Hide();
    // Detaches the shown panel, lets prepare set up the next one, fades it in and attaches it.
    void SwitchTo(int effect, TVeRGBPanel* panel, const std::function<void()>& prepare = nullptr);
    // Lets the player act on the shown screen and answers the signal it ends with.
    int AwaitSignal();
    // Attaches a screen that runs frames of its own: its panel, its frame procedure and the
    // form state begin puts the form in, with fresh frame counters.
    void ShowScreen(TVeRGBPanel* panel, std::function<void(int)> frameProc, void (TGameForm::*begin)());
    // Takes the shown screen off before its unit goes: no panel, no frame procedure, no drawing
    // hook, and no frame pass still running any of them.
    void TakeOffScreen();
    // Shows such a screen with the given cursor type, lets start set it going and waits for its
    // signal; then takes it off and gives the normal cursor back.
    void PlayScreen(int cursor, TVeRGBPanel* panel, std::function<void(int)> frameProc, void (TGameForm::*begin)(),
                    const std::function<void()>& start);
    // A movie screen (the movie player or the mini-game): a unit that cannot be made ends the
    // game; resources that cannot be made are logged with failure and skip the step (false).
    template <class T>
    bool CreateMovieScreen(T*& unit, const char* failure);
    // Takes a movie screen off, closes its movie, releases and deletes it (if it was made).
    template <class T>
    void DeleteMovieScreen(T*& unit);
    TVeRGBPanel* FShown = nullptr;
};

// A new game-flow thread, not started yet.
TMainThread* CreateGameThread();
