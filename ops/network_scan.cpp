// "Network": every polling address of a multidrop loop asked for its device,
// each device found asked for its tag, one table row per device. A row
// double-clicked becomes the current device of every page.
//
// The scan is three request rows and their readers (below), sent through the
// one send path like any button, and a driver that steps through the
// addresses. It times its own exchanges instead of waiting out the 3 s reply
// timeout at each address, with the timing the link gives: on a modem a
// slave begins its reply within 28 character times of the request's end, so
// an address is silent once the request's time on the wire and that time-out
// have passed; over HART-IP the server's answer time, since a gateway relays
// the request to its loop. A reply that has begun (the link can tell before
// the serial component hands the chunk over) is awaited as a whole. Every
// address gets one retry, as HART masters retry; a device that answers only
// the retry is found, and one that answers the first try late is found too.
#include "ops/ops.h"

#include "hart/device_commands.h"
#include "hart/device_identity.h"
#include "hart/encodings.h"
#include "hart/frame_parser.h"
#include "hart/protocol.h"
#include "host/device.h"
#include "host/request_cycle.h"
#include "host/widgets.h"
#include "link/link.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

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

// "0-15" and "0-63": the highest polling address each asks.
struct ScanRange {
    const char* text;
    int last;
};
constexpr ScanRange kRanges[] = {{"0-15", 15}, {"0-63", hart::kHighestPollAddress}};
constexpr int kDefaultRange = 1;

enum Column { Address, Manufacturer, DeviceType, DeviceId, HartRevision, DeviceRevision, Tag };
constexpr const char* kColumns[] = {"Address",       "Manufacturer",    "Device type", "Device ID",
                                    "HART revision", "Device revision", "Tag"};
// The Address cell keeps the device's command-0 data for the double-click.
constexpr int kIdentityRole = Qt::UserRole;

bool intact(const hart::Frame& f) {
    return f.type == hart::FrameType::Reply && f.intact() && f.data.size() >= 2;
}

// Reply data after the two status bytes.
std::span<const std::uint8_t> dataOf(const hart::Frame& f) {
    return std::span(f.data).subspan(2);
}

QString hex(std::uint32_t value, int digits) {
    return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
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

class NetworkScan : public QObject {
public:
    struct Widgets {
        QComboBox* range;
        QPushButton* scan;
        QPushButton* stop;
        QProgressBar* progress;
        QTableWidget* table;
    };

    NetworkScan(host::PageHost& host, Widgets w)
        : QObject(w.table), host_(host), cycle_(host.cycle()), w_(w), deadline_(new QTimer(this)) {
        deadline_->setSingleShot(true);
        connect(deadline_, &QTimer::timeout, this,
                [this] { host_.guarded([this] { onDeadline(); }); });
        connect(&cycle_, &host::RequestCycle::chunkReceived, this, &NetworkScan::onChunk);
        host_.onClick(w_.scan, [this] { start(); });
        host_.onClick(w_.stop, [this] { askStop(); });
        connect(w_.table, &QTableWidget::cellDoubleClicked, this,
                [this](int row, int) { host_.guarded([this, row] { selectRow(row); }); });
        for (const ScanReader& r : kReaders) {
            cycle_.addRequest(r.replyCode);
            cycle_.addReader({r.replyCode, 0, r.scan, host::status::kUploadFailed,
                              [this](const host::Reply&) { took(); }, [this] { notTaken(); },
                              [this](const host::Reply&) { return match(); }});
        }
    }

private:
    enum class Step { Identity, Tag };
    // Silence: no reply has begun yet. Reply: one has begun and is awaited
    // whole. Judging: a chunk came in and its reader will judge it.
    enum class Wait { None, Silence, Reply, Judging };

    bool portOpen() const { return host_.device().portOpen(); }

    void start() {
        if (running_ || !portOpen()) return;
        // The scan has the line to itself: no discovery step and no awaited
        // reply may take its answers, and no page may send meanwhile.
        host_.discoveryTimer()->stop();
        cycle_.dropAwaited();
        host_.holdRequests(true);
        running_ = true;
        stopAsked_ = false;
        first_ = 0;
        last_ = kRanges[std::max(0, w_.range->currentIndex())].last;
        w_.table->setRowCount(0);
        w_.progress->setRange(0, last_ - first_ + 1);
        w_.progress->setValue(0);
        w_.scan->setEnabled(false);
        w_.range->setEnabled(false);
        w_.stop->setEnabled(true);
        address_ = first_;
        beginStep(Step::Identity);
    }

    void askStop() {
        stopAsked_ = true;
        w_.stop->setEnabled(false);
    }

    void finish() {
        running_ = false;
        wait_ = Wait::None;
        deadline_->stop();
        // A reply still on its way belongs to no one now.
        cycle_.dropAwaited();
        host_.holdRequests(false);
        w_.stop->setEnabled(false);
        w_.range->setEnabled(true);
        w_.scan->setEnabled(portOpen());
        if (portOpen()) {
            const int found = w_.table->rowCount();
            cycle_.setStatus(found == 1 ? QStringLiteral("Scan finished: 1 device found")
                                        : QStringLiteral("Scan finished: %1 devices found")
                                              .arg(found));
        }
    }

    void beginStep(Step step) {
        step_ = step;
        tries_ = 0;
        sendTry();
    }

    const host::RequestSpec& request() const {
        if (step_ == Step::Identity) return kAskIdentity;
        return identity_->universalRevision >= kFirstLongTagRevision ? kAskLongTag : kAskTag;
    }

    void sendTry() {
        if (!portOpen()) { // closed under the scan: nothing more can be asked
            finish();
            return;
        }
        ++tries_;
        const bool sent = cycle_.send(request(), nullptr, [this](host::Payload& p) {
            if (step_ == Step::Identity)
                p.pollAddress(static_cast<std::uint8_t>(address_));
            else
                p.target(identity_->uniqueAddress);
        });
        timing_ = cycle_.link().replyTiming(sent ? cycle_.lastFrameLength() : 0);
        sentAt_.start();
        awaitSilence(timing_.startMs);
    }

    void awaitSilence(int ms) {
        wait_ = Wait::Silence;
        deadline_->start(std::max(ms, 0));
    }

    void awaitWhole() {
        wait_ = Wait::Reply;
        deadline_->start(timing_.completeMs);
    }

    void onDeadline() {
        if (wait_ == Wait::Silence && cycle_.link().replyUnderWay()) {
            awaitWhole();
            return;
        }
        if (wait_ == Wait::Silence || wait_ == Wait::Reply) tryFailed();
    }

    void tryFailed() {
        wait_ = Wait::None;
        deadline_->stop();
        if (tries_ < kTries) {
            sendTry();
            return;
        }
        if (step_ == Step::Tag) addRow(QString()); // found, but its tag did not come
        addressDone();
    }

    void onChunk(const QByteArray&) {
        if (wait_ != Wait::Silence && wait_ != Wait::Reply) return;
        // The reader judges it once the decode timer fires.
        wait_ = Wait::Judging;
        deadline_->stop();
    }

    // ---- The readers' steps.

    // Whether the chunk holds the reply the current step waits for; it is
    // kept for took().
    bool match() {
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

    void took() {
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
        addRow(tagText(*f.command, data));
        addressDone();
    }

    // Not the awaited reply (a burst frame, a late reply to an earlier
    // request): whatever was awaited is still awaited, unless nothing more
    // is coming.
    void notTaken() {
        if (!running_ || wait_ != Wait::Judging) return;
        cycle_.expectReply(request().replyCode);
        if (cycle_.link().replyUnderWay())
            awaitWhole();
        else if (const int left = timing_.startMs - static_cast<int>(sentAt_.elapsed()); left > 0)
            awaitSilence(left);
        else
            tryFailed();
    }

    bool isIdentity(const hart::Frame& f) const {
        return !f.longAddress && !f.addressBytes.empty() && f.command == 0 &&
               (f.addressBytes[0] & hart::kAddressMask) == address_ &&
               hart::identityOf(dataOf(f)).has_value();
    }

    bool isTag(const hart::Frame& f) const {
        const hart::UniqueAddress& want = identity_->uniqueAddress;
        const std::uint8_t command = request().frame.command;
        if (!f.longAddress || f.addressBytes.size() != want.size() || f.command != command ||
            (f.addressBytes[0] & hart::kAddressMask) != (want[0] & hart::kAddressMask) ||
            !std::equal(want.begin() + 1, want.end(), f.addressBytes.begin() + 1))
            return false;
        const std::size_t needed =
            command == kReadTag ? static_cast<std::size_t>(kPackedTagBytes) : hart::kLongTagSize;
        return dataOf(f).size() >= needed;
    }

    void addressDone() {
        w_.progress->setValue(address_ - first_ + 1);
        if (stopAsked_ || address_ >= last_) {
            finish();
            return;
        }
        ++address_;
        beginStep(Step::Identity);
    }

    void addRow(const QString& tag) {
        const hart::DeviceIdentity& id = *identity_;
        QStringList cells(std::size(kColumns));
        cells[Address] = QString::number(address_);
        cells[Manufacturer] = id.manufacturer
                                  ? QString::fromStdString(hart::manufacturerText(*id.manufacturer))
                                  : QString();
        cells[DeviceType] = hex(id.deviceType, id.expandedDeviceType ? 4 : 2);
        cells[DeviceId] = hex(id.deviceId, 6);
        cells[HartRevision] = QString::number(id.universalRevision);
        cells[DeviceRevision] = QString::number(id.deviceRevision);
        cells[Tag] = tag;

        const int row = w_.table->rowCount();
        w_.table->insertRow(row);
        for (int col = 0; col < cells.size(); ++col)
            w_.table->setItem(row, col, new QTableWidgetItem(cells[col]));
        w_.table->item(row, Address)->setData(kIdentityRole, identityData_);
    }

    void selectRow(int row) {
        const QTableWidgetItem* cell = w_.table->item(row, Address);
        if (!cell) return;
        const QByteArray data = cell->data(kIdentityRole).toByteArray();
        host_.device().adopt(std::span(reinterpret_cast<const std::uint8_t*>(data.constData()),
                                       static_cast<std::size_t>(data.size())),
                             static_cast<std::uint8_t>(cell->text().toInt()));
    }

    host::PageHost& host_;
    host::RequestCycle& cycle_;
    Widgets w_;
    QTimer* deadline_;

    bool running_ = false;
    bool stopAsked_ = false;
    int first_ = 0;
    int last_ = 0;
    int address_ = 0;
    Step step_ = Step::Identity;
    Wait wait_ = Wait::None;
    int tries_ = 0;
    line::ReplyTiming timing_;
    QElapsedTimer sentAt_;
    std::optional<hart::Frame> taken_;
    std::optional<hart::DeviceIdentity> identity_;
    QByteArray identityData_;
};

} // namespace

void buildNetworkScan(host::PageHost& host) {
    NetworkScan::Widgets w{};
    w.range = new QComboBox;
    w.range->setObjectName(QStringLiteral("ScanRange"));
    for (const ScanRange& r : kRanges)
        w.range->addItem(QString::fromLatin1(r.text));
    w.range->setCurrentIndex(kDefaultRange);
    w.scan = host::makeButton("ScanNetwork", QStringLiteral("Scan"));
    w.stop = host::makeButton("StopScan", QStringLiteral("Stop"));
    w.stop->setEnabled(false);
    w.progress = new QProgressBar;
    w.progress->setObjectName(QStringLiteral("ScanProgress"));
    w.progress->setRange(0, kRanges[kDefaultRange].last + 1);
    w.progress->setValue(0);
    w.progress->setFormat(QStringLiteral("%v / %m"));

    w.table = new QTableWidget(0, static_cast<int>(std::size(kColumns)));
    w.table->setObjectName(QStringLiteral("NetworkTable"));
    QStringList headers;
    for (const char* c : kColumns)
        headers << QString::fromLatin1(c);
    w.table->setHorizontalHeaderLabels(headers);
    w.table->verticalHeader()->setVisible(false);
    w.table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    w.table->horizontalHeader()->setStretchLastSection(true);
    w.table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    w.table->setSelectionBehavior(QAbstractItemView::SelectRows);
    w.table->setSelectionMode(QAbstractItemView::SingleSelection);
    w.table->setMinimumSize(820, 320);

    host::FormGroup group("GroupBoxNetwork", QStringLiteral("Devices On The Loop"));
    auto* controls = new QWidget;
    auto* row = new QHBoxLayout(controls);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(w.range);
    row->addWidget(w.scan);
    row->addWidget(w.stop);
    row->addWidget(w.progress, 1);
    group.addRow(QStringLiteral("Polling addresses:"), {controls});
    group.addWide(w.table);
    group.addWide(host::makeLabel(
        QStringLiteral("Double-click a device to make it the current one on every page.")));
    host.place(host::Page::Network, group.box(), 0, 0);

    host.portDependent(w.scan);
    new NetworkScan(host, w);
}

} // namespace ops
