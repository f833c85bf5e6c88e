// Commands 1, 2, 3 (process data), 14, 15, 34, 35, 44, 47 (range, unit,
// damping, transfer function) and 36, 37, 40, 43, 45, 46, 130, 131 (current
// output and calibration).
//
// The loop current follows the primary variable through the range (4 mA at
// the lower range value, 20 mA at the upper) unless command 40 holds it
// fixed, so a range or zero write shows up in the next current query.
#include "sim/sim_transmitter.h"

#include <algorithm>
#include <cstdint>
#include <optional>

namespace sim {

namespace {

// HART response codes this device uses.
constexpr std::uint8_t kInvalidSelection = 2;
constexpr std::uint8_t kTooLarge = 3;
constexpr std::uint8_t kTooSmall = 4;
constexpr std::uint8_t kTooFewDataBytes = 5;
constexpr std::uint8_t kWriteProtected = 7;
constexpr std::uint8_t kWrongCurrentMode = 9;

constexpr float kMaxDamping = 60.0f;

// Where the trims and display adjustments are kept in SimState::vendor:
// the last accepted data field of each command.
constexpr int kLowTrimKey = -45;
constexpr int kHighTrimKey = -46;
constexpr int kDisplayLowKey = -131;  // unit byte, WireFloat
constexpr int kDisplayHighKey = -130; // unit byte, WireFloat
constexpr std::size_t kDisplayAdjustBytes = 5;

SimReply reject(std::uint8_t code) {
    return SimReply{code, 0, {}};
}

SimReply accept(const std::vector<std::uint8_t>& echo) {
    return SimReply{0, 0, echo};
}

// Loop current and percent of range from the primary variable and the range,
// or from the fixed current while one is set.
void refreshOutput(SimState& s) {
    if (s.fixedCurrent) {
        s.loopCurrent = *s.fixedCurrent;
        s.percentOfRange = (*s.fixedCurrent - 4.0f) / 16.0f * 100.0f;
        return;
    }
    const float span = s.upperRange - s.lowerRange;
    s.percentOfRange = span != 0.0f ? (s.variables[0].value - s.lowerRange) / span * 100.0f : 0.0f;
    s.loopCurrent = 4.0f + 16.0f * s.percentOfRange / 100.0f;
}

// A write handler: refused while write-protected and when too few data bytes
// arrived; otherwise `apply` decides.
template <class F> SimHandler writeHandler(std::size_t bytes, F apply) {
    return [bytes, apply](SimState& s, const SimRequest& req) -> std::optional<SimReply> {
        if (s.writeProtect) return reject(kWriteProtected);
        if (req.data.size() < bytes) return reject(kTooFewDataBytes);
        return apply(s, req);
    };
}

// Trims are accepted only while the output is held at the trim point.
SimHandler trimHandler(int key, float point) {
    return writeHandler(4, [key, point](SimState& s, const SimRequest& req) {
        if (!s.fixedCurrent || *s.fixedCurrent != point) return reject(kWrongCurrentMode);
        s.vendor[key].assign(req.data.begin(), req.data.begin() + 4);
        return accept(s.vendor[key]);
    });
}

// Display adjustments: unit byte and value. Other makers give 130/131 other
// data fields; those requests are left to their handlers.
SimHandler displayAdjustHandler(int key) {
    return [key](SimState& s, const SimRequest& req) -> std::optional<SimReply> {
        if (req.data.size() != kDisplayAdjustBytes) return std::nullopt;
        if (s.writeProtect) return reject(kWriteProtected);
        s.vendor[key] = req.data;
        return accept(req.data);
    };
}

} // namespace

void registerProcessCommands(SimTransmitter& t) {
    // ---- Process data.
    t.addHandler(1, [](SimState& s, const SimRequest&) -> std::optional<SimReply> {
        SimReply r;
        r.data.push_back(s.variables[0].unit);
        putFloat(r.data, s.variables[0].value);
        return r;
    });
    t.addHandler(2, [](SimState& s, const SimRequest&) -> std::optional<SimReply> {
        SimReply r;
        putFloat(r.data, s.loopCurrent);
        putFloat(r.data, s.percentOfRange);
        return r;
    });
    t.addHandler(3, [](SimState& s, const SimRequest&) -> std::optional<SimReply> {
        SimReply r;
        putFloat(r.data, s.loopCurrent);
        const int count = std::clamp(s.variableCount, 1, static_cast<int>(s.variables.size()));
        for (int i = 0; i < count; ++i) {
            r.data.push_back(s.variables[static_cast<std::size_t>(i)].unit);
            putFloat(r.data, s.variables[static_cast<std::size_t>(i)].value);
        }
        return r;
    });

    // ---- Range, unit, damping, transfer function.
    t.addHandler(14, [](SimState& s, const SimRequest&) -> std::optional<SimReply> {
        SimReply r;
        r.data.assign(s.sensorSerial.begin(), s.sensorSerial.end());
        r.data.push_back(s.sensorLimitUnit);
        putFloat(r.data, s.upperSensorLimit);
        putFloat(r.data, s.lowerSensorLimit);
        putFloat(r.data, s.minimumSpan);
        return r;
    });
    t.addHandler(15, [](SimState& s, const SimRequest&) -> std::optional<SimReply> {
        SimReply r;
        r.data = {s.alarmSelect, s.transferFunction, s.rangeUnit};
        putFloat(r.data, s.upperRange);
        putFloat(r.data, s.lowerRange);
        putFloat(r.data, s.damping);
        r.data.push_back(s.writeProtect);
        r.data.push_back(s.privateLabel);
        return r;
    });
    t.addHandler(34, writeHandler(4, [](SimState& s, const SimRequest& req) {
                     const float damping = getFloat(req.data, 0);
                     if (damping < 0.0f) return reject(kTooSmall);
                     if (damping > kMaxDamping) return reject(kTooLarge);
                     s.damping = damping;
                     return accept(req.data);
                 }));
    t.addHandler(35, writeHandler(9, [](SimState& s, const SimRequest& req) {
                     s.rangeUnit = req.data[0];
                     s.upperRange = getFloat(req.data, 1);
                     s.lowerRange = getFloat(req.data, 5);
                     refreshOutput(s);
                     return accept(req.data);
                 }));
    t.addHandler(44, writeHandler(1, [](SimState& s, const SimRequest& req) {
                     s.rangeUnit = req.data[0];
                     s.variables[0].unit = req.data[0];
                     return accept({req.data[0]});
                 }));
    t.addHandler(47, writeHandler(1, [](SimState& s, const SimRequest& req) {
                     if (req.data[0] > 1) return reject(kInvalidSelection);
                     s.transferFunction = req.data[0];
                     return accept({req.data[0]});
                 }));

    // ---- Current output and calibration.
    t.addHandler(40, writeHandler(4, [](SimState& s, const SimRequest& req) {
                     const float current = getFloat(req.data, 0);
                     if (current == 0.0f)
                         s.fixedCurrent.reset();
                     else
                         s.fixedCurrent = current;
                     refreshOutput(s);
                     return accept(req.data);
                 }));
    t.addHandler(45, trimHandler(kLowTrimKey, 4.0f));
    t.addHandler(46, trimHandler(kHighTrimKey, 20.0f));
    // The present input becomes the lower (37) or upper (36) range value.
    t.addHandler(37, writeHandler(0, [](SimState& s, const SimRequest&) {
                     s.lowerRange = s.variables[0].value;
                     refreshOutput(s);
                     return accept({});
                 }));
    t.addHandler(36, writeHandler(0, [](SimState& s, const SimRequest&) {
                     s.upperRange = s.variables[0].value;
                     refreshOutput(s);
                     return accept({});
                 }));
    // Zero: the present input reads 0 from now on.
    t.addHandler(43, writeHandler(0, [](SimState& s, const SimRequest&) {
                     s.variables[0].value = 0.0f;
                     refreshOutput(s);
                     return accept({});
                 }));
    t.addHandler(131, displayAdjustHandler(kDisplayLowKey));
    t.addHandler(130, displayAdjustHandler(kDisplayHighKey));
}

} // namespace sim
