#include "SerialDevice.h"

namespace vemor {

OpenFacts SerialDevice::Explain(const std::string& path, OpenStep, int) {
    OpenFacts facts;
    facts.Device = path;
    return facts;
}

int SerialDevice::ActualBaudRate(PortHandleValue) {
    return 0;
}

bool SerialDevice::GetLineErrors(PortHandleValue, LineErrors&) {
    return false;
}

std::vector<PresentPort> SerialDevice::Present() {
    return {};
}

} // namespace vemor
