// Stands between the conduit and the reference service: forwards every
// request, then lets the test rewrite the answer to a query (or replace it).
#pragma once
#include <functional>
#include <string>

#include "common/LoopbackServer.h"
#include "ferrylink/ScriptedService.h"

class TamperingProxy {
public:
    using Rewrite = std::function<void(const Query& query, httplib::Response& res)>;
    using Filter = std::function<bool(const Query& query)>;

    // Queries `withheld` returns true for never reach the service: `rewrite`
    // answers them alone, from an empty 200 answer.
    TamperingProxy(int servicePort, Rewrite rewrite, Filter withheld = nullptr)
        : m_Client("127.0.0.1", servicePort), m_Rewrite(std::move(rewrite)), m_Withheld(std::move(withheld))
    {
        m_Server.Routes().Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            const auto answer = m_Client.Get(req.path.c_str());
            res.status = answer ? answer->status : 502;
            if (answer) res.set_content(answer->body, answer->get_header_value("Content-Type").c_str());
        });
        m_Server.Routes().Post(".*", [this](const httplib::Request& req, httplib::Response& res) {
            const Query query = ParseQuery(req.body);
            if (m_Withheld && m_Withheld(query)) {
                res.status = 200;
                m_Rewrite(query, res);
                return;
            }
            const auto answer =
                m_Client.Post(req.path.c_str(), req.body, req.get_header_value("Content-Type").c_str());
            if (!answer) {
                res.status = 502;
                return;
            }
            res.status = answer->status;
            res.set_content(answer->body, "application/octet-stream");
            m_Rewrite(query, res);
        });
        m_Server.Start();
    }
    std::string Url() const { return m_Server.Url("/Tidepost/srv/xxx/yyy"); }

private:
    httplib::Client m_Client;
    Rewrite m_Rewrite;
    Filter m_Withheld;
    LoopbackServer m_Server; // last: stopped before what its routes use
};
