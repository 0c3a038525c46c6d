#pragma once
// A main form on the recording display and root, in a scratch game folder, with message boxes
// recorded and the game thread left out unless a test installs one.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "game/Gamef.h"
#include "game/Maint.h"
#include "game/Zbdata.h"
#include "platform/Dialogs.h"
#include "platform/Forms.h"
#include "support/ArchiveFixtures.h"
#include "support/GameFormFixtures.h"
#include "support/HangGuard.h"

class GameFormHarness : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZbdataStart();
        Boxes.clear();
        Pictures = gpAll;
        ScriptFolder = true;
        SavedCwd = GetCurrentDir();
        SetGameFolder(Folder.Path());
        App = new TApplication();
        Application = App;
        Config = std::make_shared<TRecordingDisplayConfig>();
        SetGameDisplayFactory([this] {
            auto display = std::make_unique<TRecordingDisplay>(Config);
            Display = display.get();
            return display;
        });
        SetGameRootFactory([this] {
            auto root = std::make_unique<TRecordingRoot>();
            Root = root.get();
            return root;
        });
        TGameForm::SetGameThreadFactory([] { return static_cast<TMainThread*>(nullptr); });
        PreviousBox = SetMessageBoxHandler(
            [this](const std::string& text, const std::string& caption) { Boxes.push_back(caption + ": " + text); });
        WindowMode = true;
        ShowFPS = false;
    }

    void TearDown() override
    {
        delete Form;
        Form = nullptr;
        GameForm = nullptr;
        SetGameDisplayFactory(nullptr);
        SetGameRootFactory(nullptr);
        TGameForm::SetGameThreadFactory(nullptr);
        SetMessageBoxHandler(PreviousBox);
        delete App;
        Application = nullptr;
        SetCurrentDir(SavedCwd);
        ZbdataFinish();
        WindowMode = false;
        ShowFPS = false;
    }

    // Creates and shows the form. With manual frames the timer is stopped and a pump pass
    // does not wait, so the test decides what falls due.
    bool StartForm(bool manualFrames = true)
    {
        std::filesystem::remove_all(Folder.Path() + "/ZB_Pak");
        WriteGamePictures(Folder.Path(), Pictures);
        if (ScriptFolder)
            std::filesystem::create_directories(Folder.Path() + "/Script_pak");
        else
            std::filesystem::remove_all(Folder.Path() + "/Script_pak");
        Form = new TGameForm(nullptr, "ZB", false);
        GameForm = Form;
        Form->PumpWait = FormPumpWait;
        Form->HookProbe = FormHookProbe;
        if (!Form->HookProbe)
            Form->HookProbe = LingerProbe(Form);
        Form->FormCreate(Form);
        Form->Show();
        if (manualFrames) {
            Form->GameTimer->SetEnabled(false);
            Form->PumpWait = [](TFPSMode) {};
            // The wait thread parks once it has seen the idle state; only then may a test
            // enter the busy state without that thread pumping too.
            while (Form->WaitThread && !Form->WaitThread->Suspended())
                std::this_thread::yield();
        }
        return Form->GetState() == gsIdle;
    }

    std::vector<std::string> LogLines() const
    {
        std::vector<std::string> lines;
        for (size_t i = 0; ErrLog && i < ErrLog->Count(); ++i)
            lines.push_back(ErrLog->Line(i));
        return lines;
    }

    // Runs what the form posted to the interface thread.
    void RunPosted() { App->ProcessMessages(); }

    // With ZB_TEST_HOOK_LINGER_US set, the wait thread stays that many microseconds in every
    // screen hook call it makes and after each pass's state check, which widens the windows in
    // which a screen could be taken off or started under it (a stress run, not a test of its own).
    static std::function<void(TGameForm::THookKind)> LingerProbe(TGameForm* form)
    {
        const char* linger = std::getenv("ZB_TEST_HOOK_LINGER_US");
        const long us = linger ? std::strtol(linger, nullptr, 10) : 0;
        if (us <= 0)
            return nullptr;
        return [form, us](TGameForm::THookKind) {
            if (form->WaitThread && form->WaitThread->IsCurrent())
                std::this_thread::sleep_for(std::chrono::microseconds(us));
        };
    }

    TScratchFolder Folder;
    int Pictures = gpAll;
    bool ScriptFolder = true;  // the scripts' folder, empty, stands in for their archive
    std::string SavedCwd;
    TApplication* App = nullptr;
    std::shared_ptr<TRecordingDisplayConfig> Config;
    TRecordingDisplay* Display = nullptr;
    TRecordingRoot* Root = nullptr;
    TGameForm* Form = nullptr;
    // Given to the form before it is shown (its threads read them unguarded).
    std::function<void(TFPSMode)> FormPumpWait;
    std::function<void(TGameForm::THookKind)> FormHookProbe;
    std::vector<std::string> Boxes;
    TMessageBoxHandler PreviousBox;
};
