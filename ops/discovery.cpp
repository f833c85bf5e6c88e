// Finding the instrument: command 0 to one polling address, or to 0..15 in
// turn, and the device-ID query. The first good reply fills the identity
// cache (DeviceAddress) that addresses every later long frame; the cache
// survives closing and reopening the port.
#include "ops/ops.h"

#include "app/main_window.h"
#include "app/widgets.h"
#include "hart/encodings.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace ops {

namespace {

using namespace hart::lb;

constexpr int kDiscoveryPreambles = 6;
constexpr int kDeviceIdPreambles = 8;
constexpr int kPollAddresses = 16;

QString deviceIdText(const hart::LinkBuffer& b) {
    return QString::fromStdString(hart::uint24ToText(b.data() + kDeviceId));
}

void copyDeviceId(hart::LinkBuffer& b, int K) {
    // Reply data bytes 9..11 of command 0 (K+16..K+18 of a short reply).
    for (int i = 0; i < 3; ++i)
        b[kDeviceId + i] = b[K + 16 + i];
}

} // namespace

void buildDiscovery(TForm1& form) {
    auto& cycle = form.cycle();

    QStringList addresses;
    for (int i = 0; i < kPollAddresses; ++i)
        addresses << QString::number(i);

    app::FormGroup group("GroupBox1", QStringLiteral("HART Device Info"));
    auto* address = app::makeCombo("ComboBox9", addresses);
    address->setEditable(false);
    address->setCurrentIndex(0);
    auto* master = app::makeCombo(
        "ComboBox8", {QStringLiteral("First Device"), QStringLiteral("Second Device")});
    // Reads "First Device" with no item chosen: until the user picks one the
    // frames carry the secondary-master bit.
    master->setEditText(QStringLiteral("First Device"));
    cycle.setMasterSelector(master);
    auto* manufacturer = app::makeEdit("Edit1");
    auto* deviceType = app::makeEdit("Edit2");
    auto* preambles = app::makeEdit("Edit3");
    auto* deviceId = app::makeEdit("Edit4");
    auto* query = app::makeButton("Button3", QStringLiteral("HART Address 0 Query"));
    auto* cycleQuery = app::makeButton("Button16", QStringLiteral("HART 0-15 Cycle_Query"));
    auto* step = app::makeLabel(QString(), "Label33");
    step->setMinimumWidth(40);

    group.addRow(QStringLiteral("Address No:"), {address, master});
    group.addRow(QStringLiteral("Manufacturing ID:"), {manufacturer});
    group.addRow(QStringLiteral("Sensor Type:"), {deviceType});
    group.addRow(QStringLiteral("Preamble Length:"), {preambles});
    group.addRow(QStringLiteral("Sensor Serial Number:"), {deviceId});
    group.addRow(QString(), {query, cycleQuery, step});
    form.addToPage("TabSheet6", group.box(), 0, 0);

    // On "Instrument information": the serial number row, with its query.
    auto* serial = app::makeEdit("Edit28");
    auto* serialQuery = app::makeButton("Button7", QStringLiteral("Query"));
    form.addToPage("TabSheet9", app::makeLabel(QStringLiteral("Sensor serial number:")), 4, 0);
    form.addToPage("TabSheet9", serial, 4, 1);
    form.addToPage("TabSheet9", serialQuery, 4, 2);

    auto pollAddress = [address] {
        return static_cast<std::uint8_t>(std::max(0, address->currentIndex()));
    };

    form.onClick(query, [&cycle, pollAddress] {
        cycle.begin(app::kDiscoveryReply);
        cycle.sendShort(app::kDiscoveryReply, kDiscoveryPreambles, pollAddress());
    });

    QTimer* timer1 = form.timer1();
    form.onClick(cycleQuery, [&cycle, step, timer1] {
        cycle.buffer()[kPollAddress] = 0;
        cycle.begin(app::kDiscoveryReply, false);
        cycle.sendShort(app::kDiscoveryReply, kDiscoveryPreambles, 0,
                        {.timeoutClass = app::kPoll, .startTimeout = false});
        step->setText(QStringLiteral("#0"));
        app::startIfIdle(timer1);
    });

    QObject::connect(timer1, &QTimer::timeout, &form, [&form, &cycle, step, timer1] {
        form.guarded([&] {
            auto& b = cycle.buffer();
            int next = b[kPollAddress] + 1;
            b[kPollAddress] = static_cast<std::uint8_t>(next);
            if (next >= kPollAddresses) {
                cycle.setStatus(QString());
                cycle.setStatus(QStringLiteral("Unable to find sensor!"));
                timer1->stop();
                return;
            }
            cycle.begin(app::kDiscoveryReply);
            // Cycle steps always speak as the primary master.
            cycle.sendShort(app::kDiscoveryReply, kDiscoveryPreambles,
                            static_cast<std::uint8_t>(next),
                            {.master = 0x80, .timeoutClass = app::kPoll, .startTimeout = false});
            step->setText(QStringLiteral("#%1").arg(next));
        });
    });

    form.onClick(serialQuery, [&cycle, serial, pollAddress] {
        cycle.begin(app::kDeviceIdReply);
        serial->clear();
        cycle.sendShort(app::kDeviceIdReply, kDeviceIdPreambles, pollAddress());
    });

    cycle.registerDecoder(app::kDiscoveryReply, [&form, &cycle, address, manufacturer, deviceType,
                                                 preambles, deviceId, serial, timer1] {
        auto& b = cycle.buffer();
        auto K = cycle.locate(hart::kDiscoveryScan);
        if (!K) {
            cycle.setStatus(QStringLiteral("Upload failed!"));
            for (auto* e : {manufacturer, deviceType, preambles, deviceId})
                e->clear();
            app::selectIndex(address, 0);
            return;
        }
        b[kManufacturer] = b[*K + 8];
        manufacturer->setText(QString::number(b[kManufacturer]));
        b[kDeviceType] = b[*K + 9];
        deviceType->setText(QString::number(b[kDeviceType]));
        b[kPreambles] = b[*K + 10];
        preambles->setText(QString::number(b[kPreambles]));
        app::selectIndex(address, b[kPollAddress]);
        if (auto* pollList = form.findChild<QComboBox*>(QStringLiteral("ComboBox3")))
            app::selectIndex(pollList, b[kPollAddress]);
        copyDeviceId(b, *K);
        deviceId->setText(deviceIdText(b));
        serial->setText(deviceIdText(b));
        cycle.setStatus(QStringLiteral("Upload successful!"));
        timer1->stop();
    });

    cycle.registerDecoder(app::kDeviceIdReply, [&cycle, address, serial] {
        auto& b = cycle.buffer();
        auto K = cycle.locate(hart::kShortStandardScan);
        if (!K) {
            cycle.setStatus(QStringLiteral("Upload Failure!"));
            serial->clear();
            app::selectIndex(address, 0);
            return;
        }
        cycle.setStatus(QStringLiteral("Upload successful!"));
        copyDeviceId(b, *K);
        serial->setText(deviceIdText(b));
    });
}

} // namespace ops
