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

std::vector<QList<QPointF>> decimate(const Series& series, qint64 from, qint64 to, int columns) {
    std::vector<QList<QPointF>> runs;
    const auto& t = series.times;
    const auto& v = series.values;
    if (t.empty() || to <= from || columns <= 0) return runs;
    auto first = std::lower_bound(t.begin(), t.end(), from) - t.begin();
    auto last = std::upper_bound(t.begin(), t.end(), to) - t.begin();
    if (first > 0) --first;
    if (last < static_cast<std::ptrdiff_t>(t.size())) ++last;

    const double width = static_cast<double>(to - from) / columns;
    const auto point = [&](std::ptrdiff_t i) {
        const auto at = static_cast<std::size_t>(i);
        return QPointF(static_cast<double>(t[at]), static_cast<double>(v[at]));
    };
    QList<QPointF> run;
    // The column being gathered and the samples of its smallest and largest value.
    auto column = std::numeric_limits<long long>::min();
    std::ptrdiff_t low = -1;
    std::ptrdiff_t high = -1;
    const auto flush = [&] {
        if (low < 0) return;
        run.append(point(std::min(low, high)));
        if (low != high) run.append(point(std::max(low, high)));
        low = high = -1;
    };
    const auto endRun = [&] {
        flush();
        if (!run.isEmpty()) runs.push_back(std::exchange(run, {}));
        column = std::numeric_limits<long long>::min();
    };
    for (auto i = first; i < last; ++i) {
        const float value = v[static_cast<std::size_t>(i)];
        if (std::isnan(value)) {
            endRun();
            continue;
        }
        const auto c = static_cast<long long>(
            std::floor(static_cast<double>(t[static_cast<std::size_t>(i)] - from) / width));
        if (c != column) {
            flush();
            column = c;
            low = high = i;
            continue;
        }
        if (value < v[static_cast<std::size_t>(low)]) low = i;
        if (value > v[static_cast<std::size_t>(high)]) high = i;
    }
    endRun();
    return runs;
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
        // A gap shows as none, never as a number.
        return s.lastValue ? valueText(*s.lastValue) : QStringLiteral("–");
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
