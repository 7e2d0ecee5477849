#include <gtest/gtest.h>

#include <QFile>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <memory>
#include <string>

#include "session/ExchangeTrace.h"
#include "shell/TraceWindow.h"

namespace {

void Add(CExchangeTrace& trace, const std::string& request, const std::string& answer,
         RzResult result = RZ_OK) {
    trace.Add(0, request.data(), request.size(), answer.data(), answer.size(), 1500, result);
}

TEST(TraceWindow, ShowsExchangesNewestLastFilteredAndSaved) {
    auto trace = std::make_shared<CExchangeTrace>();
    Add(*trace, "FD 1,2", "EA");
    Add(*trace, "FC GET", "PNG 245,312 bytes");
    CTraceWindow window(trace);
    EXPECT_EQ(window.Table()->model()->rowCount(), 2);

    Add(*trace, "CA1,1", "E1", REPLY_ERROR);
    window.Reload();
    const QString all = window.RowsAsText(false);
    const QStringList lines = all.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].contains(QStringLiteral("\tFD 1,2\tEA\t1.5 ms\t")));
    EXPECT_TRUE(lines[2].contains(QStringLiteral("CA1,1\tE1")));
    EXPECT_TRUE(lines[2].endsWith(QString::fromLatin1(ResultCodeName(REPLY_ERROR))));

    window.FilterBox()->setText(QStringLiteral("png"));
    EXPECT_EQ(window.Table()->model()->rowCount(), 1);
    EXPECT_TRUE(window.RowsAsText(false).contains(QStringLiteral("FC GET")));

    QTemporaryDir dir;
    QString error;
    ASSERT_TRUE(window.SaveTo(dir.filePath(QStringLiteral("trace.txt")), &error));
    QFile saved(dir.filePath(QStringLiteral("trace.txt")));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromLatin1(saved.readAll()), window.RowsAsText(false));
    EXPECT_FALSE(window.SaveTo(dir.filePath(QStringLiteral("missing/trace.txt")), &error));
    EXPECT_FALSE(error.isEmpty());
}

}  // namespace
