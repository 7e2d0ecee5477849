#include "ViewFactory.h"

#include <QPointer>

#include "shell/MainFrame.h"
#include "views/RzView.h"

namespace {

// The manager's hold on a view. The view belongs to the widget that shows it (the main window's
// scroll area once placed), which may destroy it first when the window closes; a view still
// there when its connection closes ends with it, before the connection it points into.
class ViewHold : public IConnectionView {
  public:
    explicit ViewHold(CRZView* view) : view_(view) {}
    ~ViewHold() override { delete view_.data(); }
    ViewHold(const ViewHold&) = delete;
    ViewHold& operator=(const ViewHold&) = delete;

  private:
    QPointer<CRZView> view_;
};

}  // namespace

ConnectionView MakeInstrumentView(CInstrumentConnection& connection, CEventHub& hub, uint32_t id,
                                  CMainFrame& frame) {
    auto* shown = new CRZView(CViewContext{&connection, &hub, id});
    QObject::connect(shown, &CRZView::SizeChanged, &frame, &CMainFrame::ResizeForView);
    QObject::connect(shown, &CRZView::ImageShownChanged, &frame, &CMainFrame::ShowControlBars);
    QObject::connect(shown, &CRZView::CommandStatesChanged, &frame,
                     &CMainFrame::UpdateCommandStates);
    QObject::connect(shown, &CRZView::DataUpdated, &frame, &CMainFrame::ShowDataUpdated);
    ConnectionView made;
    made.widget = shown;
    made.commands = shown;
    made.placed = [shown] { shown->InitialUpdate(); };
    made.owner = std::make_unique<ViewHold>(shown);
    return made;
}
