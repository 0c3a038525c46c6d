#pragma once
// The game's file-name rules on a case-sensitive file system: a backslash separates folders,
// and names and wildcards match without regard to case (ASCII letters only; other bytes exactly),
// because scripts, tables and players spell a data file's name in whatever case they like and
// still expect it found. Folder listings are sorted by name without regard to case so that
// every machine gives the same order.

#include <string>
#include <vector>

// Backslashes become slashes, then each component that does not exist as written is looked up
// in its folder without regard to case. A name with no match keeps its spelling (so a file
// about to be created gets the name as given).
std::string NativePath(const std::string& name);

// '*' matches any run of bytes, '?' one byte; letters compare without regard to case.
bool WildcardMatch(const std::string& pattern, const std::string& name);

// Case-insensitive ordering used for every listing (ties broken byte-wise, so it is total).
bool NameLess(const std::string& a, const std::string& b);
bool SameName(const std::string& a, const std::string& b);

// The regular files (not folders) of a folder whose names match the pattern, sorted by NameLess.
std::vector<std::string> ListFolder(const std::string& folder, const std::string& pattern);

bool PathIsFile(const std::string& name);
// Anything under the name: a file, a folder, a pipe, a device, a link even when dangling.
bool PathExists(const std::string& name);
bool PathIsFolder(const std::string& name);
