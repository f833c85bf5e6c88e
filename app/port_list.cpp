#include "app/port_list.h"

#include "startup/list_combo.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScrollBar>
#include <QSerialPortInfo>
#include <QSignalBlocker>
#include <QTimer>

#include <algorithm>
#include <tuple>
#include <utility>

namespace app {

namespace {

// How the list orders and names a device it knows no maker or product of, by
// the start of its kernel name. A HART modem is nearly always a USB adapter,
// so those come first. The kernel makes ttyS nodes for UARTs that may not be
// there; sysfs tells which are.
struct PortKind {
    QLatin1StringView prefix;
    int rank;
    const char* name;
    bool mayBePlaceholder;
};
constexpr PortKind kPortKinds[] = {
    {QLatin1StringView("ttyUSB"), 0, "USB serial adapter", false},
    {QLatin1StringView("ttyACM"), 0, "USB modem", false},
    {QLatin1StringView("ttyS"), 1, "on-board serial port", true},
};
constexpr PortKind kOtherPort{QLatin1StringView(""), 2, "serial port", false};

constexpr int kComPorts = 9; // "COM1" ... "COM9" come first

// "ttyUSB10" -> ("ttyUSB", 10); a name without a number -> (name, -1).
std::pair<QString, int> splitKernelName(const QString& name) {
    qsizetype digits = name.size();
    while (digits > 0 && name[digits - 1].isDigit())
        --digits;
    if (digits == name.size() || digits == 0) return {name, -1};
    return {name.left(digits), name.mid(digits).toInt()};
}

const PortKind& kindOf(const QString& kernelName) {
    const auto [prefix, number] = splitKernelName(kernelName);
    if (number >= 0)
        for (const auto& kind : kPortKinds)
            if (prefix == kind.prefix) return kind;
    return kOtherPort;
}

QString readableName(const FoundDevice& d, const PortKind& kind) {
    QStringList words;
    if (!d.manufacturer.isEmpty() && !d.product.contains(d.manufacturer, Qt::CaseInsensitive))
        words << d.manufacturer;
    if (!d.product.isEmpty()) words << d.product;
    QString name = words.isEmpty() ? QString::fromLatin1(kind.name) : words.join(u' ');
    if (!d.serialNumber.isEmpty()) name += QStringLiteral(", serial ") + d.serialNumber;
    return name;
}

QString tooltipOf(const ListedPort& port) {
    return port.path == port.device ? port.name
                                    : port.name + QStringLiteral(" (") + port.device + u')';
}

} // namespace

std::vector<ListedPort> listPorts(std::vector<FoundDevice> devices) {
    struct Entry {
        std::tuple<int, QString, int, QString> order; // kind, name before the number, number
        ListedPort port;
    };
    std::vector<Entry> entries;
    for (FoundDevice& d : devices) {
        const QString kernelName = QFileInfo(d.device).fileName();
        const PortKind& kind = kindOf(kernelName);
        const auto [prefix, number] = splitKernelName(kernelName);
        std::sort(d.links.begin(), d.links.end());
        entries.push_back(
            {{kind.rank, prefix, number, kernelName},
             {d.links.isEmpty() ? d.device : d.links.first(), d.device, readableName(d, kind)}});
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.order < b.order; });
    std::vector<ListedPort> ports;
    for (Entry& e : entries) {
        const bool listed = std::any_of(ports.begin(), ports.end(),
                                        [&](const ListedPort& p) { return p.path == e.port.path; });
        if (!listed) ports.push_back(std::move(e.port));
    }
    return ports;
}

QString describe(const ListedPort& port) {
    return port.path + QStringLiteral(" (") + port.name + u')';
}

QString portsFoundText(const std::vector<ListedPort>& ports) {
    if (ports.empty()) return QStringLiteral("No serial ports were found.");
    QStringList described;
    for (const auto& port : ports)
        described << describe(port);
    return QStringLiteral("Ports found: ") + described.join(QStringLiteral(", ")) + u'.';
}

ECommsError withPortsFound(const ECommsError& error, const std::vector<ListedPort>& ports) {
    if (error.openFailure() != ECommsError::OpenFailure::Missing) return error;
    return ECommsError(std::string(error.what()) + '\n' + portsFoundText(ports).toStdString(),
                       error.error(), error.openFailure());
}

SystemPorts::SystemPorts(QString byIdDir, QString sysClassTty)
    : byIdDir_(std::move(byIdDir)), sysClassTty_(std::move(sysClassTty)) {}

std::vector<FoundDevice> SystemPorts::devices() const {
    const auto links = linksByTarget(byIdDir_);
    std::vector<FoundDevice> found;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        if (!hasUart(sysClassTty_, info.portName())) continue;
        const QString node = info.systemLocation();
        const QString canonical = QFileInfo(node).canonicalFilePath();
        found.push_back({node, links.value(canonical.isEmpty() ? node : canonical),
                         info.manufacturer(), info.description(), info.serialNumber()});
    }
    return found;
}

QHash<QString, QStringList> linksByTarget(const QString& dir) {
    QHash<QString, QStringList> links;
    const auto entries =
        QDir(dir).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& entry : entries) {
        if (!entry.isSymLink()) continue;
        const QString target = entry.canonicalFilePath(); // empty for a dangling link
        if (!target.isEmpty()) links[target] << entry.absoluteFilePath();
    }
    return links;
}

bool hasUart(const QString& sysClassTty, const QString& name) {
    if (!kindOf(name).mayBePlaceholder) return true;
    QFile type(sysClassTty + u'/' + name + QStringLiteral("/type"));
    if (!type.open(QIODevice::ReadOnly)) return false;
    bool number = false;
    const int uart = type.readAll().trimmed().toInt(&number);
    return number && uart != 0; // 0: PORT_UNKNOWN
}

PortCombo::PortCombo(QStringList tail, QWidget* parent)
    : QComboBox(parent), source_(std::make_unique<SystemPorts>()) {
    for (int i = 1; i <= kComPorts; ++i)
        addItem(QStringLiteral("COM%1").arg(i));
    addItems(tail);
    setCurrentIndex(2);
    startup::makeEditableOnDemand(this);
    setInsertPolicy(QComboBox::NoInsert);
}

void PortCombo::setSource(std::unique_ptr<PortSource> source) {
    source_ = std::move(source);
}

void PortCombo::refresh() {
    listed_ = true;
    auto found = listPorts(source_->devices());
    if (found == ports_) return;

    // The selection and the text typed are put back as they were; a selected
    // device that has gone leaves its path as typed text.
    const QSignalBlocker quiet(this);
    const int index = currentIndex();
    const QString selected = index >= 0 ? itemText(index) : QString();
    const QString typed = currentText();
    for (std::size_t i = 0; i < ports_.size(); ++i)
        removeItem(kComPorts);
    int row = kComPorts;
    for (const ListedPort& port : found) {
        insertItem(row, port.path);
        setItemData(row, tooltipOf(port), Qt::ToolTipRole);
        ++row;
    }
    ports_ = std::move(found);
    setCurrentIndex(index >= 0 ? findText(selected, Qt::MatchExactly | Qt::MatchCaseSensitive)
                               : -1);
    if (currentText() != typed) setEditText(typed);
}

void PortCombo::showPopup() {
    refresh(); // a modem plugged in since the last look is there
    // By-id paths are long: the popup grows to show them whole rather than
    // cut them in the middle, the list itself keeps its width.
    QAbstractItemView* items = view();
    items->setMinimumWidth(items->sizeHintForColumn(0) + 2 * items->frameWidth() +
                           items->verticalScrollBar()->sizeHint().width());
    QComboBox::showPopup();
}

void PortCombo::paintEvent(QPaintEvent* event) {
    QComboBox::paintEvent(event);
    // The first listing waits until the window is on screen: QSerialPortInfo
    // takes some 20 ms through udev, which the window's first frame need not
    // wait for. The popup lists again anyway when it opens.
    if (!listed_) {
        listed_ = true;
        QTimer::singleShot(0, this, &PortCombo::refresh);
    }
}

} // namespace app
