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
#include <set>
#include <utility>
#include <vector>

class QCloseEvent;
class QComboBox;
class QLabel;
class QLayout;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QTabWidget;
class QTimer;
class TComm;

namespace app {
class PortCombo;
}
namespace hartip {
class HartIpLink;
}
namespace host {
class LoopWatch;
class TrafficLog;
} // namespace host
namespace line {
class Link;
class Links;
} // namespace line
namespace startup {
class ImagePluginsAside;
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
    host::Device& device() override { return cycle_->device(); }
    void holdRequests(bool held) override;
    bool requestsHeld() const override { return requestsHeld_; }
    void whenMakerAgrees(const host::Maker& maker, std::function<void()> send) override;
    void confirm(const char* objectName, const QString& text, const QString& yes,
                 std::function<void()> onYes) override;
    void tell(const QString& text) override;

    void setVisible(bool visible) override;

    TComm& comm() { return *comm_; }
    // The links a port-list text can name, and the one in use.
    line::Links& links() { return *links_; }
    const line::Link& link() const { return cycle_->link(); }
    // The HART-IP link a `hartip://` or `hartip+udp://` port opens.
    hartip::HartIpLink& hartIp();
    bool overHartIp() const;
    // Every frame and port event of the run, behind the Traffic panel and --trace.
    host::TrafficLog& trafficLog() { return *trafficLog_; }
    void showError(const QString& message);

    // Text of the simulated-transmitter entry of the port list.
    static QString simulatedPortName();
    // The simulated transmitter, once it has been opened (for the demo).
    sim::SimTransmitter* simulator() const;
    // Text of the simulated-network entry, and the network once opened.
    static QString simulatedNetworkName();
    sim::SimNetwork* simulatedNetwork() const;

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

protected:
    // While the loop current is fixed, asks first (LoopFixedQuestion).
    void closeEvent(QCloseEvent* event) override;

private:
    enum class PortMoment { Start, Open, Close };
    // What the user wants closed once the loop question is answered.
    enum class Closing { Port, Window };

    // The constructor's steps, in order.
    void makeSerialComponent();
    void makeTimers();
    void setFace();
    void buildFrame();
    void makeCycle();
    void buildPages();
    void fitToPages();
    void startUp();

    // buildFrame's parts, top to bottom.
    QLayout* buildHeader(QWidget* central);
    QLayout* buildPortRow(QWidget* central);
    QWidget* buildLoopBanner(QWidget* central);
    QLayout* buildViews(QWidget* central);
    // What the window does when the current device is no longer the one
    // whose values the pages show (another device became current, or the
    // line went away): every value read from it is emptied, nothing counts
    // as read, and other makers' commands need asking again.
    void deviceLeft();
    // LoopFixedQuestion, then `closing` as answered.
    void askLoopBeforeClosing(Closing closing);
    void closeNow(Closing closing);
    void showLoopBanner();

    void openPort();
    // Opens `link`, saying what it waits for while a slow one opens.
    void openLink(line::Link& link);
    void closePort();
    // The open line went away; `message` says how.
    void portGone(const QString& message);
    void setPortButtonsEnabled(bool enabled);
    void resetFields(PortMoment moment);

    std::unique_ptr<startup::ImagePluginsAside> imagePlugins_; // loading while the window is built
    TComm* comm_ = nullptr;
    line::Links* links_ = nullptr;
    QString openedPort_; // the device or address the open port uses
    QTimer* timer1_ = nullptr;
    QTimer* timer2_ = nullptr;
    QTimer* timer3_ = nullptr;
    std::unique_ptr<host::RequestCycle> cycle_;
    host::TrafficLog* trafficLog_ = nullptr;
    host::LoopWatch* loopWatch_ = nullptr;
    QLabel* loopBanner_ = nullptr; // LoopFixedBanner
    // Makers whose commands the user chose to send to another maker's device.
    std::set<const host::Maker*> makersAllowed_;
    bool windowCloseAgreed_ = false;
    bool requestsHeld_ = false; // by a network scan

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
