#include "host/widgets.h"

#include "host/bind.h"
#include "startup/list_combo.h"
#include "startup/text_widgets.h"

#include "hart/tables.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace host {

QPushButton* makeButton(const char* name, const QString& caption, QWidget* parent) {
    auto* b = new startup::TextButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

QLineEdit* makeEdit(const char* name, QWidget* parent) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    return e;
}

QComboBox* makeCombo(const char* name, const QStringList& items, QWidget* parent) {
    auto* c = new startup::ListCombo(parent);
    c->setObjectName(QString::fromLatin1(name));
    c->addItems(items);
    // Items first, the edit after: the first item, selected while filling,
    // costs no text layout in an edit that is not there yet.
    c->setCurrentIndex(-1);
    startup::makeEditableOnDemand(c);
    c->setInsertPolicy(QComboBox::NoInsert);
    return c;
}

QLabel* makeLabel(const QString& text, const char* name, QWidget* parent) {
    auto* l = new startup::TextLabel(text, parent);
    if (name) l->setObjectName(QString::fromLatin1(name));
    return l;
}

QRadioButton* makeRadio(const char* name, const QString& caption, QWidget* parent) {
    auto* r = new QRadioButton(caption, parent);
    r->setObjectName(QString::fromLatin1(name));
    return r;
}

QPushButton* Buttons::make(const char* name, const QString& caption) {
    auto* b = makeButton(name, caption);
    if (!byName_.emplace(name, b).second)
        throw std::logic_error(std::string("a second button named ") + name);
    return b;
}

QPushButton* Buttons::operator[](const char* name) const {
    const auto it = byName_.find(name);
    if (it == byName_.end())
        throw std::logic_error(std::string("a row names button ") + name +
                               " that its page did not make");
    return it->second;
}

FormGroup::FormGroup(const char* name, const QString& caption, QWidget* parent)
    : box_(new QGroupBox(caption, parent)), grid_(new QGridLayout(box_)) {
    box_->setObjectName(QString::fromLatin1(name));
}

int FormGroup::addRow(const QString& caption, std::initializer_list<QWidget*> widgets) {
    int row = rows_++;
    if (!caption.isEmpty()) grid_->addWidget(new startup::TextLabel(caption, box_), row, 0);
    int col = 1;
    for (QWidget* w : widgets) {
        if (w) grid_->addWidget(w, row, col);
        ++col;
    }
    return row;
}

int FormGroup::addWide(QWidget* w) {
    int row = rows_++;
    grid_->addWidget(w, row, 0, 1, -1);
    return row;
}

QComboBox* makeUnitCombo(const char* name, UnitForm form) {
    QStringList texts;
    for (const auto& row : hart::kUnitTable) {
        auto text = form == UnitForm::Range ? row.rangeText : row.realtimeText;
        texts << QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    }
    return makeCombo(name, texts);
}

void selectUnit(QComboBox* combo, std::uint8_t code) {
    selectIndex(combo, hart::unitPositionForCode(code));
}

void selectIndex(QComboBox* combo, int index) {
    if (index >= 0 && index < combo->count())
        combo->setCurrentIndex(index);
    else
        clearSelection(combo);
}

void clearSelection(QComboBox* combo) {
    combo->setCurrentIndex(-1);
    if (combo->isEditable()) combo->setEditText(QString());
}

QStringList pollAddressTexts() {
    QStringList texts;
    for (int address = 0; address <= 15; ++address)
        texts << QString::number(address);
    return texts;
}

std::string textOf(const QLineEdit* edit) {
    return edit->text().toStdString();
}

namespace {

class KeyFilter : public QObject {
public:
    KeyFilter(QLineEdit* edit, const hart::KeyFilterRule& rule, QPushButton* gated)
        : QObject(edit), edit_(edit), rule_(rule), gated_(gated) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != edit_ || event->type() != QEvent::KeyPress) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        char32_t ch;
        if (key->key() == Qt::Key_Backspace) {
            ch = hart::kBackspace;
        } else if (key->text().isEmpty()) {
            return false; // cursor movement and the like produce no character
        } else {
            ch = key->text().toUcs4().value(0);
        }
        auto decision = hart::keyFilter(rule_, edit_->text().toStdU32String(), ch);
        if (gated_ && decision.gateEnabled) gated_->setEnabled(*decision.gateEnabled);
        return !decision.keep;
    }

private:
    QLineEdit* edit_;
    hart::KeyFilterRule rule_;
    QPushButton* gated_;
};

} // namespace

void installKeyFilter(QLineEdit* edit, const hart::KeyFilterRule& rule, QPushButton* gated) {
    edit->installEventFilter(new KeyFilter(edit, rule, gated));
    // Paste through the context menu is not filtered, like the original form.
}

} // namespace host
