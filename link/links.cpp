#include "link/links.h"

#include "hartip/address.h"
#include "hartip/hartip_link.h"
#include "link/serial_link.h"
#include "sim/sim_network.h"
#include "sim/sim_transmitter.h"

namespace line {

Links::Links(TComm& comm, QObject* parent)
    : QObject(parent), serial_(std::make_unique<SerialLink>(comm)),
      hartIp_(std::make_unique<hartip::HartIpLink>()) {}

Links::~Links() {
    // A HART-IP server may keep a session to itself until it is closed.
    hartIp_->close();
}

QString Links::simulatedTransmitterName() {
    return QStringLiteral("Simulated transmitter");
}

QString Links::simulatedNetworkName() {
    return QStringLiteral("Simulated network");
}

std::array<Link*, 2> Links::all() const {
    return {serial_.get(), hartIp_.get()};
}

Link& Links::linkFor(const QString& portText) {
    if (hartip::isAddress(portText)) {
        hartIp_->setAddress(hartip::parseAddress(portText)); // HartIpError ends it here
        return *hartIp_;
    }
    if (portText == simulatedTransmitterName()) {
        if (!simulator_)
            simulator_ = std::make_unique<sim::SimTransmitter>(sim::SimTransmitter::Options{true});
        serial_->setPort(QString::fromStdString(simulator_->portPath()));
    } else if (portText == simulatedNetworkName()) {
        if (!network_) network_ = std::make_unique<sim::SimNetwork>(sim::LineOptions{.pace = true});
        serial_->setPort(QString::fromStdString(network_->portPath()));
    } else {
        // The serial component maps "COMn" to its device; stray blanks
        // around a typed path are dropped.
        serial_->setPort(portText.trimmed());
    }
    return *serial_;
}

} // namespace line
