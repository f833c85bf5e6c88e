#pragma once
// Two steps of the window's first frame, kept out of the window's own code:
//
//  - ApplicationFontAs: the window's controls are made under its font, so
//    that placing them in the window changes no font (which would measure
//    every list item again) and no line edit lays out its empty text in a
//    second font;
//  - settleLayouts(): the layouts asked for while showing are settled before
//    the first frame, so the page is laid out and painted once.

#include <QFont>

namespace startup {

// Sets the application's font for a while and puts the old one back. Widgets
// made meanwhile take that font; where it is also the font they inherit in
// the window, placing them there changes nothing.
class ApplicationFontAs {
public:
    explicit ApplicationFontAs(const QFont& font);
    ~ApplicationFontAs();
    ApplicationFontAs(const ApplicationFontAs&) = delete;
    ApplicationFontAs& operator=(const ApplicationFontAs&) = delete;

private:
    QFont saved_;
};

// Delivers the polish and layout requests queued while a window was shown.
// Showing places the tabs, the scroll bars and the page, and the buttons'
// polish requests still queued from their construction ask for their layouts
// again; each layout run may ask its parent's. Settled now, before the first
// frame, everything is painted once where it stays; left to the event loop,
// the page would be laid out and painted a second time after whatever else
// is queued by then (the port list's first look at the serial devices).
void settleLayouts();

} // namespace startup
