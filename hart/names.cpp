#include "hart/names.h"

#include "hart/protocol.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace hart {

namespace {

constexpr std::array kCommands{
    // Universal commands.
    CommandName{0, "Read Unique Identifier"},
    CommandName{1, "Read Primary Variable"},
    CommandName{2, "Read Loop Current And Percent Of Range"},
    CommandName{3, "Read Dynamic Variables And Loop Current"},
    CommandName{6, "Write Polling Address"},
    CommandName{7, "Read Loop Configuration"},
    CommandName{8, "Read Dynamic Variable Classifications"},
    CommandName{9, "Read Device Variables With Status"},
    CommandName{11, "Read Unique Identifier Associated With Tag"},
    CommandName{12, "Read Message"},
    CommandName{13, "Read Tag, Descriptor, Date"},
    CommandName{14, "Read Primary Variable Transducer Information"},
    CommandName{15, "Read Device Information"},
    CommandName{16, "Read Final Assembly Number"},
    CommandName{17, "Write Message"},
    CommandName{18, "Write Tag, Descriptor, Date"},
    CommandName{19, "Write Final Assembly Number"},
    CommandName{20, "Read Long Tag"},
    CommandName{21, "Read Unique Identifier Associated With Long Tag"},
    CommandName{22, "Write Long Tag"},
    CommandName{31, "16-bit Expanded Command"},
    // Common-practice commands (38 and 48 are universal).
    CommandName{33, "Read Device Variables"},
    CommandName{34, "Write Primary Variable Damping Value"},
    CommandName{35, "Write Primary Variable Range Values"},
    CommandName{36, "Set Primary Variable Upper Range Value"},
    CommandName{37, "Set Primary Variable Lower Range Value"},
    CommandName{38, "Reset Configuration Changed Flag"},
    CommandName{39, "EEPROM Control"},
    CommandName{40, "Enter/Exit Fixed Current Mode"},
    CommandName{41, "Perform Self Test"},
    CommandName{42, "Perform Device Reset"},
    CommandName{43, "Set Primary Variable Zero"},
    CommandName{44, "Write Primary Variable Units"},
    CommandName{45, "Trim Loop Current Zero"},
    CommandName{46, "Trim Loop Current Gain"},
    CommandName{47, "Write Primary Variable Transfer Function"},
    CommandName{48, "Read Additional Device Status"},
    CommandName{49, "Write Primary Variable Transducer Serial Number"},
    CommandName{50, "Read Dynamic Variable Assignments"},
    CommandName{51, "Write Dynamic Variable Assignments"},
    CommandName{52, "Set Device Variable Zero"},
    CommandName{53, "Write Device Variable Units"},
    CommandName{54, "Read Device Variable Information"},
    CommandName{55, "Write Device Variable Damping Value"},
    CommandName{56, "Write Device Variable Transducer Serial Number"},
    CommandName{57, "Read Unit Tag, Descriptor, Date"},
    CommandName{58, "Write Unit Tag, Descriptor, Date"},
    CommandName{59, "Write Number Of Response Preambles"},
    CommandName{60, "Read Analog Channel And Percent Of Range"},
    CommandName{61, "Read Dynamic Variables And Primary Variable Analog Channel"},
    CommandName{62, "Read Analog Channels"},
    CommandName{63, "Read Analog Channel Information"},
    CommandName{64, "Write Analog Channel Additional Damping Value"},
    CommandName{65, "Write Analog Channel Range Values"},
    CommandName{66, "Enter/Exit Fixed Analog Channel Mode"},
    CommandName{67, "Trim Analog Channel Zero"},
    CommandName{68, "Trim Analog Channel Gain"},
    CommandName{69, "Write Analog Channel Transfer Function"},
    CommandName{70, "Read Analog Channel Endpoint Values"},
    CommandName{71, "Lock Device"},
    CommandName{72, "Squawk"},
    CommandName{73, "Find Device"},
    CommandName{74, "Read I/O System Capabilities"},
    CommandName{75, "Poll Sub-Device"},
    CommandName{76, "Read Lock Device State"},
    CommandName{77, "Send Command To Sub-Device"},
    CommandName{78, "Read Aggregated Commands"},
    CommandName{79, "Write Device Variable"},
    CommandName{80, "Read Device Variable Trim Points"},
    CommandName{81, "Read Device Variable Trim Guidelines"},
    CommandName{82, "Write Device Variable Trim Point"},
    CommandName{83, "Reset Device Variable Trim"},
    CommandName{84, "Read Sub-Device Identity Summary"},
    CommandName{85, "Read I/O Channel Statistics"},
    CommandName{86, "Read Sub-Device Statistics"},
    CommandName{87, "Write I/O System Master Mode"},
    CommandName{88, "Write I/O System Retry Count"},
    CommandName{89, "Set Real-Time Clock"},
    CommandName{90, "Read Real-Time Clock"},
    CommandName{91, "Read Trend Configuration"},
    CommandName{92, "Write Trend Configuration"},
    CommandName{93, "Read Trend"},
    CommandName{94, "Read I/O System Client-Side Communication Statistics"},
    CommandName{95, "Read Device Communications Statistics"},
    CommandName{96, "Read Synchronous Action"},
    CommandName{97, "Configure Synchronous Action"},
    CommandName{98, "Read Command Action"},
    CommandName{99, "Configure Command Action"},
    CommandName{100, "Write Primary Variable Alarm Code"},
    CommandName{101, "Read Sub-Device To Burst Message Map"},
    CommandName{102, "Map Sub-Device To Burst Message"},
    CommandName{103, "Write Burst Period"},
    CommandName{104, "Write Burst Trigger"},
    CommandName{105, "Read Burst Mode Configuration"},
    CommandName{106, "Flush Delayed Responses"},
    CommandName{107, "Write Burst Device Variables"},
    CommandName{108, "Write Burst Mode Command Number"},
    CommandName{109, "Burst Mode Control"},
    CommandName{110, "Read All Dynamic Variables"},
    CommandName{111, "Transfer Service Control"},
    CommandName{112, "Transfer Service"},
    CommandName{113, "Catch Device Variable"},
    CommandName{114, "Read Caught Device Variable"},
    CommandName{115, "Read Event Notification Summary"},
    CommandName{116, "Write Event Notification Bit Mask"},
    CommandName{117, "Write Event Notification Timing"},
    CommandName{118, "Event Notification Control"},
    CommandName{119, "Acknowledge Event Notification"},
};

// Commands 128-253 belong to the device maker; 254 and 255 are reserved.
constexpr std::uint16_t kFirstDeviceSpecific = 128;
constexpr std::uint16_t kLastDeviceSpecific = 253;

constexpr std::array kResponseCodes{
    CodeName{rc::kSuccess, "success"},
    CodeName{rc::kUndefined, "undefined"},
    CodeName{rc::kInvalidSelection, "invalid selection"},
    CodeName{rc::kTooLarge, "passed parameter too large"},
    CodeName{rc::kTooSmall, "passed parameter too small"},
    CodeName{rc::kTooFewDataBytes, "too few data bytes received"},
    CodeName{rc::kDeviceSpecificError, "device-specific command error"},
    CodeName{rc::kWriteProtected, "in write-protect mode"},
    // 8-15 mean something different for each command (8: update failure or
    // set to nearest value; 9: lower range value too high or not in fixed
    // current mode; ...). Without knowing the command's own table only their
    // class can be told: 8 and 14 are warnings, the others errors.
    CodeName{rc::kWarning, "warning"},
    CodeName{9, "command-specific error"},
    CodeName{10, "command-specific error"},
    CodeName{11, "command-specific error"},
    CodeName{12, "command-specific error"},
    CodeName{13, "command-specific error"},
    CodeName{14, "command-specific warning"},
    CodeName{15, "command-specific error"},
    CodeName{rc::kAccessRestricted, "access restricted"},
    // A warning: the data holds fewer items than asked for (command 9 asked
    // for more slots than the device serves).
    CodeName{30, "command response truncated"},
    CodeName{rc::kBusy, "device busy"},
    CodeName{33, "delayed response initiated"},
    CodeName{34, "delayed response running"},
    CodeName{35, "delayed response dead"},
    CodeName{36, "delayed response conflict"},
    CodeName{rc::kNotImplemented, "command not implemented"},
};

// What codes 8-15 mean to the commands whose own tables name them, where
// the generic class alone would hide what the device said.
struct CommandCodeName {
    std::uint16_t command;
    std::uint8_t code;
    std::string_view name;
};
constexpr std::array kCommandResponseCodes{
    CommandCodeName{6, 12, "invalid mode selection"},
    CommandCodeName{38, 9, "configuration change counter mismatch"},
    CommandCodeName{48, 14, "status bytes mismatch"},
};

constexpr std::array kCommunicationErrors{
    BitName{0x40, "vertical parity error"}, BitName{0x20, "overrun error"},
    BitName{0x10, "framing error"},         BitName{0x08, "longitudinal parity error"},
    BitName{0x02, "buffer overflow"},
};

constexpr std::array kDeviceStatus{
    BitName{0x80, "Device malfunction"},
    BitName{0x40, "Configuration changed"},
    BitName{0x20, "Cold start"},
    BitName{0x10, "More status available"},
    BitName{0x08, "Loop current fixed"},
    BitName{0x04, "Loop current saturated"},
    BitName{0x02, "Non-primary variable out of limits"},
    BitName{0x01, "Primary variable out of limits"},
};

// The extended device status bits under the names HART 7's command 48
// tables give them. Four of them (0x20, 0x10, 0x08 and 0x01) are the NAMUR
// NE 107 categories, each said of the device's own operation.
constexpr std::array kExtendedDeviceStatus{
    BitName{0x20, "function check"},
    BitName{0x10, "out of specification"},
    BitName{0x08, "failure"},
    BitName{0x04, "critical power failure"},
    BitName{0x02, "device variable alert"},
    BitName{0x01, "maintenance required"},
};

constexpr std::array kStandardizedStatus0{
    BitName{0x80, "device configuration locked"},
    BitName{0x40, "electronic defect"},
    BitName{0x20, "environmental conditions out of range"},
    BitName{0x10, "power supply conditions out of range"},
    BitName{0x08, "watchdog reset executed"},
    BitName{0x04, "volatile memory defect"},
    BitName{0x02, "non-volatile memory defect"},
    BitName{0x01, "simulation active"},
};

constexpr std::array kStandardizedStatus1{
    BitName{0x08, "battery or power supply needs maintenance"},
    BitName{0x04, "event notification overflow"},
    BitName{0x02, "discrete variable simulation active"},
    BitName{0x01, "status simulation active"},
};

// Mostly reported by I/O systems and adapters about their sub-devices.
constexpr std::array kStandardizedStatus2{
    BitName{0x10, "stale data notice"},       BitName{0x08, "sub-devices with duplicate IDs found"},
    BitName{0x04, "sub-device mismatch"},     BitName{0x02, "duplicate master detected"},
    BitName{0x01, "sub-device list changed"},
};

// Wireless devices.
constexpr std::array kStandardizedStatus3{
    BitName{0x10, "radio failure"},
    BitName{0x08, "block transfer pending"},
    BitName{0x04, "bandwidth allocation pending"},
    BitName{0x01, "capacity denied"},
};

// How one field of the command 48 reply is shown.
enum class Show { Hex, Bits, Number };

struct AdditionalStatusField {
    std::size_t first;
    std::size_t count;
    std::string_view label;
    Show show;
    BitNames bits;
};

// Command 48 reply data after the two status bytes, HART 7 layout. Older
// devices send only the first six bytes, or six plus extended status.
constexpr std::array kAdditionalStatusLayout{
    AdditionalStatusField{0, 6, "Device-specific status 0-5", Show::Hex, {}},
    AdditionalStatusField{6, 1, "Extended device status", Show::Bits, kExtendedDeviceStatus},
    AdditionalStatusField{7, 1, "Device operating mode", Show::Number, {}},
    AdditionalStatusField{8, 1, "Standardized status 0", Show::Bits, kStandardizedStatus0},
    AdditionalStatusField{9, 1, "Standardized status 1", Show::Bits, kStandardizedStatus1},
    AdditionalStatusField{10, 1, "Analog channel saturated", Show::Hex, {}},
    AdditionalStatusField{11, 1, "Standardized status 2", Show::Bits, kStandardizedStatus2},
    AdditionalStatusField{12, 1, "Standardized status 3", Show::Bits, kStandardizedStatus3},
    AdditionalStatusField{13, 1, "Analog channel fixed", Show::Hex, {}},
    AdditionalStatusField{14, 11, "Device-specific status 6-16", Show::Hex, {}},
};
constexpr std::size_t kAdditionalStatusSize = 25;

std::string fieldText(const AdditionalStatusField& field, std::span<const std::uint8_t> bytes) {
    switch (field.show) {
    case Show::Hex:
        return hexBytes(bytes);
    case Show::Number:
        return std::to_string(bytes[0]);
    case Show::Bits: {
        const std::vector<std::string> names = setBitNames(bytes[0], field.bits);
        return hexText(bytes[0]) + " (" + (names.empty() ? "none" : joined(names)) + ")";
    }
    }
    return {};
}

} // namespace

const std::span<const CommandName> kCommandNames{kCommands};
const std::span<const CodeName> kResponseCodeNames{kResponseCodes};
const BitNames kCommunicationErrorBits{kCommunicationErrors};
const BitNames kDeviceStatusBits{kDeviceStatus};
const BitNames kExtendedDeviceStatusBits{kExtendedDeviceStatus};
const BitNames kStandardizedStatus0Bits{kStandardizedStatus0};
const BitNames kStandardizedStatus1Bits{kStandardizedStatus1};
const BitNames kStandardizedStatus2Bits{kStandardizedStatus2};
const BitNames kStandardizedStatus3Bits{kStandardizedStatus3};

std::string commandName(std::uint16_t command) {
    const auto row = std::find_if(kCommands.begin(), kCommands.end(),
                                  [command](const CommandName& r) { return r.number == command; });
    if (row != kCommands.end()) return std::string(row->name);
    if (command >= kFirstDeviceSpecific && command <= kLastDeviceSpecific)
        return "device-specific " + std::to_string(command);
    return "command " + std::to_string(command);
}

std::string commandInWords(std::uint16_t command) {
    const std::string number = "Command " + std::to_string(command);
    const auto row = std::find_if(kCommands.begin(), kCommands.end(),
                                  [command](const CommandName& r) { return r.number == command; });
    if (row == kCommands.end()) {
        if (command >= kFirstDeviceSpecific && command <= kLastDeviceSpecific)
            return number + " (device-specific)";
        return number;
    }
    // The table's title case in a sentence: "Write Tag, Descriptor, Date"
    // reads "Write tag, descriptor, date"; words in capitals (PV, EEPROM)
    // keep them.
    std::string words(row->name);
    bool wordStart = true;
    bool firstWord = true;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const char c = words[i];
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (wordStart && letter && !firstWord && c >= 'A' && c <= 'Z') {
            // Only a capital that a small letter follows: "I/O" stays.
            const bool capitalised =
                i + 1 < words.size() && words[i + 1] >= 'a' && words[i + 1] <= 'z';
            if (capitalised) words[i] = static_cast<char>(c - 'A' + 'a');
        }
        if (letter) firstWord = false;
        wordStart = !letter && c != '\'' && !(c >= '0' && c <= '9');
    }
    return number + " " + words;
}

std::string responseCodeName(std::uint8_t code) {
    const auto row = std::find_if(kResponseCodes.begin(), kResponseCodes.end(),
                                  [code](const CodeName& r) { return r.code == code; });
    if (row != kResponseCodes.end()) return std::string(row->name);
    return "response code " + std::to_string(code);
}

std::vector<std::string> setBitNames(std::uint8_t value, BitNames bits) {
    std::vector<std::string> names;
    for (int bit = 7; bit >= 0; --bit) {
        const auto mask = static_cast<std::uint8_t>(1u << bit);
        if ((value & mask) == 0) continue;
        const auto row = std::find_if(bits.begin(), bits.end(),
                                      [mask](const BitName& r) { return r.mask == mask; });
        names.push_back(row != bits.end() ? std::string(row->name)
                                          : "reserved bit " + std::to_string(bit));
    }
    return names;
}

std::string deviceStatusText(std::uint8_t deviceStatus) {
    if (deviceStatus == 0) return "OK";
    return joined(setBitNames(deviceStatus, kDeviceStatusBits));
}

std::string statusSummary(std::uint8_t firstStatusByte) {
    if ((firstStatusByte & kCommunicationError) == 0) return responseCodeName(firstStatusByte);
    const auto errors = static_cast<std::uint8_t>(firstStatusByte & ~kCommunicationError);
    // Bit 7 alone names no error; say so rather than end on a bare colon.
    const std::vector<std::string> names = setBitNames(errors, kCommunicationErrorBits);
    return "Communication error: " + (names.empty() ? std::string("none named") : joined(names));
}

std::string statusSummary(std::uint8_t firstStatusByte, std::uint16_t command) {
    const auto row = std::find_if(kCommandResponseCodes.begin(), kCommandResponseCodes.end(),
                                  [&](const CommandCodeName& r) {
                                      return r.command == command && r.code == firstStatusByte;
                                  });
    return row != kCommandResponseCodes.end() ? std::string(row->name)
                                              : statusSummary(firstStatusByte);
}

std::vector<std::string> additionalStatusLines(std::span<const std::uint8_t> data) {
    std::vector<std::string> lines;
    for (const AdditionalStatusField& field : kAdditionalStatusLayout) {
        if (field.first >= data.size()) break;
        const auto bytes =
            data.subspan(field.first, std::min(field.count, data.size() - field.first));
        lines.push_back(std::string(field.label) + ": " + fieldText(field, bytes));
    }
    if (data.size() > kAdditionalStatusSize)
        lines.push_back("Further bytes: " + hexBytes(data.subspan(kAdditionalStatusSize)));
    return lines;
}

std::string hexText(unsigned value, int digits) {
    std::array<char, 16> buf{};
    std::snprintf(buf.data(), buf.size(), "%0*X", digits, value);
    return buf.data();
}

std::string hexBytes(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 3);
    for (const std::uint8_t byte : bytes) {
        if (!text.empty()) text += ' ';
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : std::string(separator)) + part;
    return text;
}

} // namespace hart
