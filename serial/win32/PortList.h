#pragma once
// The serial ports Windows knows now, as it describes them. Any thread; it takes a few
// milliseconds.

#include "ComPorts.h"

#include <vector>

namespace vemor {

// The present devices of the Ports class in the device list, with their friendly names,
// makers and USB serial numbers, then every port the registry's SERIALCOMM map names.
// Whatever cannot be read is left out.
std::vector<ComDevice> ReadComDevices();

} // namespace vemor
