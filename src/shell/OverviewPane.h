#pragma once

#include <QTableView>
#include <array>
#include <vector>

#include "shell/OverviewModel.h"

class QAction;

// The plant overview as a table: a row per registered instrument, those that need attention
// first. It follows the desktop's palette: a stale row is drawn as disabled text, a row in alarm
// in bold white on the alarm colour (a darker one while selected). Every cell gives a screen
// reader its column and text; text from an instrument or the registry shows as one plain line
// with the whole of it in the tool tip. Enter or Return on a row, or a double click, asks for
// that instrument to be opened. "Acknowledge alarm" (the context menu, Ctrl+K, or wherever the
// frame puts AcknowledgeAction) asks for the alarm of the current row to be acknowledged; it is
// enabled while the pane shows and that row is logged in and in alarm. "Log out" (the context
// menu, or wherever the frame puts LogoutAction) asks for the instrument of the current row to
// be logged out; it is enabled while the pane shows and that row is logged in.
class COverviewPane : public QTableView {
    Q_OBJECT
  public:
    COverviewPane(COverviewModel* model, QWidget* parent = nullptr);

    COverviewModel* Source() const { return source_; }
    COverviewOrder* Order() const { return order_; }
    QAction* AcknowledgeAction() const { return acknowledge_; }
    QAction* LogoutAction() const { return logout_; }

  signals:
    // The instrument of `row` of the overview model (not of the order shown) is to be opened.
    void OpenRequested(int row);
    // The alarm of the instrument of `row` of the overview model is to be acknowledged.
    void AcknowledgeRequested(int row);
    // The instrument of `row` of the overview model is to be logged out.
    void LogoutRequested(int row);
    // The pane was shown or hidden.
    void Shown(bool shown);

  protected:
    void dataChanged(const QModelIndex& first, const QModelIndex& last,
                     const QList<int>& roles = QList<int>()) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void Open(const QModelIndex& shown);
    void UpdateAcknowledge();

    COverviewModel* source_;
    COverviewOrder* order_;
    QAction* acknowledge_;
    QAction* logout_;
    // Per row of the overview model: the length of each cell's text when it was last measured.
    std::vector<std::array<int, COverviewModel::kColumnCount>> measuredLengths_;
};
