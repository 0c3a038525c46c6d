#pragma once
// A shown main form with a scratch game folder, pictures made on demand in its "ZB_Pak", and an
// unstarted game thread that only collects the signals the menu screens raise.

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "GameFormHarness.h"
#include "base/Vepicture.h"
#include "game/Zbfunc.h"
#include "media/Veacm.h"
#include "panels/Vergbpanel.h"
#include "platform/Streams.h"
#include "support/Pictures.h"

class MenuHarness : public GameFormHarness {
protected:
    void SetUp() override
    {
        GameFormHarness::SetUp();
        ASSERT_TRUE(StartForm());
        MainThread.store(&Signals);
    }

    void TearDown() override
    {
        MainThread.store(nullptr);
        GameFormHarness::TearDown();
    }

    // A picture of one flat colour, fully opaque where it has alpha.
    static TDecodedPicture Flat(int w, int h, uint32_t rgb, bool withAlpha)
    {
        TDecodedPicture p;
        p.Width = w;
        p.Height = h;
        p.Pixels.resize(size_t(w) * h * 3);
        for (size_t i = 0; i < p.Pixels.size(); i += 3) {
            p.Pixels[i] = uint8_t(rgb);
            p.Pixels[i + 1] = uint8_t(rgb >> 8);
            p.Pixels[i + 2] = uint8_t(rgb >> 16);
        }
        if (withAlpha)
            p.Alpha.assign(size_t(w) * h, 255);
        return p;
    }

    void WritePicture(const std::string& name, int w, int h, uint32_t rgb = 0x336699)
    {
        const std::string path = "ZB_Pak/" + name;
        if (name.size() > 4 && name.substr(name.size() - 4) == ".jpg")
            Folder.Write(path, MakeJpeg(Flat(w, h, rgb, false)));
        else
            Folder.Write(path, MakePng(Flat(w, h, rgb, true), TPngKind::InterlacedRgba));
    }

    void WriteEventPicture(int number, int w, int h)
    {
        TMemoryStream stream;
        ASSERT_TRUE(EncodeGny(&stream, GnyBuiltinKeyTable.data(), Flat(w, h, 0x808080, false)));
        const uint8_t* bytes = stream.Memory();
        char name[32];
        std::snprintf(name, sizeof name, "EvBG_Pak/zbbg%03d.lzh", number);
        Folder.Write(name, TByteVector(bytes, bytes + stream.GetSize()));
    }

    // A short sound the screens can play, and a way to tell whether one was played since.
    void WriteSounds()
    {
        const std::vector<int16_t> samples(64, 1000);
        for (const char* name : {"btn_1.adp", "btn_3.adp"})
            Folder.Write(std::string("ZB_Pak/") + name, DirectX::EncodeAdp(samples.data(), 64, 1, 22050));
    }
    std::string TakeSound()
    {
        std::string name = Form->SEName;
        Form->StopSE();
        Form->SEName.clear();
        return name;
    }

    // A left click at (x, y) of the root's coordinates, routed through the panel tree.
    static void Click(TVeRGBPanel* root, int x, int y)
    {
        root->MouseDown(mbLeft, TShiftState(ssLeft), x, y);
        root->MouseUp(mbLeft, TShiftState(), x, y);
    }

    // The last signal raised since the previous call, or INT_MIN when none was.
    int TakeSignal()
    {
        if (!Signals.SignalFlag.exchange(false))
            return INT_MIN;
        return Signals.SignalValue.load();
    }

    bool LogHas(const std::string& text) const
    {
        for (const std::string& line : LogLines())
            if (line.find(text) != std::string::npos)
                return true;
        return false;
    }

    TMainThread Signals;
};
