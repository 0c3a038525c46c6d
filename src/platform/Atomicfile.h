#pragma once
// Whole-file reads with a size cap, and whole-file replacement that a crash cannot tear:
// the new contents go to a temporary file in the same folder, are flushed to the device and
// renamed over the old file, so a reader sees either the old file or the new one.

#include <cstddef>
#include <cstdint>
#include <string>

enum class TFileReadResult { Ok, Missing, TooLarge, Failed };

// Reads the whole file (a game-style name: backslashes, any case) into text when it holds
// at most maxBytes bytes. error, when given, receives the cause of TooLarge (EFBIG) and Failed
// (the errno; EISDIR for a folder, EINVAL for anything else that is not a regular file).
TFileReadResult ReadWholeFile(const std::string& fileName, int64_t maxBytes, std::string& text, int* error = nullptr);

// The steps of WriteFileAtomic, replaceable so that tests can fail any one of them (and the
// fuzzer can skip the syncs). Close is called exactly once for every handle Create returned.
// Failures leave errno set.
struct TAtomicFileOps {
    // A new file of that mode at a fresh name made from the template by replacing its final
    // "XXXXXX" (written back into the template), never through a link and never over anything
    // already there; -1 on failure.
    int (*Create)(char* pathTemplate, unsigned mode);
    bool (*Write)(int handle, const void* data, size_t size);  // all of it, or false
    bool (*Sync)(int handle);
    bool (*Close)(int handle);
    bool (*Rename)(const char* from, const char* to);
    bool (*SyncFolder)(const char* folder);
};
extern const TAtomicFileOps DefaultAtomicFileOps;
extern TAtomicFileOps AtomicFileOps;

// Access: the file may not be written (errno EACCES). Read is for writers that edit the old
// file and could not read it whole.
enum class TAtomicWriteStep { None, Access, Read, Create, Write, Sync, Close, Rename, SyncFolder };

// The step that failed and its errno.
struct TAtomicWriteFault {
    TAtomicWriteStep Step = TAtomicWriteStep::None;
    int Error = 0;
};

// For log lines: "create", "write", ...; empty for None.
const char* AtomicWriteStepName(TAtomicWriteStep step);
// For log lines: the step and its cause, "rename: Is a directory".
std::string AtomicWriteFaultText(const TAtomicWriteFault& fault);

// True once the new file has replaced the old one. A close or a folder sync that fails after
// that still gives true (the file is complete; only its name may not survive a power cut) and
// is reported in fault. False when anything before failed: the old file, if any, is then unchanged and no
// temporary file is left behind (unless the process dies mid-write). The temporary is the
// file's name with ".tmp" and six random letters or digits, so nothing planted there (a link,
// a folder) is written through or blocks the write. A file the player may not write (or that
// nobody may write) is not replaced: the write is refused at the Access step, because a player
// who takes the write permission away means "leave this file as it is". A replaced regular file's permission bits are
// kept (never set-user-id, set-group-id or sticky); a new file, or one that replaces a link at
// the name, gets mode 0644.
bool WriteFileAtomic(const std::string& fileName, const void* data, size_t size, TAtomicWriteFault* fault = nullptr);
bool WriteFileAtomic(const std::string& fileName, const std::string& data, TAtomicWriteFault* fault = nullptr);

// Whether WriteFileAtomic would pass its Access step for that name: false (errno EACCES) for a
// regular file the player may not write or that nobody may write; true for anything it would
// replace or create.
bool MayReplaceFile(const std::string& fileName);

// Removes the temporaries that writes of that file left when the process died mid-write:
// regular files in its folder named as the writer names them (the name compared without
// regard to case) that no live writer holds. The writer locks its temporary from its creation
// until it stands under the file's name, so a write in progress in another process is left
// alone; on a file system without locks a temporary must instead be last changed at least
// minAgeSeconds ago. Links, folders and every other name stay. Returns the number removed.
int RemoveAtomicLeftovers(const std::string& fileName, int64_t minAgeSeconds);

// Renames from to to only while nothing is at to (errno EEXIST otherwise): what is there is
// never replaced.
bool RenameNoReplace(const std::string& from, const std::string& to);
