#pragma once
// The window's drop-down lists, made so that 49 lists with some 860 items come
// up quickly without looking any different from plain editable QComboBoxes:
//
//  - the widest item of a list is measured once per set of items and font,
//    not once per list and again for its minimum size: lists with the same
//    items (the four real-time unit lists, the two range unit lists, the four
//    EJA display lists, ...) share the measurement;
//  - the completer an editable QComboBox makes for itself at once is made on
//    the list's first focus or key press instead.

#include <QComboBox>
#include <QSize>

namespace startup {

class ListCombo : public QComboBox {
    Q_OBJECT
public:
    explicit ListCombo(QWidget* parent = nullptr);

    // The size hints QComboBox computes, with the widest item's width taken
    // from a measurement shared by every list with the same items.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

private:
    QSize hintFor(bool minimum) const;
};

// Makes `combo` editable as QComboBox::setEditable(true) does, with the same
// completer, but creates that completer only when the list first gets the
// keyboard focus or a key.
void makeEditableOnDemand(QComboBox* combo);

} // namespace startup
