// The service's status page at "/": its channels with their catalogs and
// lists, its users, and the last requests, orders and game scores recorded.
// Plain HTML and CSS, made afresh for each request.
#pragma once
#include <string>
#include <vector>

#include "ServiceContent.h"
#include "StateStore.h"

class CStatusPage {
public:
    // `users`: the UIDs given with --user, beside those of the content folder.
    CStatusPage(const CServiceContent& content, CStateStore& state, std::vector<std::string> users);

    std::string Render() const;

    // How many rows of each recent table the page shows.
    static constexpr int kRecentRows = 20;

    // Text made safe inside an element or a quoted attribute.
    static std::string Escape(const std::string& text);

private:
    std::string Channels() const;
    std::string Users() const;
    std::string Recent() const;

    const CServiceContent& m_Content;
    CStateStore& m_State;
    std::vector<std::string> m_Users;
};
