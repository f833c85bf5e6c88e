// Manual command: a frame typed as hexadecimal bytes, from the delimiter to the
// last data byte. The program adds six preambles and the checksum, sends it,
// and shows whatever comes back without decoding it; the receive view keeps
// showing later chunks (a late second part, burst frames) until another
// request is sent.
#include "ops/ops.h"

#include "hart/encodings.h"
#include "host/bind.h"
#include "host/widgets.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace ops {

namespace {

constexpr std::size_t kMaxTypedBytes = 15;

bool isUpperHex(char32_t c) {
    return c >= 'A' && c <= 'F';
}

// "02 80 00 00" -> 02 80 00 00. Each byte is two digits, bytes separated by
// exactly one space; a last byte needs no space after it and a single
// character left over is ignored. At most 15 bytes are taken.
std::vector<std::uint8_t> parseTyped(const std::u32string& text) {
    const std::size_t L = text.size();
    const std::size_t n = std::min(L / 3 + (L % 3 == 2 ? 1 : 0), kMaxTypedBytes);
    if (n == 0) throw hart::ConversionError("NO SPACK");
    for (std::size_t i = 0; i + 1 < n; ++i)
        if (text[3 * i + 2] != U' ') throw hart::ConversionError("NO SPACK");

    std::vector<std::uint8_t> bytes;
    bool badDigit = false;
    for (std::size_t i = 0; i < n; ++i) {
        const char32_t high = text[3 * i];
        const char32_t low = text[3 * i + 1];
        int h = 0;
        if (high >= '0' && high <= '9')
            h = static_cast<int>(high - '0');
        else if (isUpperHex(high))
            h = static_cast<int>(high - 'A') + 10;
        else
            badDigit = true;
        int l = 0;
        if (isUpperHex(low)) {
            l = static_cast<int>(low - 'A') + 10;
        } else if (low <= '9') {
            // A digit; anything below '0' stops here with the integer conversion error.
            l = hart::parseInt(std::string(1, static_cast<char>(low)));
        } else {
            badDigit = true;
        }
        bytes.push_back(static_cast<std::uint8_t>(16 * h + l));
    }
    if (badDigit) throw hart::ConversionError("Data eeore!");
    return bytes;
}

struct Controls {
    QLineEdit* typed; // Edit8
    host::RequestCycle* cycle;
};

// The send view is emptied before the text is parsed, so a text that does
// not parse leaves it empty.
void clearSendView(const Controls& c) {
    c.cycle->clearSendView();
}

void typedBytes(const Controls& c, host::Payload& p) {
    p.bytes(parseTyped(c.typed->text().toStdU32String()));
}

// No reader: while ReplyCode stays 104 the receive handler itself shows every chunk.
constexpr host::RequestRow<Controls> kRequests[] = {
    {"Button17", host::kManualReply, host::manualFrame(), typedBytes, clearSendView},
};

} // namespace

void buildManualCommand(host::PageHost& host) {
    host::Buttons buttons;
    Controls c{host::makeEdit("Edit8"), &host.cycle()};

    auto* box = new QGroupBox;
    box->setObjectName(QStringLiteral("GroupBox16"));
    auto* grid = new QGridLayout(box);
    c.typed->setMinimumWidth(300);
    grid->addWidget(host::makeLabel(QStringLiteral("HEX (76 89 FD AD)")), 0, 1);
    grid->addWidget(host::makeLabel(QStringLiteral("Manual HART command:")), 1, 0);
    grid->addWidget(c.typed, 1, 1);
    grid->addWidget(host::makeLabel(QStringLiteral(" (Auto-generate Checksum)")), 1, 2);
    grid->addWidget(buttons.make("Button17", QStringLiteral("Send")), 1, 3);
    grid->setColumnStretch(1, 1);
    host.place(host::Page::OnlineTest, box, 1, 0, 1, 2);

    host::bindRequests<Controls>(host, buttons, c, kRequests);
}

} // namespace ops
