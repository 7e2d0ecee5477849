#pragma once

#include <QTableWidget>
#include <functional>

// The Register dialog's grid: a row-number column drawn as a button face (pressed for the
// current row), a name column and an address column edited in place. A click opens the clicked
// cell's editor; while editing, Tab and Shift+Tab move along the row, Up and Down to the next
// or previous row, each move committing the open editor and opening the next one. Tab past the
// last cell (or Shift+Tab before the first) commits and leaves the grid, so the keyboard can
// reach the buttons; Enter commits and Escape drops the edit.
class CRegisterGrid : public QTableWidget {
    Q_OBJECT
  public:
    enum Column { kNumberColumn = 0, kNameColumn = 1, kAddressColumn = 2 };

    explicit CRegisterGrid(QWidget* parent = nullptr);

    // Every committed text passes through the filter before it is stored.
    void SetCommitFilter(std::function<QString(const QString&)> filter) {
        commitFilter_ = std::move(filter);
    }
    QString Filtered(const QString& text) const {
        return commitFilter_ ? commitFilter_(text) : text;
    }

    void InsertRow(int index, const QString& name, const QString& address);
    QString Text(int row, int column) const;
    void SetText(int row, int column, const QString& text);
    // Selects `row`, kept within the rows present, and scrolls it into view.
    void SetCurrentRow(int row);

    // Commits and closes the open editor, if any.
    void CommitEditor();
    // Opens the editor of cell (row, column) of the name or address column.
    bool EditCell(int row, int column);
    // Moves the open editor by whole rows or columns; false when the move would leave the grid.
    bool MoveEditor(int rows, int columns);
    // Commits the open editor and hands the focus to the next or previous control.
    void LeaveGrid(bool forward);

    // A grid that only shows its rows: no editor opens.
    void SetReadOnly(bool readOnly);
    bool IsReadOnly() const { return readOnly_; }

    // Column widths follow the row count: see RegisterColumnWidths.
    void UpdateColumnWidths();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    std::function<QString(const QString&)> commitFilter_;
    bool readOnly_ = false;
};
