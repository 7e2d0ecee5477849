#include "shell/OverviewPane.h"

#include <QAction>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QToolTip>
#include <algorithm>

#include "shell/OverviewModel.h"
#include "ui/FlatLook.h"
#include "ui/PlainText.h"

namespace {

// Plain cells; a stale row greyed as the palette greys disabled text, an alarm in bold on the
// alarm colour (the model's), and the cell's own tip (the reason, the tags of the values) as one
// plain line.
class COverviewDelegate : public CPlainItemDelegate {
  public:
    using CPlainItemDelegate::CPlainItemDelegate;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
        if (event == nullptr || view == nullptr || event->type() != QEvent::ToolTip) {
            return CPlainItemDelegate::helpEvent(event, view, option, index);
        }
        const QString tip = PlainToolTip(index.data(Qt::ToolTipRole).toString());
        if (tip.isEmpty()) {
            QToolTip::hideText();
        } else {
            QToolTip::showText(event->globalPos(), tip, view->viewport(), option.rect);
        }
        return true;
    }

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        CPlainItemDelegate::initStyleOption(option, index);
        if (index.data(COverviewModel::kStaleRole).toBool()) {
            option->state &= ~QStyle::State_Enabled;
        }
        if (index.data(COverviewModel::kAlarmRole).toBool()) {
            option->font.setBold(true);
            // Selected, it stays red.
            option->palette.setColor(QPalette::Highlight, AlarmColour().darker(150));
            option->palette.setColor(QPalette::HighlightedText, Qt::white);
        }
    }
};

}  // namespace

COverviewPane::COverviewPane(COverviewModel* model, QWidget* parent)
    : QTableView(parent),
      source_(model),
      order_(new COverviewOrder(model, this)),
      acknowledge_(new QAction(tr("Acknowledge alarm"), this)),
      logout_(new QAction(tr("Log out"), this)) {
    setModel(order_);
    setItemDelegate(new COverviewDelegate(this));
    setAccessibleName(tr("Plant overview"));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);  // Tab leaves the table, as from any other input
    setAlternatingRowColors(true);
    setWordWrap(false);
    verticalHeader()->hide();
    horizontalHeader()->setStretchLastSection(true);
    // The columns fit their contents. Not by the header's ResizeToContents mode, which measures
    // every cell of the table again at each change of any, 50 rows' worth of text layout once a
    // second per instrument polled: the whole table is measured when its rows come or go or move,
    // and a changed cell that needs more room widens its column (dataChanged).
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    const auto fit = [this] {
        measuredLengths_.clear();
        resizeColumnsToContents();
    };
    connect(order_, &QAbstractItemModel::modelReset, this, fit);
    connect(order_, &QAbstractItemModel::layoutChanged, this, fit);
    connect(order_, &QAbstractItemModel::rowsInserted, this, fit);
    connect(order_, &QAbstractItemModel::rowsRemoved, this, fit);
    resizeColumnsToContents();
    connect(this, &QAbstractItemView::doubleClicked, this, &COverviewPane::Open);

    acknowledge_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    acknowledge_->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    acknowledge_->setStatusTip(
        tr("Acknowledge the alarm of the instrument selected in the overview"));
    addAction(acknowledge_);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(acknowledge_, &QAction::triggered, this, [this] {
        const QModelIndex row = order_->mapToSource(currentIndex());
        if (row.isValid() && row.data(COverviewModel::kAlarmRole).toBool()) {
            emit AcknowledgeRequested(row.row());
        }
    });
    logout_->setStatusTip(tr("Log out from the instrument selected in the overview"));
    addAction(logout_);
    connect(logout_, &QAction::triggered, this, [this] {
        const QModelIndex row = order_->mapToSource(currentIndex());
        if (row.isValid() && source_->StateAt(row.row()) == OverviewState::kLoggedIn) {
            emit LogoutRequested(row.row());
        }
    });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            &COverviewPane::UpdateAcknowledge);
    connect(order_, &QAbstractItemModel::dataChanged, this, &COverviewPane::UpdateAcknowledge);
    connect(order_, &QAbstractItemModel::layoutChanged, this, &COverviewPane::UpdateAcknowledge);
    connect(order_, &QAbstractItemModel::modelReset, this, &COverviewPane::UpdateAcknowledge);
    UpdateAcknowledge();
}

void COverviewPane::UpdateAcknowledge() {
    acknowledge_->setEnabled(isVisible() &&
                             currentIndex().data(COverviewModel::kAlarmRole).toBool());
    const QModelIndex row = order_->mapToSource(currentIndex());
    logout_->setEnabled(isVisible() && row.isValid() &&
                        source_->StateAt(row.row()) == OverviewState::kLoggedIn);
}

void COverviewPane::dataChanged(const QModelIndex& first, const QModelIndex& last,
                                const QList<int>& roles) {
    QTableView::dataChanged(first, last, roles);
    // A cell is measured again when its text grew longer, or with its whole row (whose font
    // may have changed): a row's values and time come again every cycle, mostly as long as
    // before, and measuring a text lays it out.
    const bool wholeRow = first.column() == 0 && last.column() == COverviewModel::kColumnCount - 1;
    const int grid = showGrid() ? 1 : 0;  // as the table counts a column's room
    for (int row = first.row(); row <= last.row(); ++row) {
        const int sourceRow = order_->mapToSource(order_->index(row, 0)).row();
        if (sourceRow < 0) {
            continue;
        }
        if (measuredLengths_.size() <= static_cast<size_t>(sourceRow)) {
            measuredLengths_.resize(static_cast<size_t>(sourceRow) + 1);
        }
        auto& lengths = measuredLengths_[static_cast<size_t>(sourceRow)];
        for (int column = first.column(); column <= last.column(); ++column) {
            const QModelIndex cell = order_->index(row, column);
            const auto length = static_cast<int>(cell.data().toString().size());
            if (!wholeRow && length <= lengths[static_cast<size_t>(column)]) {
                continue;
            }
            lengths[static_cast<size_t>(column)] = length;
            const int width = sizeHintForIndex(cell).width() + grid;
            if (width > columnWidth(column)) {
                setColumnWidth(column, width);
            }
        }
    }
}

void COverviewPane::Open(const QModelIndex& shown) {
    const QModelIndex row = order_->mapToSource(shown);
    if (row.isValid()) {
        emit OpenRequested(row.row());
    }
}

void COverviewPane::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && currentIndex().isValid()) {
        Open(currentIndex());
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void COverviewPane::showEvent(QShowEvent* event) {
    QTableView::showEvent(event);
    // The keyboard reaches a row at once.
    if (!currentIndex().isValid() && order_->rowCount() > 0) {
        setCurrentIndex(order_->index(0, 0));
    }
    UpdateAcknowledge();
    emit Shown(true);
}

void COverviewPane::hideEvent(QHideEvent* event) {
    QTableView::hideEvent(event);
    acknowledge_->setEnabled(false);
    logout_->setEnabled(false);
    emit Shown(false);
}
