#pragma once
// A line to HART devices, as the request cycle sees it: the serial port with
// its modem (a simulated device's pseudo-terminal included), or a HART-IP
// session. Every kind implements this one interface; Links (link/links.h)
// turns the text of the port list into the link it names.
//
// What a link reports reaches the thread it lives on (the main thread) as
// signals, from its event loop, never from inside a call into the link:
// received() with a serial chunk as it was read, or a HART-IP reply PDU with
// five preambles in front, so that scans, views, counters and readers work
// unchanged; lost() once when the line went away while open. Since received
// bytes always arrive through the event loop, a sender finishes before the
// reply to its frame is handled.
//
// Named `line`, not `link`: POSIX has a function of that name.

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <span>

namespace line {

// What a link knows of its own timing, for a master that times its own
// exchanges (the network scan) instead of waiting out the reply timeout.
struct ReplyTiming {
    // The longest a reply may take to begin, counted from the moment a
    // request of that many bytes is handed to the link: on a modem the
    // request's time on the wire and the slave's time-out; over HART-IP the
    // server's time to relay the request and the device's answer.
    int startMs = 0;
    // Once a reply is under way, the longest it may take to be handed over.
    int completeMs = 0;
};

class Link : public QObject {
    Q_OBJECT
public:
    explicit Link(QObject* parent = nullptr) : QObject(parent) {}
    ~Link() override = default;

    // Opens the line. Throws with the message for the user when it does not
    // open (ECommsError for a serial device, hartip::HartIpError for a
    // HART-IP server); nothing is open then.
    virtual void open() = 0;
    // Closes the line; safe when closed.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Hands a copy of one whole frame (preambles through checksum) to the
    // line; false when the link is closed or cannot take it. The caller's
    // buffer may be reused at once.
    virtual bool sendFrame(std::span<const std::uint8_t> frame) = 0;

    // What the port list shows for this line once open, for messages and the
    // traffic log: "/dev/ttyUSB0", "hartip://10.0.0.7:5094".
    virtual QString name() const = 0;
    // The line in a sentence: "Serial device /dev/ttyUSB0", "HART-IP server
    // hartip://10.0.0.7:5094".
    virtual QString description() const = 0;
    // Shown while open() waits, for a link that may take seconds to open;
    // empty for one that opens at once.
    virtual QString openingText() const { return {}; }

    // Timing of the reply to a request of `frameLength` bytes.
    virtual ReplyTiming replyTiming(std::size_t frameLength) const = 0;
    // Bytes of a reply are on their way but not handed over yet (a serial
    // chunk still being collected, a HART-IP message still arriving). False
    // when nothing is, or when the link cannot tell.
    virtual bool replyUnderWay() const { return false; }

    // "The line went away: <cause>" in the link's own words, the system's
    // error text where there is one.
    QString lostMessage(const QString& cause) const;

signals:
    void received(const QByteArray& chunk);
    // The line went away while open (a USB modem unplugged, a HART-IP
    // session lost). `cause` says why; empty when nothing says. The link
    // counts as closed from then on.
    void lost(const QString& cause);
    // Something the link did that is not a frame (a session opened, a
    // keep-alive), for the traffic log.
    void note(const QString& text);
    // A setting the line did not take while open (reported once until one
    // is taken again), for the status line.
    void problem(const QString& text);
};

} // namespace line
