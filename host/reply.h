#pragma once
// A reader row: how one reply code's reply is found and shown. The request
// cycle runs every reader the same way: locate the reply with the row's scan
// (and its acceptance test); not found, run the row's failure step and show
// its failure text; found, check it (its byte count against the bytes
// received, its checksum, and that it carries the data bytes the row reads;
// a reply that fails runs the failure step too, and the status line says
// why after the failure text), then fill the page from the reply's named
// data bytes and show "Upload successful!".
//
// Fill steps read data bytes by their index in the reply's data field
// (data byte j of a long reply stands at K+11+j, of a short reply at K+7+j),
// through named constants, never by raw buffer offsets.

#include "hart/link_buffer.h"
#include "hart/reply.h"
#include "host/status_texts.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <span>

namespace host {

class Device;

// A located reply in the receive area.
class Reply {
public:
    enum class Form { Long, Short };
    // `dataBytes`: how many data bytes the reply carries (its byte count less
    // the two status bytes), all of them received.
    Reply(hart::LinkBuffer& buffer, Device& device, int anchor, Form form, int dataBytes)
        : b_(buffer), device_(device), k_(anchor),
          dataStart_(anchor + (form == Form::Long ? 11 : 7)),
          header_(anchor + (form == Form::Long ? 7 : 3)), dataBytes_(dataBytes) {}

    // Data byte `j` (0 is the first byte after the two status bytes).
    std::uint8_t byte(int j) const { return b_[index(j, 1)]; }
    // `n` data bytes from byte `j` on, for the multi-byte encodings.
    const std::uint8_t* at(int j, int n) const { return b_.data() + index(j, n); }
    // How many data bytes the reply carries.
    int dataBytes() const { return dataBytes_; }

    // FloatText of the WireFloat at data byte `j`: whole, or cut to `length`.
    QString floatText(int j, std::optional<int> length = std::nullopt) const;
    // The same with the 0x7F marker ("0.000").
    QString markedFloatText(int j, int length) const;

    std::uint8_t command() const { return b_[static_cast<std::size_t>(header_)]; }
    std::uint8_t byteCount() const { return b_[static_cast<std::size_t>(header_ + 1)]; }
    std::uint8_t responseCode() const { return b_[static_cast<std::size_t>(header_ + 2)]; }
    std::uint8_t deviceStatus() const { return b_[static_cast<std::size_t>(header_ + 3)]; }

    int anchor() const { return k_; }
    // The work area, for readers that keep reply bytes for a later write.
    hart::LinkBuffer& buffer() const { return b_; }
    // The device the reply came from, for what it tells of it (its PV unit).
    Device& device() const { return device_; }

private:
    // A fill step that reads past the reply's own data is a programming
    // error: its row declares too few bytes (std::logic_error).
    std::size_t index(int j, int n) const;

    hart::LinkBuffer& b_;
    Device& device_;
    int k_;
    int dataStart_;
    int header_;
    int dataBytes_;
};

// One reply code's reader. `C` is the page's struct of controls.
template <class C> struct ReaderRow {
    int replyCode;
    int reads; // data bytes the fill step needs; a shorter reply is not shown
    void (*fill)(const C&, const Reply&);
    hart::Scan scan = hart::kStandardScan;
    const char* failureText = status::kUploadFailed;
    void (*failed)(const C&) = nullptr;            // what a missing reply empties
    bool (*accept)(const Reply&) = nullptr;        // a further test the reply must pass
    // What the status line says once the fill is done ("Write successful!"
    // for a write whose reply fills the page).
    const char* successText = status::kUploadSuccessful;
    // The response code decides as well: an error fails even a reply that
    // carries the bytes the fill reads (an action with no data to read), and
    // both an error and a warning are named by the command's own meaning
    // after the status text.
    bool judgesResponseCode = false;
};

} // namespace host
