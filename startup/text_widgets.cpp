#include "startup/text_widgets.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QPicture>
#include <QPixmap>
#include <QPointer>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTextDocument>

#include <algorithm>
#include <utility>
#include <vector>

namespace startup {

namespace {

// Text sizes by font, for as long as the application runs: the fonts it
// holds go with it, not with the program's static data.
class TextSizes final : public QObject {
public:
    using QObject::QObject;

    static TextSizes& instance() {
        static QPointer<TextSizes> sizes;
        if (!sizes) sizes = new TextSizes(QCoreApplication::instance());
        return *sizes;
    }

    QSize size(const QWidget* widget, int flags, const QString& text) {
        const QFont& font = widget->font();
        // The font a widget measures with carries its screen's resolution.
        const int dpi = widget->logicalDpiY();
        auto entry = std::find_if(fonts_.begin(), fonts_.end(),
                                  [&](const ForFont& f) { return f.dpi == dpi && f.font == font; });
        if (entry == fonts_.end()) entry = fonts_.insert(fonts_.end(), ForFont{font, dpi, {}});
        const auto key = std::make_pair(flags, text);
        if (const auto found = entry->sizes.constFind(key); found != entry->sizes.cend())
            return *found;
        const QSize size = widget->fontMetrics().boundingRect(kAnyRect, flags, text).size();
        // Value labels show ever new texts (byte counts, status lines); the
        // captions worth sharing are far fewer than this.
        if (entry->sizes.size() >= kMostTexts) entry->sizes.clear();
        entry->sizes.insert(key, size);
        return size;
    }

private:
    // Unwrapped text measures the same in any rectangle; this one is as
    // QLabel's.
    static constexpr QRect kAnyRect{0, 0, 2000, 2000};
    static constexpr qsizetype kMostTexts = 1000;

    struct ForFont {
        QFont font;
        int dpi;
        QHash<std::pair<int, QString>, QSize> sizes;
    };
    std::vector<ForFont> fonts_;
};

// Flags under which the rectangle does not matter: centring would move the
// text by half a pixel one way or the other, and wrapping depends on width.
constexpr int kRectDependent = Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextWordWrap;

} // namespace

QSize unwrappedTextSize(const QWidget* widget, int flags, const QString& text) {
    if (flags & kRectDependent) return {};
    return TextSizes::instance().size(widget, flags, text);
}

TextLabel::TextLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}

QSize TextLabel::sizeHint() const {
    const QSize hint = plainTextHint();
    return hint.isValid() ? hint : QLabel::sizeHint();
}

QSize TextLabel::minimumSizeHint() const {
    // Unwrapped text is as narrow as it is wide: both hints are one size.
    const QSize hint = plainTextHint();
    return hint.isValid() ? hint : QLabel::minimumSizeHint();
}

QSize TextLabel::plainTextHint() const {
    // An empty label may or may not count as a text label inside QLabel (it
    // depends on how it became empty), and each kind measures differently.
    const QString shown = text();
    if (shown.isEmpty() || wordWrap() || buddy() || indent() >= 0 || frameWidth() != 0 || movie() ||
        !pixmap().isNull() || !picture().isNull() ||
        (textInteractionFlags() & (Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard)))
        return {};
    const Qt::TextFormat format = textFormat();
    if (format != Qt::PlainText && (format != Qt::AutoText || Qt::mightBeRichText(shown)))
        return {};

    ensurePolished(); // the style may set the font
    // As QLabel measures: in visual order, not centred, tabs expanded.
    const int flags =
        (int(QStyle::visualAlignment(shown.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight,
                                     alignment())) |
         Qt::TextExpandTabs) &
        ~(Qt::AlignVCenter | Qt::AlignHCenter);
    const QSize text = unwrappedTextSize(this, flags, shown);
    if (!text.isValid()) return {};
    const int extra = 2 * margin();
    const QMargins m = contentsMargins();
    return QSize(text.width() + extra + m.left() + m.right(),
                 text.height() + extra + m.top() + m.bottom())
        .expandedTo(minimumSize());
}

TextButton::TextButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {}

QSize TextButton::sizeHint() const {
    // Icons, menus and button boxes add to the text: Qt's own computation.
    if (!icon().isNull() || menu() || qobject_cast<const QDialogButtonBox*>(parentWidget()))
        return QPushButton::sizeHint();
    ensurePolished();
    QStyleOptionButton option;
    initStyleOption(&option);
    // An empty button is as large as one reading "XXXX".
    const QString shown = text().isEmpty() ? QStringLiteral("XXXX") : text();
    // QFontMetrics::size(Qt::TextShowMnemonic, text), which QPushButton uses.
    const QSize size =
        unwrappedTextSize(this, Qt::TextShowMnemonic | Qt::TextLongestVariant, shown);
    option.rect.setSize(size); // as QPushButton gives it to the style
    return style()->sizeFromContents(QStyle::CT_PushButton, &option, size, this);
}

QSize TextButton::minimumSizeHint() const {
    return sizeHint();
}

} // namespace startup
