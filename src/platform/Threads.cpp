#include "platform/Threads.h"

TThread::~TThread()
{
    Terminate();
    WaitFor();
    // Deleting a thread from its own Execute is a caller error; detaching at least keeps the
    // process from aborting in the std::thread destructor.
    if (FThread.joinable())
        FThread.detach();
}

void TThread::Start()
{
    std::lock_guard<std::mutex> lock(FJoinLock);
    if (FStarted.exchange(true))
        return;
    FThread = std::thread([this] { Run(); });
}

void TThread::Run()
{
    FThreadId.store(std::this_thread::get_id());
    try {
        Execute();
    } catch (...) {
        std::lock_guard<std::mutex> lock(FStateLock);
        FFatal = std::current_exception();
    }
    FFinished.store(true);
}

void TThread::Resume()
{
    if (!FStarted.load()) {
        Start();
        return;
    }
    std::lock_guard<std::mutex> lock(FStateLock);
    FResumePending = true;
    FResumed.notify_all();
}

void TThread::Suspend()
{
    if (std::this_thread::get_id() != FThreadId.load())
        return;
    std::unique_lock<std::mutex> lock(FStateLock);
    FSuspended = true;
    FResumed.wait(lock, [&] { return FResumePending || FTerminated.load(); });
    FResumePending = false;
    FSuspended = false;
}

bool TThread::Suspended() const
{
    if (!FStarted.load())
        return true;
    std::lock_guard<std::mutex> lock(FStateLock);
    return FSuspended;
}

void TThread::Terminate()
{
    std::lock_guard<std::mutex> lock(FStateLock);
    FTerminated.store(true);
    FResumed.notify_all();
}

int TThread::WaitFor()
{
    std::lock_guard<std::mutex> lock(FJoinLock);
    if (FThread.joinable() && std::this_thread::get_id() != FThread.get_id())
        FThread.join();
    return ReturnValue.load();
}

std::exception_ptr TThread::FatalException() const
{
    std::lock_guard<std::mutex> lock(FStateLock);
    return FFatal;
}

std::string TThread::FatalMessage() const
{
    std::exception_ptr fatal = FatalException();
    if (!fatal)
        return "";
    try {
        std::rethrow_exception(fatal);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown exception";
    }
}
