#pragma once
// The first form of the application: it shows while the program starts and, on the first idle
// moment, creates and shows the game form, then hides. It owns the game form and deletes it
// when it is destroyed.

#include <cstdint>
#include <vector>

#include "platform/Classes.h"
#include "platform/SplashWindow.h"

class TSplashForm : public TComponent {
public:
    explicit TSplashForm(TComponent* owner);
    ~TSplashForm() override;

    void FormCreate(TObject* sender);
    void AppIdle(TObject* sender, bool& done);
    void FormDestroy(TObject* sender);
    bool Visible() const { return FVisible; }

private:
    bool FVisible = true;
    TSplashWindow FWindow;
};

extern TSplashForm* SplashForm;

// The picture the splash shows: 320x240 pixels 0x00RRGGBB, rows top-down.
std::vector<uint32_t> SplashPicture();

// The program: working folder, single instance, switches, the loop. Returns the exit code: 0
// after the player's close, a close signal, or when another instance runs; 1 after a start
// that failed or an end the player did not ask for. Whatever escapes the loop is dropped
// after the instance lock is released, and gives 1.
int GameMain(int argc, const char* const* argv);
