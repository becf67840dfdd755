#pragma once
// What a main window holds of its session, the same on every toolkit: the session, the
// capture and assembler state as the window's own, and the operator's handlers under their
// usual names as forwards. Sender is the toolkit's control type; it is ignored. GUI thread.

#include "vemor/Session.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace vemor {

template <class Sender>
class SessionForm {
public:
    void Button1Click(Sender) { Session.OpenOrClose(); }
    void Button2Click(Sender) { Session.SaveFile(); }
    void Button3Click(Sender) { Session.SendTestPacket(); }
    void StopCapture1Click(Sender) { Session.StopCapture(); }
    void Mark1Click(Sender) { Session.AddMark(); }
    // The mark's place is taken now; `askNote` runs a modal dialog, during which the reader
    // and the capture go on (the dialog's loop dispatches the reader's notifications). No
    // mark when the operator cancels.
    void MarkWithNote1Click(Sender, const std::function<std::optional<std::string>()>& askNote) {
        const vemor::Session::MarkPlace place = Session.PlaceMark();
        if (const std::optional<std::string> note = askNote()) {
            Session.AddMark(place, *note);
        }
    }
    // `askMinutes` runs a modal choice of LastMinutesChoices; nothing is saved on cancel.
    void SaveLastMinutes1Click(Sender, const std::function<std::optional<int>()>& askMinutes) {
        if (const std::optional<int> minutes = askMinutes()) {
            Session.SaveLastMinutes(*minutes);
        }
    }
    void FormDestroy(Sender) { Session.Shutdown(); }

    void FeedBytes(const std::uint8_t* bytes, std::size_t count) {
        Session.FeedBytes(bytes, count);
    }
    void SendPacket(std::uint8_t* packet) { Session.SendPacket(packet); }
    // The capture name counter of the process.
    static CaptureNamer& CaptureNames() { return vemor::Session::CaptureNames(); }
    char DecimalSeparator() const { return Session.DecimalSeparator(); }

    // Shows the link's boxes instead of the window's own modal box (tests catch them here).
    std::function<void(const std::string& text, const std::string& caption)> LinkBox;

    vemor::Session Session;
    std::unique_ptr<CaptureFile>& CaptureStream = Session.CaptureStream;
    FrameAssembler& Assembler = Session.Assembler; // FrameBuf, SyncWord, FramePos

protected:
    // The session touches nothing of the window while it is being built.
    explicit SessionForm(SessionWindow& window) : Session(window) {}
    // True when the test hook took the box.
    bool Caught(const std::string& text, const std::string& caption) {
        if (!LinkBox) {
            return false;
        }
        LinkBox(text, caption);
        return true;
    }
};

} // namespace vemor
