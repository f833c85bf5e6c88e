#pragma once
// MonitorLog: every sample the monitor takes, one CSV row each: the time
// (ISO 8601, local time with its offset, to the millisecond), the device's
// long address and tag, the variable, its value (empty for a gap), the unit
// code and text, and the status in words.
//
// The rows go to disk as they come, never into memory: into a temporary
// file that save() copies (so a day's log costs no memory), and, once
// startFile() names one (`--monitor FILE`), into that file too, flushed
// after each row so that a killed program loses nothing.

#include <QObject>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>

class QTemporaryFile;

namespace ops {

struct LogRow {
    qint64 ms = 0;       // since the epoch
    QString longAddress; // ten hex digits
    QString tag;
    QString variable;
    std::optional<float> value; // none: a gap
    std::optional<std::uint8_t> unit;
    QString unitText;
    QString status;
};

class MonitorLog : public QObject {
    Q_OBJECT
public:
    explicit MonitorLog(QObject* parent = nullptr);
    ~MonitorLog() override;

    // "time,long_address,tag,variable,value,unit_code,unit_text,status"
    static QString headerLine();
    // One row as CSV, without the line end; fields quoted where they hold a
    // comma, a quote or a line break.
    static QString lineOf(const LogRow& row);
    // "2026-12-11T14:03:07.250+01:00"
    static QString timeText(qint64 ms);

    void append(const LogRow& row);
    qint64 rowCount() const { return rows_; }
    // Forgets the rows so far (a file from startFile() keeps them).
    void clear();

    // Writes the header and every row so far to `path`; the file appears
    // only when complete. False, with errorString() set, when it cannot.
    Q_INVOKABLE bool save(const QString& path);
    // From now on every row also goes to `path` (emptied first, header
    // first), flushed after each. False, with errorString() set, when the
    // file cannot be written.
    bool startFile(const QString& path);
    void stopFile();
    QString filePath() const;
    QString errorString() const { return error_; }

signals:
    void rowsChanged(qint64 rows);
    // The file of startFile() could not be written on and was closed.
    void fileStopped(const QString& why);

private:
    bool spool(const QByteArray& line);

    std::unique_ptr<QTemporaryFile> spool_;
    struct File {
        QString path;
        std::FILE* handle = nullptr;
    };
    std::optional<File> file_;
    qint64 rows_ = 0;
    QString error_;
};

} // namespace ops
