// "Read additional status": command 48, which a device asks for by setting
// "More status available" in the field-device status of its replies. The
// reply's fields are named in a read-only view; the button's text is bold
// while the last reply received asks for it.
#include "ops/ops.h"

#include "hart/names.h"
#include "hart/reply_status.h"
#include "host/bind.h"
#include "host/device.h"

#include <QColor>
#include <QGroupBox>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

namespace ops {

namespace {

constexpr int kMoreStatusReply = 148;
constexpr std::uint8_t kReadAdditionalStatus = 48;

struct Controls {
    QPlainTextEdit* view; // MoreStatusView
};

void clearView(const Controls& c) {
    c.view->clear();
}

constexpr host::RequestRow<Controls> kRequests[] = {
    {"ReadMoreStatus", kMoreStatusReply, host::longFrame(kReadAdditionalStatus), nullptr,
     clearView},
};

// Any non-zero response code first (a warning such as 14, "status bytes
// mismatch", still carries the device's bytes), then every field the reply has.
void showMoreStatus(const Controls& c, const host::Reply& r) {
    QStringList lines;
    if (r.responseCode() != hart::rc::kSuccess)
        lines << QStringLiteral("Response: %1")
                     .arg(QString::fromStdString(hart::statusSummary(r.responseCode())));
    const auto data = std::span(r.at(0, r.dataBytes()), static_cast<std::size_t>(r.dataBytes()));
    for (const std::string& line : hart::additionalStatusLines(data))
        lines << QString::fromStdString(line);
    c.view->setPlainText(lines.join(QLatin1Char('\n')));
}

// One data byte is enough to show something: older devices send six, HART 7
// up to twenty-five, and the view shows the fields there are. A reply without
// data is an error response (or no answer to the question) and fails; the
// request cycle then names its response code, and the view repeats that.
constexpr host::ReaderRow<Controls> kReaders[] = {
    {.replyCode = kMoreStatusReply, .reads = 1, .fill = showMoreStatus, .failed = clearView},
};

} // namespace

void buildMoreStatus(host::PageHost& host) {
    host::Buttons buttons;
    Controls c{new QPlainTextEdit};
    c.view->setObjectName(QStringLiteral("MoreStatusView"));
    c.view->setReadOnly(true);
    c.view->setLineWrapMode(QPlainTextEdit::NoWrap);
    c.view->setFixedHeight(c.view->fontMetrics().lineSpacing() * 8 + 12);

    auto* box = new QGroupBox(QStringLiteral("Additional Device Status"));
    box->setObjectName(QStringLiteral("GroupBoxMoreStatus"));
    auto* layout = new QVBoxLayout(box);
    QPushButton* button = buttons.make("ReadMoreStatus", QStringLiteral("Read additional status"));
    layout->addWidget(button, 0, Qt::AlignLeft);
    layout->addWidget(c.view);
    host.place(host::Page::OnlineTest, box, 2, 0, 1, 2);

    host::bindRequests<Controls>(host, buttons, c, kRequests);
    host::bindReaders<Controls>(host, c, kReaders);

    QObject::connect(&host.cycle(), &host::RequestCycle::replyNotDecoded, c.view,
                     [view = c.view](int replyCode, const QString& status) {
                         if (replyCode == kMoreStatusReply) view->setPlainText(status);
                     });
    // The window's face is bold throughout, so this button is set in the
    // normal weight and turns bold (and amber) only when the device asks to
    // be read.
    const host::Device& device = host.device();
    const QPalette normal = button->palette();
    const auto markRequest = [button, &device, normal] {
        const auto& last = device.lastStatus();
        const bool asked = last && hart::moreStatusAvailable(*last);
        QFont f = button->font();
        f.setBold(asked);
        button->setFont(f);
        QPalette p = normal;
        if (asked) p.setColor(QPalette::ButtonText, QColor(0xb3, 0x6b, 0x00)); // the status amber
        button->setPalette(p);
    };
    markRequest();
    QObject::connect(&device, &host::Device::statusChanged, button, markRequest);
}

} // namespace ops
