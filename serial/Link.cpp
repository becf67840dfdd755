#include "Link.h"

#include "SerialDevice.h"

#include <cstdio>

namespace vemor {

void NotifyHandle::DefaultBox(const std::string& text, const std::string& caption) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

std::string DeviceName(int portNumber) {
    char name[32];
    std::snprintf(name, sizeof name, "\\\\.\\com%d", portNumber);
    return name;
}

const char* OpenStepName(OpenStep step) {
    switch (step) {
    case OpenStep::None:
        return "none";
    case OpenStep::StopSignal:
        return "stop signal";
    case OpenStep::Open:
        return "open";
    case OpenStep::Lock:
        return "exclusive lock";
    case OpenStep::GetSettings:
        return "reading the line settings";
    case OpenStep::GetTimeouts:
        return "reading the time-outs";
    case OpenStep::SetSettings:
        return "writing the line settings";
    case OpenStep::ModemLines:
        return "raising DTR and RTS";
    }
    return "?";
}

std::vector<PresentPort> ListPorts() {
    return SerialDevice::Create()->Present();
}

} // namespace vemor
