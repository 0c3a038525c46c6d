#include "platform/Filenames.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

namespace {

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool Exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// The entry of folder whose name equals component without regard to case; the first in
// NameLess order when several do, so the choice does not depend on the directory's order.
bool FindFolded(const std::string& folder, const std::string& component, std::string& found)
{
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return false;
    bool any = false;
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (SameName(name, component) && (!any || NameLess(name, found))) {
            found = name;
            any = true;
        }
    }
    ::closedir(dir);
    return any;
}

}  // namespace

bool SameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

bool NameLess(const std::string& a, const std::string& b)
{
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(Lower(a[i]));
        unsigned char y = static_cast<unsigned char>(Lower(b[i]));
        if (x != y)
            return x < y;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

std::string NativePath(const std::string& name)
{
    std::string path = name;
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path.empty() || Exists(path))
        return path;

    std::string result;
    size_t start = 0;
    if (path[0] == '/') {
        result = "/";
        start = 1;
    }
    bool resolving = true;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        std::string component = path.substr(start, end - start);
        start = end + 1;
        if (component.empty())
            continue;
        std::string folder = result.empty() ? "" : result;
        std::string candidate = folder.empty() || folder.back() == '/' ? folder + component : folder + "/" + component;
        if (resolving && component != "." && component != ".." && !Exists(candidate)) {
            std::string found;
            if (FindFolded(folder.empty() ? "." : folder, component, found))
                candidate = folder.empty() || folder.back() == '/' ? folder + found : folder + "/" + found;
            else
                resolving = false;
        }
        result = candidate;
    }
    return result;
}

bool WildcardMatch(const std::string& pattern, const std::string& name)
{
    // Iterative matcher with one backtrack point: linear enough for file names, no recursion.
    size_t p = 0, n = 0, starP = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || Lower(pattern[p]) == Lower(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

std::vector<std::string> ListFolder(const std::string& folder, const std::string& pattern)
{
    std::vector<std::string> names;
    std::string native = NativePath(folder.empty() ? "." : folder);
    DIR* dir = ::opendir(native.c_str());
    if (!dir)
        return names;
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat st {};
        if (::stat((native + "/" + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (WildcardMatch(pattern, name))
            names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(), NameLess);
    return names;
}

bool PathIsFile(const std::string& name)
{
    struct stat st {};
    return ::stat(NativePath(name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool PathExists(const std::string& name)
{
    struct stat st {};
    return ::lstat(NativePath(name).c_str(), &st) == 0;
}

bool PathIsFolder(const std::string& name)
{
    struct stat st {};
    return ::stat(NativePath(name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
