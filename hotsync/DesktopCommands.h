// The commands of hotsync that a desktop needs beside the synchronization
// itself: a user renamed or removed, the schedule of a user's runs, the
// notification at the end of a run nobody watched, and the shipped defaults.
#pragma once
#include <string>

#include "hotsync/SyncRun.h"

struct ScheduleArgs {
    std::string user, handheld, every, daily;
    bool off = false;
};

// Prints what a command did (standard output) or why it failed (standard
// error, after "hotsync: "), and gives the exit status.
int SayResult(int status, const std::string& text);
int CmdUserRemove(const std::string& home, const std::string& name, bool deleteFolder);
int CmdUserRename(const std::string& home, const std::string& name, const std::string& newName);
// The schedule and the notification are Linux's (a systemd user timer, the
// session bus); the Windows build says so.
int CmdSchedule(const std::string& home, const ScheduleArgs& args);
// Shows the run's verdict as a desktop notification; when the person clicks
// a failure's, opens the HotSync window on its log (waits a bounded time).
void NotifyUnwatchedRun(const CSyncRun::Outcome& outcome, const std::string& user, const std::string& handheld);
// Imports the shipped defaults when the store lacks them, and says so.
void ApplyShippedDefaults();
