// Work handed from any thread to the thread that owns this object (the GUI
// thread), in order. The hand-over goes through a standard mutex, so that the
// thread checkers see it: Qt's own queued calls synchronise inside Qt, where
// they cannot look. The queue must outlive every thread that uses it.
#pragma once
#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace platform {

class GuiQueue final : public QObject {
public:
    explicit GuiQueue(QObject* parent = nullptr);
    ~GuiQueue() override;

    // Runs `task` later on the owner's thread; dropped once closed.
    void Post(std::function<void()> task);
    // Runs `task` on the owner's thread and waits for it (at once when called
    // there). False when it did not run: the queue was or became closed.
    bool Call(std::function<void()> task);
    // A closed queue takes nothing more and releases the threads waiting in Call.
    void SetClosed(bool closed);

protected:
    bool event(QEvent* e) override;

private:
    struct Task;
    void PushLocked(std::shared_ptr<Task> task);
    void RunPending();

    std::mutex m_Mutex;
    std::condition_variable m_Done;
    std::deque<std::shared_ptr<Task>> m_Tasks;
    bool m_Closed = false;
    bool m_WakePosted = false;
};

} // namespace platform
