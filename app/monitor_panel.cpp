#include "app/monitor_panel.h"

#include "app/main_window.h"
#include "ops/monitor.h"

#include <QAction>
#include <QBoxLayout>
#include <QKeySequence>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace app {

namespace {

// Room the plot gets when the panel first opens.
constexpr int kContentHeight = 380;

// The box layout in which `widget` sits, searched from `layout` down.
QBoxLayout* layoutHolding(QLayout* layout, QWidget* widget) {
    if (!layout) return nullptr;
    if (layout->indexOf(widget) >= 0) return qobject_cast<QBoxLayout*>(layout);
    for (int i = 0; i < layout->count(); ++i)
        if (auto* found = layoutHolding(layout->itemAt(i)->layout(), widget)) return found;
    return nullptr;
}

} // namespace

MonitorPanel::MonitorPanel(TForm1& window)
    : QDockWidget(QStringLiteral("Monitor"), &window), window_(window),
      monitor_(new ops::Monitor(window, this)),
      toggle_(new QPushButton(QStringLiteral("Monitor"), &window)) {
    setObjectName(QStringLiteral("MonitorDock"));
    toggle_->setObjectName(QStringLiteral("MonitorButton"));
    toggle_->setCheckable(true);
    toggle_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    toggle_->setToolTip(
        QStringLiteral("Show or hide the live values, their trend and log (Ctrl+M)"));
    connect(toggle_, &QPushButton::toggled, this, &MonitorPanel::showPanel);
    connect(toggleViewAction(), &QAction::toggled, toggle_, &QPushButton::setChecked);
}

void MonitorPanel::makeContent() {
    if (content_) return;
    content_ = new ops::MonitorWidget(*monitor_, window_, this);
    content_->setMinimumHeight(kContentHeight);
    setWidget(content_);
}

void MonitorPanel::showEvent(QShowEvent* event) {
    makeContent(); // shown some other way than by its button
    QDockWidget::showEvent(event);
}

void MonitorPanel::showPanel(bool show) {
    if (show) makeContent();
    // Where the screen has room, the window grows by the panel rather than
    // squeezing the pages, and gives the room back when the panel goes.
    QWidget* frame = window();
    if (show && !isVisible() && frame != this && !frame->isMaximized() && !frame->isFullScreen() &&
        !isFloating()) {
        const QScreen* screen = frame->screen();
        const int room =
            screen ? screen->availableGeometry().height() - frame->frameGeometry().height() : 0;
        grown_ = std::clamp(sizeHint().height(), 0, std::max(0, room));
        if (grown_ > 0) frame->resize(frame->width(), frame->height() + grown_);
    }
    setVisible(show);
    if (!show && grown_ > 0) {
        frame->resize(frame->width(), frame->height() - grown_);
        grown_ = 0;
    }
}

MonitorPanel* addMonitorPanel(TForm1& window) {
    auto* panel = new MonitorPanel(window);
    window.addDockWidget(Qt::BottomDockWidgetArea, panel);
    panel->hide();
    if (auto* traffic = window.findChild<QPushButton*>(QStringLiteral("TrafficButton"))) {
        if (auto* row = layoutHolding(window.centralWidget()->layout(), traffic))
            row->insertWidget(row->indexOf(traffic) + 1, panel->toggleButton());
    }
    return panel;
}

} // namespace app
