#include "hart/device_identity.h"

#include "hart/encodings.h"
#include "hart/protocol.h"
#include "hart/tables.h"

namespace hart {

namespace {

constexpr std::uint8_t kFirstExpandedRevision = 7;

// Command 0 reply data, after the two status bytes.
namespace at {
constexpr std::size_t kExpansion = 0;
constexpr std::size_t kIdentity = 1; // two bytes: manufacturer and device type, or expanded type
constexpr std::size_t kPreambles = 3;
constexpr std::size_t kUniversalRevision = 4;
constexpr std::size_t kDeviceRevision = 5;
constexpr std::size_t kDeviceId = 9;       // three bytes, most significant first
constexpr std::size_t kManufacturer7 = 17; // HART 7: two bytes
constexpr std::size_t kDistributor7 = 19;  // HART 7: two bytes, the private-label distributor
} // namespace at

} // namespace

std::optional<DeviceIdentity> identityOf(std::span<const std::uint8_t> data) {
    if (data.size() < kIdentityBytes || data[at::kExpansion] != kExpansionCode) return std::nullopt;
    DeviceIdentity id;
    id.universalRevision = data[at::kUniversalRevision];
    id.deviceRevision = data[at::kDeviceRevision];
    id.preambles = data[at::kPreambles];
    id.deviceId = uint24ToValue(&data[at::kDeviceId]);
    id.uniqueAddress = {data[at::kIdentity], data[at::kIdentity + 1], data[at::kDeviceId],
                        data[at::kDeviceId + 1], data[at::kDeviceId + 2]};
    if (id.universalRevision >= kFirstExpandedRevision) {
        id.expandedDeviceType = true;
        id.deviceType = uint16ToValue(&data[at::kIdentity]);
        if (data.size() >= at::kManufacturer7 + 2)
            id.manufacturer = uint16ToValue(&data[at::kManufacturer7]);
        if (data.size() >= at::kDistributor7 + 2)
            id.distributor = uint16ToValue(&data[at::kDistributor7]);
    } else {
        id.deviceType = data[at::kIdentity + 1];
        id.manufacturer = data[at::kIdentity];
    }
    return id;
}

std::string manufacturerText(std::uint16_t manufacturer) {
    if (const auto name = knownManufacturerName(manufacturer)) return std::string(*name);
    return std::to_string(manufacturer);
}

} // namespace hart
