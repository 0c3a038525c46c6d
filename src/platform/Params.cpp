#include "platform/Params.h"

#include <unistd.h>

#include <mutex>

#include "platform/Sysutils.h"

namespace {

std::mutex ParamsLock;
std::vector<std::string> Params;

std::vector<std::string> CopyParams()
{
    std::lock_guard<std::mutex> lock(ParamsLock);
    return Params;
}

}  // namespace

void SetParams(int argc, const char* const* argv)
{
    std::lock_guard<std::mutex> lock(ParamsLock);
    Params.clear();
    for (int i = 0; i < argc && argv && argv[i]; ++i)
        Params.emplace_back(argv[i]);
}

int ParamCount()
{
    std::lock_guard<std::mutex> lock(ParamsLock);
    return Params.empty() ? 0 : static_cast<int>(Params.size()) - 1;
}

std::string ParamStr(int index)
{
    std::lock_guard<std::mutex> lock(ParamsLock);
    if (index < 0 || index >= static_cast<int>(Params.size()))
        return "";
    return Params[static_cast<size_t>(index)];
}

std::string ExeName()
{
    std::string buffer(4096, '\0');
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n > 0 && static_cast<size_t>(n) < buffer.size()) {
        buffer.resize(static_cast<size_t>(n));
        return buffer;
    }
    return ParamStr(0);
}

std::string ExtractFilePath(const std::string& path)
{
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

bool FindCmdLineSwitch(const std::vector<std::string>& params, const std::string& name)
{
    for (size_t i = 1; i < params.size(); ++i) {
        const std::string& p = params[i];
        if (p.size() >= 2 && (p[0] == '-' || p[0] == '/') && UpperCase(p.substr(1)) == UpperCase(name))
            return true;
    }
    return false;
}

bool FindCmdLineSwitch(const std::string& name)
{
    return FindCmdLineSwitch(CopyParams(), name);
}
