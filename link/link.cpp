#include "link/link.h"

namespace line {

QString Link::lostMessage(const QString& cause) const {
    const QString gone = QStringLiteral("%1 disconnected").arg(description());
    return cause.isEmpty() ? gone : QStringLiteral("%1 (%2)").arg(gone, cause);
}

} // namespace line
