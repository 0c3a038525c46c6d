#pragma once
// The resource file manager: every data file is opened by name through one, from an archive
// (TVePack) or from a folder. Names follow the game's rules in both modes: a backslash (or a
// slash) separates folders and letters match without regard to case. Both modes look a name up
// under its one spelling (VePackNormalName), so they serve and refuse the same names; an
// absolute name or one with a ".." component is refused, so no caller can reach outside the
// source.
//
// Thread safety: Open, Close, FileIsExist, NameIsTaken, FindFirst/FindNext and InitPack/InitDir
// may be called from several threads; the source and the list of open streams are guarded by one
// mutex. Archive members are read with positioned reads outside that mutex, so different
// threads restore members at the same time. Each returned stream belongs to one thread at a time,
// and a manager holds one enumeration: FindFirst restarts it for every thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "archive/Vepack.h"
#include "platform/Classes.h"
#include "platform/Streams.h"

// Called with the manager and the message ("FileOpenErr Call(...)") when Open fails.
using TFileManErrorEvent = std::function<void(TObject* sender, const std::string& message)>;

class TFileMan : public TComponent {
public:
    explicit TFileMan(TComponent* owner);
    ~TFileMan() override;

    // Makes the named archive the source; false when it cannot be opened or is not a valid
    // archive (the reason in failure when given), and the manager then has no source. Streams
    // already opened stay valid.
    bool InitPack(const std::string& archiveName, std::string* failure = nullptr);
    // Makes the named folder the source (relative names resolve against the current directory
    // now, not at each Open); the result says whether the folder exists.
    bool InitDir(const std::string& folderName);

    // A stream over the named member or file, positioned at 0; null when it does not exist or
    // cannot be read (after calling OnError when assigned), with the reason in failure when
    // given: the source and what failed, such as "Script.pak: CRC mismatch". Close it through
    // this manager.
    TStream* Open(const std::string& name, std::string* failure = nullptr);
    // Drops the stream from the list, deletes it and nulls the reference. A null reference, or a
    // stream this manager did not open, is left alone.
    void Close(TStream*& stream);
    bool FileIsExist(const std::string& name);
    // Anything under the name: a member, or in a folder a file, a folder, a pipe or a link. A
    // name not taken is missing, the one failure of Open a caller may pass over in silence.
    bool NameIsTaken(const std::string& name);

    // Enumerate the files of one folder of the source whose names match the wildcard after the
    // last separator of pattern ("*.Wps", "Sub\*.png"): archive entries in directory order,
    // folder files sorted by name without regard to case; subfolders are not entered. Names are
    // relative to the source (archive entries as stored, folder files after the pattern's folder
    // part), ready for Open.
    void FindFirst(const std::string& pattern);
    bool FindNext(std::string& name);

    bool IsPack();
    bool HasSource();
    int OpenCount();

    TFileManErrorEvent OnError;

private:
    struct TSource {
        std::shared_ptr<const TVePack> Pack;
        std::string Folder;
        bool HasFolder = false;
    };
    // The current source, copied under the lock so that the caller reads it without.
    TSource Source();
    void ReportOpenError(const void* caller);
    bool Holds(const std::string& name, bool (*inFolder)(const std::string&));
    static std::string FolderPath(const std::string& folder, const std::string& name);
    void Clear();

    std::mutex FLock;
    std::shared_ptr<const TVePack> FPack;
    std::string FFolder;
    bool FHasFolder = false;
    std::vector<TStream*> FStreams;
    std::vector<std::string> FFound;
    size_t FFoundNext = 0;
};
