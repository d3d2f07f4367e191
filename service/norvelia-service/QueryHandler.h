// Answers one query of the client: the request body in, the answer body out,
// both in the client's multipart layout.
#pragma once
#include <map>
#include <string>

#include "QueryArgs.h"
#include "ServiceContent.h"
#include "StateStore.h"

class CKesaRequest;

// What the request log and the requests table say of one query.
struct QueryOutcome {
    std::string function;
    std::string uid;
    std::string result;
};

class CQueryHandler {
public:
    // `users`: UID -> password; when empty every credential is accepted.
    CQueryHandler(const CServiceContent& content, CStateStore& state, std::map<std::string, std::string> users);

    // A body in the client's layout.
    std::string Handle(const std::string& body, QueryOutcome& outcome);
    // Arguments already read from a body.
    std::string Handle(const CQueryArgs& query, QueryOutcome& outcome);
    // The answer to a body that could not be read.
    static std::string Unreadable(QueryOutcome& outcome);
    // Queries naming one of these channels ("CID", any case) wait this many
    // milliseconds before their answer: a service stuck on one channel.
    void SetStalls(std::map<std::string, int> stallMsByChannel);

private:
    bool Accepts(const CQueryArgs& query) const;
    void DeclareChannels(const CQueryArgs& query, CKesaRequest& answer, QueryOutcome& outcome);
    void ProcessList(const CQueryArgs& query, CKesaRequest& answer, QueryOutcome& outcome);
    void ProcessGame(const CQueryArgs& query, CKesaRequest& answer, QueryOutcome& outcome);
    void GetUpToDateCatalog(const CQueryArgs& query, CKesaRequest& answer, QueryOutcome& outcome);
    void StartGame(const CQueryArgs& query, CKesaRequest& answer, QueryOutcome& outcome);

    const CServiceContent& m_Content;
    CStateStore& m_State;
    std::map<std::string, std::string> m_Users;
    std::map<std::string, int> m_Stalls; // by upper-case channel id
};
