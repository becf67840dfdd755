#pragma once
// How a status bar's width is shared by its three texts (the message, the capture field, the
// health field): each gets its natural width while all fit; otherwise the message keeps at
// least a third of the bar and the two fields share the rest in proportion, each cut to fit.
// The texts that do not fit end with dots.

#include <algorithm>
#include <array>

namespace vemor {

inline std::array<int, 3> StatusWidths(int bar, const std::array<int, 3>& natural) {
    bar = std::max(bar, 0);
    const int fields = natural[1] + natural[2];
    if (natural[0] + fields <= bar || fields <= bar - bar / 3) {
        return {bar - fields, natural[1], natural[2]};
    }
    const int room = bar - bar / 3;
    const int capture = fields > 0 ? room * natural[1] / fields : 0;
    return {bar - room, capture, room - capture};
}

} // namespace vemor
