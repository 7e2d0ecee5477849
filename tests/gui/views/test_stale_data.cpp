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

TEST_F(StaleData, MarkedAfterTwoCyclesWithoutDataAndClearedByTheNextCycle) {
    WriteCycle1000();
    StartSim();
    uint32_t id = 0;
    ASSERT_EQ(Login(&id), RZ_OK);
    CInstrumentConnection* connection = Find(id);
    const auto created = std::chrono::steady_clock::now();
    CRZView view(CViewContext{connection, &manager.hub(), id});
    view.InitialUpdate();
    QSignalSpy updated(&view, &CRZView::DataUpdated);

    const struct {
        std::chrono::milliseconds after;  // since the view was made (the last data it knows)
        bool stale;
        const char* text;
    } rows[] = {
        {1900ms, false, ""},
        {2600ms, true, "No data for 2 s"},
        {25300ms, true, "No data for 25 s"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.after.count());
        view.CheckDataAge(created + row.after);
        EXPECT_EQ(view.DataStale(), row.stale);
        EXPECT_EQ(view.ImageWindow()->StaleText().toStdString(), row.text);
        for (QWidget* panel :
             {static_cast<QWidget*>(view.SimplePanel()), view.LoopPanel(), view.ProgramPanel()}) {
            EXPECT_EQ(panel->graphicsEffect() != nullptr, row.stale);
        }
    }
    // The cycle's next data clears the mark and says when it came.
    ASSERT_TRUE(ProcessEventsUntil([&] { return !view.DataStale(); }));
    EXPECT_TRUE(view.ImageWindow()->StaleText().isEmpty());
    EXPECT_EQ(view.LoopPanel()->graphicsEffect(), nullptr);
    ASSERT_FALSE(updated.isEmpty());
    EXPECT_TRUE(updated.last().first().toString().startsWith(QStringLiteral("Updated ")));
}

}  // namespace
