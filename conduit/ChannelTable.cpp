#include "conduit/ChannelTable.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace {

std::unique_ptr<std::atomic<unsigned char>[]> g_table;
std::atomic<int> g_size{0};
std::atomic<bool> g_cancel{false};

std::mutex g_changeMutex;
std::condition_variable g_changed;
unsigned g_stamp = 0;

bool InRange(int index)
{
    return index >= 0 && index < g_size.load();
}

} // namespace

void AllocChannelTable(int count)
{
    if (count < 0) count = 0;
    auto table = std::make_unique<std::atomic<unsigned char>[]>(std::size_t(count));
    for (int i = 0; i < count; ++i) table[i].store(ChannelWaiting);
    g_size.store(0);
    g_table = std::move(table);
    g_size.store(count);
    NotifyChannelChange();
}

void FreeChannelTable()
{
    g_size.store(0);
    g_table.reset();
}

int ChannelTableSize()
{
    return g_size.load();
}

int TakeNextChannel()
{
    const int n = g_size.load();
    for (int i = 0; i < n; ++i) {
        unsigned char expected = ChannelWaiting;
        if (g_table[i].compare_exchange_strong(expected, ChannelTaken)) {
            NotifyChannelChange();
            return i;
        }
    }
    return -1;
}

void MarkChannel(int index, unsigned char value)
{
    if (!InRange(index)) return;
    g_table[index].store(value);
    NotifyChannelChange();
}

unsigned char ChannelStateAt(int index)
{
    return InRange(index) ? g_table[index].load() : static_cast<unsigned char>(ChannelWaiting);
}

int NextProcessedChannel()
{
    const int n = g_size.load();
    bool pending = false;
    for (int i = 0; i < n; ++i) {
        unsigned char expected = ChannelProcessed;
        if (g_table[i].compare_exchange_strong(expected, ChannelHandled)) return i;
        if (expected == ChannelWaiting || expected == ChannelTaken) pending = true;
    }
    return pending ? -2 : -1;
}

void CancelPendingChannels()
{
    const int n = g_size.load();
    for (int i = 0; i < n; ++i) {
        // Only waiting or taken entries: a channel processed meanwhile stays processed.
        for (unsigned char from : {ChannelWaiting, ChannelTaken}) {
            unsigned char expected = from;
            if (g_table[i].compare_exchange_strong(expected, ChannelSkipped)) break;
        }
    }
    NotifyChannelChange();
}

void SkipWaitingChannels()
{
    CancelPendingChannels();
}

bool AllChannelsHandled()
{
    const int n = g_size.load();
    for (int i = 0; i < n; ++i) {
        if (g_table[i].load() != ChannelHandled) return false;
    }
    return true;
}

unsigned ChannelChangeStamp()
{
    std::lock_guard<std::mutex> guard(g_changeMutex);
    return g_stamp;
}

void WaitChannelChange(unsigned seen, std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(g_changeMutex);
    g_changed.wait_for(lock, timeout, [seen] { return g_stamp != seen; });
}

void NotifyChannelChange()
{
    {
        std::lock_guard<std::mutex> guard(g_changeMutex);
        ++g_stamp;
    }
    g_changed.notify_all();
}

void SetProcessCancel(bool cancelled)
{
    g_cancel.store(cancelled);
    NotifyChannelChange();
}

bool IsProcessCancelled()
{
    return g_cancel.load();
}
