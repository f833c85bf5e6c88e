// "Burst mode Test" group: which command the instrument repeats on its own
// (command 108), and burst mode on or off (command 109). The program keeps no
// record of the device's burst state; each button just sends its write.
#include "ops/ops.h"

#include "host/bind.h"
#include "host/widgets.h"

#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>

namespace ops {

namespace {

struct Controls {
    QComboBox* command; // ComboBox11: "1", "2", "3"
};

void burstCommand(const Controls& c, host::Payload& p) {
    // The list is editable: its text, not a stale selection, says what is meant.
    const int position = c.command->findText(c.command->currentText(), Qt::MatchExactly);
    if (position < 0)
        host::Payload::refuse(QStringLiteral("the burst mode command must be 1, 2 or 3"));
    p.byte(static_cast<std::uint8_t>(position + 1));
}
void burstOn(const Controls&, host::Payload& p) {
    p.byte(0x01);
}
void burstOff(const Controls&, host::Payload& p) {
    p.byte(0x00);
}

// All three are writes judged by the generic write result.
constexpr host::RequestRow<Controls> kRequests[] = {
    {"Button20", 108, host::longFrame(108), burstCommand},
    {"Button19", 109, host::longFrame(109), burstOn},
    {"Button9", 99, host::longFrame(109), burstOff},
};

} // namespace

void buildBurstMode(host::PageHost& host) {
    host::Buttons buttons;
    Controls c{};
    host::FormGroup group("GroupBox4", QStringLiteral("Burst mode Test"));
    c.command = host::makeCombo("ComboBox11",
                                {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")});
    host::selectIndex(c.command, 0);
    group.addRow(QStringLiteral("Burst mode command:"),
                 {c.command, buttons.make("Button20", QStringLiteral("SET"))});
    group.addRow(QString(), {buttons.make("Button19", QStringLiteral("Into Burst mode")),
                             buttons.make("Button9", QStringLiteral("Quit Burst mode"))});
    host.place(host::Page::ParameterSettings, group.box(), 1, 0);
    host.resetWithPort(c.command, host::PortReset::FirstItem);

    host::bindRequests<Controls>(host, buttons, c, kRequests);
}

} // namespace ops
