#pragma once
// TComm: one serial device, configured through termios, with a read thread
// and a write thread that only move bytes.
//
// Threading rules:
//  - Properties, OpenPort, ClosePort, SendBlock and the events belong to the
//    thread that created the component (the main thread); call them from there
//    only. Every event handler runs on that thread.
//  - TReadThread is the only reader of the device and TWriteThread the only
//    writer; they never call application code. What they report is posted to
//    the component as Qt events, one event per received chunk, in order.
//  - SendBlock hands a copy of the block to the write thread's queue (a mutex
//    and an eventfd); the caller's buffer is free again when it returns.
//  - The send-queue-empty flag is a std::atomic, read without a lock.
//  - A device that goes away is reported by the read thread alone (the write
//    thread tells it through an eventfd), once per open, after the chunks it
//    read before; both threads then end. OnRequestHangup runs while the port
//    still counts as open: the handler calls ClosePort.
//  - The cause of a loss (hangupError, hangupCause) is found on a worker
//    thread and travels inside the hang-up event; the component stores it on
//    the main thread just before OnRequestHangup runs. Read it on the main
//    thread only, from then until the next OpenPort.
//  - lineSettingsFailed is emitted on the main thread, from inside the setter
//    whose change the device refused; a directly connected slot runs before
//    the setter returns.
//  - ClosePort (and the destructor) signal one close eventfd that both threads
//    wait on, join them, and only then put back the device's old settings and
//    close it. Reports already posted by then are still delivered (not after
//    destruction), except a hang-up, which concerns only the open it came from.
//  - A thread that does not end within 10 s of the close signal is a bug:
//    the program stops with qFatal naming the thread.

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

class TReadThread;
class TWriteThread;

// Setup failure of OpenPort. what() is the whole message: the component's
// fixed text on the first line and, where there is one, the cause below it.
class ECommsError : public std::runtime_error {
public:
    // Why the device could not be opened, for a caller that adds to the
    // message (after Missing the window lists the ports it finds).
    enum class OpenFailure {
        None,       // no cause beyond the message ("This serial port already opened", ...)
        Permission, // EACCES/EPERM: not in the dialout group
        Busy,       // another program has the port (flock held, exclusive mode)
        Missing,    // nothing at that path (ENOENT, ENODEV, ENXIO, EIO)
        Settings,   // the device refused the line settings or did not keep them
        Other,      // any other errno; the message gives the system's text
    };

    explicit ECommsError(const std::string& message, int error = 0,
                         OpenFailure failure = OpenFailure::None)
        : std::runtime_error(message), error_(error), failure_(failure) {}

    int error() const noexcept { return error_; } // errno behind the failure, 0 if none
    OpenFailure openFailure() const noexcept { return failure_; }
    std::string systemText() const; // the system's text for error(); empty without one

private:
    int error_;
    OpenFailure failure_;
};

using TReceiveDataEvent =
    std::function<void(QObject* sender, const std::uint8_t* buffer, std::uint16_t bufferLength)>;
using TReceiveErrorEvent = std::function<void(QObject* sender, std::uint32_t eventMask)>;
using TModemStateChangeEvent = std::function<void(QObject* sender, std::uint32_t modemEvent)>;
using TNotifyEvent = std::function<void(QObject* sender)>;
using TSendDataEmptyEvent = std::function<void(QObject* sender)>;

namespace rxserial {
struct CommSession;
}

class TComm : public QObject {
    Q_OBJECT
public:
    // Declared inside the class so that Q_PROPERTY and QVariant know them by
    // name; global aliases follow the class.
    enum class TDtrControl { DtrEnable, DtrDisable, DtrHandshake };
    Q_ENUM(TDtrControl)
    enum class TRtsControl { RtsEnable, RtsDisable, RtsHandshake, RtsTransmissionAvailable };
    Q_ENUM(TRtsControl)
    enum class TByteSize { _5, _6, _7, _8 };
    Q_ENUM(TByteSize)
    enum class TParity { None, Odd, Even, Mark, Space };
    Q_ENUM(TParity)
    enum class TStopBits { _1, _1_5, _2 };
    Q_ENUM(TStopBits)

    // OnReceiveError's EventMask: the line-error flags, with the values of
    // the classic serial-driver error bits (CE_RXOVER ... CE_BREAK).
    static constexpr std::uint32_t ErrorReceiveOverflow = 0x0001; // driver buffer overflow
    static constexpr std::uint32_t ErrorOverrun = 0x0002;         // UART overrun
    static constexpr std::uint32_t ErrorParity = 0x0004;
    static constexpr std::uint32_t ErrorFraming = 0x0008;
    static constexpr std::uint32_t ErrorBreak = 0x0010;
    // OnModemStateChange's ModemEvent: sum of these codes.
    static constexpr std::uint32_t ModemRing = 4;
    static constexpr std::uint32_t ModemCarrierDetect = 8;

    // The line settings and time-outs as the properties hold them; the
    // serial code maps them onto termios and the read thread's timers.
    struct LineSettings {
        int baudRate = 9600;
        bool parityCheck = false;
        bool outxCtsFlow = false;
        bool outxDsrFlow = false;
        TDtrControl dtrControl = TDtrControl::DtrEnable;
        bool dsrSensitivity = false;
        bool txContinueOnXoff = true;
        bool outxXonXoffFlow = true;
        bool inxXonXoffFlow = true;
        bool replaceWhenParityError = false;
        bool ignoreNullChar = false;
        TRtsControl rtsControl = TRtsControl::RtsEnable;
        int xonLimit = 500;
        int xoffLimit = 500;
        TByteSize byteSize = TByteSize::_8;
        TParity parity = TParity::None;
        TStopBits stopBits = TStopBits::_1;
        char xonChar = 0x11;
        char xoffChar = 0x13;
        char replacedChar = 0x00;
    };
    struct Timeouts {
        int readInterval = 100;
        int readTotalMultiplier = 0;
        int readTotalConstant = 0;
        int writeTotalMultiplier = 0;
        int writeTotalConstant = 0;
    };

    Q_PROPERTY(QString CommName READ CommName WRITE setCommName)
    Q_PROPERTY(int BaudRate READ BaudRate WRITE setBaudRate)
    Q_PROPERTY(bool ParityCheck READ ParityCheck WRITE setParityCheck)
    Q_PROPERTY(bool Outx_CtsFlow READ Outx_CtsFlow WRITE setOutx_CtsFlow)
    Q_PROPERTY(bool Outx_DsrFlow READ Outx_DsrFlow WRITE setOutx_DsrFlow)
    Q_PROPERTY(TDtrControl DtrControl READ DtrControl WRITE setDtrControl)
    Q_PROPERTY(bool DsrSensitivity READ DsrSensitivity WRITE setDsrSensitivity)
    Q_PROPERTY(bool TxContinueOnXoff READ TxContinueOnXoff WRITE setTxContinueOnXoff)
    Q_PROPERTY(bool Outx_XonXoffFlow READ Outx_XonXoffFlow WRITE setOutx_XonXoffFlow)
    Q_PROPERTY(bool Inx_XonXoffFlow READ Inx_XonXoffFlow WRITE setInx_XonXoffFlow)
    Q_PROPERTY(
        bool ReplaceWhenParityError READ ReplaceWhenParityError WRITE setReplaceWhenParityError)
    Q_PROPERTY(bool IgnoreNullChar READ IgnoreNullChar WRITE setIgnoreNullChar)
    Q_PROPERTY(TRtsControl RtsControl READ RtsControl WRITE setRtsControl)
    Q_PROPERTY(int XonLimit READ XonLimit WRITE setXonLimit)
    Q_PROPERTY(int XoffLimit READ XoffLimit WRITE setXoffLimit)
    Q_PROPERTY(TByteSize ByteSize READ ByteSize WRITE setByteSize)
    Q_PROPERTY(TParity Parity READ Parity WRITE setParity)
    Q_PROPERTY(TStopBits StopBits READ StopBits WRITE setStopBits)
    Q_PROPERTY(char XonChar READ XonChar WRITE setXonChar)
    Q_PROPERTY(char XoffChar READ XoffChar WRITE setXoffChar)
    Q_PROPERTY(char ReplacedChar READ ReplacedChar WRITE setReplacedChar)
    Q_PROPERTY(int ReadIntervalTimeout READ ReadIntervalTimeout WRITE setReadIntervalTimeout)
    Q_PROPERTY(int ReadTotalTimeoutMultiplier READ ReadTotalTimeoutMultiplier WRITE
                   setReadTotalTimeoutMultiplier)
    Q_PROPERTY(int ReadTotalTimeoutConstant READ ReadTotalTimeoutConstant WRITE
                   setReadTotalTimeoutConstant)
    Q_PROPERTY(int WriteTotalTimeoutMultiplier READ WriteTotalTimeoutMultiplier WRITE
                   setWriteTotalTimeoutMultiplier)
    Q_PROPERTY(int WriteTotalTimeoutConstant READ WriteTotalTimeoutConstant WRITE
                   setWriteTotalTimeoutConstant)

public:
    explicit TComm(QObject* parent = nullptr);
    ~TComm() override; // closes the port: no worker thread outlives the component

    void OpenPort();  // throws ECommsError
    void ClosePort(); // no-op when closed
    // Queues a copy of the block; false when closed, for length 0, or when it
    // cannot be queued.
    bool SendBlock(const void* buffer, std::uint16_t length);

    bool isOpen() const;
    bool sendQueueEmpty() const;
    int handle() const; // the device's file descriptor, -1 while closed
    // Bytes taken from the device since OpenPort, those of a chunk still
    // being collected included; 0 while closed.
    std::uint64_t bytesRead() const;

    // The device a CommName opens: "COM1" ... "COMn" (any case) name
    // /dev/ttyS0 ... /dev/ttyS<n-1>; any other text is a path as typed.
    static QString devicePath(const QString& commName);

    // Why the device was lost, from the moment OnRequestHangup runs until the
    // next OpenPort (ClosePort keeps it, so a handler may close the port
    // first and then say why). hangupError() is the errno of the failed
    // poll, read or write that ended the session, or 0 when the device just
    // hung up without one; hangupCause() is the system's text for it
    // ("Input/output error"), "hang-up" for 0, and empty while no loss has
    // been reported.
    int hangupError() const;
    std::string hangupCause() const;

    // Events, run on the main thread; unassigned ones are skipped.
    TReceiveDataEvent OnReceiveData;
    TReceiveErrorEvent OnReceiveError;
    TModemStateChangeEvent OnModemStateChange;
    TNotifyEvent OnRequestHangup;
    TSendDataEmptyEvent OnSendDataEmpty;

Q_SIGNALS:
    // A line setting changed while open did not reach the device: `message`
    // names the property and says why, with the system's text where a call
    // failed ("Line settings not applied (Parity): ...: Invalid argument").
    // The property keeps the value asked for. Emitted from inside the setter,
    // once: further failures stay quiet until an apply succeeds or the port
    // is opened again. Modem lines a device does not have are no failure.
    void lineSettingsFailed(const QString& message);

public:
    // Property accessors (getter = property name, setter = set<Name>).
    QString CommName() const;
    void setCommName(const QString& v);
    int BaudRate() const;
    void setBaudRate(int v);
    bool ParityCheck() const;
    void setParityCheck(bool v);
    bool Outx_CtsFlow() const;
    void setOutx_CtsFlow(bool v);
    bool Outx_DsrFlow() const;
    void setOutx_DsrFlow(bool v);
    TDtrControl DtrControl() const;
    void setDtrControl(TDtrControl v);
    bool DsrSensitivity() const;
    void setDsrSensitivity(bool v);
    bool TxContinueOnXoff() const;
    void setTxContinueOnXoff(bool v);
    bool Outx_XonXoffFlow() const;
    void setOutx_XonXoffFlow(bool v);
    bool Inx_XonXoffFlow() const;
    void setInx_XonXoffFlow(bool v);
    bool ReplaceWhenParityError() const;
    void setReplaceWhenParityError(bool v);
    bool IgnoreNullChar() const;
    void setIgnoreNullChar(bool v);
    TRtsControl RtsControl() const;
    void setRtsControl(TRtsControl v);
    int XonLimit() const;
    void setXonLimit(int v);
    int XoffLimit() const;
    void setXoffLimit(int v);
    TByteSize ByteSize() const;
    void setByteSize(TByteSize v);
    TParity Parity() const;
    void setParity(TParity v);
    TStopBits StopBits() const;
    void setStopBits(TStopBits v);
    char XonChar() const;
    void setXonChar(char v);
    char XoffChar() const;
    void setXoffChar(char v);
    char ReplacedChar() const;
    void setReplacedChar(char v);
    int ReadIntervalTimeout() const;
    void setReadIntervalTimeout(int v);
    int ReadTotalTimeoutMultiplier() const;
    void setReadTotalTimeoutMultiplier(int v);
    int ReadTotalTimeoutConstant() const;
    void setReadTotalTimeoutConstant(int v);
    int WriteTotalTimeoutMultiplier() const;
    void setWriteTotalTimeoutMultiplier(int v);
    int WriteTotalTimeoutConstant() const;
    void setWriteTotalTimeoutConstant(int v);

protected:
    void customEvent(QEvent* event) override;

private:
    template <typename T> void setLine(T LineSettings::*field, T value, const char* property);
    template <typename T> void setTimeout(T Timeouts::*field, T value, const char* property);
    void applyLineSettings(const char* property);
    void applyTimeouts();
    void stopThreads();

    QString commName_ = QStringLiteral("COM2");
    LineSettings line_;
    Timeouts timeouts_;
    std::atomic<bool> sendQueueEmpty_{true};
    std::unique_ptr<rxserial::CommSession> session_; // set while open
    std::uint64_t sessionSerial_ = 0;                // counts the opens
    std::unique_ptr<TReadThread> readThread_;
    std::unique_ptr<TWriteThread> writeThread_;
    // Main thread only, like everything above.
    bool hungUp_ = false;               // this open's hang-up event has run
    int hangupError_ = 0;               // the errno it carried
    bool lineSettingsReported_ = false; // a failed apply was reported, none has succeeded since
};

using TDtrControl = TComm::TDtrControl;
using TRtsControl = TComm::TRtsControl;
using TByteSize = TComm::TByteSize;
using TParity = TComm::TParity;
using TStopBits = TComm::TStopBits;
