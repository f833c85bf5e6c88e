#pragma once
// What is known of the current device, in one place: its identity (long
// address, polling address, revisions), the unit of its primary variable, the
// status bytes of its last reply, and whether the port is open. Pages read
// and write the device here, never through another page's controls or
// LinkBuffer bytes.
//
// The described LinkBuffer bytes (DeviceAddress 303-315, the port-open flag
// 316, the PV unit 317) are this object's storage: every write goes through
// it, so the bytes the frames are built from and what the pages are told
// cannot drift apart.

#include "hart/device_identity.h"
#include "hart/link_buffer.h"
#include "hart/reply_status.h"

#include <QObject>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace host {

class Device : public QObject {
    Q_OBJECT
public:
    explicit Device(hart::LinkBuffer& buffer, QObject* parent = nullptr);

    // ---- Identity: the DeviceAddress of the LinkBuffer.
    std::uint8_t manufacturerId() const; // byte 304: first byte of the long address
    std::uint8_t deviceType() const;     // byte 314
    std::uint32_t deviceId() const;      // bytes 308-310
    std::uint8_t preambles() const;      // byte 303, as the device asked for them
    // Byte 315: the polling address of the last short-frame request (and the
    // discovery cycle's counter).
    std::uint8_t pollAddress() const;
    void setPollAddress(std::uint8_t address);
    // The long address long frames carry (without the master and burst bits).
    hart::UniqueAddress longAddress() const;
    // What the command-0 reply that made the device current said in full,
    // in the layout of its own revision; nothing until a device is
    // identified in this run.
    const std::optional<hart::DeviceIdentity>& identity() const { return identity_; }
    // That reply's data after the status bytes, as it came: what the
    // identity leaves out (the configuration change counter) is read from it.
    const std::vector<std::uint8_t>& identityData() const { return identityData_; }

    // A command-0 reply's data (after the status bytes, at least twelve
    // bytes) makes its sender the current device, answering at
    // `pollAddress`: discovery, or a device chosen from the network scan.
    void adopt(std::span<const std::uint8_t> commandZeroData, std::uint8_t pollAddress);
    // A device-ID query's reply refreshes the device ID alone.
    void refreshDeviceId(std::span<const std::uint8_t> commandZeroData);

    // The polling address the identity queries ask ("Address No:").
    int queryAddress() const { return queryAddress_; }
    void setQueryAddress(int address);

    // ---- The primary variable's unit code (byte 317), as last read or written.
    std::uint8_t pvUnit() const;
    void setPvUnit(std::uint8_t code);

    // ---- The device variables the user chose to read (at most eight codes:
    // the HART 7 device page's choice, which the monitor reads too).
    const std::vector<std::uint8_t>& variableCodes() const { return variableCodes_; }
    void setVariableCodes(std::vector<std::uint8_t> codes);

    // ---- The port (byte 316).
    bool portOpen() const;
    void setPortOpen(bool open);

    // ---- The status bytes of the last reply or burst frame received;
    // nothing before the first, and again once forgotten (the port closed).
    const std::optional<hart::ReplyStatus>& lastStatus() const { return lastStatus_; }
    // Reads the status of the last intact reply in a received chunk; a
    // chunk without one (noise, a modem's echo) leaves the last status.
    void noteChunk(std::span<const std::uint8_t> chunk);
    void forgetStatus();
    // A request went unanswered: what the device said last no longer holds.
    void noteNoReply();
    // Since the last reply time-out, nothing has come.
    bool noReply() const { return noReply_; }

signals:
    // adopt(): every identity field may have changed. When the device is
    // another than before, currentDeviceChanged() comes first.
    void identityChanged();
    // refreshDeviceId(): the device ID alone.
    void deviceIdChanged();
    // The long address now names another device than before.
    void currentDeviceChanged();
    void queryAddressChanged(int address);
    void pvUnitChanged();
    void portChanged(bool open);
    void statusChanged();
    void variableCodesChanged();

private:
    void setDeviceIdBytes(std::span<const std::uint8_t> commandZeroData);
    void noteAddressChange(const hart::UniqueAddress& before);

    hart::LinkBuffer& b_;
    std::optional<hart::DeviceIdentity> identity_;
    std::vector<std::uint8_t> identityData_;
    std::vector<std::uint8_t> variableCodes_;
    int queryAddress_ = 0;
    std::optional<hart::ReplyStatus> lastStatus_;
    bool noReply_ = false;
};

} // namespace host
