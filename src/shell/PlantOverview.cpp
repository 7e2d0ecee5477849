#include "shell/PlantOverview.h"

#include <algorithm>

#include "session/ConnectionManager.h"
#include "session/CycleWait.h"
#include "session/InstrumentSummary.h"
#include "shell/LoginControl.h"
#include "shell/MainFrame.h"
#include "shell/OverviewModel.h"
#include "shell/OverviewPane.h"

CPlantOverview::CPlantOverview(CMainFrame& frame, CLoginControl& login, CConnectionManager& manager,
                               uint16_t port, CProbeOptions options)
    : model_(frame.Overview()),
      login_(login),
      manager_(manager),
      port_(port),
      snapshot_(std::make_unique<CInstrumentModel>()),
      probe_([this](const CProbeResult& result) { model_.UpdateReach(result); }, options) {
    connect(&model_, &COverviewModel::InstrumentsChanged, this, &CPlantOverview::Retarget);
    connect(&login_, &CLoginControl::LoginEnded, this, &CPlantOverview::OnLoginEnded);
    connect(&login_, &CLoginControl::ConnectionEnded, this, &CPlantOverview::OnConnectionEnded);
    connect(frame.OverviewPane(), &COverviewPane::Shown, this, &CPlantOverview::Follow);
    connect(&tick_, &QTimer::timeout, this, &CPlantOverview::ReadSession);
    Retarget();
    Follow(frame.OverviewPane()->isVisible());
}

CPlantOverview::~CPlantOverview() = default;

void CPlantOverview::Follow(bool shown) {
    probe_.SetActive(shown);
    if (shown) {
        ReadSession();
        tick_.start(1000);
    } else {
        tick_.stop();
    }
}

void CPlantOverview::Retarget() {
    std::vector<CProbeTarget> targets;
    for (const COverviewModel::Instrument& instrument : model_.Instruments()) {
        if (instrument.name != session_) {
            targets.push_back({instrument.name, instrument.address, port_});
        }
    }
    probe_.SetTargets(targets);
}

void CPlantOverview::OnLoginEnded(const QString& name, int result) {
    const std::string instrument = name.toLatin1().toStdString();
    if (result == RZ_OK) {
        session_ = instrument;
        Retarget();
        ReadSession();
    } else if (result == LINK_E_LOGIN) {
        model_.SetLoginRefused(instrument, login_.LoginFailure());
    } else {
        probe_.ProbeSoon(instrument);
    }
}

void CPlantOverview::OnConnectionEnded(const QString& name) {
    const std::string instrument = name.toLatin1().toStdString();
    model_.EndSession(instrument);
    session_.clear();
    Retarget();
    probe_.ProbeSoon(instrument);
}

void CPlantOverview::ReadSession() {
    CInstrumentConnection* connection = nullptr;
    if (!session_.empty() && login_.ConnectionId() != 0 &&
        manager_.FindConnection(login_.ConnectionId(), &connection) == RZ_OK) {
        connection->CopyModel(snapshot_.get());
        // Stale after two cycles without valid values, as the view judges it.
        const int staleAfterMs =
            2 * std::max<int>(connection->commCycle, static_cast<int>(kCycleSliceMs));
        model_.UpdateSession(session_, SummarizeInstrument(*snapshot_, connection->Freshness()),
                             staleAfterMs);
    }
    model_.Tick();
}
