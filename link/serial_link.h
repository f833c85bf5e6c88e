#pragma once
// The serial port as a link: the serial component Comm1 with a HART modem
// (or a simulated device's pseudo-terminal) on the far side. Frames go to the
// component's write thread as they are; chunks come back as the read thread
// collected them.

#include "link/link.h"

class TComm;

namespace line {

// The serial component as a HART modem wants it: 1200 baud, 8 data bits,
// odd parity, 1 stop bit, chunks ended by 300 ms of quiet.
void setUpForHart(TComm& comm);

class SerialLink final : public Link {
    Q_OBJECT
public:
    // Takes over `comm`'s received-data and hang-up events.
    explicit SerialLink(TComm& comm, QObject* parent = nullptr);

    // The port-list text the next open() opens: "COM3" (/dev/ttyS2) or a
    // device path.
    void setPort(const QString& commName) { commName_ = commName; }

    // The window's Open and Close as they concern the component: flow
    // control off, OpenPort, then RTS and DTR on; DTR off, then ClosePort.
    // DTR is stored on before the open, so that opening raises it and never
    // lowers it first: a modem powered from DTR sees no drop.
    void open() override;
    void close() override;
    bool isOpen() const override;
    bool sendFrame(std::span<const std::uint8_t> frame) override;

    QString name() const override;
    QString description() const override;
    ReplyTiming replyTiming(std::size_t frameLength) const override;
    // Bytes the read thread took off the line that have not been handed
    // over yet: the component hands a chunk over only once the line has
    // been quiet for its interval time-out, far later than a reply begins.
    bool replyUnderWay() const override;

    TComm& comm() { return comm_; }

private:
    TComm& comm_;
    QString commName_;
    std::uint64_t delivered_ = 0; // bytes handed over since the open
};

} // namespace line
