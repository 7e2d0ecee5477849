#pragma once

class CAlarmWatch;
class CLoginControl;
class CMainFrame;

// The console's part in the alarm watch: `alarms` follows the connection of every log-in that
// `login` makes (and goes on following it where the plant overview polls on over it after the
// log-out), and `frame` marks the tab of each instrument open that is in alarm, and shows the
// alarm of the current tab's instrument on its status bar. All three must outlive the
// connections made here (the program keeps them to its end).
void ShowAlarmMarks(CAlarmWatch& alarms, CLoginControl& login, CMainFrame& frame);
