#include "ViewFactory.h"

#include "shell/MainFrame.h"
#include "views/RzView.h"

ConnectionView MakeInstrumentView(CInstrumentConnection& connection, CEventHub& hub, uint32_t id,
                                  CMainFrame& frame) {
    auto view = std::make_unique<CRZView>(CViewContext{&connection, &hub, id});
    CRZView* shown = view.get();
    QObject::connect(shown, &CRZView::SizeChanged, &frame, &CMainFrame::ResizeForView);
    QObject::connect(shown, &CRZView::ImageShownChanged, &frame, &CMainFrame::ShowControlBars);
    QObject::connect(shown, &CRZView::CommandStatesChanged, &frame,
                     &CMainFrame::UpdateCommandStates);
    QObject::connect(shown, &CRZView::DataUpdated, &frame, &CMainFrame::ShowDataUpdated);
    ConnectionView made;
    made.widget = shown;
    made.commands = shown;
    made.placed = [shown] { shown->InitialUpdate(); };
    made.owner = std::move(view);
    return made;
}
