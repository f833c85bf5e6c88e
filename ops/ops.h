#pragma once
// The universal operations, one unit per page group. Each builds its layout
// on the host's pages and binds its request rows and readers.

#include "host/page_host.h"


namespace ops {

void buildDeviceInfo(host::PageHost& host); // "Instrument information"
void buildDiscovery(host::PageHost& host);  // "HART Device Info"
void buildProcessData(host::PageHost& host);   // "HART Instrument Real-time Data"
void buildManualCommand(host::PageHost& host); // hand-typed frames
void buildRangeUnit(host::PageHost& host);     // "Measurement Range And Unit", "Signal Status"
void buildBurstMode(host::PageHost& host);     // "Burst mode Test"
void buildCalibration(host::PageHost& host);   // "I/O Calibration"
void buildMoreStatus(host::PageHost& host);    // "Read additional status" (command 48)
void buildNetworkScan(host::PageHost& host); // "Network"
void buildConfiguration(host::PageHost& host); // "Configuration": save, compare, restore, report
void buildHart7Device(host::PageHost& host); // "HART 7 device"

} // namespace ops
