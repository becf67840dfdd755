#pragma once
// Outgoing interface packets: '+' start byte, total length L, content, checksum.

#include <array>
#include <cstddef>
#include <cstdint>

namespace vemor {

inline constexpr std::size_t TestPacketLength = 13;

// Two's complement of the 8-bit sum of bytes 0..L-2, L being byte 1 of the packet.
// Writes it into byte L-1 and returns true. A length byte below 3 would put the checksum
// over the start or length byte: such a packet is refused (false, nothing written).
// The buffer must hold at least L bytes.
bool CompletePacket(std::uint8_t* packet);

// Bytes 0..11 of the test packet (2B 0D 01 08 00 01 .. 07); byte 12 is left for the checksum.
void FillTestPacket(std::array<std::uint8_t, TestPacketLength>& packet);

} // namespace vemor
