// "Network": every polling address of a multidrop loop asked for its device,
// each device found asked for its tag, one table row per device. A row
// double-clicked becomes the current device of every page.
//
// The scan times its own exchanges instead of waiting out the 3 s reply
// timeout at each address: a slave must begin its reply within 28 character
// times of the request's end, so an address is silent once the request's
// time on the wire and that time-out have passed without a byte. The serial
// component hands a reply over only after 300 ms of quiet, far too late to
// tell; its count of bytes taken off the line (line::Link::bytesArrived)
// tells at once, and a reply that has begun is then awaited as a whole.
// Every address gets one retry, as HART masters retry; a device that
// answers only the retry is found.
#include "ops/ops.h"

#include "hart/device_identity.h"
#include "hart/encodings.h"
#include "hart/frame.h"
#include "hart/frame_parser.h"
#include "hart/link_buffer.h"
#include "hart/protocol.h"
#include "host/request_cycle.h"
#include "host/widgets.h"

#include <QComboBox>
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
#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace ops {

namespace {

// 1200 baud, eleven bits a character (start, eight data, odd parity, stop).
constexpr double kCharacterMs = 11.0 * 1000.0 / 1200.0;
// A slave begins its reply within this many character times of the request.
constexpr int kSlaveTimeoutCharacters = 28;
// The modem's carrier turnaround and a USB adapter's latency on top.
constexpr int kLineAllowanceMs = 50;
// A reply that has begun: the longest one (255 bytes, 2.3 s) and the serial
// component's 300 ms of quiet after it.
constexpr int kReplyGuardMs = 3000;
constexpr int kTries = 2; // the first request and one retry

constexpr int kScanPreambles = 6;
constexpr std::uint8_t kReadTag = 13;     // tag, descriptor, date (HART 5 and 6)
constexpr std::uint8_t kReadLongTag = 20; // from HART 7 on
constexpr std::uint8_t kFirstLongTagRevision = 7;
constexpr int kTagChars = 8; // command 13: six packed bytes
constexpr int kPackedTagBytes = 6;
constexpr int kLongTagBytes = 32; // command 20: Latin-1, unused ones NUL

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

int silenceMs(std::size_t frameLength) {
    const double characters = static_cast<double>(frameLength) + kSlaveTimeoutCharacters;
    return static_cast<int>(std::ceil(characters * kCharacterMs)) + kLineAllowanceMs;
}

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

QString tagText(std::uint8_t command, std::span<const std::uint8_t> data) {
    if (command == kReadTag)
        return chopTrailingBlanks(
            QString::fromStdString(hart::packedAsciiToText(data.data(), kTagChars)));
    QString tag = QString::fromLatin1(reinterpret_cast<const char*>(data.data()), kLongTagBytes);
    if (const qsizetype nul = tag.indexOf(QChar(0)); nul >= 0) tag.truncate(nul);
    return chopTrailingBlanks(tag);
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

    NetworkScan(host::PageHost& host, Widgets w, MakeCurrent makeCurrent)
        : QObject(w.table), host_(host), cycle_(host.cycle()), w_(w),
          makeCurrent_(std::move(makeCurrent)), deadline_(new QTimer(this)) {
        deadline_->setSingleShot(true);
        connect(deadline_, &QTimer::timeout, this,
                [this] { host_.guarded([this] { onDeadline(); }); });
        connect(&cycle_, &host::RequestCycle::chunkReceived, this, &NetworkScan::onChunk);
        host_.onClick(w_.scan, [this] { start(); });
        host_.onClick(w_.stop, [this] { askStop(); });
        connect(w_.table, &QTableWidget::cellDoubleClicked, this,
                [this](int row, int) { host_.guarded([this, row] { selectRow(row); }); });
    }

private:
    enum class Step { Identity, Tag };
    enum class Wait { None, Silence, Reply };

    bool portOpen() const { return cycle_.buffer()[hart::lb::kPortOpen] != 0; }

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
        host_.holdRequests(false);
        w_.stop->setEnabled(false);
        w_.range->setEnabled(true);
        w_.scan->setEnabled(portOpen());
    }

    void beginStep(Step step) {
        step_ = step;
        tries_ = 0;
        sendTry();
    }

    void sendTry() {
        if (!portOpen()) { // closed under the scan: nothing more can be asked
            finish();
            return;
        }
        ++tries_;
        auto& b = cycle_.buffer();
        const std::size_t length =
            step_ == Step::Identity
                ? hart::buildShortFrame(b, kScanPreambles, hart::kPrimaryMaster,
                                        static_cast<std::uint8_t>(address_))
                : hart::buildLongFrameTo(b, hart::kPrimaryMaster, identity_->uniqueAddress,
                                         tagCommand(), {});
        arrivedAtSend_ = cycle_.bytesArrived();
        chunkBytes_ = 0;
        wait_ = Wait::Silence;
        cycle_.sendUnawaited(length);
        deadline_->start(silenceMs(length));
    }

    std::uint8_t tagCommand() const {
        return identity_->universalRevision >= kFirstLongTagRevision ? kReadLongTag : kReadTag;
    }

    // Bytes that came off the line since the request and are still on their
    // way in a chunk: a reply has begun.
    bool replyUnderWay() const {
        const auto now = cycle_.bytesArrived();
        if (!now || !arrivedAtSend_) return false;
        return *now > *arrivedAtSend_ + chunkBytes_;
    }

    void onDeadline() {
        if (wait_ == Wait::Silence && replyUnderWay()) {
            wait_ = Wait::Reply;
            deadline_->start(kReplyGuardMs);
            return;
        }
        tryFailed();
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

    void onChunk(const QByteArray& chunk) {
        if (wait_ == Wait::None) return;
        chunkBytes_ += static_cast<std::uint64_t>(chunk.size());
        const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(chunk.constData()),
                                     static_cast<std::size_t>(chunk.size()));
        for (const hart::FrameSegment& segment : hart::parseFrames(bytes)) {
            if (!segment.frame || !intact(*segment.frame)) continue;
            if (step_ == Step::Identity ? takeIdentity(*segment.frame) : takeTag(*segment.frame))
                return;
        }
        // Not the answer (a burst frame, a late reply to an earlier request):
        // whatever was awaited is still awaited, unless nothing more is coming.
        if (wait_ == Wait::Reply && !replyUnderWay()) tryFailed();
    }

    bool takeIdentity(const hart::Frame& f) {
        if (f.longAddress || f.addressBytes.empty() || *f.command != 0 ||
            (f.addressBytes[0] & hart::kAddressMask) != address_)
            return false;
        const auto identity = hart::identityOf(dataOf(f));
        if (!identity) return false;
        deadline_->stop();
        wait_ = Wait::None;
        identity_ = identity;
        const auto data = dataOf(f);
        identityData_ = QByteArray(reinterpret_cast<const char*>(data.data()),
                                   static_cast<qsizetype>(data.size()));
        beginStep(Step::Tag);
        return true;
    }

    bool takeTag(const hart::Frame& f) {
        const hart::UniqueAddress& want = identity_->uniqueAddress;
        if (!f.longAddress || f.addressBytes.size() != want.size() || *f.command != tagCommand() ||
            (f.addressBytes[0] & hart::kAddressMask) != (want[0] & hart::kAddressMask) ||
            !std::equal(want.begin() + 1, want.end(), f.addressBytes.begin() + 1))
            return false;
        const auto data = dataOf(f);
        const std::size_t needed = tagCommand() == kReadTag ? kPackedTagBytes : kLongTagBytes;
        if (data.size() < needed) return false;
        deadline_->stop();
        wait_ = Wait::None;
        addRow(tagText(tagCommand(), data));
        addressDone();
        return true;
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
        makeCurrent_(std::span(reinterpret_cast<const std::uint8_t*>(data.constData()),
                               static_cast<std::size_t>(data.size())),
                     static_cast<std::uint8_t>(cell->text().toInt()));
    }

    host::PageHost& host_;
    host::RequestCycle& cycle_;
    Widgets w_;
    MakeCurrent makeCurrent_;
    QTimer* deadline_;

    bool running_ = false;
    bool stopAsked_ = false;
    int first_ = 0;
    int last_ = 0;
    int address_ = 0;
    Step step_ = Step::Identity;
    Wait wait_ = Wait::None;
    int tries_ = 0;
    std::optional<std::uint64_t> arrivedAtSend_;
    std::uint64_t chunkBytes_ = 0;
    std::optional<hart::DeviceIdentity> identity_;
    QByteArray identityData_;
};

} // namespace

void buildNetworkScan(host::PageHost& host, MakeCurrent makeCurrent) {
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
    new NetworkScan(host, w, std::move(makeCurrent));
}

} // namespace ops
