#pragma once
// The window frame's "Device Status:" value, DeviceStatus: the field-device
// status of the last reply received; "No reply" after a reply time-out until
// the next reply; "Not connected" while the port is closed.

class QLabel;
class QWidget;

namespace host {
class Device;
}

QLabel* makeDeviceStatusLabel(QWidget* parent);
// Keeps `label` showing the device's last status, coloured by its severity.
void showDeviceStatus(QLabel* label, const host::Device& device);
