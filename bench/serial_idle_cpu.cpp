// CPU time the serial component costs while its port is open and the line is
// idle: both worker threads should sleep in ppoll() the whole time.
//
//   serial_idle_cpu [seconds]      (default 10)
#include "serial/tcomm.h"

#include <QCoreApplication>
#include <QTimer>

#include <pty.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

double cpuMs() {
    rusage use{};
    ::getrusage(RUSAGE_SELF, &use);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(use.ru_utime) + ms(use.ru_stime);
}

// Runs the event loop for `seconds` and returns the process CPU time it took.
double idleFor(QCoreApplication& app, int seconds) {
    const double before = cpuMs();
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    return cpuMs() - before;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;

    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) return 1;
    ::close(slave);

    const double closed = idleFor(app, seconds);

    TComm comm;
    comm.setCommName(QString::fromLocal8Bit(name));
    comm.setBaudRate(1200);
    comm.setParity(TParity::Odd);
    comm.setReadIntervalTimeout(300);
    comm.setOutx_XonXoffFlow(false);
    comm.setInx_XonXoffFlow(false);
    comm.OpenPort();
    const double open = idleFor(app, seconds);
    comm.ClosePort();

    std::printf("idle %d s, process CPU time: port closed %.2f ms, port open %.2f ms "
                "(target: under 20 ms open)\n",
                seconds, closed, open);
    ::close(master);
    return 0;
}
