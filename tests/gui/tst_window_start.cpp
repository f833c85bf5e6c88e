// What the window does to come up quickly must not show: its lists measure
// as QComboBox measures, complete typed text as QComboBox completes it, drop
// down in the window's font; every control keeps the window's font; and the
// timers keep to the millisecond.

#include "support/window_rig.h"

#include "host/list_combo.h"
#include "host/widgets.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <memory>

using rig::WindowRig;

namespace {

// A plain editable QComboBox, made the way the window made its lists before.
std::unique_ptr<QComboBox> plainList(const QStringList& items) {
    auto combo = std::make_unique<QComboBox>();
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->addItems(items);
    host::clearSelection(combo.get());
    return combo;
}

QStringList itemsOf(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

// Types `text` key by key; QTest::keyClicks takes Latin-1 only.
void type(QWidget* w, const QString& text) {
    for (QChar c : text)
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

const QStringList kItems{"2线制", "3线制",           "4线制",
                         "other", "0_PT100 IEC-751", "27_T/C typ W5Re26                  "};

} // namespace

class WindowStartTest : public QObject {
    Q_OBJECT
private slots:
    void windowListsMeasureAsQComboBox();
    void sizeHintCases_data();
    void sizeHintCases();
    void completerOnFirstFocusOrKey_data();
    void completerOnFirstFocusOrKey();
    void completionAsQComboBox_data();
    void completionAsQComboBox();
    void readOnlyListNeedsNoCompleter();
    void popupInTheListsFont();
    void windowFontEverywhere();
    void timersArePrecise();
};

void WindowStartTest::windowListsMeasureAsQComboBox() {
    WindowRig r(false);
    const auto lists = r.form().findChildren<host::ListCombo*>();
    QCOMPARE(lists.size(), 48); // every list of the pages
    for (auto* list : lists) {
        const QByteArray name = list->objectName().toLatin1();
        QVERIFY2(list->sizeHint() == list->QComboBox::sizeHint(), name.constData());
        QVERIFY2(list->minimumSizeHint() == list->QComboBox::minimumSizeHint(), name.constData());
    }
}

void WindowStartTest::sizeHintCases_data() {
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<qreal>("pointSize"); // 0: the application's font
    QTest::addColumn<int>("minimumContentsLength");
    QTest::addColumn<QString>("placeholder");
    QTest::addColumn<bool>("icon");
    QTest::addColumn<bool>("minimumLengthPolicy");
    QTest::newRow("items") << kItems << 0.0 << 0 << "" << false << false;
    QTest::newRow("larger font") << kItems << 17.0 << 0 << "" << false << false;
    QTest::newRow("no items") << QStringList{} << 0.0 << 0 << "" << false << false;
    QTest::newRow("minimum contents length below the widest")
        << kItems << 0.0 << 3 << "" << false << false;
    QTest::newRow("minimum contents length above the widest")
        << kItems << 0.0 << 40 << "" << false << false;
    QTest::newRow("long placeholder")
        << kItems << 0.0 << 0 << "a placeholder wider than every item of the list" << false
        << false;
    QTest::newRow("an item with an icon") << kItems << 0.0 << 0 << "" << true << false;
    QTest::newRow("minimum length policy") << kItems << 0.0 << 14 << "" << false << true;
}

void WindowStartTest::sizeHintCases() {
    QFETCH(QStringList, items);
    QFETCH(qreal, pointSize);
    QFETCH(int, minimumContentsLength);
    QFETCH(QString, placeholder);
    QFETCH(bool, icon);
    QFETCH(bool, minimumLengthPolicy);
    std::unique_ptr<QComboBox> list(host::makeCombo("ComboBoxTest", items));
    if (pointSize > 0) {
        QFont f = list->font();
        f.setPointSizeF(pointSize);
        list->setFont(f);
    }
    list->setMinimumContentsLength(minimumContentsLength);
    list->setPlaceholderText(placeholder);
    if (icon) {
        QPixmap pm(16, 16);
        pm.fill(Qt::red);
        list->setItemIcon(1, QIcon(pm));
    }
    if (minimumLengthPolicy)
        list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    // Twice: the second answer comes from the shared measurement.
    for (int round = 0; round < 2; ++round) {
        QCOMPARE(list->sizeHint(), list->QComboBox::sizeHint());
        QCOMPARE(list->minimumSizeHint(), list->QComboBox::minimumSizeHint());
    }
}

void WindowStartTest::completerOnFirstFocusOrKey_data() {
    QTest::addColumn<QString>("first");
    QTest::newRow("focus") << "focus";
    QTest::newRow("key on the list") << "key list";
    QTest::newRow("key on its edit") << "key edit";
}

void WindowStartTest::completerOnFirstFocusOrKey() {
    QFETCH(QString, first);
    std::unique_ptr<QComboBox> list(host::makeCombo("ComboBoxTest", kItems));
    QVERIFY(list->isEditable());
    QVERIFY(!list->completer());
    if (first == QStringLiteral("focus")) {
        QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
        QApplication::sendEvent(list.get(), &in);
    } else {
        QTest::keyClick(first == QStringLiteral("key list") ? static_cast<QWidget*>(list.get())
                                                            : list->lineEdit(),
                        Qt::Key_O);
    }
    QCompleter* made = list->completer();
    QVERIFY(made);
    QCOMPARE(made->model(), list->model());
    QCOMPARE(made->widget(), list.get());
    // Set up as QComboBox sets up its own.
    const auto plain = plainList(kItems);
    const QCompleter* own = plain->completer();
    QVERIFY(own);
    QCOMPARE(made->caseSensitivity(), own->caseSensitivity());
    QCOMPARE(made->completionMode(), own->completionMode());
    QCOMPARE(made->completionColumn(), own->completionColumn());
    QCOMPARE(made->completionRole(), own->completionRole());
    QCOMPARE(made->filterMode(), own->filterMode());
    QCOMPARE(made->modelSorting(), own->modelSorting());
    QCOMPARE(made->maxVisibleItems(), own->maxVisibleItems());
    QCOMPARE(made->wrapAround(), own->wrapAround());
    // Once made, it stays the one.
    QTest::keyClick(list.get(), Qt::Key_T);
    QCOMPARE(list->completer(), made);
}

void WindowStartTest::completionAsQComboBox_data() {
    QTest::addColumn<QString>("keys");
    QTest::newRow("prefix of one item") << "ot"; // completes to "other"
    QTest::newRow("other case") << "OTH";
    QTest::newRow("prefix of several") << "0";
    QTest::newRow("Chinese item") << "3线";
    QTest::newRow("no item") << "xyz";
}

void WindowStartTest::completionAsQComboBox() {
    QFETCH(QString, keys);
    // One of the window's own lists, against a plain QComboBox with its items
    // in the same window; each has the focus while it is typed into, as the
    // line edit completes only then.
    WindowRig r(false);
    auto* list = r.get<QComboBox>("ComboBox35");
    QVERIFY(list);
    r.get<QTabWidget>("PageControl2")->setCurrentIndex(4);
    const auto plain = plainList(itemsOf(list));
    plain->setParent(list->parentWidget());
    plain->show();
    r.form().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&r.form()));
    // What each shows once typed into, while it has the focus, and after Return.
    auto typeInto = [&](QComboBox* c) {
        host::clearSelection(c);
        c->setFocus();
        if (!rig::waitFor([c] { return c->hasFocus(); }, 5000)) return QStringList{"no focus"};
        type(c, keys);
        QStringList seen{c->currentText(), c->lineEdit()->selectedText(),
                         QString::number(c->currentIndex())};
        QTest::keyClick(c, Qt::Key_Return);
        seen << c->currentText() << QString::number(c->currentIndex());
        return seen;
    };
    QCOMPARE(typeInto(list), typeInto(plain.get()));
}

void WindowStartTest::readOnlyListNeedsNoCompleter() {
    // "Address No:" is made editable and then read-only again.
    WindowRig r(false);
    auto* address = r.get<QComboBox>("ComboBox9");
    QVERIFY(!address->isEditable());
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(address, &in);
    QTest::keyClick(address, Qt::Key_5);
    QVERIFY(!address->completer());
    QCOMPARE(address->currentText(), QStringLiteral("5")); // keyboard search as before
}

void WindowStartTest::popupInTheListsFont() {
    WindowRig r(false);
    auto* list = r.get<QComboBox>("ComboBox1");
    list->showPopup();
    QVERIFY(rig::waitFor([list] { return list->view()->isVisible(); }, 5000));
    QCOMPARE(list->view()->font(), list->font());
    QVERIFY(list->view()->font().bold());
    QCOMPARE(list->view()->model()->rowCount(), 83);
    list->hidePopup();
}

void WindowStartTest::windowFontEverywhere() {
    const QFont before = QApplication::font();
    WindowRig r(false);
    QCOMPARE(QApplication::font(), before); // put back after building
    const QFont windowFont = r.form().font();
    QVERIFY(windowFont.bold());
    // The traffic panel sets its table in a plain face on purpose.
    auto* dock = r.get<QWidget>("TrafficDock");
    QVERIFY(dock);
    for (QWidget* w : r.form().findChildren<QWidget*>()) {
        if (w == dock || dock->isAncestorOf(w)) continue;
        if (w->objectName() == QStringLiteral("Label1")) continue; // the title, larger
        // Its weight tells whether the device has more status to give.
        if (w->objectName() == QStringLiteral("ReadMoreStatus")) continue;
        const QByteArray what =
            w->metaObject()->className() + QByteArray(" ") + w->objectName().toLatin1();
        QVERIFY2(w->font().family() == windowFont.family(), what.constData());
        QVERIFY2(w->font().bold(), what.constData());
        QVERIFY2(w->font().pointSizeF() == windowFont.pointSizeF(), what.constData());
    }
}

void WindowStartTest::timersArePrecise() {
    WindowRig r(false);
    for (const char* name : {"Timer1", "Timer2", "Timer3"})
        QVERIFY2(r.get<QTimer>(name)->timerType() == Qt::PreciseTimer, name);
}

QTEST_MAIN(WindowStartTest)
#include "tst_window_start.moc"
