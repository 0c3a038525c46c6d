#include "scenario/Zbasm.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <stdexcept>
#include <utility>

#include "platform/Codepage.h"
#include "scenario/Zbscrdef.h"

namespace {

struct TToken {
    std::string Key;  // "group" of group=3; empty for a plain word or text
    std::string Value;
    bool Quoted = false;
};

class EAsmError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TCodeItem {
    std::vector<uint8_t> Bytes;  // a jump's bytes hold its opcode and a distance to patch
    std::string Target;          // a jump's label; empty when the distance is given
    int Line = 0;
};

struct TSection {
    std::vector<TCodeItem> Items;
    std::map<std::string, size_t> Labels;  // label -> index of the item it stands before
};

struct TFunction {
    std::string Name;
    TSection Code;
    std::optional<uint32_t> EntryLength;
    std::optional<uint16_t> NameLength;
};

struct TTrigger {
    std::string Start;
    std::optional<uint32_t> StartOffset;
    uint8_t Group = 0;
    uint8_t Priority = 0;
    std::vector<uint8_t> Data;
    TSection Condition;
    std::optional<uint16_t> EntryLength, DataLength, ConditionLength;
    int Line = 0;
};

const std::map<std::string, uint16_t>& PlainOps()
{
    static const std::map<std::string, uint16_t> ops = {
        {"nop", opNop}, {"pop", opPop}, {"dup", opDup}, {"swap", opSwap}, {"ret", opRet}, {"end", opEnd},
        {"not", opNot}, {"plus", opPlus}, {"neg", opNeg}, {"mul", opMul}, {"div", opDiv}, {"mod", opMod},
        {"add", opAdd}, {"sub", opSub}, {"lt", opLt}, {"le", opLe}, {"gt", opGt}, {"ge", opGe}, {"eq", opEq},
        {"ne", opNe}, {"and", opAnd}, {"or", opOr},
        {"setflag", opSetFlag}, {"getflag", opGetFlag}, {"setsysflag", opSetSysFlag},
        {"getsysflag", opGetSysFlag}, {"setvar", opSetVar}, {"incvar", opIncVar}, {"decvar", opDecVar},
        {"getvar", opGetVar}, {"setreg", opSetReg}, {"getreg", opGetReg}, {"setlocal", opSetLocal},
        {"getlocal", opGetLocal}, {"mesend", opMesEnd}, {"voice", opVoice},
        {"playbgm", opPlayBGM}, {"stopbgm", opStopBGM}, {"playbgmonce", opPlayBGMOnce}, {"stopbgm2", opStopBGM2},
        {"playse", opPlaySE}, {"stopse", opStopSE}, {"playse2", opPlaySE2}, {"stopse2", opStopSE2}, {"bg", opBG},
        {"bgwhite", opBGWhite}, {"bgblack", opBGBlack}, {"setchar", opSetChar}, {"removechar", opRemoveChar},
        {"changescene", opChangeScene}, {"changescene1", opChangeScene1}, {"bgchange", opBGChange},
        {"whiteout", opWhiteOut}, {"blackout", opBlackOut}, {"charin", opCharIn}, {"charout", opCharOut},
        {"shake", opShake}, {"wait", opWait}, {"getphase", opGetPhase}, {"getepisode", opGetEpisode},
        {"getscene", opGetScene}, {"setprogress", opSetProgress}, {"getmodea", opGetModeA},
        {"setmodea", opSetModeA}, {"random", opRandom}, {"setmodeb", opSetModeB}, {"clearmodeb", opClearModeB},
        {"openingmovie", opOpeningMovie}, {"endingmovie", opEndingMovie}, {"totitle", opToTitle},
        {"raisecursor", opRaiseCursor}, {"lowercursor", opLowerCursor}, {"chaptermovie", opChapterMovie},
        {"minigame", opMiniGame}, {"scriptvalue", opScriptValue}, {"batonresult", opBatonResult},
    };
    return ops;
}

std::string Lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

void Put16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void Set32(std::vector<uint8_t>& out, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

bool ParseNumber(const std::string& text, int64_t& value)
{
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    int base = 10;
    if (text.size() - i > 2 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size())
        return false;
    uint64_t v = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        if (v > (UINT64_MAX >> 4))
            return false;
        v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    }
    if (v > static_cast<uint64_t>(INT64_MAX))
        return false;
    value = negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
    return true;
}

class TAssembler {
public:
    void Assemble(const std::string& source, std::vector<uint8_t>& out);

private:
    std::vector<TToken> Tokenize(const std::string& line);
    std::string DecodeText(const std::string& line, size_t& i);
    void Statement(std::vector<TToken>& tokens);
    void Directive(const std::vector<TToken>& tokens);
    void Instruction(const std::vector<TToken>& tokens);
    TSection& Current();
    int64_t Number(const TToken& token, int64_t low, int64_t high);
    const std::string& Text(const TToken& token);
    void Want(const std::vector<TToken>& tokens, size_t count);
    std::vector<uint8_t> Build();
    std::vector<uint8_t> Emit(const TSection& section, const std::vector<size_t>& positions,
                              const std::map<std::string, size_t>& labels);

    int FLine = 0;
    std::string FCodePage = "CP932";
    uint32_t FScenario = 0;
    uint64_t FStamp = 0;
    uint8_t FMagic[4] = {'Z', 'B', '0', '1'};
    uint32_t FReserved1 = 0, FReserved2 = 0;
    std::optional<uint32_t> FTrigOffset, FTrigSize, FFuncOffset, FFuncSize, FFileSize;
    std::vector<TFunction> FFunctions;
    std::vector<TTrigger> FTriggers;
    // Function-block labels are shared by all functions: function index and item index.
    std::map<std::string, std::pair<size_t, size_t>> FFuncLabels;
    bool FInCondition = false;

public:
    int Line() const { return FLine; }
};

[[noreturn]] void Error(const std::string& message)
{
    throw EAsmError(message);
}

std::string TAssembler::DecodeText(const std::string& line, size_t& i)
{
    // i is on the opening quote; it ends after the closing one.
    std::string result, pending;
    auto flush = [&] {
        if (pending.empty())
            return;
        std::string converted;
        if (!Utf8ToCodePage(pending, FCodePage.c_str(), converted))
            Error("text cannot be written in code page " + FCodePage);
        result += converted;
        pending.clear();
    };
    for (++i; i < line.size(); ++i) {
        char c = line[i];
        if (c == '"') {
            ++i;
            flush();
            return result;
        }
        if (c != '\\') {
            pending += c;
            continue;
        }
        if (++i >= line.size())
            break;
        switch (line[i]) {
        case 'n': pending += '\n'; break;
        case 't': pending += '\t'; break;
        case '\\': pending += '\\'; break;
        case '"': pending += '"'; break;
        case 'x': {
            int64_t v;
            if (i + 2 >= line.size() || !ParseNumber("0x" + line.substr(i + 1, 2), v))
                Error("bad \\x escape");
            flush();
            result += static_cast<char>(v);
            i += 2;
            break;
        }
        default: Error("unknown escape");
        }
    }
    Error("unterminated text");
}

std::vector<TToken> TAssembler::Tokenize(const std::string& line)
{
    std::vector<TToken> tokens;
    size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
            continue;
        }
        if (c == '#' || c == ';')
            break;
        TToken token;
        if (c == '"') {
            token.Value = DecodeText(line, i);
            token.Quoted = true;
            tokens.push_back(token);
            continue;
        }
        size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' && line[i] != '"' &&
               line[i] != '#' && line[i] != ';')
            ++i;
        std::string word = line.substr(start, i - start);
        size_t eq = word.find('=');
        if (eq != std::string::npos) {
            token.Key = Lower(word.substr(0, eq));
            token.Value = word.substr(eq + 1);
            if (token.Value.empty() && i < line.size() && line[i] == '"') {
                token.Value = DecodeText(line, i);
                token.Quoted = true;
            }
        } else {
            token.Value = word;
        }
        tokens.push_back(token);
    }
    return tokens;
}

int64_t TAssembler::Number(const TToken& token, int64_t low, int64_t high)
{
    int64_t value;
    if (token.Quoted || !ParseNumber(token.Value, value))
        Error("number expected: " + token.Value);
    if (value < low || value > high)
        Error("number out of range: " + token.Value);
    return value;
}

const std::string& TAssembler::Text(const TToken& token)
{
    if (!token.Quoted)
        Error("quoted text expected");
    return token.Value;
}

void TAssembler::Want(const std::vector<TToken>& tokens, size_t count)
{
    if (tokens.size() != count)
        Error("expected " + std::to_string(count - 1) + " operand(s) for " + tokens[0].Value);
}

TSection& TAssembler::Current()
{
    if (FInCondition)
        return FTriggers.back().Condition;
    if (FFunctions.empty())
        Error("code outside a function");
    return FFunctions.back().Code;
}

void TAssembler::Assemble(const std::string& source, std::vector<uint8_t>& out)
{
    size_t start = 0;
    while (start <= source.size()) {
        size_t end = source.find('\n', start);
        if (end == std::string::npos)
            end = source.size();
        ++FLine;
        std::vector<TToken> tokens = Tokenize(source.substr(start, end - start));
        if (!tokens.empty())
            Statement(tokens);
        start = end + 1;
    }
    if (FInCondition) {
        FLine = FTriggers.back().Line;
        Error(".trigger without .end");
    }
    FLine = 0;
    out = Build();
}

void TAssembler::Statement(std::vector<TToken>& tokens)
{
    TToken& first = tokens[0];
    if (first.Key.empty() && !first.Quoted && first.Value.size() > 1 && first.Value.back() == ':') {
        std::string label = first.Value.substr(0, first.Value.size() - 1);
        TSection& section = Current();
        bool fresh;
        if (FInCondition)
            fresh = section.Labels.emplace(label, section.Items.size()).second;
        else
            fresh = FFuncLabels.emplace(label, std::make_pair(FFunctions.size() - 1, section.Items.size())).second;
        if (!fresh)
            Error("label defined twice: " + label);
        tokens.erase(tokens.begin());
        if (tokens.empty())
            return;
    }
    if (tokens[0].Value.size() > 1 && tokens[0].Value[0] == '.' && tokens[0].Key.empty())
        Directive(tokens);
    else
        Instruction(tokens);
}

void TAssembler::Directive(const std::vector<TToken>& tokens)
{
    const std::string name = Lower(tokens[0].Value);
    auto raw = [&](int bytes, int64_t low, int64_t high) {
        TSection& section = Current();
        for (size_t i = 1; i < tokens.size(); ++i) {
            TCodeItem item;
            item.Line = FLine;
            uint64_t v = static_cast<uint64_t>(Number(tokens[i], low, high));
            for (int b = 0; b < bytes; ++b)
                item.Bytes.push_back(static_cast<uint8_t>(v >> (8 * b)));
            section.Items.push_back(std::move(item));
        }
    };
    if (name == ".end") {
        if (!FInCondition)
            Error(".end without .trigger");
        FInCondition = false;
    } else if (name == ".function") {
        if (FInCondition)
            Error(".function inside a condition");
        if (tokens.size() < 2 || !tokens[1].Key.empty() || tokens[1].Quoted)
            Error(".function needs a name");
        TFunction function;
        function.Name = tokens[1].Value;
        for (size_t i = 2; i < tokens.size(); ++i) {
            if (tokens[i].Key == "entrylen")
                function.EntryLength = static_cast<uint32_t>(Number(tokens[i], 0, UINT32_MAX));
            else if (tokens[i].Key == "namelen")
                function.NameLength = static_cast<uint16_t>(Number(tokens[i], 0, UINT16_MAX));
            else
                Error("unknown .function field: " + tokens[i].Key);
        }
        FFunctions.push_back(std::move(function));
        // The name is a label of the function's first instruction.
        std::vector<TToken> label{TToken{"", FFunctions.back().Name + ":", false}};
        Statement(label);
    } else if (name == ".trigger") {
        if (FInCondition)
            Error(".trigger inside a condition");
        if (tokens.size() < 2 || !tokens[1].Key.empty())
            Error(".trigger needs a start");
        TTrigger trigger;
        trigger.Line = FLine;
        int64_t start;
        if (ParseNumber(tokens[1].Value, start))
            trigger.StartOffset = static_cast<uint32_t>(Number(tokens[1], 0, UINT32_MAX));
        else
            trigger.Start = tokens[1].Value;
        bool group = false, priority = false;
        for (size_t i = 2; i < tokens.size(); ++i) {
            const TToken& t = tokens[i];
            if (t.Key == "group") {
                trigger.Group = static_cast<uint8_t>(Number(t, 0, 255));
                group = true;
            } else if (t.Key == "priority") {
                trigger.Priority = static_cast<uint8_t>(Number(t, 0, 255));
                priority = true;
            } else if (t.Key == "data") {
                if (t.Quoted) {
                    trigger.Data.assign(t.Value.begin(), t.Value.end());
                } else {
                    std::string hex = t.Value;
                    if (hex.size() < 2 || hex.compare(0, 2, "0x") != 0 || hex.size() % 2 != 0)
                        Error("data= takes a text or 0x hex bytes");
                    for (size_t h = 2; h < hex.size(); h += 2) {
                        int64_t v;
                        if (!ParseNumber("0x" + hex.substr(h, 2), v))
                            Error("bad hex byte in data=");
                        trigger.Data.push_back(static_cast<uint8_t>(v));
                    }
                }
            } else if (t.Key == "code") {
                trigger.StartOffset = static_cast<uint32_t>(Number(t, 0, UINT32_MAX));
            } else if (t.Key == "entrylen") {
                trigger.EntryLength = static_cast<uint16_t>(Number(t, 0, UINT16_MAX));
            } else if (t.Key == "datalen") {
                trigger.DataLength = static_cast<uint16_t>(Number(t, 0, UINT16_MAX));
            } else if (t.Key == "condlen") {
                trigger.ConditionLength = static_cast<uint16_t>(Number(t, 0, UINT16_MAX));
            } else {
                Error("unknown .trigger field: " + t.Key);
            }
        }
        if (!group || !priority)
            Error(".trigger needs group= and priority=");
        FTriggers.push_back(std::move(trigger));
        FInCondition = true;
    } else if (name == ".codepage") {
        Want(tokens, 2);
        if (tokens[1].Value != "CP932" && tokens[1].Value != "CP936")
            Error(".codepage takes CP932 or CP936");
        FCodePage = tokens[1].Value;
    } else if (name == ".scenario") {
        Want(tokens, 2);
        FScenario = static_cast<uint32_t>(Number(tokens[1], INT32_MIN, UINT32_MAX));
    } else if (name == ".stamp") {
        Want(tokens, 2);
        FStamp = static_cast<uint64_t>(Number(tokens[1], INT64_MIN, INT64_MAX));
    } else if (name == ".magic") {
        Want(tokens, 2);
        const std::string& magic = Text(tokens[1]);
        if (magic.size() != 4)
            Error(".magic takes 4 bytes");
        std::memcpy(FMagic, magic.data(), 4);
    } else if (name == ".reserved") {
        Want(tokens, 3);
        FReserved1 = static_cast<uint32_t>(Number(tokens[1], INT32_MIN, UINT32_MAX));
        FReserved2 = static_cast<uint32_t>(Number(tokens[2], INT32_MIN, UINT32_MAX));
    } else if (name == ".trigoffset" || name == ".trigsize" || name == ".funcoffset" || name == ".funcsize" ||
               name == ".filesize") {
        Want(tokens, 2);
        uint32_t v = static_cast<uint32_t>(Number(tokens[1], 0, UINT32_MAX));
        (name == ".trigoffset"   ? FTrigOffset
         : name == ".trigsize"   ? FTrigSize
         : name == ".funcoffset" ? FFuncOffset
         : name == ".funcsize"   ? FFuncSize
                                 : FFileSize) = v;
    } else if (name == ".u8") {
        raw(1, INT8_MIN, UINT8_MAX);
    } else if (name == ".u16") {
        raw(2, INT16_MIN, UINT16_MAX);
    } else if (name == ".u32") {
        raw(4, INT32_MIN, UINT32_MAX);
    } else if (name == ".fill") {
        if (tokens.size() != 2 && tokens.size() != 3)
            Error(".fill takes a count and an optional byte");
        TCodeItem item;
        item.Line = FLine;
        const int64_t count = Number(tokens[1], 0, 1 << 24);
        const int64_t byte = tokens.size() == 3 ? Number(tokens[2], 0, 255) : 0;
        item.Bytes.assign(static_cast<size_t>(count), static_cast<uint8_t>(byte));
        Current().Items.push_back(std::move(item));
    } else {
        Error("unknown directive " + name);
    }
}

void TAssembler::Instruction(const std::vector<TToken>& tokens)
{
    const std::string mnemonic = Lower(tokens[0].Value);
    TCodeItem item;
    item.Line = FLine;
    std::vector<uint8_t>& b = item.Bytes;
    auto text = [&](const std::string& value) {
        Put32(b, static_cast<uint32_t>(value.size() + 1));
        b.insert(b.end(), value.begin(), value.end());
        b.push_back(0);
    };
    auto messageId = [&]() {
        const uint32_t scenario = static_cast<uint32_t>(Number(tokens[1], 0, 0xFFFF));
        const uint32_t message = static_cast<uint32_t>(Number(tokens[2], 0, 0xFFFF));
        return (scenario << 16) | message;
    };

    const auto& plain = PlainOps();
    if (auto found = plain.find(mnemonic); found != plain.end()) {
        Want(tokens, 1);
        Put16(b, found->second);
    } else if (mnemonic == "op") {
        Want(tokens, 2);
        Put16(b, static_cast<uint32_t>(Number(tokens[1], 0, 0xFFFF)));
    } else if (mnemonic == "push") {
        Want(tokens, 2);
        Put16(b, opPush);
        Put32(b, static_cast<uint32_t>(Number(tokens[1], INT32_MIN, UINT32_MAX)));
    } else if (mnemonic == "pushstr" || mnemonic == "call_l" || mnemonic == "select") {
        Want(tokens, 2);
        Put16(b, mnemonic == "pushstr" ? opPushStr : mnemonic == "call_l" ? opCallL : opSelect);
        text(Text(tokens[1]));
    } else if (mnemonic == "mes" || mnemonic == "mesvoice") {
        Want(tokens, 4);
        Put16(b, mnemonic == "mes" ? opMes : opMesVoice);
        Put32(b, messageId());
        text(Text(tokens[3]));
    } else if (mnemonic == "jmp" || mnemonic == "jz" || mnemonic == "jnz" || mnemonic == "call") {
        Want(tokens, 2);
        Put16(b, mnemonic == "jmp" ? opJmp : mnemonic == "jz" ? opJz : mnemonic == "jnz" ? opJnz : opCall);
        int64_t distance = 0;
        if (!tokens[1].Quoted && ParseNumber(tokens[1].Value, distance))
            distance = Number(tokens[1], INT32_MIN, INT32_MAX);
        else
            item.Target = tokens[1].Value;
        Put32(b, static_cast<uint32_t>(distance));
    } else {
        Error("unknown instruction " + tokens[0].Value);
    }
    Current().Items.push_back(std::move(item));
}

// positions holds the block position of each item of the section; labels the block position
// of each label.
std::vector<uint8_t> TAssembler::Emit(const TSection& section, const std::vector<size_t>& positions,
                                      const std::map<std::string, size_t>& labels)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i < section.Items.size(); ++i) {
        TCodeItem item = section.Items[i];
        if (!item.Target.empty()) {
            auto found = labels.find(item.Target);
            if (found == labels.end()) {
                FLine = item.Line;
                Error("unknown label " + item.Target);
            }
            const int64_t distance = int64_t(found->second) - int64_t(positions[i]);
            Set32(item.Bytes, 2, static_cast<uint32_t>(distance));
        }
        out.insert(out.end(), item.Bytes.begin(), item.Bytes.end());
    }
    return out;
}

std::vector<uint8_t> TAssembler::Build()
{
    // Lay out the function block: each function's item positions and the end of its code.
    std::vector<std::vector<size_t>> positions(FFunctions.size());
    std::vector<size_t> codeEnd(FFunctions.size());
    size_t at = 0;
    for (size_t f = 0; f < FFunctions.size(); ++f) {
        const TFunction& function = FFunctions[f];
        at += 12 + (function.NameLength ? *function.NameLength : function.Name.size() + 1);
        for (const TCodeItem& item : function.Code.Items) {
            positions[f].push_back(at);
            at += item.Bytes.size();
        }
        codeEnd[f] = at;
    }
    std::map<std::string, size_t> labels;
    for (const auto& [name, place] : FFuncLabels) {
        const auto [f, item] = place;
        labels[name] = item < positions[f].size() ? positions[f][item] : codeEnd[f];
    }
    std::vector<uint8_t> funcBlock;
    for (size_t f = 0; f < FFunctions.size(); ++f) {
        const TFunction& function = FFunctions[f];
        const size_t nameField = function.NameLength ? *function.NameLength : function.Name.size() + 1;
        std::vector<uint8_t> code = Emit(function.Code, positions[f], labels);
        const size_t entryLength = 12 + nameField + code.size();
        Put32(funcBlock, function.EntryLength ? *function.EntryLength : static_cast<uint32_t>(entryLength));
        Put16(funcBlock, static_cast<uint32_t>(nameField));
        funcBlock.insert(funcBlock.end(), 6, 0);
        std::string name = function.Name;
        name.resize(nameField, '\0');
        funcBlock.insert(funcBlock.end(), name.begin(), name.end());
        funcBlock.insert(funcBlock.end(), code.begin(), code.end());
    }

    std::vector<uint8_t> trigBlock;
    for (TTrigger& trigger : FTriggers) {
        uint32_t codeOffset = 0;
        if (trigger.StartOffset) {
            codeOffset = *trigger.StartOffset;
        } else {
            auto found = labels.find(trigger.Start);
            if (found == labels.end()) {
                FLine = trigger.Line;
                Error("unknown label " + trigger.Start);
            }
            codeOffset = static_cast<uint32_t>(found->second);
        }
        std::vector<size_t> condPositions;
        size_t c = 0;
        for (const TCodeItem& item : trigger.Condition.Items) {
            condPositions.push_back(c);
            c += item.Bytes.size();
        }
        std::map<std::string, size_t> condLabels;
        for (const auto& [name, item] : trigger.Condition.Labels)
            condLabels[name] = item < condPositions.size() ? condPositions[item] : c;
        std::vector<uint8_t> condition = Emit(trigger.Condition, condPositions, condLabels);
        const size_t entryLength = 12 + trigger.Data.size() + condition.size();
        if (entryLength > 0xFFFF) {
            FLine = trigger.Line;
            Error("trigger entry longer than 65535 bytes");
        }
        Put16(trigBlock, trigger.EntryLength ? *trigger.EntryLength : static_cast<uint32_t>(entryLength));
        Put16(trigBlock, trigger.DataLength ? *trigger.DataLength : static_cast<uint32_t>(trigger.Data.size()));
        Put32(trigBlock, codeOffset);
        trigBlock.push_back(trigger.Group);
        trigBlock.push_back(trigger.Priority);
        Put16(trigBlock,
              trigger.ConditionLength ? *trigger.ConditionLength : static_cast<uint32_t>(condition.size()));
        trigBlock.insert(trigBlock.end(), trigger.Data.begin(), trigger.Data.end());
        trigBlock.insert(trigBlock.end(), condition.begin(), condition.end());
    }

    // Sized once and filled in place (growing it by insert trips a false -Warray-bounds at -O3).
    std::vector<uint8_t> file(ZbScript::HeaderSize + trigBlock.size() + funcBlock.size(), 0);
    std::memcpy(file.data(), FMagic, 4);
    Set32(file, 4, FReserved1);
    Set32(file, 8, FScenario);
    Set32(file, 12, static_cast<uint32_t>(FStamp));
    Set32(file, 16, static_cast<uint32_t>(FStamp >> 32));
    const size_t trigOffset = ZbScript::HeaderSize;
    const size_t funcOffset = trigOffset + trigBlock.size();
    Set32(file, 20, FTrigOffset ? *FTrigOffset : static_cast<uint32_t>(trigOffset));
    Set32(file, 24, FTrigSize ? *FTrigSize : static_cast<uint32_t>(trigBlock.size()));
    Set32(file, 28, FFuncOffset ? *FFuncOffset : static_cast<uint32_t>(funcOffset));
    Set32(file, 32, FFuncSize ? *FFuncSize : static_cast<uint32_t>(funcBlock.size()));
    Set32(file, 36, FReserved2);
    std::copy(trigBlock.begin(), trigBlock.end(), file.begin() + static_cast<std::ptrdiff_t>(trigOffset));
    std::copy(funcBlock.begin(), funcBlock.end(), file.begin() + static_cast<std::ptrdiff_t>(funcOffset));
    if (FFileSize)
        file.resize(*FFileSize, 0);
    return file;
}

}  // namespace

bool AssembleScript(const std::string& source, std::vector<uint8_t>& out, std::string& error)
{
    TAssembler assembler;
    try {
        std::vector<uint8_t> bytes;
        assembler.Assemble(source, bytes);
        out = std::move(bytes);
        error.clear();
        return true;
    } catch (const EAsmError& e) {
        error = assembler.Line() > 0 ? "line " + std::to_string(assembler.Line()) + ": " + e.what() : e.what();
        return false;
    }
}
