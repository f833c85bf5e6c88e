#include "ops/monitor_model.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace ops {

namespace {

constexpr float kGap = std::numeric_limits<float>::quiet_NaN();

} // namespace

QString Series::title() const {
    return QStringLiteral("%1 (%2)").arg(variable, unitText);
}

namespace {

// The samples [first, last) of `series` gathered into columns `1 / perMs`
// ms wide, counted from `from` (every sample before it is one column).
Stretch gather(const Series& series, std::ptrdiff_t first, std::ptrdiff_t last, qint64 from,
               double perMs) {
    Stretch out;
    const auto& t = series.times;
    const auto& v = series.values;
    if (first >= last) return out;
    out.samples = true;
    out.startsWithValue = !std::isnan(v[static_cast<std::size_t>(first)]);
    out.endsWithValue = !std::isnan(v[static_cast<std::size_t>(last - 1)]);

    // A day holds 86,400 samples a series: the loop below looks at each once
    // and works out a column only where one ends.
    const auto columnOf = [&](qint64 time) -> long long {
        if (time < from) return -1;
        return static_cast<long long>(static_cast<double>(time - from) * perMs);
    };
    // The first time that falls in a later column than `c`.
    const auto boundaryAfter = [&](long long c) {
        if (c < 0) return from;
        qint64 b = from + static_cast<qint64>(static_cast<double>(c + 1) / perMs);
        while (b > from && columnOf(b - 1) > c)
            --b;
        while (columnOf(b) <= c)
            ++b;
        return b;
    };

    struct Pick {
        qint64 time;
        float value;
    };
    QList<QPointF> run;
    bool gathering = false; // a column has samples
    Pick low{}, high{};
    qint64 nextColumnAt = std::numeric_limits<qint64>::min();
    const auto point = [](const Pick& p) {
        return QPointF(static_cast<double>(p.time), static_cast<double>(p.value));
    };
    const auto flush = [&] {
        if (!gathering) return;
        gathering = false;
        if (low.time == high.time) {
            run.append(point(low));
        } else if (low.time < high.time) {
            run.append(point(low));
            run.append(point(high));
        } else {
            run.append(point(high));
            run.append(point(low));
        }
    };
    const auto endRun = [&] {
        flush();
        if (!run.isEmpty()) out.runs.push_back(std::exchange(run, {}));
    };
    auto ti = t.begin() + first;
    auto vi = v.begin() + first;
    for (auto i = first; i < last; ++i, ++ti, ++vi) {
        const qint64 time = *ti;
        const float value = *vi;
        if (std::isnan(value)) {
            endRun();
            continue;
        }
        if (!gathering || time >= nextColumnAt) {
            flush();
            nextColumnAt = boundaryAfter(columnOf(time));
            gathering = true;
            low = high = {time, value};
            continue;
        }
        if (value < low.value) low = {time, value};
        if (value > high.value) high = {time, value};
    }
    endRun();
    return out;
}

} // namespace

std::vector<QList<QPointF>> decimate(const Series& series, qint64 from, qint64 to, int columns) {
    const auto& t = series.times;
    if (t.empty() || to <= from || columns <= 0) return {};
    auto first = std::lower_bound(t.begin(), t.end(), from) - t.begin();
    auto last = std::upper_bound(t.begin(), t.end(), to) - t.begin();
    if (first > 0) --first;
    if (last < static_cast<std::ptrdiff_t>(t.size())) ++last;
    return gather(series, first, last, from, columns / static_cast<double>(to - from)).runs;
}

Stretch decimateStretch(const Series& series, qint64 from, qint64 until, qint64 width) {
    const auto& t = series.times;
    if (t.empty() || until <= from || width <= 0) return {};
    const auto first = std::lower_bound(t.begin(), t.end(), from) - t.begin();
    const auto last = std::lower_bound(t.begin(), t.end(), until) - t.begin();
    return gather(series, first, last, from, 1.0 / static_cast<double>(width));
}

void Stretch::append(Stretch&& later) {
    if (!later.samples) return;
    auto next = later.runs.begin();
    // No gap between them: the line goes on.
    if (samples && endsWithValue && later.startsWithValue && !runs.empty() &&
        next != later.runs.end())
        runs.back().append(*next++);
    runs.insert(runs.end(), std::make_move_iterator(next),
                std::make_move_iterator(later.runs.end()));
    if (!samples) startsWithValue = later.startsWithValue;
    endsWithValue = later.endsWithValue;
    samples = true;
}

void Stretch::dropBefore(qint64 time) {
    while (!runs.empty()) {
        QList<QPointF>& run = runs.front();
        const auto keep = std::ranges::find_if(
            run, [time](const QPointF& p) { return p.x() >= static_cast<double>(time); });
        if (keep == run.end()) {
            runs.erase(runs.begin());
            continue;
        }
        run.erase(run.begin(), keep);
        break;
    }
}

MonitorModel::MonitorModel(QObject* parent) : QAbstractTableModel(parent) {}

int MonitorModel::find(const QString& variable, std::uint8_t unit) const {
    for (std::size_t i = 0; i < series_.size(); ++i)
        if (series_[i].unit == unit && series_[i].variable == variable) return static_cast<int>(i);
    return -1;
}

int MonitorModel::add(qint64 ms, const Reading& reading) {
    int index = find(reading.variable, reading.unit);
    if (index < 0) {
        index = seriesCount();
        beginInsertRows({}, index, index);
        Series s;
        s.variable = reading.variable;
        s.unit = reading.unit;
        s.unitText = reading.unitText;
        series_.push_back(std::move(s));
        endInsertRows();
        emit seriesAdded(index);
    }
    append(index, ms, reading.value.value_or(kGap), reading.value, reading.status);
    return index;
}

void MonitorModel::addGap(int index, qint64 ms, const QString& why) {
    append(index, ms, kGap, std::nullopt, why);
}

void MonitorModel::append(int index, qint64 ms, float value, std::optional<float> shown,
                          const QString& status) {
    Series& s = series_.at(static_cast<std::size_t>(index));
    s.times.push_back(ms);
    s.values.push_back(value);
    while (!s.times.empty() && s.times.front() < ms - keep_) {
        s.times.pop_front();
        s.values.pop_front();
    }
    s.lastTime = ms;
    s.lastValue = shown;
    s.lastStatus = status;
    newest_ = std::max(newest_, ms);
    emit dataChanged(this->index(index, 0), this->index(index, ColumnCount - 1));
    emit sampled();
}

void MonitorModel::clear() {
    beginResetModel();
    series_.clear();
    newest_ = 0;
    endResetModel();
    emit sampled();
}

int MonitorModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : seriesCount();
}

int MonitorModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant MonitorModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= seriesCount()) return {};
    const Series& s = series(index.row());
    if (role == Qt::TextAlignmentRole && index.column() == Value)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
    case Variable:
        return s.variable;
    case Value:
        // A gap shows as none, never as a number. Seven digits are what a
        // float holds; the log keeps every digit.
        return s.lastValue ? QString::number(static_cast<double>(*s.lastValue), 'g', 7)
                           : QStringLiteral("–");
    case Unit:
        return s.unitText;
    case Status:
        return s.lastStatus;
    case Time:
        return QDateTime::fromMSecsSinceEpoch(s.lastTime).toString(QStringLiteral("hh:mm:ss.zzz"));
    default:
        return {};
    }
}

QVariant MonitorModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kHeaders[ColumnCount] = {"Variable", "Value", "Unit", "Status",
                                                      "Time"};
    if (section < 0 || section >= ColumnCount) return {};
    return QString::fromLatin1(kHeaders[section]);
}

} // namespace ops
