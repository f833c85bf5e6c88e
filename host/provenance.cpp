#include "host/provenance.h"

#include "host/widgets.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <stdexcept>

namespace host {

Provenance::Provenance(QObject* parent) : QObject(parent) {}

void Provenance::watch(QWidget* root) {
    const auto add = [this](QWidget* w) { watched_.emplace_back(w); };
    for (auto* combo : root->findChildren<QComboBox*>())
        add(combo);
    for (auto* edit : root->findChildren<QLineEdit*>()) {
        // A list's own edit field goes with its list.
        if (qobject_cast<QComboBox*>(edit->parentWidget())) continue;
        add(edit);
        // Typing gives textEdited and textChanged, any other change only
        // textChanged; which of the two comes first does not matter, since
        // the text typed is kept with the field.
        connect(edit, &QLineEdit::textEdited, this,
                [this, edit](const QString& text) { typed_[edit] = text; });
        connect(edit, &QLineEdit::textChanged, this, [this, edit](const QString& text) {
            if (auto it = typed_.find(edit); it != typed_.end() && it->second != text)
                typed_.erase(it);
        });
    }
    for (auto* label : root->findChildren<QLabel*>())
        add(label);
    for (auto* view : root->findChildren<QPlainTextEdit*>())
        add(view);
}

bool Provenance::typedByUser(const QLineEdit* field) const {
    return typed_.count(field) != 0;
}

Provenance::Snapshot Provenance::snapshotOf(QWidget* widget) const {
    Snapshot s{widget, {}, -1};
    if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        s.index = combo->currentIndex();
        s.text = combo->currentText();
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        s.text = edit->text();
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        s.text = label->text();
    } else if (auto* view = qobject_cast<QPlainTextEdit*>(widget)) {
        s.text = view->toPlainText();
    }
    return s;
}

void Provenance::beginFill() {
    filling_ = true;
    before_.clear();
    before_.reserve(watched_.size());
    for (const auto& w : watched_)
        if (w) before_.push_back(snapshotOf(w));
    // A list a reply selects counts even when the item was chosen already.
    setSelectionObserver([this](QComboBox* combo) { filled_.insert(combo); });
}

void Provenance::endFill() {
    setSelectionObserver(nullptr);
    for (const Snapshot& was : before_) {
        if (!was.widget) continue;
        const Snapshot now = snapshotOf(was.widget);
        if (now.text != was.text || now.index != was.index) filled_.insert(was.widget);
    }
    before_.clear();
    filling_ = false;
}

void Provenance::clearReplyFilled() {
    for (const auto& w : watched_) {
        if (!w || !filled_.count(w)) continue;
        if (auto* combo = qobject_cast<QComboBox*>(w))
            clearSelection(combo);
        else if (auto* edit = qobject_cast<QLineEdit*>(w))
            edit->clear();
        else if (auto* label = qobject_cast<QLabel*>(w))
            label->clear();
        else if (auto* view = qobject_cast<QPlainTextEdit*>(w))
            view->clear();
    }
}

void Keep::field(const QLineEdit* field, int readBy) {
    if (field->text().isEmpty() && !p_.typedByUser(field) && !p_.wasRead(readBy)) missing_ = true;
}

void Keep::list(const QComboBox* list, int readBy) {
    if (list->currentIndex() < 0 && !p_.wasRead(readBy)) missing_ = true;
}

void Keep::orRefuse(const QString& why) const {
    if (missing_) throw std::runtime_error(why.toStdString());
}

QString keepRefusal(const QString& what, const QString& held) {
    return QStringLiteral("Nothing sent: SET writes %1 together. Press Query first, so that the "
                          "%2 the device holds are kept.")
        .arg(what, held);
}

} // namespace host
