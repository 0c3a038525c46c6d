// The archive packer: builds a resource archive from a folder and lists an archive.
//   vepack create ARCHIVE FOLDER   every file under FOLDER, named by its path relative to it
//                                  with backslashes, in folder-listing order
//   vepack list ARCHIVE            offset, size, CRC and name of every member, in directory order

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "archive/Vepack.h"
#include "platform/Filenames.h"
#include "platform/Streams.h"

namespace {

// A folder's files first, sorted by name without regard to case, then each subfolder's files
// under its name, subfolders in the same order: what listing each folder in turn gives.
void CollectFiles(const std::filesystem::path& folder, const std::string& prefix, std::vector<std::string>& names)
{
    std::vector<std::string> files, subfolders;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        std::string name = entry.path().filename().string();
        if (entry.is_regular_file(error))
            files.push_back(name);
        else if (entry.is_directory(error) && !entry.is_symlink(error))
            subfolders.push_back(name);
    }
    std::sort(files.begin(), files.end(), NameLess);
    std::sort(subfolders.begin(), subfolders.end(), NameLess);
    for (const std::string& file : files)
        names.push_back(prefix + file);
    for (const std::string& sub : subfolders)
        CollectFiles(folder / sub, prefix + sub + "\\", names);
}

int Create(const std::string& archive, const std::string& folder)
{
    std::filesystem::path root = NativePath(folder);
    if (!std::filesystem::is_directory(root)) {
        std::fprintf(stderr, "vepack: %s is not a folder\n", folder.c_str());
        return 1;
    }
    std::vector<std::string> names;
    CollectFiles(root, "", names);

    TVePackWriter writer;
    if (!writer.Begin(archive)) {
        std::fprintf(stderr, "vepack: %s\n", writer.LastError().c_str());
        return 1;
    }
    for (const std::string& name : names) {
        std::string relative = name;
        std::replace(relative.begin(), relative.end(), '\\', '/');
        TMemoryStream data;
        if (!data.LoadFromFile((root / relative).string())) {
            std::fprintf(stderr, "vepack: cannot read %s\n", name.c_str());
            return 1;
        }
        if (!writer.Add(name, data.Memory(), static_cast<size_t>(data.GetSize()))) {
            std::fprintf(stderr, "vepack: %s\n", writer.LastError().c_str());
            return 1;
        }
    }
    if (!writer.Finish()) {
        std::fprintf(stderr, "vepack: %s\n", writer.LastError().c_str());
        return 1;
    }
    std::printf("%s: %zu members\n", archive.c_str(), names.size());
    return 0;
}

int List(const std::string& archive)
{
    TVePack pack;
    if (!pack.Open(archive)) {
        std::fprintf(stderr, "vepack: %s: %s\n", archive.c_str(), pack.LastError().c_str());
        return 1;
    }
    std::printf("version %u.%u, %d members\n", pack.MajorVersion(), pack.MinorVersion(), pack.Count());
    for (int i = 0; i < pack.Count(); ++i) {
        const TVePackEntry& entry = pack.Entry(i);
        std::printf("%10u %10u %04x %s\n", entry.Offset, entry.Size, entry.Crc, entry.Name.c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 3 && args[0] == "create")
        return Create(args[1], args[2]);
    if (args.size() == 2 && args[0] == "list")
        return List(args[1]);
    std::fprintf(stderr, "usage: vepack create ARCHIVE FOLDER\n       vepack list ARCHIVE\n");
    return 2;
}
