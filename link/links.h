#pragma once
// The links a port-list text can name, and the factory that picks one:
//
//   hartip://HOST[:PORT], hartip+udp://HOST[:PORT]   a HART-IP session
//   "Simulated transmitter", "Simulated network"      a simulated line on a
//                                                     pseudo-terminal, made
//                                                     the first time it opens
//   anything else ("COM3", /dev/ttyUSB0, ...)         the serial device
//
// Each link lives as long as the window: the simulated devices keep what
// was written to them across a close and the next open.

#include "link/link.h"

#include <QObject>
#include <QString>

#include <array>
#include <memory>

class TComm;

namespace hartip {
class HartIpLink;
}
namespace sim {
class SimNetwork;
class SimTransmitter;
} // namespace sim

namespace line {

class SerialLink;

class Links : public QObject {
    Q_OBJECT
public:
    // The serial links go through `comm` (Comm1).
    explicit Links(TComm& comm, QObject* parent = nullptr);
    ~Links() override;

    static QString simulatedTransmitterName(); // "Simulated transmitter"
    static QString simulatedNetworkName();     // "Simulated network"

    // The link `portText` names, set up so that its open() opens exactly
    // that. hartip::HartIpError for a malformed HART-IP address.
    Link& linkFor(const QString& portText);

    SerialLink& serial() { return *serial_; }
    hartip::HartIpLink& hartIp() { return *hartIp_; }
    // Every link, for whoever listens to them all (the traffic log).
    std::array<Link*, 2> all() const;

    // The simulated devices, once their entry has been opened.
    sim::SimTransmitter* simulator() const { return simulator_.get(); }
    sim::SimNetwork* simulatedNetwork() const { return network_.get(); }

private:
    std::unique_ptr<SerialLink> serial_;
    std::unique_ptr<hartip::HartIpLink> hartIp_;
    std::unique_ptr<sim::SimTransmitter> simulator_;
    std::unique_ptr<sim::SimNetwork> network_;
};

} // namespace line
