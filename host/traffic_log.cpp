// The traffic log's rows: what is logged, how a row reads, and the table
// model over them. Its files are in host/traffic_writers.cpp.
#include "host/traffic_log.h"

#include "hart/frame_parser.h"
#include "hart/frame_text.h"
#include "hart/pcapng.h"
#include "host/request_cycle.h"
#include "host/traffic_rows.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>
#include <QFontDatabase>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <limits>
#include <span>
#include <string>

namespace host {

using traffic::localTime;
using traffic::spanOf;

namespace {

// Rows wait this long for the rest of their batch before the view sees them:
// short enough to look live, long enough that a flood of burst frames costs
// the view a few insertions a second.
constexpr int kFlushMs = 40;

constexpr std::array<const char*, TrafficLog::kColumnCount> kHeaders{
    "Time",   "+ms",       "Direction",  "Meaning", "Preambles",
    "Master", "Burst bit", "Byte count", "Bytes"};
constexpr std::array<const char*, TrafficLog::kColumnCount> kHeaderTips{
    "Local time of the row",
    "Milliseconds since the previous row",
    "Sent to the device, or received from the line",
    "The frame decoded, or what happened",
    "0xFF bytes before the delimiter",
    "Primary or secondary master, from the address",
    "Burst-mode bit of the address",
    "Data bytes the frame announces",
    "Every byte of the frame as it went over the line",
};

qint64 systemMicros() {
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

// Local time of day as hh:mm:ss.mmm. A full local-time conversion per row
// costs more than all the rest of a row (the C library looks at the zone file
// each time); the offset from UTC only changes at a daylight-saving switch,
// which falls on a quarter hour in every zone, so one lookup per quarter hour
// of time stamps gives the same text.
QString timeText(qint64 micros) {
    constexpr qint64 kQuarterHourMs = 15 * 60 * 1000;
    constexpr qint64 kDayMs = 24 * 60 * 60 * 1000;
    static qint64 cachedQuarter = std::numeric_limits<qint64>::min();
    static qint64 offsetMs = 0;
    const qint64 ms = micros / 1000;
    if (const qint64 quarter = ms / kQuarterHourMs; quarter != cachedQuarter) {
        offsetMs =
            qint64{QDateTime::fromMSecsSinceEpoch(quarter * kQuarterHourMs).offsetFromUtc()} * 1000;
        cachedQuarter = quarter;
    }
    const qint64 ofDay = ((ms + offsetMs) % kDayMs + kDayMs) % kDayMs;
    return QString::asprintf("%02lld:%02lld:%02lld.%03lld", ofDay / 3'600'000, ofDay / 60'000 % 60,
                             ofDay / 1000 % 60, ofDay % 1000);
}

// Upper-case hex bytes separated by single spaces, as hart::hexBytes writes
// them, without a formatted print per byte: saving 100,000 rows writes
// millions of these.
QString hexText(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    QString out(bytes.empty() ? 0 : static_cast<qsizetype>(bytes.size() * 3 - 1), u' ');
    QChar* at = out.data();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        at[3 * i] = QLatin1Char(kDigits[bytes[i] >> 4]);
        at[3 * i + 1] = QLatin1Char(kDigits[bytes[i] & 0x0F]);
    }
    return out;
}

// The one frame a frame row holds: its bytes were cut out of the line at the
// frame's bounds, so parsing them again gives that frame back.
std::optional<hart::Frame> frameOf(const QByteArray& bytes) {
    auto segments = hart::parseFrames(spanOf(bytes));
    if (segments.size() != 1 || !segments.front().frame) return std::nullopt;
    return std::move(segments.front().frame);
}

// Text of a status line or note, without the line breaks a text line cannot hold.
QString oneLine(QString s) {
    return s.replace(QLatin1Char('\n'), QLatin1String(" / ")).replace(QLatin1Char('\t'), u' ');
}

} // namespace

TrafficLog::TrafficLog(QObject* parent)
    : QAbstractTableModel(parent), clock_(systemMicros), flushTimer_(new QTimer(this)) {
    setObjectName(QStringLiteral("TrafficLog"));
    flushTimer_->setSingleShot(true);
    flushTimer_->setInterval(kFlushMs);
    connect(flushTimer_, &QTimer::timeout, this, &TrafficLog::flush);
}

TrafficLog::~TrafficLog() = default;

void TrafficLog::watch(RequestCycle& cycle) {
    connect(&cycle, &RequestCycle::frameSent, this, &TrafficLog::logSent);
    connect(&cycle, &RequestCycle::chunkReceived, this, &TrafficLog::logReceived);
    connect(&cycle, &RequestCycle::replyTimedOut, this, &TrafficLog::logTimeout);
    connect(&cycle, &RequestCycle::replyNotDecoded, this, &TrafficLog::logNotDecoded);
}

// ---- Logging

void TrafficLog::logSent(const QByteArray& bytes) {
    logBytes(bytes, Way::ToDevice);
}

void TrafficLog::logReceived(const QByteArray& chunk) {
    logBytes(chunk, Way::FromDevice);
}

void TrafficLog::logPortOpened(const QString& port) {
    logEvent(QStringLiteral("Port opened: %1").arg(port));
}

void TrafficLog::logPortClosed(const QString& port) {
    logEvent(QStringLiteral("Port closed: %1").arg(port));
}

void TrafficLog::logPortLost(const QString& port) {
    logEvent(QStringLiteral("Port lost: %1 went away").arg(port));
}

void TrafficLog::logTimeout(int replyCode) {
    logEvent(QStringLiteral("Reply time-out: no reply for reply code %1").arg(replyCode));
}

void TrafficLog::logNotDecoded(int replyCode, const QString& status) {
    logEvent(QStringLiteral("Reply not decoded (reply code %1): %2").arg(replyCode).arg(status));
}

void TrafficLog::logNote(const QString& text) {
    logEvent(text);
}

void TrafficLog::logBytes(const QByteArray& bytes, Way way) {
    // The frames of one chunk arrived together and share its time stamp.
    const qint64 now = clock_();
    for (const hart::FrameSegment& segment : hart::parseFrames(spanOf(bytes))) {
        Row& row = append(segment.frame ? Kind::Frame : Kind::Unparsed, way, now);
        row.bytes = bytes.mid(static_cast<qsizetype>(segment.offset),
                              static_cast<qsizetype>(segment.length));
        if (segment.frame) {
            // A request opens a transaction; its reply (and any burst frame
            // until the next request) shares its sequence number.
            const auto type = hart::pcapng::messageTypeFor(
                directionOf(way), hart::ip::withoutPreambles(spanOf(row.bytes)));
            if (type == hart::ip::MessageType::Request) ++sequence_;
            row.sequence = sequence_;
        }
        writeTrace(row);
    }
}

void TrafficLog::logEvent(const QString& text) {
    Row& row = append(Kind::Event, Way::None, clock_());
    row.event = oneLine(text);
    writeTrace(row);
}

TrafficLog::Row& TrafficLog::append(Kind kind, Way way, qint64 now) {
    Row& row = pending_.emplace_back();
    row.id = nextId_++;
    row.micros = now;
    row.sincePrevious = lastMicros_ ? now - *lastMicros_ : -1;
    row.kind = kind;
    row.way = way;
    lastMicros_ = now;
    scheduleFlush();
    return row;
}

void TrafficLog::scheduleFlush() {
    if (!flushTimer_->isActive()) flushTimer_->start();
}

void TrafficLog::flush() {
    flushTimer_->stop();
    bool changed = false;
    const auto total = static_cast<qint64>(rows_.size() + pending_.size());
    if (const qint64 over = total - capacity_; over > 0) {
        const auto fromRows = std::min(over, static_cast<qint64>(rows_.size()));
        const int first = dropped_ > 0 ? 1 : 0; // below the notice row
        if (fromRows > 0) {
            beginRemoveRows({}, first, first + static_cast<int>(fromRows) - 1);
            rows_.erase(rows_.begin(), rows_.begin() + fromRows);
            endRemoveRows();
        }
        // More rows waiting than the log keeps: the oldest never reach the view.
        pending_.erase(pending_.begin(), pending_.begin() + (over - fromRows));
        if (dropped_ > 0) {
            dropped_ += over;
            emit dataChanged(index(0, 0), index(0, kColumnCount - 1));
        } else {
            beginInsertRows({}, 0, 0);
            dropped_ += over;
            endInsertRows();
        }
        changed = true;
    }
    if (!pending_.empty()) {
        const int first = rowCount();
        beginInsertRows({}, first, first + static_cast<int>(pending_.size()) - 1);
        rows_.insert(rows_.end(), std::make_move_iterator(pending_.begin()),
                     std::make_move_iterator(pending_.end()));
        pending_.clear();
        endInsertRows();
        changed = true;
    }
    if (changed) emit rowsLogged();
}

void TrafficLog::clear() {
    flushTimer_->stop();
    beginResetModel();
    rows_.clear();
    pending_.clear();
    dropped_ = 0;
    lastMicros_.reset();
    endResetModel();
}

void TrafficLog::setCapacity(int rows) {
    capacity_ = std::max(1, rows);
    flush();
}

void TrafficLog::setClock(std::function<qint64()> microsecondsNow) {
    clock_ = microsecondsNow ? std::move(microsecondsNow) : systemMicros;
}

// ---- What a row shows

const TrafficLog::Row* TrafficLog::rowAt(int row) const {
    if (dropped_ > 0) {
        if (row == 0) return nullptr;
        --row;
    }
    return &rows_[static_cast<std::size_t>(row)];
}

QString TrafficLog::noticeText() const {
    return dropped_ == 1 ? QStringLiteral("1 oldest row dropped")
                         : QStringLiteral("%1 oldest rows dropped").arg(dropped_);
}

const TrafficLog::Shown& TrafficLog::shown(const Row& row) const {
    Shown& slot = cache_[row.id % cache_.size()];
    if (slot.id != row.id) slot = describe(row);
    return slot;
}

TrafficLog::Shown TrafficLog::describe(const Row& row) {
    Shown s{row.id, {}, row.kind == Kind::Unparsed};
    auto& c = s.columns;
    c[Time] = timeText(row.micros);
    if (row.sincePrevious >= 0)
        c[SincePrevious] = QString::number((row.sincePrevious + 500) / 1000);
    if (row.way != Way::None)
        c[Direction] =
            row.way == Way::ToDevice ? QStringLiteral("to device") : QStringLiteral("from device");
    if (row.kind == Kind::Event) {
        c[Meaning] = row.event;
        return s;
    }
    c[Bytes] = hexText(spanOf(row.bytes));
    const auto frame = row.kind == Kind::Frame ? frameOf(row.bytes) : std::nullopt;
    if (!frame) {
        c[Meaning] = text(hart::describeUnparsed(spanOf(row.bytes)).summary);
        s.problem = true;
        return s;
    }
    c[Meaning] = text(hart::describeFrame(*frame).summary);
    c[Preambles] = QString::number(frame->preambles);
    if (frame->address) {
        c[Master] =
            frame->address->primaryMaster ? QStringLiteral("primary") : QStringLiteral("secondary");
        c[BurstBit] = frame->address->burstMode ? QStringLiteral("set") : QStringLiteral("clear");
    }
    if (frame->byteCount) c[ByteCount] = QString::number(*frame->byteCount);
    s.problem = !frame->intact();
    return s;
}

QString TrafficLog::lineOf(const std::array<QString, kColumnCount>& columns) {
    QString line;
    for (int i = 0; i < kColumnCount; ++i) {
        if (i > 0) line += u'\t';
        line += columns[static_cast<std::size_t>(i)];
    }
    return line;
}

QString TrafficLog::headerText() {
    QString line;
    for (const char* h : kHeaders) {
        if (!line.isEmpty()) line += u'\t';
        line += QLatin1String(h);
    }
    return line;
}

QString TrafficLog::rowText(int row) const {
    if (row < 0 || row >= rowCount()) return {};
    if (const Row* r = rowAt(row)) return lineOf(shown(*r).columns);
    std::array<QString, kColumnCount> notice;
    notice[Meaning] = noticeText();
    return lineOf(notice);
}

QString TrafficLog::details(int row) const {
    if (row < 0 || row >= rowCount()) return {};
    const Row* r = rowAt(row);
    if (!r)
        return noticeText() + QStringLiteral(": the log keeps the newest %1 rows.").arg(capacity_);
    QStringList lines;
    const QDateTime when = localTime(r->micros);
    lines << QStringLiteral("Time: %1%2")
                 .arg(when.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")))
                 .arg(r->micros % 1000, 3, 10, QLatin1Char('0'));
    if (r->sincePrevious >= 0)
        lines << QStringLiteral("Since the previous row: %1 ms")
                     .arg(QString::number(static_cast<double>(r->sincePrevious) / 1000.0, 'f', 3));
    if (r->kind == Kind::Event) {
        lines << QStringLiteral("Event: %1").arg(r->event);
        return lines.join(u'\n');
    }
    lines << QStringLiteral("Direction: %1").arg(shown(*r).columns[Direction]);
    const auto frame = r->kind == Kind::Frame ? frameOf(r->bytes) : std::nullopt;
    const hart::FrameText described =
        frame ? hart::describeFrame(*frame) : hart::describeUnparsed(spanOf(r->bytes));
    for (const hart::FrameField& field : described.fields)
        lines << QStringLiteral("%1: %2").arg(
            QLatin1String(field.name.data(), static_cast<qsizetype>(field.name.size())),
            text(field.value));
    if (frame) {
        lines << QStringLiteral("All bytes: %1").arg(hexText(spanOf(r->bytes)));
        lines << QStringLiteral("HART-IP sequence number in a capture: %1").arg(r->sequence);
    } else {
        lines << QStringLiteral("These bytes form no frame: a .pcapng capture leaves them out.");
    }
    return lines.join(u'\n');
}

// ---- Model

int TrafficLog::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return static_cast<int>(rows_.size()) + (dropped_ > 0 ? 1 : 0);
}

int TrafficLog::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant TrafficLog::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= kColumnCount) return {};
    const int column = index.column();
    const Row* row = rowAt(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        if (!row) return column == Meaning ? noticeText() : QString();
        return shown(*row).columns[static_cast<std::size_t>(column)];
    case Qt::FontRole:
        if (column == Bytes) return QFontDatabase::systemFont(QFontDatabase::FixedFont);
        return {};
    case Qt::TextAlignmentRole:
        if (column == SincePrevious || column == Preambles || column == ByteCount)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    case Qt::ForegroundRole:
        if (!row) return QBrush(QColor(0x60, 0x60, 0x60));
        if (row->kind == Kind::Event) return QBrush(QColor(0x1f, 0x4f, 0x8f));
        if (shown(*row).problem) return QBrush(QColor(0xa0, 0x10, 0x10));
        return {};
    default:
        return {};
    }
}

QVariant TrafficLog::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
    const auto at = static_cast<std::size_t>(section);
    if (role == Qt::DisplayRole) return QString::fromLatin1(kHeaders[at]);
    if (role == Qt::ToolTipRole) return QString::fromLatin1(kHeaderTips[at]);
    return {};
}

} // namespace host
