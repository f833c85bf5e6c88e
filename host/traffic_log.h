#pragma once
// The traffic log: every frame that goes over the line, split off the bytes
// and decoded, and what happened around them (the port opened, closed or
// lost, a reply that timed out or was not decoded, notes of the link). It is
// the table model of the Traffic panel, saves itself as text or as a pcapng
// capture Wireshark reads, and records the whole run into a trace file as it
// goes.
//
// Rows reach the model in batches (a short timer, or flush()), so a line
// flooded with burst frames costs the view one insertion per batch, not one
// per frame. The trace file gets every row at once, flushed, so a killed
// program loses nothing.

#include <QAbstractTableModel>
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QIODevice;
class QTimer;

namespace hart::pcapng {
class Writer;
enum class Direction;
} // namespace hart::pcapng

namespace hart::pcapng {
class Writer;
}

namespace host {

class RequestCycle;

class TrafficLog : public QAbstractTableModel {
    Q_OBJECT
    Q_PROPERTY(QAbstractItemModel* model READ model CONSTANT)
public:
    enum Column : int {
        Time,          // hh:mm:ss.mmm, local time
        SincePrevious, // milliseconds since the previous row
        Direction,     // "to device" / "from device"; empty for events
        Meaning,       // the frame's summary, or the event
        Preambles,
        Master,    // "primary" / "secondary"
        BurstBit,  // "set" / "clear"
        ByteCount, // as the frame says
        Bytes,     // every byte of the row, preambles included
    };
    static constexpr int kColumnCount = Bytes + 1;
    static constexpr int kDefaultCapacity = 100'000;

    // A file's format, by its extension (.txt or .pcapng, any case).
    enum class Format { Text, Capture };
    static std::optional<Format> formatOf(const QString& path);

    explicit TrafficLog(QObject* parent = nullptr);
    ~TrafficLog() override;

    QAbstractItemModel* model() { return this; }

    // Logs the cycle's frames, chunks, time-outs and failed decodes.
    void watch(RequestCycle& cycle);

    // What goes over the line: the bytes as handed to the line or as one
    // chunk read from it; each frame in them becomes a row, and each stretch
    // of bytes that forms no frame one "unparsed" row.
    void logSent(const QByteArray& bytes);
    void logReceived(const QByteArray& chunk);
    // Things that are not frames.
    void logPortOpened(const QString& port);
    void logPortClosed(const QString& port);
    void logPortLost(const QString& port);
    // A request of `command` got no reply in time, or its reply was judged
    // a failure for `reason`; both say the command, never an internal code.
    void logTimeout(int replyCode, int command);
    void logNotDecoded(int replyCode, const QString& status, int command, const QString& reason);
    void logNote(const QString& text);

    // The log as text (.txt: one line per row, as the table shows it) or as
    // a capture (.pcapng: each frame one HART-IP message over UDP). Written
    // to a temporary file that replaces `path` only when complete: false,
    // with nothing written, when the extension is neither or writing fails
    // (errorString() says why).
    Q_INVOKABLE bool save(const QString& path);
    // Empties the log (not the trace file).
    Q_INVOKABLE void clear();
    QString errorString() const { return error_; }

    // Records every row from now on into `path` (format by extension),
    // flushed after each one; replaces a trace already running. False, with
    // errorString() set, when the file cannot be written.
    bool startTrace(const QString& path);
    void stopTrace();
    bool tracing() const { return trace_ != nullptr; }

    // Traffic rows kept before the oldest are dropped (the row saying how
    // many comes on top of them).
    void setCapacity(int rows);
    int capacity() const { return capacity_; }
    qint64 droppedRows() const { return dropped_; }

    // Time stamps in microseconds since 1970 (UTC); the system clock unless
    // a test sets another.
    void setClock(std::function<qint64()> microsecondsNow);

    // Hands rows logged since the last batch to the model now.
    void flush();

    // The header line and model rows as the text format writes them: the
    // columns as shown, separated by tabs.
    static QString headerText();
    QString rowText(int row) const;
    // Every decoded field of a model row, one "Name: value" per line.
    QString details(int row) const;

    // ---- QAbstractTableModel
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

signals:
    // A batch of rows has reached the model.
    void rowsLogged();

private:
    enum class Kind : std::uint8_t { Frame, Unparsed, Event };
    enum class Way : std::uint8_t { None, ToDevice, FromDevice };

    struct Row {
        std::uint64_t id = 0;      // unique for the log's life, keys the text cache
        qint64 micros = 0;         // time stamp
        qint64 sincePrevious = -1; // microseconds; -1: nothing before it
        Kind kind = Kind::Event;
        Way way = Way::None;
        std::uint16_t sequence = 0; // HART-IP sequence number of a frame
        QByteArray bytes;           // frame or unparsed bytes
        QString event;              // event text
    };

    struct Shown {
        std::uint64_t id = 0;
        std::array<QString, kColumnCount> columns;
        bool problem = false; // checks failed, or no frame at all
    };

    struct Trace;

    void logBytes(const QByteArray& bytes, Way way);
    void logEvent(const QString& text);
    Row& append(Kind kind, Way way, qint64 now);
    void scheduleFlush();
    const Row* rowAt(int row) const;
    const Shown& shown(const Row& row) const; // through the cache
    static Shown describe(const Row& row);
    QString noticeText() const;
    static QString lineOf(const std::array<QString, kColumnCount>& columns);
    static hart::pcapng::Direction directionOf(Way way);
    // One frame row as a packet of the capture; `ipId` numbers the packets.
    static void writeFramePacket(hart::pcapng::Writer& writer, const Row& row, std::uint16_t& ipId);
    void writeTrace(const Row& row);
    bool writeText(QIODevice& out) const;
    bool writeCapture(QIODevice& out) const;

    std::deque<Row> rows_;
    std::vector<Row> pending_;
    qint64 dropped_ = 0;
    int capacity_ = kDefaultCapacity;
    std::uint64_t nextId_ = 1;
    std::optional<qint64> lastMicros_;
    std::uint16_t sequence_ = 0;
    std::function<qint64()> clock_;
    QTimer* flushTimer_;
    std::unique_ptr<Trace> trace_;
    QString error_;
    mutable std::array<Shown, 256> cache_;
};

} // namespace host
