#include "shell/AlarmMarks.h"

#include <memory>

#include "alarms/AlarmWatch.h"
#include "shell/LoginControl.h"
#include "shell/MainFrame.h"

void ShowAlarmMarks(CAlarmWatch& alarms, CLoginControl& login, CMainFrame& frame) {
    // The instrument whose view the frame shows; empty while it shows none.
    auto shown = std::make_shared<QString>();
    QObject::connect(&login, &CLoginControl::LoginEnded, &alarms,
                     [&alarms, &login, &frame, shown](const QString& name, int result) {
                         if (result != RZ_OK) {
                             return;
                         }
                         *shown = name;
                         // It may be followed already, on the connection the view took over.
                         const std::string instrument = name.toLatin1().toStdString();
                         alarms.Follow(instrument, login.ConnectionId());
                         frame.ShowAlarm(QString::fromLatin1(alarms.AlarmText(instrument).c_str()));
                     });
    QObject::connect(&login, &CLoginControl::ConnectionEnded, &frame,
                     [shown](const QString&) { shown->clear(); });
    QObject::connect(&alarms, &CAlarmWatch::AlarmChanged, &frame,
                     [&frame, shown](const QString& name, bool inAlarm, const QString& alarm) {
                         if (name == *shown) {
                             frame.ShowAlarm(inAlarm ? alarm : QString());
                         }
                     });
}
