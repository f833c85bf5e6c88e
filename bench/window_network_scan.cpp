// How long the "Network" page takes to scan polling addresses 0-63 of a line
// with one device (the simulated transmitter at address 0, at the pace of a
// 1200-baud loop), through the real window and serial component on a pty.
// Each of the 63 silent addresses is asked twice and costs the request's time
// on the wire plus the slave time-out each time; the whole scan should stay
// under 70 s.
//
//   window_network_scan [runs]   (default 1)
#include "app/main_window.h"
#include "sim/sim_network.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

using Clock = std::chrono::steady_clock;

template <class T> T* child(TForm1& form, const char* name) {
    return form.findChild<T*>(QString::fromLatin1(name));
}

// Runs the event loop until `done` holds; false after `limitMs`.
template <class F> bool runUntil(F done, int limitMs) {
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    poll.start();
    loop.exec();
    return done();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;

    sim::SimNetwork line({{sim::DeviceModel::Transmitter, 0, false}},
                         sim::LineOptions{.pace = true});
    TForm1 form;
    form.show();
    child<QComboBox>(form, "SPREALCOM")->setEditText(QString::fromStdString(line.portPath()));
    child<QPushButton>(form, "Button1")->click();
    if (!form.isPortOpen()) {
        std::fprintf(stderr, "the port did not open\n");
        return 1;
    }
    auto* range = child<QComboBox>(form, "ScanRange");
    range->setCurrentIndex(range->findText(QStringLiteral("0-63")));
    auto* table = child<QTableWidget>(form, "NetworkTable");

    std::printf("scan of polling addresses 0-63, one device at 0, 1200-baud pace\n");
    int status = 0;
    for (int run = 1; run <= runs; ++run) {
        const auto start = Clock::now();
        child<QPushButton>(form, "ScanNetwork")->click();
        const bool ended = runUntil([range] { return range->isEnabled(); }, 300000);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const int found = table->rowCount();
        std::printf("run %d: %.2f s (%.3f s per silent address), %d device(s) found%s\n", run,
                    seconds, seconds / 63.0, found, ended ? "" : ", NOT FINISHED");
        if (!ended || found != 1) status = 1;
    }
    std::printf("bound: 70 s\n");
    return status;
}
