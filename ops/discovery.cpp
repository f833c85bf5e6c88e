// Finding the instrument: command 0 to one polling address, or to 0..15 in
// turn. The first good reply makes its sender the current device (the
// identity cache, DeviceAddress, that addresses every later long frame);
// the cache survives closing and reopening the port.
#include "ops/ops.h"

#include "hart/encodings.h"
#include "host/bind.h"
#include "host/device.h"
#include "host/widgets.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace ops {

namespace {

constexpr int kDiscoveryPreambles = 6;
constexpr int kCycleAddresses = 16; // the cycle asks 0..15

struct Controls {
    QComboBox* address;      // ComboBox9, "Address No:"
    QLineEdit* manufacturer; // Edit1
    QLineEdit* deviceType;   // Edit2
    QLineEdit* preambles;    // Edit3
    QLineEdit* deviceId;     // Edit4
    QLabel* step;            // Label33, the address the cycle asks
    QTimer* cycle;           // Timer1
};

std::uint8_t chosenAddress(const Controls& c) {
    return static_cast<std::uint8_t>(std::max(0, c.address->currentIndex()));
}

void askChosen(const Controls& c, host::Payload& p) {
    p.pollAddress(chosenAddress(c));
}

void askFirst(const Controls&, host::Payload& p) {
    p.pollAddress(0);
}

void cycleStarted(const Controls& c) {
    c.step->setText(QStringLiteral("#0"));
    host::startIfIdle(c.cycle);
}

// The cycle speaks as a poll: no reply timeout, and a missing reply shows
// nothing. Its first request leaves the receive view as it is.
constexpr host::Awaiting kCyclePoll{host::TimeoutClass::Poll, false, true};

constexpr host::RequestRow<Controls> kRequests[] = {
    {"Button3", host::kDiscoveryReply, host::shortFrame(kDiscoveryPreambles), askChosen},
    {.button = "Button16",
     .replyCode = host::kDiscoveryReply,
     .frame = host::shortFrame(kDiscoveryPreambles),
     .data = askFirst,
     .awaiting = kCyclePoll,
     .sent = cycleStarted},
};

// Each later step of the cycle: the next address, always as the primary
// master. The counter is the polling-address byte of the work area.
constexpr host::RequestSpec kCycleStep{host::kDiscoveryReply,
                                       host::shortFrame(kDiscoveryPreambles), host::Echo::Show,
                                       host::Master::Primary,
                                       {host::TimeoutClass::Poll, false, false}};

// The polling address is the one asked (byte 315), not the one the reply
// echoes: a late reply is taken for the address asked last.
void showIdentity(const Controls&, const host::Reply& r) {
    host::Device& device = r.device();
    device.adopt(std::span(r.at(0, r.dataBytes()), static_cast<std::size_t>(r.dataBytes())),
                 device.pollAddress());
}

// The fields follow the current device, however it became current (this
// page's queries, or a device chosen on the "Network" page).
void showCurrentDevice(const Controls& c, const host::Device& device) {
    c.manufacturer->setText(QString::number(device.manufacturerId()));
    c.deviceType->setText(QString::number(device.deviceType()));
    c.preambles->setText(QString::number(device.preambles()));
    host::selectIndex(c.address, device.pollAddress());
    c.deviceId->setText(QString::number(device.deviceId()));
    c.cycle->stop();
}

void identityMissing(const Controls& c) {
    for (auto* e : {c.manufacturer, c.deviceType, c.preambles, c.deviceId})
        e->clear();
    host::selectIndex(c.address, 0);
}

constexpr host::ReaderRow<Controls> kReaders[] = {
    {.replyCode = host::kDiscoveryReply,
     .reads = 12,
     .fill = showIdentity,
     .scan = hart::kDiscoveryScan,
     .failed = identityMissing},
};

// One firing of Timer1.
void cycleStep(host::RequestCycle& cycle, const Controls& c) {
    host::Device& device = cycle.device();
    const int next = device.pollAddress() + 1;
    device.setPollAddress(static_cast<std::uint8_t>(next));
    if (next >= kCycleAddresses) {
        cycle.setStatus(QString());
        cycle.setStatus(QString::fromLatin1(host::status::kNoSensor));
        c.cycle->stop();
        return;
    }
    cycle.send(kCycleStep, nullptr,
               [next](host::Payload& p) { p.pollAddress(static_cast<std::uint8_t>(next)); });
    c.step->setText(QStringLiteral("#%1").arg(next));
}

} // namespace

void buildDiscovery(host::PageHost& host) {
    host::Buttons buttons;
    Controls c{};
    c.cycle = host.discoveryTimer();

    host::FormGroup group("GroupBox1", QStringLiteral("HART Device Info"));
    c.address = host::makeCombo("ComboBox9", host::pollAddressTexts());
    c.address->setEditable(false);
    c.address->setCurrentIndex(0);
    auto* master = host::makeCombo(
        "ComboBox8", {QStringLiteral("First Device"), QStringLiteral("Second Device")});
    // Reads "First Device" with no item chosen: until the user picks one the
    // frames carry the secondary-master bit.
    master->setEditText(QStringLiteral("First Device"));
    host.cycle().setMasterSelector(master);
    c.manufacturer = host::makeEdit("Edit1");
    c.deviceType = host::makeEdit("Edit2");
    c.preambles = host::makeEdit("Edit3");
    c.deviceId = host::makeEdit("Edit4");
    c.step = host::makeLabel(QString(), "Label33");
    c.step->setMinimumWidth(40);

    group.addRow(QStringLiteral("Address No:"), {c.address, master});
    group.addRow(QStringLiteral("Manufacturing ID:"), {c.manufacturer});
    group.addRow(QStringLiteral("Sensor Type:"), {c.deviceType});
    group.addRow(QStringLiteral("Preamble Length:"), {c.preambles});
    group.addRow(QStringLiteral("Sensor Serial Number:"), {c.deviceId});
    group.addRow(QString(), {buttons.make("Button3", QStringLiteral("HART Address 0 Query")),
                             buttons.make("Button16", QStringLiteral("HART 0-15 Cycle_Query")),
                             c.step});
    host.place(host::Page::OnlineTest, group.box(), 0, 0);

    host.resetWithPort(c.address, host::PortReset::FirstItem);
    for (QWidget* field : std::initializer_list<QWidget*>{c.manufacturer, c.deviceType,
                                                          c.preambles, c.deviceId, c.step})
        host.resetWithPort(field, host::PortReset::Clear);

    host::bindRequests<Controls>(host, buttons, c, kRequests);
    host::bindReaders<Controls>(host, c, kReaders);

    QObject::connect(c.cycle, &QTimer::timeout, c.cycle, [&host, c] {
        host.guarded([&] { cycleStep(host.cycle(), c); });
    });

    // "Address No:" is the device's query address: the device-ID query on
    // "Instrument information" asks it too, and its failure sets it back.
    host::Device& device = host.device();
    QObject::connect(c.address, &QComboBox::currentIndexChanged, &device,
                     [&device](int index) { device.setQueryAddress(std::max(0, index)); });
    QObject::connect(&device, &host::Device::queryAddressChanged, c.address,
                     [address = c.address](int index) { host::selectIndex(address, index); });
    QObject::connect(&device, &host::Device::identityChanged, c.address,
                     [c, &device] { showCurrentDevice(c, device); });
}

} // namespace ops
