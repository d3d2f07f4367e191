#include "Store.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace winreg::detail {

namespace {

// 'NRRG': marks a file as ours, so another program's database is not mistaken for it.
constexpr std::int64_t kApplicationId = 0x4E525247;

const char* const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS keys(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  parent INTEGER NOT NULL,
  name TEXT NOT NULL,
  folded TEXT NOT NULL,
  UNIQUE(parent, folded));
CREATE TABLE IF NOT EXISTS vals(
  key INTEGER NOT NULL,
  name TEXT NOT NULL,
  folded TEXT NOT NULL,
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  PRIMARY KEY(key, folded)) WITHOUT ROWID;
INSERT OR IGNORE INTO keys(id, parent, name, folded) VALUES
  (1, 0, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE'),
  (2, 0, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER'),
  (3, 0, 'HKEY_CLASSES_ROOT', 'HKEY_CLASSES_ROOT'),
  (4, 0, 'HKEY_USERS', 'HKEY_USERS');
)sql";

bool Exec(sqlite3* db, const char* sql, int* rc)
{
    *rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    return *rc == SQLITE_OK;
}

bool IsDamage(int rc)
{
    rc &= 0xFF;
    return rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT;
}

std::string HomeDir()
{
    const char* home = std::getenv("HOME");
    if (home && *home)
        return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return {};
}

// Creates the missing directories above `file`, each private to the user.
void MakeParents(const std::string& file)
{
    for (std::size_t pos = file.find('/', 1); pos != std::string::npos; pos = file.find('/', pos + 1)) {
        std::string dir = file.substr(0, pos);
        if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
            return;
    }
}

} // namespace

Query::Query(sqlite3* db, const char* sql)
{
    m_Use = Store::Instance().Acquire(db, sql, &m_Rc);
    if (m_Use != nullptr) {
        m_Sql = sql;
        return;
    }
    if (m_Rc != SQLITE_OK)
        return;
    sqlite3_stmt* s = nullptr;
    m_Rc = sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
    m_Stmt.reset(s);
    m_Use = s;
}

Query::~Query()
{
    if (m_Sql != nullptr)
        Store::Instance().Release(m_Sql, m_Use);
}

Query& Query::Bind(int index, std::int64_t value)
{
    if (m_Rc == SQLITE_OK)
        m_Rc = sqlite3_bind_int64(m_Use, index, value);
    return *this;
}

Query& Query::Bind(int index, std::string_view text)
{
    if (m_Rc == SQLITE_OK)
        m_Rc = sqlite3_bind_text(m_Use, index, text.data(), int(text.size()), SQLITE_TRANSIENT);
    return *this;
}

Query& Query::BindBlob(int index, const void* data, std::size_t size)
{
    // A null pointer would bind NULL; an empty value is a zero-length blob.
    static const char empty = 0;
    if (m_Rc == SQLITE_OK)
        m_Rc = sqlite3_bind_blob64(m_Use, index, size ? data : &empty, size, SQLITE_TRANSIENT);
    return *this;
}

int Query::Step()
{
    if (m_Rc != SQLITE_OK && m_Rc != SQLITE_ROW)
        return m_Rc;
    m_Rc = sqlite3_step(m_Use);
    return m_Rc;
}

std::int64_t Query::Int(int column) const { return sqlite3_column_int64(m_Use, column); }

std::string Query::Text(int column) const
{
    const void* p = sqlite3_column_blob(m_Use, column);
    int n = sqlite3_column_bytes(m_Use, column);
    return p ? std::string(static_cast<const char*>(p), std::size_t(n)) : std::string();
}

LSTATUS FromSqlite(int rc, bool write)
{
    switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
        return ERROR_SUCCESS;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return ERROR_BADDB;
    case SQLITE_CANTOPEN:
        return ERROR_CANTOPEN;
    case SQLITE_NOMEM:
        return ERROR_OUTOFMEMORY;
    case SQLITE_READONLY:
    case SQLITE_FULL:
        return ERROR_CANTWRITE;
    case SQLITE_TOOBIG:
        return ERROR_INVALID_PARAMETER;
    default:
        return write ? ERROR_CANTWRITE : ERROR_CANTREAD;
    }
}

namespace {

// The file's application id and whether it holds any table, read as one snapshot
// (a transaction is already open when inTransaction is true).
LSTATUS ReadIdentity(sqlite3* db, bool inTransaction, std::int64_t* appId, bool* haveTables)
{
    int rc = SQLITE_OK;
    if (!inTransaction && !Exec(db, "BEGIN", &rc))
        return IsDamage(rc) ? ERROR_BADDB : FromSqlite(rc, false);
    LSTATUS result = ERROR_SUCCESS;
    {
        Query id(db, "PRAGMA application_id");
        rc = id.Step();
        if (rc == SQLITE_ROW) {
            *appId = id.Int(0);
            Query tables(db, "SELECT count(*) FROM sqlite_master");
            rc = tables.Step();
            if (rc == SQLITE_ROW)
                *haveTables = tables.Int(0) > 0;
        }
        if (rc != SQLITE_ROW)
            result = IsDamage(rc) ? ERROR_BADDB : FromSqlite(rc, false);
    }
    if (!inTransaction)
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    return result;
}

} // namespace

Store& Store::Instance()
{
    // Never destroyed: handles may still be closed from other static destructors.
    static Store* store = new Store;
    return *store;
}

std::string Store::ResolvePathLocked()
{
    if (!m_Override.empty())
        return m_Override;
    if (const char* env = std::getenv("NORVELIA_REGISTRY"); env && *env)
        return env;
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        base = xdg;
    else if (std::string home = HomeDir(); !home.empty())
        base = home + "/.config";
    else
        return {};
    return base + "/norvelia/registry.db";
}

std::string Store::Path()
{
    std::lock_guard lock(m_Lock);
    if (m_Db && m_Pid == getpid())
        return m_Path;
    return ResolvePathLocked();
}

void Store::SetPath(const std::string& path)
{
    std::lock_guard lock(m_Lock);
    if (m_Depth > 0)
        return; // never switch files in the middle of a transaction
    DropLocked();
    m_Override = path;
}

void Store::DropLocked()
{
    if (m_Pid != getpid()) {
        // Inherited across fork: closing it could disturb the parent's locks.
        for (auto& [sql, kept] : m_Kept)
            (void)kept.stmt.release();
        (void)m_Db.release();
    }
    m_Kept.clear();
    m_Db.reset();
    m_Depth = 0;
    m_Damaged = false;
}

LSTATUS Store::OpenLocked()
{
    if (m_Db && m_Pid == getpid())
        return ERROR_SUCCESS;
    DropLocked();
    m_Pid = getpid();
    m_Path = ResolvePathLocked();
    if (m_Path.empty())
        return ERROR_CANTOPEN;

    MakeParents(m_Path);
    // Create the file ourselves so that it is private from the start; SQLite
    // gives its -wal and -shm files the same mode.
    int fd = ::open(m_Path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);

    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(m_Path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    Db db(raw);
    if (rc != SQLITE_OK)
        return ERROR_CANTOPEN;
    sqlite3_busy_timeout(db.get(), 5000);
    sqlite3_extended_result_codes(db.get(), 0);

    // Reading the header first tells a damaged or foreign file from ours,
    // before anything is changed in it.
    std::int64_t appId = 0;
    bool haveTables = false;
    if (LSTATUS r = ReadIdentity(db.get(), false, &appId, &haveTables); r != ERROR_SUCCESS)
        return r;
    if (appId != kApplicationId && (appId != 0 || haveTables))
        return ERROR_BADDB;

    // Switching a new file to WAL needs it alone and does not wait on the busy
    // handler: processes creating the store together retry for a while.
    for (int attempt = 0; !Exec(db.get(), "PRAGMA journal_mode=WAL", &rc); ++attempt) {
        if ((rc & 0xFF) != SQLITE_BUSY || attempt >= 500)
            return FromSqlite(rc, false);
        ::usleep(10000);
    }
    if (!Exec(db.get(), "PRAGMA synchronous=NORMAL", &rc))
        return FromSqlite(rc, false);
    if (appId == 0) {
        if (!Exec(db.get(), "BEGIN IMMEDIATE", &rc))
            return FromSqlite(rc, true);
        // Another process may have made the file ours while we waited for the lock.
        LSTATUS r = ReadIdentity(db.get(), true, &appId, &haveTables);
        if (r == ERROR_SUCCESS && appId == 0 && haveTables)
            r = ERROR_BADDB;
        if (r == ERROR_SUCCESS && appId == 0) {
            const std::string mark = "PRAGMA application_id=" + std::to_string(kApplicationId);
            if (!Exec(db.get(), kSchema, &rc) || !Exec(db.get(), mark.c_str(), &rc))
                r = FromSqlite(rc, true);
        } else if (r == ERROR_SUCCESS && appId != kApplicationId) {
            r = ERROR_BADDB;
        }
        if (r == ERROR_SUCCESS && !Exec(db.get(), "COMMIT", &rc))
            r = FromSqlite(rc, true);
        if (r != ERROR_SUCCESS) {
            sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
            return r;
        }
    }
    m_Db = std::move(db);
    return ERROR_SUCCESS;
}

sqlite3_stmt* Store::Acquire(sqlite3* db, const char* sql, int* rc)
{
    *rc = SQLITE_OK;
    if (db == nullptr || db != m_Db.get())
        return nullptr;
    Kept& kept = m_Kept[sql];
    if (kept.busy)
        return nullptr; // the same text used again inside itself: a statement of its own
    if (!kept.stmt) {
        sqlite3_stmt* s = nullptr;
        *rc = sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr);
        if (*rc != SQLITE_OK) {
            sqlite3_finalize(s);
            m_Kept.erase(sql);
            return nullptr;
        }
        kept.stmt.reset(s);
    }
    kept.busy = true;
    return kept.stmt.get();
}

void Store::Release(const char* sql, sqlite3_stmt* stmt)
{
    auto it = m_Kept.find(sql);
    if (it == m_Kept.end() || it->second.stmt.get() != stmt)
        return;
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    it->second.busy = false;
}

bool Store::ExecKept(const char* sql, int* rc)
{
    Query q(m_Db.get(), sql);
    *rc = q.Step();
    if (*rc == SQLITE_DONE || *rc == SQLITE_ROW)
        *rc = SQLITE_OK;
    return *rc == SQLITE_OK;
}

LSTATUS Store::Run(bool write, const std::function<LSTATUS(sqlite3*)>& fn)
{
    std::lock_guard lock(m_Lock);
    if (m_Pid != getpid())
        DropLocked();
    if (m_Depth == 0) {
        if (LSTATUS open = OpenLocked(); open != ERROR_SUCCESS) {
            DropLocked();
            return open;
        }
    }
    sqlite3* db = m_Db.get();
    int rc = SQLITE_OK;
    const bool outer = m_Depth == 0;
    if (!ExecKept(outer ? (write ? "BEGIN IMMEDIATE" : "BEGIN") : "SAVEPOINT call", &rc)) {
        LSTATUS err = FromSqlite(rc, write);
        if (outer && IsDamage(rc))
            DropLocked();
        return err;
    }
    ++m_Depth;
    LSTATUS result;
    try {
        result = fn(db);
    } catch (...) {
        result = ERROR_OUTOFMEMORY;
    }
    --m_Depth;
    if (result == ERROR_SUCCESS) {
        if (!ExecKept(outer ? "COMMIT" : "RELEASE call", &rc))
            result = FromSqlite(rc, write);
    }
    if (result != ERROR_SUCCESS) {
        if (outer)
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        else
            sqlite3_exec(db, "ROLLBACK TO call; RELEASE call", nullptr, nullptr, nullptr);
    }
    if (result == ERROR_BADDB)
        m_Damaged = true;
    if (outer && m_Damaged)
        DropLocked(); // try afresh next time: the file may have been replaced
    return result;
}

void Store::Close()
{
    std::unique_lock lock(m_Lock, std::try_to_lock);
    if (lock.owns_lock() && m_Depth == 0)
        DropLocked();
}

LSTATUS Store::Flush()
{
    std::lock_guard lock(m_Lock);
    if (m_Depth > 0)
        return ERROR_SUCCESS; // the enclosing transaction commits later
    if (LSTATUS open = OpenLocked(); open != ERROR_SUCCESS) {
        DropLocked();
        return open;
    }
    int rc = SQLITE_OK;
    sqlite3_exec(m_Db.get(), "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
    bool ok = Exec(m_Db.get(), "PRAGMA wal_checkpoint(PASSIVE)", &rc);
    sqlite3_exec(m_Db.get(), "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    return ok ? ERROR_SUCCESS : FromSqlite(rc, true);
}

} // namespace winreg::detail
