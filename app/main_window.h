#pragma once
// TForm1: the one window. It owns the frame controls (port list, Open/Close,
// send and receive views, counters, status line), the serial component Comm1,
// the three timers and the request cycle, and it is the host the pages are
// built on (ops/ for the universal operations, devices/ for the device-specific
// ones).

#include "host/page_host.h"
#include "host/request_cycle.h"

#include <QMainWindow>

#include <array>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QTabWidget;
class QTimer;
class SerialLink;
class TComm;

namespace app {
class ImagePluginsAside;
class PortCombo;
}
namespace hartip {
class HartIpLink;
}
namespace host {
class TrafficLog;
class StatusWatch;
}
namespace sim {
class SimNetwork;
class SimTransmitter;
}

class TForm1 : public QMainWindow, public host::PageHost {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // ---- host::PageHost
    host::RequestCycle& cycle() override { return *cycle_; }
    void place(host::Page page, QWidget* widget, int row, int column, int rowSpan = 1,
               int columnSpan = 1) override;
    void portDependent(QPushButton* button) override;
    void resetWithPort(QWidget* field, host::PortReset how) override;
    // Every button, timer and receive handler of the window runs through
    // guarded(): an error it throws is shown in a modal message box and the
    // action ends there.
    void onClick(QPushButton* button, std::function<void()> handler) override;
    void guarded(const std::function<void()>& handler) override;
    QTimer* discoveryTimer() override { return timer1_; }
    host::StatusWatch& deviceStatus() override { return *statusWatch_; }
    void holdRequests(bool held) override;

    void setVisible(bool visible) override;

    TComm& comm() { return *comm_; }
    // The HART-IP link a `hartip://` or `hartip+udp://` port opens.
    hartip::HartIpLink& hartIp() { return *hartIp_; }
    bool overHartIp() const { return overHartIp_; }
    // Every frame and port event of the run, behind the Traffic panel and --trace.
    host::TrafficLog& trafficLog() { return *trafficLog_; }
    void showError(const QString& message);

    // Text of the simulated-transmitter entry of the port list.
    static QString simulatedPortName();
    // The simulated transmitter, once it has been opened (for the demo).
    sim::SimTransmitter* simulator() const { return simulator_.get(); }
    // Text of the simulated-network entry, and the network once opened.
    static QString simulatedNetworkName();
    sim::SimNetwork* simulatedNetwork() const { return network_.get(); }

    // Port control, as the Open/Close button does it.
    void togglePort();
    bool isPortOpen() const;
    // `rx460k --port PORT`: puts PORT in the port list (selecting its item
    // where it has one) and opens it as the Open button does; a failed open
    // shows the usual error box.
    void openAtStart(const QString& port);

signals:
    // The port's life, for the traffic log: `port` is the device or address.
    void portOpened(const QString& port);
    void portClosed(const QString& port);
    void portLost(const QString& port);
    // Something the link did that is not a frame (a HART-IP session opened,
    // a keep-alive), for the traffic log.
    void linkNote(const QString& text);

private:
    enum class PortMoment { Start, Open, Close };

    void buildFrame();
    void buildPages();
    void fitToPages();
    void openPort();
    // Opens a HART-IP session in place of the serial port; HartIpError
    // ends the open as ECommsError does.
    void openHartIp(const QString& address);
    // What every open does once its line is there: `port` is the device
    // or address.
    void portIsOpen(const QString& port);
    void closePort();
    // The open device hung up or went away (a USB modem unplugged, a
    // HART-IP session lost for `why`).
    void portGone(const QString& why = {});
    void setPortButtonsEnabled(bool enabled);
    void resetFields(PortMoment moment);

    std::unique_ptr<app::ImagePluginsAside> imagePlugins_; // loading while the window is built
    TComm* comm_;
    std::unique_ptr<SerialLink> serialLink_;
    std::unique_ptr<hartip::HartIpLink> hartIp_;
    bool overHartIp_ = false; // the open port is a HART-IP session
    QString openedPort_;      // the device the open port uses
    QTimer* timer1_;
    QTimer* timer2_;
    QTimer* timer3_;
    std::unique_ptr<host::RequestCycle> cycle_;
    std::unique_ptr<sim::SimTransmitter> simulator_;
    host::TrafficLog* trafficLog_ = nullptr;
    std::unique_ptr<sim::SimNetwork> network_;
    host::StatusWatch* statusWatch_ = nullptr;

    app::PortCombo* portList_ = nullptr;    // SPREALCOM
    QPushButton* openButton_ = nullptr;     // Button1
    QPushButton* hiddenButton_ = nullptr;   // Button18
    QLineEdit* sendView_ = nullptr;         // discomm
    QPlainTextEdit* receiveView_ = nullptr; // Memo8
    QLabel* sentLabel_ = nullptr;           // Label56
    QLabel* receivedLabel_ = nullptr;       // Label67
    QLabel* statusLabel_ = nullptr;         // Label68
    QLabel* deviceStatusLabel_ = nullptr;   // DeviceStatus
    QTabWidget* pages_ = nullptr;           // PageControl2
    std::vector<QScrollArea*> pageAreas_;   // by host::Page
    std::vector<QPushButton*> portButtons_;
    std::vector<std::pair<QWidget*, host::PortReset>> portResets_;
};
