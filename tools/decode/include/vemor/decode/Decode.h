#pragma once
// Capture file to CSV: the 16-byte time header, then the body run through the frame
// assembler from a reset state; one row per accepted frame, numbers as the labels show them.

#include "vemor/Assembler.h"
#include "vemor/Capture.h"
#include "vemor/decode/Output.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vemor::decode {

inline constexpr std::size_t DefaultBlockSize = std::size_t{1} << 20;

inline constexpr const char* CsvHeader =
    "frame,offset,rpm,battery_v,coolant_c,intake_c,pulse_width,map,o2,tps,byte14";

struct Options {
    bool payload = false; // add p0..p30
    bool info = false;    // header times and counts instead of rows
    std::size_t blockSize = DefaultBlockSize;
};

struct Summary {
    std::array<std::uint8_t, CaptureHeaderLength> header{};
    std::uint64_t bodyBytes = 0;
    std::uint64_t frames = 0;
    std::uint64_t dropped = 0;
};

// Bytes as a terminal can show them: control bytes as \xNN, the backslash doubled; others
// (the regional texts may use 8-bit characters) as they are.
std::string Escaped(const std::uint8_t* p, std::size_t n);

// Text up to the first zero byte of a header field, escaped.
std::string HeaderText(const std::uint8_t* field, std::size_t width);

// One line per header field that is not a time text: printable characters, then zero bytes
// to the field's end. An empty stop field is a capture that was never finished; an empty
// start field is not a capture's.
std::vector<std::string> HeaderWarnings(const std::array<std::uint8_t, CaptureHeaderLength>& h);

// Takes the file's bytes in any pieces. Owner: one thread.
class CaptureDecoder {
public:
    CaptureDecoder(const Options& options, OutputBuffer& out);

    void Feed(const std::uint8_t* p, std::size_t n);
    // False when the input ended inside the header. Otherwise writes the --info lines
    // (in that mode) and flushes; the caller checks the buffer for a write failure.
    bool Finish();

    bool HeaderComplete() const { return headerHave_ == CaptureHeaderLength; }
    const Summary& summary() const { return summary_; }

private:
    void FeedBody(const std::uint8_t* p, std::size_t n);
    template <bool Payload>
    void FeedRows(const std::uint8_t* p, std::size_t n);

    Options options_;
    OutputBuffer& out_;
    FrameAssembler assembler_;
    Summary summary_;
    std::size_t headerHave_ = 0;
};

enum class Status { Ok, InputError, OutputError };

struct Result {
    Status status = Status::Ok;
    std::string message; // "FILE: reason" or the output's reason; empty when Ok
};

inline constexpr const char* ShortFileReason = "file is shorter than the 16-byte header";
inline constexpr const char* NotRegularReason = "not a regular file";

using WarnFn = std::function<void(const std::string& line)>;

// Streams the file in blocks of options.blockSize bytes, in constant memory. Anything but a
// regular file is refused before a byte is read. Each header warning goes to warn as
// "FILE: warning: ..." as soon as the header is in.
Result DecodeFile(const std::string& path, const Options& options, Writer& out,
                  const WarnFn& warn = {});

// The same on a capture already in memory, e.g. for fuzzing.
Result DecodeBytes(const std::uint8_t* data, std::size_t n, const Options& options, Writer& out,
                   const std::string& name = "<memory>");

} // namespace vemor::decode
