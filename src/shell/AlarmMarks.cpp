#include "shell/AlarmMarks.h"

#include "alarms/AlarmWatch.h"
#include "shell/LoginControl.h"
#include "shell/MainFrame.h"

void ShowAlarmMarks(CAlarmWatch& alarms, CLoginControl& login, CMainFrame& frame) {
    QObject::connect(&login, &CLoginControl::LoginEnded, &alarms,
                     [&alarms, &login, &frame](const QString& name, int result) {
                         if (result != RZ_OK) {
                             return;
                         }
                         // It may be followed already, on the connection the view took over.
                         const std::string instrument = name.toLatin1().toStdString();
                         alarms.Follow(instrument, login.ConnectionId());
                         frame.MarkAlarm(name,
                                         QString::fromLatin1(alarms.AlarmText(instrument).c_str()));
                     });
    QObject::connect(&alarms, &CAlarmWatch::AlarmChanged, &frame,
                     [&frame](const QString& name, bool inAlarm, const QString& alarm) {
                         frame.MarkAlarm(name, inAlarm ? alarm : QString());
                     });
}
