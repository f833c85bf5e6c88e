// "Configuration": the current device's settings as a file. Save reads every
// setting and writes the file; Compare reads the device again and shows
// setting by setting what differs from a file; Restore writes what differs,
// after a question listing it, and reads back what took; the report is a PDF
// to sign. Each action is also reachable without a file dialog, through the
// page's ConfigurationFiles object (for scripts and tests).
#include "ops/ops.h"

#include "hart/names.h"
#include "host/device.h"
#include "host/reply_codes.h"
#include "host/request_cycle.h"
#include "host/widgets.h"
#include "ops/configuration.h"
#include "ops/configuration_report.h"
#include "ops/configuration_session.h"

#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QTableWidget>

#include <map>
#include <optional>

namespace ops {

namespace {

enum Column { Setting, InFile, OnDevice, Differs, Result };
constexpr const char* kColumns[] = {"Setting", "In the file", "On the device", "Differs",
                                    "Restore"};

// Requests that trim or zero the device: what the report lists as changes.
struct Trim {
    std::uint8_t command;
    const char* what;
};
constexpr Trim kTrims[] = {
    {36, "upper range value set from the process"}, {37, "lower range value set from the process"},
    {43, "primary variable zeroed"},               {45, "loop current trimmed at 4 mA"},
    {46, "loop current trimmed at 20 mA"},          {130, "display adjusted at the high point"},
    {131, "display adjusted at the low point"},
};

QString toolText() {
    return QStringLiteral("rx460k " PROJECT_VERSION);
}

} // namespace

// The page's actions, by path.
class ConfigurationFiles : public QObject {
    Q_OBJECT
public:
    ConfigurationFiles(host::PageHost& host, QTableWidget* table, QLabel* summary)
        : QObject(table), host_(host), cycle_(host.cycle()),
          session_(host.cycle(), toolText(), this), table_(table), summary_(summary) {
        setObjectName(QStringLiteral("ConfigurationFiles"));
        connect(&session_, &config::Session::progressed, this,
                [this](const QString& what) { say(what + QStringLiteral("...")); });
        connect(&cycle_, &host::RequestCycle::frameSent, this, &ConfigurationFiles::noteTrimSent);
        connect(&cycle_, &host::RequestCycle::replyDecoded, this,
                &ConfigurationFiles::noteTrimDone);
    }

    // Each starts reading the device and returns; finished() says how it
    // ended. False when another action runs or the port is closed.
    Q_INVOKABLE bool save(const QString& path) {
        if (!ready()) return false;
        session_.read([this, path](const config::Session::Read& read) {
            if (!readOk(read)) return;
            const auto& c = std::get<config::Configuration>(read);
            QSaveFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(config::toFile(c)) < 0 ||
                !file.commit()) {
                fail(QStringLiteral("The configuration was not saved: %1: %2")
                         .arg(path, file.errorString()));
                return;
            }
            int refused = 0;
            for (const auto& s : c.settings)
                refused += !s.bytes;
            done(QStringLiteral("Configuration saved to %1 (%2 settings; %3 not read from the "
                                "device)")
                     .arg(path)
                     .arg(c.settings.size() - static_cast<std::size_t>(refused))
                     .arg(refused));
        });
        return true;
    }

    Q_INVOKABLE bool compare(const QString& path) {
        const auto file = load(path);
        if (!file || !ready()) return false;
        session_.read([this, path, file = *file](const config::Session::Read& read) {
            if (!readOk(read)) return;
            const auto& device = std::get<config::Configuration>(read);
            const auto differences = config::compare(file, device);
            show(differences, {});
            int differing = 0;
            for (const auto& d : differences)
                differing += d.differs;
            done(differing == 0 ? QStringLiteral("The device holds what %1 holds.").arg(path)
                                : QStringLiteral("%1 of %2 settings differ from %3.")
                                      .arg(differing)
                                      .arg(differences.size())
                                      .arg(path));
        });
        return true;
    }

    Q_INVOKABLE bool restore(const QString& path) {
        const auto file = load(path);
        if (!file || !ready()) return false;
        session_.read([this, file = *file](const config::Session::Read& read) {
            if (!readOk(read)) return;
            const auto& device = std::get<config::Configuration>(read);
            show(config::compare(file, device), {});
            if (config::fromAnotherDevice(file, device)) {
                host_.confirm("ForeignFileQuestion",
                              QStringLiteral("The file was saved from another device (%1); the "
                                             "device here is %2. Restore its settings to this "
                                             "device anyway?")
                                  .arg(config::longAddressText(file.longAddress),
                                       config::identityText(device)),
                              QStringLiteral("Continue"), [this, file, device] {
                                  askRestore(file, device);
                              });
                idle(QStringLiteral("Nothing sent yet: the file is from another device."));
                return;
            }
            askRestore(file, device);
        });
        return true;
    }

    Q_INVOKABLE bool printReport(const QString& path) {
        if (!ready()) return false;
        session_.read([this, path](const config::Session::Read& read) {
            if (!readOk(read)) return;
            const auto& now = std::get<config::Configuration>(read);
            config::ReportContent content{now, asFoundOf(now), changes_};
            QString error;
            if (!config::writeReport(path, content, &error)) {
                fail(QStringLiteral("The report was not written: %1").arg(error));
                return;
            }
            done(QStringLiteral("Configuration report written to %1").arg(path));
        });
        return true;
    }

    bool running() const { return session_.busy(); }

signals:
    // An action ended; `message` is what the status line then shows.
    void finished(const QString& message);

private:
    bool ready() {
        if (session_.busy()) return false;
        if (!host_.device().portOpen()) {
            host_.tell(QStringLiteral("Open the port first: the configuration is read from the "
                                      "device."));
            return false;
        }
        return true;
    }

    std::optional<config::Configuration> load(const QString& path) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            refuse(QStringLiteral("%1: %2").arg(path, f.errorString()));
            return std::nullopt;
        }
        auto parsed = config::fromFile(f.readAll());
        if (auto* why = std::get_if<QString>(&parsed)) {
            refuse(QStringLiteral("%1\nNothing was sent to the device.").arg(*why));
            return std::nullopt;
        }
        return std::get<config::Configuration>(parsed);
    }

    bool readOk(const config::Session::Read& read) {
        if (const auto* why = std::get_if<QString>(&read)) {
            fail(*why);
            return false;
        }
        // The first reading of a device in this run is how it was found.
        const auto& c = std::get<config::Configuration>(read);
        asFound_.try_emplace(config::longAddressText(c.longAddress), c);
        return true;
    }

    std::optional<config::Configuration> asFoundOf(const config::Configuration& now) const {
        const auto it = asFound_.find(config::longAddressText(now.longAddress));
        if (it == asFound_.end() || config::toFile(it->second) == config::toFile(now))
            return std::nullopt;
        return it->second;
    }

    void askRestore(const config::Configuration& file, const config::Configuration& device) {
        const auto plan = config::restorePlan(file, device);
        if (plan.empty()) {
            done(QStringLiteral("Nothing to restore: the device holds every writable setting "
                                "the file holds."));
            return;
        }
        QStringList lines;
        for (const auto& d : config::compare(file, device))
            if (d.differs && d.writable)
                lines << QStringLiteral("%1: %2 → %3").arg(d.name, d.deviceText, d.fileText);
        host_.confirm("RestoreQuestion",
                      QStringLiteral("Write these settings to the device?\n\n%1")
                          .arg(lines.join(u'\n')),
                      QStringLiteral("Write"), [this, file, device, plan] {
                          if (!ready()) return;
                          session_.restore(plan, [this, file, device](
                                                     const auto& results,
                                                     const config::Session::Read& back) {
                              restored(file, device, results, back);
                          });
                      });
        idle(QStringLiteral("%1 settings differ; nothing written yet.").arg(lines.size()));
    }

    void restored(const config::Configuration& file, const config::Configuration& before,
                  const std::vector<config::Session::WriteResult>& results,
                  const config::Session::Read& back) {
        std::map<QString, QString> outcome;
        int took = 0;
        for (const auto& r : results) {
            took += r.took;
            for (const QString& key : r.write.keys)
                outcome[key] = r.took ? QStringLiteral("took") : r.answer;
        }
        if (!readOk(back)) return;
        const auto& after = std::get<config::Configuration>(back);
        // Restored settings that read back as in the file took; the rest say
        // what the device answered.
        const auto differences = config::compare(file, after);
        for (const auto& d : differences) {
            auto it = outcome.find(d.key);
            if (it != outcome.end() && it->second == QLatin1String("took") && d.differs)
                it->second = QStringLiteral("written, but reads back otherwise");
        }
        show(differences, outcome);
        for (const auto& d : config::compare(before, after))
            if (d.differs)
                changes_ << QStringLiteral("%1 restored: %2 → %3 (%4)")
                                .arg(d.name, d.fileText, d.deviceText,
                                     QDateTime::currentDateTime().toString(
                                         QStringLiteral("yyyy-MM-dd hh:mm:ss")));
        done(QStringLiteral("Restore: %1 of %2 writes took.").arg(took).arg(results.size()));
    }

    void show(const std::vector<config::Difference>& differences,
              const std::map<QString, QString>& outcome) {
        table_->setRowCount(0);
        for (const auto& d : differences) {
            const int row = table_->rowCount();
            table_->insertRow(row);
            const QString result = outcome.count(d.key) ? outcome.at(d.key) : QString();
            const QString cells[] = {d.name, d.fileText, d.deviceText,
                                     d.differs ? QStringLiteral("≠") : QString(), result};
            for (int col = 0; col < static_cast<int>(std::size(cells)); ++col) {
                auto* item = new QTableWidgetItem(cells[col]);
                if (d.differs) item->setForeground(QColor(0xa0, 0x10, 0x10));
                table_->setItem(row, col, item);
            }
        }
    }

    void noteTrimSent(const QByteArray& frame) {
        pendingTrim_.reset();
        // A long request: preambles, delimiter 0x82, five address bytes, command.
        const qsizetype delimiter = frame.indexOf(char(0x82));
        if (delimiter < 0 || frame.size() < delimiter + 7) return;
        const auto command = static_cast<std::uint8_t>(frame[delimiter + 6]);
        for (const Trim& t : kTrims)
            if (t.command == command) pendingTrim_ = t;
    }

    void noteTrimDone(int replyCode) {
        if (!pendingTrim_ || replyCode == host::kBackgroundReply) return;
        changes_ << QStringLiteral("%1: %2 (%3)")
                        .arg(QString::fromStdString(hart::commandInWords(pendingTrim_->command)),
                             QString::fromLatin1(pendingTrim_->what),
                             QDateTime::currentDateTime().toString(
                                 QStringLiteral("yyyy-MM-dd hh:mm:ss")));
        pendingTrim_.reset();
    }

    void say(const QString& text) {
        summary_->setText(text);
        cycle_.setStatus(text);
    }
    void idle(const QString& text) { say(text); }
    void done(const QString& text) {
        say(text);
        emit finished(text);
    }
    void fail(const QString& text) {
        say(text);
        host_.tell(text);
        emit finished(text);
    }
    void refuse(const QString& text) {
        host_.tell(text);
        emit finished(text);
    }

    host::PageHost& host_;
    host::RequestCycle& cycle_;
    config::Session session_;
    QTableWidget* table_;
    QLabel* summary_;
    std::map<QString, config::Configuration> asFound_; // by long address
    QStringList changes_;
    std::optional<Trim> pendingTrim_;
};

void buildConfiguration(host::PageHost& host) {
    auto* table = new QTableWidget(0, static_cast<int>(std::size(kColumns)));
    table->setObjectName(QStringLiteral("ConfigDiffTable"));
    QStringList headers;
    for (const char* c : kColumns)
        headers << QString::fromUtf8(c);
    table->setHorizontalHeaderLabels(headers);
    table->verticalHeader()->setVisible(false);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Most of the settings in view at once: the page is as tall as the
    // tallest other page.
    table->setMinimumSize(820, 430);
    auto* summary = host::makeLabel(QString(), "ConfigurationSummary");
    summary->setWordWrap(true);

    auto* files = new ConfigurationFiles(host, table, summary);
    const auto button = [&host](const char* name, const QString& caption) {
        auto* b = host::makeButton(name, caption);
        host.portDependent(b);
        return b;
    };
    auto* save = button("SaveConfiguration", QStringLiteral("Save configuration…"));
    auto* compare = button("CompareConfiguration", QStringLiteral("Compare with file…"));
    auto* restore = button("RestoreConfiguration", QStringLiteral("Restore from file…"));
    auto* report = button("PrintReport", QStringLiteral("Print report…"));
    const QString filter = QStringLiteral("Configuration files (*.json)");
    host.onClick(save, [files, save, filter] {
        const QString path = QFileDialog::getSaveFileName(
            save->window(), QStringLiteral("Save configuration"),
            QStringLiteral("configuration-%1.json")
                .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmm"))),
            filter);
        if (!path.isEmpty()) files->save(path);
    });
    host.onClick(compare, [files, compare, filter] {
        const QString path = QFileDialog::getOpenFileName(
            compare->window(), QStringLiteral("Compare with configuration file"), {}, filter);
        if (!path.isEmpty()) files->compare(path);
    });
    host.onClick(restore, [files, restore, filter] {
        const QString path = QFileDialog::getOpenFileName(
            restore->window(), QStringLiteral("Restore from configuration file"), {}, filter);
        if (!path.isEmpty()) files->restore(path);
    });
    host.onClick(report, [files, report] {
        const QString path = QFileDialog::getSaveFileName(
            report->window(), QStringLiteral("Configuration report"),
            QStringLiteral("configuration-report.pdf"), QStringLiteral("PDF (*.pdf)"));
        if (!path.isEmpty()) files->printReport(path);
    });

    host::FormGroup group("GroupBoxConfiguration",
                          QStringLiteral("The Current Device's Configuration"));
    auto* actions = new QWidget;
    auto* row = new QHBoxLayout(actions);
    row->setContentsMargins(0, 0, 0, 0);
    for (QPushButton* b : {save, compare, restore, report})
        row->addWidget(b);
    row->addStretch(1);
    group.addWide(actions);
    group.addWide(summary);
    group.addWide(table);
    host.place(host::Page::Configuration, group.box(), 0, 0);
}

} // namespace ops

#include "configuration_page.moc"
