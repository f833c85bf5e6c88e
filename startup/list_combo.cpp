#include "startup/list_combo.h"

#include <QCompleter>
#include <QCoreApplication>
#include <QEvent>
#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QLineEdit>
#include <QPointer>
#include <QStyle>
#include <QStyleOptionComboBox>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <utility>
#include <vector>

namespace startup {

namespace {

// The width QComboBox gives the widest of `texts` in `font`, measured once
// for every list that shows the same items in the same font.
int widestText(const QStringList& texts, const QFont& font) {
    // By the font's key, not the font: no QFont outlives the application.
    static QHash<QStringList, std::vector<std::pair<QString, int>>> measured;
    auto& widths = measured[texts];
    const QString key = font.key();
    for (const auto& [k, width] : widths)
        if (k == key) return width;
    const QFontMetrics fm(font);
    // Measuring an item shapes it; most items are far narrower than the
    // widest. An item is no wider than the advances of its characters one by
    // one, plus what kerning or a glyph's overhang may add, which `slack`
    // covers many times over. Items are measured widest bound first, until
    // no bound left reaches the widest width measured.
    const int slack = 2 * fm.maxWidth();
    QHash<char16_t, int> advances;
    std::vector<std::pair<int, qsizetype>> bounds; // bound, item
    bounds.reserve(static_cast<std::size_t>(texts.size()));
    for (qsizetype i = 0; i < texts.size(); ++i) {
        int bound = slack;
        for (const QChar c : texts[i]) {
            // Only characters that stand alone: no surrogates, no marks.
            if (c.isSurrogate() || c.isMark() || c.unicode() < 0x20) {
                bound = std::numeric_limits<int>::max();
                break;
            }
            auto found = advances.constFind(c.unicode());
            if (found == advances.cend())
                found = advances.insert(c.unicode(), std::max(0, fm.horizontalAdvance(c)));
            bound += *found;
        }
        bounds.emplace_back(bound, i);
    }
    std::sort(bounds.begin(), bounds.end(), std::greater<>());
    int widest = -1;
    for (const auto& [bound, i] : bounds) {
        if (bound < widest) break;
        widest = std::max(widest, fm.boundingRect(texts[i]).width());
    }
    widths.emplace_back(key, widest);
    return widest;
}

// Until the list's first focus or key: then it makes the completer that
// QComboBox::setLineEdit would have made at once, and goes.
class CompleterOnDemand final : public QObject {
public:
    explicit CompleterOnDemand(QComboBox* combo) : QObject(combo), combo_(combo) {
        combo->installEventFilter(this);
        if (combo->lineEdit()) combo->lineEdit()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::FocusIn:
        case QEvent::KeyPress:
        case QEvent::InputMethod:
            makeCompleter(event->type() == QEvent::FocusIn);
            break;
        default:
            break;
        }
        return false;
    }

private:
    void makeCompleter(bool focusComing) {
        combo_->removeEventFilter(this);
        QLineEdit* edit = combo_->lineEdit();
        if (edit) edit->removeEventFilter(this);
        // A list made read-only meanwhile has no edit and needs no completer.
        if (edit && !edit->completer()) {
            auto* completer = new QCompleter(combo_->model(), edit);
            completer->setCaseSensitivity(Qt::CaseInsensitive);
            completer->setCompletionMode(QCompleter::InlineCompletion);
            completer->setCompletionColumn(combo_->modelColumn());
            combo_->setCompleter(completer);
            // The edit, which has the focus already, has just connected to
            // the completer; it connects again when the focus event reaches
            // it, right after this, and would then take every completion
            // twice. A completer made before the focus is connected once.
            if (focusComing) QObject::disconnect(completer, nullptr, edit, nullptr);
        }
        deleteLater();
    }

    QComboBox* combo_;
};

// Stands in while QComboBox::setLineEdit runs, so that it does not make a
// completer of its own; one for the whole application.
QCompleter* placeholderCompleter() {
    static QPointer<QCompleter> placeholder;
    if (!placeholder) placeholder = new QCompleter(QCoreApplication::instance());
    return placeholder;
}

} // namespace

ListCombo::ListCombo(QWidget* parent) : QComboBox(parent) {}

QSize ListCombo::sizeHint() const {
    return hintFor(false);
}

QSize ListCombo::minimumSizeHint() const {
    return hintFor(true);
}

QSize ListCombo::hintFor(bool minimum) const {
    // QComboBox measures every item for its size hint, and for its minimum
    // size hint too unless a minimum contents length stands in; the rest of
    // its computation follows here unchanged. Lists it would not measure, or
    // with an icon on an item, keep QComboBox's own computation.
    auto own = [this, minimum] {
        return minimum ? QComboBox::minimumSizeHint() : QComboBox::sizeHint();
    };
    if (sizeAdjustPolicy() == AdjustToMinimumContentsLengthWithIcon ||
        (minimum && minimumContentsLength() > 0))
        return own();
    QStringList texts;
    texts.reserve(count());
    for (int i = 0; i < count(); ++i) {
        if (!itemIcon(i).isNull()) return own();
        texts << itemText(i);
    }

    const QFontMetrics fm = fontMetrics();
    QSize size;
    size.setWidth(texts.isEmpty() ? 7 * fm.horizontalAdvance(QLatin1Char('x'))
                                  : widestText(texts, font()));
    if (minimumContentsLength() > 0)
        size.setWidth(std::max(size.width(),
                               minimumContentsLength() * fm.horizontalAdvance(QLatin1Char('X'))));
    if (!placeholderText().isEmpty())
        size.setWidth(std::max(size.width(), fm.boundingRect(placeholderText()).width()));
    size.setHeight(std::max(static_cast<int>(std::ceil(QFontMetricsF(fm).height())), 14) + 2);

    QStyleOptionComboBox option;
    initStyleOption(&option);
    return style()->sizeFromContents(QStyle::CT_ComboBox, &option, size, this);
}

void makeEditableOnDemand(QComboBox* combo) {
    if (combo->isEditable()) return;
    auto* edit = new QLineEdit(combo);
    // QComboBox::setLineEdit makes a completer unless the edit has one.
    edit->setCompleter(placeholderCompleter());
    combo->setLineEdit(edit);
    edit->setCompleter(nullptr);
    new CompleterOnDemand(combo);
}

} // namespace startup
