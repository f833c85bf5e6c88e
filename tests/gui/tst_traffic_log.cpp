// The traffic log and its panel, through the real window on a pseudo-terminal
// with the simulated transmitter: the rows a request and its reply give, the
// events around them, the cap, clearing, copying, saving as text and as a
// capture that tshark reads back, and `rx460k --trace` recording a run that
// is then killed.
//
// Replies are scripted byte by byte; their checksums are hand-computed XORs
// from the delimiter on, and the expected meanings come from the HART
// command and status tables, not from the program.

#include "support/window_rig.h"

#include "app/command_line.h"
#include "host/traffic_log.h"
#include "sim/pty_peer.h"

#include <QAbstractItemModel>
#include <QClipboard>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProcessEnvironment>
#include <QHeaderView>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <memory>

using rig::Bytes;
using rig::hex;
using rig::WindowRig;
using Col = host::TrafficLog::Column;

namespace {

const QString kProgram = QStringLiteral(RX460K_PROGRAM);
constexpr int kProcessDeadline = 60000;

// Command 0 to polling address 0 as "HART Address 0 Query" sends it with the
// master list unchosen: six preambles, STX, secondary master, command 0, no
// data; 02^00^00^00 = 02.
const char* const kCommand0Request = "FF FF FF FF FF FF 02 00 00 00 02";
// Its reply (master bit echoed): manufacturer 26, device type 05, 5 preambles, revisions 5/1/1/1,
// flags 0, device ID 01 02 03; status bytes 00 00.
const char* const kCommand0Reply =
    "FF FF FF FF FF 06 00 00 0E 00 00 FE 26 05 05 05 01 01 08 00 01 02 03 DD";

host::TrafficLog* logOf(WindowRig& r) {
    return r.get<host::TrafficLog>("TrafficLog");
}

QTableView* viewOf(WindowRig& r) {
    return r.get<QTableView>("TrafficView");
}

QString cell(QAbstractItemModel* model, int row, int column) {
    return model->data(model->index(row, column)).toString();
}

// Columns Direction to Bytes of a row, as "direction|meaning|preambles|
// master|burst bit|byte count|bytes".
QString decoded(QAbstractItemModel* model, int row) {
    QStringList parts;
    for (int c = Col::Direction; c <= Col::Bytes; ++c)
        parts << cell(model, row, c);
    return parts.join(u'|');
}

// Every row of the model as the table shows it, columns joined by tabs.
QStringList shownLines(QAbstractItemModel* model) {
    QStringList lines;
    for (int row = 0; row < model->rowCount(); ++row) {
        QStringList columns;
        for (int c = 0; c < model->columnCount(); ++c)
            columns << cell(model, row, c);
        lines << columns.join(u'\t');
    }
    return lines;
}

// Waits until the last request has been judged, then hands every row logged
// so far to the model.
bool judged(WindowRig& r) {
    const bool done = rig::waitFor(
        [&] { return r.cycle().replyCode() == 0 && !r.get<QTimer>("Timer2")->isActive(); });
    logOf(r)->flush();
    return done;
}

// Waits until the model has at least `rows` rows (they come in batches).
bool rowsReach(WindowRig& r, int rows) {
    return rig::waitFor([&] { return logOf(r)->rowCount() >= rows; });
}

QString tsharkPath() {
    return QStandardPaths::findExecutable(QStringLiteral("tshark"));
}

// tshark's fields of every packet in `file`, one comma-separated line each.
QStringList tsharkFields(const QString& file, const QStringList& fields) {
    QStringList args{QStringLiteral("-r"), file,
                     QStringLiteral("-T"), QStringLiteral("fields"),
                     QStringLiteral("-E"), QStringLiteral("separator=,")};
    for (const QString& f : fields)
        args << QStringLiteral("-e") << f;
    QProcess p;
    p.start(tsharkPath(), args);
    if (!p.waitForFinished(kProcessDeadline)) {
        p.kill();
        p.waitForFinished();
        return {QStringLiteral("tshark did not finish")};
    }
    if (p.exitCode() != 0)
        return {QStringLiteral("tshark failed: ") +
                QString::fromLocal8Bit(p.readAllStandardError())};
    return QString::fromLocal8Bit(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

QStringList readLines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

// tshark is needed to read captures back; CI installs it, elsewhere its
// absence skips those checks.
#define REQUIRE_TSHARK()                                                                           \
    do {                                                                                           \
        if (tsharkPath().isEmpty()) {                                                              \
            if (qEnvironmentVariableIsSet("CI"))                                                   \
                QFAIL("tshark is not installed; CI must have it");                                 \
            QSKIP("tshark is not installed");                                                      \
        }                                                                                          \
    } while (false)

class TrafficLogTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void panelHiddenAtStartAndToggled();
    void requestAndReplyRows_data();
    void requestAndReplyRows();
    void timeColumns();
    void events_data();
    void events();
    void capDropsOldest_data();
    void capDropsOldest();
    void clearEmptiesTheLog();
    void detailsOfTheSelectedRow();
    void copiesRowsAsText();
    void savesText();
    void savesThroughTheDialog_data();
    void savesThroughTheDialog();
    void captureReadByTshark();
    void failedSaveWritesNothing_data();
    void failedSaveWritesNothing();
    void traceOption_data();
    void traceOption();
    void traceRecordsAKilledRun_data();
    void traceRecordsAKilledRun();

private:
    // Clears the log, clicks "HART Address 0 Query" and waits for its judgement.
    bool queryAddressZero();

    std::unique_ptr<WindowRig> r_;
};

void TrafficLogTest::initTestCase() {
    r_ = std::make_unique<WindowRig>();
    QVERIFY(r_->isOpen());
}

void TrafficLogTest::init() {
    QVERIFY(r_->settle());
    logOf(*r_)->setCapacity(host::TrafficLog::kDefaultCapacity);
    logOf(*r_)->clear();
}

void TrafficLogTest::cleanupTestCase() {
    r_.reset();
}

bool TrafficLogTest::queryAddressZero() {
    r_->forgetReceived();
    if (!r_->click("Button3")) return false;
    return judged(*r_);
}

void TrafficLogTest::panelHiddenAtStartAndToggled() {
    WindowRig r(false);
    auto* log = logOf(r);
    QVERIFY(log);
    QCOMPARE(log->parent(), &r.form());
    auto* view = viewOf(r);
    QVERIFY(view);
    QCOMPARE(view->model(), static_cast<QAbstractItemModel*>(log));
    QCOMPARE(log->property("model").value<QAbstractItemModel*>(), view->model());
    auto* dock = r.get<QDockWidget>("TrafficDock");
    QVERIFY(dock);
    QVERIFY(!dock->isVisible());
    QVERIFY(!view->isVisible());

    // What the described window shows stays where it was.
    const char* described[] = {"SPREALCOM", "Button1", "PageControl2", "discomm",
                               "Memo8",     "Label56", "Label67",      "Label68"};
    auto geometries = [&] {
        QList<QRect> g;
        for (const char* name : described)
            g << r.get<QWidget>(name)->geometry();
        return g;
    };
    const QList<QRect> atStart = geometries();

    auto* button = r.get<QPushButton>("TrafficButton");
    QVERIFY(button);
    QVERIFY(button->isCheckable());
    QVERIFY(!button->isChecked());
    button->click();
    QTRY_VERIFY(view->isVisible());
    QVERIFY(button->isChecked());
    // Shown, the table is in the plain face, with room for a time stamp and
    // for a whole line of text in each row.
    QVERIFY(!view->font().bold());
    QVERIFY(view->columnWidth(0) >
            view->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00.000")));
    QVERIFY(view->verticalHeader()->defaultSectionSize() > view->fontMetrics().height());
    button->click();
    QTRY_VERIFY(!dock->isVisible());
    QVERIFY(!button->isChecked());
    QTRY_COMPARE(geometries(), atStart);

    // The shortcut does the same, and the button follows.
    // (Shortcuts reach only the active window.)
    r.form().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&r.form()));
    QTest::keyClick(&r.form(), Qt::Key_T, Qt::ControlModifier);
    QTRY_VERIFY(dock->isVisible());
    QVERIFY(button->isChecked());
    dock->close(); // the dock's own close button
    QTRY_VERIFY(!button->isChecked());
    QTRY_COMPARE(geometries(), atStart);
}

void TrafficLogTest::requestAndReplyRows_data() {
    QTest::addColumn<Bytes>("reply");
    // Rows after the request's, columns Direction to Bytes (see decoded());
    // %CUT% stands for the cause the status line gives a cut reply.
    QTest::addColumn<QStringList>("rows");

    const QString request = QStringLiteral("to device|request to polling address 0: 0 Read Unique "
                                           "Identifier|6|secondary|clear|0|%1")
                                .arg(QLatin1String(kCommand0Request));
    // A failed reply reads as the command and why, never as an internal code.
    const auto notDecoded = [](const char* reason) {
        return QStringLiteral("|Command 0 Read unique identifier: %1|||||")
            .arg(QLatin1String(reason));
    };

    QTest::newRow(kCommand0Reply)
        << hex(kCommand0Reply)
        << QStringList{request,
                       QStringLiteral("from device|reply from polling address 0: 0 Read Unique "
                                      "Identifier, success, OK|5|secondary|clear|14|%1")
                           .arg(QLatin1String(kCommand0Reply))};
    QTest::newRow("FF FF FF 06 00 00 02 88 00 8C")
        << hex("FF FF FF 06 00 00 02 88 00 8C")
        << QStringList{request,
                       "from device|reply from polling address 0: 0 Read Unique Identifier, "
                       "Communication error: longitudinal parity error, OK|3|secondary|clear|2|"
                       "FF FF FF 06 00 00 02 88 00 8C",
                       notDecoded("Communication error: longitudinal parity error")};
    QTest::newRow("FF FF 06 00 00 02 40 11 55")
        << hex("FF FF 06 00 00 02 40 11 55")
        << QStringList{request,
                       "from device|reply from polling address 0: 0 Read Unique Identifier, "
                       "command not implemented, More status available, Primary variable out of "
                       "limits|2|secondary|clear|2|FF FF 06 00 00 02 40 11 55",
                       notDecoded("command not implemented (response code 64)")};
    QTest::newRow("FF FF 06 00 00 02 40 11 54 (checksum wrong)")
        << hex("FF FF 06 00 00 02 40 11 54")
        << QStringList{request,
                       "from device|reply from polling address 0: 0 Read Unique Identifier, "
                       "command not implemented, More status available, Primary variable out of "
                       "limits [checksum wrong]|2|secondary|clear|2|FF FF 06 00 00 02 40 11 54",
                       notDecoded("reply checksum wrong")};
    QTest::newRow("FF FF 06 00 00 0E 00 00 FE 26 (cut)")
        << hex("FF FF 06 00 00 0E 00 00 FE 26")
        << QStringList{request,
                       "from device|reply from polling address 0: 0 Read Unique Identifier, "
                       "success, OK [byte count runs past the bytes received]|2|secondary|clear|14|"
                       "FF FF 06 00 00 0E 00 00 FE 26",
                       notDecoded("%CUT%")};
    QTest::newRow("00 13 before the reply (unparsed)")
        << rig::concat(hex("00 13"), hex(kCommand0Reply))
        << QStringList{request, "from device|unparsed: 2 bytes|||||00 13",
                       QStringLiteral("from device|reply from polling address 0: 0 Read Unique "
                                      "Identifier, success, OK|5|secondary|clear|14|%1")
                           .arg(QLatin1String(kCommand0Reply))};
    QTest::newRow("reply and burst frame in one chunk")
        << hex("FF FF FF FF FF 06 00 00 0E 00 00 FE 26 05 05 05 01 01 08 00 01 02 03 DD "
               "FF FF 01 C0 01 07 00 00 20 41 AF 33 33 09")
        << QStringList{request,
                       QStringLiteral("from device|reply from polling address 0: 0 Read Unique "
                                      "Identifier, success, OK|5|secondary|clear|14|%1")
                           .arg(QLatin1String(kCommand0Reply)),
                       "from device|burst from polling address 0: 1 Read Primary Variable, "
                       "success, OK|2|primary|set|7|FF FF 01 C0 01 07 00 00 20 41 AF 33 33 09"};
}

void TrafficLogTest::requestAndReplyRows() {
    QFETCH(Bytes, reply);
    QFETCH(QStringList, rows);

    r_->respondWith(reply);
    QVERIFY(queryAddressZero());
    auto* log = logOf(*r_);
    QStringList got;
    for (int i = 0; i < log->rowCount(); ++i)
        got << decoded(log, i);
    QStringList expected = rows;
    expected.replaceInStrings(QStringLiteral("%CUT%"),
                              r_->status().section(u'(', 1).chopped(1));
    QCOMPARE(got, expected);
    // The request row holds exactly what reached the device.
    const auto wire = r_->device().takeReceived();
    QCOMPARE(cell(log, 0, Col::Bytes), rig::hexText(wire).trimmed());
}

void TrafficLogTest::timeColumns() {
    auto* log = logOf(*r_);
    QVERIFY(queryAddressZero());
    QVERIFY(queryAddressZero()); // the second exchange's rows have a previous row
    QVERIFY(rowsReach(*r_, 4));
    const QRegularExpression time(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d$"));
    const QTime now = QTime::currentTime();
    for (int row = 0; row < log->rowCount(); ++row) {
        const QString t = cell(log, row, Col::Time);
        QVERIFY2(time.match(t).hasMatch(), qPrintable(t));
        // Local wall-clock time, within minutes of now (midnight may lie between).
        const int apart = qAbs(QTime::fromString(t, QStringLiteral("hh:mm:ss.zzz")).secsTo(now));
        QVERIFY2(std::min(apart, 86400 - apart) < 600, qPrintable(t));
        const QString since = cell(log, row, Col::SincePrevious);
        if (row == 0) {
            QVERIFY2(since.isEmpty(), qPrintable(since)); // nothing before the first row
        } else {
            bool number = false;
            QVERIFY2(since.toInt(&number) >= 0 && number, qPrintable(since));
        }
    }

    // With a clock of the test's own, the milliseconds are exact.
    log->clear();
    qint64 clock = 1'700'000'000'000'000;
    log->setClock([&clock] { return clock; });
    log->logSent(QByteArray::fromHex("FFFF0280000082"));
    clock += 312'400; // 312.4 ms
    log->logReceived(QByteArray::fromHex("FFFF068000020000"
                                         "84"));
    clock += 2'500; // 2.5 ms: rounds up
    log->logNote(QStringLiteral("a note"));
    log->setClock(nullptr);
    log->flush();
    QCOMPARE(log->rowCount(), 3);
    QCOMPARE(cell(log, 0, Col::SincePrevious), QString());
    QCOMPARE(cell(log, 1, Col::SincePrevious), QStringLiteral("312"));
    QCOMPARE(cell(log, 2, Col::SincePrevious), QStringLiteral("3"));
    const QDateTime first = QDateTime::fromMSecsSinceEpoch(1'700'000'000'000);
    QCOMPARE(cell(log, 0, Col::Time), first.toString(QStringLiteral("hh:mm:ss.zzz")));
    QCOMPARE(cell(log, 1, Col::Time), first.addMSecs(312).toString(QStringLiteral("hh:mm:ss.zzz")));
}

void TrafficLogTest::events_data() {
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QStringList>("events"); // %PORT%: the pty's path
    QTest::newRow("opened and closed")
        << "open close" << QStringList{"Port opened: %PORT%", "Port closed: %PORT%"};
    QTest::newRow("lost") << "lose"
                          << QStringList{"Port lost: %PORT% went away",
                                         "Port closed: %PORT%"};
    QTest::newRow("time-out")
        << "timeout"
        << QStringList{"Command 3 Read dynamic variables and loop current: no reply in time"};
    QTest::newRow("not decoded") << "not decoded"
                                 << QStringList{"Command 3 Read dynamic variables and loop "
                                                "current: command not implemented (response "
                                                "code 64)"};
    // A write refused by a busy device.
    QTest::newRow("write refused") << "write refused"
                                   << QStringList{"Command 18 Write tag, descriptor, date: device "
                                                  "busy (response code 32)"};
    QTest::newRow("link note") << "note" << QStringList{"HART-IP session opened"};
}

void TrafficLogTest::events() {
    QFETCH(QString, scenario);
    QFETCH(QStringList, events);

    WindowRig r(false);
    auto* log = logOf(r);
    const QString port = QString::fromStdString(r.device().portPath());
    if (scenario == QLatin1String("open close")) {
        QVERIFY(r.openPort());
        QVERIFY(r.click("Button1"));
    } else if (scenario == QLatin1String("lose")) {
        QVERIFY(r.openPort());
        log->clear();
        r.device().hangUp();
        QVERIFY(!r.takeErrorBox().isEmpty());
    } else if (scenario == QLatin1String("timeout")) {
        QVERIFY(r.openPort());
        QVERIFY(r.discover());
        r.device().setFaults({.silent = true});
        log->clear();
        QVERIFY(r.click("Button4")); // Data Query, a read: its time-out is reported
        QVERIFY(r.waitStatus(QStringLiteral("Upload data timeout!")));
    } else if (scenario == QLatin1String("not decoded")) {
        QVERIFY(r.openPort());
        QVERIFY(r.discover());
        // Command 3 refused: too few data bytes for the reader.
        r.respondWith(r.longReply(3, {}, 64));
        log->clear();
        QVERIFY(r.request("Button4"));
    } else if (scenario == QLatin1String("write refused")) {
        QVERIFY(r.openPort());
        QVERIFY(r.discover());
        r.setText("Edit22", QStringLiteral("TT101"));
        r.setText("Edit23", QStringLiteral("FEED PUMP"));
        r.setText("Edit29", QStringLiteral("11"));
        r.setText("Edit25", QStringLiteral("12"));
        r.setText("Edit24", QStringLiteral("2026"));
        r.respondWith(r.longReply(18, {}, 32));
        log->clear();
        QVERIFY(r.request("Button33"));
    } else {
        emit r.form().linkNote(QStringLiteral("HART-IP session opened"));
    }
    log->flush();
    QStringList got;
    for (int row = 0; row < log->rowCount(); ++row)
        if (cell(log, row, Col::Direction).isEmpty()) got << cell(log, row, Col::Meaning);
    events.replaceInStrings(QStringLiteral("%PORT%"), port);
    QCOMPARE(got, events);
}

void TrafficLogTest::capDropsOldest_data() {
    QTest::addColumn<int>("capacity");
    QTest::addColumn<int>("exchanges");
    QTest::addColumn<QString>("notice");
    QTest::addColumn<int>("kept");
    QTest::newRow("room for all") << 6 << 3 << QString() << 6;
    QTest::newRow("one over") << 5 << 3 << "1 oldest row dropped" << 5;
    QTest::newRow("half kept") << 3 << 3 << "3 oldest rows dropped" << 3;
    QTest::newRow("only the newest") << 1 << 3 << "5 oldest rows dropped" << 1;
}

void TrafficLogTest::capDropsOldest() {
    QFETCH(int, capacity);
    QFETCH(int, exchanges);
    QFETCH(QString, notice);
    QFETCH(int, kept);

    auto* log = logOf(*r_);
    log->setCapacity(capacity);
    r_->respondWith(hex(kCommand0Reply));
    for (int i = 0; i < exchanges; ++i) {
        QVERIFY(queryAddressZero());
        QVERIFY(rowsReach(*r_, std::min(capacity, 2 * (i + 1))));
    }
    log->flush();
    const int noticeRows = notice.isEmpty() ? 0 : 1;
    QCOMPARE(log->rowCount(), kept + noticeRows);
    QCOMPARE(log->droppedRows(), static_cast<qint64>(2 * exchanges - kept));
    if (noticeRows) {
        QCOMPARE(cell(log, 0, Col::Meaning), notice);
        QCOMPARE(cell(log, 0, Col::Bytes), QString());
    }
    // The newest rows stay, oldest first: ..., request, reply.
    QVERIFY(cell(log, log->rowCount() - 1, Col::Meaning).startsWith(QLatin1String("reply ")));
    if (kept >= 2)
        QVERIFY(cell(log, log->rowCount() - 2, Col::Meaning).startsWith(QLatin1String("request ")));
    // The panel's count says the same.
    QTRY_VERIFY(
        r_->get<QLabel>("TrafficCount")->text().startsWith(QStringLiteral("%1 row").arg(kept)));
}

void TrafficLogTest::clearEmptiesTheLog() {
    auto* log = logOf(*r_);
    log->setCapacity(1);
    QVERIFY(queryAddressZero());
    QVERIFY(queryAddressZero());
    QVERIFY(log->droppedRows() > 0);
    r_->form().trafficLog().setCapacity(host::TrafficLog::kDefaultCapacity);
    QVERIFY(r_->click("TrafficClear"));
    QCOMPARE(log->rowCount(), 0);
    QCOMPARE(log->droppedRows(), 0);
    // The log goes on after a clear; its first row has no previous one.
    QVERIFY(queryAddressZero());
    QVERIFY(rowsReach(*r_, 2));
    QVERIFY(cell(log, 0, Col::Meaning).startsWith(QLatin1String("request ")));
    QCOMPARE(cell(log, 0, Col::SincePrevious), QString());
}

void TrafficLogTest::detailsOfTheSelectedRow() {
    r_->respondWith(hex("FF FF 06 00 00 02 40 11 55"));
    QVERIFY(queryAddressZero());
    auto* view = viewOf(*r_);
    view->selectRow(1); // the reply
    const QString details = r_->get<QPlainTextEdit>("TrafficDetails")->toPlainText();
    for (const char* line :
         {"Direction: from device", "Type: reply (delimiter 06, short address)", "Preambles: 2",
          "Address: polling address 0", "Master: secondary", "Burst bit: clear",
          "Command: 0 Read Unique Identifier", "Byte count: 2", "Data: 40 11",
          "Response code: 64 command not "
          "implemented",
          "Device status: 0x11 More status available, Primary variable out of "
          "limits",
          "Checksum: 55", "Checks: OK"})
        QVERIFY2(details.contains(QLatin1String(line)), qPrintable(details + u'\n' + line));
    // The reply shares its request's sequence number.
    const QString sequence = details.section(u'\n', -1);
    QVERIFY2(sequence.startsWith(QLatin1String("HART-IP sequence number in a capture: ")),
             qPrintable(sequence));
    view->selectRow(0);
    QCOMPARE(r_->get<QPlainTextEdit>("TrafficDetails")->toPlainText().section(u'\n', -1), sequence);

    // The event row after it.
    view->selectRow(2);
    QCOMPARE(r_->get<QPlainTextEdit>("TrafficDetails")->toPlainText().section(u'\n', -1),
             QStringLiteral("Event: Command 0 Read unique identifier: command not implemented "
                            "(response code 64)"));
}

void TrafficLogTest::copiesRowsAsText() {
    r_->respondWith(hex(kCommand0Reply));
    QVERIFY(queryAddressZero());
    auto* log = logOf(*r_);
    auto* view = viewOf(*r_);
    const QStringList lines = shownLines(log);
    QCOMPARE(lines.size(), 2);

    auto* copy = r_->get<QPushButton>("TrafficCopy");
    view->clearSelection();
    QVERIFY(!copy->isEnabled()); // nothing to copy
    QGuiApplication::clipboard()->clear();
    view->selectRow(1);
    QVERIFY(r_->click("TrafficCopy"));
    QCOMPARE(QGuiApplication::clipboard()->text(), lines[1] + u'\n');

    // Both rows, oldest first whatever the order of selection, by Ctrl+C.
    QGuiApplication::clipboard()->clear();
    view->selectionModel()->select(log->index(0, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCOMPARE(view->selectionModel()->selectedRows().size(), 2);
    view->setFocus();
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), lines.join(u'\n') + u'\n');
}

void TrafficLogTest::savesText() {
    r_->respondWith(hex("FF FF 06 00 00 02 40 11 55"));
    QVERIFY(queryAddressZero());
    r_->device().sendRaw(hex("00 13 37"));
    QVERIFY(rowsReach(*r_, 4));
    auto* log = logOf(*r_);
    const QStringList shown = shownLines(log);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("session.txt"));
    bool ok = false;
    // Called by name, as the contract gives it.
    QVERIFY(QMetaObject::invokeMethod(log, "save", Q_RETURN_ARG(bool, ok), Q_ARG(QString, path)));
    QVERIFY(ok);
    const QStringList lines = readLines(path);
    QCOMPARE(lines.size(), shown.size() + 2);
    QVERIFY2(lines[0].startsWith(QLatin1String("# rx460k traffic log")), qPrintable(lines[0]));
    QCOMPARE(lines[1], QStringLiteral("Time\t+ms\tDirection\tMeaning\tPreambles\tMaster\tBurst "
                                      "bit\tByte count\tBytes"));
    QCOMPARE(lines.mid(2), shown);
    // The garbage is in the text, said to be no frame.
    QVERIFY(lines.last().contains(QLatin1String("\tunparsed: 3 bytes\t")));
    QVERIFY(lines.last().endsWith(QLatin1String("\t00 13 37")));

    QVERIFY(QMetaObject::invokeMethod(log, "clear"));
    QCOMPARE(log->rowCount(), 0);
}

void TrafficLogTest::savesThroughTheDialog_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QByteArray>("starts");
    QTest::newRow("text, suffix added") << "Text, one line per row (*.txt)"
                                        << "session"
                                        << "session.txt" << QByteArray("# rx460k");
    QTest::newRow("capture typed in full")
        << "Capture for Wireshark (*.pcapng)"
        << "session.pcapng"
        << "session.pcapng" << QByteArray("\x0A\x0D\x0D\x0A", 4); // section header block
}

void TrafficLogTest::savesThroughTheDialog() {
    QFETCH(QString, filter);
    QFETCH(QString, typed);
    QFETCH(QString, written);
    QFETCH(QByteArray, starts);

    QVERIFY(queryAddressZero());
    QTemporaryDir dir;
    r_->get<QPushButton>("TrafficButton")->setChecked(true);
    QVERIFY(r_->click("TrafficSave"));
    QFileDialog* dialog = nullptr;
    QTRY_VERIFY((dialog = r_->get<QFileDialog>("TrafficSaveDialog")) && dialog->isVisible());
    dialog->setDirectory(dir.path());
    dialog->selectNameFilter(filter);
    dialog->selectFile(typed);
    QVERIFY(QMetaObject::invokeMethod(dialog, "accept")); // the "Save" button
    QFile file(dir.filePath(written));
    QTRY_VERIFY(file.exists());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().startsWith(starts));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{written});
    r_->get<QPushButton>("TrafficButton")->setChecked(false);
}

void TrafficLogTest::captureReadByTshark() {
    REQUIRE_TSHARK();
    const auto started = std::chrono::system_clock::now();
    // 1: command 0, its reply fills the device address the next requests use.
    r_->respondWith(hex(kCommand0Reply));
    QVERIFY(queryAddressZero());
    // 2: command 3, answered with "configuration changed" in the device status.
    r_->respondWith(hex("FF FF FF FF FF 86 26 05 01 02 03 03 1A 00 40 41 40 00 00 20 41 AF 33 33 "
                        "20 40 86 66 66 20 00 00 00 00 20 00 00 00 00 D5"));
    r_->forgetReceived();
    QVERIFY(r_->click("Button4"));
    QVERIFY(judged(*r_));
    // 3: command 2 refused: not implemented, more status available.
    r_->respondWith(hex("FF FF 86 26 05 01 02 03 02 02 40 10 F5"));
    r_->forgetReceived();
    QVERIFY(r_->click("Button34"));
    QVERIFY(judged(*r_));
    r_->respondWith({});
    // A burst frame and garbage, unsolicited; the garbage forms no frame and
    // stays out of the capture.
    r_->device().sendRaw(hex("FF FF 81 E6 05 01 02 03 01 07 00 00 20 41 AF 33 33 AA"));
    QVERIFY(rig::waitFor([&] {
        logOf(*r_)->flush();
        return logOf(*r_)->rowCount() >= 1 &&
               cell(logOf(*r_), logOf(*r_)->rowCount() - 1, Col::Meaning).startsWith("burst");
    }));
    r_->device().sendRaw(hex("00 13 37"));
    QVERIFY(rig::waitFor([&] {
        logOf(*r_)->flush();
        return cell(logOf(*r_), logOf(*r_)->rowCount() - 1, Col::Meaning).startsWith("unparsed");
    }));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("session.pcapng"));
    QVERIFY(logOf(*r_)->save(path));
    const QStringList lines = tsharkFields(
        path, {"hart_ip.message_type", "hart_ip.message_id", "hart_ip.transaction_id",
               "hart_ip.pt.command", "hart_ip.pt.response_code", "hart_ip.pt.device_status",
               "udp.srcport", "udp.dstport", "hart_ip.msg_length", "_ws.malformed"});
    // Type, id 3, sequence (from the first request's on), command, response
    // code, status, ports, 8 + PDU length, nothing malformed.
    QVERIFY(!lines.isEmpty());
    const int first = lines[0].section(u',', 2, 2).toInt();
    const QString n = QString::number(first);
    const QString n1 = QString::number(first + 1);
    const QString n2 = QString::number(first + 2);
    const QStringList expected{
        "0,3," + n + ",0,,,50940,5094,13,",       "1,3," + n + ",0,0,0x00,5094,50940,27,",
        "0,3," + n1 + ",3,,,50940,5094,17,",      "1,3," + n1 + ",3,0,0x40,5094,50940,43,",
        "0,3," + n2 + ",2,,,50940,5094,17,",      "1,3," + n2 + ",2,64,0x10,5094,50940,19,",
        "2,3," + n2 + ",1,0,0x00,5094,50940,24,",
    };
    QCOMPARE(lines, expected);

    // Real time stamps, in order, within the test's run.
    const QStringList times = tsharkFields(path, {"frame.time_epoch"});
    QCOMPARE(times.size(), expected.size());
    const double from = std::chrono::duration<double>(started.time_since_epoch()).count() - 1.0;
    const double to =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    double previous = from;
    for (const QString& t : times) {
        const double at = t.toDouble();
        QVERIFY2(at >= previous && at <= to, qPrintable(t));
        previous = at;
    }
}

void TrafficLogTest::failedSaveWritesNothing_data() {
    QTest::addColumn<QString>("name"); // inside a fresh folder
    QTest::addColumn<bool>("makeFolder");
    QTest::newRow("no such folder") << "missing/session.txt" << false;
    QTest::newRow("a file as folder") << "plain.txt/session.pcapng" << false;
    QTest::newRow("a folder in the way") << "taken.txt" << true;
    QTest::newRow("unknown extension") << "session.csv" << false;
    QTest::newRow("no extension") << "session" << false;
}

void TrafficLogTest::failedSaveWritesNothing() {
    QFETCH(QString, name);
    QFETCH(bool, makeFolder);

    QVERIFY(queryAddressZero());
    QTemporaryDir dir;
    {
        QFile plain(dir.filePath(QStringLiteral("plain.txt")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write("kept\n");
    }
    if (makeFolder) QVERIFY(QDir(dir.path()).mkdir(name));
    const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    auto* log = logOf(*r_);
    QVERIFY(!log->save(dir.filePath(name)));
    QVERIFY(!log->errorString().isEmpty());
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    QCOMPARE(readLines(dir.filePath(QStringLiteral("plain.txt"))), QStringList{"kept"});
    if (makeFolder) QVERIFY(QDir(dir.filePath(name)).isEmpty());
}

void TrafficLogTest::traceOption_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode"); // -1: no exit
    QTest::addColumn<QString>("trace");
    QTest::addColumn<QString>("outputHas");
    QTest::newRow("text") << QStringList{"--trace", "/tmp/run.txt"} << -1 << "/tmp/run.txt"
                          << "";
    QTest::newRow("capture, with a port")
        << QStringList{"--port", "COM2", "--trace=run.PCAPNG"} << -1 << "run.PCAPNG"
        << "";
    QTest::newRow("other extension") << QStringList{"--trace", "run.log"} << 2 << ""
                                     << "must end in .txt or .pcapng";
    QTest::newRow("empty") << QStringList{"--trace", ""} << 2 << ""
                           << "--trace needs a file name";
    QTest::newRow("missing value") << QStringList{"--trace"} << 2 << ""
                                   << "'--trace'";
    QTest::newRow("help names it") << QStringList{"--help"} << 0 << ""
                                   << "--trace <FILE>";
}

void TrafficLogTest::traceOption() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, trace);
    QFETCH(QString, outputHas);
    arguments.prepend(QStringLiteral("rx460k"));
    const auto cl = app::readCommandLine(arguments, app::Stage::AfterApplication);
    QCOMPARE(cl.exit, exitCode >= 0);
    if (cl.exit) QCOMPARE(cl.exitCode, exitCode);
    QCOMPARE(cl.start.trace, trace);
    QVERIFY2(cl.output.contains(outputHas), qPrintable(cl.output));
}

void TrafficLogTest::traceRecordsAKilledRun_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("text") << "run.txt";
    QTest::newRow("capture") << "run.pcapng";
}

void TrafficLogTest::traceRecordsAKilledRun() {
    QFETCH(QString, name);
    const bool capture = name.endsWith(QLatin1String(".pcapng"));
    if (capture) REQUIRE_TSHARK();

    // A transmitter in burst mode on a pty: it talks without being asked, so
    // the program has frames to record without anyone clicking.
    sim::SimTransmitter device;
    device.withState([](sim::SimState& s) {
        s.burstMode = true;
        s.burstCommand = 1;
    });
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    QProcess p;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(kProgram, {QStringLiteral("--port"), QString::fromStdString(device.portPath()),
                       QStringLiteral("--trace"), path});
    QVERIFY(p.waitForStarted(kProcessDeadline));

    // Three burst frames in the file while the program still runs.
    auto burstRows = [&] {
        if (capture)
            return static_cast<int>(
                tsharkFields(path, {"hart_ip.message_type"}).count(QStringLiteral("2")));
        int n = 0;
        for (const QString& line : readLines(path))
            if (line.contains(QLatin1String("\tburst from device 26 05 010203: 1 Read Primary "
                                            "Variable")))
                ++n;
        return n;
    };
    const bool recorded = rig::waitFor(
        [&] { return p.state() != QProcess::Running || burstRows() >= 3; }, kProcessDeadline);
    const bool running = p.state() == QProcess::Running;
    p.kill();
    p.waitForFinished(kProcessDeadline);
    QVERIFY2(running, p.readAllStandardError().constData());
    QVERIFY(recorded);

    if (capture) {
        // Every packet whole: a publish message of command 1 from the device.
        const QStringList lines =
            tsharkFields(path, {"hart_ip.message_type", "hart_ip.message_id", "hart_ip.pt.command",
                                "udp.srcport", "_ws.malformed"});
        QVERIFY(lines.size() >= 3);
        for (const QString& line : lines)
            QCOMPARE(line, QStringLiteral("2,3,1,5094,"));
    } else {
        const QStringList lines = readLines(path);
        QVERIFY(lines.size() >= 5);
        QVERIFY(lines[0].startsWith(QLatin1String("# rx460k traffic trace")));
        QCOMPARE(lines[1], host::TrafficLog::headerText());
        QVERIFY2(lines[2].contains(QStringLiteral("\tPort opened: %1\t")
                                       .arg(QString::fromStdString(device.portPath()))),
                 qPrintable(lines[2]));
        QVERIFY2(
            lines[3].contains(QLatin1String("\tfrom device\tburst from device 26 05 010203: 1 ")),
            qPrintable(lines[3]));
    }
}

QTEST_MAIN(TrafficLogTest)
#include "tst_traffic_log.moc"
