#pragma once
// What a simulated device knows about itself. Every field is read and written
// under the lock of the line the device is on.

#include <array>
#include <chrono>
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

// A device variable of a HART 7 device: what commands 9, 33 and 54 report of it.
struct DeviceVariable {
    std::uint8_t classification = 0; // 0: not classified
    std::uint8_t unit = 250;
    float value = 0.0f;
    std::uint8_t status = 0xC0; // process data good, not limited
    std::array<std::uint8_t, 3> transducerSerial{};
    float upperLimit = 0.0f; // transducer limits and minimum span, in `unit`
    float lowerLimit = 0.0f;
    float damping = 0.0f; // s
    float minimumSpan = 0.0f;
    float upperRange = 0.0f; // the loop's range while this variable is the PV
    float lowerRange = 0.0f;
    std::uint8_t family = 250;           // 250: no device family
    std::uint32_t acquisitionPeriod = 0; // 1/32 ms
    std::uint8_t properties = 0;
};

// Command 95: frames counted since the device last started, each wrapping at 65535.
struct CommunicationCounts {
    std::uint16_t stxReceived = 0; // requests addressed to the device
    std::uint16_t ackSent = 0;     // replies
    std::uint16_t backSent = 0;    // burst frames
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

    // HART 7: device variables by code (0, 1, ...) and the ones PV, SV, TV
    // and QV stand for (250: none); polling address and loop current mode
    // (1 enabled, 0 disabled: the current stays at its minimum) go together.
    std::vector<DeviceVariable> deviceVariableTable;
    std::array<std::uint8_t, 4> dynamicVariables{0, 1, 2, 3};
    std::uint8_t loopCurrentMode = 1;
    // Configuration changed and cold start, for the secondary [0] and the
    // primary [1] master: each master is told and clears them on its own.
    std::array<std::uint8_t, 2> masterStatus{};
    // Field device status bits the process sets (loop current saturated).
    std::uint8_t processStatus = 0;
    CommunicationCounts communication;
    std::uint8_t squawk = 0; // command 72: 0 off, 1 on, 2 once

    // Time since the device started, brought up to date before each request.
    std::chrono::milliseconds uptime{0};
    // Real-time clock (commands 89, 90): the date and time it was last set to
    // (1/32 ms since 1900-01-01) at `clockSetAt` of uptime; it runs on from
    // there. Never set by a master, it counts from the start of 2024.
    std::int64_t clockSetTo = 0;
    std::chrono::milliseconds clockSetAt{0};
    bool clockSet = false;

    // Device reset (command 42): the reply goes out, then the device starts
    // again and misses the next `requestsMissedByReset` requests to it.
    bool resetPending = false;
    int requestsMissedByReset = 0;
    int restarting = 0; // requests still to miss

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
