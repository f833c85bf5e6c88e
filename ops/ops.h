#pragma once
// The universal operations, one unit per page group. Each builds its layout
// on the host's pages and binds its request rows and readers.

#include "host/page_host.h"

class QComboBox;
class QLineEdit;

namespace ops {

// Controls of "Instrument information" that discovery fills.
struct DeviceInfoShared {
    QLineEdit* serial;   // Edit28, the device ID in decimal
    QComboBox* pollList; // ComboBox3, set to the address that answered
};

DeviceInfoShared buildDeviceInfo(host::PageHost& host);                 // "Instrument information"
void buildDiscovery(host::PageHost& host, const DeviceInfoShared& info); // "HART Device Info"
void buildProcessData(host::PageHost& host);   // "HART Instrument Real-time Data"
void buildManualCommand(host::PageHost& host); // hand-typed frames
void buildRangeUnit(host::PageHost& host);     // "Measurement Range And Unit", "Signal Status"
void buildBurstMode(host::PageHost& host);     // "Burst mode Test"
void buildCalibration(host::PageHost& host);   // "I/O Calibration"

} // namespace ops
