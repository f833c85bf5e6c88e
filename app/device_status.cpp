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

void show(QLabel* label, const host::Device& device) {
    const auto& status = device.lastStatus();
    if (!status) {
        label->clear();
        return;
    }
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, colourOf(hart::severityOf(*status)));
    label->setPalette(p);
    label->setText(QString::fromStdString(hart::replyStatusText(*status)));
}

} // namespace

QLabel* makeDeviceStatusLabel(QWidget* parent) {
    auto* label = host::makeLabel(QString(), "DeviceStatus", parent);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

void showDeviceStatus(QLabel* label, const host::Device& device) {
    show(label, device);
    QObject::connect(&device, &host::Device::statusChanged, label,
                     [label, &device] { show(label, device); });
}
