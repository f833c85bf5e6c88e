#pragma once
// Drop-down lists whose items stand for codes on the wire: one row per item
// (text, code sent, code read back that selects it), plus what a code read
// back that selects no row does, and what a request sends while nothing is
// chosen. Used by the Rosemount, Yokogawa, E+H, KROHNE and ABB groups of the
// temperature-transmitter tabs.

#include "host/request.h"
#include "host/widgets.h"

#include <QComboBox>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace devices {

struct CodedItem {
    // Most items are selected by the very code they send.
    constexpr CodedItem(std::string_view text, std::uint8_t code)
        : text(text), code(code), readBack(code) {}
    // An item selected by another code read back than the one it sends, or by
    // none (std::nullopt): the latter is chosen only by hand or as the list's
    // "other" item.
    constexpr CodedItem(std::string_view text, std::uint8_t code,
                        std::optional<std::uint8_t> readBack)
        : text(text), code(code), readBack(readBack) {}

    std::string_view text;                // UTF-8, shown exactly as it stands
    std::uint8_t code;                    // sent
    std::optional<std::uint8_t> readBack; // the code read back that selects it, if any
};

// What a code read back selects when no item is read back by it.
enum class OnUnknown {
    Keep,  // the list keeps its selection
    Other, // the list's "other" item, which stands for every unlisted code
    Clear, // the list is left with no selection
};

struct CodedList {
    std::span<const CodedItem> items;
    OnUnknown onUnknown = OnUnknown::Keep;
    int otherIndex = -1; // with OnUnknown::Other: the catch-all item
    // Sent while no item is chosen; none: such a request is not sent.
    std::optional<std::uint8_t> unselected;
};

inline QStringList itemTexts(const CodedList& list) {
    QStringList texts;
    for (const auto& item : list.items)
        texts << QString::fromUtf8(item.text.data(), static_cast<qsizetype>(item.text.size()));
    return texts;
}

// An editable list, as on the form, filled from the table.
inline QComboBox* makeCodedCombo(const char* name, const CodedList& list) {
    return host::makeCombo(name, itemTexts(list));
}

// The code a request sends for the chosen position.
inline std::optional<std::uint8_t> codeFor(const CodedList& list, int index) {
    if (index >= 0 && static_cast<std::size_t>(index) < list.items.size())
        return list.items[static_cast<std::size_t>(index)].code;
    return list.unselected;
}

// The position a code read back selects, or none.
inline std::optional<int> indexFor(const CodedList& list, std::uint8_t code) {
    for (std::size_t i = 0; i < list.items.size(); ++i)
        if (static_cast<int>(i) != list.otherIndex && list.items[i].readBack == code)
            return static_cast<int>(i);
    if (list.onUnknown == OnUnknown::Other) return list.otherIndex;
    return std::nullopt;
}

// Shows a code read back in its list.
inline void showCode(QComboBox* combo, const CodedList& list, std::uint8_t code) {
    if (auto index = indexFor(list, code))
        host::selectIndex(combo, *index);
    else if (list.onUnknown == OnUnknown::Clear)
        host::clearSelection(combo);
}

// The code a request sends for the item chosen in `combo`. A list that has
// nothing chosen and no code for that stops the request before anything is
// sent, naming the list (`what`) on the status line.
inline std::uint8_t chosenCode(const QComboBox* combo, const CodedList& list, const char* what) {
    const auto code = codeFor(list, combo->currentIndex());
    if (!code) host::Payload::refuse(QStringLiteral("choose the %1 first").arg(QLatin1String(what)));
    return *code;
}

} // namespace devices
