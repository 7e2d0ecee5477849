#include "shell/AlarmMarks.h"

#include "alarms/AlarmWatch.h"
#include "shell/LoginControl.h"
#include "shell/MainFrame.h"

void ShowAlarmMarks(CAlarmWatch& alarms, CLoginControl& login, CMainFrame& frame) {
    QObject::connect(&frame, &CMainFrame::LoginFinished, &alarms, [&alarms, &login](bool done) {
        if (done && login.ConnectionId() != 0) {
            alarms.Follow(login.Instrument(), login.ConnectionId());
        }
    });
    QObject::connect(&alarms, &CAlarmWatch::AlarmChanged, &frame,
                     [&login, &frame](const QString& name, bool inAlarm, const QString& alarm) {
                         if (name == QString::fromLatin1(login.Instrument().c_str())) {
                             frame.ShowAlarm(inAlarm ? alarm : QString());
                         }
                     });
}
