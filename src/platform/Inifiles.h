#pragma once
// The class library's INI file with the Windows profile rules: section and key names match
// without regard to ASCII case, values are trimmed, the first of duplicate sections or keys
// wins. Every operation reads the file afresh and every write rewrites it at once through
// WriteFileAtomic, keeping every line it does not change byte for byte (comments, unknown
// sections and keys, line breaks; new lines take the file's first line break, CR LF in a new
// file). A missing, oversized (over
// 1 MiB) or unreadable file reads as empty; a write never replaces a file it could not read,
// nor one the player may not write, and reports false instead, leaving the file unchanged. Writes within the process are
// serialised, so two threads updating different keys both land.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Atomicfile.h"
#include "platform/Classes.h"
#include "platform/Stringlist.h"

class TIniFile : public TObject {
public:
    // The name follows the game's file-name rules (backslashes, any case).
    explicit TIniFile(const std::string& fileName) : FFileName(fileName) {}

    const std::string& FileName() const { return FFileName; }

    std::string ReadString(const std::string& section, const std::string& ident, const std::string& defaultValue) const;
    // Decimal, or hexadecimal after "0x" or "$"; the default for a missing or unconvertible value.
    int32_t ReadInteger(const std::string& section, const std::string& ident, int32_t defaultValue) const;
    // A number other than 0 is true; a missing or unconvertible value gives the default.
    bool ReadBool(const std::string& section, const std::string& ident, bool defaultValue) const;
    bool SectionExists(const std::string& section) const;
    bool ValueExists(const std::string& section, const std::string& ident) const;
    // The keys of a section, in file order.
    void ReadSection(const std::string& section, TStringList* keys) const;

    bool WriteString(const std::string& section, const std::string& ident, const std::string& value);
    bool WriteInteger(const std::string& section, const std::string& ident, int32_t value);
    bool WriteBool(const std::string& section, const std::string& ident, bool value);
    bool DeleteKey(const std::string& section, const std::string& ident);
    bool EraseSection(const std::string& section);
    // Writes are immediate; kept for callers written against a cached file.
    bool UpdateFile() { return true; }

    static constexpr int64_t MaxFileSize = 1 << 20;

private:
    std::string FFileName;
};

struct TIniText;

// One reading of the file for many lookups, and many changes in one rewrite: the file is read
// at the first lookup; writes are kept in memory until UpdateFile, which puts them all onto the
// file as it is then (other keys, comments and line breaks kept as TIniFile keeps them) and
// rewrites it once. Lookups after a write see the written value.
class TMemIniFile : public TObject {
public:
    explicit TMemIniFile(const std::string& fileName);
    ~TMemIniFile() override;

    std::string ReadString(const std::string& section, const std::string& ident, const std::string& defaultValue) const;
    bool ValueExists(const std::string& section, const std::string& ident) const;

    void WriteString(const std::string& section, const std::string& ident, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& ident, int32_t value);
    // False when the file could not be read whole or rewritten; it is then unchanged, and
    // fault says which step failed and why. A folder sync that failed after the rewrite is
    // reported in fault with true.
    bool UpdateFile(TAtomicWriteFault* fault = nullptr);

private:
    struct TEdit {
        std::string Section, Ident, Value;
    };
    const TIniText* Text() const;

    std::string FFileName;
    std::vector<TEdit> FEdits;
    mutable bool FLoaded = false;
    mutable std::unique_ptr<TIniText> FText;  // null until loaded, and for an unreadable file
};

class EIniFileException : public Exception {
public:
    using Exception::Exception;
};
