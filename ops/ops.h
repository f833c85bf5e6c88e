#pragma once
// The universal operations, one unit per page group. Each builds its layout
// on the host's pages and binds its request rows and readers.

#include "host/page_host.h"

#include <cstdint>
#include <functional>
#include <span>

class QComboBox;
class QLineEdit;

namespace ops {

// Controls of "Instrument information" that discovery fills.
struct DeviceInfoShared {
    QLineEdit* serial;   // Edit28, the device ID in decimal
    QComboBox* pollList; // ComboBox3, set to the address that answered
};

// Makes a device found elsewhere the current one, exactly as a discovery reply
// does: `identity` is its command-0 reply data after the two status bytes
// (at least twelve bytes), `pollAddress` the address it answered at.
using MakeCurrent =
    std::function<void(std::span<const std::uint8_t> identity, std::uint8_t pollAddress)>;

DeviceInfoShared buildDeviceInfo(host::PageHost& host);                 // "Instrument information"
// "HART Device Info"
MakeCurrent buildDiscovery(host::PageHost& host, const DeviceInfoShared& info);
void buildProcessData(host::PageHost& host);   // "HART Instrument Real-time Data"
void buildManualCommand(host::PageHost& host); // hand-typed frames
void buildRangeUnit(host::PageHost& host);     // "Measurement Range And Unit", "Signal Status"
void buildBurstMode(host::PageHost& host);     // "Burst mode Test"
void buildCalibration(host::PageHost& host);   // "I/O Calibration"
void buildMoreStatus(host::PageHost& host);    // "Read additional status" (command 48)
void buildNetworkScan(host::PageHost& host, MakeCurrent makeCurrent); // "Network"

} // namespace ops
