#pragma once
// What a page sees of the window: the request cycle, a place for each of its
// controls, and the port state. The window implements it; pages include only
// this layer, never the window.

#include <QString>

#include <functional>

class QPushButton;
class QTimer;
class QWidget;

namespace host {

class Device;
class RequestCycle;
struct Maker;

// The pages of the page control, and the inner pages of "Temperature
// transmitter" (the two temperature pages and the HART 7 device page).
enum class Page {
    OnlineTest,                  // "On-line test "
    Calibration,                 // "I/O Calibration"
    ParameterSettings,           // "Instrument parameter settings"
    DeviceInformation,           // "Instrument information"
    RosemountEhTemperature,      // "Rosemount And E+H Temperature transmitter"
    SiemensKrohneAbbTemperature, // "Siemens+KROHNE+ABB Temperature Transmitter"
    DpMv,                        // "DP & MV Transmitter"
    Network,                     // "Network", the scan of polling addresses
    Configuration,               // "Configuration": files of a device's settings
    Hart7Device,                 // "HART 7 device", inner page beside the temperature pages
};

// A question the window asks before an action (PageHost::confirm): the
// box's object name, its text, and the caption of the button that goes
// ahead (beside "Cancel", which is the default).
struct Question {
    const char* name;
    const char* text;
    const char* yes;
};

// What opening and closing the port (and the start-up step) does to a field.
enum class PortReset {
    Clear,        // emptied (edit, label) or left with no selection (list)
    ClearAtStart, // emptied at start only
    FirstItem,    // a list back to its first item
    Check,        // a radio button chosen at start and on open
};

class PageHost {
public:
    virtual RequestCycle& cycle() = 0;
    // Puts a control on a page's grid.
    virtual void place(Page page, QWidget* widget, int row, int column, int rowSpan = 1,
                       int columnSpan = 1) = 0;
    // A button enabled only while the port is open.
    virtual void portDependent(QPushButton* button) = 0;
    virtual void resetWithPort(QWidget* field, PortReset how) = 0;
    // Runs a click through the window's error handler: an error thrown by the
    // handler is shown in a message box and ends the action.
    virtual void onClick(QPushButton* button, std::function<void()> handler) = 0;
    virtual void guarded(const std::function<void()>& handler) = 0;
    // Timer1, the discovery cycle's step.
    virtual QTimer* discoveryTimer() = 0;
    // What is known of the current device: identity, PV unit, the status
    // bytes of its last reply, the port state.
    virtual Device& device() = 0;
    // While held, the pages other than "Network" take no clicks: a network
    // scan has the line to itself.
    virtual void holdRequests(bool held) = 0;
    // Held by a network scan: background requests wait until it is done.
    virtual bool requestsHeld() const = 0;
    // Runs `send` (through the error handler) when the current device is
    // `maker`'s, when no device is identified, or when the user answers
    // "Send" to the question whether to send another maker's commands; the
    // answer holds until the port closes or the device changes. Cancel sends
    // nothing.
    virtual void whenMakerAgrees(const Maker& maker, std::function<void()> send) = 0;
    // Asks the user `text` in a modal message box named `objectName` with
    // the buttons `yes` and "Cancel" (the default); runs `onYes` (through the
    // error handler) when the user answers `yes`. Returns at once.
    virtual void confirm(const char* objectName, const QString& text, const QString& yes,
                         std::function<void()> onYes) = 0;
    // A modal message box with `text`, as errors are shown.
    virtual void tell(const QString& text) = 0;

protected:
    ~PageHost() = default;
};

} // namespace host
