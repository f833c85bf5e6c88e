#pragma once
// A reader row: how one reply code's reply is found and shown. The request
// cycle runs every reader the same way: locate the reply with the row's scan
// (and its acceptance test); not found, run the row's failure step and show
// its failure text; found, fill the page from the reply's named data bytes
// and show "Upload successful!".
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

namespace host {

// A located reply in the receive area.
class Reply {
public:
    enum class Form { Long, Short };
    Reply(hart::LinkBuffer& buffer, int anchor, Form form)
        : b_(buffer), k_(anchor), dataStart_(anchor + (form == Form::Long ? 11 : 7)),
          header_(anchor + (form == Form::Long ? 7 : 3)) {}

    // Data byte `j` (0 is the first byte after the two status bytes).
    std::uint8_t byte(int j) const { return b_[index(j)]; }
    // From data byte `j` on, for the multi-byte encodings.
    const std::uint8_t* at(int j) const { return b_.data() + index(j); }

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

private:
    std::size_t index(int j) const { return static_cast<std::size_t>(dataStart_ + j); }

    hart::LinkBuffer& b_;
    int k_;
    int dataStart_;
    int header_;
};

// One reply code's reader. `C` is the page's struct of controls.
template <class C> struct ReaderRow {
    int replyCode;
    void (*fill)(const C&, const Reply&);
    hart::Scan scan = hart::kStandardScan;
    const char* failureText = status::kUploadFailed;
    void (*failed)(const C&) = nullptr;            // what a missing reply empties
    bool (*accept)(const Reply&) = nullptr;        // a further test the reply must pass
};

} // namespace host
