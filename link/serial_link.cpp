#include "link/serial_link.h"

#include "serial/tcomm.h"

#include <cmath>

namespace line {

namespace {

// A slave begins its reply within this many character times of the request.
constexpr int kSlaveTimeoutCharacters = 28;
// The modem's carrier turnaround and a USB adapter's latency on top.
constexpr int kLineAllowanceMs = 50;
// A reply that has begun: the longest one (255 bytes, 2.3 s at 1200 baud)
// and the component's 300 ms of quiet after it.
constexpr int kReplyCompleteMs = 3000;
// Start, eight data, parity and stop bits.
constexpr double kBitsPerCharacter = 11.0;

} // namespace

void setUpForHart(TComm& comm) {
    comm.setBaudRate(1200);
    comm.setParity(TParity::Odd);
    comm.setByteSize(TByteSize::_8);
    comm.setStopBits(TStopBits::_1);
    comm.setReadIntervalTimeout(300);
}

SerialLink::SerialLink(TComm& comm, QObject* parent) : Link(parent), comm_(comm) {
    comm_.OnReceiveData = [this](QObject*, const std::uint8_t* bytes, std::uint16_t length) {
        delivered_ += length;
        emit received(QByteArray(reinterpret_cast<const char*>(bytes), length));
    };
    comm_.OnRequestHangup = [this](QObject*) {
        emit lost(QString::fromStdString(comm_.hangupCause()));
    };
    connect(&comm_, &TComm::lineSettingsFailed, this, &Link::problem);
}

void SerialLink::open() {
    if (comm_.isOpen()) comm_.ClosePort();
    comm_.setCommName(commName_);
    comm_.setOutx_XonXoffFlow(false);
    comm_.setInx_XonXoffFlow(false);
    comm_.setDtrControl(TDtrControl::DtrEnable);
    comm_.OpenPort(); // ECommsError ends the open here
    delivered_ = 0;
    comm_.setRtsControl(TRtsControl::RtsEnable);
    comm_.setDtrControl(TDtrControl::DtrEnable);
}

void SerialLink::close() {
    if (!comm_.isOpen()) return;
    comm_.setDtrControl(TDtrControl::DtrDisable);
    comm_.ClosePort();
}

bool SerialLink::isOpen() const {
    return comm_.isOpen();
}

bool SerialLink::sendFrame(std::span<const std::uint8_t> frame) {
    return comm_.SendBlock(frame.data(), static_cast<std::uint16_t>(frame.size()));
}

QString SerialLink::name() const {
    return TComm::devicePath(comm_.CommName());
}

QString SerialLink::description() const {
    return QStringLiteral("Serial device %1").arg(name());
}

ReplyTiming SerialLink::replyTiming(std::size_t frameLength) const {
    const double characterMs = kBitsPerCharacter * 1000.0 / std::max(1, comm_.BaudRate());
    const double characters = static_cast<double>(frameLength) + kSlaveTimeoutCharacters;
    return {static_cast<int>(std::ceil(characters * characterMs)) + kLineAllowanceMs,
            kReplyCompleteMs};
}

bool SerialLink::replyUnderWay() const {
    return comm_.isOpen() && comm_.bytesRead() > delivered_;
}

} // namespace line
