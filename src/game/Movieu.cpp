#include "game/Movieu.h"

#include <new>

#include "base/Vememman.h"
#include "base/Vergbbits.h"
#include "game/Gamef.h"
#include "game/Maint.h"
#include "game/Movieuconst.h"
#include "game/Zbdata.h"
#include "game/Zbfunc.h"
#include "game/Zbglobals.h"
#include "media/Vemovie.h"

TMovieUnit* MovieUnit = nullptr;

namespace {

bool Fail(const char* line)
{
    if (ErrLog)
        ErrLog->Add(line);
    return false;
}

bool ScreenDepthServed() { return BitDepth == bd24 || BitDepth == bd32; }

// The open step whose line a failed file open leaves: no file (or none that can be read) fails
// opening it, a file without pictures getting its video stream, a video stream without a
// decoder asking it for pictures, and an unusable picture size reading its format.
const char* OpenStepLine(TMovieOpenStep step)
{
    switch (step) {
    case TMovieOpenStep::Memory: return LogStreamCreate;
    case TMovieOpenStep::VideoStream: return LogVideoGet;
    case TMovieOpenStep::VideoDecoder:
    case TMovieOpenStep::Libraries: return LogVideoQuery;
    case TMovieOpenStep::PictureSize: return LogGetFormat;
    default: return LogOpenFile;
    }
}

}  // namespace

bool OpenScreenMovie(const std::string& name, TVeMovie*& stream)
{
    const std::string path = MovieFolder + name;
    // Creating the stream object; its set-up with a read-only stream has nothing that can fail.
    if (stream == nullptr)
        stream = new (std::nothrow) TVeMovie(GameForm ? GameForm->DSound : nullptr);
    if (stream == nullptr)
        return Fail(LogStreamCreate);
    // The video goes to the display: without one there is nowhere to show it.
    if (GameForm == nullptr || GameForm->Display() == nullptr || !GameForm->Display()->Enabled())
        return Fail(LogVideoAdd);
    // The sound track joins the sound device when there is one and is left out otherwise, as a
    // default renderer would be; that step cannot fail here. The file's streams are found when
    // it is opened: a failure names the step that stands for what was missing.
    if (!stream->Open(path)) {
        const TMovieOpenStep step = stream->Decoder().FailedStep();
        if (step == TMovieOpenStep::Libraries) {
            // Without the libraries every movie fails alike; the real cause is told with the first.
            const std::string cause = TMovieDecoder::TakeLibraryFailure();
            if (!cause.empty())
                Fail(cause.c_str());
        } else if (ErrLog) {
            // The decoder's reason names the file and the cause; the step's line keeps its words.
            ErrLog->Add(stream->Decoder().LastError());
        }
        return Fail(OpenStepLine(step));
    }
    // A sound track that cannot be played leaves the movie silent, which the player would take
    // for a sound setting.
    if (ErrLog && !stream->Decoder().SoundError().empty())
        ErrLog->AddOnce(stream->Decoder().SoundError());
    // The pictures are delivered in the forced format: 24- or 32-bit blue, green, red, which is
    // pf24_888 and pf32_888 (red 0xFF0000, green 0xFF00, blue 0xFF).
    if (!ScreenDepthServed())
        return Fail(LogSetFormat);
    // The sample and its surface are the decoder's picture queue, made when playing starts.
    return true;
}

void CloseScreenMovie(TVeMovie*& stream, bool opened)
{
    if (opened && stream) {
        if (GameForm)
            GameForm->PlayMuteBuffer();
        stream->Stop();
    }
    delete stream;
    stream = nullptr;
}

bool PlayScreenMovie(TVeMovie* stream)
{
    return stream && stream->Play(640, 480, BitDepth);
}

void NoteScreenMovieEnd(TVeMovie* stream, const TMovieUpdate& result)
{
    if (stream && ErrLog && (result.Failed || result.Damaged))
        ErrLog->AddOnce(stream->LastError());
}

std::string StoryMovieName(const std::string& base, int quality)
{
    return base + (quality == 0 ? "LQ.mpg" : "NQ.mpg");
}

std::string BatonMovieName(int quality)
{
    return quality == 2 ? "ZBFBHQ.mpg" : quality == 1 ? "ZBFBNQ.mpg" : "ZBFBLQ.mpg";
}

TVeRGBBits* CreateScreenSurface()
{
    TVeRGBBits* surface = nullptr;
    if (GameForm && GameForm->Display() && ScreenDepthServed()) {
        bool deep = BitDepth == bd32;
        surface = GameForm->Display()->CreateSurface(deep ? bd32 : bd24, deep ? pf32_888 : pf24_888, 640, 480);
    }
    if (surface == nullptr || !surface->Created()) {
        delete surface;
        Fail(LogSurfaceCreate);
        return nullptr;
    }
    if (MemMan)
        MemMan->AddPtr(surface);
    return surface;
}

TMovieUnit::TMovieUnit(TComponent* Owner) : TComponent(Owner)
{
    MoviePanel = new TVeRGBPanel(this);
    MoviePanel->SetSizeX(640);
    MoviePanel->SetSizeY(480);
    MoviePanel->OnMouseDown = [this](TObject* sender, TMouseButton button, TShiftState shift, int x, int y) {
        MoviePanelMouseDown(sender, button, shift, x, y);
    };
}

TMovieUnit::~TMovieUnit()
{
    // Also after a failed open the caller did not close: the stream must not outlive the unit.
    if (Opened || Stream)
        CloseMovie();
    if (ResourcesCreated)
        ReleaseResources();
    if (MovieUnit == this)
        MovieUnit = nullptr;
}

bool TMovieUnit::CreateResources(TFileMan* fileMan)
{
    FileMan = fileMan;
    MoviePanel->AllCreate();
    Surface = CreateScreenSurface();
    if (Surface == nullptr) {
        MoviePanel->AllRelease();
        return false;
    }
    MoviePanel->SetImage(Surface);
    ResourcesCreated = true;
    return true;
}

void TMovieUnit::ReleaseResources()
{
    if (!ResourcesCreated)
        return;
    MoviePanel->AllRelease();
    MoviePanel->SetImage(nullptr);
    DeleteMade(MemMan, Surface);
    ResourcesCreated = false;
}

bool TMovieUnit::OpenMovie(const std::string& name)
{
    if (Opened || Stream)
        CloseMovie();
    if (!OpenScreenMovie(name, Stream))
        return false;
    Opened = true;
    return true;
}

void TMovieUnit::Play()
{
    EndPending = false;
    if (!Opened || Surface == nullptr || !PlayScreenMovie(Stream)) {
        Playing = false;
        EndPending = true;
        return;
    }
    Playing = true;
}

void TMovieUnit::Update(int /*steps*/)
{
    if (EndPending) {
        EndPending = false;
        MainThreadSignal(0);
        return;
    }
    if (!Opened || !Playing)
        return;
    TMovieUpdate result = Stream->Update(Surface);
    if (result.NewPicture)
        MoviePanel->SetModify();
    if (result.Ended || result.Failed) {
        NoteScreenMovieEnd(Stream, result);
        Stop();
    }
}

void TMovieUnit::Stop()
{
    if (Stream && Stream->GetState() == msRun)
        Stream->Stop();
    Playing = false;
    MainThreadSignal(0);
}

void TMovieUnit::CloseMovie()
{
    CloseScreenMovie(Stream, Opened);
    Opened = false;
    Playing = false;
    EndPending = false;
}

void TMovieUnit::MoviePanelMouseDown(TObject*, TMouseButton, TShiftState, int, int)
{
    if (Playing)
        Stop();
}

void TMovieUnit::PanelCreate(TObject* Sender)
{
    if (auto* panel = dynamic_cast<TVeRGBPanel*>(Sender))
        LoadPanelImage(panel, panel->GetText(), FileMan);
}

void TMovieUnit::PanelRelease(TObject* Sender)
{
    if (auto* panel = dynamic_cast<TVeRGBPanel*>(Sender))
        ReleasePanelImage(panel);
}
