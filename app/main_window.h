#pragma once
// TForm1: the one window. It owns the frame controls (port list, Open/Close,
// send and receive views, counters, status line), the serial component Comm1,
// the three timers and the request cycle; the pages are filled by the
// operation units of ops/ and vendor/.

#include "app/request_cycle.h"

#include <QMainWindow>

#include <functional>
#include <memory>

class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTimer;
class TComm;

namespace sim {
class SimTransmitter;
}

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    app::RequestCycle& cycle() { return *cycle_; }
    TComm& comm() { return *comm_; }
    QTimer* timer1() const { return timer1_; }

    // Runs `handler`; an error it throws is shown in a modal message box and
    // the action ends there. Every button, timer and receive handler of the
    // window runs through this.
    void guarded(const std::function<void()>& handler);
    // Connects a button's click to a handler run through guarded().
    void onClick(QPushButton* button, std::function<void()> handler);
    void showError(const QString& message);

    // Places a control on a page's grid. Pages: "TabSheet6" (On-line test),
    // "TabSheet7" (I/O Calibration), "TabSheet8" (Instrument parameter
    // settings), "TabSheet9" (Instrument information), "TabSheet11" and
    // "TabSheet12" (the two temperature-transmitter tabs), "TabSheet1"
    // (DP & MV Transmitter).
    void addToPage(const char* page, QWidget* widget, int row, int column, int rowSpan = 1,
                   int columnSpan = 1);

    // Text of the simulated-transmitter entry of the port list.
    static QString simulatedPortName();
    // The simulated transmitter, once it has been opened (for the demo).
    sim::SimTransmitter* simulator() const { return simulator_.get(); }

    // Port control, as the Open/Close button does it.
    void togglePort();

private:
    void buildFrame();
    void buildPages();
    void fitToPages();
    void fillPortList();
    void openPort();
    void closePort();
    void setPortButtonsEnabled(bool enabled);
    void resetFields(bool atStart);

    TComm* comm_;
    QTimer* timer1_;
    QTimer* timer2_;
    QTimer* timer3_;
    std::unique_ptr<app::RequestCycle> cycle_;
    std::unique_ptr<sim::SimTransmitter> simulator_;

    QComboBox* portList_ = nullptr;         // SPREALCOM
    QPushButton* openButton_ = nullptr;     // Button1
    QLineEdit* sendView_ = nullptr;         // discomm
    QPlainTextEdit* receiveView_ = nullptr; // Memo8
    QLabel* sentLabel_ = nullptr;           // Label56
    QLabel* receivedLabel_ = nullptr;       // Label67
    QLabel* statusLabel_ = nullptr;         // Label68
    QTabWidget* pages_ = nullptr;           // PageControl2

public:
    // `rx460k --port PORT`: puts PORT in the port list (selecting its item
    // where it has one) and opens it as the Open button does; a failed open
    // shows the usual error box.
    void openAtStart(const QString& port);
};
