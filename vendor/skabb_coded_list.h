#pragma once
// Drop-down lists whose items stand for device codes. Each list is a table of
// rows (item text, code a SET sends for it, reply code that selects it) plus
// what happens off the table: the code sent while nothing is chosen and the
// item a reply code no row claims falls back to.

#include <QComboBox>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <span>

namespace vendor::skabb {

struct CodedItem {
    const char* text;                     // UTF-8, shown exactly
    std::uint8_t sent;                    // what a SET sends for this item
    std::optional<std::uint8_t> readBack; // the reply code that selects it, if any
};

struct CodedList {
    std::span<const CodedItem> items;
    std::uint8_t unselected; // sent while no item is chosen
    int fallback;            // item chosen by a reply code no row reads back; -1: none
};

inline QStringList itemTexts(const CodedList& list) {
    QStringList out;
    for (const auto& item : list.items)
        out << QString::fromUtf8(item.text);
    return out;
}

inline std::uint8_t codeToSend(const CodedList& list, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= list.items.size()) return list.unselected;
    return list.items[static_cast<std::size_t>(index)].sent;
}

inline int indexForReply(const CodedList& list, std::uint8_t code) {
    for (std::size_t i = 0; i < list.items.size(); ++i)
        if (list.items[i].readBack == code) return static_cast<int>(i);
    return list.fallback;
}

} // namespace vendor::skabb
