#pragma once
// Names of HART commands, response codes and status bits, for people reading
// traffic and device status. One constexpr row per name.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace hart {

struct CommandName {
    std::uint16_t number;
    std::string_view name;
};
// Universal commands and the HART 7 common-practice commands; numbers that
// the protocol leaves reserved have no row.
extern const std::span<const CommandName> kCommandNames;

// "Read Unique Identifier" for 0, "device-specific 130" for 128-253,
// "command N" for anything without a name (also expanded numbers above 255).
std::string commandName(std::uint16_t command);
// The command as a sentence names it: "Command 18 Write tag, descriptor,
// date", "Command 130 (device-specific)", "Command 300".
std::string commandInWords(std::uint16_t command);

struct CodeName {
    std::uint8_t code;
    std::string_view name;
};
// Response codes (first status byte of a reply with bit 7 clear). Codes 8-15
// mean different things per command; their rows carry the generic wording.
extern const std::span<const CodeName> kResponseCodeNames;
// "success" for 0, "response code N" for codes without a row.
std::string responseCodeName(std::uint8_t code);

struct BitName {
    std::uint8_t mask;
    std::string_view name;
};
// Bits of a status byte, highest first; a bit without a row is "reserved bit N".
using BitNames = std::span<const BitName>;

// First status byte with bit 7 set: what went wrong receiving the request.
extern const BitNames kCommunicationErrorBits;
// Second status byte of every reply.
extern const BitNames kDeviceStatusBits;
// Command 48 reply (HART 7 layout).
extern const BitNames kExtendedDeviceStatusBits;
extern const BitNames kStandardizedStatus0Bits;
extern const BitNames kStandardizedStatus1Bits;
extern const BitNames kStandardizedStatus2Bits;
extern const BitNames kStandardizedStatus3Bits;

// Names of the set bits of `value`, highest bit first.
std::vector<std::string> setBitNames(std::uint8_t value, BitNames bits);

// "OK" when no bit is set, else the set bits' names joined by ", ".
std::string deviceStatusText(std::uint8_t deviceStatus);

// The first status byte of a reply as one text: "Communication error: " and
// the error bits when bit 7 is set, else the response code's meaning.
std::string statusSummary(std::uint8_t firstStatusByte);
// The same for the reply to `command`: where the command's own table names
// a command-specific code ("configuration change counter mismatch" for 9 of
// command 38), that name.
std::string statusSummary(std::uint8_t firstStatusByte, std::uint16_t command);

// A command 48 reply's data after its two status bytes, as display lines
// ("Extended device status: 03 (device variable alert, maintenance
// required)"; bits named from bit 7 down). A shorter reply shows the fields
// it has; bytes past the HART 7 layout are shown as hex.
std::vector<std::string> additionalStatusLines(std::span<const std::uint8_t> data);

// Upper-case hex, zero-filled to `digits`: "0A", "00012A".
std::string hexText(unsigned value, int digits = 2);
// Upper-case hex bytes separated by single spaces: "02 80 00 00".
std::string hexBytes(std::span<const std::uint8_t> bytes);
// The parts with `separator` between them.
std::string joined(const std::vector<std::string>& parts, std::string_view separator = ", ");

} // namespace hart
