#pragma once
// Frames as the line carries them: payloads built by position (the bytes the display reads
// are named in core's byte_pos), line bytes with every payload FF doubled and FF 00 after,
// and line bytes cut back into payloads by an assembler from reset.

#include "vemor/Assembler.h"
#include "vemor/Values.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <utility>
#include <vector>

namespace vemor::testing {

using Bytes = std::vector<std::uint8_t>;

// One frame's payload; every byte zero until set.
struct Payload : std::array<std::uint8_t, PayloadLength> {
    Payload() : std::array<std::uint8_t, PayloadLength>{} {}

    // Byte k is first + k, modulo 256.
    static Payload Counting(int first) {
        Payload p;
        for (int k = 0; k < PayloadLength; ++k) {
            p[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(first + k);
        }
        return p;
    }
    // pos: a byte_pos position, or any index below PayloadLength.
    Payload& Set(int pos, int value) {
        at(static_cast<std::size_t>(pos)) = static_cast<std::uint8_t>(value);
        return *this;
    }
    Payload& Set(std::initializer_list<std::pair<int, int>> bytes) {
        for (const auto& [pos, value] : bytes) {
            Set(pos, value);
        }
        return *this;
    }
    // The frame in line format, `times` times over.
    Bytes Line(int times = 1) const {
        Bytes out;
        for (int i = 0; i < times; ++i) {
            AppendLineFrame(out, data());
        }
        return out;
    }
};

// Frame n of a run in which every byte the display shows changes: byte k is 7n + k, the
// speed byte 1 + n % 200 (never zero), the battery byte 200 (12.50 V).
inline Payload Varied(int n) {
    return Payload::Counting(7 * n).Set(byte_pos::Rpm, 1 + n % 200).Set(byte_pos::Battery, 200);
}

// Random bytes: each the low byte of rng(), or with ffOneIn > 0 an FF once in about ffOneIn
// bytes and otherwise any of 00 to FE.
inline Payload RandomPayload(std::mt19937& rng, int ffOneIn = 0) {
    Payload p;
    for (std::uint8_t& b : p) {
        if (ffOneIn == 0) {
            b = static_cast<std::uint8_t>(rng());
        } else if (std::uniform_int_distribution<int>(0, ffOneIn - 1)(rng) == 0) {
            b = 0xFF;
        } else {
            b = static_cast<std::uint8_t>(std::uniform_int_distribution<int>(0, 254)(rng));
        }
    }
    return p;
}

// Line bytes of `count` frames, frame i's payload make(first + i).
template <class Make>
Bytes LineOf(int count, int first, Make make) {
    Bytes out;
    for (int i = first; i < first + count; ++i) {
        AppendLineFrame(out, make(i).data());
    }
    return out;
}

// Frame i's payload counts from first + i.
inline Bytes CountingFrames(int count, int first = 0) {
    return LineOf(count, first, &Payload::Counting);
}

inline Bytes VariedFrames(int count, int first = 0) {
    return LineOf(count, first, &Varied);
}

inline Bytes RandomFrames(int count, std::mt19937& rng, int ffOneIn = 0) {
    return LineOf(count, 0, [&](int) { return RandomPayload(rng, ffOneIn); });
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

// What an assembler from reset takes out of line bytes.
struct Parsed {
    std::vector<Payload> frames;
    std::size_t dropped = 0;
};

inline Parsed Parse(const Bytes& line) {
    Parsed out;
    FrameAssembler a;
    out.dropped = a.AssembleBytes(line.data(), line.size(), [&](const std::uint8_t* f) {
        Payload& p = out.frames.emplace_back();
        std::copy(f, f + PayloadLength, p.begin());
    });
    return out;
}

} // namespace vemor::testing
