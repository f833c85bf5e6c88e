#include "host/request_cycle.h"

#include "hart/frame.h"
#include "hart/frame_parser.h"
#include "hart/names.h"
#include "hart/protocol.h"
#include "host/status_texts.h"
#include "link/link.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <utility>
#include <stdexcept>
#include <string>

namespace host {

namespace {

constexpr int kPauseMs = 200;

QString hexText(std::span<const std::uint8_t> bytes) {
    return QString::fromStdString(hart::hexEcho(bytes));
}

// Bit 7 of a delimiter: the frame carries a five-byte (long) address.
constexpr std::uint8_t kLongAddressBit = 0x80;

// Where a request frame's delimiter stands: after its preambles.
std::span<const std::uint8_t>::iterator delimiterAt(std::span<const std::uint8_t> frame) {
    return std::ranges::find_if(frame, [](std::uint8_t b) { return b != hart::kPreamble; });
}

std::uint8_t delimiterOf(std::span<const std::uint8_t> frame) {
    const auto at = delimiterAt(frame);
    return at == frame.end() ? 0 : *at;
}

// The command number of a request frame: after the preambles, the
// delimiter and the one- or five-byte address.
int commandOf(std::span<const std::uint8_t> frame) {
    const auto delimiter = delimiterAt(frame);
    if (delimiter == frame.end()) return -1;
    const auto at = static_cast<std::size_t>(delimiter - frame.begin()) + 1 +
                    ((*delimiter & kLongAddressBit) ? 5 : 1);
    return at < frame.size() ? frame[at] : -1;
}

ReplyCodeRow rowOf(int code) {
    if (auto row = findReplyCode(code)) return *row;
    throw std::logic_error("reply code " + std::to_string(code) + " is not in the reply-code table");
}

Judge judgeOf(int code) {
    return rowOf(code).judge;
}

} // namespace

void startIfIdle(QTimer* timer, TimerWake* wake) {
    if (timer->isActive()) return;
    timer->start();
    if (wake) wake->follow(*timer);
}

RequestCycle::RequestCycle(line::Link& link, CycleViews views, QObject* parent)
    : QObject(parent), v_(views) {
    connect(v_.decodeTimer, &QTimer::timeout, this, &RequestCycle::onDecodeTimer);
    connect(v_.timeoutTimer, &QTimer::timeout, this, &RequestCycle::onTimeoutTimer);
    setLink(link);
    // Background requests (ask) are sent with this code; their callers judge.
    addRequest(kBackgroundReply);
}

void RequestCycle::setLink(line::Link& link) {
    if (link_ == &link) return;
    disconnect(receivedConnection_);
    disconnect(lostConnection_);
    link_ = &link;
    receivedConnection_ = connect(&link, &line::Link::received, this, [this](const QByteArray& c) {
        const auto receive = [&] {
            onReceiveData(reinterpret_cast<const std::uint8_t*>(c.constData()),
                          static_cast<std::uint16_t>(std::min<qsizetype>(c.size(), 0xFFFF)));
        };
        if (guard_)
            guard_(receive);
        else
            receive();
    });
    lostConnection_ = connect(&link, &line::Link::lost, this, &RequestCycle::onLinkLost);
}

void RequestCycle::onLinkLost(const QString& cause) {
    // No reply will come: nothing may report a timeout or decode.
    dropAwaited();
    emit lineLost(link_->lostMessage(cause));
}

void RequestCycle::setStatus(const QString& text) {
    status_ = text;
    if (v_.statusLine) v_.statusLine->setText(text);
}
QString RequestCycle::status() const {
    return v_.statusLine ? v_.statusLine->text() : status_;
}
void RequestCycle::clearSendView() {
    if (v_.sendView) v_.sendView->clear();
}

void RequestCycle::showSent(const QString& text) {
    if (v_.sendView) v_.sendView->setText(text);
}

std::uint8_t RequestCycle::masterBit() const {
    return hart::masterBitForIndex(masterSelector_ ? masterSelector_->currentIndex() : -1);
}

bool RequestCycle::send(const RequestSpec& spec, const std::function<void()>& clears,
                        const std::function<void(Payload&)>& data) {
    const ReplyCodeRow row = rowOf(spec.replyCode);
    const bool background = row.judge == Judge::Caller;
    if (!background) {
        // Until its reply is in, the page holds nothing this query read.
        provenance_.noteSent(spec.replyCode);
        if (!spec.awaiting.keepReceiveView && v_.receiveView) v_.receiveView->clear();
        setStatus(QString::fromLatin1(row.sending == Sending::Uploading ? status::kUploading
                                                                        : status::kDownloading));
    }
    if (clears) clears();

    Payload payload(buffer_, device_);
    try {
        if (data) data(payload); // a number that does not convert ends the request here
    } catch (const Refusal& refusal) {
        setStatus(QString::fromStdString(refusal.what()));
        return false;
    }

    const std::uint8_t master =
        spec.master == Master::Primary ? hart::kPrimaryMaster : masterBit();
    std::size_t length = 0;
    switch (spec.frame.kind) {
    case FrameSpec::Kind::Long:
        length = hart::buildLongFrame(buffer_, master, spec.frame.command, payload.data());
        break;
    case FrameSpec::Kind::Short:
        device_.setPollAddress(payload.address());
        length = hart::buildShortFrame(buffer_, spec.frame.preambles, master, payload.address());
        break;
    case FrameSpec::Kind::Probe:
        // Another device than the current one: its identity stays as it is.
        length = payload.target()
                     ? hart::buildLongFrameTo(buffer_, master, *payload.target(),
                                              spec.frame.command, payload.data())
                     : hart::buildShortFrame(buffer_, spec.frame.preambles, master,
                                             payload.address());
        break;
    case FrameSpec::Kind::Manual:
        length = hart::buildManualFrame(buffer_, payload.data());
        break;
    }
    transmit(spec, row, length);
    return true;
}

void RequestCycle::transmit(const RequestSpec& spec, const ReplyCodeRow& row, std::size_t length) {
    auto frame = hart::transmitFrame(buffer_, length);
    awaitedCommand_ = commandOf(frame);
    awaitedLong_ = (delimiterOf(frame) & kLongAddressBit) != 0;
    switch (spec.echo) {
    case Echo::Show:
        showSent(hexText(frame));
        break;
    case Echo::VendorFlag:
        showSent(showVendorFrames_ ? hexText(frame) : QString());
        break;
    case Echo::Hide:
        showSent(QString());
        break;
    case Echo::Keep:
        break;
    }
    putOnLine(frame);
    lastFrameLength_ = frame.size();
    if (row.pause) QThread::msleep(kPauseMs);
    awaitReply(spec.replyCode, spec.awaiting.timeout.value_or(row.timeout));
    if (spec.awaiting.startTimeout) startIfIdle(v_.timeoutTimer, &timeoutWake_);
}

bool RequestCycle::putOnLine(std::span<const std::uint8_t> frame) {
    bytesSent_ += static_cast<int>(frame.size());
    if (v_.sentCounter) v_.sentCounter->setText(QString::number(bytesSent_));
    // A closed port refuses the block; an awaited reply then simply times out.
    const bool sent = link_->sendFrame(frame);
    emit frameSent(QByteArray(reinterpret_cast<const char*>(frame.data()),
                              static_cast<qsizetype>(frame.size())));
    return sent;
}

void RequestCycle::awaitReply(int replyCode, TimeoutClass timeout) {
    replyCode_ = replyCode;
    timeoutClass_ = timeout;
}

void RequestCycle::addReader(ReaderSpec reader) {
    const ReplyCodeRow row = rowOf(reader.replyCode);
    if (row.judge != Judge::Reader)
        throw std::logic_error("reply code " + std::to_string(reader.replyCode) +
                               " is judged by the write result and takes no reader");
    const int code = reader.replyCode;
    if (!readers_.emplace(code, std::move(reader)).second)
        throw std::logic_error("a second reader for reply code " + std::to_string(code));
}

void RequestCycle::addRequest(int replyCode) {
    rowOf(replyCode);
    requested_.insert(replyCode);
}

int RequestCycle::judgesOf(int replyCode) const {
    const auto row = findReplyCode(replyCode);
    if (!row) return 0;
    const int readers = static_cast<int>(readers_.count(replyCode));
    return row->judge == Judge::Reader ? readers : 1 + readers;
}

void RequestCycle::checkReaders() const {
    for (int code : requested_)
        if (judgesOf(code) != 1)
            throw std::logic_error("reply code " + std::to_string(code) + " has " +
                                   std::to_string(judgesOf(code)) + " readers instead of one");
    for (const auto& [code, reader] : readers_)
        if (!requested_.count(code))
            throw std::logic_error("the reader of reply code " + std::to_string(code) +
                                   " has no request");
}

void RequestCycle::read(const ReaderSpec& reader) {
    const std::uint8_t delimiter = reader.scan.delimiter;
    const auto form = delimiter == hart::kShortReply ? Reply::Form::Short : Reply::Form::Long;
    // Why a located reply is not shown: its own checks, or too few data bytes
    // (then the response code says why, e.g. "command not implemented").
    std::string cause;
    QString reason; // for the traffic log, in words
    if (const auto K = hart::locate(buffer_, scanLimit_, reader.scan)) {
        const auto defect = hart::checkReply(buffer_, *K, delimiter, received());
        const int dataBytes = hart::dataBytesOf(buffer_, *K, delimiter);
        const Reply reply(buffer_, device_, *K, form, defect == hart::ReplyDefect::None ? dataBytes : 0);
        const auto summary = [&] {
            return reader.judgesResponseCode
                       ? hart::statusSummary(reply.responseCode(), reply.command())
                       : hart::statusSummary(reply.responseCode());
        };
        if (defect != hart::ReplyDefect::None) {
            cause = hart::defectText(defect);
        } else if (dataBytes < reader.reads ||
                   (reader.judgesResponseCode && hart::isErrorResponse(reply.responseCode()))) {
            cause = reply.responseCode() != hart::rc::kSuccess ? summary() : "reply too short";
        } else if (!reader.accept || reader.accept(reply)) {
            provenance_.beginFill();
            const auto filled = qScopeGuard([this] { provenance_.endFill(); });
            reader.fill(reply);
            provenance_.noteRead(reader.replyCode);
            QString text = QString::fromLatin1(reader.successText);
            if (reader.judgesResponseCode && reply.responseCode() != hart::rc::kSuccess)
                text += QStringLiteral(" (%1)").arg(QString::fromStdString(summary()));
            setStatus(text);
            emit replyDecoded(reader.replyCode);
            return;
        } else {
            reason = QStringLiteral("the reply is not the one awaited");
        }
        if (reason.isEmpty()) {
            reason = QString::fromStdString(cause);
            if (defect == hart::ReplyDefect::None && reply.responseCode() != hart::rc::kSuccess &&
                !(reply.responseCode() & hart::kCommunicationError))
                reason += QStringLiteral(" (response code %1)").arg(reply.responseCode());
        }
    } else {
        reason = QStringLiteral("no reply found");
    }
    if (reader.failed) reader.failed();
    QString text = QString::fromLatin1(reader.failureText);
    if (!cause.empty()) text += QStringLiteral(" (%1)").arg(QString::fromStdString(cause));
    setStatus(text);
    emit replyNotDecoded(reader.replyCode, text, awaitedCommand_, reason);
}

void RequestCycle::judgeWrite(int replyCode, bool krohneVariant) {
    const auto text =
        QString::fromStdString(hart::writeResult(buffer_, received(), krohneVariant));
    setStatus(text);
    if (text.startsWith(QLatin1String("Write successful!")))
        emit replyDecoded(replyCode);
    else
        emit replyNotDecoded(replyCode, text, awaitedCommand_, writeFailureReason());
}

QString RequestCycle::writeFailureReason() const {
    const auto K = hart::locate(buffer_, scanLimit_);
    if (!K) return QStringLiteral("no reply found");
    if (const auto defect = hart::checkReply(buffer_, *K, hart::kLongReply, received());
        defect != hart::ReplyDefect::None)
        return QString::fromStdString(std::string(hart::defectText(defect)));
    const std::uint8_t code = buffer_[static_cast<std::size_t>(*K + 9)];
    QString reason = QString::fromStdString(hart::statusSummary(code));
    if (!(code & hart::kCommunicationError))
        reason += QStringLiteral(" (response code %1)").arg(code);
    return reason;
}

void RequestCycle::onReceiveData(const std::uint8_t* bytes, std::uint16_t length) {
    // The decode delay counts from the chunk's arrival, not from the end of
    // the work below (the traffic log, the views): the timer cannot fire
    // before this handler returns, so starting it first changes no order.
    const bool awaited = replyCode_ != 0;
    const Judge judge = awaited ? judgeOf(replyCode_) : Judge::Reader;
    const bool showEveryChunk = awaited && judge == Judge::ReceiveView;
    if (awaited && !showEveryChunk) startIfIdle(v_.decodeTimer, &decodeWake_);
    emit chunkReceived(QByteArray(reinterpret_cast<const char*>(bytes), length));
    device_.noteChunk(std::span(bytes, length));
    const int m = std::min<int>(length, hart::lb::kReceiveMax);
    std::copy_n(bytes, m, buffer_.begin() + hart::lb::kReceive);
    bytesReceived_ += m;
    if (v_.receivedCounter) v_.receivedCounter->setText(QString::number(bytesReceived_));
    scanLimit_ = m - 4;
    if (!awaited) return; // stored and counted only
    // A background request keeps the views and its own deadline: the chunk
    // may not hold its reply (a burst frame), which is then still awaited.
    if (judge == Judge::Caller) return;
    if (v_.receiveView)
        v_.receiveView->setPlainText(hexText(std::span(bytes, static_cast<std::size_t>(m))));
    if (showEveryChunk) {
        // The manual command stays pending: every later chunk is shown too.
        v_.decodeTimer->stop();
    }
    v_.timeoutTimer->stop();
    setStatus(QString::fromLatin1(status::kUploadSuccessful));
}

void RequestCycle::expectReply(int replyCode) {
    const ReplyCodeRow row = rowOf(replyCode);
    awaitReply(row.code, row.timeout);
}

void RequestCycle::onDecodeTimer() {
    v_.decodeTimer->stop();
    const auto row = findReplyCode(replyCode_);
    if (!row) return; // nothing awaited
    std::function<void()> judge;
    switch (row->judge) {
    case Judge::ReceiveView:
        return; // shown as it came, and still pending
    case Judge::Reader:
        if (auto it = readers_.find(row->code); it != readers_.end())
            judge = [this, &reader = it->second] { read(reader); };
        break;
    case Judge::WriteResult:
        judge = [this, code = row->code] { judgeWrite(code, false); };
        break;
    case Judge::KrohneWriteResult:
        judge = [this, code = row->code] { judgeWrite(code, true); };
        break;
    case Judge::Caller:
        answerAsk();
        return;
    }
    replyCode_ = 0;
    v_.timeoutTimer->stop();
    if (!judge) return;
    if (guard_)
        guard_(judge);
    else
        judge();
}

void RequestCycle::onTimeoutTimer() {
    v_.timeoutTimer->stop();
    if (const auto row = findReplyCode(replyCode_); row && row->judge == Judge::Caller) {
        replyCode_ = 0;
        Answer answer;
        answer.failure = QStringLiteral("no reply in time");
        device_.noteNoReply();
        emit replyTimedOut(row->code, awaitedCommand_);
        finishAsk(answer);
        return;
    }
    if (timeoutClass_ == TimeoutClass::Read || timeoutClass_ == TimeoutClass::Write) {
        if (v_.statusLine) v_.statusLine->clear();
        setStatus(QString::fromLatin1(status::kTimeout));
        device_.noteNoReply();
        emit replyTimedOut(replyCode_, awaitedCommand_);
    }
}

void RequestCycle::dropAwaited() {
    replyCode_ = 0;
    v_.decodeTimer->stop();
    v_.timeoutTimer->stop();
    if (onAnswer_) {
        Answer answer;
        answer.failure = QStringLiteral("the line went away");
        finishAsk(answer);
    }
}

bool RequestCycle::pageAwaiting() const {
    if (replyCode_ == 0 || judgeOf(replyCode_) == Judge::Caller) return false;
    return v_.timeoutTimer->isActive() || v_.decodeTimer->isActive();
}

bool RequestCycle::ask(const RequestSpec& spec, const std::function<void(Payload&)>& data,
                       AnswerHandler onAnswer) {
    if (onAnswer_ || pageAwaiting()) return false;
    if (judgeOf(spec.replyCode) != Judge::Caller)
        throw std::logic_error("reply code " + std::to_string(spec.replyCode) +
                               " is not one a background request awaits");
    if (!send(spec, nullptr, data)) return false;
    askedCommand_ = static_cast<std::uint8_t>(awaitedCommand_);
    askedLong_ = awaitedLong_;
    onAnswer_ = std::move(onAnswer);
    startIfIdle(v_.timeoutTimer, &timeoutWake_);
    return true;
}

void RequestCycle::whenIdle(std::function<void()> action) {
    if (!onAnswer_) {
        action();
        return;
    }
    waiting_.push_back(std::move(action));
}

void RequestCycle::answerAsk() {
    // The chunks since the request: the reply is the one to the command asked.
    const auto bytes = std::span(buffer_.data(), static_cast<std::size_t>(std::max(received(), 0)));
    for (const hart::FrameSegment& segment : hart::parseFrames(bytes)) {
        const auto& f = segment.frame;
        if (!f || f->type != hart::FrameType::Reply || f->command != askedCommand_ ||
            f->longAddress != askedLong_)
            continue;
        Answer answer;
        answer.command = askedCommand_;
        answer.frame.assign(bytes.begin() + static_cast<std::ptrdiff_t>(segment.offset),
                            bytes.begin() + static_cast<std::ptrdiff_t>(segment.offset +
                                                                        segment.length));
        if (!f->intact() || f->data.size() < 2) {
            // The device answers once: a damaged reply is the answer.
            answer.failure = f->checksumReceived ? QStringLiteral("reply checksum wrong")
                                                 : QStringLiteral("reply cut short");
        } else {
            answer.replied = true;
            answer.responseCode = f->data[0];
            answer.deviceStatus = f->data[1];
            answer.data.assign(f->data.begin() + 2, f->data.end());
        }
        replyCode_ = 0;
        v_.timeoutTimer->stop();
        finishAsk(answer);
        return;
    }
    // Not the reply (a burst frame, a late reply to something else): still
    // awaited until the reply timeout.
}

void RequestCycle::finishAsk(const Answer& answer) {
    AnswerHandler handler = std::exchange(onAnswer_, nullptr);
    // The user's clicks that waited for this answer go first, before the
    // handler can ask again.
    auto waiting = std::exchange(waiting_, {});
    for (auto& action : waiting)
        run(action);
    if (handler) run([&] { handler(answer); });
}

void RequestCycle::run(const std::function<void()>& action) {
    if (guard_)
        guard_(action);
    else
        action();
}

void RequestCycle::resetCounters() {
    bytesSent_ = 0;
    bytesReceived_ = 0;
}

} // namespace host
