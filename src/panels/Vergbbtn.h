#pragma once
// The button: a panel whose image strip holds up to five patterns (normal, focus, selected,
// down, disable) in this order, each one or more animation frames long. The button shows the
// pattern that fits its state, steps through its frames on the animation tick, and raises
// OnClick only while enabled.

#include <cstdint>

#include "panels/Vergbpanel.h"

enum TBtnAnimeType : uint8_t { batWraparound, batRoundtrip };

class TVeRGBBtn : public TVeRGBPanel {
public:
    explicit TVeRGBBtn(TComponent* Owner);
    // Keeps the panel's 640 x 480 size.
    TVeRGBBtn(TComponent* Owner, TVeRGBPanel* Parent);

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool v);
    bool Selected() const { return FSelected; }
    void SetSelected(bool v);
    // Frame counts of the patterns; each setter keeps NumBlock equal to their sum.
    int PatNormal() const { return FPatNormal; }
    void SetPatNormal(int v);
    int PatFocus() const { return FPatFocus; }
    void SetPatFocus(int v);
    int PatSelected() const { return FPatSelected; }
    void SetPatSelected(int v);
    int PatDown() const { return FPatDown; }
    void SetPatDown(int v);
    int PatDisable() const { return FPatDisable; }
    void SetPatDisable(int v);
    // Animation ticks per frame step (0 steps every tick, as 1 does).
    int AnimeWait() const { return FAnimeWait; }
    void SetAnimeWait(int v);
    TBtnAnimeType AnimeType() const { return FAnimeType; }
    void SetAnimeType(TBtnAnimeType v);

    // Shows the first block of the current state's pattern and restarts the frame timing.
    void ChangeState();

    void CallOnClick() override;
    void CallOnMouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void CallOnMouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void CallOnMouseEnter() override;
    void CallOnMouseLeave() override;
    void CallOnAnime() override;
    void StatusClear() override;

private:
    struct TBlockRange {
        int Lo;
        int Hi;  // exclusive
    };
    TBlockRange StateRange() const;
    void SetPattern(int& field, int v, int minimum);
    void InitFields();

    bool FEnabled = true;
    bool FSelected = false;
    int FPatNormal = 1;
    int FPatFocus = 0;
    int FPatSelected = 0;
    int FPatDown = 0;
    int FPatDisable = 0;
    int FAnimeWait = 1;
    TBtnAnimeType FAnimeType = batWraparound;
    int FAnimeCount = 0;
    bool FForward = true;
    bool FMouseInside = false;
};
