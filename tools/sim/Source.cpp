#include "vemor/sim/Source.h"

#include "vemor/Capture.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace vemor::sim {

namespace {

constexpr std::size_t ReplayPiece = 64;
constexpr std::uint64_t FaultOneIn = 40;

// Payload bytes with every FF doubled, no pair.
void AppendEscaped(std::vector<std::uint8_t>& out, const std::uint8_t* p, int n) {
    for (int i = 0; i < n; ++i) {
        out.push_back(p[i]);
        if (p[i] == 0xFF) {
            out.push_back(0xFF);
        }
    }
}

std::runtime_error FileError(const std::string& path, const std::string& reason) {
    return std::runtime_error(path + ": " + reason);
}

} // namespace

EngineSource::EngineSource(std::uint64_t seed, bool faults)
    : engine_(seed), faultRng_(seed ^ 0x5EEDFA17ULL), withFaults_(faults) {}

bool EngineSource::Next(Piece& piece) {
    piece.Bytes.clear();
    piece.PauseMs = 0;
    std::uint8_t payload[PayloadLength];
    if (!withFaults_ || faultRng_.Next() % FaultOneIn != 0) {
        engine_.NextPayload(payload);
        AppendLineFrame(piece.Bytes, payload);
        return true;
    }
    const int pick = faultRng_.IntBetween(0, 11);
    const FaultKind kind = pick < 3    ? FaultKind::ShortFrame
                           : pick < 6  ? FaultKind::LongFrame
                           : pick < 8  ? FaultKind::UnescapedFF
                           : pick < 11 ? FaultKind::Noise
                                       : FaultKind::Pause;
    faults_.push_back(kind);
    switch (kind) {
    case FaultKind::ShortFrame:
        engine_.NextPayload(payload);
        AppendEscaped(piece.Bytes, payload, faultRng_.IntBetween(3, PayloadLength - 2));
        piece.Bytes.insert(piece.Bytes.end(), {0xFF, 0x00});
        break;
    case FaultKind::LongFrame: {
        engine_.NextPayload(payload);
        AppendEscaped(piece.Bytes, payload, PayloadLength);
        std::uint8_t extra[20];
        const int n = faultRng_.IntBetween(1, 20);
        for (int i = 0; i < n; ++i) {
            extra[i] = static_cast<std::uint8_t>(faultRng_.Next());
        }
        AppendEscaped(piece.Bytes, extra, n);
        piece.Bytes.insert(piece.Bytes.end(), {0xFF, 0x00});
        break;
    }
    case FaultKind::UnescapedFF:
        // A last payload byte FF sent single: with the pair's FF it reads as an escape, the
        // pair is missed, and this frame runs into the next one.
        engine_.NextPayload(payload);
        payload[PayloadLength - 1] = 0xFF;
        AppendEscaped(piece.Bytes, payload, PayloadLength - 1);
        piece.Bytes.insert(piece.Bytes.end(), {0xFF, 0xFF, 0x00});
        break;
    case FaultKind::Noise: {
        const int n = faultRng_.IntBetween(1, 16);
        for (int i = 0; i < n; ++i) {
            piece.Bytes.push_back(static_cast<std::uint8_t>(faultRng_.Next()));
        }
        break;
    }
    case FaultKind::Pause:
        piece.PauseMs = faultRng_.IntBetween(150, 500);
        break;
    }
    return true;
}

bool RandomSource::Next(Piece& piece) {
    piece.Bytes.clear();
    piece.PauseMs = 0;
    std::uint8_t payload[PayloadLength];
    for (std::uint8_t& b : payload) {
        b = static_cast<std::uint8_t>(rng_.Next());
    }
    AppendLineFrame(piece.Bytes, payload);
    return true;
}

ReplaySource::ReplaySource(const std::string& path) : path_(path) {
    file_.reset(std::fopen(path.c_str(), "rb"));
    if (!file_) {
        throw FileError(path, std::strerror(errno));
    }
    std::uint8_t header[CaptureHeaderLength];
    const std::size_t got = std::fread(header, 1, sizeof header, file_.get());
    if (got < sizeof header) {
        if (std::ferror(file_.get())) {
            throw FileError(path, std::strerror(errno));
        }
        throw FileError(path, "file is shorter than the 16-byte header");
    }
}

bool ReplaySource::Next(Piece& piece) {
    piece.PauseMs = 0;
    piece.Bytes.resize(ReplayPiece);
    const std::size_t got = std::fread(piece.Bytes.data(), 1, ReplayPiece, file_.get());
    piece.Bytes.resize(got);
    if (got == 0 && std::ferror(file_.get())) {
        throw FileError(path_, std::strerror(errno));
    }
    return got > 0;
}

std::size_t FrameCounter::CutAfter(const std::uint8_t* p, std::size_t n,
                                   std::uint64_t limit) const {
    if (limit == 0) {
        return 0;
    }
    FrameAssembler trial = assembler_;
    std::uint64_t seen = 0;
    std::size_t cut = n;
    trial.AssembleBytes(p, n, [&](const std::uint8_t*, std::size_t i) {
        if (++seen == limit && cut == n) {
            cut = i + 1;
        }
    });
    return cut;
}

void FrameCounter::Feed(const std::uint8_t* p, std::size_t n) {
    dropped_ += assembler_.AssembleBytes(p, n, [&](const std::uint8_t*) { ++frames_; });
}

} // namespace vemor::sim
