#pragma once
// The request cycle: one LinkBuffer shared by every operation, the awaited
// reply (PendingReply), the send step, the receive handler, the decode timer
// (Timer2) and the reply timeout (Timer3).
//
// A sender calls begin(), empties its result fields, builds its data (a
// conversion error thrown here stops the request before anything is sent),
// then one of the send*() calls. Its decoder, registered by ReplyCode, runs
// from Timer2 after ReplyCode has gone back to 0 and Timer3 has stopped.

#include "app/reply_codes.h"
#include "hart/link_buffer.h"
#include "hart/reply.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTimer;
class TComm;

namespace app {

// How the send view (discomm) shows a frame.
enum class Echo {
    Show,       // always show it
    VendorFlag, // show it while ShowVendorFrames is on, else empty discomm
    Hide,       // always empty discomm
    Keep,       // leave discomm as it is
};

struct SendOptions {
    Echo echo = Echo::Show;
    std::optional<std::uint8_t>
        master;                      // fixed master bit instead of the "First/Second Device" list
    std::optional<int> timeoutClass; // instead of the reply code's own class
    bool startTimeout = true;        // false: the discovery cycle starts no reply timeout
};

struct CycleViews {
    QLineEdit* sendView;         // discomm
    QPlainTextEdit* receiveView; // Memo8
    QLabel* sentCounter;         // Label56
    QLabel* receivedCounter;     // Label67
    QLabel* statusLine;          // Label68
    QTimer* decodeTimer;         // Timer2
    QTimer* timeoutTimer;        // Timer3
};

class RequestCycle : public QObject {
    Q_OBJECT
public:
    RequestCycle(TComm& comm, CycleViews views, QObject* parent = nullptr);

    hart::LinkBuffer& buffer() { return buffer_; }
    const hart::LinkBuffer& buffer() const { return buffer_; }
    int scanLimit() const { return scanLimit_; } // L of the last chunk
    int replyCode() const { return replyCode_; }
    int timeoutClass() const { return timeoutClass_; }

    void setStatus(const QString& text);
    QString status() const;

    // The "First Device"/"Second Device" list that sets the master bit.
    void setMasterSelector(QComboBox* combo) { masterSelector_ = combo; }
    std::uint8_t masterBit() const;
    // On for the rest of the run once the "Serial Port:" label is clicked.
    void setShowVendorFrames() { showVendorFrames_ = true; }
    bool showVendorFrames() const { return showVendorFrames_; }

    // Send steps 1-2: empty the receive view (unless told not to) and show
    // "Uploading..." or "Downloading..." as the reply code's table says.
    void begin(int replyCode, bool clearReceiveView = true);

    // Send steps 4-8 for a long frame to the cached device address.
    void sendLong(int replyCode, std::uint8_t command, std::span<const std::uint8_t> data,
                  const SendOptions& options = {});
    // ... for a short frame (6 or 8 preambles) to a polling address.
    void sendShort(int replyCode, int preambles, std::uint8_t pollAddress,
                   const SendOptions& options = {});
    // ... for a hand-typed frame (preambles and checksum added).
    void sendManual(std::span<const std::uint8_t> typed);

    // Decoders by ReplyCode. The cycle has already set ReplyCode to 0 and
    // stopped Timer3 when one runs.
    using Decoder = std::function<void()>;
    void registerDecoder(int replyCode, Decoder decoder);
    bool hasDecoder(int replyCode) const { return decoders_.count(replyCode) != 0; }

    // Reply anchor K in the last chunk, or nothing.
    std::optional<int> locate(const hart::Scan& scan = hart::kStandardScan) const {
        return hart::locate(buffer_, scanLimit_, scan);
    }
    // Shows the generic write result on the status line.
    void showWriteResult(bool krohneVariant = false);

    // Receive handler, bound to the serial port's received-data event.
    void onReceiveData(const std::uint8_t* bytes, std::uint16_t length);

    // Counters (Part of the window frame, reset when the port opens).
    void resetCounters();
    int bytesSent() const { return bytesSent_; }
    int bytesReceived() const { return bytesReceived_; }

    // Wraps decoders so that a thrown error reaches the window's handler.
    void setErrorHandler(std::function<void(const std::function<void()>&)> guard) {
        guard_ = std::move(guard);
    }

private:
    void transmit(int replyCode, std::size_t length, const SendOptions& options);
    void onDecodeTimer();
    void onTimeoutTimer();

    TComm& comm_;
    CycleViews v_;
    hart::LinkBuffer buffer_{};
    int replyCode_ = 0;
    int timeoutClass_ = 0;
    int scanLimit_ = -4;
    int bytesSent_ = 0;
    int bytesReceived_ = 0;
    bool showVendorFrames_ = false;
    QComboBox* masterSelector_ = nullptr;
    std::map<int, Decoder> decoders_;
    std::function<void(const std::function<void()>&)> guard_;
};

// Starts a timer unless it already runs: starting a running timer must not
// move its deadline.
void startIfIdle(QTimer* timer);

} // namespace app
