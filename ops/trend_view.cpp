#include "ops/trend_view.h"

#include <QChart>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QGraphicsItem>
#include <QKeyEvent>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygonF>
#include <QTimer>
#include <QValueAxis>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace ops {

namespace {

// Colours told apart on white and by most colour-blind eyes, in turn.
constexpr std::array<QRgb, 8> kColours{0x1f77b4, 0xd62728, 0x2ca02c, 0xff7f0e,
                                       0x9467bd, 0x8c564b, 0x17becf, 0x7f7f7f};
constexpr QRgb kLimitColour = 0x505050;
constexpr int kTickMs = 1000; // the live plot moves on once a second
constexpr int kSoonMs = 50;   // new samples are drawn together
constexpr double kZoomStep = 1.25;
constexpr double kMargin = 0.05; // of the value range, above and below

QString timeFormat(qint64 span) {
    if (span <= 2LL * 60 * 60 * 1000) return QStringLiteral("hh:mm:ss");
    return QStringLiteral("hh:mm");
}

} // namespace

// The series' lines over the plot area: each run a polyline, a lone value a
// dot, clipped to the area.
class TrendView::Lines : public QGraphicsItem {
public:
    explicit Lines(TrendView& view) : QGraphicsItem(view.chart_), view_(view) {
        setZValue(kLinesAbove);
    }

    void areaChanged() {
        prepareGeometryChange();
        update();
    }

    QRectF boundingRect() const override { return view_.chart_->plotArea(); }

    void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override {
        const QRectF area = view_.chart_->plotArea();
        painter->setClipRect(area);
        const double perColumn = area.width() / std::max(1, view_.columns_);
        // Wide lines cost many times what thin ones do: where the plot is
        // dense (a day of noisy values), its band of values shows anyway.
        qsizetype points = 0;
        for (const Plot& plot : view_.plots_)
            for (const QList<QPointF>& run : plot.drawn)
                points += run.size();
        const double width = points <= kMostWidePoints ? kWideLine : kThinLine;
        QPolygonF polyline;
        for (const Plot& plot : view_.plots_) {
            const QValueAxis* axis = view_.unitAxis(plot.unit);
            if (!axis || axis->max() <= axis->min()) continue;
            const double perUnit = area.height() / (axis->max() - axis->min());
            const double low = axis->min();
            painter->setPen(QPen(plot.colour, width));
            painter->setBrush(plot.colour);
            for (const QList<QPointF>& run : plot.drawn) {
                polyline.resize(run.size());
                for (qsizetype i = 0; i < run.size(); ++i)
                    polyline[i] = QPointF(area.left() + run[i].x() * perColumn,
                                          area.bottom() - (run[i].y() - low) * perUnit);
                if (polyline.size() == 1)
                    painter->drawEllipse(polyline.front(), kDotRadius, kDotRadius);
                else
                    painter->drawPolyline(polyline);
            }
        }
    }

private:
    static constexpr double kLinesAbove = 10; // over the grid and the limit lines
    static constexpr double kWideLine = 2;
    static constexpr double kThinLine = 1;
    static constexpr qsizetype kMostWidePoints = 4000;
    static constexpr double kDotRadius = 2.5;

    TrendView& view_;
};

TrendView::TrendView(const MonitorModel& model, QWidget* parent)
    : QChartView(parent), model_(model), chart_(new QChart), timeAxis_(new QDateTimeAxis),
      columnAxis_(new QValueAxis), ticker_(new QTimer(this)) {
    setObjectName(QStringLiteral("TrendView"));
    setRenderHint(QPainter::Antialiasing, false); // many short segments: crisp and quick
    setFocusPolicy(Qt::StrongFocus);
    setToolTip(QStringLiteral("Wheel or +/-: zoom. Drag or arrow keys: go back in time. "
                              "Double-click or End: follow the clock."));
    clock_ = [] { return QDateTime::currentMSecsSinceEpoch(); };

    QFont plain = font();
    plain.setBold(false);
    chart_->setMargins(QMargins(4, 4, 4, 4));
    chart_->legend()->setAlignment(Qt::AlignBottom);
    chart_->legend()->setFont(plain);
    timeAxis_->setLabelsFont(plain);
    timeAxis_->setTickCount(7);
    timeAxis_->setFormat(timeFormat(span_));
    chart_->addAxis(timeAxis_, Qt::AlignBottom);
    // Everything is drawn against pixel columns, not against the time axis,
    // which only labels them: the limit lines stay put as it moves.
    columnAxis_->setVisible(false);
    columnAxis_->setRange(0, 1);
    chart_->addAxis(columnAxis_, Qt::AlignBottom);
    // An axis no series is attached to keeps the labels of its first
    // range: an empty line on it makes the chart follow its range.
    auto* anchorAxis = new QValueAxis(chart_);
    anchorAxis->setVisible(false);
    chart_->addAxis(anchorAxis, Qt::AlignLeft);
    auto* anchor = new QLineSeries(chart_);
    chart_->addSeries(anchor);
    anchor->attachAxis(timeAxis_);
    anchor->attachAxis(anchorAxis);
    for (QLegendMarker* marker : chart_->legend()->markers(anchor))
        marker->setVisible(false);
    lines_ = new Lines(*this);
    connect(chart_, &QChart::plotAreaChanged, this, [this] {
        lines_->areaChanged();
        scheduleRefresh();
    });
    setChart(chart_);

    connect(&model_, &MonitorModel::seriesAdded, this, [this](int index) {
        addPlot(index);
        scheduleRefresh();
    });
    connect(&model_, &MonitorModel::sampled, this, &TrendView::scheduleRefresh);
    connect(&model_, &QAbstractItemModel::modelReset, this, &TrendView::dropPlots);
    for (int i = 0; i < model_.seriesCount(); ++i)
        addPlot(i);

    ticker_->setInterval(kTickMs);
    connect(ticker_, &QTimer::timeout, this, [this] {
        if (live_ && isVisible()) refresh();
    });
    ticker_->start();
}

qint64 TrendView::now() const {
    return clock_();
}

void TrendView::setClock(std::function<qint64()> now) {
    clock_ = std::move(now);
    scheduleRefresh();
}

qint64 TrendView::end() const {
    return live_ ? std::max(now(), model_.newestTime()) : end_;
}

void TrendView::setSpan(qint64 ms) {
    const qint64 span = std::clamp(ms, kShortestSpanMs, kLongestSpanMs);
    if (span == span_) return;
    span_ = span;
    timeAxis_->setFormat(timeFormat(span_));
    emit viewChanged();
    scheduleRefresh();
}

void TrendView::setLive(bool live) {
    if (live == live_) return;
    if (!live) end_ = end();
    live_ = live;
    emit viewChanged();
    scheduleRefresh();
}

void TrendView::setEnd(qint64 ms) {
    // Panned up to the present, the plot follows the clock again.
    if (ms >= now()) {
        setLive(true);
        return;
    }
    end_ = ms;
    if (live_) {
        live_ = false;
        emit viewChanged();
    }
    scheduleRefresh();
}

QLineSeries* TrendView::newLine(const QPen& pen, std::uint8_t unit, bool inLegend,
                                const QString& name) {
    auto* line = new QLineSeries(chart_);
    line->setName(name);
    line->setPen(pen);
    line->setColor(pen.color());
    chart_->addSeries(line);
    line->attachAxis(columnAxis_);
    if (const UnitAxis* axis = findAxis(unit)) line->attachAxis(axis->axis);
    for (QLegendMarker* marker : chart_->legend()->markers(line))
        marker->setVisible(inLegend);
    return line;
}

void TrendView::addPlot(int index) {
    const Series& s = model_.series(index);
    axisFor(s.unit, s.unitText);
    Plot plot;
    plot.colour = QColor::fromRgb(kColours[static_cast<std::size_t>(index) % kColours.size()]);
    plot.unit = s.unit;
    plot.legend = newLine(QPen(plot.colour, 2), s.unit, true, s.title());
    plots_.push_back(std::move(plot));
}

void TrendView::dropPlots() {
    for (Plot& plot : plots_) {
        chart_->removeSeries(plot.legend);
        delete plot.legend;
    }
    plots_.clear();
    lines_->update();
    for (UnitAxis& axis : axes_) {
        for (QLineSeries* line : axis.lines) {
            chart_->removeSeries(line);
            delete line;
        }
        chart_->removeAxis(axis.axis);
        delete axis.axis;
        // Drawn again once a series in that unit comes back.
        pendingLimits_[axis.unit] = axis.limits;
    }
    axes_.clear();
    limitLegendShown_ = false;
    scheduleRefresh();
}

const TrendView::UnitAxis* TrendView::findAxis(std::uint8_t unit) const {
    const auto it = std::ranges::find(axes_, unit, &UnitAxis::unit);
    return it == axes_.end() ? nullptr : &*it;
}

TrendView::UnitAxis& TrendView::axisFor(std::uint8_t unit, const QString& unitText) {
    if (auto it = std::ranges::find(axes_, unit, &UnitAxis::unit); it != axes_.end()) return *it;
    QFont plain = font();
    plain.setBold(false);
    auto* axis = new QValueAxis(chart_);
    axis->setTitleText(unitText);
    axis->setTitleFont(plain);
    axis->setLabelsFont(plain);
    axis->setTickCount(6);
    // Left and right in turn, so two units share the plot evenly.
    chart_->addAxis(axis, axes_.size() % 2 == 0 ? Qt::AlignLeft : Qt::AlignRight);
    axes_.push_back({unit, axis, {}, {}});
    updateLimitLines(axes_.back());
    return axes_.back();
}

void TrendView::setLimits(std::uint8_t unit, const QList<Limit>& limits) {
    if (auto it = std::ranges::find(axes_, unit, &UnitAxis::unit); it != axes_.end()) {
        it->limits = limits;
        updateLimitLines(*it);
    } else {
        // Kept until a series in that unit brings its axis.
        pendingLimits_[unit] = limits;
    }
    scheduleRefresh();
}

void TrendView::updateLimitLines(UnitAxis& axis) {
    if (const auto pending = pendingLimits_.find(axis.unit); pending != pendingLimits_.end()) {
        axis.limits = pending->second;
        pendingLimits_.erase(pending);
    }
    QPen pen(QColor::fromRgb(kLimitColour), 1, Qt::DashLine);
    while (axis.lines.size() < static_cast<std::size_t>(axis.limits.size())) {
        // One legend entry says what every dashed line is.
        const bool inLegend = !limitLegendShown_;
        limitLegendShown_ = true;
        axis.lines.push_back(newLine(pen, axis.unit, inLegend, QStringLiteral("Range limits")));
    }
    for (std::size_t i = 0; i < axis.lines.size(); ++i)
        if (i >= static_cast<std::size_t>(axis.limits.size())) axis.lines[i]->clear();
}

QList<double> TrendView::drawnLimits(std::uint8_t unit) const {
    QList<double> out;
    if (const UnitAxis* axis = findAxis(unit))
        for (const QLineSeries* line : axis->lines)
            if (line->count() > 0) out << line->at(0).y();
    return out;
}

QValueAxis* TrendView::unitAxis(std::uint8_t unit) const {
    const UnitAxis* axis = findAxis(unit);
    return axis ? axis->axis : nullptr;
}

QList<QList<QPointF>> TrendView::drawnRuns(int index) const {
    QList<QList<QPointF>> out;
    if (index < 0 || index >= static_cast<int>(plots_.size())) return out;
    // Back from pixel columns to times.
    for (QList<QPointF> points : plots_[static_cast<std::size_t>(index)].drawn) {
        for (QPointF& p : points)
            p.setX(static_cast<double>(shownFrom_) + p.x() * static_cast<double>(columnWidth_));
        out << points;
    }
    return out;
}

void TrendView::scheduleRefresh() {
    if (refreshDue_) return;
    refreshDue_ = true;
    if (isVisible()) QTimer::singleShot(kSoonMs, this, &TrendView::refresh);
}

double TrendView::plotWidth() const {
    return std::max(1.0, chart_->plotArea().width());
}

std::vector<QList<QPointF>> TrendView::runsOf(Plot& plot, const Series& series, qint64 from,
                                              qint64 to, qint64 width) {
    if (!live_ || series.times.empty()) {
        plot.settled = {};
        return decimate(series, from, to, static_cast<int>((to - from) / width));
    }
    // While the plot follows the clock, new samples come only into the
    // column of the newest one: the columns before it are decimated once.
    Plot::Settled& settled = plot.settled;
    const qint64 newest = series.times.back();
    const qint64 until = std::max(from, newest / width * width);
    if (settled.width != width || settled.from > from || settled.until > until)
        settled = {width, from, from, {}};
    if (until > settled.until) {
        settled.stretch.append(decimateStretch(series, settled.until, until, width));
        settled.until = until;
    }
    if (settled.from < from) {
        settled.stretch.dropBefore(from);
        settled.from = from;
    }
    Stretch all = settled.stretch;
    all.append(decimateStretch(series, until, std::max(to, newest + 1), width));
    return std::move(all.runs);
}

void TrendView::refresh() {
    refreshDue_ = false;
    // Columns a whole number of milliseconds wide, on a grid fixed in time:
    // as the clock moves on, the time axis moves a column at a time, and
    // columns already drawn keep their points.
    const int columns = static_cast<int>(plotWidth());
    const qint64 width = std::max<qint64>(1, (span_ + columns - 1) / columns);
    const qint64 edge = end();
    const qint64 to = (edge / width + (edge % width > 0 ? 1 : 0)) * width;
    const qint64 from = to - width * columns;
    if (from != shownFrom_ || to != shownTo_) {
        shownFrom_ = from;
        shownTo_ = to;
        timeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(from),
                            QDateTime::fromMSecsSinceEpoch(to));
    }
    columnWidth_ = width;
    columns_ = columns;
    if (columnAxis_->max() != columns) columnAxis_->setRange(0, columns);
    const auto toColumns = [&](QList<QPointF> points) {
        for (QPointF& p : points)
            p.setX((p.x() - static_cast<double>(from)) / static_cast<double>(width));
        return points;
    };

    struct Extent {
        double low = std::numeric_limits<double>::infinity();
        double high = -std::numeric_limits<double>::infinity();
        void take(double v) {
            low = std::min(low, v);
            high = std::max(high, v);
        }
    };
    std::vector<Extent> extents(axes_.size());
    const auto extentOf = [&](std::uint8_t unit) -> Extent& {
        const auto it = std::ranges::find(axes_, unit, &UnitAxis::unit);
        return extents[static_cast<std::size_t>(it - axes_.begin())];
    };
    // Handing a line the points it has would make the chart lay it out again.
    const auto draw = [](QLineSeries* line, const QList<QPointF>& points) {
        if (line->count() != points.size() || line->points() != points) line->replace(points);
    };

    for (std::size_t i = 0; i < plots_.size(); ++i) {
        Plot& plot = plots_[i];
        const auto runs = runsOf(plot, model_.series(static_cast<int>(i)), from, to, width);
        Extent& extent = extentOf(plot.unit);
        plot.drawn.clear();
        for (const QList<QPointF>& run : runs) {
            for (const QPointF& p : run)
                if (p.x() >= static_cast<double>(from) && p.x() <= static_cast<double>(to))
                    extent.take(p.y());
            plot.drawn.push_back(toColumns(run));
        }
    }

    for (std::size_t a = 0; a < axes_.size(); ++a) {
        UnitAxis& axis = axes_[a];
        Extent& extent = extents[a];
        for (std::size_t l = 0; l < static_cast<std::size_t>(axis.limits.size()); ++l) {
            const double v = axis.limits[static_cast<qsizetype>(l)].value;
            extent.take(v);
            draw(axis.lines[l], {QPointF(0, v), QPointF(columns, v)});
        }
        if (!std::isfinite(extent.low)) continue; // nothing in view: the axis stays
        double margin = (extent.high - extent.low) * kMargin;
        if (margin <= 0) margin = std::max(1.0, std::abs(extent.high) * kMargin);
        const double low = extent.low - margin;
        const double high = extent.high + margin;
        // The scale stays while the values fit it and fill half of it: a
        // scale that followed every sample would not hold still to be read.
        const double shown = axis.axis->max() - axis.axis->min();
        if (low >= axis.axis->min() && high <= axis.axis->max() && (high - low) * 2 >= shown)
            continue;
        axis.axis->setRange(low, high);
    }
    lines_->update();
}

void TrendView::showEvent(QShowEvent* event) {
    QChartView::showEvent(event);
    refresh();
}

void TrendView::resizeEvent(QResizeEvent* event) {
    QChartView::resizeEvent(event);
    scheduleRefresh();
}

void TrendView::zoom(double factor, std::optional<double> x) {
    const qint64 oldSpan = span_;
    const qint64 newSpan = std::clamp(static_cast<qint64>(std::llround(span_ * factor)),
                                      kShortestSpanMs, kLongestSpanMs);
    if (newSpan == oldSpan) return;
    if (live_ || !x) {
        setSpan(newSpan); // the right edge stays where it is
        return;
    }
    // The time under the pointer stays under it.
    const QRectF area = chart_->plotArea();
    const double fraction = std::clamp((*x - area.left()) / plotWidth(), 0.0, 1.0);
    const qint64 from = end_ - oldSpan;
    const qint64 pointed = from + static_cast<qint64>(fraction * static_cast<double>(oldSpan));
    span_ = newSpan;
    timeAxis_->setFormat(timeFormat(span_));
    setEnd(pointed + static_cast<qint64>((1.0 - fraction) * static_cast<double>(newSpan)));
    emit viewChanged();
}

void TrendView::pan(double fraction) {
    setEnd(end() + static_cast<qint64>(fraction * static_cast<double>(span_)));
}

void TrendView::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y();
    if (steps == 0) {
        event->ignore();
        return;
    }
    zoom(steps > 0 ? 1.0 / kZoomStep : kZoomStep, event->position().x());
    event->accept();
}

void TrendView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && chart_->plotArea().contains(event->position())) {
        dragFrom_ = event->position();
        dragEnd_ = end();
        event->accept();
        return;
    }
    QChartView::mousePressEvent(event);
}

void TrendView::mouseMoveEvent(QMouseEvent* event) {
    if (!dragFrom_) {
        QChartView::mouseMoveEvent(event);
        return;
    }
    const double dx = event->position().x() - dragFrom_->x();
    // Dragging to the right brings earlier times into view.
    setEnd(dragEnd_ - static_cast<qint64>(dx / plotWidth() * static_cast<double>(span_)));
    event->accept();
}

void TrendView::mouseReleaseEvent(QMouseEvent* event) {
    if (dragFrom_ && event->button() == Qt::LeftButton) {
        dragFrom_.reset();
        event->accept();
        return;
    }
    QChartView::mouseReleaseEvent(event);
}

void TrendView::mouseDoubleClickEvent(QMouseEvent* event) {
    setLive(true);
    event->accept();
}

void TrendView::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoom(1.0 / kZoomStep, std::nullopt);
        break;
    case Qt::Key_Minus:
        zoom(kZoomStep, std::nullopt);
        break;
    case Qt::Key_Left:
        pan(-0.25);
        break;
    case Qt::Key_Right:
        pan(0.25);
        break;
    case Qt::Key_End:
        setLive(true);
        break;
    default:
        QChartView::keyPressEvent(event);
        return;
    }
    event->accept();
}

} // namespace ops
