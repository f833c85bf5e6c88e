#pragma once
// Small builders for the window's controls, so every page creates its
// buttons, fields and lists the same way and names them by component name.

#include "hart/encodings.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <string>

class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace host {

QPushButton* makeButton(const char* name, const QString& caption, QWidget* parent = nullptr);
QLineEdit* makeEdit(const char* name, QWidget* parent = nullptr);
// Editable drop-down list, as on the original form, with no item selected.
QComboBox* makeCombo(const char* name, const QStringList& items, QWidget* parent = nullptr);
QLabel* makeLabel(const QString& text, const char* name = nullptr, QWidget* parent = nullptr);
QRadioButton* makeRadio(const char* name, const QString& caption, QWidget* parent = nullptr);

// A captioned group with a grid: rows of "caption | field | buttons...".
class FormGroup {
public:
    FormGroup(const char* name, const QString& caption, QWidget* parent = nullptr);
    QGroupBox* box() const { return box_; }
    QGridLayout* grid() const { return grid_; }
    // Adds a row; the caption goes in column 0 and the widgets after it.
    // Null widgets leave their cell empty. Returns the row index.
    int addRow(const QString& caption, std::initializer_list<QWidget*> widgets);
    // A widget spanning the whole row.
    int addWide(QWidget* w);

private:
    QGroupBox* box_;
    QGridLayout* grid_;
    int rows_ = 0;
};

// ---- Unit lists
enum class UnitForm { Range, RealTime };
// A list of the unit table's texts in `form`, as makeCombo makes it.
QComboBox* makeUnitCombo(const char* name, UnitForm form);
// Selects the position the unit table gives for `code`.
void selectUnit(QComboBox* combo, std::uint8_t code);

// Selects item `index`; an index with no item leaves no selection and an
// empty text.
void selectIndex(QComboBox* combo, int index);
// Empties the list's selection and its edit text.
void clearSelection(QComboBox* combo);
// While set, called with every list selectIndex() or selectUnit() is given,
// whether its choice changes or not: the reader filling its page in hand
// selects it from a reply. Empty: nothing is called.
void setSelectionObserver(std::function<void(QComboBox*)> observer);

// ---- "0" to "15": the short-frame polling addresses a list offers.
QStringList pollAddressTexts();

// ---- Text of an edit field as UTF-8, for the encoders.
std::string textOf(const QLineEdit* edit);

// ---- Keyboard filter of a numeric field; `gated` is its SET button, if any.
void installKeyFilter(QLineEdit* edit, const hart::KeyFilterRule& rule,
                      QPushButton* gated = nullptr);

} // namespace host
