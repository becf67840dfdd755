#pragma once
// Data-stream frame assembler: bytes in, accepted frames out.
// A frame on the line is 31 payload bytes closed by FF 00; a payload FF is sent doubled.

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

namespace vemor {

inline constexpr int FrameLength = 33;
inline constexpr int FrameBufLength = 512;
inline constexpr int PayloadLength = 31;

// State of the assembler. Owner: the thread that feeds it (the GUI thread in the monitor).
struct FrameAssembler {
    std::array<std::uint8_t, FrameBufLength> FrameBuf{};
    std::uint16_t SyncWord = 0;
    std::int32_t FramePos = 0;

    // Feeds n bytes in order. When a byte completes a frame of exactly 33 assembled bytes,
    // calls show(frame) or show(frame, i) with FrameBuf (payload at 0..30, FF 00 at 31..32)
    // and i the index of that byte in p. The state is reset only after show returns, so a
    // consumer that throws leaves FramePos at 33 and SyncWord at 0xFF00 and the rest of p
    // unfed. When a pair ends a frame of the wrong length, calls drop(i) with the index of
    // its 0x00. Returns the number of frames of the wrong length that were dropped.
    template <class Show>
    std::size_t AssembleBytes(const std::uint8_t* p, std::size_t n, Show&& show) {
        return AssembleBytes(p, n, show, [](std::size_t) {});
    }

    template <class Show, class Drop>
    std::size_t AssembleBytes(const std::uint8_t* p, std::size_t n, Show&& show, Drop&& drop) {
        // The state lives in locals: stores into FrameBuf may alias any byte, which would
        // otherwise force a reload of both registers after every byte.
        std::uint16_t sync = SyncWord;
        std::int32_t pos = FramePos;
        std::uint8_t* const buf = FrameBuf.data();
        std::size_t dropped = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint8_t b = p[i];
            sync = static_cast<std::uint16_t>((sync << 8) | b);
            buf[pos] = b;
            if (sync == 0xFFFF) {
                // Escape: the doubled FF stays one byte, since the next byte overwrites it.
                sync = 0xFF00;
                continue;
            }
            ++pos;
            if (pos == FrameBufLength) {
                pos = 0;
            }
            if (sync == 0xFF00) [[unlikely]] {
                if (pos == FrameLength) {
                    SyncWord = sync;
                    FramePos = pos;
                    if constexpr (std::is_invocable_v<Show, const std::uint8_t*, std::size_t>) {
                        show(static_cast<const std::uint8_t*>(buf), i);
                    } else {
                        show(static_cast<const std::uint8_t*>(buf));
                    }
                } else {
                    ++dropped;
                    drop(i);
                }
                pos = 0;
                sync = 0;
            }
        }
        SyncWord = sync;
        FramePos = pos;
        return dropped;
    }

    // One byte; true when it ended a frame of the wrong length.
    template <class Show>
    bool AssembleByte(std::uint8_t b, Show&& show) {
        return AssembleBytes(&b, 1, show) != 0;
    }

    void ResetAssembler() {
        SyncWord = 0;
        FramePos = 0;
    }
};

// Appends one frame in line format: the 31 payload bytes with every FF doubled, then FF 00.
inline void AppendLineFrame(std::vector<std::uint8_t>& out, const std::uint8_t* payload) {
    for (int i = 0; i < PayloadLength; ++i) {
        out.push_back(payload[i]);
        if (payload[i] == 0xFF) {
            out.push_back(0xFF);
        }
    }
    out.push_back(0xFF);
    out.push_back(0x00);
}

} // namespace vemor
