#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <string>

#include "session/ReachabilityProbe.h"

class CConnectionManager;
class CLoginControl;
class CMainFrame;
class COverviewModel;
struct CInstrumentModel;

// Follows the registered instruments for the main window's plant overview. While the overview
// is shown, their reachability is probed (the one logged in aside, whose connection is in use)
// and the console's logged-in connection is read from its published model every second; its
// log-in results and its end are noted on its row at once.
class CPlantOverview : public QObject {
    Q_OBJECT
  public:
    // `port` is the instruments' port; `frame`, `login` and `manager` outlive this.
    CPlantOverview(CMainFrame& frame, CLoginControl& login, CConnectionManager& manager,
                   uint16_t port, CProbeOptions options = {});
    ~CPlantOverview() override;

  private:
    // The overview was shown or hidden: probing and reading run only while it is shown.
    void Follow(bool shown);
    void Retarget();
    void OnLoginEnded(const QString& name, int result);
    void OnConnectionEnded(const QString& name);
    // The logged-in row from the connection's published model, and staleness for every row.
    void ReadSession();

    COverviewModel& model_;
    CLoginControl& login_;
    CConnectionManager& manager_;
    uint16_t port_;
    std::string session_;  // the instrument logged in; empty while none is
    std::unique_ptr<CInstrumentModel> snapshot_;
    QTimer tick_;
    CReachabilityProbe probe_;
};
