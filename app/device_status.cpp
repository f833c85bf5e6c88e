#include "app/device_status.h"

#include "hart/reply_status.h"
#include "host/device.h"
#include "host/widgets.h"

#include <QColor>
#include <QLabel>
#include <QPalette>

namespace {

QColor colourOf(hart::StatusSeverity severity) {
    switch (severity) {
    case hart::StatusSeverity::Ok:
        return QColor(0x1e, 0x7b, 0x34); // green
    case hart::StatusSeverity::Attention:
        return QColor(0xb3, 0x6b, 0x00); // amber, dark enough to read on the sky blue
    case hart::StatusSeverity::Malfunction:
        return QColor(0xc0, 0x10, 0x10); // red
    }
    return {};
}

// The device's own status can be selected and copied; "Not connected" and
// "No reply" are plain text (a selectable label lays its text out again after
// the first frame, which would paint the window twice at start).
void paint(QLabel* label, const QColor& colour, const QString& text, bool selectable) {
    label->setTextInteractionFlags(selectable ? Qt::TextSelectableByMouse : Qt::NoTextInteraction);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, colour);
    label->setPalette(p);
    label->setText(text);
}

void show(QLabel* label, const host::Device& device) {
    const QColor grey(0x60, 0x60, 0x60);
    if (!device.portOpen()) {
        paint(label, grey, QStringLiteral("Not connected"), false);
        return;
    }
    if (device.noReply()) {
        paint(label, grey, QStringLiteral("No reply"), false);
        return;
    }
    const auto& status = device.lastStatus();
    if (!status) {
        label->clear();
        return;
    }
    paint(label, colourOf(hart::severityOf(*status)),
          QString::fromStdString(hart::replyStatusText(*status)), true);
}

} // namespace

QLabel* makeDeviceStatusLabel(QWidget* parent) {
    return host::makeLabel(QString(), "DeviceStatus", parent);
}

void showDeviceStatus(QLabel* label, const host::Device& device) {
    show(label, device);
    const auto update = [label, &device] { show(label, device); };
    QObject::connect(&device, &host::Device::statusChanged, label, update);
    QObject::connect(&device, &host::Device::portChanged, label, update);
}
