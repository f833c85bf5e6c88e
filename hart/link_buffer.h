#pragma once
// The one 320-byte work area that every operation shares: the last received
// chunk, the frame being sent, the cached device address and a few reply
// caches. Offsets are fixed; see the constants below.

#include <array>
#include <cstddef>
#include <cstdint>

namespace hart {

inline constexpr std::size_t kLinkBufferSize = 320;
using LinkBuffer = std::array<std::uint8_t, kLinkBufferSize>;

namespace lb {
inline constexpr int kReceive = 0; // last received chunk, at most kReceiveMax bytes
inline constexpr int kReceiveMax = 255;
inline constexpr int kTransmit = 132;    // frame being sent (shares 132..254 with the receive area)
inline constexpr int kTransmitEnd = 283; // one past the last transmit byte
inline constexpr int kEhSaved2145 = 283; // two bytes kept from the E+H reply 2145
inline constexpr int kEhSaved2147 = 286; // two bytes kept from the E+H reply 2147
inline constexpr int kEhSaved2149 = 289; // two bytes kept from the E+H reply 2149
inline constexpr int kKrohneSaved = 292; // ten bytes kept from the KROHNE reply 521 (292..301)
inline constexpr int kPreambles = 303;   // preambles the instrument asks for (shown only)
inline constexpr int kManufacturer = 304; // first byte of the long address
inline constexpr int kDeviceId = 308;     // 3-byte device ID, MSB first (308..310)
inline constexpr int kDeviceType = 314;   // second byte of the long address
inline constexpr int kPollAddress = 315;  // polling address of the last short frame / cycle counter
inline constexpr int kPortOpen = 316;     // 1 while the port is open
inline constexpr int kPvUnit = 317;       // unit code of the primary variable
} // namespace lb

} // namespace hart
