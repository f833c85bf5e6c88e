#pragma once
// Request data the transmitter tabs share.

#include "host/request.h"

namespace devices {

// The one data byte of a read that asks for channel 0, the first sensor. A
// template so that each tab's rows, bound to that tab's controls, take it.
template <class Controls>
void channelZero(const Controls&, host::Payload& p) {
    p.byte(0x00);
}

} // namespace devices
