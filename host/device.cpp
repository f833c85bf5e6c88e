#include "host/device.h"

#include "hart/encodings.h"
#include "hart/protocol.h"

#include <stdexcept>
#include <utility>

namespace host {

namespace lb = hart::lb;

namespace {

// Command-0 reply data, in the layout the LinkBuffer keeps whatever the
// device's revision: bytes 1 and 2 are the manufacturer ID and device type
// before HART 7, the expanded device type from HART 7 on.
constexpr std::size_t kManufacturerByte = 1;
constexpr std::size_t kDeviceTypeByte = 2;
constexpr std::size_t kPreamblesByte = 3;
constexpr std::size_t kDeviceIdByte = 9; // three bytes, most significant first
constexpr std::size_t kFewestBytes = kDeviceIdByte + 3;

void requireIdentity(std::span<const std::uint8_t> data) {
    if (data.size() < kFewestBytes)
        throw std::logic_error("a command-0 reply too short to identify a device");
}

} // namespace

Device::Device(hart::LinkBuffer& buffer, QObject* parent) : QObject(parent), b_(buffer) {}

std::uint8_t Device::manufacturerId() const {
    return b_[lb::kManufacturer];
}
std::uint8_t Device::deviceType() const {
    return b_[lb::kDeviceType];
}
std::uint32_t Device::deviceId() const {
    return hart::uint24ToValue(b_.data() + lb::kDeviceId);
}
std::uint8_t Device::preambles() const {
    return b_[lb::kPreambles];
}
std::uint8_t Device::pollAddress() const {
    return b_[lb::kPollAddress];
}

void Device::setPollAddress(std::uint8_t address) {
    b_[lb::kPollAddress] = address;
}

hart::UniqueAddress Device::longAddress() const {
    return {static_cast<std::uint8_t>(b_[lb::kManufacturer] & hart::kAddressMask),
            b_[lb::kDeviceType], b_[lb::kDeviceId], b_[lb::kDeviceId + 1],
            b_[lb::kDeviceId + 2]};
}

void Device::adopt(std::span<const std::uint8_t> data, std::uint8_t pollAddress) {
    requireIdentity(data);
    const hart::UniqueAddress before = longAddress();
    b_[lb::kPollAddress] = pollAddress;
    b_[lb::kManufacturer] = data[kManufacturerByte];
    b_[lb::kDeviceType] = data[kDeviceTypeByte];
    b_[lb::kPreambles] = data[kPreamblesByte];
    setDeviceIdBytes(data);
    identity_ = hart::identityOf(data);
    identityData_.assign(data.begin(), data.end());
    noteAddressChange(before);
    emit identityChanged();
}

void Device::refreshDeviceId(std::span<const std::uint8_t> data) {
    requireIdentity(data);
    const hart::UniqueAddress before = longAddress();
    setDeviceIdBytes(data);
    noteAddressChange(before);
    emit deviceIdChanged();
}

void Device::setDeviceIdBytes(std::span<const std::uint8_t> data) {
    for (std::size_t i = 0; i < 3; ++i)
        b_[lb::kDeviceId + i] = data[kDeviceIdByte + i];
}

void Device::noteAddressChange(const hart::UniqueAddress& before) {
    if (longAddress() != before) emit currentDeviceChanged();
}

void Device::setQueryAddress(int address) {
    if (address == queryAddress_) return;
    queryAddress_ = address;
    emit queryAddressChanged(address);
}

void Device::setVariableCodes(std::vector<std::uint8_t> codes) {
    if (codes == variableCodes_) return;
    variableCodes_ = std::move(codes);
    emit variableCodesChanged();
}

std::uint8_t Device::pvUnit() const {
    return b_[lb::kPvUnit];
}

void Device::setPvUnit(std::uint8_t code) {
    if (b_[lb::kPvUnit] == code) return;
    b_[lb::kPvUnit] = code;
    emit pvUnitChanged();
}

bool Device::portOpen() const {
    return b_[lb::kPortOpen] != 0;
}

void Device::setPortOpen(bool open) {
    if (portOpen() == open) return;
    b_[lb::kPortOpen] = open ? 1 : 0;
    emit portChanged(open);
}

void Device::noteChunk(std::span<const std::uint8_t> chunk) {
    if (const auto status = hart::lastReplyStatus(chunk)) {
        lastStatus_ = status;
        noReply_ = false;
        emit statusChanged();
    }
}

void Device::forgetStatus() {
    if (!lastStatus_ && !noReply_) return;
    lastStatus_.reset();
    noReply_ = false;
    emit statusChanged();
}

void Device::noteNoReply() {
    lastStatus_.reset();
    noReply_ = true;
    emit statusChanged();
}

} // namespace host
