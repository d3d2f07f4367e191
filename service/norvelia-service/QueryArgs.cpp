#include "QueryArgs.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "client/KesaResponse.h"
#include "quillio/KesaError.h"

bool CQueryArgs::ParseClientBody(const std::string& body)
{
    m_Args.clear();
    // A query has the layout of an answer: the client's parser reads it.
    CKesaResponse query;
    try {
        auto* copy = static_cast<BYTE*>(std::malloc(body.size() + 1));
        if (!copy) throw std::bad_alloc();
        if (!body.empty()) std::memcpy(copy, body.data(), body.size());
        if (!query.InitializeFromBuffer(copy, DWORD(body.size()))) return false;
    } catch (const CKesaError&) {
        return false;
    }
    for (int i = 0; i < query.GetArgCount(); ++i) {
        const CKesaHttpArg* arg = query.GetArg(i);
        QueryArg copy{arg->GetName(), arg->GetValue(), {}};
        if (arg->GetData() && arg->GetLength())
            copy.bytes.assign(reinterpret_cast<const char*>(arg->GetData()), arg->GetLength());
        m_Args.push_back(std::move(copy));
    }
    return true;
}

const QueryArg* CQueryArgs::Find(const std::string& name) const
{
    for (const QueryArg& arg : m_Args)
        if (arg.name == name) return &arg;
    return nullptr;
}

std::string CQueryArgs::Value(const std::string& name) const
{
    const QueryArg* arg = Find(name);
    return arg ? arg->value : std::string();
}
