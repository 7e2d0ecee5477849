#include "registry_ui/RegisterGrid.h"

#include <QApplication>
#include <QFontDatabase>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>

#include "registry_ui/RegisterRules.h"
#include "ui/IpAddressEdit.h"
#include "ui/PlainText.h"
#include "ui/Widgets.h"

namespace {

// The row number, drawn from the row's index so that it follows inserts, deletes and moves.
class CNumberDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionButton button;
        button.rect = option.rect;
        button.text = QString::number(index.row() + 1);
        button.palette = option.palette;
        const bool current = option.state & QStyle::State_Selected;
        button.state =
            QStyle::State_Enabled | (current ? QStyle::State_Sunken : QStyle::State_Raised);
        const QWidget* widget = option.widget;
        QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_PushButton, &button, painter, widget);
    }
};

// Editors of the name and address cells, with the grid's keys. A name read from the file shows
// as one plain line; its editor gets it as it is.
class CCellDelegate : public CPlainItemDelegate {
  public:
    CCellDelegate(CRegisterGrid* grid, bool address)
        : CPlainItemDelegate(grid), grid_(grid), address_(address) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex&) const override {
        QLineEdit* editor = nullptr;
        if (address_) {
            editor = new CIpAddressEdit(parent);
            NameAfter(editor, CRegisterGrid::tr("IP address"));
        } else {
            editor = new QLineEdit(parent);
            editor->setValidator(new CLatin1Validator(editor));
            NameAfter(editor, CRegisterGrid::tr("RZ name"));
        }
        editor->setFrame(false);
        return editor;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        QString text = index.data().toString();
        if (address_) {
            text = text == kEmptyIpCell ? QString() : text.remove(u' ');
        }
        static_cast<QLineEdit*>(editor)->setText(text);
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override {
        QString text = static_cast<QLineEdit*>(editor)->text();
        if (address_) {
            text = IpCellText(IpAddressParts(text));
        }
        model->setData(index, grid_->Filtered(text));
    }

  protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) {
            return QStyledItemDelegate::eventFilter(object, event);
        }
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        switch (key->key()) {
            case Qt::Key_Tab:
                if (!grid_->MoveEditor(0, 1)) {
                    grid_->LeaveGrid(true);
                }
                return true;
            case Qt::Key_Backtab:
                if (!grid_->MoveEditor(0, -1)) {
                    grid_->LeaveGrid(false);
                }
                return true;
            case Qt::Key_Up:
            case Qt::Key_Down:
                if (!plain) {
                    break;
                }
                grid_->MoveEditor(key->key() == Qt::Key_Up ? -1 : 1, 0);
                return true;
            case Qt::Key_Return:
            case Qt::Key_Enter:
                grid_->CommitEditor();
                return true;
            case Qt::Key_Escape:
                emit closeEditor(static_cast<QWidget*>(object), RevertModelCache);
                return true;
            default:
                break;
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }

  private:
    CRegisterGrid* grid_;
    bool address_;
};

}  // namespace

CRegisterGrid::CRegisterGrid(QWidget* parent) : QTableWidget(0, 3, parent) {
    setHorizontalHeaderLabels({tr("Col 0"), tr("Col 1"), tr("Col 2")});
    const char* const spoken[] = {QT_TR_NOOP("No."), QT_TR_NOOP("RZ name"),
                                  QT_TR_NOOP("IP address")};
    for (int column = 0; column < 3; ++column) {
        horizontalHeaderItem(column)->setData(Qt::AccessibleTextRole, tr(spoken[column]));
        horizontalHeaderItem(column)->setToolTip(tr(spoken[column]));
    }
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(fontMetrics().height() + 4);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionMode(SingleSelection);
    setSelectionBehavior(SelectRows);
    setShowGrid(true);
    setTabKeyNavigation(false);
    setEditTriggers(EditKeyPressed | AnyKeyPressed | DoubleClicked);
    setItemDelegateForColumn(kNumberColumn, new CNumberDelegate(this));
    setItemDelegateForColumn(kNameColumn, new CCellDelegate(this, false));
    setItemDelegateForColumn(kAddressColumn, new CCellDelegate(this, true));
    NameAfter(this, tr("Registered RZ"));
}

void CRegisterGrid::InsertRow(int index, const QString& name, const QString& address) {
    insertRow(index);
    auto* number = new QTableWidgetItem;
    number->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    setItem(index, kNumberColumn, number);
    setItem(index, kNameColumn, new QTableWidgetItem(name));
    // Fixed pitch, so that the address parts, right-aligned with blanks, line up.
    auto* addressItem = new QTableWidgetItem(address);
    addressItem->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setItem(index, kAddressColumn, addressItem);
    UpdateColumnWidths();
}

QString CRegisterGrid::Text(int row, int column) const {
    const QTableWidgetItem* cell = item(row, column);
    return cell != nullptr ? cell->text() : QString();
}

void CRegisterGrid::SetText(int row, int column, const QString& text) {
    if (QTableWidgetItem* cell = item(row, column)) {
        cell->setText(text);
    }
}

void CRegisterGrid::SetCurrentRow(int row) {
    if (rowCount() == 0) {
        return;
    }
    row = std::clamp(row, 0, rowCount() - 1);
    const int column = std::max(currentColumn(), static_cast<int>(kNameColumn));
    setCurrentCell(row, column);
    scrollTo(model()->index(row, column));
}

void CRegisterGrid::CommitEditor() {
    QWidget* editor = indexWidget(currentIndex());
    if (editor != nullptr && state() == EditingState) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

bool CRegisterGrid::EditCell(int row, int column) {
    if (readOnly_ || row < 0 || row >= rowCount() || column < kNameColumn ||
        column > kAddressColumn) {
        return false;
    }
    const QModelIndex target = model()->index(row, column);
    setCurrentIndex(target);
    scrollTo(target);
    return edit(target, AllEditTriggers, nullptr);
}

bool CRegisterGrid::MoveEditor(int rows, int columns) {
    const int row = currentRow() + rows;
    const int column = currentColumn() + columns;
    if (row < 0 || row >= rowCount() || column < kNameColumn || column > kAddressColumn) {
        return false;
    }
    CommitEditor();
    return EditCell(row, column);
}

void CRegisterGrid::LeaveGrid(bool forward) {
    CommitEditor();
    focusNextPrevChild(forward);
}

void CRegisterGrid::SetReadOnly(bool readOnly) {
    readOnly_ = readOnly;
    setEditTriggers(readOnly ? NoEditTriggers : EditKeyPressed | AnyKeyPressed | DoubleClicked);
}

void CRegisterGrid::UpdateColumnWidths() {
    const int width = this->width() - 2 * frameWidth();
    const auto widths =
        RegisterColumnWidths(width, rowCount(), verticalScrollBar()->sizeHint().width());
    for (int column = 0; column < 3; ++column) {
        setColumnWidth(column, widths[static_cast<size_t>(column)]);
    }
}

void CRegisterGrid::mousePressEvent(QMouseEvent* event) {
    QTableWidget::mousePressEvent(event);
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && index.isValid()) {
        EditCell(index.row(), index.column());
    }
}

void CRegisterGrid::resizeEvent(QResizeEvent* event) {
    QTableWidget::resizeEvent(event);
    UpdateColumnWidths();
}
