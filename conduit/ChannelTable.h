// The channel status table that orders the work of the HotSync thread and the
// worker: one entry per channel to process, moving only forward. Entries and
// the cancel flag are atomics: the two threads use them without a lock.
// The table is allocated before the worker starts and freed after it ended.
#pragma once
#include <chrono>

enum ChannelState : unsigned char {
    ChannelWaiting = 0,
    ChannelTaken = 1,
    ChannelProcessed = 2,
    ChannelSkipped = 3,
    ChannelHandled = 4,
};

// Process-wide, as the HotSync Manager runs one synchronization at a time.
void AllocChannelTable(int count);
void FreeChannelTable();
int ChannelTableSize();
// The lowest waiting entry becomes taken; -1 when none.
int TakeNextChannel();
void MarkChannel(int index, unsigned char value);
unsigned char ChannelStateAt(int index);
// First processed channel, now handled; -2 while some are waiting or taken; -1 when all are final.
int NextProcessedChannel();
// Waiting and taken entries become skipped.
void CancelPendingChannels();
bool AllChannelsHandled();
// The worker ended: what it will never finish counts as skipped.
void SkipWaitingChannels();

// Counts the changes of the table and of the cancel flag. Read it before
// looking at the table, then wait with it: a change in between is not missed.
unsigned ChannelChangeStamp();
// Sleeps until the stamp differs from `seen`, or `timeout` passed.
void WaitChannelChange(unsigned seen, std::chrono::milliseconds timeout);
// Wakes the waiters without a change of state (the worker ended).
void NotifyChannelChange();

// The process-wide cancel flag, set by the worker when it sees the user's cancel.
void SetProcessCancel(bool cancelled);
bool IsProcessCancelled();
