// A UI host for the conduit tests: progress views that record what they are
// told (from any thread), a scripted answer to questions and to the sync
// action, and a cancel that a test presses.
#pragma once
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Ui.h"

class RecordingUiHost final : public platform::IUiHost {
public:
    struct ViewState {
        std::mutex mutex;
        std::string title, cancelText, status1, status2;
        std::vector<std::string> status1History, status2History;
        long range1 = 0, range2 = 0, pos1 = 0, pos2 = 0;
        bool bar1 = true, bar2 = true, shown = false;
        std::atomic<bool> cancelled{false};
        // The user presses "Abandon" when status line 2 shows this text.
        std::string cancelOnStatus2;
        // Bar 2 moves this slowly once cancelled: the worker sees the cancel late.
        int slowPos2Ms = 0;
        std::atomic<int> views{0};
    };

    class View final : public platform::IProgressView {
    public:
        explicit View(ViewState& s) : m_S(s) { ++m_S.views; }
        ~View() override { --m_S.views; }
        void SetTitle(const std::string& t) override { Lock l(m_S.mutex); m_S.title = t; }
        void SetCancelText(const std::string& t) override { Lock l(m_S.mutex); m_S.cancelText = t; }
        void SetStatus1(const std::string& t) override
        {
            Lock l(m_S.mutex);
            m_S.status1 = t;
            m_S.status1History.push_back(t);
        }
        void SetStatus2(const std::string& t) override
        {
            Lock l(m_S.mutex);
            m_S.status2 = t;
            m_S.status2History.push_back(t);
            if (!m_S.cancelOnStatus2.empty() && t == m_S.cancelOnStatus2) m_S.cancelled = true;
        }
        void SetRange1(long, long high) override { Lock l(m_S.mutex); m_S.range1 = high; }
        void SetRange2(long, long high) override { Lock l(m_S.mutex); m_S.range2 = high; }
        void SetPos1(long p) override { Lock l(m_S.mutex); m_S.pos1 = p; }
        void SetPos2(long p) override
        {
            if (m_S.slowPos2Ms > 0 && m_S.cancelled.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(m_S.slowPos2Ms));
            Lock l(m_S.mutex);
            m_S.pos2 = p;
        }
        void ShowBar1(bool s) override { Lock l(m_S.mutex); m_S.bar1 = s; }
        void ShowBar2(bool s) override { Lock l(m_S.mutex); m_S.bar2 = s; }
        void Show() override { Lock l(m_S.mutex); m_S.shown = true; }
        void Hide() override { Lock l(m_S.mutex); m_S.shown = false; }
        bool IsCancelled() const override { return m_S.cancelled.load(); }
        void SetCancel(bool c) override { m_S.cancelled.store(c); }

    private:
        using Lock = std::lock_guard<std::mutex>;
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
