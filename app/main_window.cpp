#include "app/main_window.h"

#include "app/device_status.h"
#include "app/hartip_panel.h"
#include "app/monitor_panel.h"
#include "app/port_list.h"
#include "app/traffic_panel.h"
#include "devices/devices.h"
#include "hart/device_identity.h"
#include "hart/encodings.h"
#include "hart/link_buffer.h"
#include "link/links.h"
#include "link/serial_link.h"
#include "hartip/hartip_link.h"
#include "host/loop_watch.h"
#include "host/makers.h"
#include "host/traffic_log.h"
#include "host/widgets.h"
#include "ops/ops.h"
#include "serial/tcomm.h"
#include "startup/first_frame.h"
#include "startup/image_plugins.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollArea>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <iterator>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>

namespace {

// Pages of PageControl2 in order, and the inner pages of PageControl1.
struct PageDef {
    const char* name;
    const char* caption;
};
constexpr PageDef kPages[] = {
    {"TabSheet6", "On-line test "},
    {"TabSheet7", "I/O Calibration"},
    {"TabSheet8", "Instrument parameter settings"},
    {"TabSheet9", "Instrument information"},
    {"TabSheet3", "Temperature transmitter"},
    {"TabSheet1", "DP & MV Transmitter"},
    {"TabSheetNetwork", "Network"},
    {"TabSheetConfiguration", "Configuration"},
};
constexpr const char* kTemperatureHolder = "TabSheet3";
constexpr PageDef kTemperaturePages[] = {
    {"TabSheet11", "Rosemount And E+H Temperature transmitter"},
    {"TabSheet12", "Siemens+KROHNE+ABB Temperature Transmitter"},
    {"TabSheetDevice", "HART 7 device"},
};

// The page grid behind each host::Page, in the enum's order.
constexpr const char* kPageGrids[] = {"TabSheet6",     "TabSheet7",       "TabSheet8",
                                      "TabSheet9",     "TabSheet11",      "TabSheet12",
                                      "TabSheet1",     "TabSheetNetwork", "TabSheetConfiguration",
                                      "TabSheetDevice"};
static_assert(std::size(kPageGrids) == static_cast<std::size_t>(host::Page::Hart7Device) + 1);

// A tab's caption: "&" stands for itself ("DP & MV Transmitter"), not for a
// keyboard shortcut.
QString tabCaption(const char* caption) {
    return QString::fromUtf8(caption).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

QScrollArea* makePage(const char* name) {
    auto* area = new QScrollArea;
    area->setObjectName(QString::fromLatin1(name));
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    auto* content = new QWidget;
    auto* grid = new QGridLayout(content);
    grid->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    area->setWidget(content);
    return area;
}

QPixmap logo() {
    QPixmap pm(56, 56);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0x1f, 0x5f, 0x9f));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(2, 2, 52, 52), 10, 10);
    p.setPen(Qt::white);
    QFont f(QStringLiteral("DejaVu Sans"), 15, QFont::Bold);
    p.setFont(f);
    p.drawText(QRectF(2, 2, 52, 52), Qt::AlignCenter, QStringLiteral("RX"));
    return pm;
}

// Clicks on the "Serial Port:" label.
class ClickFilter : public QObject {
public:
    ClickFilter(QObject* parent, std::function<void()> onClick)
        : QObject(parent), onClick_(std::move(onClick)) {}

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::MouseButtonPress) onClick_();
        return false;
    }

private:
    std::function<void()> onClick_;
};

} // namespace

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent), imagePlugins_(std::make_unique<startup::ImagePluginsAside>()) {
    setObjectName(QStringLiteral("TForm1"));
    setWindowTitle(QStringLiteral("RX460-K"));
    makeSerialComponent();
    makeTimers();
    setFace();
    {
        // Every control is made under the window's font. Placed in the
        // window, it then changes no font, which would measure every item of
        // every list again; and a line edit, which lays out its empty text in
        // the application's font before it takes its own, loads no other
        // font for it.
        const startup::ApplicationFontAs windowFont(font());
        buildFrame();
        makeCycle();
        buildPages();
    }
    // A page whose rows and readers do not match is a programming error: it
    // stops the program here, not at the first click.
    cycle_->checkReaders();
    cycle_->provenance().watch(pages_);
    fitToPages();
    startUp();
}

TForm1::~TForm1() {
    // A HART-IP server may keep a session to itself until it is closed, so
    // the window closes it rather than let it time out.
    links_->hartIp().close();
    // The serial component stops its threads when it is destroyed; stop it
    // before the cycle and the simulators it talks to go away.
    delete comm_;
    comm_ = nullptr;
    delete links_;
    links_ = nullptr;
}

void TForm1::makeSerialComponent() {
    comm_ = new TComm(this);
    comm_->setObjectName(QStringLiteral("Comm1"));
    // Comm1 as the form stores it.
    comm_->setCommName(QStringLiteral("COM1"));
    line::setUpForHart(*comm_);
}

void TForm1::makeTimers() {
    auto makeTimer = [this](const char* name, int ms) {
        auto* t = new QTimer(this);
        t->setObjectName(QString::fromLatin1(name));
        t->setInterval(ms);
        // To the millisecond: a coarse timer may fire 5 % early or late, which
        // would move every decode by up to 5 ms and a time-out by 150 ms.
        t->setTimerType(Qt::PreciseTimer);
        return t;
    };
    timer1_ = makeTimer("Timer1", 3000); // discovery cycle step
    timer2_ = makeTimer("Timer2", 100);  // decode
    timer3_ = makeTimer("Timer3", 3000); // reply timeout
}

void TForm1::setFace() {
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xd6, 0xec, 0xfa)); // light sky blue
    setPalette(pal);
    setAutoFillBackground(true);
    QFont f = font();
    f.setFamily(QStringLiteral("DejaVu Sans"));
    f.setBold(true);
    setFont(f);
}

void TForm1::makeCycle() {
    links_ = new line::Links(*comm_, this);
    cycle_ = std::make_unique<host::RequestCycle>(
        links_->serial(), host::CycleViews{sendView_, receiveView_, sentLabel_, receivedLabel_,
                                           statusLabel_, timer2_, timer3_});
    cycle_->setErrorHandler([this](const std::function<void()>& f) { guarded(f); });
    connect(cycle_.get(), &host::RequestCycle::lineLost, this,
            [this](const QString& message) { guarded([&] { portGone(message); }); });
    for (line::Link* link : links_->all()) {
        connect(link, &line::Link::note, this, &TForm1::linkNote);
        // A setting the line did not take: said once, where outcomes are said.
        connect(link, &line::Link::problem, statusLabel_, &QLabel::setText);
    }

    loopWatch_ = new host::LoopWatch(*cycle_, this);
    connect(loopWatch_, &host::LoopWatch::changed, this, &TForm1::showLoopBanner);
    connect(&cycle_->device(), &host::Device::portChanged, this, &TForm1::showLoopBanner);
    connect(&cycle_->device(), &host::Device::currentDeviceChanged, this, &TForm1::deviceLeft);

    trafficLog_->watch(*cycle_);
    connect(this, &TForm1::portOpened, trafficLog_, &host::TrafficLog::logPortOpened);
    connect(this, &TForm1::portClosed, trafficLog_, &host::TrafficLog::logPortClosed);
    connect(this, &TForm1::portLost, trafficLog_, &host::TrafficLog::logPortLost);
    connect(this, &TForm1::linkNote, trafficLog_, &host::TrafficLog::logNote);
    showDeviceStatus(deviceStatusLabel_, cycle_->device());
    // Secure HART-IP: lock, status text, keys, audit log (app/hartip_panel.h).
    app::addHartIpPanel(*this);
    app::addMonitorPanel(*this); // the Monitor dock and its button (app/monitor_panel.h)
}

void TForm1::startUp() {
    openButton_->setText(QStringLiteral("Open"));
    setPortButtonsEnabled(false);
    openButton_->setEnabled(true);
    resetFields(PortMoment::Start);
    cycle_->resetCounters();
    pages_->setCurrentIndex(0);
    timer1_->stop();
    timer3_->stop();
    timer2_->start();
}

void TForm1::buildFrame() {
    auto* central = new QWidget(this);
    setCentralWidget(central);
    auto* outer = new QVBoxLayout(central);
    outer->addLayout(buildHeader(central));
    outer->addLayout(buildPortRow(central));
    outer->addWidget(buildLoopBanner(central));
    pages_ = new QTabWidget(central);
    pages_->setObjectName(QStringLiteral("PageControl2"));
    outer->addWidget(pages_, 1);
    outer->addLayout(buildViews(central));
}

// Logo, title, version, contact.
QLayout* TForm1::buildHeader(QWidget* central) {
    auto* header = new QHBoxLayout;
    auto* logoLabel = new QLabel(central);
    logoLabel->setPixmap(logo());
    header->addWidget(logoLabel);
    auto* titles = new QVBoxLayout;
    auto* title = host::makeLabel(QStringLiteral("RX460-K  HART Instrument Configuration Tool"),
                                  "Label1", central);
    QFont tf = title->font();
    tf.setPointSizeF(tf.pointSizeF() * 1.5);
    title->setFont(tf);
    titles->addWidget(title);
    titles->addWidget(host::makeLabel(
        QStringLiteral("Version %1   released 2026-12-10").arg(QStringLiteral(PROJECT_VERSION)),
        "Label2", central));
    header->addLayout(titles, 1);
    header->addWidget(host::makeLabel(QStringLiteral("For HART field instruments on a 4-20 mA "
                                                     "loop\nthrough a HART modem"),
                                      nullptr, central));
    return header;
}

// "Serial Port:", the port list, Open/Close, and the traffic panel's button.
QLayout* TForm1::buildPortRow(QWidget* central) {
    auto* portRow = new QHBoxLayout;
    auto* portLabel = host::makeLabel(QStringLiteral("Serial Port:"), "Label4", central);
    portLabel->installEventFilter(
        new ClickFilter(portLabel, [this] { cycle_->setShowVendorFrames(); }));
    portRow->addWidget(portLabel);
    portList_ = new app::PortCombo({simulatedPortName(), simulatedNetworkName()}, central);
    portList_->setObjectName(QStringLiteral("SPREALCOM"));
    portList_->setMinimumContentsLength(22);
    portRow->addWidget(portList_);
    openButton_ = host::makeButton("Button1", QStringLiteral("Open"), central);
    onClick(openButton_, [this] { togglePort(); });
    portRow->addWidget(openButton_);
    hiddenButton_ = host::makeButton("Button18", QString(), central);
    hiddenButton_->setVisible(false); // on the form but never shown and without an action
    portDependent(hiddenButton_);
    portRow->addStretch(1);
    // The traffic log, and its panel hidden until the "Traffic" button shows it.
    trafficLog_ = new host::TrafficLog(this);
    portRow->addWidget(app::addTrafficPanel(*this, *trafficLog_, [this](const QString& m) {
                           showError(m);
                       })->toggleButton());
    return portRow;
}

// Above the pages while the loop current is fixed: a fixed current is
// easily forgotten, and the loop then tells the control system nothing.
QWidget* TForm1::buildLoopBanner(QWidget* central) {
    loopBanner_ = host::makeLabel(QString(), "LoopFixedBanner", central);
    loopBanner_->setAutoFillBackground(true);
    QPalette p = loopBanner_->palette();
    p.setColor(QPalette::Window, QColor(0xff, 0xe0, 0x8a)); // amber, as a warning light
    p.setColor(QPalette::WindowText, QColor(0x5a, 0x3a, 0x00));
    loopBanner_->setPalette(p);
    auto* release = host::makeButton("ReleaseLoop", QStringLiteral("Return to normal"), central);
    release->setParent(loopBanner_);
    auto* row = new QHBoxLayout(loopBanner_);
    row->setContentsMargins(8, 4, 4, 4);
    row->addStretch(1);
    row->addWidget(release);
    // The text keeps clear of the button.
    loopBanner_->setContentsMargins(0, 0, release->sizeHint().width() + 8, 0);
    loopBanner_->setMinimumHeight(release->sizeHint().height() + 8);
    loopBanner_->setIndent(8);
    onClick(release, [this] { loopWatch_->release(); });
    loopBanner_->hide();
    return loopBanner_;
}

// Send and receive views, counters, status line and device status.
QLayout* TForm1::buildViews(QWidget* central) {
    auto* bottom = new QGridLayout;
    bottom->addWidget(host::makeLabel(QStringLiteral("Send Buffer:"), nullptr, central), 0, 0);
    sendView_ = host::makeEdit("discomm", central);
    bottom->addWidget(sendView_, 0, 1, 1, 5);
    bottom->addWidget(host::makeLabel(QStringLiteral("Receive Buffer:"), nullptr, central), 1, 0,
                      Qt::AlignTop);
    receiveView_ = new QPlainTextEdit(central);
    receiveView_->setObjectName(QStringLiteral("Memo8"));
    receiveView_->setLineWrapMode(QPlainTextEdit::NoWrap);
    receiveView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    receiveView_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    receiveView_->setFixedHeight(72);
    bottom->addWidget(receiveView_, 1, 1, 1, 5);
    bottom->addWidget(host::makeLabel(QStringLiteral("Number Of Bytes Send:"), nullptr, central), 2,
                      0);
    sentLabel_ = host::makeLabel(QString(), "Label56", central);
    sentLabel_->setMinimumWidth(60);
    bottom->addWidget(sentLabel_, 2, 1);
    bottom->addWidget(
        host::makeLabel(QStringLiteral("Number Of Bytes Received:"), nullptr, central), 2, 2);
    receivedLabel_ = host::makeLabel(QString(), "Label67", central);
    receivedLabel_->setMinimumWidth(60);
    bottom->addWidget(receivedLabel_, 2, 3);
    auto* clear = host::makeButton("Button58", QStringLiteral("Clear Buffer"), central);
    onClick(clear, [this] {
        sendView_->clear();
        receiveView_->clear();
    });
    bottom->addWidget(clear, 2, 5);
    bottom->addWidget(host::makeLabel(QStringLiteral("Transfer Status:"), nullptr, central), 3, 0);
    statusLabel_ = host::makeLabel(QString(), "Label68", central);
    QPalette sp = statusLabel_->palette();
    sp.setColor(QPalette::WindowText, QColor(0xb0, 0x10, 0x10));
    statusLabel_->setPalette(sp);
    bottom->addWidget(statusLabel_, 3, 1, 1, 5);
    bottom->addWidget(host::makeLabel(QStringLiteral("Device Status:"), nullptr, central), 4, 0);
    deviceStatusLabel_ = makeDeviceStatusLabel(central);
    bottom->addWidget(deviceStatusLabel_, 4, 1, 1, 5);
    bottom->setColumnStretch(4, 1);
    return bottom;
}

void TForm1::buildPages() {
    std::map<QString, QScrollArea*> grids;
    auto page = [&grids](const PageDef& def) {
        auto* area = makePage(def.name);
        grids[QString::fromLatin1(def.name)] = area;
        return area;
    };
    for (const auto& p : kPages) {
        if (QLatin1String(p.name) == QLatin1String(kTemperatureHolder)) {
            auto* inner = new QTabWidget;
            inner->setObjectName(QStringLiteral("PageControl1"));
            auto* holder = new QWidget;
            holder->setObjectName(QString::fromLatin1(p.name));
            auto* l = new QVBoxLayout(holder);
            l->setContentsMargins(0, 0, 0, 0);
            l->addWidget(inner);
            for (const auto& ip : kTemperaturePages)
                inner->addTab(page(ip), tabCaption(ip.caption));
            pages_->addTab(holder, tabCaption(p.caption));
        } else {
            pages_->addTab(page(p), tabCaption(p.caption));
        }
    }
    for (const char* grid : kPageGrids)
        pageAreas_.push_back(grids.at(QString::fromLatin1(grid)));

    ops::buildDeviceInfo(*this);
    ops::buildDiscovery(*this);
    ops::buildProcessData(*this);
    ops::buildManualCommand(*this);
    ops::buildRangeUnit(*this);
    ops::buildBurstMode(*this);
    ops::buildCalibration(*this);
    devices::buildRosemountTemperature(*this);
    devices::buildYokogawaEhTemperature(*this);
    devices::buildSiemensKrohneAbbTemperature(*this);
    devices::buildDpMv(*this);
    ops::buildMoreStatus(*this);
    ops::buildNetworkScan(*this);
    ops::buildConfiguration(*this);
    ops::buildHart7Device(*this);
}

void TForm1::fitToPages() {
    // Large enough to show the biggest page without scrolling, where the
    // screen allows it.
    QSize content;
    for (auto* area : pageAreas_)
        content = content.expandedTo(area->widget()->sizeHint());
    QSize chrome = sizeHint() - pages_->sizeHint();
    QSize want = content + chrome + QSize(40, 80);
    // Every tab's caption in view, without the tab bar's scroll buttons.
    want.setWidth(std::max(want.width(), pages_->tabBar()->sizeHint().width() + chrome.width() +
                                             40));
    if (auto* screen = QGuiApplication::primaryScreen())
        want = want.boundedTo(screen->availableGeometry().size() * 0.95);
    resize(want);
}

void TForm1::setVisible(bool visible) {
    QMainWindow::setVisible(visible);
    if (visible) startup::settleLayouts();
}

void TForm1::place(host::Page page, QWidget* widget, int row, int column, int rowSpan,
                   int columnSpan) {
    auto* area = pageAreas_.at(static_cast<std::size_t>(page));
    auto* grid = static_cast<QGridLayout*>(area->widget()->layout());
    // Groups keep their natural height; a short group beside a tall one does
    // not stretch. Single controls stay centred on their row.
    Qt::Alignment align = qobject_cast<QGroupBox*>(widget) ? Qt::AlignTop : Qt::Alignment{};
    grid->addWidget(widget, row, column, rowSpan, columnSpan, align);
}

void TForm1::portDependent(QPushButton* button) {
    portButtons_.push_back(button);
}

void TForm1::resetWithPort(QWidget* field, host::PortReset how) {
    portResets_.emplace_back(field, how);
}

void TForm1::holdRequests(bool held) {
    requestsHeld_ = held;
    const QWidget* network = pageAreas_.at(static_cast<std::size_t>(host::Page::Network));
    for (int i = 0; i < pages_->count(); ++i)
        if (pages_->widget(i) != network) pages_->widget(i)->setEnabled(!held);
}

QString TForm1::simulatedPortName() {
    return line::Links::simulatedTransmitterName();
}

QString TForm1::simulatedNetworkName() {
    return line::Links::simulatedNetworkName();
}

sim::SimTransmitter* TForm1::simulator() const {
    return links_->simulator();
}

sim::SimNetwork* TForm1::simulatedNetwork() const {
    return links_->simulatedNetwork();
}

hartip::HartIpLink& TForm1::hartIp() {
    return links_->hartIp();
}

bool TForm1::overHartIp() const {
    return isPortOpen() && &cycle_->link() == &links_->hartIp();
}

void TForm1::guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        showError(QString::fromUtf8(e.what()));
    }
}

void TForm1::onClick(QPushButton* button, std::function<void()> handler) {
    connect(button, &QPushButton::clicked, this, [this, h = std::move(handler)] { guarded(h); });
}

void TForm1::showError(const QString& message) {
    auto* box =
        new QMessageBox(QMessageBox::Critical, windowTitle(), message, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("errorBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    box->show();
}

void TForm1::togglePort() {
    if (!isPortOpen())
        openPort();
    else if (loopWatch_->fixed())
        askLoopBeforeClosing(Closing::Port);
    else
        closePort();
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (isPortOpen() && loopWatch_->fixed() && !windowCloseAgreed_) {
        event->ignore();
        askLoopBeforeClosing(Closing::Window);
        return;
    }
    QMainWindow::closeEvent(event);
}

void TForm1::askLoopBeforeClosing(Closing closing) {
    auto* box = new QMessageBox(QMessageBox::Question, windowTitle(),
                                QStringLiteral("The loop current is still fixed. Return it to "
                                               "normal before closing?"),
                                QMessageBox::NoButton, this);
    box->setObjectName(QStringLiteral("LoopFixedQuestion"));
    auto* release = box->addButton(QStringLiteral("Return to normal"), QMessageBox::AcceptRole);
    auto* leave = box->addButton(QStringLiteral("Leave fixed"), QMessageBox::DestructiveRole);
    auto* cancel = box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(release);
    box->setEscapeButton(cancel);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    connect(box, &QMessageBox::finished, this, [this, box, release, leave, closing] {
        guarded([&] {
            if (box->clickedButton() == leave) {
                closeNow(closing);
            } else if (box->clickedButton() == release) {
                // Closed once the device has answered the release, or its
                // reply has timed out: the request is not cut off mid-way.
                auto* once = new QObject(this);
                const auto done = [this, once, closing] {
                    if (!once->parent()) return;
                    once->setParent(nullptr);
                    once->deleteLater();
                    guarded([&] { closeNow(closing); });
                };
                connect(cycle_.get(), &host::RequestCycle::replyDecoded, once, done);
                connect(cycle_.get(), &host::RequestCycle::replyNotDecoded, once, done);
                connect(cycle_.get(), &host::RequestCycle::replyTimedOut, once, done);
                connect(cycle_.get(), &host::RequestCycle::lineLost, once, done);
                loopWatch_->release();
            }
        });
    });
    box->show();
}

void TForm1::closeNow(Closing closing) {
    if (closing == Closing::Window) {
        windowCloseAgreed_ = true;
        close();
    } else if (isPortOpen()) {
        closePort();
    }
}

void TForm1::whenMakerAgrees(const host::Maker& maker, std::function<void()> send) {
    const auto& id = cycle_->device().identity();
    const auto makes = [&maker](std::optional<std::uint16_t> code) {
        return code && std::ranges::find(maker.codes, *code) != maker.codes.end();
    };
    if (!id || !id->manufacturer || makes(id->manufacturer) || makes(id->distributor) ||
        makersAllowed_.count(&maker)) {
        guarded(send);
        return;
    }
    const QString text =
        QStringLiteral("The device found is made by %1 (%2). This page sends %3's own commands, "
                       "which mean something else to other makers' devices. Send anyway?")
            .arg(QString::fromStdString(hart::manufacturerText(*id->manufacturer)))
            .arg(*id->manufacturer)
            .arg(QString::fromUtf8(maker.name.data(), static_cast<qsizetype>(maker.name.size())));
    auto* box = new QMessageBox(QMessageBox::Question, windowTitle(), text, QMessageBox::NoButton,
                                this);
    box->setObjectName(QStringLiteral("WrongMakerQuestion"));
    auto* sendButton = box->addButton(QStringLiteral("Send"), QMessageBox::AcceptRole);
    auto* cancel = box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    connect(box, &QMessageBox::finished, this,
            [this, box, sendButton, &maker, send = std::move(send)] {
                if (box->clickedButton() != sendButton) return;
                makersAllowed_.insert(&maker);
                guarded(send);
            });
    box->show();
}

void TForm1::confirm(const char* objectName, const QString& text, const QString& yes,
                     std::function<void()> onYes) {
    auto* box = new QMessageBox(QMessageBox::Question, windowTitle(), text, QMessageBox::NoButton,
                                this);
    box->setObjectName(QString::fromLatin1(objectName));
    auto* yesButton = box->addButton(yes, QMessageBox::AcceptRole);
    auto* cancel = box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    connect(box, &QMessageBox::finished, this, [this, box, yesButton, onYes = std::move(onYes)] {
        if (box->clickedButton() == yesButton) guarded(onYes);
    });
    box->show();
}

void TForm1::tell(const QString& text) {
    showError(text);
}

void TForm1::deviceLeft() {
    cycle_->provenance().clearReplyFilled();
    cycle_->provenance().forgetReads();
    makersAllowed_.clear();
    loopWatch_->forget();
}

void TForm1::showLoopBanner() {
    const bool shown = loopWatch_->fixed() && isPortOpen();
    if (shown) {
        const auto at = loopWatch_->fixedAt();
        loopBanner_->setText(
            at ? QStringLiteral("Loop current fixed at %1 mA: the loop is not following the "
                                "process")
                     .arg(QString::fromStdString(hart::floatText(*at)))
               : QStringLiteral("Loop current fixed: the loop is not following the process"));
    }
    loopBanner_->setVisible(shown);
}

bool TForm1::isPortOpen() const {
    return cycle_->device().portOpen();
}

void TForm1::openPort() {
    // A malformed HART-IP address ends the action here.
    line::Link& link = links_->linkFor(portList_->currentText());
    try {
        openLink(link); // ECommsError or HartIpError ends the action here
    } catch (const ECommsError& e) {
        // Nothing at that path: say which ports there are.
        if (e.openFailure() != ECommsError::OpenFailure::Missing) throw;
        portList_->refresh();
        throw app::withPortsFound(e, portList_->ports());
    }
    cycle_->setLink(link);
    cycle_->provenance().forgetReads();
    makersAllowed_.clear();
    loopWatch_->forget();
    cycle_->device().setPortOpen(true);
    openButton_->setText(QStringLiteral("Close"));
    setPortButtonsEnabled(true);
    timer1_->stop();
    timer3_->stop();
    cycle_->resetCounters();
    resetFields(PortMoment::Open);
    openedPort_ = link.name();
    emit portOpened(openedPort_);
}

void TForm1::openLink(line::Link& link) {
    const QString waiting = link.openingText();
    if (waiting.isEmpty()) {
        link.open();
        return;
    }
    // The server may take seconds to answer. The link waits in a local event
    // loop: the window repaints and says what it waits for, while clicks and
    // keys wait until the open is decided.
    const QString before = statusLabel_->text();
    statusLabel_->setText(waiting);
    openButton_->setEnabled(false);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const auto restore = qScopeGuard([this] {
        QGuiApplication::restoreOverrideCursor();
        openButton_->setEnabled(true);
    });
    try {
        link.open();
    } catch (...) {
        statusLabel_->setText(before);
        throw;
    }
}

void TForm1::closePort() {
    setPortButtonsEnabled(false);
    resetFields(PortMoment::Close);
    cycle_->provenance().forgetReads();
    makersAllowed_.clear();
    loopWatch_->forget();
    cycle_->device().forgetStatus();
    cycle_->device().setPortOpen(false);
    openButton_->setText(QStringLiteral("Open"));
    // The serial link drops DTR, then closes the component.
    cycle_->link().close();
    emit portClosed(openedPort_);
}

void TForm1::portGone(const QString& message) {
    if (!isPortOpen()) return;
    emit portLost(openedPort_);
    // The cycle awaits nothing any more; no discovery step may follow on a
    // line that is gone either.
    timer1_->stop();
    closePort();
    // Beyond what closing empties: nothing the device said may look current.
    deviceLeft();
    statusLabel_->setText(message);
    showError(message);
}

void TForm1::setPortButtonsEnabled(bool enabled) {
    for (auto* b : portButtons_)
        b->setEnabled(enabled);
}

void TForm1::resetFields(PortMoment moment) {
    using host::PortReset;
    for (const auto& [field, how] : portResets_) {
        switch (how) {
        case PortReset::ClearAtStart:
            if (moment != PortMoment::Start) break;
            [[fallthrough]];
        case PortReset::Clear:
            if (auto* e = qobject_cast<QLineEdit*>(field))
                e->clear();
            else if (auto* c = qobject_cast<QComboBox*>(field))
                host::clearSelection(c);
            else if (auto* l = qobject_cast<QLabel*>(field))
                l->clear();
            break;
        case PortReset::FirstItem:
            host::selectIndex(qobject_cast<QComboBox*>(field), 0);
            break;
        case PortReset::Check:
            if (moment != PortMoment::Close) qobject_cast<QRadioButton*>(field)->setChecked(true);
            break;
        }
    }
    sentLabel_->clear();
    receivedLabel_->clear();
    statusLabel_->clear();
}

void TForm1::openAtStart(const QString& port) {
    if (const int item = portList_->findText(port); item >= 0)
        portList_->setCurrentIndex(item);
    else
        portList_->setEditText(port);
    guarded([this] { togglePort(); });
}
