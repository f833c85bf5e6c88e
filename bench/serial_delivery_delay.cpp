// How late a received chunk reaches OnReceiveData after the line went quiet:
// event time - time the last byte was written - ReadIntervalTimeout.
//
//   serial_delivery_delay [samples] [ReadIntervalTimeout ms]   (default 50, 300)
#include "bench/stats.h"
#include "serial/tcomm.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

using bench::percentile;

namespace {

using Clock = std::chrono::steady_clock;

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int samples = argc > 1 ? std::atoi(argv[1]) : 50;
    const int interval = argc > 2 ? std::atoi(argv[2]) : 300;

    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) return 1;
    ::close(slave);

    TComm comm;
    comm.setCommName(QString::fromLocal8Bit(name));
    comm.setBaudRate(1200);
    comm.setParity(TParity::Odd);
    comm.setReadIntervalTimeout(interval);
    comm.setOutx_XonXoffFlow(false);
    comm.setInx_XonXoffFlow(false);
    comm.OpenPort();

    QEventLoop loop;
    QTimer guard; // ends a wait that sees no chunk at all
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    Clock::time_point arrived;
    comm.OnReceiveData = [&](QObject*, const std::uint8_t*, std::uint16_t) {
        arrived = Clock::now();
        loop.quit();
    };

    // A HART-sized reply, written as one piece.
    const char reply[25] = {'\xFF', '\xFF', '\xFF', '\x06', '\x80', '\x00', '\x0E'};
    std::vector<double> delays;
    for (int i = 0; i < samples; ++i) {
        if (::write(master, reply, sizeof reply) != static_cast<ssize_t>(sizeof reply)) return 1;
        const Clock::time_point written = Clock::now();
        arrived = {};
        guard.start(interval + 5000);
        loop.exec();
        guard.stop();
        if (arrived == Clock::time_point{}) {
            std::printf("chunk %d never arrived\n", i);
            return 1;
        }
        const double ms = std::chrono::duration<double, std::milli>(arrived - written).count();
        delays.push_back(ms - interval);
    }
    comm.ClosePort();
    ::close(master);

    std::printf("delivery delay after %d ms of quiet, %d chunks: median %.3f ms, p90 %.3f ms, "
                "min %.3f ms, max %.3f ms (target: median under 2 ms)\n",
                interval, samples, percentile(delays, 0.5), percentile(delays, 0.9),
                *std::min_element(delays.begin(), delays.end()),
                *std::max_element(delays.begin(), delays.end()));
    return 0;
}
