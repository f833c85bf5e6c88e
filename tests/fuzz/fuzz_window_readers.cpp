// libFuzzer: every reader of the window on any reply. One offscreen window is
// made once; each input picks a reply code that a button of the window sends
// (not the manual command, whose replies are only shown, nor a background
// read, whose reply goes to whoever asked), fills the receive
// area with older contents (a chunk that came while nothing was awaited),
// awaits the code's reply, feeds the reply chunk through the receive handler
// and lets the decode timer (Timer2) run the reader.
//
// Input: [reply code, 2 bytes big-endian][n][n reply bytes][older contents...].
// A code the window does not send picks one by its value modulo their number.
// With the code's top bit set, the harness first puts the right checksum after
// the first reply in the chunk, so that good replies are easy to reach from
// any input.
//
// Oracles, every one judged on the window's fields (the texts, selections,
// checked and enabled states of its edits, lists, labels and buttons, and the
// reply caches of the work area), the status line, the byte counter, the
// device status and the traffic log aside:
//  - a reader fills its page (and says "Upload successful!", or its own
//    success text) only when the received bytes hold a whole long or short
//    reply whose checksum is right, and says no success otherwise; the
//    generic "Write successful!" only when the first long reply received is
//    whole, right, and has response code 0;
//  - a read that fails leaves the fields exactly as its failure step leaves
//    them when no reply came at all, and its status is its failure text,
//    alone or with the cause after it; a write result changes no field;
//  - what the window shows never depends on older bytes past the reception:
//    the same reply over inverted older contents gives the same fields and
//    the same verdict;
//  - no reader throws (an error box would appear).

#include "app/main_window.h"
#include "hart/link_buffer.h"
#include "hart/protocol.h"
#include "host/reply_codes.h"
#include "host/request_cycle.h"
#include "host/status_texts.h"
#include "tests/fuzz/check.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

using fuzz::check;

namespace {

using Bytes = std::vector<std::uint8_t>;

// What the window shows: one entry per field, in a fixed order.
struct Shown {
    std::vector<QString> fields;
    hart::LinkBuffer buffer{};
    QString status;
    bool decoded = false; // the reader filled its page (whatever its success text)
};

// One field of the window, read and put back.
struct Field {
    QWidget* widget;
    QString name() const {
        QString n = widget->objectName();
        if (n.isEmpty() && widget->parentWidget())
            n = widget->parentWidget()->objectName() + QStringLiteral("/") +
                QString::fromLatin1(widget->metaObject()->className());
        return n;
    }
    QString read() const {
        const QString enabled = widget->isEnabled() ? QStringLiteral("") : QStringLiteral(" [off]");
        if (auto* e = qobject_cast<QLineEdit*>(widget)) return e->text() + enabled;
        if (auto* c = qobject_cast<QComboBox*>(widget))
            return QStringLiteral("#%1 %2").arg(c->currentIndex()).arg(c->currentText()) + enabled;
        if (auto* l = qobject_cast<QLabel*>(widget)) return l->text();
        auto* b = qobject_cast<QAbstractButton*>(widget);
        return (b->isCheckable() && b->isChecked() ? QStringLiteral("checked") : QString()) +
               enabled;
    }
};

bool inTrafficDock(const QWidget* w) {
    for (; w; w = w->parentWidget())
        if (w->objectName() == QStringLiteral("TrafficDock")) return true;
    return false;
}

class Rig {
public:
    Rig() {
        form_.setAttribute(Qt::WA_DontShowOnScreen);
        decodeTimer_ = form_.findChild<QTimer*>(QStringLiteral("Timer2"));
        check(decodeTimer_ != nullptr, "the window has its decode timer");
        // The decoder still runs only from Timer2's timeout, without the 100 ms wait.
        decodeTimer_->setInterval(0);
        runDecoder();

        for (QWidget* w : form_.findChildren<QWidget*>()) {
            const QString name = w->objectName();
            // The byte counter and the status line change with every reply,
            // and the device status and the traffic log follow every chunk
            // received, awaited or not (older contents included): none of
            // them is a reader's field.
            if (name == QStringLiteral("Label67") || name == QStringLiteral("Label68") ||
                name == QStringLiteral("DeviceStatus") || inTrafficDock(w))
                continue;
            // The HART 7 device page's notes say under each group what the
            // status line says: status text, not a reader's field.
            if (qobject_cast<QLabel*>(w) && name.endsWith(QStringLiteral("Note"))) continue;
            // A list's own edit field is the list's text.
            if (qobject_cast<QLineEdit*>(w) && qobject_cast<QComboBox*>(w->parentWidget()))
                continue;
            if (qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) ||
                qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w))
                fields_.push_back({w});
        }
        QObject::connect(&form_.cycle(), &host::RequestCycle::replyDecoded, &form_,
                         [this](int) { decoded_ = true; });
        // Replies the manual command shows, and those handed to whoever asked
        // in the background (the monitor, a configuration read), fill no
        // page of their own.
        for (const host::ReplyCodeRow& row : host::replyCodes())
            if (cycle().requestedCodes().count(row.code) &&
                row.judge != host::Judge::ReceiveView && row.judge != host::Judge::Caller)
                codes_.push_back(row);

        // Every edit field holds a text no reader writes, so that a reader
        // writing a field is seen even where it would write what was there.
        for (const Field& f : fields_)
            if (auto* e = qobject_cast<QLineEdit*>(f.widget))
                e->setText(QStringLiteral("~") + e->objectName());
        baseline_ = shown();
        baseline_.status.clear();
        last_ = baseline_;
    }

    host::RequestCycle& cycle() { return form_.cycle(); }

    const host::ReplyCodeRow& pick(unsigned value) const {
        const auto it =
            std::find_if(codes_.begin(), codes_.end(),
                         [&](const host::ReplyCodeRow& r) { return r.code == int(value); });
        return it != codes_.end() ? *it : codes_[value % codes_.size()];
    }

    // The window after the reply `chunk` to `code`, over `older` contents.
    Shown answer(int code, std::span<const std::uint8_t> chunk,
                 std::span<const std::uint8_t> older) {
        restore();
        if (!older.empty()) feed(older);
        cycle().expectReply(code);
        decoded_ = false;
        feed(chunk);
        runDecoder();
        check(cycle().replyCode() == 0, "the reply was judged");
        if (auto* box = form_.findChild<QMessageBox*>(QStringLiteral("errorBox"))) {
            std::fprintf(stderr, "reply code %d: error box \"%s\"\n", code,
                         qPrintable(box->text()));
            check(false, "no reader throws");
        }
        last_ = shown();
        last_.decoded = decoded_;
        return last_;
    }

    // What the failure step of `code`'s reader leaves when no reply came.
    const Shown& missing(int code) {
        auto it = missing_.find(code);
        if (it != missing_.end()) return it->second;
        const Bytes nothing(hart::lb::kReceiveMax, 0x00);
        return missing_.emplace(code, answer(code, std::span(nothing).first(1), nothing))
            .first->second;
    }

    void report(const char* what, int code, const Shown& got, const Shown& want) const {
        std::fprintf(stderr, "reply code %d: %s\n  status \"%s\" / \"%s\"\n", code, what,
                     qPrintable(got.status), qPrintable(want.status));
        for (std::size_t i = 0; i < fields_.size(); ++i)
            if (got.fields[i] != want.fields[i])
                std::fprintf(stderr, "  %s: \"%s\" / \"%s\"\n", qPrintable(fields_[i].name()),
                             qPrintable(got.fields[i]), qPrintable(want.fields[i]));
        for (std::size_t i = hart::lb::kTransmitEnd; i < got.buffer.size(); ++i)
            if (got.buffer[i] != want.buffer[i])
                std::fprintf(stderr, "  work area byte %zu: %02X / %02X\n", i, got.buffer[i],
                             want.buffer[i]);
    }

private:
    Shown shown() {
        Shown s;
        for (const Field& f : fields_)
            s.fields.push_back(f.read());
        s.buffer = cycle().buffer();
        // The receive and transmit areas are the reply itself, not what it left.
        std::fill_n(s.buffer.begin(), hart::lb::kTransmitEnd, 0);
        s.status = cycle().status();
        return s;
    }

    void feed(std::span<const std::uint8_t> bytes) {
        cycle().onReceiveData(bytes.data(), static_cast<std::uint16_t>(bytes.size()));
    }

    void runDecoder() {
        for (int i = 0; i < 1000 && decodeTimer_->isActive(); ++i)
            QCoreApplication::processEvents();
        check(!decodeTimer_->isActive(), "the decode timer runs");
    }

    // Back to the baseline: fields, selections, the work area, the status line.
    // Only the fields the last reply changed are touched.
    void restore() {
        for (std::size_t i = 0; i < fields_.size(); ++i) {
            QWidget* w = fields_[i].widget;
            const QSignalBlocker quiet(w);
            const QString& want = baseline_.fields[i];
            if (last_.fields[i] == want) continue;
            const bool enabled = !want.endsWith(QStringLiteral(" [off]"));
            const QString value = enabled ? want : want.chopped(6);
            if (auto* e = qobject_cast<QLineEdit*>(w)) {
                e->setText(value);
            } else if (auto* c = qobject_cast<QComboBox*>(w)) {
                const qsizetype space = value.indexOf(QLatin1Char(' '));
                c->setCurrentIndex(value.mid(1, space - 1).toInt());
                if (c->isEditable()) c->setEditText(value.mid(space + 1));
            } else if (auto* l = qobject_cast<QLabel*>(w)) {
                l->setText(value);
            } else if (auto* b = qobject_cast<QAbstractButton*>(w); b && b->isCheckable()) {
                b->setChecked(value.startsWith(QStringLiteral("checked")));
            }
            w->setEnabled(enabled);
        }
        cycle().buffer() = baselineBuffer_;
        cycle().setStatus(QString());
        check(cycle().replyCode() == 0 && !decodeTimer_->isActive(), "the window is idle");
    }

    int argc_ = 1;
    char name_[24] = "fuzz_window_readers";
    char* argv_[2] = {name_, nullptr};
    QApplication app_{argc_, argv_};
    TForm1 form_;
    QTimer* decodeTimer_ = nullptr;
    std::vector<Field> fields_;
    std::vector<host::ReplyCodeRow> codes_;
    Shown baseline_;
    Shown last_; // what the last reply left
    hart::LinkBuffer baselineBuffer_ = form_.cycle().buffer();
    std::map<int, Shown> missing_;
    bool decoded_ = false;
};

Rig* rig = nullptr;

// A whole reply with the right checksum whose anchor is at `k`.
bool goodReplyAt(std::span<const std::uint8_t> r, std::size_t k) {
    if (k + 1 >= r.size() || r[k] != hart::kPreamble) return false;
    const std::uint8_t delimiter = r[k + 1];
    if (delimiter != hart::kLongReply && delimiter != hart::kShortReply) return false;
    const std::size_t countAt = k + (delimiter == hart::kLongReply ? 8 : 4);
    if (countAt >= r.size() || r[countAt] < 2) return false;
    const std::size_t checksumAt = countAt + 1 + r[countAt];
    if (checksumAt >= r.size()) return false;
    std::uint8_t x = 0;
    for (std::size_t i = k + 1; i <= checksumAt; ++i)
        x ^= r[i];
    return x == 0;
}

bool holdsGoodReply(std::span<const std::uint8_t> r) {
    for (std::size_t k = 0; k < r.size(); ++k)
        if (goodReplyAt(r, k)) return true;
    return false;
}

// The first long reply in the reception is whole, right and reports success.
bool firstLongReplySucceeded(std::span<const std::uint8_t> r) {
    for (std::size_t k = 0; k + 4 <= r.size(); ++k)
        if (r[k] == hart::kPreamble && r[k + 1] == hart::kLongReply)
            return goodReplyAt(r, k) && r[k + 9] == hart::rc::kSuccess;
    return false;
}

// The right checksum after the first long or short reply of `r`, where it fits.
void repairChecksum(std::span<std::uint8_t> r) {
    for (std::size_t k = 0; k + 1 < r.size(); ++k) {
        if (r[k] != hart::kPreamble ||
            (r[k + 1] != hart::kLongReply && r[k + 1] != hart::kShortReply))
            continue;
        const std::size_t countAt = k + (r[k + 1] == hart::kLongReply ? 8 : 4);
        if (countAt >= r.size()) return;
        const std::size_t checksumAt = countAt + 1 + r[countAt];
        if (checksumAt >= r.size()) return;
        std::uint8_t x = 0;
        for (std::size_t i = k + 1; i < checksumAt; ++i)
            x ^= r[i];
        r[checksumAt] = x;
        return;
    }
}

bool sameWindow(const Shown& a, const Shown& b) {
    return a.fields == b.fields && a.buffer == b.buffer;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    rig = new Rig;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return -1;
    const host::ReplyCodeRow& row =
        rig->pick(static_cast<unsigned>((data[0] & 0x7F) << 8 | data[1]));
    const std::span<const std::uint8_t> rest(data + 3, size - 3);
    const std::size_t n = std::clamp<std::size_t>(data[2], 1, rest.size());
    Bytes reply(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(n));
    if (data[0] & 0x80) repairChecksum(reply);
    const std::span<const std::uint8_t> chunk(reply);
    const auto older =
        rest.subspan(n).first(std::min<std::size_t>(rest.size() - n, hart::lb::kReceiveMax));
    // What the receive area holds: the handler keeps at most 255 bytes.
    const auto received = chunk.first(std::min<std::size_t>(n, hart::lb::kReceiveMax));

    const Shown& missing = rig->missing(row.code);
    const Shown got = rig->answer(row.code, chunk, older);
    // FUZZ_WINDOW_VERBOSE=1 names what each input did, for reading a reproducer.
    static const bool verbose = qEnvironmentVariableIsSet("FUZZ_WINDOW_VERBOSE");
    if (verbose)
        std::fprintf(stderr, "reply code %d, %zu bytes over %zu older: \"%s\"\n", row.code,
                     chunk.size(), older.size(), qPrintable(got.status));

    // The same reply over every older byte inverted (zeros where none came).
    Bytes inverted(hart::lb::kReceiveMax, 0xFF);
    for (std::size_t i = 0; i < older.size(); ++i)
        inverted[i] = static_cast<std::uint8_t>(~older[i]);
    const Shown other = rig->answer(row.code, chunk, inverted);
    if (!sameWindow(got, other)) {
        rig->report("older bytes changed what is shown", row.code, got, other);
        check(false, "what the window shows depends only on the bytes received");
    }

    const bool write = row.judge != host::Judge::Reader;
    if (write) {
        if (!sameWindow(got, missing)) {
            rig->report("a write result changed a field", row.code, got, missing);
            check(false, "a write result changes no field");
        }
        check(got.status == other.status, "older bytes never change a write result");
        if (got.status == QLatin1String("Write successful!"))
            check(firstLongReplySucceeded(received),
                  "\"Write successful!\" only for a whole, right reply with code 0");
        return 0;
    }

    // Shown: the reader filled its page and said so ("Upload successful!",
    // or a write's "Write successful!", with a warning's meaning after it).
    const bool success = got.decoded;
    check(success == other.decoded, "older bytes never change whether a reply is shown");
    if (success) {
        check(holdsGoodReply(received), "a reply is shown only when it is whole and right");
        return 0;
    }
    check(!got.status.contains(QStringLiteral("successful")),
          "a reply not shown never says it was successful");
    if (!sameWindow(got, missing)) {
        rig->report("a failed reply changed a field", row.code, got, missing);
        check(false, "a failed reply leaves the fields as a missing reply does");
    }
    check(got.status == missing.status ||
              got.status.startsWith(missing.status + QStringLiteral(" (")),
          "a failed reply shows its failure text, with the cause after it");
    return 0;
}
