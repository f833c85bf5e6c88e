#pragma once
// Labels and buttons whose size hints come from one shared measurement of
// their text, so that the window's 120 captions and 80 buttons come up
// quickly and measure exactly as plain QLabels and QPushButtons:
//
//  - QLabel lays its text out three times for its two size hints (for the
//    widths -1, 0 and "unlimited"), which come out the same for text that
//    does not wrap; here it is laid out once;
//  - labels and buttons showing the same text in the same font ("SET" on 36
//    buttons, "Sensor type:" on several pages) share that one layout.
//
// Whatever the shortcut does not cover (rich text, word wrap, pixmaps, a
// buddy, an indent or a frame, icons and menus on buttons) keeps Qt's own
// computation.

#include <QLabel>
#include <QPushButton>
#include <QSize>
#include <QString>

class QWidget;

namespace startup {

// The size of QFontMetrics::boundingRect(rect, flags, text) for `widget`'s
// font: `text` laid out on lines of its own, without wrapping, which does not
// depend on the rectangle. Measured once per font, flags and text.
QSize unwrappedTextSize(const QWidget* widget, int flags, const QString& text);

class TextLabel : public QLabel {
    Q_OBJECT
public:
    explicit TextLabel(const QString& text, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

private:
    // QLabel's hint for plain text that does not wrap, or an invalid size
    // where QLabel must compute it.
    QSize plainTextHint() const;
};

class TextButton : public QPushButton {
    Q_OBJECT
public:
    explicit TextButton(const QString& text, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
};

} // namespace startup
