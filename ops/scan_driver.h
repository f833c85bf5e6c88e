#pragma once
// The network scan without its page: every polling address of a multidrop
// loop asked for its device (command 0), each device found asked for its tag
// (command 13, or 20 from HART 7 on). The "Network" page and rx460k-cli
// both drive it.
//
// The scan is three request rows and their readers, sent through the one
// send path like any button. It times its own exchanges instead of waiting
// out the 3 s reply timeout at each address, with the timing the link gives:
// on a modem a slave begins its reply within 28 character times of the
// request's end, so an address is silent once the request's time on the wire
// and that time-out have passed; over HART-IP the server's answer time, since
// a gateway relays the request to its loop. A reply that has begun (the link
// can tell before the serial component hands the chunk over) is awaited as a
// whole. Every address gets one retry, as HART masters retry; a device that
// answers only the retry is found, and one that answers the first try late is
// found too.

#include "hart/device_identity.h"
#include "hart/frame_parser.h"
#include "link/link.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <optional>

class QTimer;

namespace host {
class RequestCycle;
}

namespace ops {

class ScanDriver : public QObject {
    Q_OBJECT
public:
    // A device found: its polling address, its command-0 data (after the
    // status bytes), what they say, and its tag (empty when it did not come).
    struct Found {
        int address = 0;
        QByteArray identityData;
        hart::DeviceIdentity identity;
        QString tag;
    };

    // Registers the scan's readers with `cycle`: one driver per cycle.
    explicit ScanDriver(host::RequestCycle& cycle, QObject* parent = nullptr);

    // Asks polling addresses `first` to `last`; the line must be the scan's
    // alone meanwhile (the caller holds every other sender).
    void start(int first, int last);
    // Ends the scan once the address being asked is done.
    void stop() { stopAsked_ = true; }
    bool running() const { return running_; }

    // "Scan finished: 2 devices found".
    static QString finishedText(int found);

signals:
    void found(const ops::ScanDriver::Found& device);
    // Addresses done so far, of last - first + 1.
    void progressed(int done);
    void finished(int found);

private:
    enum class Step { Identity, Tag };
    // Silence: no reply has begun yet. Reply: one has begun and is awaited
    // whole. Judging: a chunk came in and its reader will judge it.
    enum class Wait { None, Silence, Reply, Judging };

    bool portOpen() const;
    void finish();
    void beginStep(Step step);
    void sendTry();
    void awaitSilence(int ms);
    void awaitWhole();
    void onDeadline();
    void tryFailed();
    void onChunk(const QByteArray&);
    bool match();
    void took();
    void notTaken();
    bool isIdentity(const hart::Frame& f) const;
    bool isTag(const hart::Frame& f) const;
    std::uint8_t tagCommand() const;
    int replyCode() const;
    void addressDone();
    void report(const QString& tag);

    host::RequestCycle& cycle_;
    QTimer* deadline_;

    bool running_ = false;
    bool stopAsked_ = false;
    int first_ = 0;
    int last_ = 0;
    int address_ = 0;
    int foundCount_ = 0;
    Step step_ = Step::Identity;
    Wait wait_ = Wait::None;
    int tries_ = 0;
    line::ReplyTiming timing_;
    QElapsedTimer sentAt_;
    std::optional<hart::Frame> taken_;
    std::optional<hart::DeviceIdentity> identity_;
    QByteArray identityData_;
};

} // namespace ops
