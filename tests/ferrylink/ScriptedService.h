// A service on 127.0.0.1 whose answers a test scripts: every query is parsed
// back into its arguments, recorded, and answered with the arguments that the
// script returns (or with a bare HTTP status).
#pragma once
#include <httplib.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "client/KesaRequest.h"
#include "client/KesaResponse.h"

struct QueryArg {
    std::string name;
    std::string value;
    std::string bytes; // file arguments only
    bool isFile = false;
};

struct Query {
    std::string body;
    std::vector<QueryArg> args;

    std::string Get(const std::string& name) const
    {
        for (const QueryArg& a : args)
            if (a.name == name) return a.value;
        return "<missing>";
    }
    bool Has(const std::string& name) const
    {
        for (const QueryArg& a : args)
            if (a.name == name) return true;
        return false;
    }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const QueryArg& a : args) names.push_back(a.name);
        return names;
    }
};

struct AnswerArg {
    std::string name;
    std::string value; // text, or the file name
    std::string bytes;
    bool isFile = false;
};

inline AnswerArg Text(std::string name, std::string value) { return {std::move(name), std::move(value), {}, false}; }
inline AnswerArg File(std::string name, std::string fileName, std::string bytes)
{
    return {std::move(name), std::move(fileName), std::move(bytes), true};
}

struct Answer {
    std::vector<AnswerArg> args;
    int status = 200;
};

inline std::string BuildAnswer(const std::vector<AnswerArg>& args)
{
    CKesaRequest request;
    for (const AnswerArg& a : args) {
        if (a.isFile)
            request.AddFileArg(a.name, a.value, reinterpret_cast<BYTE*>(const_cast<char*>(a.bytes.data())),
                               DWORD(a.bytes.size()));
        else
            request.AddArg(a.name, a.value);
    }
    BYTE* raw = nullptr;
    const DWORD size = request.BuildBody(&raw);
    std::string body(reinterpret_cast<char*>(raw), size);
    std::free(raw);
    return body;
}

inline Query ParseQuery(const std::string& body)
{
    Query q;
    q.body = body;
    auto* copy = static_cast<BYTE*>(std::malloc(body.size() + 1));
    std::memcpy(copy, body.data(), body.size());
    CKesaResponse parsed;
    if (!parsed.InitializeFromBuffer(copy, DWORD(body.size()))) return q;
    for (int i = 0; i < parsed.GetArgCount(); ++i) {
        const CKesaHttpArg* a = parsed.GetArg(i);
        QueryArg arg{a->GetName(), a->GetValue(), {}, a->GetLength() != 0};
        if (arg.isFile) arg.bytes.assign(reinterpret_cast<const char*>(a->GetData()), a->GetLength());
        q.args.push_back(std::move(arg));
    }
    return q;
}

class ScriptedService {
public:
    using Script = std::function<Answer(const Query&, int index)>;

    explicit ScriptedService(Script script) : m_Script(std::move(script))
    {
        m_Server.set_tcp_nodelay(true);
        m_Server.set_keep_alive_timeout(1);
        m_Server.Post(".*", [this](const httplib::Request& req, httplib::Response& res) {
            Query query = ParseQuery(req.body);
            int index = 0;
            {
                std::lock_guard<std::mutex> lock(m_Mutex);
                index = int(m_Queries.size());
                m_Queries.push_back(query);
                if (++m_InFlight > m_MaxInFlight) m_MaxInFlight = m_InFlight;
            }
            const Answer answer = m_Script(query, index);
            res.status = answer.status;
            if (answer.status == 200) res.set_content(BuildAnswer(answer.args), "application/octet-stream");
            std::lock_guard<std::mutex> lock(m_Mutex);
            --m_InFlight;
        });
        m_Port = m_Server.bind_to_any_port("127.0.0.1");
        m_Thread = std::thread([this] { m_Server.listen_after_bind(); });
        for (int i = 0; i < 1000 && !m_Server.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ~ScriptedService()
    {
        m_Server.stop();
        m_Thread.join();
    }
    ScriptedService(const ScriptedService&) = delete;
    ScriptedService& operator=(const ScriptedService&) = delete;

    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_Port) + "/Tidepost/srv"; }
    std::vector<Query> Queries() const
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Queries;
    }
    int MaxInFlight() const
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_MaxInFlight;
    }

private:
    Script m_Script;
    httplib::Server m_Server;
    int m_Port = -1;
    std::thread m_Thread;
    mutable std::mutex m_Mutex;
    std::vector<Query> m_Queries;
    int m_InFlight = 0;
    int m_MaxInFlight = 0;
};
