#pragma once
// The monitor: polls the current device's live values at an interval and
// keeps them with their time (MonitorModel), for the trend plot and the
// table, and writes each sample to the log (MonitorLog).
//
// Polls are background requests (RequestCycle::ask): one at a time through
// the one send path, the views and the status line left alone. A poll is
// put off while a page's request awaits its reply, while the address query
// cycle runs and while a network scan holds the line; a user's click during
// a poll goes out right after its answer, before the next poll. Polls keep
// the interval asked, or one exchange when that takes longer on the line.
// A device in burst mode is not polled: its burst frames (commands 1, 2, 3
// and 9) are taken instead, for as long as they keep coming. Closing the
// port, losing the line or another device becoming current stop it.
//
// MonitorWidget is the dock's content: Start/Stop, what to poll and how
// often, the trend, the table of latest values and "Save CSV…".

#include "hart/frame.h"
#include "ops/monitor_log.h"
#include "ops/monitor_model.h"
#include "ops/monitor_readings.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <vector>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QTableView;
class QTimer;

namespace host {
class Device;
class PageHost;
class RequestCycle;
struct Answer;
} // namespace host

namespace ops {

class TrendView;

// The device variable codes command 9 asks for: those chosen on the HART 7
// device page (its default until then), at most the first four of them from
// a HART 6 device.
std::vector<std::uint8_t> monitoredVariableCodes(const host::Device& device);

// "0.5 s", "1.4 s", "5 min", "1 h".
QString durationText(int ms);

class Monitor : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultIntervalMs = 1000;
    static constexpr int kShortestIntervalMs = 500;
    static constexpr int kLongestIntervalMs = 60 * 60 * 1000;

    explicit Monitor(host::PageHost& host, QObject* parent = nullptr);

    MonitorModel& model() { return *model_; }
    MonitorLog& log() { return *log_; }

    // Starts polling the current device: false, with stateText() saying
    // why, while the port is closed or no device has been identified.
    bool start();
    // `why` is what stateText() says then.
    void stop(const QString& why = QStringLiteral("Stopped"));
    bool running() const { return running_; }

    MonitorSource source() const { return source_; }
    void setSource(MonitorSource source);
    // The interval asked for, clamped to 0.5 s .. 1 h.
    int interval() const { return interval_; }
    void setInterval(int ms);
    // The interval polls keep: the one asked for, or one exchange and a
    // short pause (another background request may take the line then) when
    // that takes longer on this line.
    int effectiveInterval() const;
    // How long one exchange (request to decoded reply) takes on this line,
    // the median of the last few; nothing before the first.
    std::optional<int> exchangeMs() const;
    // "Every 1.0 s", or "Every 1.4 s: one exchange takes 1.4 s on this line".
    QString rateText() const;
    // What the monitor does now: polling, paused and why, taking burst
    // frames, stopped and why.
    QString stateText() const { return state_; }
    // Burst frames from the current device keep coming.
    bool bursting() const;
    // The device's tag, as read when the monitor started.
    QString tag() const { return tag_; }

    // Lines for the trend, by unit: the loop's 4 and 20 mA, 0 and 100 %, and
    // the PV's range values as the device reported them.
    const std::map<std::uint8_t, QList<Limit>>& limits() const { return limits_; }

signals:
    void runningChanged(bool running);
    void stateChanged(const QString& text);
    void rateChanged(const QString& text);
    void limitsChanged(std::uint8_t unit, const QList<Limit>& limits);

private:
    // What a tick asks: the tag and the range once at the start, then polls.
    enum class Job { Tag, Range, Poll };

    void onTick();
    QString blockedBy() const;
    bool ask(Job job);
    void onAnswer(Job job, std::uint8_t command, const host::Answer& answer);
    void scheduleNext();
    void takeReadings(std::uint8_t command, const Readings& readings);
    void takeFailure(std::uint8_t command, const QString& why);
    void log(qint64 ms, const QString& variable, std::optional<float> value,
             std::optional<std::uint8_t> unit, const QString& unitText, const QString& status);
    void onChunk(const QByteArray& chunk);
    void setState(const QString& text);
    void setLimits(std::uint8_t unit, const QList<Limit>& limits);
    void noteExchange(int ms);

    host::PageHost& host_;
    host::RequestCycle& cycle_;
    MonitorModel* model_;
    MonitorLog* log_;
    QTimer* tick_;
    bool running_ = false;
    bool closedUnderIt_ = false; // the port closed while it ran
    int generation_ = 0;         // answers to an earlier run are not this run's
    MonitorSource source_ = MonitorSource::DynamicVariables;
    int interval_ = kDefaultIntervalMs;
    std::vector<Job> prelude_;
    QString tag_;
    QString state_;
    std::optional<hart::UniqueAddress> samplesOf_; // the device the model's samples are from
    std::map<std::uint8_t, QList<Limit>> limits_;
    // The series each command's last values went to: a failed poll leaves
    // a gap in each.
    std::map<std::uint8_t, std::vector<int>> lastSeries_;
    QElapsedTimer clock_; // steady time for the schedule
    std::optional<qint64> lastPollAt_;
    QElapsedTimer askedAt_;
    std::deque<int> exchanges_;
    QElapsedTimer sinceBurst_;
    qint64 burstGap_ = 0;
    std::uint8_t burstCommand_ = 0;
};

class MonitorWidget : public QWidget {
    Q_OBJECT
public:
    MonitorWidget(Monitor& monitor, host::PageHost& host, QWidget* parent = nullptr);

    TrendView* trend() const { return trend_; }
    QTableView* table() const { return table_; }
    // Opens the file dialog; the log is saved when a name is chosen.
    void chooseFileAndSave();

private:
    void updateButtons();

    Monitor& monitor_;
    host::PageHost& host_;
    QPushButton* start_;
    QPushButton* stop_;
    QComboBox* source_;
    QDoubleSpinBox* interval_;
    QLabel* rate_;
    QLabel* state_;
    TrendView* trend_;
    QTableView* table_;
    QPushButton* live_;
    QComboBox* span_;
    QLabel* rows_;
};

} // namespace ops
