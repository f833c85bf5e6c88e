#include "ops/monitor_log.h"

#include "ops/monitor_readings.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStringList>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
#include <limits>

namespace ops {

namespace {

constexpr const char* kColumns[] = {"time",  "long_address", "tag",       "variable",
                                    "value", "unit_code",    "unit_text", "status"};
constexpr qint64 kCopyBlock = 1 << 16;
constexpr qint64 kQuarterHourMs = 15 * 60 * 1000;

QString field(const QString& text) {
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') &&
        !text.contains(u'\r'))
        return text;
    QString quoted = text;
    quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

MonitorLog::MonitorLog(QObject* parent) : QObject(parent) {
    setObjectName(QStringLiteral("MonitorLog"));
}

MonitorLog::~MonitorLog() {
    stopFile();
}

QString MonitorLog::headerLine() {
    QStringList names;
    for (const char* name : kColumns)
        names << QString::fromLatin1(name);
    return names.join(u',');
}

QString MonitorLog::timeText(qint64 ms) {
    // Local time, as the technician's clock shows it, with the offset that
    // makes it unambiguous. The offset is asked once a quarter of an hour
    // (clocks change on one): each question reads the time zone file again.
    static qint64 quarter = std::numeric_limits<qint64>::min();
    static int offset = 0;
    if (const qint64 q = ms >= 0 ? ms / kQuarterHourMs : (ms + 1) / kQuarterHourMs - 1;
        q != quarter) {
        offset = QDateTime::fromMSecsSinceEpoch(ms).offsetFromUtc();
        quarter = q;
    }
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::OffsetFromUTC, offset)
        .toString(Qt::ISODateWithMs);
}

QString MonitorLog::lineOf(const LogRow& row) {
    const QStringList fields{timeText(row.ms),
                             field(row.longAddress),
                             field(row.tag),
                             field(row.variable),
                             row.value ? valueText(*row.value) : QString(),
                             row.unit ? QString::number(*row.unit) : QString(),
                             field(row.unitText),
                             field(row.status)};
    return fields.join(u',');
}

void MonitorLog::append(const LogRow& row) {
    const QByteArray line = (lineOf(row) + u'\n').toUtf8();
    if (spool(line)) ++rows_;
    if (file_) {
        if (std::fputs(line.constData(), file_->handle) < 0 || std::fflush(file_->handle) != 0) {
            const QString why = QStringLiteral("%1: %2").arg(file_->path, systemError());
            stopFile();
            error_ = why;
            emit fileStopped(why);
        }
    }
    emit rowsChanged(rows_);
}

bool MonitorLog::spool(const QByteArray& line) {
    if (!spool_) {
        spool_ = std::make_unique<QTemporaryFile>(QDir::tempPath() +
                                                  QStringLiteral("/rx460k-monitor-XXXXXX.csv"));
        if (!spool_->open()) {
            error_ = spool_->errorString();
            spool_.reset();
            return false;
        }
    }
    return spool_->write(line) == line.size();
}

void MonitorLog::clear() {
    spool_.reset();
    rows_ = 0;
    emit rowsChanged(rows_);
}

bool MonitorLog::save(const QString& path) {
    QSaveFile out(path);
    bool written =
        out.open(QIODevice::WriteOnly) && out.write((headerLine() + u'\n').toUtf8()) >= 0;
    if (written && spool_) {
        written = spool_->flush() && spool_->seek(0);
        while (written && !spool_->atEnd()) {
            const QByteArray block = spool_->read(kCopyBlock);
            written = !block.isEmpty() && out.write(block) == block.size();
        }
        // Later rows go on at the end.
        spool_->seek(spool_->size());
    }
    if (!written || !out.commit()) {
        error_ = QStringLiteral("%1: %2").arg(path, out.errorString());
        out.cancelWriting();
        return false;
    }
    error_.clear();
    return true;
}

bool MonitorLog::startFile(const QString& path) {
    stopFile();
    std::FILE* handle = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!handle) {
        error_ = QStringLiteral("%1: %2").arg(path, systemError());
        return false;
    }
    const QByteArray head = (headerLine() + u'\n').toUtf8();
    if (std::fputs(head.constData(), handle) < 0 || std::fflush(handle) != 0) {
        error_ = QStringLiteral("%1: %2").arg(path, systemError());
        std::fclose(handle);
        return false;
    }
    file_ = File{path, handle};
    error_.clear();
    return true;
}

void MonitorLog::stopFile() {
    if (!file_) return;
    std::fclose(file_->handle);
    file_.reset();
}

QString MonitorLog::filePath() const {
    return file_ ? file_->path : QString();
}

} // namespace ops
