#include "sim/flowmeter.h"

#include "sim/reply_kit.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sim {

namespace {

// Common table codes.
constexpr std::uint8_t kCubicMetresPerHour = 19;
constexpr std::uint8_t kKilogramsPerHour = 75;
constexpr std::uint8_t kCubicMetres = 43;
constexpr std::uint8_t kDegreesCelsius = 32;
constexpr std::uint8_t kVolumetricFlow = 66;
constexpr std::uint8_t kMassFlow = 72;
constexpr std::uint8_t kVolume = 68;
constexpr std::uint8_t kTemperature = 64;

// Device variable status: process data in bits 7-6, limits in bits 5-4.
constexpr std::uint8_t kGood = 0xC0;
constexpr std::uint8_t kPoorAccuracy = 0x40;

constexpr std::uint32_t kTenthOfASecond = 100 * 32; // acquisition period, 1/32 ms

constexpr double kFlowMean = 42.5;      // m3/h
constexpr double kFlowSwing = 7.5;      // m3/h
constexpr double kFlowPeriod = 60;      // s
constexpr double kDensity = 998;        // kg/m3
constexpr double kTotalAtStart = 12345; // m3
constexpr double kTemperatureMean = 23.5;
constexpr double kTemperatureSwing = 1.5;
constexpr double kTemperaturePeriod = 600; // s
constexpr double kSecondsPerHour = 3600;

// The current output's limits: below 3.8 mA or above 20.5 mA it saturates.
constexpr float kLowestCurrent = 3.8f;
constexpr float kHighestCurrent = 20.5f;
constexpr float kMultidropCurrent = 4.0f;

// One flow tube carries every sensor, so they share its serial number.
constexpr std::array<std::uint8_t, 3> kTubeSerial{0x02, 0xD6, 0x87};

} // namespace

std::vector<DeviceVariable> flowmeterVariables() {
    auto variable = [](std::uint8_t classification, std::uint8_t unit, float value,
                       std::uint8_t status, float limit, float damping, float span, float range,
                       float lowestLimit) {
        DeviceVariable v;
        v.classification = classification;
        v.unit = unit;
        v.value = value;
        v.status = status;
        v.transducerSerial = kTubeSerial;
        v.upperLimit = limit;
        v.lowerLimit = lowestLimit;
        v.damping = damping;
        v.minimumSpan = span;
        v.upperRange = range;
        v.lowerRange = 0.0f;
        v.acquisitionPeriod = kTenthOfASecond;
        return v;
    };
    // Flow both ways up to 300 m3/h; the totalizer counts back on reverse flow.
    return {
        variable(kVolumetricFlow, kCubicMetresPerHour, 42.5f, kGood, 300.0f, 1.0f, 3.0f, 100.0f,
                 -300.0f),
        variable(kMassFlow, kKilogramsPerHour, 42415.0f, kGood, 299400.0f, 1.0f, 2994.0f, 99800.0f,
                 -299400.0f),
        variable(kVolume, kCubicMetres, 12345.0f, kGood, 1.0e7f, 0.0f, 1.0f, 1.0e6f, -1.0e7f),
        variable(kTemperature, kDegreesCelsius, 23.5f, kPoorAccuracy, 150.0f, 2.0f, 10.0f, 100.0f,
                 -40.0f),
    };
}

void updateFlowmeter(SimState& s) {
    const double t = std::chrono::duration<double>(s.uptime).count();
    const double phase = 2 * std::numbers::pi * t / kFlowPeriod;
    const double flow = kFlowMean + kFlowSwing * std::sin(phase);
    // The volume flow's integral, from m3/h over seconds to m3.
    const double total =
        kTotalAtStart + (kFlowMean * t + kFlowSwing * kFlowPeriod / (2 * std::numbers::pi) *
                                             (1 - std::cos(phase))) /
                            kSecondsPerHour;
    const double temperature =
        kTemperatureMean +
        kTemperatureSwing * std::sin(2 * std::numbers::pi * t / kTemperaturePeriod);
    const std::array<double, 4> values{flow, flow * kDensity, total, temperature};
    for (std::size_t i = 0; i < values.size() && i < s.deviceVariableTable.size(); ++i)
        s.deviceVariableTable[i].value = static_cast<float>(values[i]);

    s.processStatus = 0;
    const std::uint8_t pv = s.dynamicVariables[0];
    if (pv >= s.deviceVariableTable.size()) return;
    const DeviceVariable& v = s.deviceVariableTable[pv];
    const float span = v.upperRange - v.lowerRange;
    s.percentOfRange = span != 0.0f ? (v.value - v.lowerRange) / span * 100.0f : 0.0f;
    if (s.loopCurrentMode == 0) {
        s.loopCurrent = kMultidropCurrent;
        return;
    }
    const float current = 4.0f + 16.0f * s.percentOfRange / 100.0f;
    s.loopCurrent = std::clamp(current, kLowestCurrent, kHighestCurrent);
    if (s.loopCurrent != current) s.processStatus = kLoopCurrentSaturated;
}

} // namespace sim
