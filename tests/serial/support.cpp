#include "support.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace serialtest {

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const QDeadlineTimer deadline(limit);
    QTimer tick; // makes sure the loop comes back to look at `done`
    tick.start(5);
    while (!done()) {
        if (deadline.hasExpired()) return done();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

Pty::Pty() {
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master_, &slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    ::close(slave); // the component under test opens it by name
    path_ = QString::fromLocal8Bit(name);
}

Pty::~Pty() {
    closeMaster();
}

void Pty::write(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(master_, bytes.constData() + done,
                                    static_cast<std::size_t>(bytes.size() - done));
        if (put > 0)
            done += put;
        else if (errno != EINTR)
            throw std::runtime_error("write to pty master failed");
    }
}

QByteArray Pty::readAvailable() {
    QByteArray out;
    char buffer[4096];
    pollfd fd{master_, POLLIN, 0};
    while (::poll(&fd, 1, 0) > 0 && (fd.revents & POLLIN) != 0) {
        const ssize_t got = ::read(master_, buffer, sizeof buffer);
        if (got <= 0) break;
        out.append(buffer, got);
    }
    return out;
}

void Pty::closeMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

Recorder::Recorder(TComm& comm) {
    comm.OnReceiveData = [this](QObject*, const std::uint8_t* bytes, std::uint16_t length) {
        note();
        chunks.emplace_back(reinterpret_cast<const char*>(bytes), length);
    };
    comm.OnRequestHangup = [this](QObject*) {
        note();
        ++hangups;
    };
    comm.OnSendDataEmpty = [this](QObject*) {
        note();
        ++sendEmpties;
    };
    comm.OnReceiveError = [this](QObject*, std::uint32_t) { note(); };
    comm.OnModemStateChange = [this](QObject*, std::uint32_t) { note(); };
}

void Recorder::note() {
    if (QThread::currentThread() != main_) offMainThread = true;
}

QByteArray Recorder::received() const {
    QByteArray all;
    for (const auto& chunk : chunks)
        all += chunk;
    return all;
}

std::vector<qsizetype> Recorder::chunkSizes() const {
    std::vector<qsizetype> sizes;
    for (const auto& chunk : chunks)
        sizes.push_back(chunk.size());
    return sizes;
}

void setWindowValues(TComm& comm, const QString& device) {
    comm.setCommName(device);
    comm.setBaudRate(1200);
    comm.setParity(TParity::Odd);
    comm.setByteSize(TByteSize::_8);
    comm.setStopBits(TStopBits::_1);
    comm.setReadIntervalTimeout(300);
    comm.setOutx_XonXoffFlow(false);
    comm.setInx_XonXoffFlow(false);
}

QByteArray pattern(qsizetype n, int seed) {
    QByteArray bytes(n, '\0');
    for (qsizetype i = 0; i < n; ++i)
        bytes[i] = static_cast<char>((i * 7 + (i >> 8) * 13 + seed) & 0xFF);
    return bytes;
}

} // namespace serialtest
