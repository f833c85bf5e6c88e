#pragma once
// What one reply (or burst frame) of the commands the monitor reads says
// about each variable: command 1 (PV), 2 (loop current and percent of
// range), 3 (loop current and the dynamic variables) and 9 (device
// variables with status). Values the device marks bad, and values that are
// no number, come out without a value: the trend shows them as gaps.

#include <QString>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace ops {

// What the monitor polls, in the order MonitorSource lists it.
enum class MonitorSource { LoopCurrent, DynamicVariables, DeviceVariables };

// The command a source polls with.
std::uint8_t commandOf(MonitorSource source);

struct Reading {
    QString variable; // "Loop current", "PV", "Device variable 0"
    std::uint8_t unit = 0;
    QString unitText;
    std::optional<float> value; // none: a gap
    QString status;             // in words
};

struct Readings {
    std::vector<Reading> readings;
    // Why the reply carries no values ("device busy (response code 32)");
    // empty when it does.
    QString failure;
};

// The readings of a reply or burst frame of `command` with status bytes
// `responseCode` and `deviceStatus` and `data` after them. A response code
// that is neither success nor a warning, a command the monitor does not
// read, or data too short for the command's layout give a failure.
Readings readingsOf(std::uint8_t command, std::uint8_t responseCode, std::uint8_t deviceStatus,
                    std::span<const std::uint8_t> data);

// Whether the monitor reads replies of `command` (1, 2, 3, 9).
bool monitorReads(std::uint8_t command);

// The value in the fewest digits that read back as the same float ("12",
// "50.5", "0.1"): what the table and the log show.
QString valueText(float value);

} // namespace ops
