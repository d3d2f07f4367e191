// Answers one query of the client: the request body in, the answer body out,
// both in the client's multipart layout.
#pragma once
#include <map>
#include <string>

#include "ServiceContent.h"
#include "StateStore.h"

class CKesaRequest;
class CKesaResponse;

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

    std::string Handle(const std::string& body, QueryOutcome& outcome);

private:
    bool Accepts(const CKesaResponse& query) const;
    void DeclareChannels(const CKesaResponse& query, CKesaRequest& answer, QueryOutcome& outcome);
    void ProcessList(const CKesaResponse& query, CKesaRequest& answer, QueryOutcome& outcome);
    void ProcessGame(const CKesaResponse& query, CKesaRequest& answer, QueryOutcome& outcome);
    void GetUpToDateCatalog(const CKesaResponse& query, CKesaRequest& answer, QueryOutcome& outcome);
    void StartGame(const CKesaResponse& query, CKesaRequest& answer, QueryOutcome& outcome);

    const CServiceContent& m_Content;
    CStateStore& m_State;
    std::map<std::string, std::string> m_Users;
};
