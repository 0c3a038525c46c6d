#include "platform/Stringlist.h"

#include "platform/Sysutils.h"

int TStringList::Add(const std::string& s)
{
    FItems.push_back(s);
    return Count() - 1;
}

void TStringList::Insert(int index, const std::string& s)
{
    if (index < 0 || index > Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    FItems.insert(FItems.begin() + index, s);
}

void TStringList::Delete(int index)
{
    if (index < 0 || index >= Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    FItems.erase(FItems.begin() + index);
}

const std::string& TStringList::Strings(int index) const
{
    if (index < 0 || index >= Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return FItems[static_cast<size_t>(index)];
}

void TStringList::SetStrings(int index, const std::string& s)
{
    if (index < 0 || index >= Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    FItems[static_cast<size_t>(index)] = s;
}

int TStringList::IndexOf(const std::string& s) const
{
    for (size_t i = 0; i < FItems.size(); ++i)
        if (SameText(FItems[i], s))
            return static_cast<int>(i);
    return -1;
}

std::string TStringList::Text() const
{
    std::string text;
    for (const std::string& line : FItems) {
        text += line;
        text += "\r\n";
    }
    return text;
}

void TStringList::SetText(const std::string& text)
{
    FItems.clear();
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            FItems.push_back(text.substr(start));
            break;
        }
        FItems.push_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n')
            ++start;
    }
}

void TStringList::LoadFromStream(TStream* stream)
{
    int64_t size = stream->GetSize() - stream->GetPosition();
    std::string text;
    if (size > 0) {
        text.resize(static_cast<size_t>(size));
        text.resize(static_cast<size_t>(stream->Read(text.data(), size)));
    }
    SetText(text);
}

bool TStringList::LoadFromFile(const std::string& fileName)
{
    try {
        TFileStream file(fileName, fmOpenRead);
        LoadFromStream(&file);
        return true;
    } catch (const Exception&) {
        FItems.clear();
        return false;
    }
}

void TStringList::SaveToStream(TStream* stream) const
{
    std::string text = Text();
    stream->WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}
