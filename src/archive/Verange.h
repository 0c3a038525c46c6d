#pragma once
// Adaptive range coder over 257 symbols: the 256 byte values and an end symbol.
//
// Model: every symbol starts with frequency 1; after a symbol is coded its frequency grows by
// 32. When the total would pass 65536 every frequency is halved (rounding up, so none reaches
// 0). Cumulative frequencies are kept in a Fenwick tree so that coding a symbol and finding the
// symbol of a decoded value both take a few steps instead of a walk over 257 entries.
//
// Coder: 32-bit range, 64-bit low with carry propagation through a pending byte and a count of
// pending 0xFF bytes; the range is renormalised by bytes whenever it falls below 2^24, so a
// range of at least 2^24 divided by a total of at most 2^16 leaves a step of at least 256.
//
// Stream: the first byte is always 0 (the pending byte before anything was coded); then one byte
// per renormalisation; the encoder flushes four more bytes after the end symbol. The decoder
// primes itself with five bytes and reads one byte per renormalisation, so it consumes exactly
// what the encoder wrote. It never reads past the source length nor writes past the destination
// length: a stream that needs more input, decodes to a value outside the model or does not
// reach the end symbol within the destination is refused.

#include <cstdint>
#include <memory>

#include "platform/Classes.h"

class TRangeModel;

class TRangeEncode : public TObject {
public:
    TRangeEncode();
    ~TRangeEncode() override;

    // Prepares the frequency model; false when its storage cannot be had.
    bool CreateBuffer();
    // Codes length bytes of source followed by the end symbol into destination. False when the
    // output would exceed capacity (nothing past capacity is written), when the model was not
    // prepared or a size is negative. The model starts afresh on every call.
    bool Encode(const void* source, void* destination, int64_t capacity, int64_t length);

    // Bytes written by the last successful Encode.
    int64_t OutCount = 0;

private:
    std::unique_ptr<TRangeModel> FModel;
};

class TRangeDecode : public TObject {
public:
    TRangeDecode();
    ~TRangeDecode() override;

    bool CreateBuffer();
    // Decodes a stream made by TRangeEncode::Encode up to its end symbol. True when the end
    // symbol was reached with at most destinationLength bytes decoded; OutCount then holds the
    // decoded count (callers that know the exact size compare it) and InCount the source bytes
    // consumed. False for truncated or corrupt input, or when the data do not fit.
    bool Decode(const void* source, void* destination, int64_t sourceLength, int64_t destinationLength);

    int64_t OutCount = 0;
    int64_t InCount = 0;

private:
    std::unique_ptr<TRangeModel> FModel;
};
