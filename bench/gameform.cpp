// The cost of one rendered frame of the main form: a still screen with a moving cursor (what
// every idle frame does), with the frame-rate box, and a full frame.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "base/Vepicture.h"
#include "base/Vergbdib.h"
#include "game/Gamef.h"
#include "game/Zbdata.h"
#include "platform/Dialogs.h"
#include "platform/Forms.h"

namespace {

class TMemoryDisplay : public TGameDisplay {
public:
    int Version() override { return 0x700; }
    bool DesktopMode(int& w, int& h, int& bits) override
    {
        w = 1024, h = 768, bits = 32;
        return true;
    }
    void EnumDisplayModes(std::vector<TGameDisplayMode>& modes) override { modes = {{bd32, pf32_888, true}}; }
    void Configure(TBitDepth, bool, bool) override {}
    void SetNoVSync(bool) override {}
    bool Enable() override
    {
        FSurface = std::make_unique<TVeRGBDib>(nullptr);
        FSurface->SetBitDepth(bd32);
        return FSurface->Create();
    }
    void Disable() override { FSurface.reset(); }
    bool Enabled() override { return FSurface != nullptr; }
    TBitDepth BitDepth() override { return bd32; }
    TVeRGBBits* Surface() override { return FSurface.get(); }
    TVeRGBBits* CreateSurface(TBitDepth depth, TPixFormat format, int width, int height) override
    {
        auto s = std::make_unique<TVeRGBDib>(nullptr);
        s->SetBitDepth(depth);
        s->SetPixFormat(format);
        return s->Resize(width, height) && s->Create() ? s.release() : nullptr;
    }
    void Flip() override {}
    void FlipModifyRect(const TVeRectSet&) override {}
    void SetModifyRect(const TVeRect&) override {}
    bool CursorPos(int& x, int& y) override
    {
        x = CursorX, y = 200;
        return true;
    }
    bool AppActive() override { return true; }
    void ShowWindow(const std::string&, bool) override {}
    void PumpEvents(int, const TDisplayEventHandler&) override {}
    void WaitPresented(int) override {}

    static inline int CursorX = 100;

private:
    std::unique_ptr<TVeRGBDib> FSurface;
};

void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A shown form in window mode (so with a drawing surface to convert from) in a folder of
// plain pictures.
struct TBenchForm {
    TBenchForm()
    {
        Folder = std::filesystem::temp_directory_path() / ("zb-bench-" + std::to_string(getpid()));
        TDecodedPicture picture;
        picture.Width = 256;
        picture.Height = 352;
        picture.Pixels.assign(size_t(256) * 352 * 3, 0x80);
        picture.Alpha.assign(size_t(256) * 352, 0xC0);
        std::vector<uint8_t> png;
        EncodePng(png, picture);
        for (const char* name : {"Cursor.png", "Cap_Logo.png", "Cap_Copy.png", "Wait.png"})
            WriteFile(Folder / "ZB_Pak" / name, png);
        ZbdataStart();
        SetGameFolder(Folder.string());
        SetMessageBoxHandler([](const std::string&, const std::string&) {});
        SetGameDisplayFactory([] { return std::make_unique<TMemoryDisplay>(); });
        TGameForm::SetGameThreadFactory([] { return static_cast<TMainThread*>(nullptr); });
        Application = new TApplication();
        WindowMode = true;
        Form = new TGameForm(nullptr, "ZB", false);
        GameForm = Form;
        Form->FormCreate(Form);
        Form->Show();  // the wait picture is missing on purpose: no thread runs
    }
    ~TBenchForm()
    {
        delete Form;
        GameForm = nullptr;
        delete Application;
        Application = nullptr;
        ZbdataFinish();
        std::filesystem::remove_all(Folder);
    }
    std::filesystem::path Folder;
    TGameForm* Form = nullptr;
};

void BM_StillScreenMovingCursor(benchmark::State& state)
{
    TBenchForm bench;
    ShowFPS = state.range(0) != 0;
    bench.Form->State = gsMenu;
    for (auto _ : state) {
        TMemoryDisplay::CursorX = TMemoryDisplay::CursorX == 100 ? 140 : 100;
        bench.Form->Render(1);
    }
    ShowFPS = false;
}
BENCHMARK(BM_StillScreenMovingCursor)->Arg(0)->Arg(1);

void BM_ForceRender(benchmark::State& state)
{
    TBenchForm bench;
    bench.Form->State = gsMenu;
    for (auto _ : state)
        bench.Form->ForceRender();
}
BENCHMARK(BM_ForceRender);

}  // namespace

BENCHMARK_MAIN();
