#pragma once
// The "Monitor" dock: hidden until its checkable "Monitor" button beside
// "Traffic" (or Ctrl+M) shows it, it holds the monitor's controls, trend
// plot and table of latest values (ops/monitor.h). The monitor itself and
// its log (MonitorLog) exist from the start, for `--monitor FILE`; the
// dock's content is made when it first shows, so that a window started
// without it loads no plot.

#include <QDockWidget>

class QPushButton;
class TForm1;

namespace ops {
class Monitor;
class MonitorWidget;
} // namespace ops

namespace app {

class MonitorPanel : public QDockWidget {
    Q_OBJECT
public:
    explicit MonitorPanel(TForm1& window);

    // The checkable button that shows and hides the panel; the caller places it.
    QPushButton* toggleButton() const { return toggle_; }
    ops::Monitor& monitor() { return *monitor_; }
    // The dock's content, made on first show; null before.
    ops::MonitorWidget* content() const { return content_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void makeContent();
    void showPanel(bool show);

    TForm1& window_;
    ops::Monitor* monitor_;
    QPushButton* toggle_;
    ops::MonitorWidget* content_ = nullptr;
    int grown_ = 0; // height the window grew by to show the panel
};

// Adds the panel to the window's bottom dock area, hidden, with its button
// after the "Traffic" button, and returns it.
MonitorPanel* addMonitorPanel(TForm1& window);

} // namespace app
