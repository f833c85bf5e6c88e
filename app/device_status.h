#pragma once
// The window frame's "Device Status:" value, DeviceStatus: the field-device
// status of the last reply received, empty until there is one and again once
// the port has closed.

class QLabel;
class QWidget;

namespace host {
class Device;
}

QLabel* makeDeviceStatusLabel(QWidget* parent);
// Keeps `label` showing the device's last status, coloured by its severity.
void showDeviceStatus(QLabel* label, const host::Device& device);
