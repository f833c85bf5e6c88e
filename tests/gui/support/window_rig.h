#pragma once
// A window on a real pseudo-terminal with a simulated field device on the far
// side: what every GUI test starts from. The window is the real TForm1, its
// serial component the real TComm; the test clicks controls by object name and
// checks the bytes that reach the device and the texts that come back.

#include "app/main_window.h"
#include "sim/sim_transmitter.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace rig {

using Bytes = std::vector<std::uint8_t>;

// Runs the event loop until `pred` holds or `ms` pass; true when it held.
bool waitFor(const std::function<bool()>& pred, int ms = 15000);

// "FF 82 A6" -> bytes; and back, in the window's own echo form ("FF 82 A6 ").
Bytes hex(const char* text);
QString hexText(const Bytes& bytes);
Bytes concat(Bytes a, const Bytes& b);

class WindowRig {
public:
    // Creates the device and the window; with `open`, opens the port on the
    // device's pty (QVERIFY(rig.isOpen()) in the test).
    explicit WindowRig(bool open = true);
    ~WindowRig();

    TForm1& form() { return *form_; }
    sim::SimTransmitter& device() { return *device_; }
    host::RequestCycle& cycle() { return form_->cycle(); }

    template <class T = QWidget> T* get(const char* name) const {
        return form_->findChild<T*>(QString::fromLatin1(name));
    }

    bool openPort(); // types the pty path into "Serial Port:" and presses "Open"
    bool isOpen() const;
    bool discover(); // "HART Address 0 Query" until "Upload successful!"

    // Clicks a button by name (it must exist and be enabled).
    bool click(const char* button);
    // Forgets what the device received, clicks `button` and waits until its
    // reply has been decoded or its request dropped (ReplyCode back to 0).
    bool request(const char* button);
    void setText(const char* edit, const QString& text);
    // Types into a field key by key, through its keyboard filter.
    void type(const char* edit, const QString& keys);
    void select(const char* combo, int index);

    QString status() const;
    // Waits until the status line shows `text` with no decode pending.
    bool waitStatus(const QString& text, int ms = 15000);

    // Back to a quiet device: no scripted reply, no faults, no reply awaited
    // (ReplyCode 0; with Pending::Manual also the manual command's 104, which
    // stays pending by design), decode timer idle, received bytes forgotten.
    enum class Pending { None, Manual };
    bool settle(Pending allowed = Pending::None, int ms = 15000);

    // The next frame the device receives: delimiter through checksum.
    std::optional<Bytes> nextFrame(int ms = 10000);
    // Every byte the device received since the last call, preambles included,
    // once a whole frame is in.
    std::optional<Bytes> nextWire(int ms = 10000);
    // Drops frames and bytes received so far.
    void forgetReceived();

    // Answers the next requests with these bytes instead of the device's own
    // reply (until cleared with an empty vector).
    void respondWith(Bytes bytes);
    // A long reply from the simulated device's address.
    Bytes longReply(std::uint8_t command, const Bytes& data, std::uint8_t responseCode = 0,
                    std::uint8_t master = 0x80);

    // The text of the modal error box, which is then closed; empty when none
    // appears within `ms`.
    QString takeErrorBox(int ms = 10000);

    // The simulated transmitter is a Rosemount: tests of the other makers'
    // pages answer every WrongMakerQuestion a click() brings with "Send"
    // from now on.
    void sendToAnyMaker();
    // Clicks `button` (its text) on the message box `box` (object name) once
    // it shows; false when it does not show within `ms`.
    bool answer(const char* box, const QString& button, int ms = 10000);

private:
    std::unique_ptr<sim::SimTransmitter> device_;
    std::unique_ptr<TForm1> form_;
    bool sendToAnyMaker_ = false;
};

// What a label, edit field or memo shows; "<missing NAME>" when the window
// has no such widget.
QString text(WindowRig& r, const char* name);
// Whether every button that needs an open port (Button2-Button47) is in
// the given state.
bool portButtonsEnabled(WindowRig& r, bool enabled);

// "name=index" pairs: select those list items (-1: nothing chosen).
void selectAll(WindowRig& r, const QStringList& picks);
// "name=text" pairs: a list shows exactly that item (empty text: nothing
// chosen); an edit field holds that text. Fails the running test otherwise.
void expectShown(WindowRig& r, const QStringList& expected);

} // namespace rig
