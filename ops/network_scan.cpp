// "Network": every polling address of a multidrop loop asked for its device
// and tag (ops/scan_driver.h says how), one table row per device. A row
// double-clicked becomes the current device of every page.
#include "ops/ops.h"

#include "hart/device_identity.h"
#include "hart/protocol.h"
#include "host/device.h"
#include "host/request_cycle.h"
#include "host/widgets.h"
#include "ops/scan_driver.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <span>

namespace ops {

namespace {

// "0-15" and "0-63": the highest polling address each asks.
struct ScanRange {
    const char* text;
    int last;
};
constexpr ScanRange kRanges[] = {{"0-15", 15}, {"0-63", hart::kHighestPollAddress}};
constexpr int kDefaultRange = 1;

enum Column { Address, Manufacturer, DeviceType, DeviceId, HartRevision, DeviceRevision, Tag };
constexpr const char* kColumns[] = {"Address",       "Manufacturer",    "Device type", "Device ID",
                                    "HART revision", "Device revision", "Tag"};
// The Address cell keeps the device's command-0 data for the double-click.
constexpr int kIdentityRole = Qt::UserRole;

QString hex(std::uint32_t value, int digits) {
    return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}

class NetworkScan : public QObject {
public:
    struct Widgets {
        QComboBox* range;
        QPushButton* scan;
        QPushButton* stop;
        QProgressBar* progress;
        QTableWidget* table;
    };

    NetworkScan(host::PageHost& host, Widgets w)
        : QObject(w.table), host_(host), w_(w), driver_(host.cycle(), this) {
        host_.onClick(w_.scan, [this] { start(); });
        host_.onClick(w_.stop, [this] {
            driver_.stop();
            w_.stop->setEnabled(false);
        });
        connect(w_.table, &QTableWidget::cellDoubleClicked, this,
                [this](int row, int) { host_.guarded([this, row] { selectRow(row); }); });
        connect(&driver_, &ScanDriver::found, this, &NetworkScan::addRow);
        connect(&driver_, &ScanDriver::progressed, w_.progress, &QProgressBar::setValue);
        connect(&driver_, &ScanDriver::finished, this, &NetworkScan::finished);
    }

private:
    bool portOpen() const { return host_.device().portOpen(); }

    void start() {
        if (driver_.running() || !portOpen()) return;
        // The scan has the line to itself: no discovery step may take its
        // answers, and no page may send meanwhile.
        host_.discoveryTimer()->stop();
        host_.holdRequests(true);
        const int last = kRanges[std::max(0, w_.range->currentIndex())].last;
        w_.table->setRowCount(0);
        w_.progress->setRange(0, last + 1);
        w_.progress->setValue(0);
        w_.scan->setEnabled(false);
        w_.range->setEnabled(false);
        w_.stop->setEnabled(true);
        driver_.start(0, last);
    }

    void finished(int found) {
        host_.holdRequests(false);
        w_.stop->setEnabled(false);
        w_.range->setEnabled(true);
        w_.scan->setEnabled(portOpen());
        if (portOpen()) host_.cycle().setStatus(ScanDriver::finishedText(found));
    }

    void addRow(const ScanDriver::Found& f) {
        const hart::DeviceIdentity& id = f.identity;
        QStringList cells(std::size(kColumns));
        cells[Address] = QString::number(f.address);
        cells[Manufacturer] = id.manufacturer
                                  ? QString::fromStdString(hart::manufacturerText(*id.manufacturer))
                                  : QString();
        cells[DeviceType] = hex(id.deviceType, id.expandedDeviceType ? 4 : 2);
        cells[DeviceId] = hex(id.deviceId, 6);
        cells[HartRevision] = QString::number(id.universalRevision);
        cells[DeviceRevision] = QString::number(id.deviceRevision);
        cells[Tag] = f.tag;

        const int row = w_.table->rowCount();
        w_.table->insertRow(row);
        for (int col = 0; col < cells.size(); ++col)
            w_.table->setItem(row, col, new QTableWidgetItem(cells[col]));
        w_.table->item(row, Address)->setData(kIdentityRole, f.identityData);
    }

    void selectRow(int row) {
        const QTableWidgetItem* cell = w_.table->item(row, Address);
        if (!cell) return;
        const QByteArray data = cell->data(kIdentityRole).toByteArray();
        host_.device().adopt(std::span(reinterpret_cast<const std::uint8_t*>(data.constData()),
                                       static_cast<std::size_t>(data.size())),
                             static_cast<std::uint8_t>(cell->text().toInt()));
    }

    host::PageHost& host_;
    Widgets w_;
    ScanDriver driver_;
};

} // namespace

void buildNetworkScan(host::PageHost& host) {
    NetworkScan::Widgets w{};
    w.range = new QComboBox;
    w.range->setObjectName(QStringLiteral("ScanRange"));
    for (const ScanRange& r : kRanges)
        w.range->addItem(QString::fromLatin1(r.text));
    w.range->setCurrentIndex(kDefaultRange);
    w.scan = host::makeButton("ScanNetwork", QStringLiteral("Scan"));
    w.stop = host::makeButton("StopScan", QStringLiteral("Stop"));
    w.stop->setEnabled(false);
    w.progress = new QProgressBar;
    w.progress->setObjectName(QStringLiteral("ScanProgress"));
    w.progress->setRange(0, kRanges[kDefaultRange].last + 1);
    w.progress->setValue(0);
    w.progress->setFormat(QStringLiteral("%v / %m"));

    w.table = new QTableWidget(0, static_cast<int>(std::size(kColumns)));
    w.table->setObjectName(QStringLiteral("NetworkTable"));
    QStringList headers;
    for (const char* c : kColumns)
        headers << QString::fromLatin1(c);
    w.table->setHorizontalHeaderLabels(headers);
    w.table->verticalHeader()->setVisible(false);
    w.table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    w.table->horizontalHeader()->setStretchLastSection(true);
    w.table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    w.table->setSelectionBehavior(QAbstractItemView::SelectRows);
    w.table->setSelectionMode(QAbstractItemView::SingleSelection);
    w.table->setMinimumSize(820, 320);

    host::FormGroup group("GroupBoxNetwork", QStringLiteral("Devices On The Loop"));
    auto* controls = new QWidget;
    auto* row = new QHBoxLayout(controls);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(w.range);
    row->addWidget(w.scan);
    row->addWidget(w.stop);
    row->addWidget(w.progress, 1);
    group.addRow(QStringLiteral("Polling addresses:"), {controls});
    group.addWide(w.table);
    group.addWide(host::makeLabel(
        QStringLiteral("Double-click a device to make it the current one on every page.")));
    host.place(host::Page::Network, group.box(), 0, 0);

    host.portDependent(w.scan);
    new NetworkScan(host, w);
}

} // namespace ops
