// hotsync.exe has neither schedule nor notification: the systemd timer and the
// session bus's notifications are Linux's. It says so instead.
#include "hotsync/DesktopCommands.h"

int CmdSchedule(const std::string&, const ScheduleArgs&)
{
    return SayResult(1, "schedule: not in the Windows build (use the Task Scheduler to run hotsync.exe sync "
                        "--no at the times you want)");
}

void NotifyUnwatchedRun(const CSyncRun::Outcome&, const std::string&, const std::string&)
{
    SayResult(1, "--notify: no desktop notification in the Windows build");
}
