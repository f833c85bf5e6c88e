#pragma once
// The "Traffic" panel: a dock under the pages, hidden until its checkable
// "Traffic" button (or Ctrl+T) shows it. The table `TrafficView` shows the
// traffic log row by row; selecting a row shows every decoded field beside
// it. Rows copy as text (Ctrl+C or "Copy"), "Clear" empties the log, and
// "Save traffic…" writes it as text or as a capture.

#include <QDockWidget>

#include <functional>

class QFileDialog;
class QLabel;
class QMainWindow;
class QPlainTextEdit;
class QPushButton;
class QTableView;

namespace host {
class TrafficLog;
}

namespace app {

class TrafficPanel : public QDockWidget {
    Q_OBJECT
public:
    // `showError` reports a failed save.
    TrafficPanel(host::TrafficLog& log, std::function<void(const QString&)> showError,
                 QWidget* parent = nullptr);

    // The checkable button that shows and hides the panel; the caller places it.
    QPushButton* toggleButton() const { return toggle_; }
    QTableView* view() const { return view_; }

    // The selected rows as text, one line per row, as the text file has them.
    QString selectedText() const;
    void copySelection();
    // Opens the file dialog; the log is saved when a name is chosen.
    void chooseFileAndSave();

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The panel's own font, its row height and column widths: taken when it
    // first shows, so that the window's start loads no font for a hidden
    // panel.
    void takeFontAndSizes();
    void showPanel(bool show);
    void showDetails();
    void updateCount();
    void followNewRows();

    host::TrafficLog& log_;
    std::function<void(const QString&)> showError_;
    QPushButton* toggle_;
    QTableView* view_;
    QPlainTextEdit* details_;
    QLabel* count_;
    bool atBottom_ = true;
    bool sized_ = false;
    int grown_ = 0; // height the window grew by to show the panel
};

// Adds the panel to the window's bottom dock area, hidden, and returns it.
TrafficPanel* addTrafficPanel(QMainWindow& window, host::TrafficLog& log,
                              std::function<void(const QString&)> showError);

} // namespace app
