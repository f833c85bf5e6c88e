#pragma once
// The monitor's samples: one series per variable and unit (a PV read in degC
// and later in degF is two series, each on its own unit's axis), each a time
// and a float per sample, a gap stored as NaN. A series keeps the last 24 h
// of its points; older ones are dropped as new ones come. As a table model
// it is MonitorTable: one row per series with its latest value, unit, status
// and time.
//
// decimate() turns the points of a time range into what a plot of so many
// pixel columns can show: the smallest and largest value of each column,
// split into runs at every gap, so that a full day repaints as quickly as a
// minute and no gap is ever bridged.

#include "ops/monitor_readings.h"

#include <QAbstractTableModel>
#include <QList>
#include <QPointF>
#include <QString>

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace ops {

struct Series {
    QString variable;
    std::uint8_t unit = 0;
    QString unitText;
    // Sample times (ms since the epoch, ascending) and values; NaN is a gap.
    std::deque<qint64> times;
    std::deque<float> values;
    // The latest sample, as the table shows it.
    qint64 lastTime = 0;
    std::optional<float> lastValue;
    QString lastStatus;

    // "PV (degC)": how the legend names it.
    QString title() const;
};

// A horizontal line on a unit's axis: a range value, a loop limit.
struct Limit {
    double value = 0;
    QString label;
};

// The points `series` draws from `from` to `to` (ms) across `columns` pixel
// columns: one list per run of values between gaps, in time order, holding
// the smallest and the largest value of each column (one point where they
// are the same sample). The last point before `from` and the first after
// `to` are kept, so that lines reach the plot's edges.
std::vector<QList<QPointF>> decimate(const Series& series, qint64 from, qint64 to, int columns);

// The same for the samples from `from` up to (not including) `until` alone,
// in columns `width` ms wide counted from `from`: a stretch of a plot whose
// columns lie on one grid, decimated once and joined to the stretches
// before and after it.
struct Stretch {
    std::vector<QList<QPointF>> runs;
    bool samples = false;         // the stretch holds samples (values or gaps)
    bool startsWithValue = false; // its first sample is no gap
    bool endsWithValue = false;   // nor its last

    // `later` after this one: the line goes on where neither has a gap
    // between them.
    void append(Stretch&& later);
    // Forgets the points before `time`.
    void dropBefore(qint64 time);
};
Stretch decimateStretch(const Series& series, qint64 from, qint64 until, qint64 width);

class MonitorModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Variable, Value, Unit, Status, Time, ColumnCount };
    static constexpr qint64 kDefaultKeepMs = 24LL * 60 * 60 * 1000;

    explicit MonitorModel(QObject* parent = nullptr);

    // Adds a sample at `ms` to the series of the reading's variable and
    // unit, made when new; returns the series' index. Samples come in time
    // order.
    int add(qint64 ms, const Reading& reading);
    // A gap at `ms` in series `index`: its poll failed, `why` says how.
    void addGap(int index, qint64 ms, const QString& why);

    int seriesCount() const { return static_cast<int>(series_.size()); }
    const Series& series(int index) const { return series_.at(static_cast<std::size_t>(index)); }
    // The index of the series of `variable` in `unit`, or -1.
    int find(const QString& variable, std::uint8_t unit) const;
    // The newest sample time of any series; 0 when there is none.
    qint64 newestTime() const { return newest_; }
    // Drops every series.
    void clear();
    // How long a series keeps its points, counted back from its newest.
    void setKeep(qint64 ms) { keep_ = ms; }
    qint64 keep() const { return keep_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

signals:
    void seriesAdded(int index);
    // New points (values or gaps) in some series.
    void sampled();

private:
    void append(int index, qint64 ms, float value, std::optional<float> shown,
                const QString& status);

    std::vector<Series> series_;
    qint64 keep_ = kDefaultKeepMs;
    qint64 newest_ = 0;
};

} // namespace ops
