// A UI host for the HTTP tests: records the messages shown and the
// credentials questions asked, and answers those from a queue (declined
// once it is empty).
#pragma once
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "seam/Ui.h"

class AnsweringUiHost : public platform::IUiHost {
public:
    platform::MsgResult ShowMessage(const std::string& text, const std::string&, platform::MsgIcon, platform::MsgButtons,
                                    platform::MsgResult) override
    {
        messages.push_back(text);
        return platform::MsgResult::Ok;
    }
    bool AskCredentials(const std::string& prompt, std::string& user, std::string& password) override
    {
        prompts.push_back(prompt);
        if (answers.empty()) return false;
        user = answers.front().first;
        password = answers.front().second;
        answers.erase(answers.begin());
        return true;
    }
    bool AskSyncAction(platform::SyncActionRequest&) override { return false; }
    std::unique_ptr<platform::IProgressView> CreateProgressView() override { return nullptr; }

    std::vector<std::string> messages;
    std::vector<std::string> prompts;
    std::vector<std::pair<std::string, std::string>> answers;
};
