#include "shell/OverviewPane.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QToolTip>

#include "shell/OverviewModel.h"
#include "ui/PlainText.h"

namespace {

// Plain cells; a stale row greyed as the palette greys disabled text, an alarm in bold, and
// the cell's own tip (the reason, the tags of the values) as one plain line.
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
        }
    }
};

}  // namespace

COverviewPane::COverviewPane(COverviewModel* model, QWidget* parent)
    : QTableView(parent), source_(model), order_(new COverviewOrder(model, this)) {
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
    horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    connect(this, &QAbstractItemView::doubleClicked, this, &COverviewPane::Open);
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
    emit Shown(true);
}

void COverviewPane::hideEvent(QHideEvent* event) {
    QTableView::hideEvent(event);
    emit Shown(false);
}
