#include "vemor/Packet.h"

namespace vemor {

bool CompletePacket(std::uint8_t* packet) {
    const unsigned length = packet[1];
    if (length < 3) {
        return false;
    }
    unsigned sum = 0;
    for (unsigned i = 0; i + 1 < length; ++i) {
        sum += packet[i];
    }
    packet[length - 1] = static_cast<std::uint8_t>(256 - sum % 256);
    return true;
}

void FillTestPacket(std::array<std::uint8_t, TestPacketLength>& packet) {
    packet[0] = 0x2B;
    packet[1] = static_cast<std::uint8_t>(TestPacketLength);
    packet[2] = 0x01;
    packet[3] = 0x08;
    for (std::uint8_t k = 0; k < 8; ++k) {
        packet[4 + k] = k;
    }
}

} // namespace vemor
