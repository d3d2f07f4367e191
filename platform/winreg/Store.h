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

// One prepared statement; errors are kept in rc() rather than thrown.
class Query {
public:
    Query(sqlite3* db, const char* sql);
    Query& Bind(int index, std::int64_t value);
    Query& Bind(int index, std::string_view text);
    Query& BindBlob(int index, const void* data, std::size_t size);
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step();
    std::int64_t Int(int column) const;
    std::string Text(int column) const;
    int rc() const { return m_Rc; }

private:
    std::unique_ptr<sqlite3_stmt, StmtFinalize> m_Stmt;
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

private:
    Store() = default;
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
};

} // namespace winreg::detail
