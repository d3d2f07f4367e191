#include "seam/GuiQueue.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

namespace platform {

namespace {
const QEvent::Type kWake = static_cast<QEvent::Type>(QEvent::registerEventType());
}

struct GuiQueue::Task {
    std::function<void()> fn;
    bool done = false;
};

GuiQueue::GuiQueue(QObject* parent) : QObject(parent) {}

GuiQueue::~GuiQueue()
{
    SetClosed(true);
}

void GuiQueue::SetClosed(bool closed)
{
    {
        std::lock_guard lock(m_Mutex);
        m_Closed = closed;
        if (closed) m_Tasks.clear();
    }
    m_Done.notify_all();
}

void GuiQueue::PushLocked(std::shared_ptr<Task> task)
{
    m_Tasks.push_back(std::move(task));
    if (!m_WakePosted) {
        m_WakePosted = true;
        // Under the lock: a closing owner cannot be destroyed meanwhile.
        QCoreApplication::postEvent(this, new QEvent(kWake));
    }
}

void GuiQueue::Post(std::function<void()> task)
{
    auto t = std::make_shared<Task>();
    t->fn = std::move(task);
    std::unique_lock lock(m_Mutex);
    if (m_Closed) return;
    PushLocked(std::move(t));
}

bool GuiQueue::Call(std::function<void()> task)
{
    if (QThread::currentThread() == thread()) {
        task();
        return true;
    }
    auto t = std::make_shared<Task>();
    t->fn = std::move(task);
    std::unique_lock lock(m_Mutex);
    if (m_Closed) return false;
    PushLocked(t);
    m_Done.wait(lock, [&] { return t->done || m_Closed; });
    return t->done;
}

bool GuiQueue::event(QEvent* e)
{
    // A wake-up event is made under the lock on the posting thread; taking the
    // lock here orders that with this read in terms ThreadSanitizer can see
    // (Qt's own queue lock is invisible to it).
    { std::lock_guard lock(m_Mutex); }
    if (e->type() != kWake) return QObject::event(e);
    RunPending();
    return true;
}

void GuiQueue::RunPending()
{
    // One task at a time, and a new wake-up for whatever comes meanwhile: a
    // task that opens a modal box serves the next ones from the box's own
    // event loop, still in order.
    for (;;) {
        std::shared_ptr<Task> t;
        {
            std::lock_guard lock(m_Mutex);
            m_WakePosted = false;
            if (m_Tasks.empty()) return;
            t = std::move(m_Tasks.front());
            m_Tasks.pop_front();
        }
        t->fn();
        {
            std::lock_guard lock(m_Mutex);
            t->done = true;
        }
        m_Done.notify_all();
    }
}

} // namespace platform
