// Does the window keep answering while a device in burst mode floods the
// line? The real window, its port open on the simulated transmitter's
// pseudo-terminal (burst mode on), the Traffic panel shown, offscreen unless
// QT_QPA_PLATFORM says otherwise. A thread writes the transmitter's burst
// frame back to back, as fast as the pty takes it, for a few seconds; the
// main thread's event loop latency is measured before, during and after:
//
// - timer: how late a 10 ms repeating timer fires;
// - posted: how long an event posted from another thread every 10 ms waits
//   before the main thread runs it (what a click or a received chunk waits).
//
//   window_traffic_flood [seconds]   (default 5)
#include "app/main_window.h"
#include "bench/stats.h"
#include "hart/protocol.h"
#include "host/traffic_log.h"
#include "sim/sim_transmitter.h"

#include <QApplication>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

using bench::percentile;

namespace {

using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

struct Samples {
    std::vector<double> timer;
    std::vector<double> posted;
};

void print(const char* phase, const Samples& s) {
    for (const auto& [name, v] : {std::pair{"timer ", &s.timer}, std::pair{"posted", &s.posted}})
        std::printf(
            "  %-7s %s latency: median %6.2f ms, p99 %6.2f ms, max %7.2f ms (%zu samples)\n", phase,
            name, percentile(*v, 0.5), percentile(*v, 0.99),
            v->empty() ? 0.0 : *std::max_element(v->begin(), v->end()), v->size());
}

// Runs the event loop for `ms`, collecting both latencies.
Samples measure(int ms) {
    Samples s;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(10);
    auto last = Clock::now();
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        s.timer.push_back(std::max(0.0, msBetween(last, now) - 10.0));
        last = now;
    });
    QObject receiver;
    std::atomic<bool> stop{false};
    std::thread poster([&] {
        while (!stop) {
            const auto sent = Clock::now();
            QMetaObject::invokeMethod(
                &receiver, [&s, sent] { s.posted.push_back(msBetween(sent, Clock::now())); },
                Qt::QueuedConnection);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    tick.start();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    stop = true;
    poster.join();
    QApplication::processEvents(); // the last pings
    return s;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    sim::SimTransmitter device; // no 1200-baud pacing: as fast as the pty goes
    TForm1 window;
    window.resize(1400, 1000);
    window.show();
    window.findChild<QPushButton*>(QStringLiteral("TrafficButton"))->click();
    window.openAtStart(QString::fromStdString(device.portPath()));
    if (!window.isPortOpen()) {
        std::fprintf(stderr, "the port did not open\n");
        return 1;
    }
    host::TrafficLog& log = window.trafficLog();
    // The transmitter's own burst frame for command 1 (PV 21.9 degC).
    const auto burst = device.withState([&](sim::SimState& s) {
        s.burstMode = true;
        return device.longReplyFrame(s, 1, sim::SimReply{0, 0, {0x20, 0x41, 0xAF, 0x33, 0x33}},
                                     hart::kLongBurst, hart::kSecondaryMaster);
    });

    std::printf("window_traffic_flood: %d s of back-to-back %zu-byte burst frames\n", seconds,
                burst.size());
    print("idle", measure(2000));

    std::atomic<bool> flooding{true};
    std::atomic<long long> written{0};
    std::thread flood([&] {
        while (flooding) {
            device.sendRaw(burst);
            written += static_cast<long long>(burst.size());
        }
    });
    const auto start = Clock::now();
    const Samples during = measure(seconds * 1000);
    flooding = false;
    flood.join();
    const double floodMs = msBetween(start, Clock::now());

    // What was read but not yet handled drains; then the loop is quiet again.
    const Samples after = measure(2000);
    log.flush();
    const long long rows = log.droppedRows() + log.rowCount() - (log.droppedRows() > 0 ? 1 : 0);
    const double mb = static_cast<double>(written) / 1048576.0;
    std::printf("  flood:  %.1f MB in %.0f ms (%.1f MB/s, %.0f frames/s; a 1200-baud line "
                "carries about 110 bytes/s)\n",
                mb, floodMs, mb * 1000.0 / floodMs,
                static_cast<double>(written) / static_cast<double>(burst.size()) * 1000.0 /
                    floodMs);
    std::printf("  logged: %lld rows (%lld dropped beyond the cap of %d)\n", rows,
                static_cast<long long>(log.droppedRows()), log.capacity());
    print("during", during);
    print("after", after);
    return 0;
}
