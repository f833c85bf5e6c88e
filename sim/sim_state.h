#pragma once
// What a simulated device knows about itself. Every field is read and written
// under the lock of the line the device is on.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sim {

struct DynamicVariable {
    float value = 0.0f;
    std::uint8_t unit = 0;
};

struct SimState {
    // Identity (command 0). The first two bytes are the manufacturer ID and
    // device type of a HART 5 device, or the expanded device type of a HART 7
    // one; with the device ID they make the unique (long) address.
    std::uint8_t manufacturer = 0x26; // Rosemount
    std::uint8_t deviceType = 0x05;
    std::array<std::uint8_t, 3> deviceId{0x01, 0x02, 0x03};
    std::uint8_t preambles = 5; // asked of the master, and sent before every reply
    std::uint8_t pollAddress = 0;
    std::uint8_t universalRevision = 5;
    std::uint8_t deviceRevision = 1;
    std::uint8_t softwareRevision = 1;
    std::uint8_t hardwareRevision = 1;
    std::uint8_t flags = 0;
    // Second status byte of every reply.
    std::uint8_t fieldDeviceStatus = 0;

    // Identity from HART 6 on (command 0 bytes 12 and later).
    std::uint8_t deviceVariables = 4;
    std::uint16_t configChangeCounter = 0;
    std::uint8_t extendedStatus = 0;    // also byte 6 of the command-48 reply
    std::uint16_t manufacturerCode = 0; // HART 7: the 16-bit manufacturer ID
    std::uint16_t distributorCode = 0;  // HART 7: private-label distributor
    std::uint8_t deviceProfile = 0;     // HART 7

    // HART 7: long tag (command 20), additional device status (command 48).
    std::string longTag;
    std::vector<std::uint8_t> additionalStatus;

    // Process values (commands 1, 2, 3).
    float loopCurrent = 12.0f;    // mA
    float percentOfRange = 50.0f; // %
    std::array<DynamicVariable, 4> variables{{{50.0f, 32}, {23.5f, 32}, {0.0f, 39}, {101.3f, 12}}};
    int variableCount = 4;             // how many of the four the command-3 reply carries
    std::optional<float> fixedCurrent; // loop current forced by command 40

    // Range and output (commands 14, 15, 34, 35, 44, 47).
    std::array<std::uint8_t, 3> sensorSerial{0x00, 0x30, 0x39};
    std::uint8_t sensorLimitUnit = 32;
    float upperSensorLimit = 850.0f;
    float lowerSensorLimit = -200.0f;
    float minimumSpan = 10.0f;
    std::uint8_t alarmSelect = 0;
    std::uint8_t transferFunction = 0; // 0 linear, 1 square root
    std::uint8_t rangeUnit = 32;
    float upperRange = 100.0f;
    float lowerRange = 0.0f;
    float damping = 0.5f;
    std::uint8_t writeProtect = 0;
    std::uint8_t privateLabel = 0x26;

    // Owner's data (commands 12, 13, 16, 17, 18, 19).
    std::string message = "RX460K SIMULATED TRANSMITTER";
    std::string tag = "TT100";
    std::string descriptor = "LOOP SIMULATOR";
    std::array<std::uint8_t, 3> date{10, 12, 126}; // day, month, year-1900
    std::uint32_t finalAssembly = 123456;

    // Burst mode (commands 108, 109).
    bool burstMode = false;
    std::uint8_t burstCommand = 1;

    // Device-specific settings, by whatever key the command set chooses.
    std::map<int, std::vector<std::uint8_t>> vendor;
};

// Test hooks: the simulated device misbehaves on request so that timeout and
// failure paths are tested through the real serial line.
struct SimFaults {
    bool silent = false;                     // answer nothing
    int replyDelayMs = 0;                    // wait before answering
    std::vector<std::uint8_t> garbagePrefix; // sent before the reply's preambles
    int splitAfter = -1;                     // send this many reply bytes, pause, then the rest
    int splitPauseMs = 0;
    std::optional<std::uint8_t> responseCode; // override the first status byte
    // Stay silent on a command 0 unless it repeats the frame just before it
    // on the line: the device is found only by a master that retries.
    bool answersOnlyRetry = false;
};

} // namespace sim
