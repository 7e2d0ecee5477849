// The view marks what it shows as old when no cycle has brought data for more than two
// communication cycles, and the next data takes the mark away by itself.
#include <gtest/gtest.h>

#include <QGraphicsEffect>
#include <QSignalSpy>
#include <chrono>

#include "common/SimFixture.h"
#include "views/ImageWindow.h"
#include "views/RzView.h"
#include "views/SimplePanelDlg.h"

namespace {

using namespace std::chrono_literals;
using StaleData = SimFixture;

TEST_F(StaleData, MarkedAfterTwoCyclesWithoutDataAndClearedByTheNextData) {
    WriteCycle1000();
    StartSim();
    uint32_t id = 0;
    ASSERT_EQ(Login(&id), RZ_OK);
    CInstrumentConnection* connection = Find(id);
    CRZView view(CViewContext{connection, &manager.hub(), id});
    view.InitialUpdate();
    // The view counts from its creation, a moment before this.
    const auto created = std::chrono::steady_clock::now();
    QSignalSpy updated(&view, &CRZView::DataUpdated);

    const struct {
        std::chrono::milliseconds after;  // since the view was made (the last data it knows)
        bool stale;
        const char* text;
    } rows[] = {
        {1000ms, false, ""},
        {3000ms, true, nullptr},
        {25300ms, true, "No data for 25 s"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.after.count());
        view.CheckDataAge(created + row.after);
        EXPECT_EQ(view.DataStale(), row.stale);
        if (row.text != nullptr) {
            EXPECT_EQ(view.ImageWindow()->StaleText().toStdString(), row.text);
        }
        for (QWidget* panel :
             {static_cast<QWidget*>(view.SimplePanel()), view.LoopPanel(), view.ProgramPanel()}) {
            EXPECT_EQ(panel->graphicsEffect() != nullptr, row.stale);
        }
    }
    // The next data clears the mark and says when it came (the connection's timer publishes
    // this event after each cycle; published here, it comes at once and no timer interferes).
    manager.hub().Publish(MakeEventKey(id, HUB_EVENT_DATA_REFRESHED));
    EXPECT_FALSE(view.DataStale());
    EXPECT_TRUE(view.ImageWindow()->StaleText().isEmpty());
    EXPECT_EQ(view.LoopPanel()->graphicsEffect(), nullptr);
    ASSERT_EQ(updated.size(), 1);
    EXPECT_TRUE(updated.last().first().toString().startsWith(QStringLiteral("Updated ")));
}

}  // namespace
