// "Burst mode Test" group: which command the instrument repeats on its own
// (command 108), and burst mode on or off (command 109). The program keeps no
// record of the device's burst state; each button just sends its write.
#include "ops/ops.h"

#include "app/main_window.h"
#include "app/widgets.h"

#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>

#include <cstdint>
#include <iterator>
#include <optional>
#include <span>

namespace ops {

namespace {

// The data byte of a button, or nothing when there is none to send.
using DataByte = std::optional<std::uint8_t> (*)(const QComboBox*);

std::optional<std::uint8_t> burstCommand(const QComboBox* list) {
    // The list is editable: its text, not a stale selection, says what is meant.
    const int position = list->findText(list->currentText(), Qt::MatchExactly);
    if (position < 0) return std::nullopt;
    return static_cast<std::uint8_t>(position + 1);
}
std::optional<std::uint8_t> burstOn(const QComboBox*) {
    return 0x01;
}
std::optional<std::uint8_t> burstOff(const QComboBox*) {
    return 0x00;
}

struct Request {
    const char* button;
    const char* caption;
    std::uint8_t command;
    int replyCode;
    DataByte data;
};

constexpr Request kRequests[] = {
    {"Button20", "SET", 108, 108, burstCommand},
    {"Button19", "Into Burst mode", 109, 109, burstOn},
    {"Button9", "Quit Burst mode", 109, 99, burstOff},
};

} // namespace

void buildBurstMode(TForm1& form) {
    auto& cycle = form.cycle();

    app::FormGroup group("GroupBox4", QStringLiteral("Burst mode Test"));
    auto* list = app::makeCombo("ComboBox11",
                                {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")});
    app::selectIndex(list, 0);

    QPushButton* buttons[std::size(kRequests)];
    for (std::size_t i = 0; i < std::size(kRequests); ++i)
        buttons[i] =
            app::makeButton(kRequests[i].button, QString::fromLatin1(kRequests[i].caption));
    group.addRow(QStringLiteral("Burst mode command:"), {list, buttons[0]});
    group.addRow(QString(), {buttons[1], buttons[2]});
    form.addToPage("TabSheet8", group.box(), 1, 0);

    for (std::size_t i = 0; i < std::size(kRequests); ++i) {
        const Request& r = kRequests[i];
        form.onClick(buttons[i], [&cycle, &r, list] {
            const auto data = r.data(list);
            if (!data) {
                cycle.setStatus(QStringLiteral("Burst mode command must be 1, 2 or 3: choose one "
                                               "from the list. Nothing sent."));
                return;
            }
            cycle.begin(r.replyCode);
            const std::uint8_t byte = *data;
            cycle.sendLong(r.replyCode, r.command, std::span(&byte, 1));
        });
    }
    // Replies 108, 109 and 99 are judged by the generic write result.
}

} // namespace ops
