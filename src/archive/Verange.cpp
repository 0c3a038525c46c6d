#include "archive/Verange.h"

#include <new>

namespace {

constexpr int SymbolCount = 257;
constexpr int EndSymbol = 256;
constexpr uint32_t Increment = 32;
constexpr uint32_t TotalLimit = 1u << 16;
constexpr uint32_t RangeBottom = 1u << 24;

}  // namespace

class TRangeModel {
public:
    void Reset()
    {
        for (uint32_t& f : FFreq)
            f = 1;
        Rebuild();
    }

    uint32_t Total() const { return FTotal; }
    uint32_t Freq(int symbol) const { return FFreq[symbol]; }

    // Sum of the frequencies of the symbols below symbol.
    uint32_t CumBelow(int symbol) const
    {
        uint32_t sum = 0;
        for (int i = symbol; i > 0; i -= i & -i)
            sum += FTree[i];
        return sum;
    }

    // The symbol whose interval holds value (value < Total()), and the start of that interval.
    int Find(uint32_t value, uint32_t& cum) const
    {
        int pos = 0;
        uint32_t rest = value;
        for (int step = 256; step > 0; step >>= 1) {
            int next = pos + step;
            if (next <= SymbolCount && FTree[next] <= rest) {
                pos = next;
                rest -= FTree[next];
            }
        }
        cum = value - rest;
        return pos;
    }

    void Update(int symbol)
    {
        if (FTotal + Increment > TotalLimit) {
            for (uint32_t& f : FFreq)
                f = (f + 1) / 2;
            Rebuild();
        }
        FFreq[symbol] += Increment;
        for (int i = symbol + 1; i <= SymbolCount; i += i & -i)
            FTree[i] += Increment;
        FTotal += Increment;
    }

private:
    void Rebuild()
    {
        FTotal = 0;
        for (uint32_t& t : FTree)
            t = 0;
        for (int i = 1; i <= SymbolCount; ++i) {
            FTree[i] += FFreq[i - 1];
            FTotal += FFreq[i - 1];
            int parent = i + (i & -i);
            if (parent <= SymbolCount)
                FTree[parent] += FTree[i];
        }
    }

    uint32_t FFreq[SymbolCount];
    uint32_t FTree[SymbolCount + 1];  // 1-based Fenwick tree over FFreq
    uint32_t FTotal = 0;
};

namespace {

class TEncoderState {
public:
    TEncoderState(uint8_t* out, int64_t capacity) : FOut(out), FCapacity(capacity) {}

    void Code(uint32_t cum, uint32_t freq, uint32_t total)
    {
        uint32_t r = FRange / total;
        FLow += static_cast<uint64_t>(r) * cum;
        FRange = r * freq;
        while (FRange < RangeBottom) {
            FRange <<= 8;
            ShiftLow();
        }
    }

    void Flush()
    {
        for (int i = 0; i < 5; ++i)
            ShiftLow();
    }

    bool Overflow() const { return FOverflow; }
    int64_t Count() const { return FPos; }

private:
    // The top byte of low leaves only once it is known that no later carry can change it:
    // a run of 0xFF bytes is held back as a count until a carry or a smaller byte settles it.
    void ShiftLow()
    {
        if (static_cast<uint32_t>(FLow) < 0xFF000000u || (FLow >> 32) != 0) {
            uint8_t carry = static_cast<uint8_t>(FLow >> 32);
            uint8_t byte = FCache;
            do {
                Put(static_cast<uint8_t>(byte + carry));
                byte = 0xFF;
            } while (--FCacheSize != 0);
            FCache = static_cast<uint8_t>(FLow >> 24);
        }
        ++FCacheSize;
        FLow = static_cast<uint64_t>(static_cast<uint32_t>(FLow) << 8);
    }

    void Put(uint8_t byte)
    {
        if (FPos >= FCapacity) {
            FOverflow = true;
            return;
        }
        FOut[FPos++] = byte;
    }

    uint8_t* FOut;
    int64_t FCapacity;
    int64_t FPos = 0;
    uint64_t FLow = 0;
    uint32_t FRange = 0xFFFFFFFFu;
    uint8_t FCache = 0;
    uint64_t FCacheSize = 1;
    bool FOverflow = false;
};

}  // namespace

TRangeEncode::TRangeEncode() = default;
TRangeEncode::~TRangeEncode() = default;

bool TRangeEncode::CreateBuffer()
{
    if (!FModel)
        FModel.reset(new (std::nothrow) TRangeModel);
    return FModel != nullptr;
}

bool TRangeEncode::Encode(const void* source, void* destination, int64_t capacity, int64_t length)
{
    OutCount = 0;
    if (!FModel || capacity < 0 || length < 0 || (length > 0 && !source) || (capacity > 0 && !destination))
        return false;
    FModel->Reset();
    TEncoderState coder(static_cast<uint8_t*>(destination), capacity);
    const uint8_t* in = static_cast<const uint8_t*>(source);
    for (int64_t i = 0; i < length; ++i) {
        int symbol = in[i];
        coder.Code(FModel->CumBelow(symbol), FModel->Freq(symbol), FModel->Total());
        FModel->Update(symbol);
        if (coder.Overflow())
            return false;
    }
    coder.Code(FModel->CumBelow(EndSymbol), FModel->Freq(EndSymbol), FModel->Total());
    coder.Flush();
    if (coder.Overflow())
        return false;
    OutCount = coder.Count();
    return true;
}

TRangeDecode::TRangeDecode() = default;
TRangeDecode::~TRangeDecode() = default;

bool TRangeDecode::CreateBuffer()
{
    if (!FModel)
        FModel.reset(new (std::nothrow) TRangeModel);
    return FModel != nullptr;
}

bool TRangeDecode::Decode(const void* source, void* destination, int64_t sourceLength, int64_t destinationLength)
{
    OutCount = 0;
    InCount = 0;
    if (!FModel || !source || sourceLength < 5 || destinationLength < 0 || (destinationLength > 0 && !destination))
        return false;
    const uint8_t* in = static_cast<const uint8_t*>(source);
    uint8_t* out = static_cast<uint8_t*>(destination);
    if (in[0] != 0)
        return false;
    uint32_t code = (uint32_t(in[1]) << 24) | (uint32_t(in[2]) << 16) | (uint32_t(in[3]) << 8) | in[4];
    uint32_t range = 0xFFFFFFFFu;
    int64_t inPos = 5;
    int64_t outPos = 0;
    FModel->Reset();
    for (;;) {
        uint32_t total = FModel->Total();
        uint32_t r = range / total;
        uint32_t value = code / r;
        if (value >= total)
            return false;
        uint32_t cum;
        int symbol = FModel->Find(value, cum);
        code -= r * cum;
        range = r * FModel->Freq(symbol);
        while (range < RangeBottom) {
            if (inPos >= sourceLength)
                return false;
            code = (code << 8) | in[inPos++];
            range <<= 8;
        }
        if (symbol == EndSymbol)
            break;
        if (outPos >= destinationLength)
            return false;
        out[outPos++] = static_cast<uint8_t>(symbol);
        FModel->Update(symbol);
    }
    OutCount = outPos;
    InCount = inPos;
    return true;
}
