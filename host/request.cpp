#include "host/reply.h"
#include "host/request.h"
#include "host/widgets.h"

#include "hart/encodings.h"

#include <QLineEdit>

#include <stdexcept>
#include <string>

namespace host {

void Payload::wireFloat(const QLineEdit* field) {
    bytes(hart::wireFloatFromText(textOf(field)));
}

void Payload::uint24(const QLineEdit* field) {
    bytes(hart::uint24FromText(textOf(field)));
}

void Payload::packedAscii(const QLineEdit* field, int chars) {
    bytes(hart::packedAsciiFromText(textOf(field), chars));
}

void Payload::refuse(const QString& why) {
    throw Refusal(QStringLiteral("Nothing sent: %1.").arg(why).toStdString());
}

std::size_t Reply::index(int j, int n) const {
    if (j < 0 || j + n > dataBytes_)
        throw std::logic_error("a reader reads data bytes " + std::to_string(j) + ".." +
                               std::to_string(j + n - 1) + " of a reply that carries " +
                               std::to_string(dataBytes_));
    return static_cast<std::size_t>(dataStart_ + j);
}

QString Reply::floatText(int j, std::optional<int> length) const {
    return QString::fromStdString(hart::floatTextOf(at(j, 4), length));
}

QString Reply::markedFloatText(int j, int length) const {
    return QString::fromStdString(hart::floatTextMarked(at(j, 4), length));
}

} // namespace host
