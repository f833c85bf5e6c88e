// The HART 7 flowmeter's device variables and what stands for them: process
// data (1, 2, 3), classifications (8), device variables with status (9) and
// without (33), PV transducer and range (14, 15), the mapping onto PV, SV,
// TV and QV (50, 51) and each variable's information (54).
//
// A code names one of the device variables (0-3), PV-QV (246-249, through
// the mapping), the percent of range (244) or the loop current (245). In
// command 9 a code the device does not have still gets its slot, marked
// "not used"; the other commands refuse it.
#include "sim/command_sets.h"
#include "sim/flowmeter.h"
#include "sim/real_time_clock.h"
#include "sim/sim_device.h"

#include <algorithm>
#include <array>
#include <span>

namespace sim {

namespace {

constexpr std::size_t kMostSlots9 = 8;
constexpr std::size_t kMostSlots33 = 4;
constexpr std::size_t kDynamicVariables = 4;

// Common table codes.
constexpr std::uint8_t kNotClassified = 0;
constexpr std::uint8_t kCurrentClassification = 84;
constexpr std::uint8_t kPercent = 57;
constexpr std::uint8_t kMilliamperes = 39;
constexpr std::uint8_t kHighAlarm = 0;
constexpr std::uint8_t kLinear = 0;
// Command 15 byte 16 is reserved and reads 250; byte 17 holds the analog
// channel flags, 0 for an output channel.
constexpr std::uint8_t kReserved = 250;
constexpr std::uint8_t kOutputChannel = 0x00;

// Device variable status: process data in bits 7-6, limits in bits 5-4.
constexpr std::uint8_t kGood = 0xC0;
constexpr std::uint8_t kFixedConstant = 0x80 | 0x30;
constexpr std::uint8_t kBadConstant = 0x00 | 0x30;
// "Not used" in a float field: this NaN, byte for byte.
constexpr std::array<std::uint8_t, 4> kNotUsedValue{0x7F, 0xA0, 0x00, 0x00};

struct Slot {
    std::uint8_t classification;
    std::uint8_t unit;
    float value;
    std::uint8_t status;
};

// The device variable `code` names, itself or through the mapping.
const DeviceVariable* variableOf(const SimState& s, std::uint8_t code) {
    if (code >= kPrimaryVariableCode && code < kPrimaryVariableCode + kDynamicVariables)
        code = s.dynamicVariables[code - kPrimaryVariableCode];
    return code < s.deviceVariableTable.size() ? &s.deviceVariableTable[code] : nullptr;
}

std::optional<Slot> slotOf(const SimState& s, std::uint8_t code) {
    if (code == kPercentRangeCode) return Slot{kNotClassified, kPercent, s.percentOfRange, kGood};
    if (code == kLoopCurrentCode)
        return Slot{kCurrentClassification, kMilliamperes, s.loopCurrent,
                    s.loopCurrentMode ? kGood : kFixedConstant};
    if (const DeviceVariable* v = variableOf(s, code))
        return Slot{v->classification, v->unit, v->value, v->status};
    return std::nullopt;
}

// Unit and value, or "not used" for a dynamic variable that stands for none.
void putUnitAndValue(Bytes& out, const SimState& s, std::uint8_t code) {
    if (const DeviceVariable* v = variableOf(s, code)) {
        out.push_back(v->unit);
        putFloat(out, v->value);
    } else {
        out.push_back(kNotUsed);
        out.insert(out.end(), kNotUsedValue.begin(), kNotUsedValue.end());
    }
}

void putSlot9(Bytes& out, const SimState& s, std::uint8_t code) {
    out.push_back(code);
    if (const auto slot = slotOf(s, code)) {
        out.insert(out.end(), {slot->classification, slot->unit});
        putFloat(out, slot->value);
        out.push_back(slot->status);
    } else {
        out.insert(out.end(), {kNotClassified, kNotUsed});
        out.insert(out.end(), kNotUsedValue.begin(), kNotUsedValue.end());
        out.push_back(kBadConstant);
    }
}

void registerProcessData(SimDevice& d) {
    d.addHandler(1, [](SimState& s, const SimRequest&) -> std::optional<SimReply> {
        Bytes out;
        putUnitAndValue(out, s, kPrimaryVariableCode);
        return ok(std::move(out));
    });
    d.addHandler(2, [](SimState& s, const SimRequest&) -> std::optional<SimReply> {
        Bytes out;
        putFloat(out, s.loopCurrent);
        putFloat(out, s.percentOfRange);
        return ok(std::move(out));
    });
    // 3: the loop current, then PV, SV, TV and QV; the reply ends after the
    // last one that stands for a device variable.
    d.addHandler(3, [](SimState& s, const SimRequest&) -> std::optional<SimReply> {
        const auto last =
            std::find_if(s.dynamicVariables.rbegin(), s.dynamicVariables.rend(),
                         [&s](std::uint8_t v) { return v < s.deviceVariableTable.size(); });
        const auto count = static_cast<std::size_t>(s.dynamicVariables.rend() - last);
        Bytes out;
        putFloat(out, s.loopCurrent);
        for (std::size_t i = 0; i < count; ++i)
            putUnitAndValue(out, s, static_cast<std::uint8_t>(kPrimaryVariableCode + i));
        return ok(std::move(out));
    });
    d.addHandler(8, [](SimState& s, const SimRequest&) -> std::optional<SimReply> {
        Bytes out;
        for (std::size_t i = 0; i < kDynamicVariables; ++i) {
            const DeviceVariable* v =
                variableOf(s, static_cast<std::uint8_t>(kPrimaryVariableCode + i));
            out.push_back(v ? v->classification : kNotUsed);
        }
        return ok(std::move(out));
    });
}

void registerDeviceVariables(SimDevice& d) {
    // 9: extended device status, a slot per code asked for (at most eight:
    // more are cut off with a warning), the time of slot 0's value.
    d.addHandler(9, [](SimState& s, const SimRequest& req) -> std::optional<SimReply> {
        if (req.data.empty()) return refuse(rc::kTooFewDataBytes);
        const std::size_t slots = std::min(req.data.size(), kMostSlots9);
        Bytes out{s.extendedStatus};
        for (std::size_t i = 0; i < slots; ++i)
            putSlot9(out, s, req.data[i]);
        putUint32(out, clockReading(clockNow(s)).time);
        SimReply r = ok(std::move(out));
        if (req.data.size() > kMostSlots9) r.responseCode = kResponseTruncated;
        return r;
    });

    // 33: code, unit and value for up to four codes.
    d.addHandler(33, [](SimState& s, const SimRequest& req) -> std::optional<SimReply> {
        if (req.data.empty()) return refuse(rc::kTooFewDataBytes);
        const std::size_t slots = std::min(req.data.size(), kMostSlots33);
        Bytes out;
        for (std::size_t i = 0; i < slots; ++i) {
            const auto slot = slotOf(s, req.data[i]);
            if (!slot) return refuse(rc::kInvalidSelection);
            out.insert(out.end(), {req.data[i], slot->unit});
            putFloat(out, slot->value);
        }
        return ok(std::move(out));
    });

    // 54: code, transducer serial number, limits and minimum span with
    // their unit, damping, classification, family, acquisition period and
    // properties: 28 bytes.
    d.addHandler(54, [](SimState& s, const SimRequest& req) -> std::optional<SimReply> {
        if (req.data.empty()) return refuse(rc::kTooFewDataBytes);
        const DeviceVariable* v = variableOf(s, req.data[0]);
        if (!v) return refuse(rc::kInvalidSelection);
        Bytes out{req.data[0]};
        out.insert(out.end(), v->transducerSerial.begin(), v->transducerSerial.end());
        out.push_back(v->unit);
        putFloat(out, v->upperLimit);
        putFloat(out, v->lowerLimit);
        putFloat(out, v->damping);
        putFloat(out, v->minimumSpan);
        out.insert(out.end(), {v->classification, v->family});
        putUint32(out, v->acquisitionPeriod);
        out.push_back(v->properties);
        return ok(std::move(out));
    });
}

void registerPrimaryVariable(SimDevice& d) {
    // 14: the PV's transducer: serial number, unit, limits, minimum span.
    d.addHandler(14, [](SimState& s, const SimRequest&) -> std::optional<SimReply> {
        const DeviceVariable* v = variableOf(s, kPrimaryVariableCode);
        if (!v) return refuse(rc::kDeviceSpecificError);
        Bytes out(v->transducerSerial.begin(), v->transducerSerial.end());
        out.push_back(v->unit);
        putFloat(out, v->upperLimit);
        putFloat(out, v->lowerLimit);
        putFloat(out, v->minimumSpan);
        return ok(std::move(out));
    });
    // 15: alarm, transfer function, the PV's range and damping, write
    // protection, the reserved byte and the analog channel flags.
    d.addHandler(15, [](SimState& s, const SimRequest&) -> std::optional<SimReply> {
        const DeviceVariable* v = variableOf(s, kPrimaryVariableCode);
        if (!v) return refuse(rc::kDeviceSpecificError);
        Bytes out{kHighAlarm, kLinear, v->unit};
        putFloat(out, v->upperRange);
        putFloat(out, v->lowerRange);
        putFloat(out, v->damping);
        out.insert(out.end(), {s.writeProtect, kReserved, kOutputChannel});
        return ok(std::move(out));
    });
}

void registerMapping(SimDevice& d) {
    d.addHandler(50, [](SimState& s, const SimRequest&) -> std::optional<SimReply> {
        return ok(Bytes(s.dynamicVariables.begin(), s.dynamicVariables.end()));
    });
    // 51: PV first; a shorter request leaves the rest as they are. Only the
    // device's own variables may be chosen. The reply is the whole mapping.
    d.addHandler(51, configurationWrite([](SimState& s, const SimRequest& req) {
                     if (req.data.empty()) return refuse(rc::kTooFewDataBytes);
                     const std::size_t given = std::min(req.data.size(), kDynamicVariables);
                     const auto chosen = std::span(req.data).first(given);
                     if (std::any_of(chosen.begin(), chosen.end(), [&s](std::uint8_t code) {
                             return code >= s.deviceVariableTable.size();
                         }))
                         return refuse(rc::kInvalidSelection);
                     std::copy(chosen.begin(), chosen.end(), s.dynamicVariables.begin());
                     return ok(Bytes(s.dynamicVariables.begin(), s.dynamicVariables.end()));
                 }));
}

} // namespace

void registerHart7VariableCommands(SimDevice& d) {
    registerProcessData(d);
    registerDeviceVariables(d);
    registerPrimaryVariable(d);
    registerMapping(d);
}

} // namespace sim
