#pragma once
// The movie player: one movie full screen (the opening, the chapter movies, the endings). The
// movie's pictures are written, stretched to 640 x 480 in the screen's format, into a surface
// that is the image of the unit's only panel; its sound track plays as its own voice on the
// sound device. The unit signals the game thread with 0 once, when the movie ends, fails or
// the player presses a mouse button on it.
//
// The multimedia stream is the media layer's TVeMovie here: its decoder's picture queue stands
// for the stream sample and its surface, and the copy of a due picture into the panel's
// surface stands for the sample update and the blit. The open steps keep their log lines;
// steps that cannot fail here are noted where they would be.
//
// Threads: CreateResources, OpenMovie, Play, CloseMovie and ReleaseResources on the game
// thread outside its wait; Update and the mouse handler on the thread that runs frames.

#include <string>

#include "panels/Vergbpanel.h"
#include "platform/Classes.h"
#include "platform/Input.h"

class TFileMan;
class TVeMovie;
class TVeRGBBits;
struct TMovieUpdate;

// The stream set-up the movie screens share: "Movie\" + name, pictures for the screen's depth.
// Each failing step adds its line to the error log and returns false; what was made is left in
// stream for CloseScreenMovie.
bool OpenScreenMovie(const std::string& name, TVeMovie*& stream);
// Stops the stream when it was open (after the silent buffer, so the sound device is not left
// mid-sound), frees it and clears the pointer.
void CloseScreenMovie(TVeMovie*& stream, bool opened);
// Starts the stream from time 0 with 640 x 480 pictures in the screen's depth.
bool PlayScreenMovie(TVeMovie* stream);
// At the end of a movie: one that could not be played, or was cut short or damaged, is named
// in the log with the cause, once for that file and cause.
void NoteScreenMovieEnd(TVeMovie* stream, const TMovieUpdate& result);
// A 640 x 480 surface in the screen's format, registered with MemMan (DeleteMade frees it); logs
// "DirectSurface CreateError" and returns null on failure.
TVeRGBBits* CreateScreenSurface();

// Movie file names by the configured movie quality (0 low, 1 normal, 2 high): the story's
// movies ("ZBCH", "ZBOP", "ZBED14"...) come in "LQ" at quality 0 and "NQ" otherwise; the
// mini-game's in all three.
std::string StoryMovieName(const std::string& base, int quality);
std::string BatonMovieName(int quality);

class TMovieUnit : public TComponent {
public:
    explicit TMovieUnit(TComponent* Owner);
    ~TMovieUnit() override;

    bool CreateResources(TFileMan* fileMan);
    void ReleaseResources();
    bool OpenMovie(const std::string& name);
    void Play();
    // The frame procedure; the number of logic steps is not used.
    void Update(int steps);
    void Stop();
    void CloseMovie();

    void MoviePanelMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void PanelCreate(TObject* Sender);
    void PanelRelease(TObject* Sender);

    bool IsOpened() const { return Opened; }
    bool IsPlaying() const { return Playing; }
    bool HasResources() const { return ResourcesCreated; }
    TVeRGBBits* GetSurface() const { return Surface; }
    // The stream, for its test seams (clock); null while nothing is open.
    TVeMovie* GetStream() const { return Stream; }

    TVeRGBPanel* MoviePanel;

private:
    bool ResourcesCreated = false;
    TFileMan* FileMan = nullptr;
    bool Opened = false;
    TVeMovie* Stream = nullptr;
    TVeRGBBits* Surface = nullptr;
    bool Playing = false;
    // A movie that could not start ends on the first frame: a signal raised before the game
    // thread waits would be lost, and the thread would wait for ever.
    bool EndPending = false;
};

extern TMovieUnit* MovieUnit;
