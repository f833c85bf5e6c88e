// Manual command: a frame typed as hexadecimal bytes, from the delimiter to the
// last data byte. The program adds six preambles and the checksum, sends it,
// and shows whatever comes back without decoding it; the receive view keeps
// showing later chunks (a late second part, burst frames) until another
// request is sent.
#include "ops/ops.h"

#include "hart/typed_frame.h"
#include "host/bind.h"
#include "host/widgets.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace ops {

namespace {

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
    p.bytes(hart::parseTypedFrame(c.typed->text().toStdU32String()));
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
