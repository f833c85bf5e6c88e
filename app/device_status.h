#pragma once
// The window frame's "Device Status:" value, DeviceStatus: the field-device
// status of the last reply received, empty until there is one and again once
// the port has closed.

class QLabel;
class QWidget;

namespace host {
class StatusWatch;
}

QLabel* makeDeviceStatusLabel(QWidget* parent);
// Keeps `label` showing what `watch` holds, coloured by its severity.
void showDeviceStatus(QLabel* label, const host::StatusWatch& watch);
