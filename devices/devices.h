#pragma once
// The device-specific pages: named transmitter models' own commands. Each
// unit builds its groups on the host's pages and binds its rows and readers.

#include "host/page_host.h"

namespace devices {

void buildRosemountTemperature(host::PageHost& host);        // 644 and 848T groups
void buildYokogawaEhTemperature(host::PageHost& host);       // Yokogawa and E+H groups
void buildSiemensKrohneAbbTemperature(host::PageHost& host); // second temperature tab
void buildDpMv(host::PageHost& host);                        // "DP & MV Transmitter"

} // namespace devices
