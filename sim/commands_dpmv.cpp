// Device-specific commands of the DP and multivariable transmitters: 50/51
// and 188/189 (300SMV variables and display), 152/153 and 130 (EJA display,
// zero cutoff and mode).
//
// Some of the page's requests are common commands answered elsewhere: 43 (set
// zero) and 131 with a unit byte and a value, which an EJA takes as its zero
// cutoff and other devices as a display adjustment. The device keeps that
// 131 value under key::kCommand131, and the EJA zero-settings query reports it.
// That query (130 without data) is also the KROHNE TT50C query; a device
// with KROHNE's manufacturer ID answers it as a KROHNE.
#include "sim/command_sets.h"
#include "sim/sim_device.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace sim {

namespace {

constexpr std::uint8_t kDeviceVariables = 8; // codes 0..7
constexpr std::array<std::uint8_t, 6> kEjaDisplayCodes{0x00, 0x01, 0x02, 0x03, 0x04, 0xFA};

// Differential pressure, static (absolute) pressure, process temperature, flow.
Bytes& smvVariables(SimState& s) {
    return setting(s, key::kSmvVariables, {0, 1, 3, 5});
}
// Totalizer; flow rate, process temperature and differential pressure.
Bytes& smvDisplay(SimState& s) {
    return setting(s, key::kSmvDisplay, {0x01, 0x49});
}
// Pressure, percent, SP, nothing.
Bytes& ejaDisplay(SimState& s) {
    return setting(s, key::kEjaDisplay, {0x00, 0x01, 0x03, 0xFA});
}
// Cutoff (the last command-131 value, 0.5 until one is written), then the mode.
Bytes ejaZero(SimState& s) {
    Bytes out;
    if (auto it = s.vendor.find(key::kCommand131); it != s.vendor.end() && it->second.size() == 5)
        out.assign(it->second.begin() + 1, it->second.end());
    else
        putFloat(out, 0.5f);
    out.push_back(setting(s, key::kEjaMode, {0x00})[0]); // linear mode
    return out;
}

} // namespace

void registerDpMvCommands(SimDevice& d) {
    d.addHandler(50, [](SimState& s, const SimRequest& r) -> std::optional<SimReply> {
        if (!r.data.empty()) return std::nullopt;
        return ok(smvVariables(s));
    });
    d.addHandler(51, [](SimState& s, const SimRequest& r) -> std::optional<SimReply> {
        if (r.data.size() != 4) return std::nullopt;
        if (std::any_of(r.data.begin(), r.data.end(),
                        [](std::uint8_t v) { return v >= kDeviceVariables; }))
            return refuse(kSettingNotAvailable);
        smvVariables(s) = r.data;
        return ok(r.data); // a write echoes what it wrote
    });

    d.addHandler(188, [](SimState& s, const SimRequest& r) -> std::optional<SimReply> {
        if (!r.data.empty()) return std::nullopt;
        return ok(smvDisplay(s));
    });
    d.addHandler(189, [](SimState& s, const SimRequest& r) -> std::optional<SimReply> {
        if (r.data.size() != 2) return std::nullopt;
        smvDisplay(s) = r.data;
        return ok();
    });

    d.addHandler(152, [](SimState& s, const SimRequest& r) -> std::optional<SimReply> {
        if (!r.data.empty()) return std::nullopt;
        return ok(ejaDisplay(s));
    });
    // Four display codes, then thirteen bytes of fixed settings.
    d.addHandler(153, [](SimState& s, const SimRequest& r) -> std::optional<SimReply> {
        if (r.data.size() != 17) return std::nullopt;
        Bytes codes(r.data.begin(), r.data.begin() + 4);
        for (std::uint8_t c : codes)
            if (!holds(kEjaDisplayCodes, c)) return refuse(kSettingNotAvailable);
        ejaDisplay(s) = codes;
        return ok();
    });

    // Zero settings: the cutoff as a float, then the mode.
    d.addHandler(130, [](SimState& s, const SimRequest& r) -> std::optional<SimReply> {
        if (!r.data.empty() || s.manufacturer == kKrohneManufacturer) return std::nullopt;
        return ok(ejaZero(s));
    });
}

} // namespace sim
