#include "ops/scan_driver.h"

#include "hart/device_commands.h"
#include "hart/encodings.h"
#include "hart/protocol.h"
#include "host/device.h"
#include "host/request_cycle.h"

#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <span>

namespace ops {

namespace {

constexpr int kTries = 2; // the first request and one retry

constexpr int kScanPreambles = 6;
constexpr std::uint8_t kReadTag = 13;     // tag, descriptor, date (HART 5 and 6)
constexpr std::uint8_t kReadLongTag = 20; // from HART 7 on
constexpr std::uint8_t kFirstLongTagRevision = 7;
constexpr int kTagChars = 8; // command 13: six packed bytes
constexpr int kPackedTagBytes = 6;

// ---- The rows. Each asks a device other than the current one, which stays
// as it is, and always as the primary master; none starts the reply timeout.
constexpr host::Awaiting kScanAwaits{host::TimeoutClass::Poll, false, false};
constexpr host::RequestSpec kAskIdentity{host::kScanIdentityReply,
                                         host::probeFrame(0, kScanPreambles), host::Echo::Show,
                                         host::Master::Primary, kScanAwaits};
constexpr host::RequestSpec kAskTag{host::kScanTagReply, host::probeFrame(kReadTag),
                                    host::Echo::Show, host::Master::Primary, kScanAwaits};
constexpr host::RequestSpec kAskLongTag{host::kScanLongTagReply, host::probeFrame(kReadLongTag),
                                        host::Echo::Show, host::Master::Primary, kScanAwaits};

// Where each reader finds its reply. The reader takes it only when a frame
// of the chunk is the awaited one (match()), which also checks its length.
struct ScanReader {
    int replyCode;
    hart::Scan scan;
};
constexpr ScanReader kReaders[] = {
    {host::kScanIdentityReply, hart::kShortStandardScan},
    {host::kScanTagReply, hart::kStandardScan},
    {host::kScanLongTagReply, hart::kStandardScan},
};

// The scan's three rows.
const host::RequestSpec& requestFor(bool identity, bool longTag) {
    if (identity) return kAskIdentity;
    return longTag ? kAskLongTag : kAskTag;
}

bool intact(const hart::Frame& f) {
    return f.type == hart::FrameType::Reply && f.intact() && f.data.size() >= 2;
}

// Reply data after the two status bytes.
std::span<const std::uint8_t> dataOf(const hart::Frame& f) {
    return std::span(f.data).subspan(2);
}

QString chopTrailingBlanks(QString text) {
    while (!text.isEmpty() && text.back() == QLatin1Char(' '))
        text.chop(1);
    return text;
}

// The long tag as the "HART 7 device" page reads it: one decoder for both.
QString tagText(std::uint8_t command, std::span<const std::uint8_t> data) {
    if (command == kReadTag)
        return chopTrailingBlanks(
            QString::fromStdString(hart::packedAsciiToText(data.data(), kTagChars)));
    const std::string tag = hart::decodeCommand20(data).value_or(std::string());
    return QString::fromLatin1(tag.data(), static_cast<qsizetype>(tag.size()));
}

} // namespace

ScanDriver::ScanDriver(host::RequestCycle& cycle, QObject* parent)
    : QObject(parent), cycle_(cycle), deadline_(new QTimer(this)) {
    deadline_->setSingleShot(true);
    connect(deadline_, &QTimer::timeout, this, &ScanDriver::onDeadline);
    connect(&cycle_, &host::RequestCycle::chunkReceived, this, &ScanDriver::onChunk);
    for (const ScanReader& r : kReaders) {
        cycle_.addRequest(r.replyCode);
        cycle_.addReader({r.replyCode, 0, r.scan, host::status::kUploadFailed,
                          [this](const host::Reply&) { took(); }, [this] { notTaken(); },
                          [this](const host::Reply&) { return match(); }});
    }
}

QString ScanDriver::finishedText(int found) {
    return found == 1 ? QStringLiteral("Scan finished: 1 device found")
                      : QStringLiteral("Scan finished: %1 devices found").arg(found);
}

bool ScanDriver::portOpen() const {
    return cycle_.device().portOpen();
}

void ScanDriver::start(int first, int last) {
    if (running_ || !portOpen()) return;
    // No awaited reply may take the scan's answers.
    cycle_.dropAwaited();
    running_ = true;
    stopAsked_ = false;
    first_ = first;
    last_ = last;
    foundCount_ = 0;
    address_ = first_;
    beginStep(Step::Identity);
}

void ScanDriver::finish() {
    running_ = false;
    wait_ = Wait::None;
    deadline_->stop();
    // A reply still on its way belongs to no one now.
    cycle_.dropAwaited();
    emit finished(foundCount_);
}

void ScanDriver::beginStep(Step step) {
    step_ = step;
    tries_ = 0;
    sendTry();
}

std::uint8_t ScanDriver::tagCommand() const {
    return identity_->universalRevision >= kFirstLongTagRevision ? kReadLongTag : kReadTag;
}

int ScanDriver::replyCode() const {
    return requestFor(step_ == Step::Identity, step_ == Step::Tag && tagCommand() == kReadLongTag)
        .replyCode;
}

void ScanDriver::sendTry() {
    if (!portOpen()) { // closed under the scan: nothing more can be asked
        finish();
        return;
    }
    ++tries_;
    const auto& spec =
        requestFor(step_ == Step::Identity, step_ == Step::Tag && tagCommand() == kReadLongTag);
    const bool sent = cycle_.send(spec, nullptr, [this](host::Payload& p) {
        if (step_ == Step::Identity)
            p.pollAddress(static_cast<std::uint8_t>(address_));
        else
            p.target(identity_->uniqueAddress);
    });
    timing_ = cycle_.link().replyTiming(sent ? cycle_.lastFrameLength() : 0);
    sentAt_.start();
    awaitSilence(timing_.startMs);
}

void ScanDriver::awaitSilence(int ms) {
    wait_ = Wait::Silence;
    deadline_->start(std::max(ms, 0));
}

void ScanDriver::awaitWhole() {
    wait_ = Wait::Reply;
    deadline_->start(timing_.completeMs);
}

void ScanDriver::onDeadline() {
    if (wait_ == Wait::Silence && cycle_.link().replyUnderWay()) {
        awaitWhole();
        return;
    }
    if (wait_ == Wait::Silence || wait_ == Wait::Reply) tryFailed();
}

void ScanDriver::tryFailed() {
    wait_ = Wait::None;
    deadline_->stop();
    if (tries_ < kTries) {
        sendTry();
        return;
    }
    if (step_ == Step::Tag) report(QString()); // found, but its tag did not come
    addressDone();
}

void ScanDriver::onChunk(const QByteArray&) {
    if (wait_ != Wait::Silence && wait_ != Wait::Reply) return;
    // The reader judges it once the decode timer fires.
    wait_ = Wait::Judging;
    deadline_->stop();
}

// Whether the chunk holds the reply the current step waits for; it is kept
// for took().
bool ScanDriver::match() {
    taken_.reset();
    if (!running_) return false;
    const auto& b = cycle_.buffer();
    const auto bytes = std::span(b.data(), static_cast<std::size_t>(cycle_.received()));
    for (const hart::FrameSegment& segment : hart::parseFrames(bytes)) {
        if (!segment.frame || !intact(*segment.frame)) continue;
        if (step_ == Step::Identity ? isIdentity(*segment.frame) : isTag(*segment.frame)) {
            taken_ = *segment.frame;
            return true;
        }
    }
    return false;
}

void ScanDriver::took() {
    if (!taken_ || !running_) return;
    const hart::Frame f = *std::exchange(taken_, std::nullopt);
    wait_ = Wait::None;
    deadline_->stop();
    const auto data = dataOf(f);
    if (step_ == Step::Identity) {
        identity_ = hart::identityOf(data);
        identityData_ = QByteArray(reinterpret_cast<const char*>(data.data()),
                                   static_cast<qsizetype>(data.size()));
        beginStep(Step::Tag);
        return;
    }
    report(tagText(*f.command, data));
    addressDone();
}

// Not the awaited reply (a burst frame, a late reply to an earlier request):
// whatever was awaited is still awaited, unless nothing more is coming.
void ScanDriver::notTaken() {
    if (!running_ || wait_ != Wait::Judging) return;
    cycle_.expectReply(replyCode());
    if (cycle_.link().replyUnderWay())
        awaitWhole();
    else if (const int left = timing_.startMs - static_cast<int>(sentAt_.elapsed()); left > 0)
        awaitSilence(left);
    else
        tryFailed();
}

bool ScanDriver::isIdentity(const hart::Frame& f) const {
    return !f.longAddress && !f.addressBytes.empty() && f.command == 0 &&
           (f.addressBytes[0] & hart::kAddressMask) == address_ &&
           hart::identityOf(dataOf(f)).has_value();
}

bool ScanDriver::isTag(const hart::Frame& f) const {
    const hart::UniqueAddress& want = identity_->uniqueAddress;
    const std::uint8_t command = tagCommand();
    if (!f.longAddress || f.addressBytes.size() != want.size() || f.command != command ||
        (f.addressBytes[0] & hart::kAddressMask) != (want[0] & hart::kAddressMask) ||
        !std::equal(want.begin() + 1, want.end(), f.addressBytes.begin() + 1))
        return false;
    const std::size_t needed =
        command == kReadTag ? static_cast<std::size_t>(kPackedTagBytes) : hart::kLongTagSize;
    return dataOf(f).size() >= needed;
}

void ScanDriver::addressDone() {
    emit progressed(address_ - first_ + 1);
    if (stopAsked_ || address_ >= last_) {
        finish();
        return;
    }
    ++address_;
    beginStep(Step::Identity);
}

void ScanDriver::report(const QString& tag) {
    ++foundCount_;
    emit found({address_, identityData_, *identity_, tag});
}

} // namespace ops
