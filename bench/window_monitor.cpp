// A day of monitoring in the real window with the Monitor dock shown
// (offscreen unless QT_QPA_PLATFORM says otherwise): 24 h at one sample a
// second of eight device variables (what command 9 polls), in simulated
// time, into the model, the log and the plot, the plot showing the whole
// day. It prints the memory this adds to the window with an empty monitor
// (resident set before and after) and the time a refresh and a repaint of
// the full plot take (median and worst of several) when the clock has moved
// on by a pixel column and each series has a new sample. Goals: under 60 MB
// and under 16 ms.
//
//   window_monitor [hours]   (default 24)
//
// Values swing slowly with some noise, and one poll in a thousand fails (a
// gap in every series), as on a real line. The plot refreshes every ten
// simulated minutes while the day is fed, as it would while watching.
#include "app/main_window.h"
#include "ops/monitor.h"
#include "ops/trend_view.h"

#include "stats.h"

#include <QApplication>
#include <QChart>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// The resident set now, in megabytes.
double residentMegabytes() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    if (fields.size() < 2) return 0;
    return fields[1].toDouble() * static_cast<double>(::sysconf(_SC_PAGESIZE)) / 1048576.0;
}

double msSince(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

struct Variable {
    const char* name;
    std::uint8_t unit;
    const char* unitText;
    double mean;
    double swing;
};
constexpr Variable kVariables[] = {
    {"Device variable 0", 19, "m3/h", 42.5, 7.5},
    {"Device variable 1", 75, "kg/h", 42415, 7485},
    {"Device variable 2", 43, "m3", 12345, 100},
    {"Device variable 3", 32, "degC", 23.5, 1.5},
    {"PV", 19, "m3/h", 42.5, 7.5},
    {"SV", 75, "kg/h", 42415, 7485},
    {"TV", 43, "m3", 12345, 100},
    {"QV", 32, "degC", 23.5, 1.5},
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int hours = argc > 1 ? std::max(1, std::atoi(argv[1])) : 24;

    TForm1 window;
    window.resize(1900, 1000);
    window.show();
    window.findChild<QPushButton*>(QStringLiteral("MonitorButton"))->click();
    QApplication::processEvents();
    auto* trend = window.findChild<ops::TrendView*>(QStringLiteral("TrendView"));
    auto* monitor = window.findChild<ops::Monitor*>(QStringLiteral("Monitor"));
    if (!trend || !trend->isVisible() || !monitor) {
        std::fprintf(stderr, "the Monitor dock did not show\n");
        return 1;
    }
    ops::MonitorModel& model = monitor->model();
    ops::MonitorLog& log = monitor->log();
    for (int i = 0; i < 10; ++i)
        QApplication::processEvents();
    const double empty = residentMegabytes();

    constexpr qint64 kStart = 1'765'000'000'000; // a December morning, simulated
    qint64 now = kStart;
    trend->setClock([&now] { return now; });
    trend->setSpan(ops::TrendView::kLongestSpanMs);

    const qint64 samples = static_cast<qint64>(hours) * 3600;
    constexpr qint64 kRefreshEvery = 600; // ten simulated minutes
    std::srand(7);
    QElapsedTimer feeding;
    feeding.start();
    for (qint64 i = 0; i < samples; ++i) {
        now = kStart + i * 1000;
        const bool failed = i % 1000 == 999;
        int v = 0;
        for (const Variable& var : kVariables) {
            const double phase = static_cast<double>(i) / 3600.0 + v++;
            const double noise = (std::rand() % 1000 - 500) / 50000.0 * var.swing;
            ops::Reading r{QString::fromLatin1(var.name), var.unit,
                           QString::fromLatin1(var.unitText),
                           static_cast<float>(var.mean + var.swing * std::sin(phase) + noise),
                           QStringLiteral("good")};
            if (failed) r.value.reset();
            model.add(now, r);
            log.append({now, QStringLiteral("11B73A5C91"), QStringLiteral("FT-205"), r.variable,
                        r.value, r.unit, r.unitText, r.status});
        }
        if (i % kRefreshEvery == kRefreshEvery - 1) QApplication::processEvents();
    }
    QApplication::processEvents();
    const double feedMs = msSince(feeding);
    const double full = residentMegabytes();

    // The full plot, refreshed (decimated and handed to the chart) and
    // repainted, several times. Each time the clock moves on by a pixel
    // column of the day and every series has a new sample: the plot's
    // costliest update, the time axis moving and every line changing.
    const qint64 column = static_cast<qint64>(
        std::ceil(static_cast<double>(trend->span()) / trend->chart()->plotArea().width()));
    std::vector<double> refreshMs;
    std::vector<double> repaintMs;
    std::vector<double> bothMs;
    for (int i = 0; i < 25; ++i) {
        now += column;
        int v = 0;
        for (const Variable& var : kVariables)
            model.add(now,
                      {QString::fromLatin1(var.name), var.unit, QString::fromLatin1(var.unitText),
                       static_cast<float>(var.mean + var.swing * std::sin(i + v++)),
                       QStringLiteral("good")});
        QElapsedTimer t;
        t.start();
        trend->refresh();
        const double refreshed = msSince(t);
        trend->viewport()->repaint();
        const double both = msSince(t);
        refreshMs.push_back(refreshed);
        repaintMs.push_back(both - refreshed);
        bothMs.push_back(both);
    }

    // The whole day drawn afresh, nothing of it decimated before: what the
    // plot does once, when it starts following the clock again.
    trend->setLive(false);
    trend->refresh();
    trend->setLive(true);
    QElapsedTimer cold;
    cold.start();
    trend->refresh();
    trend->viewport()->repaint();
    const double coldMs = msSince(cold);

    std::size_t points = 0;
    for (int s = 0; s < model.seriesCount(); ++s)
        points += model.series(s).times.size();
    std::size_t drawn = 0;
    for (int s = 0; s < model.seriesCount(); ++s)
        for (const auto& run : trend->drawnRuns(s))
            drawn += static_cast<std::size_t>(run.size());

    std::printf("samples fed:          %lld s x %zu variables (%zu points kept, %zu drawn), "
                "%lld log rows, in %.0f ms\n",
                static_cast<long long>(samples), std::size(kVariables), points, drawn,
                static_cast<long long>(log.rowCount()), feedMs);
    std::printf("resident memory:      %.1f MB with an empty monitor, %.1f MB after %d h\n", empty,
                full, hours);
    std::printf("memory added:         %.1f MB  (goal < 60 MB)\n", full - empty);
    std::printf("refresh, full plot:   median %.2f ms, worst %.2f ms\n",
                bench::percentile(refreshMs, 0.5), bench::percentile(refreshMs, 1.0));
    std::printf("repaint, full plot:   median %.2f ms, worst %.2f ms\n",
                bench::percentile(repaintMs, 0.5), bench::percentile(repaintMs, 1.0));
    std::printf("refresh and repaint:  median %.2f ms, worst %.2f ms  (goal < 16 ms)\n",
                bench::percentile(bothMs, 0.5), bench::percentile(bothMs, 1.0));
    std::printf("first draw of the day: %.2f ms (refresh and repaint, nothing decimated before)\n",
                coldMs);
    return 0;
}
