// The named arguments of one query, whichever body layout carried them: the
// client's own, or a standard multipart/form-data form (curl -F).
#pragma once
#include <string>
#include <vector>

struct QueryArg {
    std::string name;
    // A text argument's value, or a file argument's file name.
    std::string value;
    // A file argument's bytes; empty for a text argument.
    std::string bytes;
};

class CQueryArgs {
public:
    // The client's layout: its boundary is the body's first 40 bytes. False
    // when the body cannot be read as one.
    bool ParseClientBody(const std::string& body);

    void Add(QueryArg arg) { m_Args.push_back(std::move(arg)); }
    // The first argument of that name (case matters), or null.
    const QueryArg* Find(const std::string& name) const;
    // A text value, or empty when absent.
    std::string Value(const std::string& name) const;
    bool Empty() const { return m_Args.empty(); }

private:
    std::vector<QueryArg> m_Args;
};
