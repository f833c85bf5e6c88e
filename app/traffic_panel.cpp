#include "app/traffic_panel.h"

#include "host/traffic_log.h"

#include <QAction>
#include <QClipboard>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace app {

namespace {

using Column = host::TrafficLog::Column;

// Starting widths: room for the longest usual text of each column (or its
// header); the meaning gets a good share, the bytes take what is left.
struct ColumnWidth {
    Column column;
    const char* sample;
};
constexpr ColumnWidth kWidths[] = {
    {Column::Time, "00:00:00.000"},
    {Column::SincePrevious, "99999"},
    {Column::Direction, "from device"},
    {Column::Meaning, "reply from device 26 05 010203: 3 Read Dynamic Variables And Loop"},
    {Column::Preambles, "Preambles"},
    {Column::Master, "secondary"},
    {Column::BurstBit, "Burst bit"},
    {Column::ByteCount, "Byte count"},
};
// Rows the panel shows at least when it opens.
constexpr int kVisibleRows = 12;

const QString kTextFilter = QStringLiteral("Text, one line per row (*.txt)");
const QString kCaptureFilter = QStringLiteral("Capture for Wireshark (*.pcapng)");

// The table copies whole rows: the item view's own Ctrl+C copies one cell.
class TrafficTable : public QTableView {
public:
    TrafficTable(std::function<void()> copyRows, QWidget* parent)
        : QTableView(parent), copyRows_(std::move(copyRows)) {}

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->matches(QKeySequence::Copy)) {
            copyRows_();
            event->accept();
            return;
        }
        QTableView::keyPressEvent(event);
    }

private:
    std::function<void()> copyRows_;
};

QPushButton* makeButton(const char* name, const QString& caption, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

} // namespace

TrafficPanel::TrafficPanel(host::TrafficLog& log, std::function<void(const QString&)> showError,
                           QWidget* parent)
    : QDockWidget(QStringLiteral("Traffic"), parent), log_(log), showError_(std::move(showError)) {
    setObjectName(QStringLiteral("TrafficDock"));

    toggle_ = makeButton("TrafficButton", QStringLiteral("Traffic"), nullptr);
    toggle_->setCheckable(true);
    toggle_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    toggle_->setToolTip(QStringLiteral("Show or hide every frame on the line (Ctrl+T)"));
    connect(toggle_, &QPushButton::toggled, this, &TrafficPanel::showPanel);
    connect(toggleViewAction(), &QAction::toggled, toggle_, &QPushButton::setChecked);

    auto* content = new QWidget(this);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(4, 4, 4, 4);

    auto* bar = new QHBoxLayout;
    auto* clear = makeButton("TrafficClear", QStringLiteral("Clear"), content);
    auto* copy = makeButton("TrafficCopy", QStringLiteral("Copy"), content);
    auto* save = makeButton("TrafficSave", QStringLiteral("Save traffic…"), content);
    copy->setToolTip(QStringLiteral("Copy the selected rows as text (Ctrl+C)"));
    save->setToolTip(QStringLiteral("Save every row as text (.txt) or as a capture Wireshark "
                                    "reads (.pcapng)"));
    copy->setEnabled(false);
    count_ = new QLabel(content);
    count_->setObjectName(QStringLiteral("TrafficCount"));
    bar->addWidget(clear);
    bar->addWidget(copy);
    bar->addWidget(save);
    bar->addStretch(1);
    bar->addWidget(count_);
    layout->addLayout(bar);

    auto* split = new QSplitter(Qt::Horizontal, content);
    view_ = new TrafficTable([this] { copySelection(); }, split);
    view_->setObjectName(QStringLiteral("TrafficView"));
    view_->setModel(&log_);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setWordWrap(false);
    view_->setAlternatingRowColors(true);
    view_->verticalHeader()->hide();
    view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view_->horizontalHeader()->setStretchLastSection(true);
    view_->horizontalHeader()->setHighlightSections(false);

    details_ = new QPlainTextEdit(split);
    details_->setObjectName(QStringLiteral("TrafficDetails"));
    details_->setReadOnly(true);
    details_->setPlaceholderText(QStringLiteral("Select a row to see every field"));
    split->addWidget(view_);
    split->addWidget(details_);
    split->setStretchFactor(0, 5);
    split->setStretchFactor(1, 2);
    layout->addWidget(split, 1);
    setWidget(content);

    connect(copy, &QPushButton::clicked, this, &TrafficPanel::copySelection);
    connect(clear, &QPushButton::clicked, &log_, &host::TrafficLog::clear);
    connect(save, &QPushButton::clicked, this, &TrafficPanel::chooseFileAndSave);

    // A reset or dropped rows take the selection with them without a
    // selectionChanged, so those update the button too.
    const auto copyable = [this, copy] {
        copy->setEnabled(view_->selectionModel()->hasSelection());
    };
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, copy, copyable);
    connect(&log_, &QAbstractItemModel::modelReset, copy, copyable);
    connect(&log_, &QAbstractItemModel::rowsRemoved, copy, copyable);
    connect(view_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &TrafficPanel::showDetails);
    connect(&log_, &QAbstractItemModel::modelReset, this, [this] {
        details_->clear();
        updateCount();
    });
    connect(&log_, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        const QScrollBar* bar = view_->verticalScrollBar();
        atBottom_ = bar->value() == bar->maximum();
    });
    connect(&log_, &host::TrafficLog::rowsLogged, this, [this] {
        updateCount();
        followNewRows();
    });
    connect(this, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (visible && atBottom_) view_->scrollToBottom();
    });
    updateCount();
}

void TrafficPanel::takeFontAndSizes() {
    if (sized_) return;
    sized_ = true;
    // The window's bold face suits its few captions, not a table of frames.
    QFont plain = font();
    plain.setBold(false);
    setFont(plain);
    // Fixed row heights and widths: nothing measures 100,000 rows.
    view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 6);
    const QFontMetrics metrics = view_->fontMetrics();
    const QFontMetrics headerMetrics(view_->horizontalHeader()->font());
    for (const ColumnWidth& w : kWidths) {
        const QString header = log_.headerData(w.column, Qt::Horizontal).toString();
        view_->setColumnWidth(w.column, std::max(metrics.horizontalAdvance(QLatin1String(w.sample)),
                                                 headerMetrics.horizontalAdvance(header)) +
                                            24);
    }
    view_->setMinimumHeight(view_->verticalHeader()->defaultSectionSize() * kVisibleRows);
}

void TrafficPanel::showEvent(QShowEvent* event) {
    takeFontAndSizes(); // shown some other way than by its button
    QDockWidget::showEvent(event);
}

void TrafficPanel::showPanel(bool show) {
    if (show) takeFontAndSizes();
    // Where the screen has room, the window grows by the panel rather than
    // squeezing the pages, and gives the room back when the panel goes.
    QWidget* frame = window();
    if (show && !isVisible() && frame != this && !frame->isMaximized() && !frame->isFullScreen() &&
        !isFloating()) {
        const QScreen* screen = frame->screen();
        const int room =
            screen ? screen->availableGeometry().height() - frame->frameGeometry().height() : 0;
        grown_ = std::clamp(sizeHint().height(), 0, std::max(0, room));
        if (grown_ > 0) frame->resize(frame->width(), frame->height() + grown_);
    }
    setVisible(show);
    if (!show && grown_ > 0) {
        frame->resize(frame->width(), frame->height() - grown_);
        grown_ = 0;
    }
}

void TrafficPanel::showDetails() {
    const QModelIndex current = view_->selectionModel()->currentIndex();
    details_->setPlainText(current.isValid() ? log_.details(current.row()) : QString());
}

void TrafficPanel::updateCount() {
    const qint64 rows = log_.rowCount() - (log_.droppedRows() > 0 ? 1 : 0);
    QString text = rows == 1 ? QStringLiteral("1 row") : QStringLiteral("%1 rows").arg(rows);
    if (log_.droppedRows() > 0) text += QStringLiteral(", %1 dropped").arg(log_.droppedRows());
    count_->setText(text);
}

void TrafficPanel::followNewRows() {
    // Stays on the newest row while the user has not scrolled away from it.
    if (atBottom_ && isVisible()) view_->scrollToBottom();
}

QString TrafficPanel::selectedText() const {
    QList<int> rows;
    for (const QModelIndex& index : view_->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    QString text;
    for (int row : rows)
        text += log_.rowText(row) + u'\n';
    return text;
}

void TrafficPanel::copySelection() {
    const QString text = selectedText();
    if (!text.isEmpty()) QGuiApplication::clipboard()->setText(text);
}

void TrafficPanel::chooseFileAndSave() {
    auto* dialog = new QFileDialog(this, QStringLiteral("Save traffic"));
    dialog->setObjectName(QStringLiteral("TrafficSaveDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The same dialog on every desktop, and one a test can fill in.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setNameFilters({kTextFilter, kCaptureFilter});
    dialog->setDefaultSuffix(QStringLiteral("txt"));
    connect(dialog, &QFileDialog::filterSelected, dialog, [dialog](const QString& filter) {
        dialog->setDefaultSuffix(filter == kCaptureFilter ? QStringLiteral("pcapng")
                                                          : QStringLiteral("txt"));
    });
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& path) {
        if (!log_.save(path) && showError_)
            showError_(QStringLiteral("The traffic was not saved.\n%1").arg(log_.errorString()));
    });
    dialog->open();
}

TrafficPanel* addTrafficPanel(QMainWindow& window, host::TrafficLog& log,
                              std::function<void(const QString&)> showError) {
    auto* panel = new TrafficPanel(log, std::move(showError), &window);
    window.addDockWidget(Qt::BottomDockWidgetArea, panel);
    panel->hide();
    return panel;
}

} // namespace app
