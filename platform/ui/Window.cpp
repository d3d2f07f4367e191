#include "seam/Window.h"

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>

namespace platform {

namespace {

struct Entry {
    CopyDataHandler handler;
    int busy = 0;
};

std::mutex g_mutex;
std::condition_variable g_idle;
std::map<std::uintptr_t, std::shared_ptr<Entry>> g_windows;
std::uintptr_t g_next = 0x1000;

} // namespace

HWND RegisterWindow(CopyDataHandler handler)
{
    std::lock_guard lock(g_mutex);
    std::uintptr_t id = g_next;
    g_next += 0x10;
    auto e = std::make_shared<Entry>();
    e->handler = std::move(handler);
    g_windows[id] = std::move(e);
    return reinterpret_cast<HWND>(id);
}

void UnregisterWindow(HWND window)
{
    std::unique_lock lock(g_mutex);
    auto it = g_windows.find(reinterpret_cast<std::uintptr_t>(window));
    if (it == g_windows.end()) return;
    std::shared_ptr<Entry> e = it->second;
    g_windows.erase(it);
    g_idle.wait(lock, [&] { return e->busy == 0; });
}

LRESULT SendCopyData(HWND window, WPARAM wParam, const COPYDATASTRUCT& data)
{
    std::shared_ptr<Entry> e;
    {
        std::lock_guard lock(g_mutex);
        auto it = g_windows.find(reinterpret_cast<std::uintptr_t>(window));
        if (it == g_windows.end() || !it->second->handler) return 0;
        e = it->second;
        ++e->busy;
    }
    LRESULT r = e->handler(wParam, data);
    {
        std::lock_guard lock(g_mutex);
        --e->busy;
    }
    g_idle.notify_all();
    return r;
}

} // namespace platform
