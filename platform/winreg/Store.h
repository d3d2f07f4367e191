// The process's connection to the registry file and the transactions around
// each registry call. Internal to WinReg.
#pragma once
#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <sys/types.h>

#include "winreg/WinReg.h"

namespace winreg::detail {

struct DbClose {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StmtFinalize {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Db = std::unique_ptr<sqlite3, DbClose>;

// One prepared statement; errors are kept in rc() rather than thrown. `sql`
// is a string literal: the statement stays prepared on the connection, keyed
// by the literal's address, and is reset for the next Query of the same text.
class Query {
public:
    Query(sqlite3* db, const char* sql);
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;
    Query& Bind(int index, std::int64_t value);
    Query& Bind(int index, std::string_view text);
    Query& BindBlob(int index, const void* data, std::size_t size);
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step();
    std::int64_t Int(int column) const;
    std::string Text(int column) const;
    int rc() const { return m_Rc; }

private:
    std::unique_ptr<sqlite3_stmt, StmtFinalize> m_Stmt; // set when not kept by the store
    sqlite3_stmt* m_Use = nullptr;
    const char* m_Sql = nullptr;
    int m_Rc = SQLITE_OK;
};

// Result code for a failed SQLite call.
LSTATUS FromSqlite(int rc, bool write);

class Store {
public:
    static Store& Instance();

    std::string Path();
    void SetPath(const std::string& path);

    // Runs fn on the open connection under the process lock, inside one
    // transaction (a savepoint when the thread is already inside one). Changes
    // are committed when fn returns ERROR_SUCCESS and rolled back otherwise.
    LSTATUS Run(bool write, const std::function<LSTATUS(sqlite3*)>& fn);
    // Writes committed changes through to the main file.
    LSTATUS Flush();
    // Closes the connection when no call is under way; the next call reopens it.
    void Close();

    // A prepared statement of the open connection for `sql` (a literal), or
    // null when `db` is not that connection or the statement is in use; hand
    // it back with Release. Called with the store's lock held (inside Run).
    sqlite3_stmt* Acquire(sqlite3* db, const char* sql, int* rc);
    void Release(const char* sql, sqlite3_stmt* stmt);

private:
    Store() = default;
    // Runs a one-statement command through the statement cache.
    bool ExecKept(const char* sql, int* rc);

    struct Kept {
        std::unique_ptr<sqlite3_stmt, StmtFinalize> stmt;
        bool busy = false;
    };
    LSTATUS OpenLocked();
    std::string ResolvePathLocked();
    void DropLocked();

    std::recursive_mutex m_Lock;
    Db m_Db;
    pid_t m_Pid = 0;
    int m_Depth = 0;
    bool m_Damaged = false;
    std::string m_Override;
    std::string m_Path;
    // Statements of m_Db; preparing them anew cost most of a registry read.
    std::unordered_map<const char*, Kept> m_Kept;
};

} // namespace winreg::detail
