// The channel status table that orders the work of the HotSync thread and the
// worker: one entry per channel to process, moving only forward.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

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
int TakeNextChannel();
void MarkChannel(int index, unsigned char value);
unsigned char ChannelStateAt(int index);
// First processed channel, now handled; -2 while some are waiting or taken; -1 when all are final.
int NextProcessedChannel();
void CancelPendingChannels();
bool AllChannelsHandled();
// The worker ended early: what was never taken counts as skipped.
void SkipWaitingChannels();
// Sleeps until a channel changes state or `timeout` passes.
void WaitChannelChange(std::chrono::milliseconds timeout);

// The process-wide cancel flag, set by the worker when it sees the user's cancel.
void SetProcessCancel(bool cancelled);
bool IsProcessCancelled();
