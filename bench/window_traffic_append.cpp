// 100,000 frames through the traffic log and the Traffic panel's table, in
// the real window with the panel shown (offscreen unless QT_QPA_PLATFORM says
// otherwise): how long until the last row is in the model and painted, and the
// process's peak memory. Goal: under 1 s and under 100 MB.
//
//   window_traffic_append [frames]   (default 100000)
//
// Requests and replies alternate, as on a polled line (command 3 to a long
// address and its 35-byte reply); the event loop runs every 64 frames, about
// as often as chunks arrive from a fast line. Saving the log as text and as
// a capture is timed too.
#include "app/main_window.h"
#include "host/traffic_log.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>

namespace {

long peakKilobytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

double megabytes(long kilobytes) {
    return static_cast<double>(kilobytes) / 1024.0;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int frames = argc > 1 ? std::atoi(argv[1]) : 100'000;

    TForm1 window;
    window.resize(1400, 1000);
    window.show();
    window.findChild<QPushButton*>(QStringLiteral("TrafficButton"))->click();
    auto* view = window.findChild<QTableView*>(QStringLiteral("TrafficView"));
    host::TrafficLog& log = window.trafficLog();
    QApplication::processEvents();
    if (!view->isVisible()) {
        std::fprintf(stderr, "the Traffic panel did not show\n");
        return 1;
    }
    const long before = peakKilobytes();

    const QByteArray request = QByteArray::fromHex("FFFFFFFFFF82A60501020303"
                                                   "0022");
    const QByteArray reply = QByteArray::fromHex("FFFFFFFFFF86A605010203031A"
                                                 "0000"
                                                 "41400000"
                                                 "2041AF3333"
                                                 "2040866666"
                                                 "2000000000"
                                                 "2000000000"
                                                 "15");

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < frames; ++i) {
        if (i % 2 == 0)
            log.logSent(request);
        else
            log.logReceived(reply);
        if (i % 64 == 63) QApplication::processEvents();
    }
    log.flush();
    view->viewport()->repaint(); // the newest rows on screen
    const double appendMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    const long peak = peakKilobytes();

    QTemporaryDir dir;
    timer.restart();
    const bool textSaved = log.save(dir.filePath(QStringLiteral("bench.txt")));
    const double textMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    timer.restart();
    const bool captureSaved = log.save(dir.filePath(QStringLiteral("bench.pcapng")));
    const double captureMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;

    std::printf("frames appended:         %d (rows in the model: %d, dropped: %lld)\n", frames,
                log.rowCount(), static_cast<long long>(log.droppedRows()));
    std::printf("append through the view: %.1f ms  (goal < 1000 ms)\n", appendMs);
    std::printf("peak memory:             %.1f MB  (goal < 100 MB; %.1f MB before the frames)\n",
                megabytes(peak), megabytes(before));
    std::printf("save as text:            %.1f ms, %.1f MB%s\n", textMs,
                static_cast<double>(QFileInfo(dir.filePath(QStringLiteral("bench.txt"))).size()) /
                    1048576.0,
                textSaved ? "" : " (FAILED)");
    std::printf(
        "save as capture:         %.1f ms, %.1f MB%s\n", captureMs,
        static_cast<double>(QFileInfo(dir.filePath(QStringLiteral("bench.pcapng"))).size()) /
            1048576.0,
        captureSaved ? "" : " (FAILED)");
    std::printf("peak memory after saving: %.1f MB\n", megabytes(peakKilobytes()));
    return textSaved && captureSaved ? 0 : 1;
}
