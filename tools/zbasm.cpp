// zbasm: assembles the text form of script files (see scenario/Zbasm.h) into "*.Wps" files.
//
//   zbasm SOURCE [OUTPUT]         OUTPUT defaults to SOURCE with the extension ".Wps"
//   zbasm -d FOLDER SOURCE...     each SOURCE into FOLDER, named after it with ".Wps"
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "scenario/Zbasm.h"

namespace {

std::string Stem(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string WithoutExtension(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    size_t dot = path.find_last_of('.');
    return dot == std::string::npos || (slash != std::string::npos && dot < slash) ? path : path.substr(0, dot);
}

bool AssembleFile(const std::string& source, const std::string& output)
{
    std::ifstream in(source, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "zbasm: cannot read %s\n", source.c_str());
        return false;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<uint8_t> bytes;
    std::string error;
    if (!AssembleScript(text, bytes, error)) {
        std::fprintf(stderr, "%s: %s\n", source.c_str(), error.c_str());
        return false;
    }
    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "zbasm: cannot write %s\n", output.c_str());
        return false;
    }
    return true;
}

int Usage()
{
    std::fprintf(stderr, "usage: zbasm SOURCE [OUTPUT]\n       zbasm -d FOLDER SOURCE...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return Usage();
    if (args[0] == "-d") {
        if (args.size() < 3)
            return Usage();
        bool ok = true;
        for (size_t i = 2; i < args.size(); ++i)
            ok = AssembleFile(args[i], args[1] + "/" + Stem(args[i]) + ".Wps") && ok;
        return ok ? 0 : 1;
    }
    if (args.size() > 2)
        return Usage();
    std::string output = args.size() == 2 ? args[1] : WithoutExtension(args[0]) + ".Wps";
    return AssembleFile(args[0], output) ? 0 : 1;
}
