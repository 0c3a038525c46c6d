#include "platform/Inifiles.h"

#include <mutex>
#include <optional>
#include <vector>

#include "platform/Atomicfile.h"
#include "platform/Sysutils.h"

namespace {

std::mutex WriteLock;

}  // namespace

// Each line keeps its own line break so that a rewrite changes only the lines it touches,
// whatever else the file holds; new lines take the first break the file uses.
struct TIniText {
    std::vector<std::string> Lines;
    std::vector<std::string> Breaks;
    std::string NewBreak = "\r\n";

    void Insert(size_t index, const std::string& line)
    {
        // The line before it may be the file's last one, without a break.
        if (index > 0 && Breaks[index - 1].empty())
            Breaks[index - 1] = NewBreak;
        Lines.insert(Lines.begin() + static_cast<std::ptrdiff_t>(index), line);
        Breaks.insert(Breaks.begin() + static_cast<std::ptrdiff_t>(index), NewBreak);
    }
    void Erase(size_t first, size_t last)
    {
        Lines.erase(Lines.begin() + static_cast<std::ptrdiff_t>(first), Lines.begin() + static_cast<std::ptrdiff_t>(last));
        Breaks.erase(Breaks.begin() + static_cast<std::ptrdiff_t>(first), Breaks.begin() + static_cast<std::ptrdiff_t>(last));
    }
};

namespace {

// Null when the file exists but cannot be read whole (too large, unreadable); error then
// receives the cause.
std::optional<TIniText> LoadIni(const std::string& fileName, int* error = nullptr)
{
    std::string text;
    TIniText ini;
    TFileReadResult result = ReadWholeFile(fileName, TIniFile::MaxFileSize, text, error);
    if (result == TFileReadResult::Missing)
        return ini;
    if (result != TFileReadResult::Ok)
        return std::nullopt;
    bool firstBreak = true;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            ini.Lines.push_back(text.substr(start));
            ini.Breaks.emplace_back();
            break;
        }
        size_t next = end + 1;
        if (text[end] == '\r' && next < text.size() && text[next] == '\n')
            ++next;
        ini.Lines.push_back(text.substr(start, end - start));
        ini.Breaks.push_back(text.substr(end, next - end));
        if (firstBreak)
            ini.NewBreak = ini.Breaks.back();
        firstBreak = false;
        start = next;
    }
    return ini;
}

// The section name of a header line "[name]" (trimmed), or nothing.
std::optional<std::string> SectionOf(const std::string& line)
{
    std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[')
        return std::nullopt;
    size_t close = t.find(']');
    if (close == std::string::npos)
        return std::nullopt;
    return Trim(t.substr(1, close - 1));
}

// The key of an entry line "key=value" (trimmed), or nothing for comments and other lines.
std::optional<std::string> KeyOf(const std::string& line)
{
    std::string t = Trim(line);
    if (t.empty() || t[0] == ';')
        return std::nullopt;
    size_t equals = line.find('=');
    if (equals == std::string::npos)
        return std::nullopt;
    std::string key = Trim(line.substr(0, equals));
    if (key.empty())
        return std::nullopt;
    return key;
}

// Line range [Header, End) of the first section of that name; Header is -1 when absent.
struct TSectionRange {
    int Header = -1;
    int End = -1;
};

TSectionRange FindSection(const TIniText& ini, const std::string& section)
{
    TSectionRange range;
    int count = static_cast<int>(ini.Lines.size());
    for (int i = 0; i < count; ++i) {
        auto name = SectionOf(ini.Lines[static_cast<size_t>(i)]);
        if (!name)
            continue;
        if (range.Header >= 0) {
            range.End = i;
            return range;
        }
        if (SameText(*name, section))
            range.Header = i;
    }
    if (range.Header >= 0)
        range.End = count;
    return range;
}

int FindKey(const TIniText& ini, const TSectionRange& range, const std::string& ident)
{
    for (int i = range.Header + 1; i < range.End; ++i) {
        auto key = KeyOf(ini.Lines[static_cast<size_t>(i)]);
        if (key && SameText(*key, ident))
            return i;
    }
    return -1;
}

// Sets the key's value in the text: in place when present, else at the end of its section,
// else in a new section at the end.
void SetValue(TIniText& ini, const std::string& section, const std::string& ident, const std::string& rawValue)
{
    // A line break inside the value would turn its tail into a line of its own.
    std::string value = rawValue;
    for (char& c : value)
        if (c == '\r' || c == '\n')
            c = ' ';
    std::string entry = ident + "=" + value;
    TSectionRange range = FindSection(ini, section);
    if (range.Header < 0) {
        if (!ini.Lines.empty() && !Trim(ini.Lines.back()).empty())
            ini.Insert(ini.Lines.size(), "");
        ini.Insert(ini.Lines.size(), "[" + section + "]");
        ini.Insert(ini.Lines.size(), entry);
        return;
    }
    int line = FindKey(ini, range, ident);
    if (line >= 0) {
        std::string& old = ini.Lines[static_cast<size_t>(line)];
        old = Trim(old.substr(0, old.find('='))) + "=" + value;
        return;
    }
    // After the section's last non-blank line, so the blank line before the next section stays.
    int insertAt = range.End;
    while (insertAt > range.Header + 1 && Trim(ini.Lines[static_cast<size_t>(insertAt - 1)]).empty())
        --insertAt;
    ini.Insert(static_cast<size_t>(insertAt), entry);
}

std::string ValueOf(const TIniText& ini, const std::string& section, const std::string& ident, const std::string& defaultValue)
{
    TSectionRange range = FindSection(ini, section);
    if (range.Header < 0)
        return defaultValue;
    int line = FindKey(ini, range, ident);
    if (line < 0)
        return defaultValue;
    const std::string& text = ini.Lines[static_cast<size_t>(line)];
    return Trim(text.substr(text.find('=') + 1));
}

bool HasValue(const TIniText& ini, const std::string& section, const std::string& ident)
{
    TSectionRange range = FindSection(ini, section);
    return range.Header >= 0 && FindKey(ini, range, ident) >= 0;
}

bool SaveIni(const std::string& fileName, const TIniText& ini, TAtomicWriteFault* fault = nullptr)
{
    std::string text;
    for (size_t i = 0; i < ini.Lines.size(); ++i)
        text += ini.Lines[i] + ini.Breaks[i];
    return WriteFileAtomic(fileName, text, fault);
}

}  // namespace

std::string TIniFile::ReadString(const std::string& section, const std::string& ident, const std::string& defaultValue) const
{
    auto ini = LoadIni(FFileName);
    return ini ? ValueOf(*ini, section, ident, defaultValue) : defaultValue;
}

int32_t TIniFile::ReadInteger(const std::string& section, const std::string& ident, int32_t defaultValue) const
{
    return StrToIntDef(ReadString(section, ident, ""), defaultValue);
}

bool TIniFile::ReadBool(const std::string& section, const std::string& ident, bool defaultValue) const
{
    return ReadInteger(section, ident, defaultValue ? 1 : 0) != 0;
}

bool TIniFile::SectionExists(const std::string& section) const
{
    auto ini = LoadIni(FFileName);
    return ini && FindSection(*ini, section).Header >= 0;
}

bool TIniFile::ValueExists(const std::string& section, const std::string& ident) const
{
    auto ini = LoadIni(FFileName);
    return ini && HasValue(*ini, section, ident);
}

void TIniFile::ReadSection(const std::string& section, TStringList* keys) const
{
    keys->Clear();
    auto ini = LoadIni(FFileName);
    if (!ini)
        return;
    TSectionRange range = FindSection(*ini, section);
    for (int i = range.Header + 1; range.Header >= 0 && i < range.End; ++i) {
        auto key = KeyOf(ini->Lines[static_cast<size_t>(i)]);
        if (key && keys->IndexOf(*key) < 0)
            keys->Add(*key);
    }
}

bool TIniFile::WriteString(const std::string& section, const std::string& ident, const std::string& value)
{
    std::lock_guard<std::mutex> lock(WriteLock);
    auto ini = LoadIni(FFileName);
    if (!ini)
        return false;
    SetValue(*ini, section, ident, value);
    return SaveIni(FFileName, *ini);
}

bool TIniFile::WriteInteger(const std::string& section, const std::string& ident, int32_t value)
{
    return WriteString(section, ident, IntToStr(value));
}

bool TIniFile::WriteBool(const std::string& section, const std::string& ident, bool value)
{
    return WriteString(section, ident, value ? "1" : "0");
}

bool TIniFile::DeleteKey(const std::string& section, const std::string& ident)
{
    std::lock_guard<std::mutex> lock(WriteLock);
    auto ini = LoadIni(FFileName);
    if (!ini)
        return false;
    TSectionRange range = FindSection(*ini, section);
    int line = range.Header < 0 ? -1 : FindKey(*ini, range, ident);
    if (line < 0)
        return true;
    ini->Erase(static_cast<size_t>(line), static_cast<size_t>(line) + 1);
    return SaveIni(FFileName, *ini);
}

bool TIniFile::EraseSection(const std::string& section)
{
    std::lock_guard<std::mutex> lock(WriteLock);
    auto ini = LoadIni(FFileName);
    if (!ini)
        return false;
    TSectionRange range = FindSection(*ini, section);
    if (range.Header < 0)
        return true;
    ini->Erase(static_cast<size_t>(range.Header), static_cast<size_t>(range.End));
    return SaveIni(FFileName, *ini);
}

TMemIniFile::TMemIniFile(const std::string& fileName) : FFileName(fileName) {}

TMemIniFile::~TMemIniFile() = default;

const TIniText* TMemIniFile::Text() const
{
    if (!FLoaded) {
        FLoaded = true;
        auto ini = LoadIni(FFileName);
        if (ini) {
            for (const TEdit& edit : FEdits)
                SetValue(*ini, edit.Section, edit.Ident, edit.Value);
            FText = std::make_unique<TIniText>(std::move(*ini));
        }
    }
    return FText.get();
}

std::string TMemIniFile::ReadString(const std::string& section, const std::string& ident, const std::string& defaultValue) const
{
    const TIniText* ini = Text();
    return ini ? ValueOf(*ini, section, ident, defaultValue) : defaultValue;
}

bool TMemIniFile::ValueExists(const std::string& section, const std::string& ident) const
{
    const TIniText* ini = Text();
    return ini && HasValue(*ini, section, ident);
}

void TMemIniFile::WriteString(const std::string& section, const std::string& ident, const std::string& value)
{
    FEdits.push_back({section, ident, value});
    if (FText)
        SetValue(*FText, section, ident, value);
}

void TMemIniFile::WriteInteger(const std::string& section, const std::string& ident, int32_t value)
{
    WriteString(section, ident, IntToStr(value));
}

bool TMemIniFile::UpdateFile(TAtomicWriteFault* fault)
{
    if (fault)
        *fault = {};
    if (FEdits.empty())
        return true;
    // The edits go onto the file as it is now, so that another writer's keys are not lost.
    std::lock_guard<std::mutex> lock(WriteLock);
    int error = 0;
    auto ini = LoadIni(FFileName, &error);
    if (!ini) {
        if (fault)
            *fault = {TAtomicWriteStep::Read, error};
        return false;
    }
    for (const TEdit& edit : FEdits)
        SetValue(*ini, edit.Section, edit.Ident, edit.Value);
    if (!SaveIni(FFileName, *ini, fault))
        return false;
    FEdits.clear();
    FText = std::make_unique<TIniText>(std::move(*ini));
    FLoaded = true;
    return true;
}
