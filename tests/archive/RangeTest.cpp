#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "archive/Verange.h"

namespace {

// A body shaped like the system save: mostly zeros with a few filled stretches.
std::vector<uint8_t> MixedData(size_t size)
{
    std::vector<uint8_t> data(size, 0);
    std::mt19937 gen(7);
    for (size_t i = 0; i < 64 && i < size; ++i)
        data[i] = static_cast<uint8_t>(gen());
    for (size_t start = 100; start + 400 < size; start += 9000)
        for (size_t i = start; i < start + 400; ++i)
            data[i] = static_cast<uint8_t>(i * 7 + (i >> 5));
    for (size_t i = size / 2; i < size / 2 + 4096 && i < size; ++i)
        data[i] = static_cast<uint8_t>(gen());
    return data;
}

std::vector<uint8_t> EncodeAll(const std::vector<uint8_t>& raw)
{
    TRangeEncode encoder;
    EXPECT_TRUE(encoder.CreateBuffer());
    std::vector<uint8_t> coded(raw.size() * 2 + 64);
    EXPECT_TRUE(encoder.Encode(raw.data(), coded.data(), static_cast<int64_t>(coded.size()),
                               static_cast<int64_t>(raw.size())));
    coded.resize(static_cast<size_t>(encoder.OutCount));
    return coded;
}

void ExpectRoundTrip(const std::vector<uint8_t>& raw)
{
    std::vector<uint8_t> coded = EncodeAll(raw);
    TRangeDecode decoder;
    ASSERT_TRUE(decoder.CreateBuffer());
    std::vector<uint8_t> back(raw.size() + 1, 0xCC);
    ASSERT_TRUE(decoder.Decode(coded.data(), back.data(), static_cast<int64_t>(coded.size()),
                               static_cast<int64_t>(raw.size())));
    EXPECT_EQ(decoder.OutCount, static_cast<int64_t>(raw.size()));
    EXPECT_EQ(decoder.InCount, static_cast<int64_t>(coded.size()));
    EXPECT_EQ(back.back(), 0xCC);
    back.pop_back();
    EXPECT_EQ(back, raw);
}

}  // namespace

TEST(RangeCoder, RoundTripsEmptyOneByteAndLargeMixedData)
{
    ExpectRoundTrip({});
    ExpectRoundTrip({0x00});
    ExpectRoundTrip({0xFF});
    std::vector<uint8_t> all(256 * 3);
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = static_cast<uint8_t>(255 - i % 256);
    ExpectRoundTrip(all);

    std::vector<uint8_t> big = MixedData(0x40048);
    ExpectRoundTrip(big);
    // Long zero runs must shrink a lot: the save file relies on it.
    EXPECT_LT(EncodeAll(big).size(), big.size() / 8);

    // Runs of 0xFF bytes exercise the held-back carry bytes.
    std::vector<uint8_t> ones(50000, 0xFF);
    ExpectRoundTrip(ones);
    std::mt19937 gen(3);
    std::vector<uint8_t> noise(70000);
    for (uint8_t& b : noise)
        b = static_cast<uint8_t>(gen());
    ExpectRoundTrip(noise);
}

TEST(RangeCoder, EncoderReusesItsModelAndRespectsCapacity)
{
    std::vector<uint8_t> raw = MixedData(5000);
    std::vector<uint8_t> first = EncodeAll(raw);
    TRangeEncode encoder;
    ASSERT_TRUE(encoder.CreateBuffer());
    std::vector<uint8_t> out(first.size() + 16, 0xAB);
    ASSERT_TRUE(encoder.Encode(raw.data(), out.data(), static_cast<int64_t>(out.size()), 5000));
    ASSERT_TRUE(encoder.Encode(raw.data(), out.data(), static_cast<int64_t>(out.size()), 5000));
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + encoder.OutCount), first);

    // Exactly enough room works; one byte less fails without writing past the capacity.
    std::vector<uint8_t> exact(first.size() + 1, 0x5A);
    EXPECT_TRUE(encoder.Encode(raw.data(), exact.data(), static_cast<int64_t>(first.size()), 5000));
    exact.assign(first.size() + 1, 0x5A);
    EXPECT_FALSE(encoder.Encode(raw.data(), exact.data(), static_cast<int64_t>(first.size()) - 1, 5000));
    EXPECT_EQ(exact[first.size() - 1], 0x5A);
    EXPECT_FALSE(encoder.Encode(raw.data(), exact.data(), 0, 5000));

    TRangeEncode unprepared;
    EXPECT_FALSE(unprepared.Encode(raw.data(), out.data(), static_cast<int64_t>(out.size()), 10));
    EXPECT_FALSE(encoder.Encode(raw.data(), out.data(), -1, 10));
}

TEST(RangeCoder, DecoderRefusesTruncatedOversizedAndForeignInput)
{
    std::vector<uint8_t> raw = MixedData(3000);
    std::vector<uint8_t> coded = EncodeAll(raw);
    TRangeDecode decoder;
    ASSERT_TRUE(decoder.CreateBuffer());
    std::vector<uint8_t> out(raw.size());

    // Every truncation is refused: the stream needs all its bytes to reach the end symbol.
    for (size_t cut = 0; cut < coded.size(); ++cut) {
        std::vector<uint8_t> part(coded.begin(), coded.begin() + static_cast<long>(cut));
        EXPECT_FALSE(decoder.Decode(part.empty() ? nullptr : part.data(), out.data(),
                                    static_cast<int64_t>(cut), static_cast<int64_t>(out.size())))
            << cut;
    }
    // A destination one byte short is refused; a larger one decodes and reports the true count.
    EXPECT_FALSE(decoder.Decode(coded.data(), out.data(), static_cast<int64_t>(coded.size()),
                                static_cast<int64_t>(raw.size()) - 1));
    std::vector<uint8_t> roomy(raw.size() + 100);
    ASSERT_TRUE(decoder.Decode(coded.data(), roomy.data(), static_cast<int64_t>(coded.size()),
                               static_cast<int64_t>(roomy.size())));
    EXPECT_EQ(decoder.OutCount, static_cast<int64_t>(raw.size()));

    // A stream must start with its zero byte.
    std::vector<uint8_t> bad = coded;
    bad[0] = 1;
    EXPECT_FALSE(decoder.Decode(bad.data(), out.data(), static_cast<int64_t>(bad.size()),
                                static_cast<int64_t>(out.size())));

    // Random input never reads or writes outside the buffers (the sanitizers watch this), and
    // nearly always fails; an output count never exceeds the destination.
    std::mt19937 gen(11);
    for (int round = 0; round < 2000; ++round) {
        std::vector<uint8_t> junk(1 + gen() % 64);
        for (uint8_t& b : junk)
            b = static_cast<uint8_t>(gen());
        if (round % 2 == 0)
            junk[0] = 0;
        std::vector<uint8_t> dest(gen() % 32);
        bool ok = decoder.Decode(junk.data(), dest.empty() ? nullptr : dest.data(),
                                 static_cast<int64_t>(junk.size()), static_cast<int64_t>(dest.size()));
        if (ok) {
            EXPECT_LE(decoder.OutCount, static_cast<int64_t>(dest.size()));
        }
    }
}
