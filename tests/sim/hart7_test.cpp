// The simulated HART 7 flowmeter (address 5 of the simulated network)
// answers as a HART 7 field device does: every exchange goes through the
// real pty, and every expected frame is worked out by hand from HART 7's
// command layouts (floats as IEEE single precision, most significant byte
// first: 42.5 -> 42 2A 00 00; the checksum is the XOR of the frame from the
// delimiter on).
//
// The flowmeter's clock is held at 0 unless a row says otherwise, so its
// live values stand at their starting points: volume flow 42.5 m3/h (19),
// mass flow 42415 kg/h (75), totalizer 12345 m3 (43), temperature 23.5 degC
// (32, poor accuracy); loop current 4.0 mA (at address 5 the loop current
// mode is disabled), percent of range 42.5 (0-100 m3/h). Long frames go to
// its unique address 11 B7 3A 5C 91 as primary master (91 = 0x80 | 0x11),
// secondary master 11; every reply carries "More status available" (10),
// with "configuration changed" (40) after a write.

#include "line_client.h"
#include "sim/sim_network.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <ostream>
#include <string>

namespace {

using namespace std::chrono_literals;
using simtest::Bytes;
using simtest::hex;
using simtest::hexText;
using simtest::LineClient;

constexpr std::uint8_t kFlowmeter = 5;

// The transmitter at 0: command 0 and its reply. A request that gets no
// reply is followed by this one; the next reply must then be the
// transmitter's, which shows the silence without waiting for it.
constexpr const char* kAsk0 = "02 80 00 00 82";
constexpr const char* kAnswer0 = "06 80 00 0E 00 00 FE 26 05 05 05 01 01 08 00 01 02 03 5D";

// The standard network, the flowmeter's clock held at 0.
class Rig {
public:
    Rig() {
        network_.withDevice(kFlowmeter, [](sim::SimDevice& d) { d.holdClock(0ms); });
    }
    sim::SimNetwork& network() { return network_; }
    template <class F> auto device(F&& f) { return network_.withDevice(kFlowmeter, f); }

    // The reply to `request`, as text; "no reply" when none came.
    std::string ask(const char* request) {
        line_.send(hex(request));
        const auto reply = line_.nextReply();
        return reply ? hexText(*reply) : "no reply";
    }
    std::optional<Bytes> askBytes(const char* request) {
        line_.send(hex(request));
        return line_.nextReply();
    }
    // No device answers `request`: the transmitter's reply to kAsk0 comes first.
    bool unanswered(const char* request) {
        line_.send(hex(request));
        return ask(kAsk0) == kAnswer0;
    }

private:
    sim::SimNetwork network_;
    LineClient line_{network_.portPath()};
};

struct Exchange {
    const char* name;
    void (*prepare)(sim::SimDevice&); // may be null
    const char* request;              // delimiter through checksum
    const char* reply;
};
void PrintTo(const Exchange& x, std::ostream* os) {
    *os << x.name;
}

void at15s(sim::SimDevice& d) {
    d.holdClock(15s);
}
void loopCurrentEnabled(sim::SimDevice& d) {
    d.state().loopCurrentMode = 1;
}
// The PV's range ends at 40 m3/h, below the flow of 42.5.
void saturatedOutput(sim::SimDevice& d) {
    d.state().loopCurrentMode = 1;
    d.state().deviceVariableTable[0].upperRange = 40.0f;
}
void writeProtected(sim::SimDevice& d) {
    d.state().writeProtect = 1;
}
void quaternaryUnused(sim::SimDevice& d) {
    d.state().dynamicVariables[3] = 250;
}
void secondaryUnused(sim::SimDevice& d) {
    d.state().dynamicVariables[1] = 250;
}

const Exchange kProcessData[] = {
    // m3/h (19), 42.5
    {"Cmd1PvVolumeFlow", nullptr, "82 91 B7 3A 5C 91 01 00 52",
     "86 91 B7 3A 5C 91 01 07 00 10 13 42 2A 00 00 3A"},
    // 42.5 + 7.5: the swell at its top
    {"Cmd1AfterAQuarterMinute", at15s, "82 91 B7 3A 5C 91 01 00 52",
     "86 91 B7 3A 5C 91 01 07 00 10 13 42 48 00 00 58"},
    // 4.0 mA, 42.5 %
    {"Cmd2MultidropCurrent", nullptr, "82 91 B7 3A 5C 91 02 00 51",
     "86 91 B7 3A 5C 91 02 0A 00 10 40 80 00 00 42 2A 00 00 E7"},
    // 4 + 16 * 0.425 = 10.8 mA
    {"Cmd2LoopCurrentEnabled", loopCurrentEnabled, "82 91 B7 3A 5C 91 02 00 51",
     "86 91 B7 3A 5C 91 02 0A 00 10 41 2C CC CD 42 2A 00 00 4B"},
    // 42.5 of 0-40: 106.25 %, 21 mA held at 20.5, saturated (04)
    {"Cmd2SaturatedAboveRange", saturatedOutput, "82 91 B7 3A 5C 91 02 00 51",
     "86 91 B7 3A 5C 91 02 0A 00 14 41 A4 00 00 42 D4 80 00 B8"},
    {"Cmd3FourVariables", nullptr, "82 91 B7 3A 5C 91 03 00 50",
     "86 91 B7 3A 5C 91 03 1A 00 10 40 80 00 00 13 42 2A 00 00 4B 47 25 AF 00 2B 46 40 E4 00 20 41 "
     "BC 00 00 77"},
    {"Cmd3EndsAfterTheLastUsed", quaternaryUnused, "82 91 B7 3A 5C 91 03 00 50",
     "86 91 B7 3A 5C 91 03 15 00 10 40 80 00 00 13 42 2A 00 00 4B 47 25 AF 00 2B 46 40 E4 00 A5"},
    {"Cmd3UnusedInBetween", secondaryUnused, "82 91 B7 3A 5C 91 03 00 50",
     "86 91 B7 3A 5C 91 03 1A 00 10 40 80 00 00 13 42 2A 00 00 FA 7F A0 00 00 2B 46 40 E4 00 20 41 "
     "BC 00 00 D4"},
    {"Cmd8Classifications", nullptr, "82 91 B7 3A 5C 91 08 00 5B",
     "86 91 B7 3A 5C 91 08 06 00 10 42 48 44 40 47"},
    {"Cmd8UnusedIs250", quaternaryUnused, "82 91 B7 3A 5C 91 08 00 5B",
     "86 91 B7 3A 5C 91 08 06 00 10 42 48 44 FA FD"},
};

const Exchange kVariablesWithStatus[] = {
    {"OneSlot", nullptr, "82 91 B7 3A 5C 91 09 01 00 5B",
     "86 91 B7 3A 5C 91 09 0F 00 10 03 00 42 13 42 2A 00 00 C0 00 00 00 00 BB"},
    {"PvSvTvQv", nullptr, "82 91 B7 3A 5C 91 09 04 F6 F7 F8 F9 5E",
     "86 91 B7 3A 5C 91 09 27 00 10 03 F6 42 13 42 2A 00 00 C0 F7 48 4B 47 25 AF 00 C0 F8 44 2B 46 "
     "40 E4 00 C0 F9 40 20 41 BC 00 00 40 00 00 00 00 0D"},
    {"PercentAndLoopCurrent", nullptr, "82 91 B7 3A 5C 91 09 02 F4 F5 59",
     "86 91 B7 3A 5C 91 09 17 00 10 03 F4 00 39 42 2A 00 00 C0 F5 54 27 40 80 00 00 B0 00 00 00 00 "
     "C9"},
    {"LoopCurrentGoodWhenEnabled", loopCurrentEnabled, "82 91 B7 3A 5C 91 09 01 F5 AE",
     "86 91 B7 3A 5C 91 09 0F 00 10 03 F5 54 27 41 2C CC CD C0 00 00 00 00 68"},
    {"CodesItHasNotAreNotUsed", nullptr, "82 91 B7 3A 5C 91 09 03 07 FA F3 57",
     "86 91 B7 3A 5C 91 09 1F 00 10 03 07 00 FA 7F A0 00 00 30 FA 00 FA 7F A0 00 00 30 F3 00 FA 7F "
     "A0 00 00 30 00 00 00 00 49"},
    {"MappedToNothingIsNotUsed", quaternaryUnused, "82 91 B7 3A 5C 91 09 01 F9 A2",
     "86 91 B7 3A 5C 91 09 0F 00 10 03 F9 00 FA 7F A0 00 00 30 00 00 00 00 AE"},
    {"EightSlots", nullptr, "82 91 B7 3A 5C 91 09 08 00 01 02 03 F4 F5 F6 07 A2",
     "86 91 B7 3A 5C 91 09 47 00 10 03 00 42 13 42 2A 00 00 C0 01 48 4B 47 25 AF 00 C0 02 44 2B 46 "
     "40 E4 00 C0 03 40 20 41 BC 00 00 40 F4 00 39 42 2A 00 00 C0 F5 54 27 40 80 00 00 B0 F6 42 13 "
     "42 2A 00 00 C0 07 00 FA 7F A0 00 00 30 00 00 00 00 E3"},
    {"NineCodesTruncatedToEight", nullptr, "82 91 B7 3A 5C 91 09 09 00 01 02 03 F4 F5 F6 07 F7 54",
     "86 91 B7 3A 5C 91 09 47 1E 10 03 00 42 13 42 2A 00 00 C0 01 48 4B 47 25 AF 00 C0 02 44 2B 46 "
     "40 E4 00 C0 03 40 20 41 BC 00 00 40 F4 00 39 42 2A 00 00 C0 F5 54 27 40 80 00 00 B0 F6 42 13 "
     "42 2A 00 00 C0 07 00 FA 7F A0 00 00 30 00 00 00 00 FD"},
    {"NoCodeTooFewBytes", nullptr, "82 91 B7 3A 5C 91 09 00 5A",
     "86 91 B7 3A 5C 91 09 02 05 10 49"},
    {"TimeStampAfterAQuarterMinute", at15s, "82 91 B7 3A 5C 91 09 01 00 5B",
     "86 91 B7 3A 5C 91 09 0F 00 10 03 00 42 13 42 48 00 00 C0 00 07 53 00 8D"},
};

const Exchange kVariables[] = {
    {"Cmd33TwoCodes", nullptr, "82 91 B7 3A 5C 91 21 02 00 03 73",
     "86 91 B7 3A 5C 91 21 0E 00 10 00 13 42 2A 00 00 03 20 41 BC 00 00 CD"},
    {"Cmd33LoopCurrentAndPercent", nullptr, "82 91 B7 3A 5C 91 21 02 F5 F4 71",
     "86 91 B7 3A 5C 91 21 0E 00 10 F5 27 40 80 00 00 F4 39 42 2A 00 00 DF"},
    {"Cmd33FourAtMost", nullptr, "82 91 B7 3A 5C 91 21 05 00 01 02 03 00 77",
     "86 91 B7 3A 5C 91 21 1A 00 10 00 13 42 2A 00 00 01 4B 47 25 AF 00 02 2B 46 40 E4 00 03 20 41 "
     "BC 00 00 95"},
    {"Cmd33UnknownCodeRefused", nullptr, "82 91 B7 3A 5C 91 21 02 00 09 79",
     "86 91 B7 3A 5C 91 21 02 02 10 66"},
    {"Cmd33NoCodeTooFewBytes", nullptr, "82 91 B7 3A 5C 91 21 00 72",
     "86 91 B7 3A 5C 91 21 02 05 10 61"},
    {"Cmd54VolumeFlow", nullptr, "82 91 B7 3A 5C 91 36 01 00 64",
     "86 91 B7 3A 5C 91 36 1E 00 10 00 02 D6 87 13 43 96 00 00 C3 96 00 00 3F 80 00 00 40 40 00 00 "
     "42 FA 00 00 0C 80 00 24"},
    {"Cmd54QvIsTheTemperature", nullptr, "82 91 B7 3A 5C 91 36 01 F9 9D",
     "86 91 B7 3A 5C 91 36 1E 00 10 F9 02 D6 87 20 43 16 00 00 C2 20 00 00 40 00 00 00 41 20 00 00 "
     "40 FA 00 00 0C 80 00 45"},
    {"Cmd54NoTransducerBehindLoopCurrent", nullptr, "82 91 B7 3A 5C 91 36 01 F5 91",
     "86 91 B7 3A 5C 91 36 02 02 10 71"},
    {"Cmd54UnknownCode", nullptr, "82 91 B7 3A 5C 91 36 01 04 60",
     "86 91 B7 3A 5C 91 36 02 02 10 71"},
    {"Cmd54NoCode", nullptr, "82 91 B7 3A 5C 91 36 00 65", "86 91 B7 3A 5C 91 36 02 05 10 76"},
    {"Cmd14PvTransducer", nullptr, "82 91 B7 3A 5C 91 0E 00 5D",
     "86 91 B7 3A 5C 91 0E 12 00 10 02 D6 87 13 43 96 00 00 C3 96 00 00 40 40 00 00 9B"},
    {"Cmd15PvRange", nullptr, "82 91 B7 3A 5C 91 0F 00 5C",
     "86 91 B7 3A 5C 91 0F 14 00 10 00 00 13 42 C8 00 00 00 00 00 00 3F 80 00 00 00 FA 00 80"},
};

const Exchange kMapping[] = {
    {"Cmd50", nullptr, "82 91 B7 3A 5C 91 32 00 61",
     "86 91 B7 3A 5C 91 32 06 00 10 00 01 02 03 73"},
    {"Cmd51AllFour", nullptr, "82 91 B7 3A 5C 91 33 04 03 00 01 02 64",
     "86 91 B7 3A 5C 91 33 06 00 50 03 00 01 02 32"},
    {"Cmd51PvOnly", nullptr, "82 91 B7 3A 5C 91 33 01 03 62",
     "86 91 B7 3A 5C 91 33 06 00 50 03 01 02 03 31"},
    {"Cmd51NotAVariable", nullptr, "82 91 B7 3A 5C 91 33 02 00 04 66",
     "86 91 B7 3A 5C 91 33 02 02 10 74"},
    {"Cmd51PercentIsNotAVariable", nullptr, "82 91 B7 3A 5C 91 33 01 F4 95",
     "86 91 B7 3A 5C 91 33 02 02 10 74"},
    {"Cmd51NoData", nullptr, "82 91 B7 3A 5C 91 33 00 60", "86 91 B7 3A 5C 91 33 02 05 10 73"},
    {"Cmd51WriteProtected", writeProtected, "82 91 B7 3A 5C 91 33 04 03 00 01 02 64",
     "86 91 B7 3A 5C 91 33 02 07 10 71"},
};

const Exchange kLoop[] = {
    {"Cmd7", nullptr, "82 91 B7 3A 5C 91 07 00 54", "86 91 B7 3A 5C 91 07 04 00 10 05 00 41"},
    {"Cmd6AddressAndMode", nullptr, "82 91 B7 3A 5C 91 06 02 05 01 53",
     "86 91 B7 3A 5C 91 06 04 00 50 05 01 01"},
    {"Cmd6AddressAloneZeroEnables", nullptr, "82 91 B7 3A 5C 91 06 01 00 54",
     "86 91 B7 3A 5C 91 06 04 00 50 00 01 04"},
    {"Cmd6AddressAloneElsewhereDisables", loopCurrentEnabled, "82 91 B7 3A 5C 91 06 01 05 51",
     "86 91 B7 3A 5C 91 06 04 00 50 05 00 00"},
    {"Cmd6Highest63", nullptr, "82 91 B7 3A 5C 91 06 02 3F 00 68",
     "86 91 B7 3A 5C 91 06 04 00 50 3F 00 3A"},
    {"Cmd6Address64Refused", nullptr, "82 91 B7 3A 5C 91 06 02 40 00 17",
     "86 91 B7 3A 5C 91 06 02 02 10 41"},
    {"Cmd6Mode2Refused", nullptr, "82 91 B7 3A 5C 91 06 02 05 02 50",
     "86 91 B7 3A 5C 91 06 02 0C 10 4F"},
    {"Cmd6NoData", nullptr, "82 91 B7 3A 5C 91 06 00 55", "86 91 B7 3A 5C 91 06 02 05 10 46"},
    {"Cmd6WriteProtected", writeProtected, "82 91 B7 3A 5C 91 06 02 05 00 52",
     "86 91 B7 3A 5C 91 06 02 07 10 44"},
};

const Exchange kControl[] = {
    {"Cmd38FromAnOlderMaster", nullptr, "82 91 B7 3A 5C 91 26 00 75",
     "86 91 B7 3A 5C 91 26 04 00 10 00 07 62"},
    {"Cmd38CounterMatches", nullptr, "82 91 B7 3A 5C 91 26 02 00 07 70",
     "86 91 B7 3A 5C 91 26 04 00 10 00 07 62"},
    {"Cmd38CounterMismatch", nullptr, "82 91 B7 3A 5C 91 26 02 00 06 71",
     "86 91 B7 3A 5C 91 26 02 09 10 6A"},
    {"Cmd38OneByteTooFew", nullptr, "82 91 B7 3A 5C 91 26 01 00 74",
     "86 91 B7 3A 5C 91 26 02 05 10 66"},
    {"Cmd41SelfTest", nullptr, "82 91 B7 3A 5C 91 29 00 7A", "86 91 B7 3A 5C 91 29 02 00 10 6C"},
    {"Cmd42Reset", nullptr, "82 91 B7 3A 5C 91 2A 00 79", "86 91 B7 3A 5C 91 2A 02 00 10 6F"},
    {"Cmd72SquawkOnce", nullptr, "82 91 B7 3A 5C 91 48 00 1B", "86 91 B7 3A 5C 91 48 02 00 10 0D"},
    {"Cmd72SquawkOn", nullptr, "82 91 B7 3A 5C 91 48 01 01 1B",
     "86 91 B7 3A 5C 91 48 03 00 10 01 0D"},
    {"Cmd72UnknownControl", nullptr, "82 91 B7 3A 5C 91 48 01 03 19",
     "86 91 B7 3A 5C 91 48 02 02 10 0F"},
    {"Cmd95AfterItsOwnRequest", nullptr, "82 91 B7 3A 5C 91 5F 00 0C",
     "86 91 B7 3A 5C 91 5F 08 00 10 00 01 00 00 00 00 11"},
};

const Exchange kTags[] = {
    // "FT-206 R\xFCcklauf" (Latin-1), NUL to 32 bytes
    {"Cmd22LongTag", nullptr,
     "82 91 B7 3A 5C 91 16 20 46 54 2D 32 30 36 20 52 FC 63 6B 6C 61 75 66 00 00 00 00 00 00 00 00 "
     "00 00 00 00 00 00 00 00 00 F6",
     "86 91 B7 3A 5C 91 16 22 00 50 46 54 2D 32 30 36 20 52 FC 63 6B 6C 61 75 66 00 00 00 00 00 00 "
     "00 00 00 00 00 00 00 00 00 00 00 A0"},
    {"Cmd22TooFewBytes", nullptr,
     "82 91 B7 3A 5C 91 16 1F 46 54 2D 32 30 36 20 52 FC 63 6B 6C 61 75 66 00 00 00 00 00 00 00 00 "
     "00 00 00 00 00 00 00 00 C9",
     "86 91 B7 3A 5C 91 16 02 05 10 56"},
    // "FEEDWATER LINE 2" in packed ASCII, blank to 32 characters
    {"Cmd12Message", nullptr, "82 91 B7 3A 5C 91 0C 00 5F",
     "86 91 B7 3A 5C 91 0C 1A 00 10 18 51 44 5C 15 05 4A 03 09 38 58 32 82 08 20 82 08 20 82 08 20 "
     "82 08 20 02"},
    {"Cmd16FinalAssembly", nullptr, "82 91 B7 3A 5C 91 10 00 43",
     "86 91 B7 3A 5C 91 10 05 00 10 01 E2 40 F1"},
};

const Exchange kClock[] = {
    // 1.1.2024 00:00, twice; flags: non-volatile, uninitialized
    {"Cmd90NeverSet", nullptr, "82 91 B7 3A 5C 91 5A 00 09",
     "86 91 B7 3A 5C 91 5A 11 00 10 01 01 7C 00 00 00 00 01 01 7C 00 00 00 00 03 0F"},
    // 15 s = 480000/32 ms = 00 07 53 00
    {"Cmd90AfterAQuarterMinute", at15s, "82 91 B7 3A 5C 91 5A 00 09",
     "86 91 B7 3A 5C 91 5A 11 00 10 01 01 7C 00 07 53 00 01 01 7C 00 00 00 00 03 5B"},
    // 15.6.2025 12:34:56.000 = 45296000 ms * 32 = 56 65 30 00
    {"Cmd89Set", nullptr, "82 91 B7 3A 5C 91 59 0A 01 0F 06 7D 56 65 30 00 00 00 76",
     "86 91 B7 3A 5C 91 59 0A 00 50 01 0F 06 7D 56 65 30 00 22"},
    {"Cmd89ReadReceiveTime", at15s, "82 91 B7 3A 5C 91 59 0A 00 0F 06 7D 56 65 30 00 00 00 77",
     "86 91 B7 3A 5C 91 59 0A 00 10 00 01 01 7C 00 07 53 00 3C"},
    {"Cmd89UnknownTimeSetCode", nullptr, "82 91 B7 3A 5C 91 59 0A 02 0F 06 7D 56 65 30 00 00 00 75",
     "86 91 B7 3A 5C 91 59 02 02 10 1E"},
    {"Cmd89NoReservedBytes", nullptr, "82 91 B7 3A 5C 91 59 08 01 0F 06 7D 56 65 30 00 74",
     "86 91 B7 3A 5C 91 59 02 05 10 19"},
    // 30 February
    {"Cmd89NoSuchDay", nullptr, "82 91 B7 3A 5C 91 59 0A 01 1E 02 7D 00 00 00 00 00 00 60",
     "86 91 B7 3A 5C 91 59 02 03 10 1F"},
    // 29.2.2024
    {"Cmd89Leap29February", nullptr, "82 91 B7 3A 5C 91 59 0A 01 1D 02 7C 00 00 00 00 00 00 62",
     "86 91 B7 3A 5C 91 59 0A 00 50 01 1D 02 7C 00 00 00 00 36"},
    // 24 h = A4 CB 80 00
    {"Cmd89TimePastMidnight", nullptr, "82 91 B7 3A 5C 91 59 0A 01 0F 06 7D A4 CB 80 00 00 00 9A",
     "86 91 B7 3A 5C 91 59 02 03 10 1F"},
    {"Cmd89WriteProtected", writeProtected,
     "82 91 B7 3A 5C 91 59 0A 01 0F 06 7D 56 65 30 00 00 00 76",
     "86 91 B7 3A 5C 91 59 02 07 10 1B"},
};

class FlowmeterExchange : public ::testing::TestWithParam<Exchange> {};

TEST_P(FlowmeterExchange, RepliesAsAHart7Device) {
    const Exchange& x = GetParam();
    Rig rig;
    if (x.prepare) rig.device(x.prepare);
    EXPECT_EQ(rig.ask(x.request), x.reply);
}

auto rowName = [](const auto& info) { return std::string(info.param.name); };
INSTANTIATE_TEST_SUITE_P(ProcessData, FlowmeterExchange, ::testing::ValuesIn(kProcessData),
                         rowName);
INSTANTIATE_TEST_SUITE_P(VariablesWithStatus, FlowmeterExchange,
                         ::testing::ValuesIn(kVariablesWithStatus), rowName);
INSTANTIATE_TEST_SUITE_P(Variables, FlowmeterExchange, ::testing::ValuesIn(kVariables), rowName);
INSTANTIATE_TEST_SUITE_P(Mapping, FlowmeterExchange, ::testing::ValuesIn(kMapping), rowName);
INSTANTIATE_TEST_SUITE_P(Loop, FlowmeterExchange, ::testing::ValuesIn(kLoop), rowName);
INSTANTIATE_TEST_SUITE_P(Control, FlowmeterExchange, ::testing::ValuesIn(kControl), rowName);
INSTANTIATE_TEST_SUITE_P(Tags, FlowmeterExchange, ::testing::ValuesIn(kTags), rowName);
INSTANTIATE_TEST_SUITE_P(Clock, FlowmeterExchange, ::testing::ValuesIn(kClock), rowName);

// ---- The configuration change counter (command 0 bytes 14-15) counts every
// accepted write, and only those.

// Command 0 to address 5; its reply (delimiter 06, address, command, byte
// count, two status bytes, then the data) carries the counter in data bytes
// 14 and 15.
constexpr const char* kAsk0At5 = "02 85 00 00 87";
constexpr std::size_t kCounterAt = 6 + 14;
constexpr std::size_t kStatusAt = 5;

struct Write {
    const char* name;
    const char* request;
    bool counts;
};

TEST(ConfigurationChangeCounter, CountsEveryAcceptedWrite) {
    const Write kWrites[] = {
        {"6 same address, mode disabled", "82 91 B7 3A 5C 91 06 02 05 00 52", true},
        // "FEEDWATER LINE 3" in packed ASCII.
        {"17 message",
         "82 91 B7 3A 5C 91 11 18 18 51 44 5C 15 05 4A 03 09 38 58 33 82 08 20 82 08 20 82 08 20 "
         "82 08 20 08",
         true},
        // "FT205", "FEEDWATER FLOW", 14.3.2024.
        {"18 tag, descriptor, date",
         "82 91 B7 3A 5C 91 12 15 19 4C B0 D6 08 20 18 51 44 5C 15 05 4A 01 8C 3D 78 20 0E 03 7C "
         "DD",
         true},
        {"19 final assembly number 42", "82 91 B7 3A 5C 91 13 03 00 00 2A 69", true},
        {"22 long tag",
         "82 91 B7 3A 5C 91 16 20 46 54 2D 32 30 36 20 52 FC 63 6B 6C 61 75 66 00 00 00 00 00 00 "
         "00 00 00 00 00 00 00 00 00 00 00 F6",
         true},
        {"51 mapping", "82 91 B7 3A 5C 91 33 04 00 01 02 03 64", true},
        {"89 set the clock", "82 91 B7 3A 5C 91 59 0A 01 0F 06 7D 56 65 30 00 00 00 76", true},
        {"89 read the receive time", "82 91 B7 3A 5C 91 59 0A 00 0F 06 7D 56 65 30 00 00 00 77",
         false},
        {"6 refused: address 64", "82 91 B7 3A 5C 91 06 02 40 00 17", false},
        {"51 refused: no variable 4", "82 91 B7 3A 5C 91 33 02 00 04 66", false},
        {"1 a read", "82 91 B7 3A 5C 91 01 00 52", false},
        {"38 clearing the flag", "82 91 B7 3A 5C 91 26 00 75", false},
    };
    Rig rig;
    int expected = 7;
    for (const Write& w : kWrites) {
        SCOPED_TRACE(w.name);
        const auto reply = rig.askBytes(w.request);
        ASSERT_TRUE(reply);
        if (w.counts) ++expected;
        const auto identity = rig.askBytes(kAsk0At5);
        ASSERT_TRUE(identity);
        ASSERT_GT(identity->size(), kCounterAt + 1);
        EXPECT_EQ((*identity)[kCounterAt] << 8 | (*identity)[kCounterAt + 1], expected);
    }
    EXPECT_EQ(expected, 14);
    EXPECT_EQ(rig.device([](sim::SimDevice& d) { return int(d.state().configChangeCounter); }), 14);
}

TEST(ConfigurationChangeCounter, CommandZeroShowsTheFlagAfterAWrite) {
    Rig rig;
    const auto before = rig.askBytes(kAsk0At5);
    ASSERT_TRUE(before);
    EXPECT_EQ((*before)[kStatusAt], 0x10);
    rig.ask("82 91 B7 3A 5C 91 13 03 00 00 2A 69");
    const auto after = rig.askBytes(kAsk0At5);
    ASSERT_TRUE(after);
    EXPECT_EQ((*after)[kStatusAt], 0x50);
}

// Each master is told of the change and clears it for itself; command 38
// with a stale counter leaves it set.
TEST(ConfigurationChanged, EachMasterClearsItsOwnFlag) {
    Rig rig;
    struct Step {
        const char* what;
        const char* request;
        const char* reply;
    };
    const Step kSteps[] = {
        {"primary writes 19: counter 7 -> 8", "82 91 B7 3A 5C 91 13 03 00 00 2A 69",
         "86 91 B7 3A 5C 91 13 05 00 50 00 00 2A 3B"},
        {"primary clears with 00 08", "82 91 B7 3A 5C 91 26 02 00 08 7F",
         "86 91 B7 3A 5C 91 26 04 00 10 00 08 6D"},
        {"primary no longer sees it", "82 91 B7 3A 5C 91 01 00 52",
         "86 91 B7 3A 5C 91 01 07 00 10 13 42 2A 00 00 3A"},
        {"secondary still does", "82 11 B7 3A 5C 91 01 00 D2",
         "86 11 B7 3A 5C 91 01 07 00 50 13 42 2A 00 00 FA"},
        {"secondary's stale counter: 9", "82 11 B7 3A 5C 91 26 02 00 07 F0",
         "86 11 B7 3A 5C 91 26 02 09 50 AA"},
        {"secondary clears with 00 08", "82 11 B7 3A 5C 91 26 02 00 08 FF",
         "86 11 B7 3A 5C 91 26 04 00 10 00 08 ED"},
        {"secondary no longer sees it", "82 11 B7 3A 5C 91 01 00 D2",
         "86 11 B7 3A 5C 91 01 07 00 10 13 42 2A 00 00 BA"},
    };
    for (const Step& s : kSteps) {
        SCOPED_TRACE(s.what);
        EXPECT_EQ(rig.ask(s.request), s.reply);
    }
}

// ---- Command 6 moves the device on the line.
TEST(PollingAddress, CommandSixMovesTheDevice) {
    Rig rig;
    EXPECT_EQ(rig.ask("82 91 B7 3A 5C 91 06 02 07 00 50"),
              "86 91 B7 3A 5C 91 06 04 00 50 07 00 02");
    EXPECT_TRUE(rig.unanswered(kAsk0At5));
    // Command 0 at 7: counter 00 08, configuration changed.
    EXPECT_EQ(rig.ask("02 87 00 00 85"), "06 87 00 18 00 50 FE 11 B7 05 07 02 03 10 00 3A 5C 91 "
                                         "05 04 00 08 03 00 11 00 11 01 7E");
    EXPECT_EQ(rig.ask("82 91 B7 3A 5C 91 07 00 54"), "86 91 B7 3A 5C 91 07 04 00 50 07 00 03");
    EXPECT_EQ(rig.network().withState(7, [](sim::SimState& s) { return int(s.loopCurrentMode); }),
              0);
    EXPECT_THROW(rig.network().withState(kFlowmeter, [](sim::SimState&) {}), std::out_of_range);
}

// ---- Command 42: the reply goes out, then the device starts again: cold
// start (20) in the first reply to each master, counts from zero.
TEST(DeviceReset, ColdStartOnceForEachMaster) {
    Rig rig;
    EXPECT_EQ(rig.ask("82 91 B7 3A 5C 91 2A 00 79"), "86 91 B7 3A 5C 91 2A 02 00 10 6F");
    const char* primary = "82 91 B7 3A 5C 91 01 00 52";
    const char* secondary = "82 11 B7 3A 5C 91 01 00 D2";
    EXPECT_EQ(rig.ask(primary), "86 91 B7 3A 5C 91 01 07 00 30 13 42 2A 00 00 1A");
    EXPECT_EQ(rig.ask(primary), "86 91 B7 3A 5C 91 01 07 00 10 13 42 2A 00 00 3A");
    EXPECT_EQ(rig.ask(secondary), "86 11 B7 3A 5C 91 01 07 00 30 13 42 2A 00 00 9A");
    EXPECT_EQ(rig.ask(secondary), "86 11 B7 3A 5C 91 01 07 00 10 13 42 2A 00 00 BA");
    // Since the start: five requests received (these four and 95), four replies.
    EXPECT_EQ(rig.ask("82 91 B7 3A 5C 91 5F 00 0C"),
              "86 91 B7 3A 5C 91 5F 08 00 10 00 05 00 04 00 00 11");
    EXPECT_EQ(rig.device([](sim::SimDevice& d) { return int(d.state().configChangeCounter); }), 7);
}

TEST(DeviceReset, MissesTheRequestsWhileItStarts) {
    Rig rig;
    rig.device([](sim::SimDevice& d) { d.state().requestsMissedByReset = 2; });
    const char* read = "82 91 B7 3A 5C 91 01 00 52";
    EXPECT_EQ(rig.ask(read), "86 91 B7 3A 5C 91 01 07 00 10 13 42 2A 00 00 3A");
    EXPECT_EQ(rig.ask("82 91 B7 3A 5C 91 2A 00 79"), "86 91 B7 3A 5C 91 2A 02 00 10 6F");
    EXPECT_TRUE(rig.unanswered(read));
    EXPECT_TRUE(rig.unanswered(read));
    EXPECT_EQ(rig.ask(read), "86 91 B7 3A 5C 91 01 07 00 30 13 42 2A 00 00 1A");
}

// ---- Command 95 counts the frames the device received and sent.
TEST(CommunicationStatistics, CountRealTraffic) {
    Rig rig;
    rig.ask(kAsk0At5);                                         // received and answered
    rig.ask(kAsk0);                                            // the transmitter's
    EXPECT_TRUE(rig.unanswered("82 91 B7 3A 5C 92 0D 00 5D")); // another device ID
    EXPECT_TRUE(rig.unanswered("02 85 0D 00 8A"));             // 13 by polling address
    // Received: command 0 and this one; sent: command 0's reply.
    EXPECT_EQ(rig.ask("82 91 B7 3A 5C 91 5F 00 0C"),
              "86 91 B7 3A 5C 91 5F 08 00 10 00 02 00 01 00 00 13");
    EXPECT_EQ(rig.ask("82 91 B7 3A 5C 91 5F 00 0C"),
              "86 91 B7 3A 5C 91 5F 08 00 10 00 03 00 02 00 00 11");
}

// ---- The real-time clock runs on from where it was set, over midnight and
// into the new year; command 9's time stamp is its time of day.
TEST(RealTimeClock, RunsOnFromWhereItWasSet) {
    Rig rig;
    // 31.12.2024 23:59:59.000: 1F 0C 7C, 86399000 ms * 32 = A4 CB 03 00.
    EXPECT_EQ(rig.ask("82 91 B7 3A 5C 91 59 0A 01 1F 0C 7C A4 CB 03 00 00 00 02"),
              "86 91 B7 3A 5C 91 59 0A 00 50 01 1F 0C 7C A4 CB 03 00 56");
    rig.device([](sim::SimDevice& d) { d.holdClock(2s); });
    // 1.1.2025 00:00:01.000: 01 01 7D, 1000 ms * 32 = 00 00 7D 00; last set
    // as above; flags: non-volatile only.
    EXPECT_EQ(rig.ask("82 91 B7 3A 5C 91 5A 00 09"),
              "86 91 B7 3A 5C 91 5A 11 00 50 01 01 7D 00 00 7D 00 1F 0C 7C A4 CB 03 00 01 4E");
    const auto slots = rig.askBytes("82 91 B7 3A 5C 91 09 01 00 5B");
    ASSERT_TRUE(slots);
    ASSERT_EQ(slots->size(), 24u);
    EXPECT_EQ(hexText(Bytes(slots->end() - 5, slots->end() - 1)), "00 00 7D 00");
}

// ---- Live values: the device variables follow the device's clock.
struct Moment {
    int uptimeMs;
    const char* request; // command 33
    const char* reply;
};

TEST(LiveValues, FollowTheDeviceClock) {
    const Moment kMoments[] = {
        // 42.5 + 7.5 = 50 m3/h, * 998 = 49900 kg/h
        {15000, "82 91 B7 3A 5C 91 21 02 00 01 71",
         "86 91 B7 3A 5C 91 21 0E 00 10 00 13 42 48 00 00 01 4B 47 42 EC 00 D2"},
        // 42.5 - 7.5 = 35 m3/h, * 998 = 34930 kg/h
        {45000, "82 91 B7 3A 5C 91 21 02 00 01 71",
         "86 91 B7 3A 5C 91 21 0E 00 10 00 13 42 0C 00 00 01 4B 47 08 72 00 42"},
        // 12345 + 42.5 m3/h * 60 s = 12345.708333 m3 (a whole swell adds nothing)
        {60000, "82 91 B7 3A 5C 91 21 01 02 71",
         "86 91 B7 3A 5C 91 21 08 00 10 02 2B 46 40 E6 D5 72"},
        // 23.5 + 1.5 degC a quarter into its ten minutes
        {150000, "82 91 B7 3A 5C 91 21 01 03 70",
         "86 91 B7 3A 5C 91 21 08 00 10 03 20 41 C8 00 00 C4"},
        // 23.5 - 1.5 degC at three quarters
        {450000, "82 91 B7 3A 5C 91 21 01 03 70",
         "86 91 B7 3A 5C 91 21 08 00 10 03 20 41 B0 00 00 BC"},
    };
    Rig rig;
    for (const Moment& m : kMoments) {
        SCOPED_TRACE(m.uptimeMs);
        rig.device([&m](sim::SimDevice& d) { d.holdClock(std::chrono::milliseconds(m.uptimeMs)); });
        EXPECT_EQ(rig.ask(m.request), m.reply);
    }
}

float wireFloat(const Bytes& b, std::size_t at) {
    const std::uint32_t bits = std::uint32_t{b[at]} << 24 | std::uint32_t{b[at + 1]} << 16 |
                               std::uint32_t{b[at + 2]} << 8 | b[at + 3];
    return std::bit_cast<float>(bits);
}

// With its clock running the flow moves between two reads, and what a
// reply carries is what the device holds.
TEST(LiveValues, MoveWhileTheClockRuns) {
    Rig rig;
    rig.device([](sim::SimDevice& d) { d.releaseClock(); });
    const char* read = "82 91 B7 3A 5C 91 01 00 52";
    constexpr std::size_t kValueAt = 11; // 86, address (5), command, count, status (2), unit
    const auto first = rig.askBytes(read);
    ASSERT_TRUE(first);
    std::optional<Bytes> later;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    do
        later = rig.askBytes(read);
    while (later && *later == *first && std::chrono::steady_clock::now() < deadline);
    ASSERT_TRUE(later);
    EXPECT_NE(wireFloat(*first, kValueAt), wireFloat(*later, kValueAt));
    const float held =
        rig.device([](sim::SimDevice& d) { return d.state().deviceVariableTable[0].value; });
    EXPECT_EQ(wireFloat(*later, kValueAt), held);
    // Within the swell of 42.5 +- 7.5.
    EXPECT_GE(held, 35.0f);
    EXPECT_LE(held, 50.0f);
}

// ---- Commands 11 and 21 find the device by its tag, also on the broadcast
// address (80 00 00 00 00); a tag that is not its own gets no reply.
TEST(FindByTag, AnswersItsOwnTagOnly) {
    // 22 data bytes of command 0: counter 00 07.
    const char* kIdentity = "FE 11 B7 05 07 02 03 10 00 3A 5C 91 05 04 00 07 03 00 11 00 11 01";
    Rig rig;
    // "FT205" packed: 19 4C B0 D6 08 20.
    EXPECT_EQ(rig.ask("82 80 00 00 00 00 0B 06 19 4C B0 D6 08 20 14"),
              std::string("86 91 B7 3A 5C 91 0B 18 00 10 ") + kIdentity + " EC");
    EXPECT_EQ(rig.ask("82 00 00 00 00 00 0B 06 19 4C B0 D6 08 20 94"),
              std::string("86 11 B7 3A 5C 91 0B 18 00 10 ") + kIdentity + " 6C");
    // "TT100", the transmitter's tag; the transmitter has no command 11.
    EXPECT_TRUE(rig.unanswered("82 80 00 00 00 00 0B 06 51 4C 70 C2 08 20 88"));
    // "FT-205 Speisewasser Durchfluß K2".
    EXPECT_EQ(rig.ask("82 80 00 00 00 00 15 20 46 54 2D 32 30 35 20 53 70 65 69 73 65 77 61 73 "
                      "73 65 72 20 44 75 72 63 68 66 6C 75 DF 20 4B 32 B6"),
              std::string("86 91 B7 3A 5C 91 15 18 00 10 ") + kIdentity + " F2");
    // "FT-206 Rücklauf", not (yet) its long tag, even at its own address.
    const char* k21NewTag = "82 80 00 00 00 00 15 20 46 54 2D 32 30 36 20 52 FC 63 6B 6C 61 75 66 "
                            "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 A4";
    EXPECT_TRUE(rig.unanswered(k21NewTag));
    EXPECT_TRUE(rig.unanswered("82 91 B7 3A 5C 91 15 20 46 54 2D 32 30 36 20 52 FC 63 6B 6C 61 "
                               "75 66 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 F5"));
    // Command 22 makes it the long tag: 20 reads it back and 21 finds it.
    rig.ask("82 91 B7 3A 5C 91 16 20 46 54 2D 32 30 36 20 52 FC 63 6B 6C 61 75 66 00 00 00 00 00 "
            "00 00 00 00 00 00 00 00 00 00 00 00 F6");
    EXPECT_EQ(rig.ask("82 91 B7 3A 5C 91 14 00 47"),
              "86 91 B7 3A 5C 91 14 22 00 50 46 54 2D 32 30 36 20 52 FC 63 6B 6C 61 75 66 00 00 "
              "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 A2");
    EXPECT_EQ(rig.ask(k21NewTag), "86 91 B7 3A 5C 91 15 18 00 50 FE 11 B7 05 07 02 03 10 00 3A "
                                  "5C 91 05 04 00 08 03 00 11 00 11 01 BD");
}

// ---- Mapping: PV, SV, TV and QV follow command 51 everywhere.
TEST(Mapping, CommandsFollowTheNewMapping) {
    Rig rig;
    // PV temperature, SV volume flow, TV mass flow, QV totalizer.
    EXPECT_EQ(rig.ask("82 91 B7 3A 5C 91 33 04 03 00 01 02 64"),
              "86 91 B7 3A 5C 91 33 06 00 50 03 00 01 02 32");
    // 23.5 degC; 23.5 % of 0-100 degC, the current still fixed at 4 mA.
    EXPECT_EQ(rig.ask("82 91 B7 3A 5C 91 01 00 52"),
              "86 91 B7 3A 5C 91 01 07 00 50 20 41 BC 00 00 DC");
    EXPECT_EQ(rig.ask("82 91 B7 3A 5C 91 02 00 51"),
              "86 91 B7 3A 5C 91 02 0A 00 50 40 80 00 00 41 BC 00 00 32");
    EXPECT_EQ(rig.ask("82 91 B7 3A 5C 91 08 00 5B"),
              "86 91 B7 3A 5C 91 08 06 00 50 40 42 48 44 07");
    EXPECT_EQ(rig.ask("82 91 B7 3A 5C 91 32 00 61"),
              "86 91 B7 3A 5C 91 32 06 00 50 03 00 01 02 33");
}

} // namespace
