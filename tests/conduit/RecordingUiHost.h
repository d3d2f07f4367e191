// A UI host for the conduit tests: progress views that record what they are
// told (from any thread), every call in order, a scripted answer to questions
// and to the sync action, and a cancel that a test presses.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "seam/Ui.h"

class RecordingUiHost final : public platform::IUiHost {
public:
    struct ViewState {
        std::mutex mutex;
        std::string title, cancelText, status1, status2;
        std::vector<std::string> status1History, status2History;
        // Every call of the run in order: "status1 text", "range1 0 4", "pos2 3",
        // "bar1 on", "show", "hide", "cancel off", "title text", "button text".
        std::vector<std::string> calls;
        long range1 = 0, range2 = 0, pos1 = 0, pos2 = 0;
        bool bar1 = true, bar2 = true, shown = false;
        std::atomic<bool> cancelled{false};
        // The user presses "Abandon" when status line 2 shows this text...
        std::string cancelOnStatus2;
        // ...but only once the program cleared the cancel this many times, so
        // that the press is not forgotten by a later clearing.
        int cancelAfterClears = 0;
        std::mutex clearMutex;
        std::condition_variable cleared;
        int clears = 0;
        // The user presses "Abandon" as the program clears the cancel for
        // this time (0: never)...
        int pressAtClear = 0;
        // ...and the view forgets a press once it was read this many times
        // (0: never), as if the program had cleared it.
        std::atomic<int> forgetAfterReads{0};
        // Showing this status text throws what `thrower` throws, as if the
        // call that precedes it in the program had failed.
        std::string throwOnStatus;
        std::function<void()> thrower;
        // Bar 2 moves this slowly once cancelled: the worker sees the cancel late.
        int slowPos2Ms = 0;
        std::atomic<int> views{0};
        // A person watches the view (it makes the pauses that serve a reader).
        bool interactive = false;
    };

    class View final : public platform::IProgressView {
    public:
        explicit View(ViewState& s) : m_S(s) { ++m_S.views; }
        ~View() override { --m_S.views; }
        void SetTitle(const std::string& t) override { Lock l(m_S.mutex); m_S.title = t; Call("title " + t); }
        void SetCancelText(const std::string& t) override
        {
            Lock l(m_S.mutex);
            m_S.cancelText = t;
            Call("button " + t);
        }
        void SetStatus1(const std::string& t) override
        {
            {
                Lock l(m_S.mutex);
                m_S.status1 = t;
                m_S.status1History.push_back(t);
                Call("status1 " + t);
            }
            MaybeThrow(t);
        }
        void SetStatus2(const std::string& t) override
        {
            bool press = false;
            {
                Lock l(m_S.mutex);
                m_S.status2 = t;
                m_S.status2History.push_back(t);
                Call("status2 " + t);
                press = !m_S.cancelOnStatus2.empty() && t == m_S.cancelOnStatus2;
            }
            MaybeThrow(t);
            if (!press) return;
            // Bounded: a program that never clears the cancel fails the test, not hangs it.
            std::unique_lock<std::mutex> l(m_S.clearMutex);
            m_S.cleared.wait_for(l, std::chrono::seconds(30), [this] { return m_S.clears >= m_S.cancelAfterClears; });
            m_S.cancelled = true;
        }
        void SetRange1(long low, long high) override { Range(1, low, high, m_S.range1); }
        void SetRange2(long low, long high) override { Range(2, low, high, m_S.range2); }
        void SetPos1(long p) override { Lock l(m_S.mutex); m_S.pos1 = p; Call("pos1 " + std::to_string(p)); }
        void SetPos2(long p) override
        {
            if (m_S.slowPos2Ms > 0 && m_S.cancelled.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(m_S.slowPos2Ms));
            Lock l(m_S.mutex);
            m_S.pos2 = p;
            Call("pos2 " + std::to_string(p));
        }
        void ShowBar1(bool s) override { Lock l(m_S.mutex); m_S.bar1 = s; Call(s ? "bar1 on" : "bar1 off"); }
        void ShowBar2(bool s) override { Lock l(m_S.mutex); m_S.bar2 = s; Call(s ? "bar2 on" : "bar2 off"); }
        void Show() override { Lock l(m_S.mutex); m_S.shown = true; Call("show"); }
        void Hide() override { Lock l(m_S.mutex); m_S.shown = false; Call("hide"); }
        bool IsCancelled() const override
        {
            const bool cancelled = m_S.cancelled.load();
            if (cancelled && m_S.forgetAfterReads > 0 && --m_S.forgetAfterReads == 0) m_S.cancelled = false;
            return cancelled;
        }
        bool IsInteractive() const override { return m_S.interactive; }
        void SetCancel(bool c) override
        {
            {
                Lock l(m_S.mutex);
                Call(c ? "cancel on" : "cancel off");
            }
            m_S.cancelled.store(c);
            if (c) return;
            {
                Lock l(m_S.clearMutex);
                if (++m_S.clears == m_S.pressAtClear) m_S.cancelled = true;
            }
            m_S.cleared.notify_all();
        }

    private:
        using Lock = std::lock_guard<std::mutex>;
        void MaybeThrow(const std::string& t)
        {
            if (m_S.thrower && t == m_S.throwOnStatus) m_S.thrower();
        }
        // With the state's mutex held.
        void Call(std::string what) { m_S.calls.push_back(std::move(what)); }
        void Range(int bar, long low, long high, long& kept)
        {
            Lock l(m_S.mutex);
            kept = high;
            Call("range" + std::to_string(bar) + " " + std::to_string(low) + " " + std::to_string(high));
        }
        ViewState& m_S;
    };

    platform::MsgResult ShowMessage(const std::string& text, const std::string& caption, platform::MsgIcon,
                                    platform::MsgButtons buttons, platform::MsgResult) override
    {
        std::lock_guard<std::mutex> l(m_Mutex);
        messages.push_back(caption + "|" + text);
        if (buttons == platform::MsgButtons::YesNo) return answerYes ? platform::MsgResult::Yes : platform::MsgResult::No;
        return platform::MsgResult::Ok;
    }
    bool AskCredentials(const std::string&, std::string&, std::string&) override { return false; }
    bool AskSyncAction(platform::SyncActionRequest& request) override
    {
        std::lock_guard<std::mutex> l(m_Mutex);
        askedName = request.conduitName;
        askedAction = request.action;
        if (!confirmAction) return false;
        request.action = chosenAction;
        request.makeDefault = makeDefault;
        return true;
    }
    std::unique_ptr<platform::IProgressView> CreateProgressView() override { return std::make_unique<View>(view); }

    ViewState view;
    std::mutex m_Mutex;
    std::vector<std::string> messages;
    bool answerYes = true;
    bool confirmAction = true;
    int chosenAction = 0;
    bool makeDefault = false;
    std::string askedName;
    int askedAction = -1;
};
