#pragma once
// What the simulator puts on the line, piece by piece: engine frames (with faults mixed in
// on request) or the body of a capture file.

#include "vemor/Assembler.h"
#include "vemor/sim/Engine.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace vemor::sim {

// Either line bytes or a silence of PauseMs milliseconds (then Bytes is empty).
struct Piece {
    std::vector<std::uint8_t> Bytes;
    int PauseMs = 0;
};

enum class FaultKind { ShortFrame, LongFrame, UnescapedFF, Noise, Pause };

class Source {
public:
    virtual ~Source() = default;
    // The next piece; false once the source has nothing more.
    virtual bool Next(Piece& piece) = 0;
};

// Frames of the engine model in line format. With faults, about one piece in 40 is one of
// FaultKind instead of a good frame; good frames keep coming in between.
class EngineSource final : public Source {
public:
    EngineSource(std::uint64_t seed, bool faults);
    bool Next(Piece& piece) override;
    // Faults made so far, by kind.
    const std::vector<FaultKind>& Faults() const { return faults_; }

private:
    EngineModel engine_;
    Random faultRng_;
    bool withFaults_;
    std::vector<FaultKind> faults_;
};

// Frames whose payload bytes are all random, in line format: every label and trace changes
// at every frame, the monitor's costliest stream.
class RandomSource final : public Source {
public:
    explicit RandomSource(std::uint64_t seed) : rng_(seed) {}
    bool Next(Piece& piece) override;

private:
    Random rng_;
};

// The body of a capture file (what follows its 16-byte header), in pieces of up to 64 bytes.
class ReplaySource final : public Source {
public:
    // Throws std::runtime_error "FILE: reason" when the file cannot be read or is shorter
    // than the header.
    explicit ReplaySource(const std::string& path);
    bool Next(Piece& piece) override;

private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
    std::string path_;
};

// Counts the frames a monitor's assembler, starting from reset, accepts in a byte stream.
class FrameCounter {
public:
    // Bytes of p, from the front, that end with the `limit`-th frame from now; n when the
    // limit is not reached in p.
    std::size_t CutAfter(const std::uint8_t* p, std::size_t n, std::uint64_t limit) const;
    void Feed(const std::uint8_t* p, std::size_t n);
    std::uint64_t Frames() const { return frames_; }
    std::uint64_t Dropped() const { return dropped_; }

private:
    FrameAssembler assembler_;
    std::uint64_t frames_ = 0;
    std::uint64_t dropped_ = 0;
};

} // namespace vemor::sim
