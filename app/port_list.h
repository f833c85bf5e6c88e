#pragma once
// The "Serial Port:" list (SPREALCOM): COM1 ... COM9, then the serial devices
// this machine has, by the path that stays the same from one plug-in to the
// next and with a readable name, then the simulated entries.
//
// The devices come from QSerialPortInfo (qt6-serialport), the listing Qt
// programs use: real serial devices only (no virtual consoles, no ptys), USB
// adapters with maker, product and serial number, and it reads sysfs itself
// where there is no udev database (containers, minimal systems). libudev
// alone names devices only from that database. On top of it, a ttyS node
// whose UART type sysfs gives as unknown is left out: the kernel makes such
// nodes for UARTs that are not there. The serial component (TComm) stays
// ours: this is listing only.

#include "serial/tcomm.h"

#include <QComboBox>
#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace app {

// One serial device as the system reports it.
struct FoundDevice {
    QString device;       // kernel node, e.g. /dev/ttyUSB0
    QStringList links;    // stable links to it (/dev/serial/by-id/...)
    QString manufacturer; // e.g. "FTDI"; empty when unknown
    QString product;      // e.g. "FT232R USB UART"
    QString serialNumber; // e.g. "A10K1234"
};

// A device as the port list offers it.
struct ListedPort {
    QString path;   // what is opened: the first by-id link, else the node
    QString device; // the kernel node behind it
    QString name;   // maker, product and serial number, or the kind of port
    bool operator==(const ListedPort&) const = default;
};

// The devices as the list shows them: USB adapters first, then on-board and
// other ports, each kind in the kernel's numbering (ttyUSB2 before ttyUSB10);
// one entry per path.
std::vector<ListedPort> listPorts(std::vector<FoundDevice> devices);

// "/dev/serial/by-id/usb-FTDI... (FTDI FT232R USB UART, serial A10K1234)".
QString describe(const ListedPort& port);

// "Ports found: A (name), B (name)." or "No serial ports were found."
QString portsFoundText(const std::vector<ListedPort>& ports);

// A failed open whose device is missing, with the ports found on a line of
// its own after the component's message; any other failure as it was.
ECommsError withPortsFound(const ECommsError& error, const std::vector<ListedPort>& ports);

// Where the list's devices come from.
class PortSource {
public:
    virtual ~PortSource() = default;
    virtual std::vector<FoundDevice> devices() const = 0;
};

// This machine's devices: QSerialPortInfo's list, with the stable links found
// in `byIdDir` and without ttyS nodes whose UART type in `sysClassTty` is
// unknown (0) or unreadable.
class SystemPorts final : public PortSource {
public:
    explicit SystemPorts(QString byIdDir = QStringLiteral("/dev/serial/by-id"),
                         QString sysClassTty = QStringLiteral("/sys/class/tty"));
    std::vector<FoundDevice> devices() const override;

private:
    QString byIdDir_;
    QString sysClassTty_;
};

// The links in `dir` by the canonical path of the node each points to.
QHash<QString, QStringList> linksByTarget(const QString& dir);

// False for an on-board port (ttyS*) whose UART type under `sysClassTty` is
// unknown: the kernel made the node, but no UART answers behind it.
bool hasUart(const QString& sysClassTty, const QString& name);

// The port list. The devices are listed again whenever the popup opens; the
// selected item and the text typed keep what they were.
class PortCombo final : public QComboBox {
    Q_OBJECT
public:
    // `tail`: the entries after the devices ("Simulated transmitter", ...).
    PortCombo(QStringList tail, QWidget* parent = nullptr);

    // Lists from `source` from now on (the default is SystemPorts).
    void setSource(std::unique_ptr<PortSource> source);
    // Lists the devices again.
    void refresh();
    const std::vector<ListedPort>& ports() const { return ports_; }

    void showPopup() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::unique_ptr<PortSource> source_;
    std::vector<ListedPort> ports_;
    bool listed_ = false;
};

} // namespace app
