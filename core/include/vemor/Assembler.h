#pragma once
// Data-stream frame assembler: bytes in, accepted frames out.
// A frame on the line is 31 payload bytes closed by FF 00; a payload FF is sent doubled.

#include <array>
#include <cstddef>
#include <cstdint>

namespace vemor {

inline constexpr int FrameLength = 33;
inline constexpr int FrameBufLength = 512;
inline constexpr int PayloadLength = 31;

// State of the assembler. Owner: the thread that feeds it (the GUI thread in the monitor).
struct FrameAssembler {
    std::array<std::uint8_t, FrameBufLength> FrameBuf{};
    std::uint16_t SyncWord = 0;
    std::int32_t FramePos = 0;

    // Feeds one byte. When it completes a frame of exactly 33 assembled bytes, calls
    // show(const std::uint8_t* frame) with FrameBuf (payload at 0..30, FF 00 at 31..32).
    // The state is reset only after show returns, so a consumer that throws leaves
    // FramePos at 33 and SyncWord at 0xFF00.
    // Returns true when the byte ended a frame of the wrong length (dropped).
    template <class Show>
    bool AssembleByte(std::uint8_t b, Show&& show) {
        SyncWord = static_cast<std::uint16_t>((SyncWord << 8) | b);
        FrameBuf[static_cast<std::size_t>(FramePos)] = b;
        if (SyncWord == 0xFFFF) {
            // Escape: the doubled FF stays one byte, since the next byte overwrites it.
            SyncWord = 0xFF00;
            return false;
        }
        ++FramePos;
        if (FramePos == FrameBufLength) {
            FramePos = 0;
        }
        if (SyncWord != 0xFF00) {
            return false;
        }
        const bool accepted = FramePos == FrameLength;
        if (accepted) {
            show(static_cast<const std::uint8_t*>(FrameBuf.data()));
        }
        FramePos = 0;
        SyncWord = 0;
        return !accepted;
    }

    void ResetAssembler() {
        SyncWord = 0;
        FramePos = 0;
    }
};

} // namespace vemor
