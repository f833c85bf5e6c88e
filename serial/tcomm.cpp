#include "serial/tcomm.h"

#include "serial/comm_session.h"
#include "serial/custom_baud.h"
#include "serial/handoff.h"
#include "serial/line_settings.h"
#include "serial/read_thread.h"
#include "serial/write_thread.h"

#include <QRegularExpression>

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

using rxserial::Notice;
using rxserial::NoticeEvent;

namespace {

constexpr std::chrono::milliseconds kThreadStop{10'000};

// A descriptor that is closed unless it is handed over with release().
class UniqueFd {
public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_;
};

int openDevice(const QString& path) {
    const QByteArray name = path.toLocal8Bit();
    int fd;
    do {
        // O_NONBLOCK: neither waiting for carrier here nor blocking the
        // threads later; O_NOCTTY: the device never becomes our terminal.
        fd = ::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace

TComm::TComm(QObject* parent) : QObject(parent) {}

TComm::~TComm() {
    ClosePort();
}

QString TComm::devicePath(const QString& commName) {
    static const QRegularExpression comN(QStringLiteral("^COM([1-9][0-9]{0,3})$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const auto match = comN.match(commName);
    if (!match.hasMatch()) return commName;
    return QStringLiteral("/dev/ttyS%1").arg(match.captured(1).toInt() - 1);
}

void TComm::OpenPort() {
    if (isOpen()) throw ECommsError("This serial port already opened");

    UniqueFd device(openDevice(devicePath(commName_)));
    // Exclusive: the flock keeps out every other opener that locks, a second
    // TComm in this process included (locks belong to the open file, not the
    // process); TIOCEXCL keeps out plain opens by anyone but root. A file
    // that is no terminal refuses TIOCEXCL with ENOTTY and is turned away
    // by the next check.
    if (!device || ::flock(device.get(), LOCK_EX | LOCK_NB) != 0 ||
        (::ioctl(device.get(), TIOCEXCL) != 0 && errno != ENOTTY))
        throw ECommsError("Error opening serial port");
    if (!::isatty(device.get())) throw ECommsError("File handle is not a comm handle ");
    // The tty layer's queues have fixed sizes: there is nothing to set, so
    // "Cannot setup comm buffer" cannot arise here.

    ::tcflush(device.get(), TCIOFLUSH);
    sendQueueEmpty_.store(true);
    session_ = std::make_unique<rxserial::CommSession>();
    session_->device = device.get();
    session_->receiver = this;
    session_->sendQueueEmpty = &sendQueueEmpty_;
    applyTimeouts();
    applyLineSettings();

    UniqueFd closeSignal(::eventfd(0, EFD_CLOEXEC));
    if (!closeSignal) {
        session_.reset();
        throw ECommsError("Unable to create event");
    }
    session_->closeSignal = closeSignal.get();

    // Both threads exist before either runs, like threads created suspended.
    readThread_ = std::make_unique<TReadThread>(*session_);
    try {
        writeThread_ = std::make_unique<TWriteThread>(*session_);
    } catch (const std::system_error&) {
        stopThreads();
        throw ECommsError("Unable to create write thread");
    }
    try {
        readThread_->start();
    } catch (const std::system_error&) {
        stopThreads();
        throw ECommsError("Unable to create read thread");
    }
    try {
        writeThread_->start();
    } catch (const std::system_error&) {
        stopThreads();
        throw ECommsError("Unable to create write thread");
    }
    device.release();
    closeSignal.release();
}

void TComm::ClosePort() {
    if (!isOpen()) return;
    const int device = session_->device;
    const int closeSignal = session_->closeSignal;
    stopThreads();
    // Unread input belongs to a session that is over; discarding unsent output
    // also keeps close() from waiting for it to drain.
    ::tcflush(device, TCIOFLUSH);
    ::ioctl(device, TIOCNXCL);
    ::close(closeSignal);
    ::close(device);
}

// Signals the close eventfd, which both threads wait on in every wait, joins
// them and forgets the session; on a failed open it also serves to undo the
// steps taken so far (the descriptors are then still owned by OpenPort).
void TComm::stopThreads() {
    if (session_->closeSignal >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t put = ::write(session_->closeSignal, &one, sizeof one);
    }
    // The read thread first, as it is the one the device is waiting on.
    if (readThread_) readThread_->stop(kThreadStop);
    if (writeThread_) writeThread_->stop(kThreadStop);
    readThread_.reset();
    writeThread_.reset();
    session_.reset();
    sendQueueEmpty_.store(true);
}

bool TComm::SendBlock(const void* buffer, std::uint16_t length) {
    if (!isOpen() || length == 0 || buffer == nullptr) return false;
    return writeThread_->enqueue(QByteArray(static_cast<const char*>(buffer), length));
}

bool TComm::isOpen() const {
    return session_ != nullptr;
}
bool TComm::sendQueueEmpty() const {
    return sendQueueEmpty_.load();
}
int TComm::handle() const {
    return session_ ? session_->device : -1;
}

void TComm::applyLineSettings() {
    if (!isOpen()) return;
    const int fd = session_->device;
    termios t{};
    if (::tcgetattr(fd, &t) == 0) {
        const bool standardSpeed = rxserial::toTermios(line_, t);
        ::tcsetattr(fd, TCSANOW, &t);
        // A speed the device refuses (or one below 1) leaves the old speed.
        if (!standardSpeed) rxserial::setCustomBaud(fd, line_.baudRate);
    }
    rxserial::applyModemLines(fd, line_);
    session_->ignoreNullChar.store(line_.ignoreNullChar);
}

void TComm::applyTimeouts() {
    if (!isOpen()) return;
    session_->readInterval.store(timeouts_.readInterval);
    session_->readTotalMultiplier.store(timeouts_.readTotalMultiplier);
    session_->readTotalConstant.store(timeouts_.readTotalConstant);
}

void TComm::customEvent(QEvent* event) {
    rxserial::takeOver(event);
    if (event->type() < static_cast<QEvent::Type>(Notice::ReceiveData) ||
        event->type() > static_cast<QEvent::Type>(Notice::SendDataEmpty))
        return;
    const auto& notice = static_cast<const NoticeEvent&>(*event);
    // Each handler is called through a copy, so that it may reassign itself.
    switch (notice.notice()) {
    case Notice::ReceiveData:
        if (const auto handler = OnReceiveData)
            handler(this, reinterpret_cast<const std::uint8_t*>(notice.bytes.constData()),
                    static_cast<std::uint16_t>(notice.bytes.size()));
        break;
    case Notice::ReceiveError:
        if (const auto handler = OnReceiveError) handler(this, notice.value);
        break;
    case Notice::RequestHangup:
        if (const auto handler = OnRequestHangup) handler(this);
        break;
    case Notice::ModemStateChange:
        if (const auto handler = OnModemStateChange) handler(this, notice.value);
        break;
    case Notice::SendDataEmpty:
        if (const auto handler = OnSendDataEmpty) handler(this);
        break;
    }
}

template <typename T> void TComm::setLine(T LineSettings::*field, T value) {
    if (line_.*field == value) return;
    line_.*field = value;
    applyLineSettings();
}

template <typename T> void TComm::setTimeout(T Timeouts::*field, T value) {
    if (timeouts_.*field == value) return;
    timeouts_.*field = value;
    applyTimeouts();
}

QString TComm::CommName() const {
    return commName_;
}
void TComm::setCommName(const QString& v) {
    commName_ = v;
}

// Getter and setter of each property held in line_ or timeouts_.
#define RX460K_PROPERTY(Type, Name, group, setter, field)                                          \
    Type TComm::Name() const {                                                                     \
        return group.field;                                                                        \
    }                                                                                              \
    void TComm::set##Name(Type v) {                                                                \
        setter(&decltype(group)::field, v);                                                        \
    }

RX460K_PROPERTY(int, BaudRate, line_, setLine, baudRate)
RX460K_PROPERTY(bool, ParityCheck, line_, setLine, parityCheck)
RX460K_PROPERTY(bool, Outx_CtsFlow, line_, setLine, outxCtsFlow)
RX460K_PROPERTY(bool, Outx_DsrFlow, line_, setLine, outxDsrFlow)
RX460K_PROPERTY(TDtrControl, DtrControl, line_, setLine, dtrControl)
RX460K_PROPERTY(bool, DsrSensitivity, line_, setLine, dsrSensitivity)
RX460K_PROPERTY(bool, TxContinueOnXoff, line_, setLine, txContinueOnXoff)
RX460K_PROPERTY(bool, Outx_XonXoffFlow, line_, setLine, outxXonXoffFlow)
RX460K_PROPERTY(bool, Inx_XonXoffFlow, line_, setLine, inxXonXoffFlow)
RX460K_PROPERTY(bool, ReplaceWhenParityError, line_, setLine, replaceWhenParityError)
RX460K_PROPERTY(bool, IgnoreNullChar, line_, setLine, ignoreNullChar)
RX460K_PROPERTY(TRtsControl, RtsControl, line_, setLine, rtsControl)
RX460K_PROPERTY(int, XonLimit, line_, setLine, xonLimit)
RX460K_PROPERTY(int, XoffLimit, line_, setLine, xoffLimit)
RX460K_PROPERTY(TByteSize, ByteSize, line_, setLine, byteSize)
RX460K_PROPERTY(TParity, Parity, line_, setLine, parity)
RX460K_PROPERTY(TStopBits, StopBits, line_, setLine, stopBits)
RX460K_PROPERTY(char, XonChar, line_, setLine, xonChar)
RX460K_PROPERTY(char, XoffChar, line_, setLine, xoffChar)
RX460K_PROPERTY(char, ReplacedChar, line_, setLine, replacedChar)
RX460K_PROPERTY(int, ReadIntervalTimeout, timeouts_, setTimeout, readInterval)
RX460K_PROPERTY(int, ReadTotalTimeoutMultiplier, timeouts_, setTimeout, readTotalMultiplier)
RX460K_PROPERTY(int, ReadTotalTimeoutConstant, timeouts_, setTimeout, readTotalConstant)
RX460K_PROPERTY(int, WriteTotalTimeoutMultiplier, timeouts_, setTimeout, writeTotalMultiplier)
RX460K_PROPERTY(int, WriteTotalTimeoutConstant, timeouts_, setTimeout, writeTotalConstant)

#undef RX460K_PROPERTY
