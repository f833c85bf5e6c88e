#include "app/request_cycle.h"

#include "hart/frame.h"
#include "serial/tcomm.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace app {

namespace {
QString hexText(std::span<const std::uint8_t> bytes) {
    return QString::fromStdString(hart::hexEcho(bytes));
}
} // namespace

void startIfIdle(QTimer* timer) {
    if (!timer->isActive()) timer->start();
}

RequestCycle::RequestCycle(TComm& comm, CycleViews views, QObject* parent)
    : QObject(parent), comm_(comm), v_(views) {
    connect(v_.decodeTimer, &QTimer::timeout, this, &RequestCycle::onDecodeTimer);
    connect(v_.timeoutTimer, &QTimer::timeout, this, &RequestCycle::onTimeoutTimer);
    for (int code : genericWriteCodes())
        registerDecoder(code, [this] { showWriteResult(); });
}

void RequestCycle::setStatus(const QString& text) {
    v_.statusLine->setText(text);
}
QString RequestCycle::status() const {
    return v_.statusLine->text();
}

std::uint8_t RequestCycle::masterBit() const {
    return hart::masterBitForIndex(masterSelector_ ? masterSelector_->currentIndex() : -1);
}

void RequestCycle::begin(int replyCode, bool clearReceiveView) {
    if (clearReceiveView) v_.receiveView->clear();
    setStatus(uploads(replyCode) ? QStringLiteral("Uploading...")
                                 : QStringLiteral("Downloading..."));
}

void RequestCycle::sendLong(int replyCode, std::uint8_t command, std::span<const std::uint8_t> data,
                            const SendOptions& options) {
    std::uint8_t master = options.master.value_or(masterBit());
    transmit(replyCode, hart::buildLongFrame(buffer_, master, command, data), options);
}

void RequestCycle::sendShort(int replyCode, int preambles, std::uint8_t pollAddress,
                             const SendOptions& options) {
    std::uint8_t master = options.master.value_or(masterBit());
    buffer_[hart::lb::kPollAddress] = pollAddress;
    transmit(replyCode, hart::buildShortFrame(buffer_, preambles, master, pollAddress), options);
}

void RequestCycle::sendManual(std::span<const std::uint8_t> typed) {
    transmit(kManualReply, hart::buildManualFrame(buffer_, typed), {});
}

void RequestCycle::transmit(int replyCode, std::size_t length, const SendOptions& options) {
    auto frame = hart::transmitFrame(buffer_, length);
    switch (options.echo) {
    case Echo::Show:
        v_.sendView->setText(hexText(frame));
        break;
    case Echo::VendorFlag:
        v_.sendView->setText(showVendorFrames_ ? hexText(frame) : QString());
        break;
    case Echo::Hide:
        v_.sendView->clear();
        break;
    case Echo::Keep:
        break;
    }
    bytesSent_ += static_cast<int>(length);
    v_.sentCounter->setText(QString::number(bytesSent_));
    // A closed port refuses the block; the request then simply times out.
    comm_.SendBlock(frame.data(), static_cast<std::uint16_t>(frame.size()));
    if (pausesAfterWrite(replyCode)) QThread::msleep(200);
    replyCode_ = replyCode;
    timeoutClass_ = options.timeoutClass.value_or(timeoutClassFor(replyCode));
    if (options.startTimeout) startIfIdle(v_.timeoutTimer);
}

void RequestCycle::registerDecoder(int replyCode, Decoder decoder) {
    decoders_[replyCode] = std::move(decoder);
}

void RequestCycle::showWriteResult(bool krohneVariant) {
    setStatus(QString::fromStdString(hart::writeResult(buffer_, scanLimit_, krohneVariant)));
}

void RequestCycle::onReceiveData(const std::uint8_t* bytes, std::uint16_t length) {
    const int m = std::min<int>(length, hart::lb::kReceiveMax);
    std::copy_n(bytes, m, buffer_.begin() + hart::lb::kReceive);
    bytesReceived_ += m;
    v_.receivedCounter->setText(QString::number(bytesReceived_));
    scanLimit_ = m - 4;
    if (replyCode_ == 0) return; // nothing awaited: stored and counted only
    v_.receiveView->setPlainText(hexText(std::span(bytes, static_cast<std::size_t>(m))));
    if (replyCode_ == kManualReply) {
        // The manual command stays pending: every later chunk is shown too.
        v_.decodeTimer->stop();
    } else {
        startIfIdle(v_.decodeTimer);
    }
    v_.timeoutTimer->stop();
    setStatus(QStringLiteral("Upload successful!"));
}

void RequestCycle::onDecodeTimer() {
    v_.decodeTimer->stop();
    auto it = decoders_.find(replyCode_);
    if (it == decoders_.end()) return;
    replyCode_ = 0;
    v_.timeoutTimer->stop();
    if (guard_)
        guard_(it->second);
    else
        it->second();
}

void RequestCycle::onTimeoutTimer() {
    v_.timeoutTimer->stop();
    if (timeoutClass_ == kRead || timeoutClass_ == kWrite) {
        v_.statusLine->clear();
        setStatus(QStringLiteral("Upload data timeout!"));
    }
}

void RequestCycle::resetCounters() {
    bytesSent_ = 0;
    bytesReceived_ = 0;
}

} // namespace app
