// The frame assembler and the frame-to-display sequence on arbitrary streams.
#include "Check.h"

#include "vemor/Assembler.h"
#include "vemor/Display.h"

#include "../tests/support/FakeDisplay.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

using vemor::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vemor::FrameAssembler a;
    vemor::testing::FakeDisplay display;
    // Bytes assembled since the last pair, counted independently of the assembler: an escape
    // (a FF right after a FF that was stored as data) adds nothing.
    unsigned since = 0;
    bool lastWasDataFf = false;
    std::size_t shown = 0;
    std::vector<std::vector<std::uint8_t>> frames;

    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t b = data[i];
        const bool escape = lastWasDataFf && b == 0xFF;
        const bool pair = lastWasDataFf && b == 0x00;
        bool accepted = false;
        a.AssembleByte(b, [&](const std::uint8_t* frame) {
            accepted = true;
            Check(frame[31] == 0xFF && frame[32] == 0x00);
            frames.emplace_back(frame, frame + vemor::FrameLength);
            vemor::ShowFrame(frame, display, '.');
        });
        Check(a.FramePos >= 0 && a.FramePos < vemor::FrameBufLength);
        if (escape) {
            lastWasDataFf = false;
        } else if (pair) {
            Check(accepted == ((since + 1) % 512 == 33));
            since = 0;
            lastWasDataFf = false;
            Check(a.FramePos == 0 && a.SyncWord == 0);
        } else {
            since = (since + 1) % 512;
            lastWasDataFf = b == 0xFF;
            Check(!accepted);
        }
        if (accepted) {
            ++shown;
            Check(display.bottom.Maximum() == static_cast<double>(shown - 1));
            Check(display.bottom.Minimum() == display.bottom.Maximum() - 150);
            for (const auto& text : display.labels) {
                Check(!text.empty());
            }
        }
    }

    // A whole batch gives the same frames and state as the bytes one by one.
    vemor::FrameAssembler batch;
    std::vector<std::vector<std::uint8_t>> batchFrames;
    batch.AssembleBytes(data, size, [&](const std::uint8_t* frame) {
        batchFrames.emplace_back(frame, frame + vemor::FrameLength);
    });
    Check(batchFrames == frames);
    Check(batch.FramePos == a.FramePos && batch.SyncWord == a.SyncWord);
    Check(batch.FrameBuf == a.FrameBuf);
    return 0;
}
