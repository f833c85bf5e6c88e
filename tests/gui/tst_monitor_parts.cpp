// The monitor's parts without a window: what each reply of commands 1, 2, 3
// and 9 gives as readings, how a series is decimated for the plot, what a
// series keeps, and the CSV log's rows and files.
//
// Reply data are laid out by hand from the commands' layouts; WireFloats are
// IEEE-754 singles, most significant byte first: 12.0 = 41 40 00 00,
// 50.0 = 42 48 00 00, 23.5 = 41 BC 00 00, 101.3 = 42 CA 99 9A,
// 0.0 = 00 00 00 00, 1.5 = 3F C0 00 00, NaN ("not used") = 7F A0 00 00.

#include "ops/monitor_log.h"
#include "ops/monitor_model.h"
#include "ops/monitor_readings.h"

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

using Points = std::vector<std::pair<qint64, float>>;
Q_DECLARE_METATYPE(Points)

namespace {

std::vector<std::uint8_t> hex(const char* text) {
    std::vector<std::uint8_t> out;
    std::istringstream in(text);
    std::string word;
    while (in >> word)
        out.push_back(static_cast<std::uint8_t>(std::stoul(word, nullptr, 16)));
    return out;
}

// "variable|unit code|unit text|value or -|status"
QStringList describe(const ops::Readings& r) {
    QStringList out;
    for (const ops::Reading& x : r.readings)
        out << QStringLiteral("%1|%2|%3|%4|%5")
                   .arg(x.variable)
                   .arg(x.unit)
                   .arg(x.unitText, x.value ? QString::number(*x.value) : QStringLiteral("-"),
                        x.status);
    return out;
}

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

ops::Series seriesOf(const Points& points) {
    ops::Series s;
    for (const auto& [t, v] : points) {
        s.times.push_back(t);
        s.values.push_back(v);
    }
    return s;
}

QString runsText(const std::vector<QList<QPointF>>& runs) {
    QStringList out;
    for (const auto& run : runs) {
        QStringList points;
        for (const QPointF& p : run)
            points << QStringLiteral("%1:%2").arg(p.x()).arg(p.y());
        out << points.join(u' ');
    }
    return out.join(QStringLiteral(" | "));
}

QString readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QStringLiteral("<unreadable>");
    return QString::fromUtf8(f.readAll());
}

ops::LogRow row(qint64 ms, const QString& variable, std::optional<float> value,
                const QString& status = QStringLiteral("OK")) {
    return {ms,
            QStringLiteral("2605010203"),
            QStringLiteral("TT100"),
            variable,
            value,
            std::uint8_t{32},
            QStringLiteral("degC"),
            status};
}

} // namespace

class MonitorPartsTest : public QObject {
    Q_OBJECT
private slots:
    void readings_data();
    void readings();
    void decimation_data();
    void decimation();
    void decimationKeepsAFullDayToTwoPointsAColumn();
    void stretchesJoinAsOne_data();
    void stretchesJoinAsOne();
    void stretchDropsWhatScrolledOut();
    void seriesByVariableAndUnit();
    void seriesKeepsOneDay();
    void gapShowsAsNoValue();
    void logRows_data();
    void logRows();
    void logTimeIsIso8601WithMilliseconds();
    void logSavesEveryRowSoFar();
    void logFileGetsEachRowAtOnce();
    void logSaveFailureSaysWhy();
};

void MonitorPartsTest::readings_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("responseCode");
    QTest::addColumn<int>("deviceStatus");
    QTest::addColumn<QString>("data");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("failure");

    // clang-format off
    QTest::newRow("2: current and percent")
        << 2 << 0 << 0 << "41 40 00 00 42 48 00 00"
        << QStringList{"Loop current|39|mA|12|OK", "Percent of range|57|%|50|OK"} << "";
    QTest::newRow("2: a value not a number is a gap")
        << 2 << 0 << 0 << "7F A0 00 00 42 48 00 00"
        << QStringList{"Loop current|39|mA|-|OK", "Percent of range|57|%|50|OK"} << "";
    QTest::newRow("2: too short")
        << 2 << 0 << 0 << "41 40 00 00 42 48 00" << QStringList{} << "reply too short";
    QTest::newRow("1: PV")
        << 1 << 0 << 0 << "20 42 48 00 00" << QStringList{"PV|32|degC|50|OK"} << "";
    QTest::newRow("3: four dynamic variables")
        << 3 << 0 << 0 << "41 40 00 00 20 42 48 00 00 20 41 BC 00 00 27 00 00 00 00 0C 42 CA 99 9A"
        << QStringList{"Loop current|39|mA|12|OK", "PV|32|degC|50|OK", "SV|32|degC|23.5|OK",
                       "TV|39|mA|0|OK", "QV|12|kPa|101.3|OK"} << "";
    QTest::newRow("3: PV alone")
        << 3 << 0 << 0 << "41 40 00 00 20 42 48 00 00"
        << QStringList{"Loop current|39|mA|12|OK", "PV|32|degC|50|OK"} << "";
    QTest::newRow("3: a variable cut short is left out")
        << 3 << 0 << 0 << "41 40 00 00 20 42 48 00 00 20 41 BC 00"
        << QStringList{"Loop current|39|mA|12|OK", "PV|32|degC|50|OK"} << "";
    QTest::newRow("3: a variable 'not used' is left out")
        << 3 << 0 << 0 << "41 40 00 00 20 42 48 00 00 FA 7F A0 00 00 20 41 BC 00 00"
        << QStringList{"Loop current|39|mA|12|OK", "PV|32|degC|50|OK", "TV|32|degC|23.5|OK"} << "";
    QTest::newRow("3: no PV")
        << 3 << 0 << 0 << "41 40 00 00 20 42 48 00" << QStringList{} << "reply too short";
    QTest::newRow("3: device status in words")
        << 3 << 0 << 0x0C << "41 40 00 00 20 42 48 00 00"
        << QStringList{"Loop current|39|mA|12|Loop current fixed, Loop current saturated",
                       "PV|32|degC|50|Loop current fixed, Loop current saturated"} << "";
    QTest::newRow("3: warning keeps the values")
        << 3 << 8 << 0 << "41 40 00 00 20 42 48 00 00"
        << QStringList{"Loop current|39|mA|12|warning", "PV|32|degC|50|warning"} << "";
    QTest::newRow("3: busy gives no values")
        << 3 << 32 << 0 << "41 40 00 00 20 42 48 00 00"
        << QStringList{} << "device busy (response code 32)";
    QTest::newRow("3: not implemented")
        << 3 << 64 << 0 << "" << QStringList{} << "command not implemented (response code 64)";
    QTest::newRow("9: HART 7 slots, bad status and 'not used'")
        << 9 << 0 << 0
        << "00"
           " 00 40 20 42 48 00 00 C0"   // device variable 0: temperature, degC, 50, good
           " F6 40 20 41 BC 00 00 00"   // PV: 23.5 but bad
           " FA 00 FA 7F A0 00 00 30"   // not used
           " F5 54 27 41 40 00 00 B0"   // loop current: fixed, constant
           " 00 01 02 03"               // time stamp
        << QStringList{"Device variable 0|32|degC|50|good", "PV|32|degC|-|bad",
                       "Loop current|39|mA|12|manual/fixed, constant"} << "";
    QTest::newRow("9: HART 6, no time stamp, poor accuracy")
        << 9 << 0 << 0 << "00 03 44 13 3F C0 00 00 50"
        << QStringList{"Device variable 3|19|m3/h|1.5|poor accuracy, low limited"} << "";
    QTest::newRow("9: truncated response still carries values")
        << 9 << 30 << 0 << "00 00 40 20 42 48 00 00 C0 00 00 00 00"
        << QStringList{"Device variable 0|32|degC|50|good; command response truncated"} << "";
    QTest::newRow("9: a length no slot count gives")
        << 9 << 0 << 0 << "00 00 40 20 42 48 00" << QStringList{} << "reply too short";
    QTest::newRow("13 is not read")
        << 13 << 0 << 0 << "00" << QStringList{} << "command 13 is not one the monitor reads";
    // clang-format on
}

void MonitorPartsTest::readings() {
    QFETCH(int, command);
    QFETCH(int, responseCode);
    QFETCH(int, deviceStatus);
    QFETCH(QString, data);
    QFETCH(QStringList, expected);
    QFETCH(QString, failure);
    const auto bytes = hex(data.toLatin1().constData());
    const auto r =
        ops::readingsOf(static_cast<std::uint8_t>(command), static_cast<std::uint8_t>(responseCode),
                        static_cast<std::uint8_t>(deviceStatus), bytes);
    QCOMPARE(describe(r), expected);
    QCOMPARE(r.failure, failure);
}

void MonitorPartsTest::decimation_data() {
    QTest::addColumn<Points>("points");
    QTest::addColumn<qint64>("from");
    QTest::addColumn<qint64>("to");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QString>("runs");

    Points ramp;
    for (int i = 0; i < 100; ++i)
        ramp.push_back({i, static_cast<float>(i % 7)});
    Points gapInOneColumn;
    for (int i = 0; i < 10; ++i)
        gapInOneColumn.push_back({i, i == 5 ? kNaN : static_cast<float>(i)});

    // clang-format off
    QTest::newRow("a point per column")
        << Points{{0, 1}, {10, 2}, {20, 3}} << qint64(0) << qint64(30) << 3
        << "0:1 10:2 20:3";
    QTest::newRow("a gap splits the line")
        << Points{{0, 1}, {10, 2}, {20, kNaN}, {30, 4}, {40, 5}} << qint64(0) << qint64(50) << 5
        << "0:1 10:2 | 30:4 40:5";
    QTest::newRow("a gap inside one column still splits it")
        << gapInOneColumn << qint64(0) << qint64(10) << 1
        << "0:0 4:4 | 6:6 9:9";
    QTest::newRow("lowest and highest of each column, in time order")
        << Points{{0, 5}, {1, 9}, {2, 1}, {3, 4}, {10, 7}, {11, 2}, {12, 3}} << qint64(0) << qint64(20) << 2
        << "1:9 2:1 10:7 11:2";
    QTest::newRow("the same value all through a column is one point")
        << Points{{0, 3}, {1, 3}, {2, 3}} << qint64(0) << qint64(10) << 1
        << "0:3";
    QTest::newRow("a lone value between gaps")
        << Points{{0, kNaN}, {10, 3}, {20, kNaN}} << qint64(0) << qint64(30) << 3
        << "10:3";
    QTest::newRow("one point beyond each edge")
        << Points{{0, 1}, {10, 2}, {20, 3}, {30, 4}, {40, 5}} << qint64(15) << qint64(25) << 10
        << "10:2 20:3 30:4";
    QTest::newRow("a gap beyond the edge ends nothing in view")
        << Points{{0, kNaN}, {10, 2}, {20, 3}, {30, kNaN}} << qint64(10) << qint64(20) << 10
        << "10:2 20:3";
    QTest::newRow("nothing in the range")
        << Points{{0, 1}} << qint64(100) << qint64(200) << 10
        << "0:1";
    QTest::newRow("no points") << Points{} << qint64(0) << qint64(10) << 10 << "";
    QTest::newRow("ramp in four columns")
        << ramp << qint64(0) << qint64(100) << 4
        << "0:0 6:6 27:6 28:0 55:6 56:0 76:6 77:0";
    // clang-format on
}

void MonitorPartsTest::decimation() {
    QFETCH(Points, points);
    QFETCH(qint64, from);
    QFETCH(qint64, to);
    QFETCH(int, columns);
    QFETCH(QString, runs);
    QCOMPARE(runsText(ops::decimate(seriesOf(points), from, to, columns)), runs);
}

// A day at a sample a second on a 1000-pixel plot: two points a column at
// most, and the day's lowest and highest values among them.
void MonitorPartsTest::decimationKeepsAFullDayToTwoPointsAColumn() {
    ops::Series s;
    constexpr qint64 kDay = 24LL * 60 * 60 * 1000;
    for (qint64 t = 0; t <= kDay; t += 1000) {
        s.times.push_back(t);
        s.values.push_back(static_cast<float>(std::sin(static_cast<double>(t) / 1e6) * 10));
    }
    s.values[43210] = 99; // one spike
    const auto runs = ops::decimate(s, 0, kDay, 1000);
    QCOMPARE(runs.size(), std::size_t{1});
    QVERIFY2(runs[0].size() <= 2 * 1000 + 2, qPrintable(QString::number(runs[0].size())));
    double high = -1e9;
    for (const QPointF& p : runs[0])
        high = std::max(high, p.y());
    QCOMPARE(high, 99.0);
}

void MonitorPartsTest::stretchesJoinAsOne_data() {
    QTest::addColumn<Points>("points");
    QTest::addColumn<QList<qint64>>("cuts"); // grid times, first to last
    QTest::addColumn<QString>("runs");

    const Points rising{{0, 1}, {5, 2}, {10, 3}, {15, 4}, {20, 5}, {25, 6}};
    // clang-format off
    QTest::newRow("one line across the cuts")
        << rising << QList<qint64>{0, 10, 20, 30} << "0:1 5:2 10:3 15:4 20:5 25:6";
    QTest::newRow("a gap just before a cut")
        << Points{{0, 1}, {5, kNaN}, {10, 3}, {15, 4}} << QList<qint64>{0, 10, 20}
        << "0:1 | 10:3 15:4";
    QTest::newRow("a gap just after a cut")
        << Points{{0, 1}, {5, 2}, {10, kNaN}, {15, 4}} << QList<qint64>{0, 10, 20}
        << "0:1 5:2 | 15:4";
    QTest::newRow("a stretch with no samples")
        << Points{{0, 1}, {25, 2}} << QList<qint64>{0, 10, 20, 30} << "0:1 25:2";
    QTest::newRow("a stretch of gaps alone")
        << Points{{0, 1}, {12, kNaN}, {25, 2}} << QList<qint64>{0, 10, 20, 30} << "0:1 | 25:2";
    // clang-format on
}

// Decimated stretch by stretch and joined, a series draws what it draws
// decimated at once.
void MonitorPartsTest::stretchesJoinAsOne() {
    QFETCH(Points, points);
    QFETCH(QList<qint64>, cuts);
    QFETCH(QString, runs);
    const ops::Series s = seriesOf(points);
    constexpr qint64 kWidth = 5;
    const auto whole = ops::decimateStretch(s, cuts.front(), cuts.back(), kWidth);
    QCOMPARE(runsText(whole.runs), runs);
    ops::Stretch joined;
    for (qsizetype i = 1; i < cuts.size(); ++i)
        joined.append(ops::decimateStretch(s, cuts[i - 1], cuts[i], kWidth));
    QCOMPARE(runsText(joined.runs), runs);
}

void MonitorPartsTest::stretchDropsWhatScrolledOut() {
    const ops::Series s = seriesOf({{0, 1}, {5, 2}, {10, kNaN}, {15, 4}, {20, 5}});
    auto stretch = ops::decimateStretch(s, 0, 25, 5);
    QCOMPARE(runsText(stretch.runs), QStringLiteral("0:1 5:2 | 15:4 20:5"));
    stretch.dropBefore(5);
    QCOMPARE(runsText(stretch.runs), QStringLiteral("5:2 | 15:4 20:5"));
    stretch.dropBefore(16);
    QCOMPARE(runsText(stretch.runs), QStringLiteral("20:5"));
}

void MonitorPartsTest::seriesByVariableAndUnit() {
    ops::MonitorModel m;
    QSignalSpy added(&m, &ops::MonitorModel::seriesAdded);
    const auto reading = [](const char* name, std::uint8_t unit, float v) {
        return ops::Reading{QString::fromLatin1(name), unit, QStringLiteral("u"), v,
                            QStringLiteral("OK")};
    };
    QCOMPARE(m.add(1000, reading("PV", 32, 50)), 0);
    QCOMPARE(m.add(1000, reading("SV", 32, 23.5f)), 1);
    QCOMPARE(m.add(2000, reading("PV", 32, 51)), 0);
    // The same variable in another unit is another series, on another axis.
    QCOMPARE(m.add(3000, reading("PV", 33, 123.8f)), 2);
    QCOMPARE(added.count(), 3);
    QCOMPARE(m.rowCount(), 3);
    QCOMPARE(m.series(0).times, (std::deque<qint64>{1000, 2000}));
    QCOMPARE(m.series(0).values, (std::deque<float>{50, 51}));
    QCOMPARE(m.data(m.index(0, ops::MonitorModel::Value)).toString(), QStringLiteral("51"));
    QCOMPARE(m.newestTime(), qint64(3000));
    // The table shows the seven digits a float holds.
    m.add(4000, reading("SV", 32, 42.895657f));
    QCOMPARE(m.data(m.index(1, ops::MonitorModel::Value)).toString(), QStringLiteral("42.89566"));
}

void MonitorPartsTest::seriesKeepsOneDay() {
    ops::MonitorModel m;
    constexpr qint64 kDay = ops::MonitorModel::kDefaultKeepMs;
    QCOMPARE(kDay, 24LL * 60 * 60 * 1000);
    const ops::Reading r{QStringLiteral("PV"), 32, QStringLiteral("degC"), 1.0f, {}};
    constexpr qint64 kStart = 1'700'000'000'000;
    constexpr qint64 kSamples = 25 * 60 * 60; // 25 h at one a second
    for (qint64 i = 0; i < kSamples; ++i)
        m.add(kStart + i * 1000, r);
    const ops::Series& s = m.series(0);
    const qint64 newest = kStart + (kSamples - 1) * 1000;
    QCOMPARE(s.times.back(), newest);
    QCOMPARE(s.times.front(), newest - kDay);
    QCOMPARE(s.times.size(), std::size_t(24 * 60 * 60 + 1));
    QCOMPARE(s.values.size(), s.times.size());
}

void MonitorPartsTest::gapShowsAsNoValue() {
    ops::MonitorModel m;
    const int pv =
        m.add(1000, {QStringLiteral("PV"), 32, QStringLiteral("degC"), 0.0f, QStringLiteral("OK")});
    QCOMPARE(m.data(m.index(pv, ops::MonitorModel::Value)).toString(), QStringLiteral("0"));
    m.addGap(pv, 2000, QStringLiteral("no reply in time"));
    QVERIFY(std::isnan(m.series(pv).values.back()));
    QCOMPARE(m.data(m.index(pv, ops::MonitorModel::Value)).toString(), QStringLiteral("–"));
    QCOMPARE(m.data(m.index(pv, ops::MonitorModel::Status)).toString(),
             QStringLiteral("no reply in time"));
    QCOMPARE(m.data(m.index(pv, ops::MonitorModel::Unit)).toString(), QStringLiteral("degC"));
}

void MonitorPartsTest::logRows_data() {
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("variable");
    QTest::addColumn<float>("value");
    QTest::addColumn<bool>("gap");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("afterTime");

    // clang-format off
    QTest::newRow("plain") << "TT100" << "PV" << 50.0f << false << "OK"
                           << ",2605010203,TT100,PV,50,32,degC,OK";
    QTest::newRow("fraction in the fewest digits") << "TT100" << "SV" << 0.1f << false << "good"
                           << ",2605010203,TT100,SV,0.1,32,degC,good";
    QTest::newRow("negative") << "TT100" << "PV" << -12.75f << false << "OK"
                           << ",2605010203,TT100,PV,-12.75,32,degC,OK";
    QTest::newRow("gap: empty value") << "TT100" << "PV" << 0.0f << true << "no reply in time"
                           << ",2605010203,TT100,PV,,32,degC,no reply in time";
    QTest::newRow("comma quoted") << "A,B" << "PV" << 1.0f << false << "Loop current fixed, Cold start"
                           << ",2605010203,\"A,B\",PV,1,32,degC,\"Loop current fixed, Cold start\"";
    QTest::newRow("quote doubled") << "say \"hi\"" << "PV" << 1.0f << false << "OK"
                           << ",2605010203,\"say \"\"hi\"\"\",PV,1,32,degC,OK";
    // clang-format on
}

void MonitorPartsTest::logRows() {
    QFETCH(QString, tag);
    QFETCH(QString, variable);
    QFETCH(float, value);
    QFETCH(bool, gap);
    QFETCH(QString, status);
    QFETCH(QString, afterTime);
    ops::LogRow r = row(0, variable, gap ? std::nullopt : std::optional<float>(value), status);
    r.tag = tag;
    const QString line = ops::MonitorLog::lineOf(r);
    QCOMPARE(line.mid(ops::MonitorLog::timeText(0).size()), afterTime);
}

void MonitorPartsTest::logTimeIsIso8601WithMilliseconds() {
    const QRegularExpression iso(
        QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}(Z|[+-]\d\d:\d\d)$)"));
    for (const qint64 ms : {qint64(0), qint64(1'765'432'109'876), qint64(1'765'432'109'001)}) {
        const QString text = ops::MonitorLog::timeText(ms);
        QVERIFY2(iso.match(text).hasMatch(), qPrintable(text));
        QCOMPARE(QDateTime::fromString(text, Qt::ISODateWithMs).toMSecsSinceEpoch(), ms);
    }
    QCOMPARE(ops::MonitorLog::headerLine(),
             QStringLiteral("time,long_address,tag,variable,value,unit_code,unit_text,status"));
}

void MonitorPartsTest::logSavesEveryRowSoFar() {
    QTemporaryDir dir;
    ops::MonitorLog log;
    QCOMPARE(log.objectName(), QStringLiteral("MonitorLog"));
    log.append(row(1000, QStringLiteral("PV"), 50.0f));
    log.append(row(2000, QStringLiteral("PV"), std::nullopt, QStringLiteral("no reply in time")));
    const QString first = dir.filePath(QStringLiteral("first.csv"));
    QVERIFY(log.save(first));
    QStringList lines = readAll(first).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], ops::MonitorLog::headerLine());
    QVERIFY(lines[1].endsWith(QStringLiteral(",PV,50,32,degC,OK")));
    QVERIFY(lines[2].endsWith(QStringLiteral(",PV,,32,degC,no reply in time")));
    // Rows after a save go on after the earlier ones.
    log.append(row(3000, QStringLiteral("PV"), 51.0f));
    const QString second = dir.filePath(QStringLiteral("second.csv"));
    QVERIFY(log.save(second));
    lines = readAll(second).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines[3].endsWith(QStringLiteral(",PV,51,32,degC,OK")));
    QCOMPARE(log.rowCount(), qint64(3));
    log.clear();
    QVERIFY(log.save(second));
    QCOMPARE(readAll(second), ops::MonitorLog::headerLine() + u'\n');
}

void MonitorPartsTest::logFileGetsEachRowAtOnce() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("run.csv"));
    ops::MonitorLog log;
    log.append(row(500, QStringLiteral("PV"), 49.0f)); // before the file: not in it
    QVERIFY(log.startFile(path));
    QCOMPARE(readAll(path), ops::MonitorLog::headerLine() + u'\n');
    log.append(row(1000, QStringLiteral("PV"), 50.0f));
    // Read while the log still holds the file open: the row is there already.
    QStringList lines = readAll(path).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines[1].endsWith(QStringLiteral(",PV,50,32,degC,OK")));
    log.append(row(2000, QStringLiteral("PV"), 51.0f));
    QCOMPARE(readAll(path).count(u'\n'), 3);
}

void MonitorPartsTest::logSaveFailureSaysWhy() {
    ops::MonitorLog log;
    log.append(row(1000, QStringLiteral("PV"), 50.0f));
    const QString path = QStringLiteral("/nonexistent-folder-rx460k/monitor.csv");
    QVERIFY(!log.save(path));
    QVERIFY2(log.errorString().startsWith(path), qPrintable(log.errorString()));
    QVERIFY(!log.startFile(path));
    QVERIFY2(log.errorString().startsWith(path), qPrintable(log.errorString()));
    QVERIFY(!QFile::exists(path));
}

QTEST_MAIN(MonitorPartsTest)
#include "tst_monitor_parts.moc"
