#pragma once
// Test support for the serial component: a real pseudo-terminal (the slave is
// the device TComm opens, the test drives the master), a recorder of the
// component's events, and a wait that runs the event loop.

#include "serial/tcomm.h"

#include <QByteArray>
#include <QThread>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace serialtest {

using namespace std::chrono_literals;

// Runs the event loop until `done` holds or `limit` passes; returns `done()`.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s);
// The same without running the event loop: posted events stay queued.
bool waitUntilNoEvents(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s);

// The component's own worker threads, by the names they give themselves
// (a sanitizer's helper threads come and go on their own), leaving out any
// that is already exiting.
int workerThreadCount();
// Descriptors open in this process.
int openFdCount();

class Pty {
public:
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    QString path() const { return path_; }
    int master() const { return master_; }
    void write(const QByteArray& bytes); // all of it, blocking
    QByteArray readAvailable();          // whatever the master has, without waiting
    void closeMaster();

private:
    int master_ = -1;
    QString path_;
};

// Everything a TComm reported, in order, and whether it came on this thread.
struct Recorder {
    explicit Recorder(TComm& comm);

    QByteArray received() const; // all chunks joined
    qsizetype receivedSize() const { return received().size(); }
    std::vector<qsizetype> chunkSizes() const;

    std::vector<QByteArray> chunks;
    // One letter per event: D data, H hang-up, E send queue empty, R receive
    // error, M modem state.
    std::string sequence;
    int hangups = 0;
    int sendEmpties = 0;
    bool offMainThread = false;

private:
    void note(char kind);
    QThread* const main_ = QThread::currentThread();
};

// Puts the kernel's n_null line discipline on the terminal `fd` (the open
// device, through TComm::handle()): it takes no bytes and no settings, so
// writes fail with EOPNOTSUPP and termios requests with EINVAL, while the
// terminal itself stays open. False when this kernel has no n_null.
bool takeNothing(int fd);
// Puts the ordinary line discipline back.
bool takeAgain(int fd);

// The line as the main window opens it: 1200 baud, 8 data bits, odd parity,
// 1 stop bit, no flow control, chunks ending after 300 ms of quiet.
void setWindowValues(TComm& comm, const QString& device);

// Sends a block each way through an open `comm` on `pty` and checks that
// both arrive whole.
void expectRoundTrip(TComm& comm, Recorder& seen, Pty& pty);

// n bytes that take every byte value and do not repeat within 64 KiB, so a
// lost, doubled or misplaced piece shows.
QByteArray pattern(qsizetype n, int seed = 0);

} // namespace serialtest
