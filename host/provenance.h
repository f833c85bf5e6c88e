#pragma once
// Where the values the pages show came from, so that nothing is sent to a
// device, or shown as its own, on the strength of a value it never gave:
//
//  - what counts as read: the reply codes whose reader filled the page from
//    the current device since the port opened or the device changed (a
//    query sent again counts as unread until its reply is in);
//  - which edit fields the user typed into (an empty field the user emptied
//    is meant; one emptied by opening the port is not);
//  - which fields and lists replies have filled, so that they can be
//    emptied when their device is no longer the one in front of us.

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <map>
#include <set>
#include <utility>
#include <vector>

class QComboBox;
class QLineEdit;
class QWidget;

namespace host {

class Provenance : public QObject {
    Q_OBJECT
public:
    explicit Provenance(QObject* parent = nullptr);

    // ---- What counts as read.
    bool wasRead(int replyCode) const { return read_.count(replyCode) != 0; }
    void noteSent(int replyCode) { read_.erase(replyCode); }
    void noteRead(int replyCode) { read_.insert(replyCode); }
    // The port opened or closed, or another device became current.
    void forgetReads() { read_.clear(); }

    // ---- Fields. Watches the edit fields, lists, labels and text views
    // under `root` (the pages).
    void watch(QWidget* root);
    // The user's own typing (or pasting) made the field's text what it is.
    bool typedByUser(const QLineEdit* field) const;

    // A reader is filling the page: every field that changes meanwhile, and
    // every list it selects an item of, counts as filled from a reply.
    void beginFill();
    void endFill();
    // Empties every field filled from a reply and takes every such list's
    // choice away: their device is gone.
    void clearReplyFilled();

private:
    struct Snapshot {
        QPointer<QWidget> widget;
        QString text;
        int index = -1;
    };
    Snapshot snapshotOf(QWidget* widget) const;

    std::set<int> read_;
    std::vector<QPointer<QWidget>> watched_;
    std::map<const QLineEdit*, QString> typed_; // the text each field was last typed to
    std::set<QWidget*> filled_;
    std::vector<Snapshot> before_;
    bool filling_ = false;
};

// A guard a SET runs before anything happens: for each setting it would
// send, the field (or list) it comes from and the query reply code that reads
// it. An empty field the user did not empty, or a list with nothing chosen,
// whose query has not read the current device since the port opened or the
// device changed, stops the SET: nothing is sent, the status line keeps its
// text, and the reason is shown in a message box (std::runtime_error).
class Keep {
public:
    explicit Keep(const Provenance& provenance) : p_(provenance) {}

    void field(const QLineEdit* field, int readBy);
    void list(const QComboBox* list, int readBy);
    // Throws with `why` when any setting above was not kept.
    void orRefuse(const QString& why) const;

private:
    const Provenance& p_;
    bool missing_ = false;
};

// The message a refused SET shows: "Nothing sent: SET writes <what>
// together. Press Query first, so that the <held> the device holds are kept."
QString keepRefusal(const QString& what, const QString& held);

} // namespace host
