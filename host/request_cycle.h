#pragma once
// The request cycle: one LinkBuffer shared by every operation, the awaited
// reply (PendingReply), the one send path every request row runs through, the
// receive handler, the decode timer (Timer2), the reply timeout (Timer3) and
// the readers, one per reply code.

#include "hart/link_buffer.h"
#include "hart/reply.h"
#include "host/device.h"
#include "host/provenance.h"
#include "host/reply.h"
#include "host/reply_codes.h"
#include "host/request.h"
#include "host/timer_wake.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTimer;

namespace line {
class Link;
}

namespace host {

// The window's views the cycle keeps up to date; each may be null (the
// command-line tool has none). The two timers are always there.
struct CycleViews {
    QLineEdit* sendView;         // discomm
    QPlainTextEdit* receiveView; // Memo8
    QLabel* sentCounter;         // Label56
    QLabel* receivedCounter;     // Label67
    QLabel* statusLine;          // Label68
    QTimer* decodeTimer;         // Timer2
    QTimer* timeoutTimer;        // Timer3
};

// What a background request got back (RequestCycle::ask).
struct Answer {
    bool replied = false; // an intact reply to the command asked came
    std::uint8_t command = 0;
    std::uint8_t responseCode = 0;  // first status byte
    std::uint8_t deviceStatus = 0;  // field-device status
    std::vector<std::uint8_t> data; // after the two status bytes
    std::vector<std::uint8_t> frame; // the reply as received, preambles included
    QString failure;                 // why not replied, in words
};
using AnswerHandler = std::function<void(const Answer&)>;

// A reader with its page's controls bound.
struct ReaderSpec {
    int replyCode;
    int reads; // data bytes the fill needs
    hart::Scan scan;
    const char* failureText;
    std::function<void(const Reply&)> fill;
    std::function<void()> failed;              // may be empty
    std::function<bool(const Reply&)> accept;  // may be empty
    const char* successText = status::kUploadSuccessful;
    bool judgesResponseCode = false;
};

class RequestCycle : public QObject {
    Q_OBJECT
public:
    RequestCycle(line::Link& link, CycleViews views, QObject* parent = nullptr);

    // The line requests go to from now on (the serial port or a HART-IP
    // session): its received bytes reach the receive handler, and its loss
    // ends what was awaited and is reported (lineLost).
    void setLink(line::Link& link);
    line::Link& link() { return *link_; }
    const line::Link& link() const { return *link_; }

    // What is known of the current device; its bytes live in the LinkBuffer.
    Device& device() { return device_; }
    const Device& device() const { return device_; }
    // Where the pages' values came from: what was read, what the user typed.
    Provenance& provenance() { return provenance_; }
    const Provenance& provenance() const { return provenance_; }

    hart::LinkBuffer& buffer() { return buffer_; }
    const hart::LinkBuffer& buffer() const { return buffer_; }
    int scanLimit() const { return scanLimit_; } // L of the last chunk
    int received() const { return scanLimit_ + 4; } // length of the last chunk
    int replyCode() const { return replyCode_; }
    std::optional<TimeoutClass> timeoutClass() const { return timeoutClass_; }

    void setStatus(const QString& text);
    QString status() const;
    void clearSendView();

    // The "First Device"/"Second Device" list that sets the master bit.
    void setMasterSelector(QComboBox* combo) { masterSelector_ = combo; }
    std::uint8_t masterBit() const;
    // On for the rest of the run once the "Serial Port:" label is clicked.
    void setShowVendorFrames() { showVendorFrames_ = true; }
    bool showVendorFrames() const { return showVendorFrames_; }

    // The one send path. `clears` empties the fields the reply will fill;
    // `data` appends the data bytes and may stop the request (see request.h).
    // True when the frame went out.
    bool send(const RequestSpec& spec, const std::function<void()>& clears,
              const std::function<void(Payload&)>& data);
    // Length of the frame the last send() handed to the link.
    std::size_t lastFrameLength() const { return lastFrameLength_; }

    // ---- Background requests: the monitor's polls, reading a whole
    // configuration, the command-line tool. One at a time, through the same
    // send path, with kBackgroundReply (or another code the Caller judges):
    // the views and the status line stay as they are, and `onAnswer` gets
    // the reply to the command asked, or why none came (the reply timeout).
    // False, with nothing sent, while a page's request awaits its reply or
    // another background request is in flight.
    bool ask(const RequestSpec& spec, const std::function<void(Payload&)>& data,
             AnswerHandler onAnswer);
    bool asking() const { return static_cast<bool>(onAnswer_); }
    // A page's request awaits its reply: sent, and neither answered nor
    // timed out yet.
    bool pageAwaiting() const;
    // Runs `action` now, or, while a background request is in flight, right
    // after its answer and before anything else is asked: a user's click
    // never interleaves with a poll.
    void whenIdle(std::function<void()> action);

    // Readers by reply code. A second reader for a code, or a reader for a
    // code that another judge decodes, is a programming error: std::logic_error.
    void addReader(ReaderSpec reader);
    // Records that a request row sends `replyCode` (a code not in the reply
    // code table is a programming error).
    void addRequest(int replyCode);
    // Every code a request sends is judged by exactly one reader (its own or
    // the write result), and every reader has a request; std::logic_error
    // naming the first code that is not.
    void checkReaders() const;
    // How many judges the reply of `replyCode` has: 1 when all is well.
    int judgesOf(int replyCode) const;
    const std::set<int>& requestedCodes() const { return requested_; }

    // Receive handler, bound to the link's received data.
    void onReceiveData(const std::uint8_t* bytes, std::uint16_t length);
    // Awaits `replyCode`'s reply as its send path leaves it, with nothing sent
    // and no pause: the window fuzzer feeds hundreds of replies a second, and
    // the network scan awaits its reply again after a frame that was not it.
    void expectReply(int replyCode);

    // The line went away: no reply will come, so none is awaited any more
    // (no decode, no timeout report, no further discovery step).
    void dropAwaited();

    // Counters (reset when the port opens).
    void resetCounters();
    int bytesSent() const { return bytesSent_; }
    int bytesReceived() const { return bytesReceived_; }

    // Wraps readers so that a thrown error reaches the window's handler.
    void setErrorHandler(std::function<void(const std::function<void()>&)> guard) {
        guard_ = std::move(guard);
    }

signals:
    // Every frame handed to the line, and every chunk received (whole, before
    // the receive area's 255-byte cut), for the traffic log.
    void frameSent(const QByteArray& frame);
    void chunkReceived(const QByteArray& chunk);
    // The reply timeout reported "Upload data timeout!" for the request of
    // `command`.
    void replyTimedOut(int replyCode, int command);
    // A reader or the write result judged a reply and did not succeed;
    // `status` is what the status line now shows, `reason` why in words
    // ("device busy (response code 32)", "no reply found").
    void replyNotDecoded(int replyCode, const QString& status, int command, const QString& reason);
    // A reader filled its page, or a write was answered "Write successful!".
    void replyDecoded(int replyCode);
    // The link went away while open; `message` says so for the user
    // ("Serial device /dev/ttyUSB0 disconnected (Input/output error)").
    // Nothing is awaited any more.
    void lineLost(const QString& message);

private:
    void transmit(const RequestSpec& spec, const ReplyCodeRow& row, std::size_t length);
    // Counts, sends and reports a frame; false when the link refused it.
    bool putOnLine(std::span<const std::uint8_t> frame);
    void awaitReply(int replyCode, TimeoutClass timeout);
    void read(const ReaderSpec& reader);
    void judgeWrite(int replyCode, bool krohneVariant);
    void onDecodeTimer();
    void onTimeoutTimer();

    void onLinkLost(const QString& cause);
    void showSent(const QString& text);
    void answerAsk();
    void finishAsk(const Answer& answer);
    void run(const std::function<void()>& action);
    // Why the write reply in the receive area is not "Write successful!".
    QString writeFailureReason() const;

    line::Link* link_ = nullptr;
    QMetaObject::Connection receivedConnection_;
    QMetaObject::Connection lostConnection_;
    CycleViews v_;
    hart::LinkBuffer buffer_{};
    Device device_{buffer_};
    Provenance provenance_;
    std::size_t lastFrameLength_ = 0;
    int awaitedCommand_ = -1; // the command of the request last sent
    bool awaitedLong_ = true; // and whether it went to a long address
    QString status_;          // the status line's text, also without a window
    AnswerHandler onAnswer_;  // set while a background request is in flight
    std::uint8_t askedCommand_ = 0;
    bool askedLong_ = true;
    std::vector<std::function<void()>> waiting_; // clicks held for its answer
    int replyCode_ = 0;
    std::optional<TimeoutClass> timeoutClass_;
    int scanLimit_ = -4;
    int bytesSent_ = 0;
    int bytesReceived_ = 0;
    bool showVendorFrames_ = false;
    QComboBox* masterSelector_ = nullptr;
    std::map<int, ReaderSpec> readers_;
    std::set<int> requested_;
    std::function<void(const std::function<void()>&)> guard_;
    // Timer2 and Timer3 keep to the millisecond.
    TimerWake decodeWake_;
    TimerWake timeoutWake_;
};

// Starts a timer unless it already runs: starting a running timer must not
// move its deadline. `wake`, when given, follows the timer once it starts.
void startIfIdle(QTimer* timer, TimerWake* wake = nullptr);

} // namespace host
