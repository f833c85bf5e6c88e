// The traffic log's files: the log saved whole as text or as a pcapng
// capture, and the trace that records every row as it comes.
#include "host/traffic_log.h"

#include "hart/pcapng.h"
#include "host/traffic_rows.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>

namespace host {

using traffic::localTime;
using traffic::spanOf;

namespace {

// Saving hands the file this much at a time, not the whole log at once.
constexpr int kWriteBlock = 256 * 1024;

struct FormatRow {
    const char* suffix;
    TrafficLog::Format format;
};
constexpr std::array kFormats{FormatRow{"txt", TrafficLog::Format::Text},
                              FormatRow{"pcapng", TrafficLog::Format::Capture}};

} // namespace


std::optional<TrafficLog::Format> TrafficLog::formatOf(const QString& path) {
    const QString suffix = QFileInfo(path).suffix();
    for (const FormatRow& row : kFormats)
        if (suffix.compare(QLatin1String(row.suffix), Qt::CaseInsensitive) == 0) return row.format;
    return std::nullopt;
}

hart::pcapng::Direction TrafficLog::directionOf(Way way) {
    return way == Way::ToDevice ? hart::pcapng::Direction::ToDevice
                                : hart::pcapng::Direction::FromDevice;
}

void TrafficLog::writeFramePacket(hart::pcapng::Writer& writer, const Row& row,
                                  std::uint16_t& ipId) {
    writer.writePacket(hart::pcapng::hartPduPacket(directionOf(row.way), spanOf(row.bytes),
                                                   row.sequence, hart::pcapng::kDefaultToolPort,
                                                   ++ipId),
                       static_cast<std::uint64_t>(row.micros));
}

// ---- Files

bool TrafficLog::writeText(QIODevice& out) const {
    QByteArray block =
        QStringLiteral("# rx460k traffic log of %1, local times; columns separated "
                       "by tabs\n%2\n")
            .arg(rows_.empty() ? QDateTime::currentDateTime().toString(Qt::ISODate)
                               : localTime(rows_.front().micros).toString(Qt::ISODate),
                 headerText())
            .toUtf8();
    const int rows = rowCount();
    for (int i = 0; i < rows; ++i) {
        block += (rowText(i) + u'\n').toUtf8();
        if (block.size() >= kWriteBlock || i + 1 == rows) {
            if (out.write(block) != block.size()) return false;
            block.clear();
        }
    }
    return rows > 0 || out.write(block) == block.size();
}

bool TrafficLog::writeCapture(QIODevice& out) const {
    std::ostringstream blocks;
    hart::pcapng::Writer writer(blocks);
    const auto handOver = [&] {
        const std::string bytes = blocks.str();
        blocks.str({});
        return out.write(bytes.data(), static_cast<qint64>(bytes.size())) ==
               static_cast<qint64>(bytes.size());
    };
    std::uint16_t ipId = 0;
    for (const Row& row : rows_) {
        if (row.kind != Kind::Frame) continue; // neither events nor bytes outside a frame
        writeFramePacket(writer, row, ipId);
        if (blocks.tellp() >= kWriteBlock && !handOver()) return false;
    }
    return writer.good() && handOver();
}

bool TrafficLog::save(const QString& path) {
    flush();
    const auto format = formatOf(path);
    if (!format) {
        error_ =
            QStringLiteral("%1: the name must end in .txt (text) or .pcapng (capture)").arg(path);
        return false;
    }
    // The file appears only when complete: a failed save leaves nothing
    // behind, and an older file of that name stays as it was.
    QSaveFile file(path);
    const bool written = file.open(QIODevice::WriteOnly) &&
                         (*format == Format::Text ? writeText(file) : writeCapture(file)) &&
                         file.commit();
    if (!written) {
        error_ = QStringLiteral("%1: %2").arg(path, file.errorString());
        file.cancelWriting();
        return false;
    }
    error_.clear();
    return true;
}

// ---- Trace file

bool TrafficLog::startTrace(const QString& path) {
    stopTrace();
    const auto format = formatOf(path);
    if (!format) {
        error_ =
            QStringLiteral("%1: the name must end in .txt (text) or .pcapng (capture)").arg(path);
        return false;
    }
    auto trace = std::make_unique<Trace>();
    trace->path = path;
    trace->format = *format;
    trace->file = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!trace->file) {
        error_ = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (*format == Format::Capture) {
        trace->capture = std::make_unique<hart::pcapng::Writer>(trace->file, true);
        trace->good = trace->capture->good();
    } else {
        const QByteArray head =
            QStringLiteral("# rx460k traffic trace from %1, local times; columns separated by "
                           "tabs\n%2\n")
                .arg(QDateTime::currentDateTime().toString(Qt::ISODate), headerText())
                .toUtf8();
        trace->good =
            std::fputs(head.constData(), trace->file) >= 0 && std::fflush(trace->file) == 0;
    }
    if (!trace->good) {
        error_ = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    trace_ = std::move(trace);
    error_.clear();
    return true;
}

void TrafficLog::stopTrace() {
    trace_.reset();
}

void TrafficLog::writeTrace(const Row& row) {
    if (!trace_) return;
    Trace& t = *trace_;
    if (t.format == Format::Capture) {
        if (row.kind == Kind::Frame) {
            writeFramePacket(*t.capture, row, t.ipId);
            t.good = t.capture->good();
        }
    } else {
        // The trace's own "+ms": since its previous line, whatever the log
        // has cleared or dropped meanwhile.
        Row traced = row;
        traced.sincePrevious = t.lastMicros ? row.micros - *t.lastMicros : -1;
        const QByteArray line = (lineOf(describe(traced).columns) + u'\n').toUtf8();
        t.good = std::fputs(line.constData(), t.file) >= 0 && std::fflush(t.file) == 0;
    }
    t.lastMicros = row.micros;
    if (!t.good) {
        const QString path = t.path;
        trace_.reset();
        logEvent(QStringLiteral("Trace to %1 stopped: the file could not be written").arg(path));
    }
}

} // namespace host
