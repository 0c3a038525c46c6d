#pragma once
// The class library's list of strings. Text joins the lines with CR LF; SetText and the
// loaders split on CR LF, LF or a lone CR. IndexOf ignores ASCII case, as the class library's
// list does by default.

#include <string>
#include <vector>

#include "platform/Classes.h"
#include "platform/Streams.h"

class TStringList : public TObject {
public:
    int Add(const std::string& s);
    void Insert(int index, const std::string& s);
    void Delete(int index);
    void Clear() { FItems.clear(); }
    int Count() const { return static_cast<int>(FItems.size()); }
    // Throws EListError for an index outside 0..Count-1.
    const std::string& Strings(int index) const;
    void SetStrings(int index, const std::string& s);
    const std::string& operator[](int index) const { return Strings(index); }
    int IndexOf(const std::string& s) const;

    std::string Text() const;
    void SetText(const std::string& text);
    // Replaces the list with the lines of the rest of the stream (read from its position).
    void LoadFromStream(TStream* stream);
    // False (and an empty list) when the file cannot be read.
    bool LoadFromFile(const std::string& fileName);
    void SaveToStream(TStream* stream) const;

private:
    std::vector<std::string> FItems;
};

class EListError : public Exception {
public:
    using Exception::Exception;
};
