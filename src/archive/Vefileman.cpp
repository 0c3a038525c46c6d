#include "archive/Vefileman.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "platform/Filenames.h"

namespace {

// Splits "a\b\*.x" into the folder part with its separator ("a\b\") and the last component.
void SplitPattern(const std::string& pattern, std::string& folder, std::string& leaf)
{
    size_t cut = pattern.find_last_of('\\');
    folder = cut == std::string::npos ? std::string() : pattern.substr(0, cut + 1);
    leaf = cut == std::string::npos ? pattern : pattern.substr(cut + 1);
}

}  // namespace

TFileMan::TFileMan(TComponent* owner) : TComponent(owner) {}

TFileMan::~TFileMan()
{
    std::lock_guard<std::mutex> lock(FLock);
    for (TStream* stream : FStreams)
        delete stream;
    FStreams.clear();
}

void TFileMan::Clear()
{
    FPack.reset();
    FFolder.clear();
    FHasFolder = false;
    FFound.clear();
    FFoundNext = 0;
}

bool TFileMan::InitPack(const std::string& archiveName, std::string* failure)
{
    // The archive is read before the lock is taken: other threads keep using the old source.
    auto pack = std::make_shared<TVePack>(nullptr);
    bool opened = pack->Open(archiveName);
    if (!opened && failure)
        *failure = pack->LastError();
    std::lock_guard<std::mutex> lock(FLock);
    Clear();
    if (opened)
        FPack = std::move(pack);
    return opened;
}

bool TFileMan::InitDir(const std::string& folderName)
{
    std::string native = NativePath(folderName.empty() ? "." : folderName);
    std::error_code error;
    std::string absolute = std::filesystem::absolute(native, error).lexically_normal().string();
    if (error)
        absolute = native;
    while (absolute.size() > 1 && absolute.back() == '/')
        absolute.pop_back();
    bool exists = PathIsFolder(absolute);
    std::lock_guard<std::mutex> lock(FLock);
    Clear();
    FFolder = absolute;
    FHasFolder = true;
    return exists;
}

TFileMan::TSource TFileMan::Source()
{
    std::lock_guard<std::mutex> lock(FLock);
    return {FPack, FFolder, FHasFolder};
}

// Resolves name inside folder; called without the lock held, since it may scan folders.
std::string TFileMan::FolderPath(const std::string& folder, const std::string& name)
{
    std::string relative = name;
    std::replace(relative.begin(), relative.end(), '\\', '/');
    return NativePath(folder + "/" + relative);
}

void TFileMan::ReportOpenError(const void* caller)
{
    TFileManErrorEvent handler;
    {
        std::lock_guard<std::mutex> lock(FLock);
        handler = OnError;
    }
    if (!handler)
        return;
    // The return address into the caller, so a log points at who asked; on 64 bits it needs
    // more than the eight digits the format pads to.
    char message[64];
    std::snprintf(message, sizeof(message), "FileOpenErr Call(%08llx)",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(caller)));
    handler(this, message);
}

[[gnu::noinline]] TStream* TFileMan::Open(const std::string& name, std::string* failure)
{
    const void* caller = __builtin_return_address(0);
    const TSource source = Source();
    TStream* stream = nullptr;
    std::string reason;
    const std::string normal = VePackNormalName(name);
    if (normal.empty()) {
        reason = "not a valid name";
    } else if (source.Pack) {
        int index = source.Pack->IndexOfNormal(normal);
        if (index < 0) {
            reason = "not in " + source.Pack->FileName();
        } else {
            auto memory = std::make_unique<TMemoryStream>();
            if (source.Pack->ReadMember(index, *memory, &reason))
                stream = memory.release();
            else
                reason = source.Pack->FileName() + ": " + reason;
        }
    } else if (source.HasFolder) {
        std::string path = FolderPath(source.Folder, normal);
        if (!PathExists(path)) {
            reason = "not in " + source.Folder;
        } else {
            // Whatever stands under the name: the file stream refuses a folder, a pipe or a
            // device for what it is.
            try {
                stream = new TFileStream(path, fmOpenRead | fmShareDenyNone);
            } catch (const Exception& error) {
                reason = error.Message;
            }
        }
    } else {
        reason = "no archive or folder to read from";
    }

    if (!stream) {
        if (failure)
            *failure = reason;
        ReportOpenError(caller);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(FLock);
    FStreams.push_back(stream);
    return stream;
}

void TFileMan::Close(TStream*& stream)
{
    if (!stream)
        return;
    {
        std::lock_guard<std::mutex> lock(FLock);
        auto found = std::find(FStreams.begin(), FStreams.end(), stream);
        if (found == FStreams.end())
            return;
        FStreams.erase(found);
    }
    delete stream;
    stream = nullptr;
}

bool TFileMan::Holds(const std::string& name, bool (*inFolder)(const std::string&))
{
    const std::string normal = VePackNormalName(name);
    if (normal.empty())
        return false;
    const TSource source = Source();
    if (source.Pack)
        return source.Pack->IndexOfNormal(normal) >= 0;
    return source.HasFolder && inFolder(FolderPath(source.Folder, normal));
}

bool TFileMan::FileIsExist(const std::string& name) { return Holds(name, PathIsFile); }

bool TFileMan::NameIsTaken(const std::string& name) { return Holds(name, PathExists); }

void TFileMan::FindFirst(const std::string& pattern)
{
    // A pattern is spelled like a name ("." and doubled separators go, ".." is refused); the
    // wildcards are ordinary bytes to the spelling rules.
    const std::string normal = VePackNormalName(pattern);
    const bool safe = !normal.empty();
    std::string folder, leaf;
    SplitPattern(normal, folder, leaf);
    const TSource source = Source();
    std::vector<std::string> found;
    if (safe && source.Pack) {
        std::string folderKey = VePackKey(folder);
        for (int i = 0; i < source.Pack->Count(); ++i) {
            const std::string& entry = source.Pack->Entry(i).Name;
            size_t cut = entry.find_last_of('\\');
            size_t leafStart = cut == std::string::npos ? 0 : cut + 1;
            if (VePackKey(entry.substr(0, leafStart)) == folderKey && WildcardMatch(leaf, entry.substr(leafStart)))
                found.push_back(entry);
        }
    } else if (safe && source.HasFolder) {
        std::string native =
            folder.empty() ? source.Folder : FolderPath(source.Folder, folder.substr(0, folder.size() - 1));
        for (const std::string& file : ListFolder(native, leaf))
            found.push_back(folder + file);
    }
    std::lock_guard<std::mutex> lock(FLock);
    FFound = std::move(found);
    FFoundNext = 0;
}

bool TFileMan::FindNext(std::string& name)
{
    std::lock_guard<std::mutex> lock(FLock);
    if (FFoundNext >= FFound.size())
        return false;
    name = FFound[FFoundNext++];
    return true;
}

bool TFileMan::IsPack()
{
    std::lock_guard<std::mutex> lock(FLock);
    return FPack != nullptr;
}

bool TFileMan::HasSource()
{
    std::lock_guard<std::mutex> lock(FLock);
    return FPack != nullptr || FHasFolder;
}

int TFileMan::OpenCount()
{
    std::lock_guard<std::mutex> lock(FLock);
    return static_cast<int>(FStreams.size());
}
