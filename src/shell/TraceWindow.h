#pragma once

#include <QDialog>
#include <memory>

#include "platform/Expected.h"
#include "session/ExchangeTrace.h"

class QLineEdit;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;
class QTimer;

// The communication trace of the logged-in connection: its last exchanges, newest last, with a
// filter, copy and save as text. It reads the trace the connection writes (a short lock, never
// an exchange) twice a second while it is shown, and only when something was added.
class CTraceWindow : public QDialog {
    Q_OBJECT
  public:
    explicit CTraceWindow(std::shared_ptr<const CExchangeTrace> trace, QWidget* parent = nullptr);

    // Reads the trace again when it has grown.
    void Reload();
    // The shown rows as text, one exchange a line, columns separated by tabs.
    QString RowsAsText(bool selectedOnly) const;
    QLineEdit* FilterBox() const { return filter_; }
    QTableView* Table() const { return table_; }
    const CExchangeTrace* Source() const { return trace_.get(); }

    // Writes the shown rows to `path`; LINK_E_FILE, with the system's reason as its text, when
    // it cannot.
    RzExpected<void> SaveTo(const QString& path) const;

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void CopyRows();
    void SaveRows();

    std::shared_ptr<const CExchangeTrace> trace_;
    uint64_t shownAdded_ = ~uint64_t{0};
    QStandardItemModel* model_ = nullptr;
    QSortFilterProxyModel* proxy_ = nullptr;
    QTableView* table_ = nullptr;
    QLineEdit* filter_ = nullptr;
    QTimer* poll_ = nullptr;
};
