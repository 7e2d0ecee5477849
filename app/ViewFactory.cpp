#include "ViewFactory.h"

#include <QPointer>

#include "shell/MainFrame.h"
#include "views/RzView.h"

namespace {

// The hold as the subscriber that hands the connection's new data on to its view's hub.
constexpr HubSubscriber kHandOn{HUB_CHANNEL_VIEW, 0x80};

// The manager's hold on a view. The view belongs to the widget that shows it (the main window's
// scroll area once placed), which may destroy it first when the window closes; a view still
// there when its connection closes ends with it, before the connection it points into.
//
// Each view has a hub of its own for its display events, so that the views of several
// instruments open at once never hear each other's; the connection's data-refreshed event
// reaches it from the manager's hub, before the subscribers that came after the view.
class ViewHold : public IConnectionView {
  public:
    ViewHold(CEventHub& managerHub, uint32_t id) : managerHub_(managerHub), id_(id) {
        hub_.SetupStandard();
        managerHub_.Subscribe(kHandOn, DataRefreshedEvent(id_), [this](uint32_t refreshed) {
            hub_.Publish(DataRefreshedEvent(id_), refreshed);
        });
    }
    ~ViewHold() override {
        delete view_.data();
        managerHub_.Unsubscribe(kHandOn, DataRefreshedEvent(id_));
    }
    ViewHold(const ViewHold&) = delete;
    ViewHold& operator=(const ViewHold&) = delete;

    CEventHub& Hub() { return hub_; }
    void Hold(CRZView* view) { view_ = view; }

  private:
    CEventHub& managerHub_;
    uint32_t id_;
    CEventHub hub_;
    QPointer<CRZView> view_;
};

}  // namespace

ConnectionView MakeInstrumentView(CInstrumentConnection& connection, CEventHub& hub, uint32_t id,
                                  CMainFrame& frame) {
    auto hold = std::make_unique<ViewHold>(hub, id);
    auto* shown = new CRZView(CViewContext{&connection, &hold->Hub(), id});
    hold->Hold(shown);
    QObject::connect(shown, &CRZView::SizeChanged, &frame,
                     [&frame, shown](int dw, int dh) { frame.ViewResized(shown, dw, dh); });
    QObject::connect(shown, &CRZView::ImageShownChanged, &frame,
                     [&frame, shown](bool image) { frame.ViewImageShown(shown, image); });
    QObject::connect(shown, &CRZView::CommandStatesChanged, &frame,
                     &CMainFrame::UpdateCommandStates);
    QObject::connect(shown, &CRZView::DataUpdated, &frame,
                     [&frame, shown](const QString& text) { frame.ViewDataUpdated(shown, text); });
    ConnectionView made;
    made.widget = shown;
    made.commands = shown;
    made.placed = [shown] { shown->InitialUpdate(); };
    // A hidden tab's view fetches no screen image; shown again, it fetches one at once while its
    // image window shows.
    QPointer<CRZView> guarded(shown);
    made.shown = [guarded](bool tabShown) {
        if (guarded) {
            guarded->SetTabShown(tabShown);
        }
    };
    made.owner = std::move(hold);
    return made;
}
