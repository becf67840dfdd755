#pragma once
// What a fuzz target holds true: a crash that libFuzzer keeps the input of, when it is not.

#include <cstdlib>

namespace vemor::fuzz {

inline void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

} // namespace vemor::fuzz
