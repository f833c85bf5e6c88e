// "Instrument information" page: the owner's data an instrument keeps (message,
// tag, descriptor, date, final assembly number), the serial-number write, the
// polling address, and the two non-volatile memory operations.
//
// One grid: column 0 the row label, 1 the field(s), 2 "Query", 3 "SET", 4 the
// hint. Row 4 (serial number, its field and its query) belongs to discovery.
#include "ops/ops.h"

#include "app/main_window.h"
#include "app/widgets.h"
#include "hart/encodings.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include <optional>
#include <vector>

namespace ops {

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kMessageChars = 32;
constexpr int kTagChars = 8;
constexpr int kDescriptorChars = 16;
constexpr int kPollAddresses = 16;

// The page's fields, as the senders and decoders see them.
struct Page {
    QLineEdit* message;    // Edit21
    QLineEdit* tag;        // Edit22
    QLineEdit* descriptor; // Edit23
    QLineEdit* year;       // Edit24
    QLineEdit* month;      // Edit25
    QLineEdit* day;        // Edit29
    QLineEdit* serial;     // Edit28
    QLineEdit* assembly;   // Edit26
    QComboBox* pollList;   // ComboBox3
};

template <std::size_t N> Bytes bytesOf(const std::array<std::uint8_t, N>& a) {
    return Bytes(a.begin(), a.end());
}

// ---- Request data, one builder per button. Encoders throw ConversionError on
// a text they cannot carry; that ends the request before anything is sent.

Bytes noData(const Page&) {
    return {};
}

Bytes messageData(const Page& p) {
    return hart::packedAsciiFromText(app::textOf(p.message), kMessageChars);
}

Bytes tagDescriptorDateData(const Page& p) {
    Bytes out = hart::packedAsciiFromText(app::textOf(p.tag), kTagChars);
    const Bytes descriptor = hart::packedAsciiFromText(app::textOf(p.descriptor), kDescriptorChars);
    out.insert(out.end(), descriptor.begin(), descriptor.end());
    const auto date =
        hart::hartDateFromText(app::textOf(p.day), app::textOf(p.month), app::textOf(p.year));
    out.insert(out.end(), date.begin(), date.end());
    return out;
}

Bytes assemblyData(const Page& p) {
    return bytesOf(hart::uint24FromText(app::textOf(p.assembly)));
}
Bytes serialData(const Page& p) {
    return bytesOf(hart::uint24FromText(app::textOf(p.serial)));
}

// The position of the item the list's text names; -1 when it names none.
int pollAddressOf(const Page& p) {
    return p.pollList->findText(p.pollList->currentText(), Qt::MatchExactly);
}

Bytes pollAddressData(const Page& p) {
    return {static_cast<std::uint8_t>(pollAddressOf(p))};
}

// Command 39: 0 writes the working data to non-volatile memory, 1 restores it.
Bytes backupData(const Page&) {
    return {0x00};
}
Bytes restoreData(const Page&) {
    return {0x01};
}

// ---- Refusals shown on the status line, before anything is sent.

std::optional<QString> noPollAddress(const Page& p) {
    // An address outside 0..15 would only make the instrument unreachable by
    // short frames, so without a choice nothing goes out.
    if (pollAddressOf(p) < 0)
        return QStringLiteral("No polling address chosen: choose 0 to 15 first. Nothing sent.");
    return std::nullopt;
}

// ---- Fields a query empties before it is sent.

void clearMessage(const Page& p) {
    p.message->clear();
}
void clearTagDescriptorDate(const Page& p) {
    for (QLineEdit* e : {p.tag, p.descriptor, p.year, p.month, p.day})
        e->clear();
}
void clearAssembly(const Page& p) {
    p.assembly->clear();
}

struct Request {
    const char* button;
    std::uint8_t command;
    int replyCode;
    Bytes (*data)(const Page&);
    void (*clear)(const Page&);                    // query: fields its reply fills
    std::optional<QString> (*refuse)(const Page&); // a reason not to send
    bool primaryMaster;                            // always 0x80, whatever the selector says
};

constexpr Request kRequests[] = {
    {"Button28", 12, 112, noData, clearMessage, nullptr, false},
    {"Button29", 17, 117, messageData, nullptr, nullptr, false},
    {"Button32", 13, 113, noData, clearTagDescriptorDate, nullptr, false},
    {"Button33", 18, 118, tagDescriptorDateData, nullptr, nullptr, false},
    {"Button38", 16, 116, noData, clearAssembly, nullptr, false},
    {"Button39", 19, 119, assemblyData, nullptr, nullptr, false},
    {"Button37", 19, 149, serialData, nullptr, nullptr, false},
    {"Button27", 6, 106, pollAddressData, nullptr, noPollAddress, false},
    {"Button21", 39, 139, backupData, nullptr, nullptr, true},
    {"Button22", 39, 39, restoreData, nullptr, nullptr, true},
};

void send(app::RequestCycle& cycle, const Request& r, const Page& page) {
    if (r.refuse) {
        if (auto why = r.refuse(page)) {
            cycle.setStatus(*why);
            return;
        }
    }
    cycle.begin(r.replyCode);
    if (r.clear) r.clear(page);
    const Bytes data = r.data(page);
    app::SendOptions options;
    if (r.primaryMaster) options.master = 0x80;
    cycle.sendLong(r.replyCode, r.command, data, options);
}

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

// ---- Replies of the three queries. Found: the fields are filled from the
// bytes at their offsets, whatever the response code says.

void decodeMessage(const hart::LinkBuffer& b, int K, const Page& p) {
    p.message->setText(text(hart::packedAsciiToText(b.data() + K + 11, kMessageChars)));
}

void decodeTagDescriptorDate(const hart::LinkBuffer& b, int K, const Page& p) {
    p.tag->setText(text(hart::packedAsciiToText(b.data() + K + 11, kTagChars)));
    p.descriptor->setText(text(hart::packedAsciiToText(b.data() + K + 17, kDescriptorChars)));
    const hart::DateText date = hart::hartDateToText(b.data() + K + 29);
    p.day->setText(text(date.day));
    p.month->setText(text(date.month));
    p.year->setText(text(date.year));
}

void decodeAssembly(const hart::LinkBuffer& b, int K, const Page& p) {
    p.assembly->setText(text(hart::uint24ToText(b.data() + K + 11)));
}

struct Query {
    int replyCode;
    void (*decode)(const hart::LinkBuffer&, int, const Page&);
    void (*clearOnFailure)(const Page&);
};

constexpr Query kQueries[] = {
    {112, decodeMessage, nullptr},
    {113, decodeTagDescriptorDate, nullptr},
    {116, decodeAssembly, clearAssembly},
};

// A row: label, field (or fields), query, SET, hint.
void addRow(TForm1& form, int row, const QString& label, QWidget* field, QWidget* query,
            QWidget* set, const QString& hint = {}) {
    constexpr const char* kPage = "TabSheet9";
    if (!label.isEmpty()) form.addToPage(kPage, app::makeLabel(label), row, 0);
    if (field) form.addToPage(kPage, field, row, 1);
    if (query) form.addToPage(kPage, query, row, 2);
    if (set) form.addToPage(kPage, set, row, 3);
    if (!hint.isEmpty()) form.addToPage(kPage, app::makeLabel(hint), row, 4);
}

QPushButton* queryButton(const char* name) {
    return app::makeButton(name, QStringLiteral("Query"));
}
QPushButton* setButton(const char* name) {
    return app::makeButton(name, QStringLiteral("SET"));
}

} // namespace

void buildDeviceInfo(TForm1& form) {
    auto& cycle = form.cycle();

    Page page{};
    page.message = app::makeEdit("Edit21");
    page.tag = app::makeEdit("Edit22");
    page.descriptor = app::makeEdit("Edit23");
    page.year = app::makeEdit("Edit24");
    page.month = app::makeEdit("Edit25");
    page.day = app::makeEdit("Edit29");
    page.assembly = app::makeEdit("Edit26");
    page.serial = form.findChild<QLineEdit*>(QStringLiteral("Edit28")); // made by discovery
    Q_ASSERT(page.serial);

    QStringList addresses;
    for (int i = 0; i < kPollAddresses; ++i)
        addresses << QString::number(i);
    page.pollList = app::makeCombo("ComboBox3", addresses);
    page.pollList->setMaximumWidth(90);

    // Year, month and day side by side in the field column.
    auto* date = new QWidget;
    auto* dateRow = new QHBoxLayout(date);
    dateRow->setContentsMargins(0, 0, 0, 0);
    const std::pair<QLineEdit*, const char*> dateParts[] = {
        {page.year, "Y"}, {page.month, "M"}, {page.day, "D"}};
    for (const auto& [edit, unit] : dateParts) {
        edit->setMaximumWidth(edit == page.year ? 60 : 40);
        dateRow->addWidget(edit);
        dateRow->addWidget(app::makeLabel(QString::fromLatin1(unit)));
    }
    dateRow->addStretch(1);

    auto* messageSet = setButton("Button29");
    auto* assemblySet = setButton("Button39");
    auto* serialSet = setButton("Button37");
    addRow(form, 0, QStringLiteral("Equipment information:"), page.message, queryButton("Button28"),
           messageSet, QStringLiteral("MAX 32 characters"));
    addRow(form, 1, QStringLiteral("Markers:"), page.tag, nullptr, nullptr,
           QStringLiteral("MAX 8 characters"));
    addRow(form, 2, QStringLiteral("Descriptor:"), page.descriptor, nullptr, nullptr,
           QStringLiteral("MAX 16 characters"));
    addRow(form, 3, QStringLiteral("Manufacture Date:"), date, queryButton("Button32"),
           setButton("Button33"));
    addRow(form, 4, QString(), nullptr, nullptr, serialSet); // the rest of row 4 is discovery's
    addRow(form, 5, QStringLiteral("Assembly number:"), page.assembly, queryButton("Button38"),
           assemblySet);
    addRow(form, 6, QStringLiteral("Address modification:"), page.pollList, nullptr,
           setButton("Button27"));

    auto* memory = new QWidget;
    auto* memoryRow = new QHBoxLayout(memory);
    memoryRow->setContentsMargins(0, 8, 0, 0);
    memoryRow->addWidget(app::makeButton("Button21", QStringLiteral("Backup sensor data")));
    memoryRow->addWidget(app::makeButton("Button22", QStringLiteral("Restore factory settings")));
    memoryRow->addStretch(1);
    form.addToPage("TabSheet9", memory, 7, 0, 1, 4);

    app::installKeyFilter(page.year, hart::kYearFilter);
    app::installKeyFilter(page.month, hart::kDayMonthFilter);
    app::installKeyFilter(page.day, hart::kDayMonthFilter);
    app::installKeyFilter(page.assembly, hart::kSixDigitFilter, assemblySet);
    app::installKeyFilter(page.serial, hart::kSixDigitFilter, serialSet);

    for (const Request& r : kRequests) {
        auto* button = form.findChild<QPushButton*>(QString::fromLatin1(r.button));
        Q_ASSERT(button);
        form.onClick(button, [&cycle, &r, page] { send(cycle, r, page); });
    }

    for (const Query& q : kQueries) {
        cycle.registerDecoder(q.replyCode, [&cycle, &q, page] {
            auto K = cycle.locate();
            if (!K) {
                if (q.clearOnFailure) q.clearOnFailure(page);
                cycle.setStatus(QStringLiteral("Upload failed!"));
                return;
            }
            q.decode(cycle.buffer(), *K, page);
            cycle.setStatus(QStringLiteral("Upload successful!"));
        });
    }
}

} // namespace ops
