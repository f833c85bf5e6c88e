// Device-specific commands of the Rosemount, Yokogawa and E+H temperature
// transmitters. One simulated device answers all of them, so each group of the
// first temperature tab can be tried without hardware.
//
// Command numbers are shared between makers (131 is also a trim and a KROHNE
// write, 140/141 also a Siemens pair), so each handler takes only requests of
// its own shape and returns nothing for the rest.
#include "sim/command_sets.h"
#include "sim/sim_device.h"

#include <algorithm>
#include <array>

namespace sim {

namespace {

// Sensor codes the Rosemount transmitters accept with 141/155.
constexpr std::array<std::uint8_t, 29> kRosemountSensors{
    0x0E, 0x01, 0x0F, 0x02, 0x03, 0x10, 0x04, 0x05, 0x06, 0x0A, 0x0B, 0x0C, 0x0D, 0x07, 0x08,
    0x00, 0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8C, 0x8D, 0x8F};
// HART temperature units.
constexpr std::array<std::uint8_t, 4> kTemperatureUnits{32, 33, 34, 35};
// E+H sensor codes.
constexpr std::array<std::uint8_t, 31> kEhSensors{
    0xF1, 0x0C, 0x16, 0x2A, 0xF2, 0x0D, 0x0E, 0x0F, 0x48, 0x3F, 0x4A, 0x51, 0xF3, 0xF4, 0x83, 0x84,
    0x85, 0x86, 0x88, 0x89, 0x8E, 0x8A, 0x8B, 0x8C, 0x8D, 0x8F, 0xF0, 0x03, 0x01, 0x02, 0x81};

// E+H 144 replies start with the parameter byte and a type byte; a write
// (145) must carry the same two bytes in front of its value.
constexpr std::uint8_t kEhByteType = 0xF8;  // one code byte follows
constexpr std::uint8_t kEhFloatType = 0xFB; // a float follows

bool validWires(std::uint8_t v) {
    return v >= 2 && v <= 4;
}

Bytes& rosemount644(SimState& s) {
    return setting(s, key::kRosemount644, {0x01, 4});
}
Bytes& rosemountWiring(SimState& s) {
    return setting(s, key::kRosemount644Wiring, {0x0C, 3});
}
Bytes& channel848(SimState& s, std::uint8_t ch) {
    // Channels 1 and 2 carry RTDs, 3 and 4 thermocouples, all in degC.
    return ch <= 2 ? setting(s, key::kRosemount848 + ch, {0x01, 3, 32})
                   : setting(s, key::kRosemount848 + ch, {0x84, 2, 32});
}
Bytes& yokogawa(SimState& s) {
    Bytes initial{0x0C, 3};
    putFloat(initial, 0.25f);
    return setting(s, key::kYokogawa, initial);
}

// E+H parameters: sensor type, connection and offset per sensor, and the
// polynomial and Callendar-Van Dusen coefficients.
struct EhParameter {
    bool isFloat;
    Bytes initial; // the value bytes
};
std::optional<EhParameter> ehParameter(std::uint8_t p) {
    auto f = [](float v) {
        Bytes out;
        putFloat(out, v);
        return EhParameter{true, out};
    };
    switch (p) {
    case 0x30:
        return EhParameter{false, {0x0C}};
    case 0x40:
        return EhParameter{false, {0x89}};
    case 0x31:
        return EhParameter{false, {2}};
    case 0x41:
        return EhParameter{false, {0}};
    case 0x35:
        return f(0.0f);
    case 0x45:
        return f(-0.5f);
    default:
        break;
    }
    if ((p >= 0x38 && p <= 0x3C) || (p >= 0x48 && p <= 0x4C) || (p >= 0x60 && p <= 0x67))
        return f(0.0f);
    return std::nullopt;
}

bool validEhValue(std::uint8_t p, std::uint8_t v) {
    if (p == 0x30 || p == 0x40) return holds(kEhSensors, v);
    if (p == 0x31 || p == 0x41) return v <= 2;
    return true;
}

SimReply invalid() {
    return refuse(rc::kInvalidSelection);
}

} // namespace

void registerTemperatureCommands(SimDevice& d) {
    // ---- Rosemount 644: 140 reads, 141 writes sensor code and wire count.
    d.addHandler(140, [](SimState& s, const SimRequest& r) -> std::optional<SimReply> {
        if (r.data != Bytes{0x00}) return std::nullopt;
        const auto& v = rosemount644(s);
        return ok({0x00, v[0], v[1]});
    });
    d.addHandler(141, [](SimState& s, const SimRequest& r) -> std::optional<SimReply> {
        if (r.data.size() != 3 || r.data[0] != 0x00) return std::nullopt;
        if (!holds(kRosemountSensors, r.data[1]) || !validWires(r.data[2])) return invalid();
        rosemount644(s) = {r.data[1], r.data[2]};
        return ok(r.data);
    });

    // ---- Rosemount 848T: 160 reads a channel, 155 writes it, 53 sets its unit.
    d.addHandler(160, [](SimState& s, const SimRequest& r) -> std::optional<SimReply> {
        if (r.data.size() != 1) return std::nullopt;
        std::uint8_t ch = r.data[0];
        if (ch < 1 || ch > 4) return invalid();
        const auto& v = channel848(s, ch);
        return ok({ch, v[0], v[1]});
    });
    d.addHandler(155, [](SimState& s, const SimRequest& r) -> std::optional<SimReply> {
        if (r.data.size() != 3) return std::nullopt;
        std::uint8_t ch = r.data[0];
        if (ch < 1 || ch > 4 || !holds(kRosemountSensors, r.data[1]) || !validWires(r.data[2]))
            return invalid();
        auto& v = channel848(s, ch);
        v[0] = r.data[1];
        v[1] = r.data[2];
        return ok(r.data);
    });
    d.addHandler(53, [](SimState& s, const SimRequest& r) -> std::optional<SimReply> {
        if (r.data.size() != 2) return std::nullopt;
        std::uint8_t ch = r.data[0];
        if (ch < 1 || ch > 4 || !holds(kTemperatureUnits, r.data[1])) return invalid();
        channel848(s, ch)[2] = r.data[1];
        return ok(r.data);
    });

    // ---- Rosemount 644 through the expanded command 31: 0x0401 reads,
    // 0x0480 writes sensor code and wire count. Unknown codes are stored as
    // given; the device reads them back and the tool shows "other".
    d.addHandler(31, [](SimState& s, const SimRequest& r) -> std::optional<SimReply> {
        if (r.data.size() < 3 || r.data[0] != 0x04 || r.data[2] != 0x00) return std::nullopt;
        auto& v = rosemountWiring(s);
        if (r.data[1] == 0x01 && r.data.size() == 3)
            return ok({0x04, 0x01, 0x00, v[0], v[1], 0, 0, 0, 0, 0, 0});
        if (r.data[1] == 0x80 && r.data.size() == 5) {
            v = {r.data[3], r.data[4]};
            return ok(r.data);
        }
        return std::nullopt;
    });

    // ---- Yokogawa: 131 (one byte 0) reads, 134 writes sensor code and wire
    // count; 170/171 read and write the two-wire lead resistance.
    d.addHandler(131, [](SimState& s, const SimRequest& r) -> std::optional<SimReply> {
        if (r.data != Bytes{0x00}) return std::nullopt;
        const auto& v = yokogawa(s);
        return ok({0x00, v[0], v[1]});
    });
    d.addHandler(134, [](SimState& s, const SimRequest& r) -> std::optional<SimReply> {
        if (r.data.size() != 3 || r.data[0] != 0x00) return std::nullopt;
        // The transmitter knows no "other" sensor (0xFF) and no wire count 1.
        if (r.data[1] == 0xFF || !validWires(r.data[2])) return invalid();
        auto& v = yokogawa(s);
        v[0] = r.data[1];
        v[1] = r.data[2];
        return ok(r.data);
    });
    d.addHandler(170, [](SimState& s, const SimRequest& r) -> std::optional<SimReply> {
        if (!r.data.empty()) return std::nullopt;
        const auto& v = yokogawa(s);
        return ok({v.begin() + 2, v.end()});
    });
    d.addHandler(171, [](SimState& s, const SimRequest& r) -> std::optional<SimReply> {
        if (r.data.size() != 4) return std::nullopt;
        auto& v = yokogawa(s);
        std::copy(r.data.begin(), r.data.end(), v.begin() + 2);
        return ok(r.data);
    });

    // ---- E+H: 144 reads one parameter, 145 writes one.
    d.addHandler(144, [](SimState& s, const SimRequest& r) -> std::optional<SimReply> {
        if (r.data.size() != 1) return std::nullopt;
        std::uint8_t p = r.data[0];
        auto param = ehParameter(p);
        if (!param) return invalid();
        const auto& v = setting(s, key::kEh + p, param->initial);
        Bytes out{p, param->isFloat ? kEhFloatType : kEhByteType};
        out.insert(out.end(), v.begin(), v.end());
        return ok(std::move(out));
    });
    d.addHandler(145, [](SimState& s, const SimRequest& r) -> std::optional<SimReply> {
        if (r.data.size() < 3) return std::nullopt;
        std::uint8_t p = r.data[0];
        auto param = ehParameter(p);
        if (!param) return invalid();
        std::size_t size = param->isFloat ? 4 : 1;
        if (r.data.size() != 2 + size) return refuse(rc::kTooFewDataBytes);
        Bytes value(r.data.begin() + 2, r.data.end());
        if (r.data[1] != (param->isFloat ? kEhFloatType : kEhByteType) ||
            !validEhValue(p, value[0]))
            return invalid();
        setting(s, key::kEh + p, param->initial) = value;
        return ok(r.data);
    });
}

} // namespace sim
