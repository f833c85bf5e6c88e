// Commands 1, 2, 3 (process data), 14, 15, 34, 35, 44, 47 (range, unit,
// damping, transfer function) and 36, 37, 40, 43, 45, 46, 130, 131 (current
// output and calibration).
//
// The loop current follows the primary variable through the range (4 mA at
// the lower range value, 20 mA at the upper) unless command 40 holds it
// fixed, so a range or zero write shows up in the next current query.
#include "sim/command_sets.h"
#include "sim/sim_device.h"

#include <algorithm>
#include <cstdint>
#include <optional>

namespace sim {

namespace {

constexpr float kMaxDamping = 60.0f;

// The trims and display adjustments are kept in SimState::vendor: the last
// accepted data field of each command.
constexpr std::size_t kDisplayAdjustBytes = 5; // unit byte, WireFloat

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
        if (s.writeProtect) return refuse(rc::kWriteProtected);
        if (req.data.size() < bytes) return refuse(rc::kTooFewDataBytes);
        return apply(s, req);
    };
}

// Trims are accepted only while the output is held at the trim point.
SimHandler trimHandler(int settingKey, float point) {
    return writeHandler(4, [settingKey, point](SimState& s, const SimRequest& req) {
        if (!s.fixedCurrent || *s.fixedCurrent != point) return refuse(rc::kWrongMode);
        Bytes& trim = s.vendor[settingKey];
        trim.assign(req.data.begin(), req.data.begin() + 4);
        return ok(trim);
    });
}

// Display adjustments: unit byte and value. Other makers give 130/131 other
// data fields; those requests are left to their handlers.
SimHandler displayAdjustHandler(int settingKey) {
    return [settingKey](SimState& s, const SimRequest& req) -> std::optional<SimReply> {
        if (req.data.size() != kDisplayAdjustBytes) return std::nullopt;
        if (s.writeProtect) return refuse(rc::kWriteProtected);
        s.vendor[settingKey] = req.data;
        return ok(req.data);
    };
}

} // namespace

void registerProcessCommands(SimDevice& d) {
    // ---- Process data.
    d.addHandler(1, [](SimState& s, const SimRequest&) -> std::optional<SimReply> {
        SimReply r;
        r.data.push_back(s.variables[0].unit);
        putFloat(r.data, s.variables[0].value);
        return r;
    });
    d.addHandler(2, [](SimState& s, const SimRequest&) -> std::optional<SimReply> {
        SimReply r;
        putFloat(r.data, s.loopCurrent);
        putFloat(r.data, s.percentOfRange);
        return r;
    });
    d.addHandler(3, [](SimState& s, const SimRequest&) -> std::optional<SimReply> {
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
    d.addHandler(14, [](SimState& s, const SimRequest&) -> std::optional<SimReply> {
        SimReply r;
        r.data.assign(s.sensorSerial.begin(), s.sensorSerial.end());
        r.data.push_back(s.sensorLimitUnit);
        putFloat(r.data, s.upperSensorLimit);
        putFloat(r.data, s.lowerSensorLimit);
        putFloat(r.data, s.minimumSpan);
        return r;
    });
    d.addHandler(15, [](SimState& s, const SimRequest&) -> std::optional<SimReply> {
        SimReply r;
        r.data = {s.alarmSelect, s.transferFunction, s.rangeUnit};
        putFloat(r.data, s.upperRange);
        putFloat(r.data, s.lowerRange);
        putFloat(r.data, s.damping);
        r.data.push_back(s.writeProtect);
        r.data.push_back(s.privateLabel);
        return r;
    });
    d.addHandler(34, writeHandler(4, [](SimState& s, const SimRequest& req) {
                     const float damping = getFloat(req.data, 0);
                     if (damping < 0.0f) return refuse(rc::kTooSmall);
                     if (damping > kMaxDamping) return refuse(rc::kTooLarge);
                     s.damping = damping;
                     return ok(req.data);
                 }));
    d.addHandler(35, writeHandler(9, [](SimState& s, const SimRequest& req) {
                     s.rangeUnit = req.data[0];
                     s.upperRange = getFloat(req.data, 1);
                     s.lowerRange = getFloat(req.data, 5);
                     refreshOutput(s);
                     return ok(req.data);
                 }));
    d.addHandler(44, writeHandler(1, [](SimState& s, const SimRequest& req) {
                     s.rangeUnit = req.data[0];
                     s.variables[0].unit = req.data[0];
                     return ok({req.data[0]});
                 }));
    d.addHandler(47, writeHandler(1, [](SimState& s, const SimRequest& req) {
                     if (req.data[0] > 1) return refuse(rc::kInvalidSelection);
                     s.transferFunction = req.data[0];
                     return ok({req.data[0]});
                 }));

    // ---- Current output and calibration.
    d.addHandler(40, writeHandler(4, [](SimState& s, const SimRequest& req) {
                     const float current = getFloat(req.data, 0);
                     if (current == 0.0f)
                         s.fixedCurrent.reset();
                     else
                         s.fixedCurrent = current;
                     refreshOutput(s);
                     return ok(req.data);
                 }));
    d.addHandler(45, trimHandler(key::kLowTrim, 4.0f));
    d.addHandler(46, trimHandler(key::kHighTrim, 20.0f));
    // The present input becomes the lower (37) or upper (36) range value.
    d.addHandler(37, writeHandler(0, [](SimState& s, const SimRequest&) {
                     s.lowerRange = s.variables[0].value;
                     refreshOutput(s);
                     return ok({});
                 }));
    d.addHandler(36, writeHandler(0, [](SimState& s, const SimRequest&) {
                     s.upperRange = s.variables[0].value;
                     refreshOutput(s);
                     return ok({});
                 }));
    // Zero: the present input reads 0 from now on.
    d.addHandler(43, writeHandler(0, [](SimState& s, const SimRequest&) {
                     s.variables[0].value = 0.0f;
                     refreshOutput(s);
                     return ok({});
                 }));
    d.addHandler(131, displayAdjustHandler(key::kCommand131));
    d.addHandler(130, displayAdjustHandler(key::kCommand130));
}

} // namespace sim
