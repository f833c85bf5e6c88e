#pragma once
// The operation units. Each builds its controls on its page, connects its
// buttons to their requests and registers the decoders of its replies.

class TForm1;

namespace ops {
void buildDiscovery(TForm1& form);     // "HART Device Info", device-ID query
void buildProcessData(TForm1& form);   // "HART Instrument Real-time Data"
void buildManualCommand(TForm1& form); // hand-typed frames
void buildRangeUnit(TForm1& form);     // "Measurement Range And Unit", "Signal Status"
void buildBurstMode(TForm1& form);     // "Burst mode Test"
void buildCalibration(TForm1& form);   // "I/O Calibration"
void buildDeviceInfo(TForm1& form);    // "Instrument information"
} // namespace ops

namespace vendor {
void buildRosemountTemperature(TForm1& form);        // 644 and 848T groups
void buildYokogawaEhTemperature(TForm1& form);       // Yokogawa and E+H groups
void buildSiemensKrohneAbbTemperature(TForm1& form); // second temperature tab
void buildDpMv(TForm1& form);                        // "DP & MV Transmitter"
} // namespace vendor
