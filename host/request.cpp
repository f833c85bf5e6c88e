#include "host/reply.h"
#include "host/request.h"

#include "hart/encodings.h"

#include <QLineEdit>

namespace host {

namespace {
std::string textOf(const QLineEdit* field) {
    return field->text().toStdString();
}
} // namespace

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

QString Reply::floatText(int j, std::optional<int> length) const {
    return QString::fromStdString(hart::floatTextOf(at(j), length));
}

QString Reply::markedFloatText(int j, int length) const {
    return QString::fromStdString(hart::floatTextMarked(at(j), length));
}

} // namespace host
