#include "shell/TraceWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/ResultCodes.h"
#include "ui/PlainText.h"
#include "ui/Widgets.h"

namespace {

constexpr int kPollMs = 500;
const char* const kColumns[] = {
    QT_TRANSLATE_NOOP("CTraceWindow", "Time"), QT_TRANSLATE_NOOP("CTraceWindow", "Request"),
    QT_TRANSLATE_NOOP("CTraceWindow", "Answer"), QT_TRANSLATE_NOOP("CTraceWindow", "Duration"),
    QT_TRANSLATE_NOOP("CTraceWindow", "Result")};

// Kept as one plain line: the copied and saved rows stay one line each, a tab between cells.
QString Cell(const std::string& text) {
    return PlainLine(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

}  // namespace

CTraceWindow::CTraceWindow(std::shared_ptr<const CExchangeTrace> trace, QWidget* parent)
    : QDialog(parent), trace_(std::move(trace)) {
    setWindowTitle(tr("Communication trace"));
    resize(760, 420);

    model_ = new QStandardItemModel(0, 5, this);
    for (int c = 0; c < 5; ++c) {
        model_->setHeaderData(c, Qt::Horizontal, tr(kColumns[c]));
    }
    proxy_ = new QSortFilterProxyModel(this);
    proxy_->setSourceModel(model_);
    proxy_->setFilterKeyColumn(-1);  // any column
    proxy_->setFilterCaseSensitivity(Qt::CaseInsensitive);

    table_ = new QTableView(this);
    table_->setModel(proxy_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setAccessibleName(tr("Exchanges"));
    table_->setItemDelegate(new CPlainItemDelegate(table_));

    auto* filterLabel = new QLabel(tr("&Filter:"), this);
    filter_ = new QLineEdit(this);
    filterLabel->setBuddy(filter_);
    NameAfter(filter_, filterLabel->text());
    connect(filter_, &QLineEdit::textChanged, proxy_,
            [this](const QString& text) { proxy_->setFilterFixedString(text); });

    auto* copy = new QPushButton(tr("&Copy"), this);
    auto* save = new QPushButton(tr("&Save..."), this);
    auto* close = new QPushButton(tr("Close"), this);
    for (QPushButton* button : {copy, save, close}) {
        NameAfter(button, button->text());
        button->setAutoDefault(false);
    }
    connect(copy, &QPushButton::clicked, this, &CTraceWindow::CopyRows);
    connect(save, &QPushButton::clicked, this, &CTraceWindow::SaveRows);
    connect(close, &QPushButton::clicked, this, &QDialog::close);

    auto* top = new QHBoxLayout;
    top->addWidget(filterLabel);
    top->addWidget(filter_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(copy);
    buttons->addWidget(save);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(table_, 1);
    layout->addLayout(buttons);

    poll_ = new QTimer(this);
    poll_->setInterval(kPollMs);
    connect(poll_, &QTimer::timeout, this, &CTraceWindow::Reload);
    Reload();
}

void CTraceWindow::Reload() {
    if (!trace_ || trace_->Added() == shownAdded_) {
        return;
    }
    shownAdded_ = trace_->Added();
    const std::vector<CTraceEntry> entries = trace_->Entries();
    // Follow new exchanges unless the operator scrolled back to read older ones.
    const QScrollBar* bar = table_->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    model_->setRowCount(static_cast<int>(entries.size()));
    for (int row = 0; row < static_cast<int>(entries.size()); ++row) {
        const CTraceEntry& e = entries[static_cast<size_t>(row)];
        const QString cells[] = {
            QDateTime::fromMSecsSinceEpoch(e.wallMs).toString(QStringLiteral("HH:mm:ss.zzz")),
            Cell(e.request),
            Cell(e.answer),
            QStringLiteral("%1 ms").arg(e.durationUs / 1000.0, 0, 'f', 1),
            QString::fromLatin1(ResultCodeName(e.result)),
        };
        for (int c = 0; c < 5; ++c) {
            model_->setData(model_->index(row, c), cells[c]);
        }
    }
    if (atEnd) {
        table_->scrollToBottom();
    }
}

QString CTraceWindow::RowsAsText(bool selectedOnly) const {
    QString text;
    const QItemSelectionModel* selection = table_->selectionModel();
    for (int row = 0; row < proxy_->rowCount(); ++row) {
        if (selectedOnly && !selection->isRowSelected(row, QModelIndex())) {
            continue;
        }
        QStringList cells;
        for (int c = 0; c < 5; ++c) {
            cells << proxy_->index(row, c).data().toString();
        }
        text += cells.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return text;
}

RzExpected<void> CTraceWindow::SaveTo(const QString& path) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text) ||
        file.write(RowsAsText(false).toLatin1()) < 0 || !file.commit()) {
        return RzError(LINK_E_FILE, file.errorString().toStdString());
    }
    return {};
}

void CTraceWindow::CopyRows() {
    const bool selected = table_->selectionModel()->hasSelection();
    QApplication::clipboard()->setText(RowsAsText(selected));
}

void CTraceWindow::SaveRows() {
    const QString path =
        QFileDialog::getSaveFileName(this, tr("Save trace"), QStringLiteral("trace.txt"),
                                     tr("Text files (*.txt);;All files (*)"));
    if (path.isEmpty()) {
        return;
    }
    if (const RzExpected<void> saved = SaveTo(path); !saved) {
        ShowErrorBox(this, tr("The trace could not be saved to %1: %2")
                               .arg(path, QString::fromStdString(saved.error().text)));
    }
}

void CTraceWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Reload();
    poll_->start();
}

void CTraceWindow::hideEvent(QHideEvent* event) {
    poll_->stop();
    QDialog::hideEvent(event);
}
