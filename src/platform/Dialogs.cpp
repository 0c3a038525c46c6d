#include "platform/Dialogs.h"

#include <cstdio>
#include <mutex>

#include "platform/Codepage.h"

namespace {

std::mutex HandlerLock;
TMessageBoxHandler Handler;

}  // namespace

void ShowMessageBox(const std::string& text, const std::string& caption)
{
    TMessageBoxHandler handler;
    {
        std::lock_guard<std::mutex> lock(HandlerLock);
        handler = Handler;
    }
    // Called outside the lock: a handler may block for as long as the box stays open.
    if (handler) {
        handler(text, caption);
        return;
    }
    std::fprintf(stderr, "%s: %s\n", ProgramTextToUtf8(caption).c_str(), ProgramTextToUtf8(text).c_str());
    std::fflush(stderr);
}

TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler handler)
{
    std::lock_guard<std::mutex> lock(HandlerLock);
    TMessageBoxHandler previous = std::move(Handler);
    Handler = std::move(handler);
    return previous;
}
