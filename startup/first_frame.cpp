#include "startup/first_frame.h"

#include <QApplication>
#include <QEvent>

namespace startup {

namespace {

// Counts the layout requests the application delivers while it exists.
class LayoutRequests final : public QObject {
public:
    LayoutRequests() { QCoreApplication::instance()->installEventFilter(this); }
    ~LayoutRequests() override { QCoreApplication::instance()->removeEventFilter(this); }
    LayoutRequests(const LayoutRequests&) = delete;
    LayoutRequests& operator=(const LayoutRequests&) = delete;

    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::LayoutRequest) ++count;
        return false;
    }
};

} // namespace

ApplicationFontAs::ApplicationFontAs(const QFont& font) : saved_(QApplication::font()) {
    QApplication::setFont(font);
}

ApplicationFontAs::~ApplicationFontAs() {
    QApplication::setFont(saved_);
}

void settleLayouts() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::PolishRequest);
    LayoutRequests requests;
    // A layout that kept asking again would be a fault of its own; the rest
    // is then left to the event loop, as it was.
    for (int round = 0; round < 32; ++round) {
        requests.count = 0;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        if (requests.count == 0) break;
    }
}

} // namespace startup
