#include "PortList.h"

#include <windows.h>

// Before devguid.h: GUID_DEVCLASS_PORTS is defined here, not taken from a library.
#include <initguid.h>

#include <cfgmgr32.h>
#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace vemor {

namespace {

// A text value, without the terminator it may or may not have.
std::string Text(const std::vector<char>& buf, DWORD size) {
    const std::size_t n = std::min<std::size_t>(size, buf.size());
    return std::string(buf.data(), strnlen(buf.data(), n));
}

std::string Property(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD which) {
    std::vector<char> buf(256);
    DWORD type = 0;
    DWORD size = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (SetupDiGetDeviceRegistryPropertyA(set, &device, which, &type,
                                              reinterpret_cast<BYTE*>(buf.data()),
                                              static_cast<DWORD>(buf.size()), &size)) {
            return type == REG_SZ ? Text(buf, size) : std::string();
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size <= buf.size()) {
            break;
        }
        buf.resize(size);
    }
    return {};
}

std::string RegistryText(HKEY key, const char* name) {
    std::vector<char> buf(256);
    DWORD type = 0;
    auto size = static_cast<DWORD>(buf.size());
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    return Text(buf, size);
}

std::string InstanceId(DEVINST node) {
    char id[MAX_DEVICE_ID_LEN + 1] = {};
    return CM_Get_Device_IDA(node, id, MAX_DEVICE_ID_LEN, 0) == CR_SUCCESS ? std::string(id)
                                                                           : std::string();
}

// The USB serial number of the port's device, or of the USB device above it: a port of a
// composite device, or of FTDI's bus driver, is a child of the USB device that has it.
std::string UsbSerial(DEVINST node) {
    for (int up = 0; up < 3; ++up) {
        const std::string serial = SerialFromInstanceId(InstanceId(node));
        if (!serial.empty()) {
            return serial;
        }
        DEVINST parent = 0;
        if (CM_Get_Parent(&parent, node, 0) != CR_SUCCESS) {
            break;
        }
        node = parent;
    }
    return {};
}

void ReadDeviceList(std::vector<ComDevice>& out) {
    const HDEVINFO set =
        SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) {
        return;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        ComDevice d;
        const HKEY key =
            SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
        if (key != INVALID_HANDLE_VALUE) {
            d.Port = RegistryText(key, "PortName");
            RegCloseKey(key);
        }
        d.FriendlyName = Property(set, device, SPDRP_FRIENDLYNAME);
        if (d.FriendlyName.empty()) {
            d.FriendlyName = Property(set, device, SPDRP_DEVICEDESC);
        }
        d.Maker = Property(set, device, SPDRP_MFG);
        d.Serial = UsbSerial(device.DevInst);
        out.push_back(std::move(d));
    }
    SetupDiDestroyDeviceInfoList(set);
}

// The values of SERIALCOMM: a driver's device name ("\Device\Serial0"), then the port name.
void ReadSerialComm(std::vector<ComDevice>& out) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE,
                      &key) != ERROR_SUCCESS) {
        return;
    }
    for (DWORD i = 0;; ++i) {
        char name[256];
        auto nameSize = static_cast<DWORD>(sizeof name);
        std::vector<char> data(256);
        auto size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        const LONG result = RegEnumValueA(key, i, name, &nameSize, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data.data()), &size);
        if (result == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (result == ERROR_SUCCESS && type == REG_SZ) {
            out.push_back({Text(data, size), {}, {}, {}});
        }
    }
    RegCloseKey(key);
}

} // namespace

std::vector<ComDevice> ReadComDevices() {
    std::vector<ComDevice> devices;
    ReadDeviceList(devices);
    ReadSerialComm(devices);
    return devices;
}

} // namespace vemor
