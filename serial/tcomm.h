#pragma once
// TComm: one serial device, configured through termios, with a read thread
// and a write thread that only move bytes.
//
// Threading rules:
//  - Properties, OpenPort, ClosePort, SendBlock and the events belong to the
//    thread that created the component (the main thread).
//  - TReadThread is the only reader of the device and TWriteThread the only
//    writer; they never call application code. What they report is posted to
//    the main thread, one event per received chunk, in order.
//  - The send-queue-empty flag is the one value shared without a lock
//    (std::atomic).

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>

class TReadThread;
class TWriteThread;

// Setup failure of OpenPort; carries only its message.
class ECommsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class TDtrControl { DtrEnable, DtrDisable, DtrHandshake };
enum class TRtsControl { RtsEnable, RtsDisable, RtsHandshake, RtsTransmissionAvailable };
enum class TByteSize { _5, _6, _7, _8 };
enum class TParity { None, Odd, Even, Mark, Space };
enum class TStopBits { _1, _1_5, _2 };

using TReceiveDataEvent =
    std::function<void(QObject* sender, const std::uint8_t* buffer, std::uint16_t bufferLength)>;
using TReceiveErrorEvent = std::function<void(QObject* sender, std::uint32_t eventMask)>;
using TModemStateChangeEvent = std::function<void(QObject* sender, std::uint32_t modemEvent)>;
using TNotifyEvent = std::function<void(QObject* sender)>;
using TSendDataEmptyEvent = std::function<void(QObject* sender)>;

class TComm : public QObject {
    Q_OBJECT
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
    Q_PROPERTY(bool ReplaceWhenParityError READ ReplaceWhenParityError WRITE setReplaceWhenParityError)
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
    Q_PROPERTY(int ReadTotalTimeoutMultiplier READ ReadTotalTimeoutMultiplier WRITE setReadTotalTimeoutMultiplier)
    Q_PROPERTY(int ReadTotalTimeoutConstant READ ReadTotalTimeoutConstant WRITE setReadTotalTimeoutConstant)
    Q_PROPERTY(int WriteTotalTimeoutMultiplier READ WriteTotalTimeoutMultiplier WRITE setWriteTotalTimeoutMultiplier)
    Q_PROPERTY(int WriteTotalTimeoutConstant READ WriteTotalTimeoutConstant WRITE setWriteTotalTimeoutConstant)

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

    // Events, run on the main thread; unassigned ones are skipped.
    TReceiveDataEvent OnReceiveData;
    TReceiveErrorEvent OnReceiveError;
    TModemStateChangeEvent OnModemStateChange;
    TNotifyEvent OnRequestHangup;
    TSendDataEmptyEvent OnSendDataEmpty;

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

    // (private members are the implementation's)
};
