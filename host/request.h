#pragma once
// A request row: everything one button sends. The request cycle runs every
// row through one send path, in this order: empty the receive view, show the
// reply code's status text, empty the fields the reply will fill, build the
// data (reading each input as its bytes are appended), build and show the
// frame, count it, write it, pause if the code says so, await the reply.
//
// A data builder may stop the request before anything is sent: a number that
// does not convert throws hart::ConversionError (shown in a message box; the
// status line keeps its "Downloading..."), and Payload::refuse() puts
// "Nothing sent: <why>." on the status line.

#include "hart/frame.h"
#include "hart/link_buffer.h"
#include "host/reply_codes.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

class QLineEdit;

namespace host {

class Device;
class Keep;
class RequestCycle;
struct Maker;
struct Question;

// How the send view (discomm) shows the frame.
enum class Echo {
    Show,       // always
    VendorFlag, // while ShowVendorFrames is on, else the view is emptied
    Hide,       // never: the view is emptied
    Keep,       // never: the view keeps what it showed
};

// Where the master bit comes from.
enum class Master {
    Selector, // the "First Device"/"Second Device" list
    Primary,  // always the primary master
};

struct FrameSpec {
    // Long: to the current device's long address. Short: command 0 to the
    // polling address the data builder gives, recorded as the last one
    // asked. Probe: to an address the data builder gives (a polling
    // address, or a long address through Payload::target), the current
    // device left as it is. Manual: the user's own bytes.
    enum class Kind { Long, Short, Manual, Probe } kind;
    std::uint8_t command = 0; // long frames
    int preambles = 0;        // short frames: 6 or 8
};
// A long frame to the cached device address.
constexpr FrameSpec longFrame(std::uint8_t command) {
    return {FrameSpec::Kind::Long, command, 0};
}
// Command 0 as a short frame to a polling address the data builder gives.
constexpr FrameSpec shortFrame(int preambles) {
    return {FrameSpec::Kind::Short, 0, preambles};
}
// The user's own bytes, with six preambles and the checksum added.
constexpr FrameSpec manualFrame() {
    return {FrameSpec::Kind::Manual, 0, 0};
}
// `command` to a device other than the current one: a long frame when the
// data builder names a long address, else command 0 as a short frame with
// `preambles` to the polling address it gives.
constexpr FrameSpec probeFrame(std::uint8_t command, int preambles = 6) {
    return {FrameSpec::Kind::Probe, command, preambles};
}

// Enabled with the port (the universal operations and the first device
// groups), or left to the page.
enum class PortGate { WithPort, Always };

// How a request waits for its reply, where it differs from its reply code's
// row (the discovery cycle polls without a timeout).
struct Awaiting {
    std::optional<TimeoutClass> timeout; // instead of the code's own class
    bool startTimeout = true;
    bool keepReceiveView = false; // the cycle button leaves the receive view as it is
};

// The data bytes of a request, appended in order.
class Payload {
public:
    Payload(hart::LinkBuffer& buffer, Device& device) : buffer_(buffer), device_(device) {}

    void byte(std::uint8_t b) { bytes_.push_back(b); }
    void bytes(std::span<const std::uint8_t> b) { bytes_.insert(bytes_.end(), b.begin(), b.end()); }
    // The field's text as a WireFloat / Uint24 / PackedAscii of `chars`;
    // throws hart::ConversionError when it does not convert.
    void wireFloat(const QLineEdit* field);
    void uint24(const QLineEdit* field);
    void packedAscii(const QLineEdit* field, int chars);

    // The polling address a short frame goes to.
    void pollAddress(std::uint8_t address) { pollAddress_ = address; }
    // The long address a probe frame goes to.
    void target(const hart::UniqueAddress& address) { target_ = address; }

    // Stops the request: "Nothing sent: <why>." on the status line.
    [[noreturn]] static void refuse(const QString& why);

    hart::LinkBuffer& buffer() { return buffer_; }
    // The current device (its PV unit goes back in the trims).
    Device& device() { return device_; }
    const std::vector<std::uint8_t>& data() const { return bytes_; }
    std::uint8_t address() const { return pollAddress_; }
    const std::optional<hart::UniqueAddress>& target() const { return target_; }

private:
    hart::LinkBuffer& buffer_;
    Device& device_;
    std::vector<std::uint8_t> bytes_;
    std::uint8_t pollAddress_ = 0;
    std::optional<hart::UniqueAddress> target_;
};

// Thrown by Payload::refuse; the send path catches it.
class Refusal : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The page-independent part of a request.
struct RequestSpec {
    int replyCode;
    FrameSpec frame;
    Echo echo = Echo::Show;
    Master master = Master::Selector;
    Awaiting awaiting{};
};

// One button's request. `C` is the page's struct of controls.
template <class C> struct RequestRow {
    const char* button; // object name
    int replyCode;
    FrameSpec frame;
    void (*data)(const C&, Payload&) = nullptr;   // none: no data bytes
    void (*clears)(const C&) = nullptr;           // fields its reply fills
    Echo echo = Echo::Show;
    Master master = Master::Selector;
    PortGate gate = PortGate::WithPort;
    Awaiting awaiting{};
    void (*sent)(const C&) = nullptr; // after the frame went out (the cycle button starts Timer1)
    // A SET: the settings it sends and the queries that read them, checked
    // before anything happens (see Keep).
    void (*keep)(const C&, Keep&) = nullptr;
    // A device-specific command: whose. Sent to another maker's device only
    // when the user says so.
    const Maker* maker = nullptr;
    // Asked first; sent only when the user says yes.
    const Question* question = nullptr;
    // Sent only while this holds. A button with several rows (one command
    // for one kind of device, another for the rest) sends the row whose
    // condition holds; the conditions of one button's rows exclude each other.
    bool (*when)(const C&) = nullptr;

    RequestSpec spec() const { return {replyCode, frame, echo, master, awaiting}; }
};

} // namespace host
