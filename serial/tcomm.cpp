#include "serial/tcomm.h"

#include "serial/comm_session.h"
#include "serial/handoff.h"
#include "serial/line_settings.h"
#include "serial/open_error.h"
#include "serial/read_thread.h"
#include "serial/write_thread.h"

#include <QRegularExpression>

#include <fcntl.h>
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

int openDevice(const std::string& path) {
    int fd;
    do {
        // O_NONBLOCK: neither waiting for carrier here nor blocking the
        // threads later; O_NOCTTY: the device never becomes our terminal.
        fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Makes the open device ours alone, or returns the errno that says why not.
// The flock keeps out every other opener that locks, a second TComm in this
// process included (locks belong to the open file, not the process).
// TIOCEXCL keeps out plain opens by anyone but root; since root passes it,
// a device someone else already holds in exclusive mode (TIOCGEXCL) is
// refused here as well.
int takeExclusively(int fd) {
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return errno;
    int exclusive = 0;
    if (::ioctl(fd, TIOCGEXCL, &exclusive) != 0) {
        // A file that is no terminal is turned away as "not a comm handle" right after.
        if (!rxserial::unsupported(errno)) return errno;
    } else if (exclusive != 0) {
        return EBUSY;
    }
    if (::ioctl(fd, TIOCEXCL) != 0 && !rxserial::unsupported(errno)) return errno;
    return 0;
}

} // namespace

std::string ECommsError::systemText() const {
    return error_ == 0 ? std::string() : std::generic_category().message(error_);
}

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
    hungUp_ = false;
    hangupError_ = 0;
    lineSettingsReported_ = false;

    const std::string path = devicePath(commName_).toLocal8Bit().toStdString();
    const int fd = openDevice(path);
    if (fd < 0) throw rxserial::openError(errno, path);
    // From here on the session owns the descriptor: whatever fails below,
    // dropping it puts the device back as it was found and closes it.
    auto session =
        std::make_unique<rxserial::CommSession>(++sessionSerial_, fd, this, &sendQueueEmpty_);
    if (const int error = takeExclusively(fd); error != 0) throw rxserial::openError(error, path);
    session->held = true;
    if (!::isatty(fd)) throw ECommsError("File handle is not a comm handle ");
    // The tty layer's queues have fixed sizes: there is nothing to set, so
    // "Cannot setup comm buffer" cannot arise here.

    if (const int error = session->saved.save(fd); error != 0)
        throw rxserial::settingsError(
            "Cannot read the device's settings: " + std::generic_category().message(error), error);
    if (::tcflush(fd, TCIOFLUSH) != 0) throw rxserial::openError(errno, path);
    sendQueueEmpty_.store(true);
    if (const int error = session->createSignals(); error != 0)
        throw rxserial::setupError("Unable to create event", error);

    session_ = std::move(session);
    applyTimeouts();
    if (const auto refused = rxserial::applyLineSettings(fd, line_)) {
        session_.reset();
        throw rxserial::settingsError(refused->cause, refused->error);
    }
    session_->ignoreNullChar.store(line_.ignoreNullChar);

    // Both threads exist before either runs, like threads created suspended.
    const auto failed = [this](const char* message, const std::system_error& e) {
        stopThreads();
        return rxserial::setupError(message, e.code().value());
    };
    try {
        readThread_ = std::make_unique<TReadThread>(*session_);
        writeThread_ = std::make_unique<TWriteThread>(*session_);
    } catch (const std::system_error& e) {
        throw failed("Unable to create write thread", e);
    }
    try {
        readThread_->start();
    } catch (const std::system_error& e) {
        throw failed("Unable to create read thread", e);
    }
    try {
        writeThread_->start();
    } catch (const std::system_error& e) {
        throw failed("Unable to create write thread", e);
    }
}

void TComm::ClosePort() {
    if (!isOpen()) return;
    stopThreads();
}

// Signals the close eventfd, which both threads wait on in every wait, joins
// them, and then drops the session: the device gets its old settings back
// and every descriptor is closed. Also undoes a failed OpenPort.
void TComm::stopThreads() {
    rxserial::notify(session_->closeSignal);
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
std::uint64_t TComm::bytesRead() const {
    return session_ ? session_->bytesRead.load() : 0;
}

int TComm::hangupError() const {
    return hangupError_;
}
std::string TComm::hangupCause() const {
    return hungUp_ ? rxserial::hangupText(hangupError_) : std::string();
}

// While open, a device that does not take a changed setting is reported, not
// raised: a setter has no error to throw, and the port is still usable with
// what the device holds. One report covers a run of failures, so that a
// dialog setting several properties in a row does not stack up messages.
// OpenPort checks the result itself.
void TComm::applyLineSettings(const char* property) {
    if (!isOpen()) return;
    const auto refused = rxserial::applyLineSettings(session_->device, line_);
    session_->ignoreNullChar.store(line_.ignoreNullChar);
    if (!refused) {
        lineSettingsReported_ = false;
        return;
    }
    if (std::exchange(lineSettingsReported_, true)) return;
    Q_EMIT lineSettingsFailed(
        QStringLiteral("Line settings not applied (%1): %2")
            .arg(QLatin1String(property), QString::fromStdString(refused->cause)));
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
    // A hang-up that arrives after its session ended (the port was closed, or
    // closed and opened again, before the event got here) is stale: the
    // application must not close the port it has now.
    if (notice.notice() == Notice::RequestHangup &&
        (!session_ || session_->serial != notice.session))
        return;
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
        hungUp_ = true;
        hangupError_ = static_cast<int>(notice.value);
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

template <typename T> void TComm::setLine(T LineSettings::*field, T value, const char* property) {
    if (line_.*field == value) return;
    line_.*field = value;
    applyLineSettings(property);
}

// The time-outs are the read thread's own timers: nothing the device can refuse.
template <typename T> void TComm::setTimeout(T Timeouts::*field, T value, const char*) {
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
        setter(&decltype(group)::field, v, #Name);                                                 \
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
