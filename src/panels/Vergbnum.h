#pragma once
// The number panel: draws Number as right-aligned decimal digits, at most Column of them and
// without leading zeros, from an image strip of the ten digit glyphs 0 to 9 stacked vertically
// (each image height / 10 rows high and as wide as the image).

#include "panels/Vergbpanel.h"

class TVeRGBNum : public TVeRGBPanel {
public:
    explicit TVeRGBNum(TComponent* Owner);
    // As the owner-only constructor, with NumBlock 10.
    TVeRGBNum(TComponent* Owner, TVeRGBPanel* Parent);

    // The most digits drawn, 0 to 10.
    int Column() const { return FColumn; }
    void SetColumn(int v);
    int Number() const { return FNumber; }
    void SetNumber(int v);
    // Marks the panel for redrawing when it is shown and has an image.
    void ChangeState();

    bool CallOnDraw(TVeRGBBits* DestBits, int X, int Y, int SX, int SY, int DX, int DY) override;

protected:
    // The digits leave the cells left of the number and the rows below them undrawn.
    bool CoversArea() const override { return false; }

private:
    void InitFields();

    int FColumn = 1;
    int FNumber = 0;
};
