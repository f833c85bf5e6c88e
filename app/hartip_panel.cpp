#include "app/hartip_panel.h"

#include "app/main_window.h"
#include "hart/hartip.h"
#include "hartip/hartip_link.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QDateTime>
#include <QDialog>
#include <QHeaderView>
#include <QHostAddress>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

namespace app {

namespace {

constexpr std::array kAuditColumns{"Client",       "Server port",    "Connected",
                                   "Disconnected", "Session status", "Changes",
                                   "Publish",      "Request",        "Response"};

QString timeText(std::uint64_t seconds) {
    if (seconds == ~std::uint64_t{0}) return QStringLiteral("still connected");
    if (seconds == 0) return {};
    return QDateTime::fromSecsSinceEpoch(static_cast<qint64>(seconds))
        .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

QString clientText(const hart::ip::AuditRecord& r) {
    const bool v6 = std::ranges::any_of(r.clientIpv6, [](std::uint8_t b) { return b != 0; });
    const QHostAddress address =
        v6 ? QHostAddress(r.clientIpv6.data())
           : QHostAddress((quint32{r.clientIpv4[0]} << 24) | (quint32{r.clientIpv4[1]} << 16) |
                          (quint32{r.clientIpv4[2]} << 8) | r.clientIpv4[3]);
    return v6 ? QStringLiteral("[%1]:%2").arg(address.toString()).arg(r.clientPort)
              : QStringLiteral("%1:%2").arg(address.toString()).arg(r.clientPort);
}

// A closed padlock, drawn at the height of a line of text.
QPixmap lockPixmap(int size, const QColor& color) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = size;
    QPen pen(color, std::max(1.5, w / 9));
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    // The shackle: an arch over the body.
    p.drawArc(QRectF(w * 0.28, w * 0.08, w * 0.44, w * 0.5), 0, 180 * 16);
    p.drawLine(QPointF(w * 0.28, w * 0.33), QPointF(w * 0.28, w * 0.48));
    p.drawLine(QPointF(w * 0.72, w * 0.33), QPointF(w * 0.72, w * 0.48));
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawRoundedRect(QRectF(w * 0.15, w * 0.45, w * 0.7, w * 0.5), w * 0.08, w * 0.08);
    return pixmap;
}

// The box layout in which `widget` sits, searched from `layout` down.
QBoxLayout* layoutHolding(QLayout* layout, QWidget* widget) {
    if (!layout) return nullptr;
    if (layout->indexOf(widget) >= 0) return qobject_cast<QBoxLayout*>(layout);
    for (int i = 0; i < layout->count(); ++i)
        if (auto* found = layoutHolding(layout->itemAt(i)->layout(), widget)) return found;
    return nullptr;
}

} // namespace

HartIpPanel* addHartIpPanel(TForm1& window) {
    return new HartIpPanel(window);
}

HartIpPanel::HartIpPanel(TForm1& window)
    : QObject(&window), window_(window), lock_(new QLabel(&window)),
      serverButton_(new QPushButton(QStringLiteral("HART-IP server…"), &window)) {
    lock_->setObjectName(QStringLiteral("SecureLock"));
    const int size = window.fontMetrics().height();
    lock_->setPixmap(lockPixmap(size, QColor(0x10, 0x70, 0x30)));
    lock_->setText(QString());
    lock_->setVisible(false);
    serverButton_->setObjectName(QStringLiteral("HartIpServer"));
    serverButton_->setEnabled(false);
    if (auto* ports = window.findChild<QComboBox*>(QStringLiteral("SPREALCOM"))) {
        if (auto* row = layoutHolding(window.centralWidget()->layout(), ports)) {
            const int at = row->indexOf(ports);
            row->insertWidget(at + 1, lock_);
            // After Open/Close (which follows the lock).
            row->insertWidget(at + 3, serverButton_);
        }
    }

    connect(serverButton_, &QPushButton::clicked, this, [this] { serverDialog()->show(); });
    connect(&window, &TForm1::portOpened, this, &HartIpPanel::portOpened);
    connect(&window, &TForm1::portClosed, this, &HartIpPanel::portEnded);
    connect(&window, &TForm1::portLost, this, &HartIpPanel::portEnded);

    window.hartIp().setCredentialsSource(
        [this](const hartip::Address& a) { return credentialsFor(a.host, a.text()); });
}

QDialog* HartIpPanel::serverDialog() {
    if (serverDialog_) return serverDialog_;
    serverDialog_ = new QDialog(&window_);
    // A window of its own does not take the main window's font by itself.
    serverDialog_->setFont(window_.font());
    auditTable_ = new QTableWidget(serverDialog_);
    auditSummary_ = new QLabel(serverDialog_);
    serverDialog_->setObjectName(QStringLiteral("HartIpServerDialog"));
    serverDialog_->setWindowTitle(QStringLiteral("HART-IP server"));
    auto* read = new QPushButton(QStringLiteral("Read audit log"), serverDialog_);
    read->setObjectName(QStringLiteral("ReadAuditLog"));
    auto* forget =
        new QPushButton(QStringLiteral("Forget the key kept for this host"), serverDialog_);
    forget->setObjectName(QStringLiteral("ForgetHartIpKey"));
    auditTable_->setObjectName(QStringLiteral("AuditLogTable"));
    auditTable_->setColumnCount(static_cast<int>(kAuditColumns.size()));
    QStringList headers;
    for (const char* c : kAuditColumns)
        headers << QLatin1String(c);
    auditTable_->setHorizontalHeaderLabels(headers);
    auditTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auditTable_->horizontalHeader()->setStretchLastSection(true);
    auditSummary_->setObjectName(QStringLiteral("AuditLogSummary"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(read);
    buttons->addStretch(1);
    buttons->addWidget(forget);
    auto* layout = new QVBoxLayout(serverDialog_);
    layout->addLayout(buttons);
    layout->addWidget(auditSummary_);
    layout->addWidget(auditTable_, 1);
    serverDialog_->resize(900, 320);

    connect(read, &QPushButton::clicked, this,
            [this] { window_.guarded([this] { readAuditLog(); }); });
    connect(forget, &QPushButton::clicked, this, [this] {
        window_.guarded([this] {
            const auto* ports = window_.findChild<QComboBox*>(QStringLiteral("SPREALCOM"));
            if (!ports || !hartip::isAddress(ports->currentText())) return;
            const auto address = hartip::parseAddress(ports->currentText());
            store_.forget(address.host);
            auditSummary_->setText(
                QStringLiteral("The key kept for %1 is forgotten").arg(address.host));
        });
    });
    return serverDialog_;
}

std::optional<hartip::Credentials> HartIpPanel::credentialsFor(const QString& host,
                                                               const QString& where) {
    if (auto kept = store_.load(host)) return kept;
    HartIpCredentialsDialog ask(where, &window_);
    ask.setFont(window_.font());
    if (ask.exec() != QDialog::Accepted || !ask.credentials()) return std::nullopt;
    store_.save(host, *ask.credentials());
    return ask.credentials();
}

void HartIpPanel::portOpened() {
    const bool hartIp = window_.overHartIp();
    serverButton_->setEnabled(hartIp);
    if (!hartIp || !window_.hartIp().isSecure()) return;
    const QString text = window_.hartIp().securityText();
    lock_->setToolTip(text);
    lock_->setVisible(true);
    if (auto* status = window_.findChild<QLabel*>(QStringLiteral("Label68"))) status->setText(text);
}

void HartIpPanel::portEnded() {
    lock_->setVisible(false);
    lock_->setToolTip(QString());
    serverButton_->setEnabled(false);
}

void HartIpPanel::readAuditLog() {
    if (!window_.overHartIp()) throw hartip::HartIpError("No HART-IP session is open");
    serverDialog();
    const hart::ip::AuditLog log = window_.hartIp().readAuditLog(0, 255);
    auditTable_->setRowCount(static_cast<int>(log.records.size()));
    int row = 0;
    for (const hart::ip::AuditRecord& r : log.records) {
        const QStringList cells{
            clientText(r),
            QString::number(r.serverPort),
            timeText(r.connectTime),
            timeText(r.disconnectTime),
            QString::fromStdString(hart::ip::sessionStatusText(r.sessionStatus)),
            QStringLiteral("%1 → %2")
                .arg(r.startConfigurationCounter)
                .arg(r.endConfigurationCounter),
            QString::number(r.publishPdus),
            QString::number(r.requestPdus),
            QString::number(r.responsePdus)};
        for (int c = 0; c < cells.size(); ++c)
            auditTable_->setItem(row, c, new QTableWidgetItem(cells[c]));
        ++row;
    }
    auditTable_->resizeColumnsToContents();
    auditSummary_->setText(QStringLiteral("%1 session record(s); server up since %2")
                               .arg(log.records.size())
                               .arg(timeText(log.powerUpTime)));
}

} // namespace app
