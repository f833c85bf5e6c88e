// What the window does to come up quickly must not show: its lists measure
// as QComboBox measures, its labels and buttons as QLabel and QPushButton,
// lists complete typed text as QComboBox completes it and drop down in the
// window's font; every control keeps the window's font; and the timers keep
// to the millisecond.

#include "support/window_rig.h"

#include "app/port_list.h"
#include "startup/list_combo.h"
#include "startup/text_widgets.h"
#include "host/widgets.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <memory>
#include <utility>

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
    void windowLabelsAndButtonsMeasureAsQt();
    void labelHintCases_data();
    void labelHintCases();
    void labelHintFollowsChanges();
    void buttonHintCases_data();
    void buttonHintCases();
    void completerOnFirstFocusOrKey_data();
    void completerOnFirstFocusOrKey();
    void completionAsQComboBox_data();
    void completionAsQComboBox();
    void readOnlyListNeedsNoCompleter();
    void popupInTheListsFont();
    void windowFontEverywhere();
    void laidOutBeforeTheFirstFrame();
    void timersArePrecise();
};

void WindowStartTest::windowListsMeasureAsQComboBox() {
    WindowRig r(false);
    const auto lists = r.form().findChildren<startup::ListCombo*>();
    QCOMPARE(lists.size(), 50); // every list of the pages (the HART 7 device page has two)
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
    // Items are measured widest bound first: the longest item is not the
    // widest, kerned pairs and ligatures narrow an item, marks and surrogate
    // pairs are measured whatever their bound.
    const QStringList widths{"iiiiiiiiiiiiiiiiiiiiiiii",
                             "WWWWWWW",
                             "AVAVAVAVAVAV",
                             "ffiffiffiffi",
                             "........",
                             "To Ty Yo"};
    QTest::newRow("widest item not the longest") << widths << 0.0 << 0 << "" << false << false;
    QTest::newRow("widest item not the longest, larger font")
        << widths << 23.0 << 0 << "" << false << false;
    const QStringList marks{QStringLiteral("e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301"),
                            QStringLiteral("\U0001F600\U0001F600\U0001F600"), "mmmm"};
    QTest::newRow("marks and surrogate pairs") << marks << 0.0 << 0 << "" << false << false;
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

void WindowStartTest::windowLabelsAndButtonsMeasureAsQt() {
    WindowRig r(false);
    const auto labels = r.form().findChildren<startup::TextLabel*>();
    const auto buttons = r.form().findChildren<startup::TextButton*>();
    QVERIFY(labels.size() > 100); // the captions of every page
    QVERIFY(buttons.size() > 70);
    auto what = [](const QWidget* w, const QString& text) {
        return (w->objectName() + u' ' + text).toUtf8();
    };
    for (auto* label : labels) {
        QVERIFY2(label->sizeHint() == label->QLabel::sizeHint(), what(label, label->text()));
        QVERIFY2(label->minimumSizeHint() == label->QLabel::minimumSizeHint(),
                 what(label, label->text()));
    }
    for (auto* button : buttons) {
        QVERIFY2(button->sizeHint() == button->QPushButton::sizeHint(),
                 what(button, button->text()));
        QVERIFY2(button->minimumSizeHint() == button->QPushButton::minimumSizeHint(),
                 what(button, button->text()));
    }
}

namespace {

// A label set up one way, as a table row describes it.
struct LabelSetup {
    QString text = QStringLiteral("Sensor type:");
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    qreal pointSize = 0; // 0: the application's font
    int margin = 0;
    QMargins contents;
    QSize minimum;
    Qt::TextFormat format = Qt::AutoText;
    // What QLabel measures some other way; the label must still agree.
    bool wrap = false;
    bool buddy = false;
    bool frame = false;
    bool indent = false;
    bool pixmap = false;
    bool selectable = false;
    bool cleared = false;
};

} // namespace

Q_DECLARE_METATYPE(LabelSetup)

void WindowStartTest::labelHintCases_data() {
    QTest::addColumn<LabelSetup>("setup");
    QTest::newRow("caption") << LabelSetup{};
    QTest::newRow("two lines") << LabelSetup{
        .text =
            QStringLiteral("For HART field instruments on a 4-20 mA loop\nthrough a HART modem")};
    QTest::newRow("Chinese") << LabelSetup{.text = QStringLiteral("2线制 3线制")};
    QTest::newRow("right to left") << LabelSetup{.text = QStringLiteral("שלום עולם")};
    QTest::newRow("ampersand, no buddy")
        << LabelSetup{.text = QStringLiteral("DP && MV &Transmitter")};
    QTest::newRow("tab") << LabelSetup{.text = QStringLiteral("Unit:\tmA")};
    QTest::newRow("trailing blanks") << LabelSetup{.text = QStringLiteral("28_T/C typ GOSTL    ")};
    QTest::newRow("larger font") << LabelSetup{.pointSize = 13.5};
    QTest::newRow("odd font size") << LabelSetup{.pointSize = 10.3};
    QTest::newRow("right") << LabelSetup{.alignment = Qt::AlignRight | Qt::AlignVCenter};
    QTest::newRow("centred") << LabelSetup{.alignment = Qt::AlignCenter};
    QTest::newRow("bottom") << LabelSetup{.alignment = Qt::AlignLeft | Qt::AlignBottom};
    QTest::newRow("top right") << LabelSetup{.alignment = Qt::AlignRight | Qt::AlignTop};
    QTest::newRow("justified") << LabelSetup{.alignment = Qt::AlignJustify | Qt::AlignVCenter};
    QTest::newRow("leading") << LabelSetup{.alignment = Qt::AlignLeading};
    QTest::newRow("trailing") << LabelSetup{.alignment = Qt::AlignTrailing | Qt::AlignVCenter};
    QTest::newRow("right to left, right")
        << LabelSetup{.text = QStringLiteral("שלום עולם"), .alignment = Qt::AlignRight};
    QTest::newRow("margin") << LabelSetup{.margin = 3};
    QTest::newRow("contents margins") << LabelSetup{.contents = QMargins(1, 2, 3, 4)};
    QTest::newRow("minimum wider") << LabelSetup{.minimum = QSize(300, 0)};
    QTest::newRow("minimum taller") << LabelSetup{.minimum = QSize(0, 40)};
    QTest::newRow("plain format with markup")
        << LabelSetup{.text = QStringLiteral("<b>bold</b> caption"), .format = Qt::PlainText};
    QTest::newRow("rich text") << LabelSetup{.text = QStringLiteral("<b>bold</b> caption")};
    QTest::newRow("word wrap") << LabelSetup{
        .text = QStringLiteral("Double-click a device to make it the current device of every page"),
        .wrap = true};
    QTest::newRow("buddy") << LabelSetup{.text = QStringLiteral("&Port:"), .buddy = true};
    QTest::newRow("frame") << LabelSetup{.frame = true};
    QTest::newRow("indent") << LabelSetup{.indent = true};
    QTest::newRow("pixmap") << LabelSetup{.pixmap = true};
    QTest::newRow("selectable") << LabelSetup{.selectable = true};
    QTest::newRow("empty") << LabelSetup{.text = QString()};
    QTest::newRow("cleared") << LabelSetup{.cleared = true};
}

void WindowStartTest::labelHintCases() {
    QFETCH(LabelSetup, setup);
    QLabel buddy;
    QWidget parent; // the window's labels measure inside a window, not as one
    // Twice: the second label's answer comes from the shared measurement.
    for (int round = 0; round < 2; ++round) {
        auto* label = host::makeLabel(setup.text, nullptr, &parent);
        label->setTextFormat(setup.format);
        label->setAlignment(setup.alignment);
        if (setup.pointSize > 0) {
            QFont f = label->font();
            f.setPointSizeF(setup.pointSize);
            label->setFont(f);
        }
        label->setMargin(setup.margin);
        label->setContentsMargins(setup.contents);
        if (setup.minimum.isValid()) label->setMinimumSize(setup.minimum);
        label->setWordWrap(setup.wrap);
        if (setup.buddy) label->setBuddy(&buddy);
        if (setup.frame) label->setFrameStyle(QFrame::Box | QFrame::Plain);
        if (setup.indent) label->setIndent(7);
        if (setup.pixmap) {
            QPixmap pm(20, 12);
            pm.fill(Qt::blue);
            label->setPixmap(pm);
        }
        if (setup.selectable) label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        if (setup.cleared) label->clear();
        QCOMPARE(label->sizeHint(), label->QLabel::sizeHint());
        QCOMPARE(label->minimumSizeHint(), label->QLabel::minimumSizeHint());
    }
}

void WindowStartTest::labelHintFollowsChanges() {
    // A label keeps measuring as QLabel when its text, font or alignment
    // change after it was measured, as the window's value labels do.
    QWidget parent;
    auto* label = host::makeLabel(QStringLiteral("Upload successful!"), nullptr, &parent);
    auto same = [label] {
        return label->sizeHint() == label->QLabel::sizeHint() &&
               label->minimumSizeHint() == label->QLabel::minimumSizeHint();
    };
    QVERIFY(same());
    const QSize before = label->sizeHint();
    label->setText(QStringLiteral("Write failed! Parameter too large"));
    QVERIFY(same());
    QVERIFY(label->sizeHint().width() > before.width());
    QFont f = label->font();
    f.setBold(!f.bold());
    label->setFont(f);
    QVERIFY(same());
    label->setAlignment(Qt::AlignRight | Qt::AlignBottom);
    QVERIFY(same());
    label->clear();
    QVERIFY(same());
    label->setText(QStringLiteral("3"));
    QVERIFY(same());
    // A byte counter shows ever new texts, more than are kept measured.
    for (int bytes = 0; bytes < 1200; ++bytes) {
        label->setText(QString::number(bytes));
        QVERIFY2(same(), qPrintable(label->text()));
    }
}

void WindowStartTest::buttonHintCases_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<qreal>("pointSize"); // 0: the application's font
    QTest::addColumn<QString>("extra");
    QTest::newRow("SET") << "SET" << 0.0 << "";
    QTest::newRow("empty") << "" << 0.0 << "";
    QTest::newRow("mnemonic") << "&Open" << 0.0 << "";
    QTest::newRow("ellipsis") << "Save traffic…" << 0.0 << "";
    QTest::newRow("Chinese") << "查询" << 0.0 << "";
    QTest::newRow("larger font") << "Restore factory settings" << 15.0 << "";
    QTest::newRow("default button") << "Query" << 0.0 << "default";
    QTest::newRow("flat") << "Query" << 0.0 << "flat";
    QTest::newRow("icon") << "Query" << 0.0 << "icon";
    QTest::newRow("menu") << "Query" << 0.0 << "menu";
    QTest::newRow("in a button box") << "Query" << 0.0 << "box";
}

void WindowStartTest::buttonHintCases() {
    QFETCH(QString, text);
    QFETCH(qreal, pointSize);
    QFETCH(QString, extra);
    QWidget parent;
    QDialogButtonBox box;
    QMenu menu;
    for (int round = 0; round < 2; ++round) {
        auto* button = host::makeButton("ButtonTest", text, &parent);
        if (pointSize > 0) {
            QFont f = button->font();
            f.setPointSizeF(pointSize);
            button->setFont(f);
        }
        if (extra == QStringLiteral("default")) button->setDefault(true);
        if (extra == QStringLiteral("flat")) button->setFlat(true);
        if (extra == QStringLiteral("icon")) {
            QPixmap pm(16, 16);
            pm.fill(Qt::red);
            button->setIcon(QIcon(pm));
        }
        if (extra == QStringLiteral("menu")) button->setMenu(&menu);
        if (extra == QStringLiteral("box")) box.addButton(button, QDialogButtonBox::AcceptRole);
        QCOMPARE(button->sizeHint(), button->QPushButton::sizeHint());
        QCOMPARE(button->minimumSizeHint(), button->QPushButton::minimumSizeHint());
        // A new caption measures anew.
        button->setText(text + QStringLiteral(" again"));
        QCOMPARE(button->sizeHint(), button->QPushButton::sizeHint());
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
    const QWidget* traffic = r.get("TrafficDock");
    QVERIFY(traffic);
    for (QWidget* w : r.form().findChildren<QWidget*>()) {
        if (w->objectName() == QStringLiteral("Label1")) continue; // the title, larger
        const QByteArray what =
            w->metaObject()->className() + QByteArray(" ") + w->objectName().toLatin1();
        QVERIFY2(w->font().family() == windowFont.family(), what.constData());
        QVERIFY2(w->font().pointSizeF() == windowFont.pointSizeF(), what.constData());
        // In the normal weight on purpose: the traffic panel's table of
        // frames, and the additional-status button until a device asks to be
        // read.
        if (w == traffic || traffic->isAncestorOf(w) ||
            w->objectName() == QStringLiteral("ReadMoreStatus"))
            continue;
        QVERIFY2(w->font().bold(), what.constData());
    }
}

namespace {

// No serial devices: listing them changes nothing in the window.
class NoPorts final : public app::PortSource {
public:
    std::vector<app::FoundDevice> devices() const override { return {}; }
};

// What the application delivers once the window has painted.
class AfterFirstPaint final : public QObject {
public:
    bool painted = false;
    int layoutRuns = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted = true;
        if (painted && event->type() == QEvent::LayoutRequest) ++layoutRuns;
        return false;
    }
};

} // namespace

void WindowStartTest::laidOutBeforeTheFirstFrame() {
    // Every layout has run when the window first paints, so the first frame
    // shows everything where it stays and nothing is laid out or painted again
    // behind whatever the event loop has queued by then.
    TForm1 form;
    form.findChild<app::PortCombo*>(QStringLiteral("SPREALCOM"))
        ->setSource(std::make_unique<NoPorts>());
    AfterFirstPaint after;
    QApplication::instance()->installEventFilter(&after);
    form.show();
    QVERIFY(rig::waitFor([&after] { return after.painted; }, 15000));
    // Whatever is still queued is delivered now.
    for (int round = 0; round < 4; ++round)
        QCoreApplication::sendPostedEvents();
    QApplication::instance()->removeEventFilter(&after);
    QCOMPARE(after.layoutRuns, 0);
}

void WindowStartTest::timersArePrecise() {
    WindowRig r(false);
    for (const char* name : {"Timer1", "Timer2", "Timer3"})
        QVERIFY2(r.get<QTimer>(name)->timerType() == Qt::PreciseTimer, name);
}

QTEST_MAIN(WindowStartTest)
#include "tst_window_start.moc"
