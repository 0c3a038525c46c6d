#pragma once
// The single-instance name: an advisory record lock on a file named after it in the user's
// runtime folder ($XDG_RUNTIME_DIR, else /tmp with the user id in the name). Only the process
// that took it holds it: no child it forks keeps it, the kernel releases it when the process
// ends, even by a crash, and taking it is atomic, so of two programs started together exactly
// one wins. Within one process the name is held by one TSingleInstance at a time.

#include <string>

enum class TInstanceResult {
    Acquired,        // this process holds the name now
    AlreadyRunning,  // another process holds it
    Unavailable,     // the lock file could not be made; nothing guards the name
};

class TSingleInstance {
public:
    TSingleInstance() = default;
    ~TSingleInstance() { Release(); }
    TSingleInstance(const TSingleInstance&) = delete;
    TSingleInstance& operator=(const TSingleInstance&) = delete;

    // Takes the name; a second call while holding it answers Acquired again.
    TInstanceResult Acquire(const std::string& name);
    void Release();
    bool Held() const { return FHandle >= 0; }

    // The lock file's path for a name (exposed for tests).
    static std::string LockPath(const std::string& name);

private:
    int FHandle = -1;
};
