#include "ops/monitor.h"

#include "hart/encodings.h"
#include "hart/frame_parser.h"
#include "hart/names.h"
#include "hart/protocol.h"
#include "host/device.h"
#include "host/page_host.h"
#include "host/reply_codes.h"
#include "host/request.h"
#include "host/request_cycle.h"
#include "ops/trend_view.h"

#include <QComboBox>
#include <QDateTime>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>

namespace ops {

namespace {

// While a poll cannot go out, the monitor looks again this often.
constexpr int kRecheckMs = 100;
// Between polls back to back the line stays free this long, so that another
// background request (reading a configuration) retrying meanwhile gets it.
constexpr int kBreathMs = 150;
// Exchanges the measured one is the median of.
constexpr std::size_t kExchangesKept = 5;
// Burst frames count as still coming for three of their own intervals, and
// for at least this long.
constexpr qint64 kBurstQuietMs = 2000;
constexpr int kBurstGapsWaited = 3;

// The device variables command 9 asks for until the device's own list is
// known: the first four device variables, then PV, SV, TV and QV.
constexpr std::array<std::uint8_t, 8> kDefaultVariableCodes{0, 1, 2, 3, 246, 247, 248, 249};
constexpr std::uint8_t kFirstEightSlotRevision = 7;
constexpr std::size_t kHart6Slots = 4;

// Command 13: the tag, 8 packed-ASCII characters in 6 bytes.
constexpr std::uint8_t kTagCommand = 13;
constexpr int kTagBytes = 6;
constexpr int kTagCharacters = 8;
// Command 15: range unit, upper and lower range values.
constexpr std::uint8_t kRangeCommand = 15;
constexpr std::size_t kRangeUnit = 2;
constexpr std::size_t kUpperRange = 3;
constexpr std::size_t kLowerRange = 7;
constexpr std::size_t kRangeBytes = 11;

// The loop's own limits, whatever the device.
constexpr std::uint8_t kMilliamperes = 39;
constexpr std::uint8_t kPercent = 57;

struct SourceRow {
    MonitorSource source;
    const char* text;
};
constexpr std::array kSources{
    SourceRow{MonitorSource::LoopCurrent, "Loop current and percent of range (command 2)"},
    SourceRow{MonitorSource::DynamicVariables, "Dynamic variables (command 3)"},
    SourceRow{MonitorSource::DeviceVariables, "Device variables (command 9)"},
};

struct SpanRow {
    const char* text;
    qint64 ms;
};
constexpr std::array kSpans{
    SpanRow{"1 min", 60LL * 1000},          SpanRow{"10 min", 10LL * 60 * 1000},
    SpanRow{"1 h", 60LL * 60 * 1000},       SpanRow{"8 h", 8LL * 60 * 60 * 1000},
    SpanRow{"24 h", 24LL * 60 * 60 * 1000},
};

// Room for the longest usual text of each column but the status, which
// takes what is left.
struct ColumnWidth {
    MonitorModel::Column column;
    const char* sample;
};
constexpr std::array kColumnWidths{
    ColumnWidth{MonitorModel::Variable, "Device variable 249"},
    ColumnWidth{MonitorModel::Value, "-123456.789"},
    ColumnWidth{MonitorModel::Unit, "Unit, kg/h"},
    ColumnWidth{MonitorModel::Time, "00:00:00.000"},
};

host::RequestSpec requestFor(std::uint8_t command) {
    return {host::kBackgroundReply, host::longFrame(command), host::Echo::Keep};
}

QString hexAddress(const hart::UniqueAddress& address) {
    QString text;
    for (std::uint8_t b : address)
        text += QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
    return text;
}

bool fromDevice(const hart::Frame& f, const hart::UniqueAddress& address) {
    if (!f.longAddress || f.addressBytes.size() != address.size()) return false;
    if ((f.addressBytes[0] & hart::kAddressMask) != address[0]) return false;
    return std::equal(address.begin() + 1, address.end(), f.addressBytes.begin() + 1);
}

QPushButton* makeButton(const char* name, const QString& caption, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

} // namespace

std::vector<std::uint8_t> monitoredVariableCodes(const host::Device& device) {
    // The HART 7 device page's choice; its default where no page chose.
    std::vector<std::uint8_t> codes = device.variableCodes();
    if (codes.empty()) codes.assign(kDefaultVariableCodes.begin(), kDefaultVariableCodes.end());
    const auto& id = device.identity();
    if (id && id->universalRevision < kFirstEightSlotRevision) codes.resize(kHart6Slots);
    return codes;
}

QString durationText(int ms) {
    constexpr int kMinute = 60 * 1000;
    constexpr int kHour = 60 * kMinute;
    if (ms >= kHour && ms % kHour == 0) return QStringLiteral("%1 h").arg(ms / kHour);
    if (ms >= kMinute && ms % kMinute == 0) return QStringLiteral("%1 min").arg(ms / kMinute);
    return QStringLiteral("%1 s").arg(QString::number(ms / 1000.0, 'f', 1));
}

// ---- Monitor

Monitor::Monitor(host::PageHost& host, QObject* parent)
    : QObject(parent), host_(host), cycle_(host.cycle()), model_(new MonitorModel(this)),
      log_(new MonitorLog(this)), tick_(new QTimer(this)) {
    setObjectName(QStringLiteral("Monitor"));
    tick_->setSingleShot(true);
    // Polls keep their interval to the millisecond, never early.
    tick_->setTimerType(Qt::PreciseTimer);
    connect(tick_, &QTimer::timeout, this, [this] { host_.guarded([this] { onTick(); }); });
    clock_.start();
    state_ = QStringLiteral("Stopped");

    host::Device& device = host_.device();
    connect(&device, &host::Device::portChanged, this, [this](bool open) {
        closedUnderIt_ = !open && running_;
        if (closedUnderIt_) stop(QStringLiteral("Stopped: the port closed"));
    });
    connect(&device, &host::Device::currentDeviceChanged, this, [this] {
        sinceBurst_.invalidate();
        if (running_) stop(QStringLiteral("Stopped: another device became current"));
    });
    // The window closes the port on a lost line before this hears of it:
    // the loss is what the monitor then reports.
    connect(&cycle_, &host::RequestCycle::lineLost, this, [this](const QString& message) {
        if (running_ || closedUnderIt_) stop(QStringLiteral("Stopped: %1").arg(message));
    });
    connect(&cycle_, &host::RequestCycle::chunkReceived, this,
            [this](const QByteArray& chunk) { host_.guarded([&] { onChunk(chunk); }); });

    // The series the last values went to are gone with the samples.
    connect(model_, &QAbstractItemModel::modelReset, this, [this] { lastSeries_.clear(); });

    setLimits(kMilliamperes, {{4.0, QStringLiteral("4 mA")}, {20.0, QStringLiteral("20 mA")}});
    setLimits(kPercent, {{0.0, QStringLiteral("0 %")}, {100.0, QStringLiteral("100 %")}});
}

bool Monitor::start() {
    if (running_) return true;
    const host::Device& device = host_.device();
    if (!device.portOpen()) {
        setState(QStringLiteral("Open the port first"));
        return false;
    }
    if (!device.identity()) {
        setState(QStringLiteral("No device identified yet: query its address first (\"HART "
                                "Address 0 Query\" or the Network page)"));
        return false;
    }
    // Another device's values are another plot; the log keeps every row.
    if (samplesOf_ && *samplesOf_ != device.longAddress()) model_->clear();
    samplesOf_ = device.longAddress();
    running_ = true;
    ++generation_;
    tag_.clear();
    lastPollAt_.reset();
    exchanges_.clear();
    prelude_ = {Job::Tag, Job::Range};
    setState(QStringLiteral("Polling"));
    emit runningChanged(true);
    emit rateChanged(rateText());
    tick_->start(0);
    return true;
}

void Monitor::stop(const QString& why) {
    tick_->stop();
    const bool was = running_;
    running_ = false;
    ++generation_;
    setState(why);
    if (was) emit runningChanged(false);
}

void Monitor::setSource(MonitorSource source) {
    source_ = source;
}

void Monitor::setInterval(int ms) {
    interval_ = std::clamp(ms, kShortestIntervalMs, kLongestIntervalMs);
    emit rateChanged(rateText());
    // A shorter interval takes effect now, not after the longer one ran out.
    if (running_ && tick_->isActive() && prelude_.empty()) scheduleNext();
}

std::optional<int> Monitor::exchangeMs() const {
    if (exchanges_.empty()) return std::nullopt;
    std::vector<int> sorted(exchanges_.begin(), exchanges_.end());
    std::ranges::sort(sorted);
    return sorted[sorted.size() / 2];
}

int Monitor::effectiveInterval() const {
    const auto exchange = exchangeMs();
    return exchange ? std::max(interval_, *exchange + kBreathMs) : interval_;
}

QString Monitor::rateText() const {
    const int every = effectiveInterval();
    QString text = QStringLiteral("Every %1").arg(durationText(every));
    if (every > interval_)
        text +=
            QStringLiteral(": one exchange takes %1 on this line").arg(durationText(*exchangeMs()));
    return text;
}

bool Monitor::bursting() const {
    if (!sinceBurst_.isValid()) return false;
    return sinceBurst_.elapsed() < std::max(kBurstQuietMs, kBurstGapsWaited * burstGap_);
}

void Monitor::setState(const QString& text) {
    if (text == state_) return;
    state_ = text;
    emit stateChanged(text);
}

void Monitor::setLimits(std::uint8_t unit, const QList<Limit>& limits) {
    limits_[unit] = limits;
    emit limitsChanged(unit, limits);
}

QString Monitor::blockedBy() const {
    if (host_.requestsHeld()) return QStringLiteral("a network scan has the line");
    if (host_.discoveryTimer()->isActive()) return QStringLiteral("the address query cycle runs");
    if (cycle_.pageAwaiting()) return QStringLiteral("a page awaits its reply");
    if (cycle_.asking()) return QStringLiteral("another background request is under way");
    return {};
}

void Monitor::onTick() {
    if (!running_) return;
    if (!host_.device().portOpen()) {
        stop(QStringLiteral("Stopped: the port closed"));
        return;
    }
    // The tag and range are asked between burst frames too; polls are not.
    if (bursting() && prelude_.empty()) {
        setState(QStringLiteral("Burst mode: taking the device's own frames (command %1), no polls")
                     .arg(burstCommand_));
        tick_->start(kRecheckMs);
        return;
    }
    if (const QString why = blockedBy(); !why.isEmpty()) {
        setState(QStringLiteral("Paused: %1").arg(why));
        tick_->start(kRecheckMs);
        return;
    }
    const Job job = prelude_.empty() ? Job::Poll : prelude_.front();
    if (!ask(job)) {
        tick_->start(kRecheckMs);
        return;
    }
    if (job == Job::Poll) {
        lastPollAt_ = clock_.elapsed();
        if (state_.startsWith(QLatin1String("Paused")) || state_.startsWith(QLatin1String("Burst")))
            setState(QStringLiteral("Polling"));
    } else {
        prelude_.erase(prelude_.begin());
    }
}

bool Monitor::ask(Job job) {
    std::uint8_t command = commandOf(source_);
    std::vector<std::uint8_t> data;
    if (job == Job::Tag) command = kTagCommand;
    if (job == Job::Range) command = kRangeCommand;
    if (job == Job::Poll && command == 9) data = monitoredVariableCodes(host_.device());
    const int generation = generation_;
    askedAt_.start();
    return cycle_.ask(
        requestFor(command), [&data](host::Payload& p) { p.bytes(data); },
        [this, job, command, generation](const host::Answer& answer) {
            if (generation != generation_ || !running_) return;
            onAnswer(job, command, answer);
        });
}

void Monitor::noteExchange(int ms) {
    exchanges_.push_back(ms);
    if (exchanges_.size() > kExchangesKept) exchanges_.pop_front();
    emit rateChanged(rateText());
}

void Monitor::onAnswer(Job job, std::uint8_t command, const host::Answer& answer) {
    if (answer.replied) noteExchange(static_cast<int>(askedAt_.elapsed()));
    const bool ok = answer.replied && answer.responseCode == hart::rc::kSuccess;
    switch (job) {
    case Job::Tag:
        if (ok && answer.data.size() >= kTagBytes)
            tag_ =
                QString::fromStdString(hart::packedAsciiToText(answer.data.data(), kTagCharacters))
                    .trimmed();
        break;
    case Job::Range:
        if (ok && answer.data.size() >= kRangeBytes) {
            const auto upper = hart::wireFloatToValue(answer.data.data() + kUpperRange);
            const auto lower = hart::wireFloatToValue(answer.data.data() + kLowerRange);
            if (std::isfinite(upper) && std::isfinite(lower))
                setLimits(answer.data[kRangeUnit], {{lower, QStringLiteral("lower range value")},
                                                    {upper, QStringLiteral("upper range value")}});
        }
        break;
    case Job::Poll:
        if (!answer.replied) {
            // A scan that takes the line ends the poll in flight: that says
            // nothing about the device.
            if (!host_.requestsHeld()) takeFailure(command, answer.failure);
        } else {
            takeReadings(command, readingsOf(command, answer.responseCode, answer.deviceStatus,
                                             answer.data));
        }
        break;
    }
    scheduleNext();
}

void Monitor::scheduleNext() {
    if (!running_) return;
    if (!prelude_.empty() || !lastPollAt_) {
        tick_->start(0);
        return;
    }
    const qint64 due = *lastPollAt_ + effectiveInterval() - clock_.elapsed();
    tick_->start(static_cast<int>(std::max<qint64>(0, due)));
}

void Monitor::takeReadings(std::uint8_t command, const Readings& readings) {
    if (!readings.failure.isEmpty()) {
        takeFailure(command, readings.failure);
        return;
    }
    const qint64 ms = QDateTime::currentMSecsSinceEpoch();
    std::vector<int> series;
    for (const Reading& r : readings.readings) {
        series.push_back(model_->add(ms, r));
        log(ms, r.variable, r.value, r.unit, r.unitText, r.status);
    }
    lastSeries_[command] = std::move(series);
    if (state_.startsWith(QLatin1String("Polling:"))) setState(QStringLiteral("Polling"));
}

void Monitor::takeFailure(std::uint8_t command, const QString& why) {
    const qint64 ms = QDateTime::currentMSecsSinceEpoch();
    const auto known = lastSeries_.find(command);
    if (known == lastSeries_.end() || known->second.empty()) {
        log(ms, QString(), std::nullopt, std::nullopt, QString(), why);
    } else {
        for (int index : known->second) {
            model_->addGap(index, ms, why);
            const Series& s = model_->series(index);
            log(ms, s.variable, std::nullopt, s.unit, s.unitText, why);
        }
    }
    setState(QStringLiteral("Polling: the last poll failed (%1)").arg(why));
}

void Monitor::log(qint64 ms, const QString& variable, std::optional<float> value,
                  std::optional<std::uint8_t> unit, const QString& unitText,
                  const QString& status) {
    log_->append({ms, hexAddress(host_.device().longAddress()), tag_, variable, value, unit,
                  unitText, status});
}

void Monitor::onChunk(const QByteArray& chunk) {
    const host::Device& device = host_.device();
    if (!device.portOpen() || !device.identity()) return;
    const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(chunk.constData()),
                                 static_cast<std::size_t>(chunk.size()));
    for (const hart::FrameSegment& segment : hart::parseFrames(bytes)) {
        const auto& f = segment.frame;
        if (!f || f->type != hart::FrameType::Burst || !f->intact() ||
            !fromDevice(*f, device.longAddress()))
            continue;
        if (sinceBurst_.isValid()) burstGap_ = sinceBurst_.elapsed();
        sinceBurst_.start();
        if (!running_ || !f->command || !monitorReads(*f->command) || f->data.size() < 2) continue;
        burstCommand_ = *f->command;
        const auto data = std::span(f->data).subspan(2);
        takeReadings(*f->command, readingsOf(*f->command, f->data[0], f->data[1], data));
    }
}

// ---- MonitorWidget

MonitorWidget::MonitorWidget(Monitor& monitor, host::PageHost& host, QWidget* parent)
    : QWidget(parent), monitor_(monitor), host_(host) {
    setObjectName(QStringLiteral("MonitorContent"));
    // The window's bold face suits its captions, not a plot and a table.
    QFont plain = font();
    plain.setBold(false);
    setFont(plain);

    start_ = makeButton("MonitorStart", QStringLiteral("Start"), this);
    stop_ = makeButton("MonitorStop", QStringLiteral("Stop"), this);
    source_ = new QComboBox(this);
    source_->setObjectName(QStringLiteral("MonitorSource"));
    for (const SourceRow& row : kSources)
        source_->addItem(QString::fromLatin1(row.text));
    source_->setCurrentIndex(static_cast<int>(monitor_.source()));
    interval_ = new QDoubleSpinBox(this);
    interval_->setObjectName(QStringLiteral("MonitorInterval"));
    interval_->setRange(Monitor::kShortestIntervalMs / 1000.0,
                        Monitor::kLongestIntervalMs / 1000.0);
    interval_->setDecimals(1);
    interval_->setSingleStep(0.5);
    interval_->setSuffix(QStringLiteral(" s"));
    interval_->setValue(monitor_.interval() / 1000.0);
    interval_->setToolTip(QStringLiteral("From 0.5 s to 1 h (3600 s); never shorter than one "
                                         "exchange on the line"));
    rate_ = new QLabel(monitor_.rateText(), this);
    rate_->setObjectName(QStringLiteral("MonitorRate"));
    state_ = new QLabel(monitor_.stateText(), this);
    state_->setObjectName(QStringLiteral("MonitorState"));
    state_->setWordWrap(true);

    auto* controls = new QHBoxLayout;
    controls->addWidget(start_);
    controls->addWidget(stop_);
    controls->addSpacing(8);
    controls->addWidget(new QLabel(QStringLiteral("Poll:"), this));
    controls->addWidget(source_);
    controls->addWidget(new QLabel(QStringLiteral("every"), this));
    controls->addWidget(interval_);
    controls->addWidget(rate_, 1);

    trend_ = new TrendView(monitor_.model(), this);
    for (const auto& [unit, limits] : monitor_.limits())
        trend_->setLimits(unit, limits);
    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("MonitorTable"));
    table_->setModel(&monitor_.model());
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    // Widths from samples of each column, taken once: a table that measured
    // its contents would do so again for every sample.
    const QFontMetrics metrics = table_->fontMetrics();
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(metrics.height() + 6);
    for (const ColumnWidth& w : kColumnWidths)
        table_->setColumnWidth(w.column, metrics.horizontalAdvance(QLatin1String(w.sample)) + 16);
    table_->horizontalHeader()->setSectionResizeMode(MonitorModel::Status, QHeaderView::Stretch);
    auto* split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(trend_);
    split->addWidget(table_);
    // The plot gets the larger share: the table's status column would take
    // all the room it is given.
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    split->setSizes({620, 380});

    live_ = makeButton("TrendLive", QStringLiteral("Live"), this);
    live_->setCheckable(true);
    live_->setChecked(trend_->live());
    live_->setToolTip(QStringLiteral("Follow the clock (End, or double-click the plot)"));
    span_ = new QComboBox(this);
    span_->setObjectName(QStringLiteral("TrendSpan"));
    for (const SpanRow& row : kSpans)
        span_->addItem(QString::fromLatin1(row.text));
    rows_ = new QLabel(this);
    rows_->setObjectName(QStringLiteral("MonitorRows"));
    auto* clear = makeButton("MonitorClear", QStringLiteral("Clear"), this);
    clear->setToolTip(QStringLiteral("Forget the samples so far (a --monitor file keeps them)"));
    auto* save = makeButton("MonitorSave", QStringLiteral("Save CSV…"), this);
    save->setToolTip(QStringLiteral("Save every sample as CSV, one row each"));
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(live_);
    bottom->addWidget(new QLabel(QStringLiteral("Show:"), this));
    bottom->addWidget(span_);
    bottom->addStretch(1);
    bottom->addWidget(rows_);
    bottom->addWidget(clear);
    bottom->addWidget(save);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(controls);
    layout->addWidget(state_);
    layout->addWidget(split, 1);
    layout->addLayout(bottom);

    const auto showSpan = [this] {
        live_->setChecked(trend_->live());
        const auto it = std::ranges::find(kSpans, trend_->span(), &SpanRow::ms);
        QSignalBlocker quiet(span_);
        span_->setCurrentIndex(it == kSpans.end() ? -1 : static_cast<int>(it - kSpans.begin()));
    };
    showSpan();
    connect(trend_, &TrendView::viewChanged, this, showSpan);
    connect(span_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) trend_->setSpan(kSpans[static_cast<std::size_t>(index)].ms);
    });
    connect(live_, &QPushButton::toggled, trend_, &TrendView::setLive);

    connect(start_, &QPushButton::clicked, this,
            [this] { host_.guarded([this] { monitor_.start(); }); });
    connect(stop_, &QPushButton::clicked, this, [this] { monitor_.stop(); });
    connect(source_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) monitor_.setSource(kSources[static_cast<std::size_t>(index)].source);
    });
    connect(interval_, &QDoubleSpinBox::valueChanged, this, [this](double seconds) {
        monitor_.setInterval(static_cast<int>(std::lround(seconds * 1000)));
    });
    connect(clear, &QPushButton::clicked, this, [this] {
        monitor_.model().clear();
        monitor_.log().clear();
    });
    connect(save, &QPushButton::clicked, this, &MonitorWidget::chooseFileAndSave);

    connect(&monitor_, &Monitor::rateChanged, rate_, &QLabel::setText);
    connect(&monitor_, &Monitor::stateChanged, state_, &QLabel::setText);
    connect(&monitor_, &Monitor::runningChanged, this, &MonitorWidget::updateButtons);
    connect(&monitor_, &Monitor::limitsChanged, trend_, &TrendView::setLimits);
    connect(&host_.device(), &host::Device::portChanged, this, &MonitorWidget::updateButtons);
    const auto showRows = [this](qint64 rows) {
        rows_->setText(rows == 1 ? QStringLiteral("1 row logged")
                                 : QStringLiteral("%1 rows logged").arg(rows));
    };
    showRows(monitor_.log().rowCount());
    connect(&monitor_.log(), &MonitorLog::rowsChanged, this, showRows);
    updateButtons();
}

void MonitorWidget::updateButtons() {
    const bool running = monitor_.running();
    start_->setEnabled(!running && host_.device().portOpen());
    stop_->setEnabled(running);
}

void MonitorWidget::chooseFileAndSave() {
    auto* dialog = new QFileDialog(this, QStringLiteral("Save the monitor's samples"));
    dialog->setObjectName(QStringLiteral("MonitorSaveDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The same dialog on every desktop, and one a test can fill in.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setNameFilters({QStringLiteral("Comma-separated values (*.csv)")});
    dialog->setDefaultSuffix(QStringLiteral("csv"));
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& path) {
        host_.guarded([&] {
            if (!monitor_.log().save(path))
                throw std::runtime_error(QStringLiteral("The samples were not saved.\n%1")
                                             .arg(monitor_.log().errorString())
                                             .toStdString());
        });
    });
    dialog->open();
}

} // namespace ops
