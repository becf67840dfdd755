// The decoder library: columns, offsets, header texts, block boundaries and failures.
#include "GoldenCaptures.h"
#include "TestFiles.h"

#include "../support/Decoded.h"

#include "vemor/Capture.h"
#include "vemor/Values.h"
#include "vemor/capture/Decode.h"
#include "vemor/capture/Output.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace vemor::decode::testing {
namespace {

using vemor::testing::Decoded;
using vemor::testing::WithoutSuffix;

Bytes Capture(const std::vector<Bytes>& frames) {
    Bytes out = Header("14:03:07", "14:05:11");
    for (const Bytes& f : frames) {
        out.insert(out.end(), f.begin(), f.end());
    }
    return out;
}

TEST(DecodeColumns, DocumentedExamples) {
    using namespace byte_pos;
    struct Case {
        int byte;
        std::uint8_t value;
        const char* column;
        const char* text;
    };
    const Case cases[] = {
        {Rpm, 0, "rpm", "0"},
        {Rpm, 1, "rpm", "78120"},
        {Rpm, 100, "rpm", "781"},
        {Rpm, 255, "rpm", "306"},
        {Battery, 0, "battery_v", "0.00"},
        {Battery, 2, "battery_v", "0.13"},
        {Battery, 194, "battery_v", "12.13"},
        {Battery, 200, "battery_v", "12.50"},
        {Battery, 201, "battery_v", "12.56"},
        {Battery, 255, "battery_v", "15.94"},
        {Coolant, 0, "coolant_c", "-36"},
        {Coolant, 1, "coolant_c", "-35"},
        {Coolant, 63, "coolant_c", "-1"},
        {Coolant, 64, "coolant_c", "0"},
        {Coolant, 243, "coolant_c", "99"},
        {Coolant, 244, "coolant_c", "100"},
        {Intake, 100, "intake_c", "20"},
        {Intake, 255, "intake_c", "106"},
        {PulseWidth, 0, "pulse_width", "0.0"},
        {PulseWidth, 25, "pulse_width", "2.5"},
        {PulseWidth, 100, "pulse_width", "10.0"},
        {PulseWidth, 255, "pulse_width", "25.5"},
        {Map, 0xFF, "map", "255"},
        {O2, 0, "o2", "0"},
        {Tps, 0x80, "tps", "128"},
        {Byte14, 0xFF, "byte14", "255"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.column) + " of byte " + std::to_string(c.value));
        const auto rows = Rows(Decoded(Capture({Sample({{c.byte, c.value}}).Line()})));
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].at(c.column), c.text);
    }
}

TEST(DecodeColumns, EqualTheLabelNumbersForEveryByteValue) {
    const auto every = [](int v) {
        using namespace byte_pos;
        Payload p = Sample();
        for (int pos : {Map, Coolant, Intake, Battery, O2, Rpm, Tps, Byte14, PulseWidth}) {
            p.Set(pos, v);
        }
        return p;
    };
    const auto rows = Rows(Decoded(Capture({vemor::testing::LineOf(256, 0, every)})));
    ASSERT_EQ(rows.size(), 256u);
    for (int v = 0; v < 256; ++v) {
        SCOPED_TRACE("byte value " + std::to_string(v));
        const Payload payload = every(v);
        const FrameTexts labels = LabelTexts(payload.data(), '.');
        const auto& row = rows[static_cast<std::size_t>(v)];
        // The label's " 0 RPM" blank belongs to the text, not to the number.
        std::string rpm = WithoutSuffix(labels.Rpm, " RPM");
        EXPECT_EQ(row.at("rpm"), rpm == " 0" ? "0" : rpm);
        EXPECT_EQ(row.at("battery_v"), WithoutSuffix(labels.Batt, " V Batt"));
        EXPECT_EQ(row.at("coolant_c"), WithoutSuffix(labels.Ect, " \xB0"
                                                                 "C CLT"));
        EXPECT_EQ(row.at("intake_c"), WithoutSuffix(labels.Mat, " \xB0"
                                                                "C IAT"));
        EXPECT_EQ(row.at("pulse_width"), WithoutSuffix(labels.Pw, " PW "));
        for (const char* raw : {"map", "o2", "tps", "byte14"}) {
            EXPECT_EQ(row.at(raw), std::to_string(v)) << raw;
        }
        EXPECT_EQ(row.at("frame"), std::to_string(v));
    }
}

TEST(DecodeColumns, PayloadColumnsHoldEveryByteWithDoublingUndone) {
    const Payload payload = Sample({{0, 0xFF}, {1, 0x00}, {17, 0xFF}, {30, 0xFF}});
    const auto rows = Rows(Decoded(Capture({payload.Line()}), Options{.payload = true}));
    ASSERT_EQ(rows.size(), 1u);
    ASSERT_EQ(rows[0].size(), 12u + 31u);
    for (int k = 0; k < PayloadLength; ++k) {
        EXPECT_EQ(rows[0].at("p" + std::to_string(k)), std::to_string(payload[k])) << k;
    }
}

TEST(DecodeOffsets, JustPastTheClosingZeroCountingDoubledBytes) {
    const Bytes plain = Sample().Line();                        // 33 line bytes
    const Bytes oneFF = Sample({{4, 0xFF}}).Line();             // 34
    const Bytes twoFF = Sample({{0, 0xFF}, {30, 0xFF}}).Line(); // 35
    const Bytes junk = {0x00, 0x00, 0xFF, 0x00};                // a 4-byte frame, dropped
    const auto rows = Rows(Decoded(Capture({plain, oneFF, junk, twoFF})));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].at("offset"), "33");
    EXPECT_EQ(rows[1].at("offset"), "67");
    EXPECT_EQ(rows[2].at("offset"), "106");
    EXPECT_EQ(rows[2].at("frame"), "2");
}

TEST(DecodeInfo, HeaderTextsUpToTheFirstZeroByteWithControlBytesEscaped) {
    auto unfinished = [](const std::string& start) { return Header(start, nullptr); };
    struct Case {
        const char* name;
        Bytes header;
        std::string start;
        std::string stop;
    };
    const Case cases[] = {
        {"24-hour, 8 characters each, no zero byte", Header("14:03:07", "14:05:11"), "14:03:07",
         "14:05:11"},
        {"12-hour: designators cut and overwritten", Header("2:03:07 PM", "2:05:11 PM"), "2:03:07 ",
         "2:05:11 "},
        {"unfinished 24-hour: stop bytes zero", unfinished("14:03:07"), "14:03:07", ""},
        {"unfinished 12-hour: stop holds the start's tail", unfinished("2:03:07 PM"), "2:03:07 ",
         "PM"},
        {"all zero", Bytes(16, 0), "", ""},
        {"control bytes escaped, 8-bit ones kept", Header("\xB0x\x01\\", "a\tb\x1b"),
         "\xB0x\\x01\\\\", "a\\x09b\\x1b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.header.size(), CaptureHeaderLength);
        EXPECT_EQ(Decoded(c.header, Options{.info = true}),
                  "start: " + c.start + "\nstop: " + c.stop +
                      "\nbody_bytes: 0\nframes: 0\ndropped: 0\ndropped_bytes: 0\n"
                      "partial_start_bytes: 0\npartial_end_bytes: 0\n");
    }
}

TEST(DecodeInfo, HeaderFieldsThatAreNoTimeTextsAreWarnedAbout) {
    auto raw = [](const char(&bytes)[17]) { return Bytes(bytes, bytes + 16); };
    struct Case {
        const char* name;
        Bytes header;
        std::vector<std::string> warnings;
    };
    const std::string tail = " is not a time text; this may not be a capture file";
    const Case cases[] = {
        {"24-hour, finished", Header("14:03:07", "14:05:11"), {}},
        {"12-hour, unfinished", Header("2:03:07 PM", nullptr), {}},
        {"short texts", Header("1:02:03", "1:05:11"), {}},
        {"8-bit designator", Header("2:03:07 \xB0", nullptr), {}},
        {"control byte in the start",
         Header("\x1b[2J", "14:05:11"),
         {"warning: the header's start time \"\\x1b[2J\"" + tail}},
        {"text after the padding",
         raw("14:03:07ab\0\0\0\0xy"),
         {"warning: the header's stop time \"ab\\x00\\x00\\x00\\x00xy\"" + tail}},
        {"text without an hour",
         Header("frame,of", "fset,rpm"),
         {"warning: the header's start time \"frame,of\"" + tail}},
        {"all zero",
         Bytes(16, 0),
         {"warning: the header's start time is empty; this may not be a capture file"}},
        {"both",
         raw("\x7f\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f"),
         {"warning: the header's start time \"\\x7f\\x01\\x02\\x03\\x04\\x05\\x06\\x07\"" + tail,
          "warning: the header's stop time \"\\x08\\x09\\x0a\\x0b\\x0c\\x0d\\x0e\\x0f\"" + tail}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::array<std::uint8_t, CaptureHeaderLength> h{};
        std::copy(c.header.begin(), c.header.end(), h.begin());
        EXPECT_EQ(HeaderWarnings(h), c.warnings);
    }
}

TEST(DecodeInfo, AStartTimeThatSpillsIntoTheStopFieldIsShownWholeAndNoStopTime) {
    const struct {
        Bytes header;
        const char* start;
        const char* stop;
    } cases[] = {
        {Header("2:03:07 PM", nullptr), "2:03:07 PM", ""},
        {Header("2:03:07 ", "2:05:11 "), "2:03:07 ", "2:05:11 "},
        {Header("14:03:07", nullptr), "14:03:07", ""},
        {Header("1:02:03", "1:05:11"), "1:02:03", "1:05:11"},
    };
    for (const auto& c : cases) {
        std::array<std::uint8_t, CaptureHeaderLength> h{};
        std::copy(c.header.begin(), c.header.end(), h.begin());
        const HeaderTimes times = ReadHeaderTimes(h);
        EXPECT_EQ(times.start, c.start);
        EXPECT_EQ(times.stop, c.stop);
    }
}

// The body splits into accepted frames, rejected stretches, and the frames the capture began
// and ended in, which are not the line's faults.
TEST(DecodeInfo, CountsFramesDroppedPairsPartialFramesAndBodyBytes) {
    const Bytes frame = Sample().Line();
    const Bytes rest(frame.begin() + 20, frame.end()); // the capture began inside a frame
    struct Case {
        const char* what;
        std::vector<Bytes> body;
        const char* counts; // frames, dropped, dropped_bytes, partial_start, partial_end
    };
    const Case cases[] = {
        {"40 bytes with their pair, a lone pair, an unfinished tail",
         {frame, Bytes(40, 0x01), {0xFF, 0x00}, {0xFF, 0x00}, frame, {0x05, 0x06, 0xFF}},
         "frames: 2\ndropped: 2\ndropped_bytes: 44\npartial_start_bytes: 0\n"
         "partial_end_bytes: 3\n"},
        {"begun inside a frame",
         {rest, frame},
         "frames: 1\ndropped: 0\ndropped_bytes: 0\n"
         "partial_start_bytes: 13\npartial_end_bytes: 0\n"},
        {"begun inside a frame, then a short one",
         {rest, {0x01, 0xFF, 0x00}, frame},
         "frames: 1\ndropped: 1\ndropped_bytes: 3\npartial_start_bytes: 13\npartial_end_bytes: "
         "0\n"},
        {"no pair at all",
         {{0x01, 0x02, 0x03}},
         "frames: 0\ndropped: 0\ndropped_bytes: 0\npartial_start_bytes: 0\npartial_end_bytes: 3\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes capture = Capture(c.body);
        EXPECT_EQ(Decoded(capture, Options{.info = true}),
                  "start: 14:03:07\nstop: 14:05:11\nbody_bytes: " +
                      std::to_string(capture.size() - 16) + "\n" + c.counts);
    }
}

TEST(DecodeColumns, SecondsAreTheOffsetOverTheLineRateExactly) {
    const struct {
        std::uint64_t offset;
        char sep;
        const char* text;
    } cases[] = {
        {0, '.', "0.00000"},
        {1, '.', "0.00016"},
        {36, '.', "0.00576"},
        {6249, '.', "0.99984"},
        {6250, ',', "1,00000"},
        {540'000'000, '.', "86400.00000"},
        {18'446'744'073'709'551'615u, '.', "2951479051793528.25840"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SecondsText(c.offset, c.sep), c.text) << c.offset;
    }
}

TEST(DecodeInput, ShorterThanTheHeaderFailsWithoutAnyOutput) {
    const Bytes header = Header("14:03:07", "14:05:11");
    for (std::size_t n = 0; n < CaptureHeaderLength; ++n) {
        for (const OutputMode& mode : OutputModes()) {
            SCOPED_TRACE(std::to_string(n) + " bytes, " + mode.suffix);
            StringWriter out;
            const Result r = DecodeBytes(header.data(), n, mode.options, out, "TMP1.$$$");
            EXPECT_EQ(r.status, Status::InputError);
            EXPECT_EQ(r.message, "TMP1.$$$: file is shorter than the 16-byte header");
            EXPECT_EQ(out.text, "");
        }
    }
}

// Every golden capture gives the same output whatever the read block size, including
// blocks that cut the header, an escape or a pair in two.
TEST(DecodeBlocks, OutputDoesNotDependOnTheReadBlockSize) {
    TempDir tmp;
    for (const GoldenCapture& capture : GoldenCaptures()) {
        const std::string file = WriteGolden(tmp, capture);
        const JournalRecord journal(capture.journal);
        for (const OutputMode& mode : OutputModes()) {
            const std::string golden = ReadText(GoldenPath(capture.name + mode.suffix));
            ASSERT_FALSE(golden.empty()) << capture.name + mode.suffix;
            for (std::size_t block : {1, 2, 3, 7, 15, 16, 17, 32, 33, 34, 35, 49, 4096}) {
                SCOPED_TRACE(capture.name + mode.suffix + " in blocks of " + std::to_string(block));
                Options options = mode.options;
                options.blockSize = block;
                if (!journal.Empty()) {
                    options.journal = &journal;
                    options.journalName = capture.name + ".cap.txt"; // as the golden file has it
                }
                StringWriter fromFile;
                const Result r = DecodeFile(file, options, fromFile);
                EXPECT_EQ(r.status, Status::Ok) << r.message;
                EXPECT_EQ(fromFile.text, golden);
                StringWriter fromMemory;
                DecodeBytes(capture.bytes.data(), capture.bytes.size(), options, fromMemory);
                EXPECT_EQ(fromMemory.text, golden);
            }
        }
    }
}

// Several MiB of rows: the output buffer is flushed many times and the read blocks end
// anywhere in a frame.
TEST(DecodeBlocks, FileThatShrinksWhileItIsReadIsSaidToHaveChanged) {
    TempDir tmp;
    const std::string file = tmp.File("shrinking.cap");
    WriteFile(file, Cat({Header("14:03:07", "14:05:11"), vemor::testing::CountingFrames(100)}));
    // Cut to half when the first frame has been decoded, as another program might.
    struct Cutter : FrameSink {
        std::string path;
        std::uint64_t frames = 0;
        void Frame(const std::uint8_t*, std::uint64_t) override {
            if (frames++ == 0) {
                std::filesystem::resize_file(path, 16 + 50 * 33);
            }
        }
        void Rejected(std::uint64_t) override {}
    } cutter;
    cutter.path = file;
    StringWriter out;
    const Result r = DecodeFile(file, Options{.sink = &cutter, .blockSize = 66}, out);
    EXPECT_EQ(r.status, Status::Changed);
    EXPECT_EQ(r.message, file + ": " + ChangedReason);
    EXPECT_EQ(cutter.frames, 50u) << "the rows before the change are kept";
}

TEST(DecodeBlocks, LongCaptureLosesNoRowAtBufferOrBlockBoundaries) {
    std::mt19937 rng(11);
    const int frames = 60000;
    const Bytes capture =
        Cat({Header("14:03:07", "14:05:11"), vemor::testing::RandomFrames(frames, rng)});
    TempDir tmp;
    const std::string file = tmp.File("long.cap");
    WriteFile(file, capture);
    std::string reference;
    for (std::size_t block : {std::size_t{4093}, DefaultBlockSize}) {
        StringWriter out;
        ASSERT_EQ(DecodeFile(file, Options{.payload = true, .blockSize = block}, out).status,
                  Status::Ok);
        if (reference.empty()) {
            reference = out.text;
        }
        EXPECT_EQ(out.text, reference);
    }
    const auto rows = Rows(reference);
    ASSERT_EQ(rows.size(), std::size_t(frames));
    for (int f = 0; f < frames; f += 997) {
        EXPECT_EQ(rows[std::size_t(f)].at("frame"), std::to_string(f));
    }
    EXPECT_EQ(rows.back().at("offset"), std::to_string(capture.size() - CaptureHeaderLength));
}

class FailingWriter final : public Writer {
public:
    bool Write(const char*, std::size_t) override {
        ++calls;
        return false;
    }
    std::string Error() const override { return "cannot write to test: disk full"; }
    int calls = 0;
};

TEST(DecodeOutput, FailedWriteIsReportedAndStopsTheDecoding) {
    const Bytes small = Capture({Sample().Line()});
    // Several MiB of rows: flushed before the end.
    const Bytes large = Cat({small, Sample().Line(100000)});
    for (const Bytes& capture : {small, large}) {
        for (const OutputMode& mode : OutputModes()) {
            SCOPED_TRACE(std::to_string(capture.size()) + " bytes, " + mode.suffix);
            FailingWriter out;
            const Result r = DecodeBytes(capture.data(), capture.size(), mode.options, out);
            EXPECT_EQ(r.status, Status::OutputError);
            EXPECT_EQ(r.message, "cannot write to test: disk full");
            EXPECT_EQ(out.calls, 1);
        }
    }
}

TEST(DecodeOutput, BufferSplitsTextLargerThanItself) {
    StringWriter out;
    OutputBuffer buffer(out, 4);
    buffer.Append("abcdefghij");
    buffer.Append("k");
    EXPECT_TRUE(buffer.Flush());
    EXPECT_EQ(out.text, "abcdefghijk");
}

} // namespace
} // namespace vemor::decode::testing
