#pragma once
// The class library's parameter list: the command line kept at start-up, the executable's
// own path, and the switch test.

#include <string>
#include <vector>

// Keeps the command line; call once from main before anything reads the parameters.
void SetParams(int argc, const char* const* argv);
// The number of parameters after the program name.
int ParamCount();
// Parameter i (0 is the program name); "" outside the list.
std::string ParamStr(int index);

// The full path of the running executable (from the system, else argv[0]).
std::string ExeName();
// The folder part of a path, with its trailing slash ("" when there is none).
std::string ExtractFilePath(const std::string& path);

// True when a parameter after the program name is the switch: at least two characters, a
// first character '-' or '/', and the rest equal to the switch without regard to ASCII case.
bool FindCmdLineSwitch(const std::vector<std::string>& params, const std::string& name);
bool FindCmdLineSwitch(const std::string& name);
