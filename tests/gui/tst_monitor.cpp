// The monitor in the real window against the simulated transmitter (HART 5,
// on a pseudo-terminal) and the simulated HART 7 flowmeter (on a simulated
// network): polls at the interval chosen and never faster than the line
// allows, a user's click between polls as a frame of its own, gaps for
// failed replies and bad values, the CSV log parsed back, burst frames in
// place of polls, and a stop when the port closes or the line goes away.
//
// Expected values come from the simulated devices' own state, and frames
// are laid out by hand (checksum: XOR of the delimiter through the last
// data byte). The transmitter is 26 05 01 02 03; its tag is "TT100".

#include "app/main_window.h"
#include "host/reply_codes.h"
#include "host/request_cycle.h"
#include "ops/monitor.h"
#include "ops/trend_view.h"
#include "sim/sim_network.h"
#include "support/window_rig.h"

#include <QApplication>
#include <QChart>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFile>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QValueAxis>
#include <QWheelEvent>

#include <cmath>
#include <map>
#include <memory>
#include <optional>

using rig::Bytes;
using rig::WindowRig;

namespace {

constexpr int kDeadline = 20000;
// The sources in MonitorSource's order.
constexpr int kCommand2 = 0;
constexpr int kCommand3 = 1;
constexpr int kCommand9 = 2;

ops::Monitor* monitorOf(TForm1& form) {
    return form.findChild<ops::Monitor*>(QStringLiteral("Monitor"));
}

int seriesIndex(ops::Monitor& m, const char* variable) {
    for (int i = 0; i < m.model().seriesCount(); ++i)
        if (m.model().series(i).variable == QLatin1String(variable)) return i;
    return -1;
}

// Samples (values and gaps) of `variable` so far.
std::size_t samplesOf(ops::Monitor& m, const char* variable) {
    const int i = seriesIndex(m, variable);
    return i < 0 ? 0 : m.model().series(i).times.size();
}

// The command of a frame as the window hands it to the line, preambles first.
int commandSent(const QByteArray& frame) {
    qsizetype at = 0;
    while (at < frame.size() && quint8(frame[at]) == 0xFF)
        ++at;
    return at + 6 < frame.size() ? quint8(frame[at + 6]) : -1;
}

// The command of each long request frame (delimiter through checksum).
QList<int> commandsOf(const std::vector<Bytes>& frames) {
    QList<int> out;
    for (const Bytes& f : frames)
        if (f.size() > 6 && (f[0] & 0x80)) out << f[6];
    return out;
}

// One CSV line split into its fields, quotes undone.
QStringList csvFields(const QString& line) {
    QStringList fields;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c == u'"' && i + 1 < line.size() && line[i + 1] == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            fields << field;
            field.clear();
        } else {
            field += c;
        }
    }
    fields << field;
    return fields;
}

QStringList fileLines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

// The monitor part of a window: its dock shown, its controls at hand.
class MonitorDriver {
public:
    explicit MonitorDriver(TForm1& form) : form_(form), monitor_(*monitorOf(form)) {}

    ops::Monitor& monitor() { return monitor_; }
    template <class T = QWidget> T* get(const char* name) const {
        return form_.findChild<T*>(QString::fromLatin1(name));
    }
    bool showDock() {
        auto* button = get<QPushButton>("MonitorButton");
        if (!button) return false;
        if (!button->isChecked()) button->click();
        return get<QDockWidget>("MonitorDock")->isVisible();
    }
    bool start(int source, double seconds) {
        if (!showDock()) return false;
        get<QComboBox>("MonitorSource")->setCurrentIndex(source);
        get<QDoubleSpinBox>("MonitorInterval")->setValue(seconds);
        auto* start = get<QPushButton>("MonitorStart");
        if (!start->isEnabled()) return false;
        start->click();
        return monitor_.running();
    }
    // Stops and forgets every sample; waits until no poll is in flight.
    bool reset(host::RequestCycle& cycle) {
        monitor_.stop();
        const bool idle = rig::waitFor([&] { return !cycle.asking(); }, kDeadline);
        monitor_.model().clear();
        monitor_.log().clear();
        return idle;
    }
    QString state() const { return get<QLabel>("MonitorState")->text(); }
    ops::TrendView* trend() const { return get<ops::TrendView>("TrendView"); }

private:
    TForm1& form_;
    ops::Monitor& monitor_;
};

} // namespace

class MonitorTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void dockHiddenUntilItsButton();
    void pollsAtTheChosenInterval();
    void neverFasterThanOneExchange();
    void aClickBetweenPollsGoesAsItsOwnFrame();
    void pausesWhileAPageAwaitsOrAScanHoldsTheLine();
    void failedRepliesAreGaps_data();
    void failedRepliesAreGaps();
    void csvParsedBack();
    void rangeLimitsAreDrawn();
    void trendZoomsAndPans();
    void burstFramesFeedTheMonitor();
    void hart7DeviceVariables();
    void stopsWhenThePortClosesOrTheLineGoes();
    void refusesWithoutADevice();

private:
    std::unique_ptr<WindowRig> rig_;
    std::unique_ptr<MonitorDriver> m_;
};

void MonitorTest::initTestCase() {
    rig_ = std::make_unique<WindowRig>();
    QVERIFY(rig_->isOpen());
    QVERIFY(rig_->discover());
    m_ = std::make_unique<MonitorDriver>(rig_->form());
}

void MonitorTest::init() {
    QVERIFY(m_->reset(rig_->cycle()));
    rig_->device().withState([](sim::SimState& s) { s.burstMode = false; });
    QVERIFY(rig_->settle());
}

void MonitorTest::cleanupTestCase() {
    m_.reset();
    rig_.reset();
}

void MonitorTest::dockHiddenUntilItsButton() {
    WindowRig r(false);
    auto* dock = r.get<QDockWidget>("MonitorDock");
    QVERIFY(dock);
    QVERIFY(!dock->isVisible());
    // Made when first shown: no plot before.
    QVERIFY(!r.get<ops::TrendView>("TrendView"));
    auto* button = r.get<QPushButton>("MonitorButton");
    QVERIFY(button->isCheckable());
    // Beside the "Traffic" button.
    auto* traffic = r.get<QPushButton>("TrafficButton");
    auto* row = qobject_cast<QHBoxLayout*>(traffic->parentWidget()->layout()->itemAt(0)->layout());
    const auto inRow = [&](QWidget* w) {
        for (auto* l : traffic->parentWidget()->findChildren<QHBoxLayout*>())
            if (l->indexOf(traffic) >= 0) return l->indexOf(w) - l->indexOf(traffic);
        return -100;
    };
    Q_UNUSED(row);
    QCOMPARE(inRow(button), 1);
    QTest::keyClick(&r.form(), Qt::Key_M, Qt::ControlModifier);
    QVERIFY(rig::waitFor([&] { return dock->isVisible(); }, 5000));
    QVERIFY(button->isChecked());
    QVERIFY(r.get<ops::TrendView>("TrendView"));
    QVERIFY(r.get<QTableView>("MonitorTable"));
    auto* source = r.get<QComboBox>("MonitorSource");
    QStringList items;
    for (int i = 0; i < source->count(); ++i)
        items << source->itemText(i);
    QCOMPARE(items, (QStringList{"Loop current and percent of range (command 2)",
                                 "Dynamic variables (command 3)", "Device variables (command 9)"}));
    auto* interval = r.get<QDoubleSpinBox>("MonitorInterval");
    QCOMPARE(interval->minimum(), 0.5);
    QCOMPARE(interval->maximum(), 3600.0);
    QCOMPARE(interval->value(), 1.0);
    QCOMPARE(r.get<QLabel>("MonitorRate")->text(), QStringLiteral("Every 1.0 s"));
    // The port is closed: nothing to start.
    QVERIFY(!r.get<QPushButton>("MonitorStart")->isEnabled());
    QVERIFY(!r.get<QPushButton>("MonitorStop")->isEnabled());
    button->click();
    QVERIFY(!dock->isVisible());
}

// Six polls at 0.8 s: each request goes out no sooner than the interval
// after the one before (the line is quicker, so that is the pace), and all
// of them come well within a generous deadline.
void MonitorTest::pollsAtTheChosenInterval() {
    WindowRig& r = *rig_;
    QList<qint64> sentAt;
    QElapsedTimer clock;
    clock.start();
    const auto watch =
        connect(&r.cycle(), &host::RequestCycle::frameSent, this, [&](const QByteArray& frame) {
            if (commandSent(frame) == 3) sentAt << clock.elapsed();
        });
    QVERIFY(m_->start(kCommand3, 0.8));
    QVERIFY(rig::waitFor([&] { return samplesOf(m_->monitor(), "PV") >= 6; }, kDeadline));
    disconnect(watch);
    // An exchange on this line takes less than the interval (unless the
    // machine is very busy, when the panel says so).
    const QString rate = r.get<QLabel>("MonitorRate")->text();
    QVERIFY2(rate == QStringLiteral("Every 0.8 s") || rate.contains(QStringLiteral("exchange")),
             qPrintable(rate));
    QVERIFY2(sentAt.size() >= 6, qPrintable(QString::number(sentAt.size())));
    for (qsizetype i = 1; i < sentAt.size(); ++i)
        QVERIFY2(sentAt[i] - sentAt[i - 1] >= 795,
                 qPrintable(
                     QStringLiteral("poll %1 after %2 ms").arg(i).arg(sentAt[i] - sentAt[i - 1])));
    // What the device received: the tag and the range once, then command 3
    // to its long address, whole.
    const auto frames = r.device().takeFrames();
    const QList<int> commands = commandsOf(frames);
    QVERIFY(commands.size() >= 8);
    QCOMPARE(commands.mid(0, 2), (QList<int>{13, 15}));
    for (int c : commands.mid(2))
        QCOMPARE(c, 3);
    QCOMPARE(rig::hexText(frames.back()).trimmed(), QStringLiteral("82 26 05 01 02 03 03 00 A2"));
    // The values are the device's, each with its unit.
    const int pv = seriesIndex(m_->monitor(), "PV");
    QVERIFY(pv >= 0);
    const float devicePv =
        r.device().withState([](sim::SimState& s) { return s.variables[0].value; });
    QCOMPARE(m_->monitor().model().series(pv).values.back(), devicePv);
    QCOMPARE(m_->monitor().model().series(pv).unitText, QStringLiteral("degC"));
    QCOMPARE(m_->monitor().tag(), QStringLiteral("TT100"));
}

void MonitorTest::neverFasterThanOneExchange() {
    WindowRig& r = *rig_;
    r.device().setFaults({.replyDelayMs = 900});
    QList<qint64> sentAt;
    QElapsedTimer clock;
    clock.start();
    const auto watch =
        connect(&r.cycle(), &host::RequestCycle::frameSent, this, [&](const QByteArray& frame) {
            if (commandSent(frame) == 2) sentAt << clock.elapsed();
        });
    QVERIFY(m_->start(kCommand2, 0.5));
    QVERIFY(rig::waitFor([&] { return samplesOf(m_->monitor(), "Loop current") >= 4; }, kDeadline));
    disconnect(watch);
    r.device().setFaults({});
    const auto exchange = m_->monitor().exchangeMs();
    QVERIFY(exchange && *exchange >= 900);
    // Polls back to back leave the line free a moment between them.
    QVERIFY(m_->monitor().effectiveInterval() > *exchange);
    for (qsizetype i = 1; i < sentAt.size(); ++i)
        QVERIFY2(sentAt[i] - sentAt[i - 1] >= 900,
                 qPrintable(
                     QStringLiteral("poll %1 after %2 ms").arg(i).arg(sentAt[i] - sentAt[i - 1])));
    // "Every 1.4 s: one exchange takes 1.2 s on this line"
    const QRegularExpression said(
        QStringLiteral(R"(^Every (\d+\.\d) s: one exchange takes (\d+\.\d) s on this line$)"));
    const QString rate = r.get<QLabel>("MonitorRate")->text();
    const auto match = said.match(rate);
    QVERIFY2(match.hasMatch(), qPrintable(rate));
    QVERIFY(match.captured(1).toDouble() > match.captured(2).toDouble());
    QVERIFY(match.captured(2).toDouble() >= 0.9);
}

// A Data Query clicked while a poll is in flight waits for the poll's
// answer, goes out as its own frame before the next poll, and fills its page.
void MonitorTest::aClickBetweenPollsGoesAsItsOwnFrame() {
    WindowRig& r = *rig_;
    QVERIFY(m_->start(kCommand2, 0.5));
    QVERIFY(rig::waitFor([&] { return samplesOf(m_->monitor(), "Loop current") >= 1; }, kDeadline));
    r.device().takeFrames(); // the tag, the range, the first poll
    QVERIFY(rig::waitFor([&] { return r.cycle().asking(); }, kDeadline));
    r.setText("Edit17", QString());
    QVERIFY(r.click("Button4"));
    QCOMPARE(r.cycle().replyCode(), host::kBackgroundReply); // the poll still awaits its answer
    QVERIFY(rig::waitFor([&] { return r.cycle().replyCode() == 103; }, kDeadline));
    QVERIFY(rig::waitFor([&] { return r.cycle().replyCode() != 103; }, kDeadline));
    QVERIFY(r.waitStatus(QStringLiteral("Upload successful!")));
    const float sv = r.device().withState([](sim::SimState& s) { return s.variables[1].value; });
    QCOMPARE(r.get<QLineEdit>("Edit17")->text().toFloat(), sv);
    const std::size_t after = samplesOf(m_->monitor(), "Loop current");
    QVERIFY(rig::waitFor([&] { return samplesOf(m_->monitor(), "Loop current") >= after + 2; },
                         kDeadline));
    const auto frames = r.device().takeFrames();
    const QList<int> commands = commandsOf(frames);
    const qsizetype click = commands.indexOf(3);
    QVERIFY2(click > 0, qPrintable(QString::number(click)));
    QCOMPARE(commands.count(3), 1);
    for (qsizetype i = 0; i < commands.size(); ++i)
        if (i != click) QCOMPARE(commands[i], 2);
    QCOMPARE(rig::hexText(frames[static_cast<std::size_t>(click)]).trimmed(),
             QStringLiteral("82 26 05 01 02 03 03 00 A2"));
    QCOMPARE(rig::hexText(frames[static_cast<std::size_t>(click - 1)]).trimmed(),
             QStringLiteral("82 26 05 01 02 03 02 00 A3"));
}

void MonitorTest::pausesWhileAPageAwaitsOrAScanHoldsTheLine() {
    WindowRig& r = *rig_;
    QVERIFY(m_->start(kCommand2, 0.5));
    QVERIFY(rig::waitFor([&] { return samplesOf(m_->monitor(), "Loop current") >= 1; }, kDeadline));
    // The page's request is slow to be answered: meanwhile the monitor waits.
    r.device().setFaults({.replyDelayMs = 1500});
    QVERIFY(rig::waitFor([&] { return !r.cycle().asking(); }, kDeadline));
    QVERIFY(r.click("Button4"));
    QVERIFY(rig::waitFor(
        [&] { return m_->state() == QStringLiteral("Paused: a page awaits its reply"); },
        kDeadline));
    QVERIFY(r.waitStatus(QStringLiteral("Upload successful!")));
    r.device().setFaults({});
    QVERIFY(rig::waitFor([&] { return m_->state() == QStringLiteral("Polling"); }, kDeadline));

    // A network scan has the line to itself.
    QVERIFY(rig::waitFor([&] { return !r.cycle().asking(); }, kDeadline));
    r.form().holdRequests(true);
    QVERIFY(rig::waitFor(
        [&] { return m_->state() == QStringLiteral("Paused: a network scan has the line"); },
        kDeadline));
    const std::size_t held = samplesOf(m_->monitor(), "Loop current");
    r.device().takeFrames();
    // Past the time two polls were due, none went out.
    QElapsedTimer waited;
    waited.start();
    rig::waitFor([&] { return waited.elapsed() >= 1200; }, 5000);
    QCOMPARE(samplesOf(m_->monitor(), "Loop current"), held);
    QVERIFY(r.device().takeFrames().empty());
    r.form().holdRequests(false);
    QVERIFY(
        rig::waitFor([&] { return samplesOf(m_->monitor(), "Loop current") > held; }, kDeadline));
}

void MonitorTest::failedRepliesAreGaps_data() {
    QTest::addColumn<bool>("silent");
    QTest::addColumn<int>("responseCode");
    QTest::addColumn<QString>("status");
    QTest::newRow("no reply") << true << 0 << "no reply in time";
    QTest::newRow("device busy") << false << 32 << "device busy (response code 32)";
}

void MonitorTest::failedRepliesAreGaps() {
    QFETCH(bool, silent);
    QFETCH(int, responseCode);
    QFETCH(QString, status);
    WindowRig& r = *rig_;
    ops::Monitor& m = m_->monitor();
    QVERIFY(m_->start(kCommand3, 0.5));
    QVERIFY(rig::waitFor([&] { return samplesOf(m, "PV") >= 2; }, kDeadline));
    const int pv = seriesIndex(m, "PV");
    if (silent)
        r.device().setFaults({.silent = true});
    else
        r.device().setFaults({.responseCode = static_cast<std::uint8_t>(responseCode)});
    QVERIFY(rig::waitFor([&] { return !m.model().series(pv).lastValue; }, kDeadline));
    QCOMPARE(m.model().series(pv).lastStatus, status);
    auto* table = m_->get<QTableView>("MonitorTable");
    QCOMPARE(table->model()->index(pv, ops::MonitorModel::Value).data().toString(),
             QStringLiteral("–"));
    QCOMPARE(table->model()->index(pv, ops::MonitorModel::Status).data().toString(), status);
    r.device().setFaults({});
    QVERIFY(rig::waitFor([&] { return m.model().series(pv).lastValue.has_value(); }, kDeadline));

    // The plot: the line stops at the gap and starts again after it, and
    // never dips to zero.
    const float devicePv =
        r.device().withState([](sim::SimState& s) { return s.variables[0].value; });
    m_->trend()->refresh();
    const auto runs = m_->trend()->drawnRuns(pv);
    QVERIFY2(runs.size() >= 2, qPrintable(QString::number(runs.size())));
    for (const auto& run : runs)
        for (const QPointF& p : run)
            QCOMPARE(p.y(), double(devicePv));

    // The log: the gap's rows have no value and say why.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("gaps.csv"));
    QVERIFY(m.log().save(path));
    int gapRows = 0;
    for (const QString& line : fileLines(path).mid(1)) {
        const QStringList f = csvFields(line);
        QCOMPARE(f.size(), 8);
        if (f[3] != QLatin1String("PV") || !f[4].isEmpty()) continue;
        QCOMPARE(f[7], status);
        QCOMPARE(f[5], QStringLiteral("32"));
        ++gapRows;
    }
    QVERIFY(gapRows >= 1);
}

void MonitorTest::csvParsedBack() {
    WindowRig& r = *rig_;
    ops::Monitor& m = m_->monitor();
    QVERIFY(m_->start(kCommand3, 0.5));
    QVERIFY(rig::waitFor([&] { return samplesOf(m, "PV") >= 3; }, kDeadline));
    m.stop();
    const qint64 after = QDateTime::currentMSecsSinceEpoch();

    auto* log = r.form().findChild<QObject*>(QStringLiteral("MonitorLog"));
    QVERIFY(log);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("monitor.csv"));
    bool saved = false;
    QVERIFY(
        QMetaObject::invokeMethod(log, "save", Q_RETURN_ARG(bool, saved), Q_ARG(QString, path)));
    QVERIFY(saved);

    // What the device holds: variable -> unit code, unit text, value.
    struct Expected {
        int unit;
        QString unitText;
        float value;
    };
    const auto expected = r.device().withState([](sim::SimState& s) {
        const auto& v = s.variables;
        return std::map<QString, Expected>{
            {QStringLiteral("Loop current"), {39, QStringLiteral("mA"), s.loopCurrent}},
            {QStringLiteral("PV"), {v[0].unit, QStringLiteral("degC"), v[0].value}},
            {QStringLiteral("SV"), {v[1].unit, QStringLiteral("degC"), v[1].value}},
            {QStringLiteral("TV"), {v[2].unit, QStringLiteral("mA"), v[2].value}},
            {QStringLiteral("QV"), {v[3].unit, QStringLiteral("kPa"), v[3].value}},
        };
    });

    const QStringList lines = fileLines(path);
    QVERIFY(lines.size() >= 1 + 3 * 5);
    QCOMPARE(lines[0], QStringLiteral("time,long_address,tag,variable,value,unit_code,unit_text,"
                                      "status"));
    qint64 previous = 0;
    std::map<QString, int> perVariable;
    for (const QString& line : lines.mid(1)) {
        const QStringList f = csvFields(line);
        QCOMPARE(f.size(), 8);
        const QDateTime time = QDateTime::fromString(f[0], Qt::ISODateWithMs);
        QVERIFY2(time.isValid() && f[0].contains(u'.'), qPrintable(f[0]));
        QVERIFY(time.toMSecsSinceEpoch() >= previous && time.toMSecsSinceEpoch() <= after);
        previous = time.toMSecsSinceEpoch();
        QCOMPARE(f[1], QStringLiteral("2605010203"));
        QCOMPARE(f[2], QStringLiteral("TT100"));
        QVERIFY2(expected.count(f[3]), qPrintable(f[3]));
        const Expected& e = expected.at(f[3]);
        bool number = false;
        QCOMPARE(f[4].toFloat(&number), e.value);
        QVERIFY(number);
        QCOMPARE(f[5].toInt(), e.unit);
        QCOMPARE(f[6], e.unitText);
        QVERIFY(!f[7].isEmpty());
        ++perVariable[f[3]];
    }
    QCOMPARE(perVariable.size(), expected.size());
    // One row per variable per poll.
    for (const auto& [variable, rows] : perVariable)
        QCOMPARE(rows, perVariable.begin()->second);
}

void MonitorTest::rangeLimitsAreDrawn() {
    WindowRig& r = *rig_;
    QVERIFY(m_->start(kCommand3, 0.5));
    QVERIFY(rig::waitFor([&] { return samplesOf(m_->monitor(), "PV") >= 1; }, kDeadline));
    const auto [unit, lower, upper] = r.device().withState([](sim::SimState& s) {
        return std::tuple{s.rangeUnit, double(s.lowerRange), double(s.upperRange)};
    });
    ops::TrendView* trend = m_->trend();
    QVERIFY(rig::waitFor([&] { return trend->drawnLimits(unit).size() == 2; }, kDeadline));
    trend->refresh();
    QCOMPARE(trend->drawnLimits(unit), (QList<double>{lower, upper}));
    QCOMPARE(trend->drawnLimits(39), (QList<double>{4.0, 20.0}));
    // One axis per unit, each titled with it.
    QCOMPARE(trend->unitAxis(32)->titleText(), QStringLiteral("degC"));
    QCOMPARE(trend->unitAxis(39)->titleText(), QStringLiteral("mA"));
    QCOMPARE(trend->unitAxis(12)->titleText(), QStringLiteral("kPa"));
    QVERIFY(trend->unitAxis(32)->min() <= lower && trend->unitAxis(32)->max() >= upper);
    QVERIFY(trend->live());
    QCOMPARE(trend->span(), ops::TrendView::kDefaultSpanMs);

    // The time axis' labels end at the right edge's time, now.
    auto* time = qobject_cast<QDateTimeAxis*>(trend->chart()->axes(Qt::Horizontal).value(0));
    QVERIFY(time);
    const qint64 edge = time->max().toMSecsSinceEpoch();
    QVERIFY(std::abs(edge - QDateTime::currentMSecsSinceEpoch()) < 60'000);
    QVERIFY(time->max().toMSecsSinceEpoch() - time->min().toMSecsSinceEpoch() >=
            ops::TrendView::kDefaultSpanMs);
    trend->viewport()->repaint();
    QStringList labels;
    for (QGraphicsItem* item : trend->scene()->items())
        if (auto* text = dynamic_cast<QGraphicsTextItem*>(item)) labels << text->toPlainText();
    QVERIFY2(labels.contains(time->max().toString(QStringLiteral("hh:mm:ss"))),
             qPrintable(labels.join(u'|')));
}

void MonitorTest::trendZoomsAndPans() {
    QVERIFY(m_->showDock());
    ops::TrendView* trend = m_->trend();
    auto* span = m_->get<QComboBox>("TrendSpan");
    auto* live = m_->get<QPushButton>("TrendLive");
    QCOMPARE(span->currentText(), QStringLiteral("10 min"));
    QVERIFY(live->isChecked());

    // Zoomed out by a step: no list item says that span.
    QTest::keyClick(trend, Qt::Key_Minus);
    QCOMPARE(trend->span(), qint64(12.5 * 60 * 1000));
    QCOMPARE(span->currentIndex(), -1);
    QVERIFY(trend->live());
    // Back in time by a quarter of the span: the clock is no longer followed.
    const qint64 before = trend->end();
    QTest::keyClick(trend, Qt::Key_Left);
    QVERIFY(!trend->live());
    QVERIFY(!live->isChecked());
    QVERIFY(std::abs(trend->end() - (before - trend->span() / 4)) < 2000);
    // The wheel zooms about the pointer: the time under it stays there.
    const QRectF area = trend->chart()->plotArea();
    const QPointF at(area.left() + area.width() / 4, area.center().y());
    const auto timeAt = [&] {
        return trend->end() - trend->span() +
               static_cast<qint64>((at.x() - area.left()) / area.width() *
                                   static_cast<double>(trend->span()));
    };
    const qint64 pointed = timeAt();
    QWheelEvent wheel(at, trend->mapToGlobal(at.toPoint()), {}, {0, 120}, Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(trend->viewport(), &wheel);
    QCOMPARE(trend->span(), qint64(10 * 60 * 1000));
    QVERIFY(std::abs(timeAt() - pointed) < 2000);
    // End follows the clock again; the list picks another span.
    QTest::keyClick(trend, Qt::Key_End);
    QVERIFY(trend->live());
    QVERIFY(live->isChecked());
    span->setCurrentIndex(span->findText(QStringLiteral("1 h")));
    QCOMPARE(trend->span(), qint64(60 * 60 * 1000));
    span->setCurrentIndex(span->findText(QStringLiteral("10 min")));
}

void MonitorTest::burstFramesFeedTheMonitor() {
    WindowRig& r = *rig_;
    ops::Monitor& m = m_->monitor();
    r.device().withState([](sim::SimState& s) {
        s.burstCommand = 3;
        s.burstMode = true;
    });
    QVERIFY(rig::waitFor([&] { return m.bursting(); }, kDeadline));
    r.device().takeFrames();
    // Asked to poll command 2; the device's own command-3 frames come instead.
    QVERIFY(m_->start(kCommand2, 0.5));
    QVERIFY(rig::waitFor([&] { return samplesOf(m, "PV") >= 3; }, kDeadline));
    QVERIFY2(m_->state().startsWith(QStringLiteral("Burst mode")), qPrintable(m_->state()));
    const QList<int> asked = commandsOf(r.device().takeFrames());
    QVERIFY2(!asked.contains(2), qPrintable(QString::number(asked.size())));
    const float devicePv =
        r.device().withState([](sim::SimState& s) { return s.variables[0].value; });
    QCOMPARE(m.model().series(seriesIndex(m, "PV")).values.back(), devicePv);
    QCOMPARE(samplesOf(m, "Percent of range"), std::size_t{0});

    // Out of burst mode: polls again.
    r.device().withState([](sim::SimState& s) { s.burstMode = false; });
    QVERIFY(rig::waitFor([&] { return samplesOf(m, "Percent of range") >= 1; }, kDeadline));
    QVERIFY(commandsOf(r.device().takeFrames()).contains(2));
}

void MonitorTest::hart7DeviceVariables() {
    sim::SimNetwork line;
    line.withDevice(5, [](sim::SimDevice& d) { d.holdClock(std::chrono::seconds(15)); });
    TForm1 form;
    form.resize(1200, 900);
    form.show();
    // The decode timer's run at start-up goes by before anything is asked.
    QVERIFY(rig::waitFor(
        [&] { return !form.findChild<QTimer*>(QStringLiteral("Timer2"))->isActive(); }, 5000));
    form.findChild<QComboBox*>(QStringLiteral("SPREALCOM"))
        ->setEditText(QString::fromStdString(line.portPath()));
    form.findChild<QPushButton*>(QStringLiteral("Button1"))->click();
    QVERIFY(rig::waitFor([&] { return form.isPortOpen(); }, kDeadline));
    const auto identify = [&](int address) {
        form.findChild<QComboBox*>(QStringLiteral("ComboBox9"))->setCurrentIndex(address);
        form.findChild<QPushButton*>(QStringLiteral("Button3"))->click();
        return rig::waitFor(
            [&] {
                return form.device().identity() && form.device().pollAddress() == address &&
                       form.cycle().replyCode() == 0;
            },
            kDeadline);
    };
    MonitorDriver d(form);
    ops::Monitor& m = d.monitor();

    // First the transmitter at address 0; then the flowmeter becomes current.
    QVERIFY(identify(0));
    QVERIFY(d.start(kCommand3, 0.5));
    QVERIFY(rig::waitFor([&] { return samplesOf(m, "QV") >= 1; }, kDeadline));
    QVERIFY(rig::waitFor([&] { return !form.cycle().asking(); }, kDeadline));
    QVERIFY(identify(5));
    QCOMPARE(int(form.device().identity()->universalRevision), 7);
    QVERIFY(!m.running());
    QCOMPARE(d.state(), QStringLiteral("Stopped: another device became current"));
    // Variable 1 goes bad: a gap in its series.
    line.withState(5, [](sim::SimState& s) { s.deviceVariableTable[1].status = 0x00; });
    line.takeFrames();

    QVERIFY(d.start(kCommand9, 0.5));
    // The transmitter's values are not on the flowmeter's plot.
    QCOMPARE(samplesOf(m, "QV"), std::size_t{0});
    QVERIFY(rig::waitFor([&] { return samplesOf(m, "Device variable 0") >= 2; }, kDeadline));

    // Command 9 asks for device variables 0-3 and PV-QV.
    std::optional<Bytes> poll;
    for (const Bytes& f : line.takeFrames())
        if (f.size() > 7 && f[6] == 9) poll = f;
    QVERIFY(poll);
    QCOMPARE(rig::hexText(Bytes(poll->begin() + 7, poll->end() - 1)).trimmed(),
             QStringLiteral("08 00 01 02 03 F6 F7 F8 F9"));

    const auto table = line.withState(5, [](sim::SimState& s) { return s.deviceVariableTable; });
    const auto pvCode = line.withState(5, [](sim::SimState& s) { return s.dynamicVariables[0]; });
    struct Row {
        const char* variable;
        std::size_t device;
        const char* unit;
    };
    for (const Row& row : {Row{"Device variable 0", 0, "m3/h"}, Row{"Device variable 2", 2, "m3"},
                           Row{"Device variable 3", 3, "degC"}, Row{"PV", pvCode, "m3/h"}}) {
        const int i = seriesIndex(m, row.variable);
        QVERIFY2(i >= 0, row.variable);
        const ops::Series& s = m.model().series(i);
        QCOMPARE(s.unit, table[row.device].unit);
        QCOMPARE(s.unitText, QString::fromLatin1(row.unit));
        QVERIFY(s.lastValue);
        QCOMPARE(*s.lastValue, table[row.device].value);
    }
    // The flowmeter always has more status to tell.
    QCOMPARE(m.model().series(seriesIndex(m, "Device variable 3")).lastStatus,
             QStringLiteral("poor accuracy; More status available"));
    const ops::Series& bad = m.model().series(seriesIndex(m, "Device variable 1"));
    QVERIFY(!bad.lastValue);
    QVERIFY(std::isnan(bad.values.back()));
    QCOMPARE(bad.lastStatus, QStringLiteral("bad; More status available"));
    // The flowmeter's range, on the flow's axis.
    QVERIFY(rig::waitFor([&] { return d.trend()->drawnLimits(19).size() == 2; }, kDeadline));
    QCOMPARE(d.trend()->drawnLimits(19),
             (QList<double>{table[pvCode].lowerRange, table[pvCode].upperRange}));
    m.stop();
    // The log keeps both devices' rows, each with its address.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("both.csv"));
    QVERIFY(m.log().save(path));
    QSet<QString> addresses;
    for (const QString& row : fileLines(path).mid(1))
        addresses.insert(csvFields(row).value(1));
    QCOMPARE(addresses,
             (QSet<QString>{QStringLiteral("2605010203"), QStringLiteral("11B73A5C91")}));
    QVERIFY(rig::waitFor([&] { return !form.cycle().asking(); }, kDeadline));
}

void MonitorTest::stopsWhenThePortClosesOrTheLineGoes() {
    WindowRig r;
    QVERIFY(r.isOpen());
    QVERIFY(r.discover());
    MonitorDriver d(r.form());
    QVERIFY(d.start(kCommand2, 0.5));
    QVERIFY(rig::waitFor([&] { return samplesOf(d.monitor(), "Loop current") >= 1; }, kDeadline));
    QVERIFY(r.click("Button1")); // Close
    QVERIFY(!d.monitor().running());
    QCOMPARE(d.state(), QStringLiteral("Stopped: the port closed"));
    QVERIFY(!d.get<QPushButton>("MonitorStart")->isEnabled());
    QVERIFY(!d.get<QPushButton>("MonitorStop")->isEnabled());

    QVERIFY(r.openPort());
    QVERIFY(d.get<QPushButton>("MonitorStart")->isEnabled());
    QVERIFY(d.start(kCommand2, 0.5));
    QVERIFY(d.get<QPushButton>("MonitorStop")->isEnabled());
    const std::size_t before = samplesOf(d.monitor(), "Loop current");
    QVERIFY(
        rig::waitFor([&] { return samplesOf(d.monitor(), "Loop current") > before; }, kDeadline));
    r.device().hangUp();
    const QString box = r.takeErrorBox(kDeadline);
    QVERIFY(!box.isEmpty());
    QVERIFY(!d.monitor().running());
    QVERIFY2(d.state().startsWith(QStringLiteral("Stopped: ")) &&
                 d.state() != QStringLiteral("Stopped: the port closed"),
             qPrintable(d.state()));
}

void MonitorTest::refusesWithoutADevice() {
    WindowRig r; // open, but no device identified yet
    QVERIFY(r.isOpen());
    MonitorDriver d(r.form());
    QVERIFY(!d.start(kCommand3, 1.0));
    QVERIFY2(d.state().startsWith(QStringLiteral("No device identified yet")),
             qPrintable(d.state()));
    QVERIFY(r.device().takeFrames().empty());
}

QTEST_MAIN(MonitorTest)
#include "tst_monitor.moc"
