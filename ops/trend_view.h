#pragma once
// TrendView: the monitor's time plot. Every series of the model is a line
// on the value axis of its unit (one axis per unit, left and right in
// turn), with the range limits as dashed lines on that axis; gaps stay gaps.
// It shows the last 10 minutes and follows the clock ("live") until the
// user zooms (mouse wheel, +/-) or pans (drag, arrow keys) into the past;
// a double-click or End follows the clock again.
//
// Each refresh draws the visible range decimated to the plot's width (see
// decimate()), so a plot of a whole day costs what a plot of a minute does.
// The chart gives the axes, grid, legend and limit lines; the series' lines
// are drawn by one item of the plot's own over the plot area, since a chart
// line works out an outline of every segment each time its points change.

#include "ops/monitor_model.h"

#include <QChartView>
#include <QList>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

class QDateTimeAxis;
class QLineSeries;
class QTimer;
class QValueAxis;

namespace ops {

class TrendView : public QChartView {
    Q_OBJECT
public:
    static constexpr qint64 kDefaultSpanMs = 10LL * 60 * 1000;
    static constexpr qint64 kShortestSpanMs = 10LL * 1000;
    static constexpr qint64 kLongestSpanMs = MonitorModel::kDefaultKeepMs;

    explicit TrendView(const MonitorModel& model, QWidget* parent = nullptr);

    qint64 span() const { return span_; }
    void setSpan(qint64 ms);
    // Following the clock: the right edge is now.
    bool live() const { return live_; }
    void setLive(bool live);
    // The right edge of the time axis.
    qint64 end() const;
    // Shows the span up to `ms` and stops following the clock.
    void setEnd(qint64 ms);

    // The lines drawn on the axis of `unit` (replacing those it had).
    void setLimits(std::uint8_t unit, const QList<Limit>& limits);
    // What "now" is (the benchmark's simulated day); the system clock by default.
    void setClock(std::function<qint64()> now);

    // Draws the model's series now (otherwise done soon after new samples,
    // and every second while live and shown).
    void refresh();

    // What series `index` draws: one list of points per run between gaps.
    QList<QList<QPointF>> drawnRuns(int index) const;
    // The value axis of `unit`, once a series in that unit exists.
    QValueAxis* unitAxis(std::uint8_t unit) const;
    // The limit lines drawn on the axis of `unit`, as their values.
    QList<double> drawnLimits(std::uint8_t unit) const;

signals:
    // The span or the following of the clock changed.
    void viewChanged();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    class Lines;
    struct Plot {
        QLineSeries* legend = nullptr; // empty: its legend entry and its axis
        QColor colour;
        std::uint8_t unit = 0;
        // What it draws: one list per run between gaps, x in pixel columns.
        std::vector<QList<QPointF>> drawn;
        // The columns no sample will come into any more, decimated.
        struct Settled {
            qint64 width = 0; // of a column, ms
            qint64 from = 0;
            qint64 until = 0;
            Stretch stretch;
        } settled;
    };
    struct UnitAxis {
        std::uint8_t unit = 0;
        QValueAxis* axis = nullptr;
        QList<Limit> limits;
        std::vector<QLineSeries*> lines;
    };

    void addPlot(int index);
    // What plot `plot` of `series` draws from `from` to `to` in columns
    // `width` ms wide.
    std::vector<QList<QPointF>> runsOf(Plot& plot, const Series& series, qint64 from, qint64 to,
                                       qint64 width);
    // The model forgot its series: so does the plot.
    void dropPlots();
    UnitAxis& axisFor(std::uint8_t unit, const QString& unitText);
    const UnitAxis* findAxis(std::uint8_t unit) const;
    QLineSeries* newLine(const QPen& pen, std::uint8_t unit, bool inLegend, const QString& name);
    void updateLimitLines(UnitAxis& axis);
    void scheduleRefresh();
    // Zooms by `factor` about the time at x position `x` of the view.
    void zoom(double factor, std::optional<double> x);
    void pan(double fraction);
    qint64 now() const;
    double plotWidth() const;

    const MonitorModel& model_;
    QChart* chart_;
    QDateTimeAxis* timeAxis_;
    QValueAxis* columnAxis_; // hidden: pixel columns from the left edge
    Lines* lines_;
    std::vector<Plot> plots_;
    std::vector<UnitAxis> axes_;
    std::map<std::uint8_t, QList<Limit>> pendingLimits_; // for units without an axis yet
    qint64 span_ = kDefaultSpanMs;
    bool live_ = true;
    qint64 end_ = 0;       // while not live
    qint64 shownFrom_ = 0; // the time axis' range as last set
    qint64 shownTo_ = 0;
    qint64 columnWidth_ = 1; // ms
    int columns_ = 1;
    std::function<qint64()> clock_;
    QTimer* ticker_;
    bool refreshDue_ = false;
    bool limitLegendShown_ = false;
    std::optional<QPointF> dragFrom_;
    qint64 dragEnd_ = 0;
};

} // namespace ops
