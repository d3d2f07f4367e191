#include <cstring>
#include <exception>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "Store.h"
#include "winreg/WinReg.h"

using winreg::detail::FromSqlite;
using winreg::detail::Query;
using winreg::detail::Store;

// An open key: the store's row id and the rights it was opened with.
struct HKEY__ {
    std::int64_t id;
    REGSAM access;
};

namespace {

constexpr REGSAM kDelete = 0x00010000;
constexpr std::size_t kMaxKeyName = 255;
constexpr std::size_t kMaxValueName = 16383;

// Handles handed out and not yet closed; anything else is refused rather than dereferenced.
class Handles {
public:
    HKEY Add(std::int64_t id, REGSAM access)
    {
        auto h = new HKEY__{id, access};
        std::lock_guard lock(m_Lock);
        m_Live.emplace(h, std::unique_ptr<HKEY__>(h));
        return h;
    }
    bool Remove(HKEY key)
    {
        std::unique_ptr<HKEY__> gone;
        std::lock_guard lock(m_Lock);
        auto it = m_Live.find(key);
        if (it == m_Live.end())
            return false;
        gone = std::move(it->second);
        m_Live.erase(it);
        return true;
    }
    bool Find(HKEY key, HKEY__* out)
    {
        std::lock_guard lock(m_Lock);
        auto it = m_Live.find(key);
        if (it == m_Live.end())
            return false;
        *out = *it->second;
        return true;
    }

private:
    std::mutex m_Lock;
    std::unordered_map<HKEY, std::unique_ptr<HKEY__>> m_Live;
};

Handles& Live()
{
    static Handles* handles = new Handles; // outlives static destructors that close keys
    return *handles;
}

// The row and rights behind a handle; the hives are fixed rows with every right.
bool Resolve(HKEY key, HKEY__* out)
{
    if (key == HKEY_LOCAL_MACHINE)
        *out = {1, KEY_ALL_ACCESS};
    else if (key == HKEY_CURRENT_USER)
        *out = {2, KEY_ALL_ACCESS};
    else if (key == HKEY_CLASSES_ROOT)
        *out = {3, KEY_ALL_ACCESS};
    else if (key == HKEY_USERS)
        *out = {4, KEY_ALL_ACCESS};
    else
        return key != nullptr && Live().Find(key, out);
    return true;
}

// Closing the connection at exit checkpoints the file and removes its -wal and -shm companions.
struct CloseAtExit {
    ~CloseAtExit() { Store::Instance().Close(); }
} closeAtExit;

bool IsHive(std::int64_t id) { return id >= 1 && id <= 4; }

std::string Fold(std::string_view name)
{
    std::string folded(name);
    for (char& c : folded)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return folded;
}

// Splits a key path on backslashes; a trailing backslash is allowed, a leading
// one or an over-long component is refused.
LSTATUS SplitPath(const char* subKey, std::vector<std::string>* parts)
{
    if (!subKey)
        return ERROR_SUCCESS;
    std::string_view path(subKey);
    if (!path.empty() && path.front() == '\\')
        return ERROR_BAD_PATHNAME;
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos)
            end = path.size();
        if (end > start) {
            if (end - start > kMaxKeyName)
                return ERROR_INVALID_PARAMETER;
            parts->emplace_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return ERROR_SUCCESS;
}

LSTATUS Fail(const Query& q, bool write) { return FromSqlite(q.rc(), write); }

// The key behind a handle must still exist: it may have been deleted through another handle.
LSTATUS CheckAlive(sqlite3* db, std::int64_t id, bool write)
{
    Query q(db, "SELECT 1 FROM keys WHERE id = ?");
    int rc = q.Bind(1, id).Step();
    if (rc == SQLITE_ROW)
        return ERROR_SUCCESS;
    return rc == SQLITE_DONE ? ERROR_KEY_DELETED : Fail(q, write);
}

LSTATUS FindChild(sqlite3* db, std::int64_t parent, const std::string& name, std::int64_t* id, bool write)
{
    Query q(db, "SELECT id FROM keys WHERE parent = ? AND folded = ?");
    int rc = q.Bind(1, parent).Bind(2, Fold(name)).Step();
    if (rc == SQLITE_ROW) {
        *id = q.Int(0);
        return ERROR_SUCCESS;
    }
    return rc == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : Fail(q, write);
}

LSTATUS Walk(sqlite3* db, std::int64_t from, const std::vector<std::string>& parts, std::int64_t* id)
{
    *id = from;
    for (const std::string& part : parts)
        if (LSTATUS r = FindChild(db, *id, part, id, false); r != ERROR_SUCCESS)
            return r;
    return ERROR_SUCCESS;
}

const char* ValueName(const char* name) { return name ? name : ""; }

bool CanWrite(REGSAM access) { return (access & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY | kDelete)) != 0; }

} // namespace

extern "C" {

LSTATUS RegOpenKeyExA(HKEY key, const char* subKey, DWORD, REGSAM access, HKEY* result)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    HKEY__ from;
    if (!Resolve(key, &from))
        return ERROR_INVALID_HANDLE;
    std::vector<std::string> parts;
    if (LSTATUS r = SplitPath(subKey, &parts); r != ERROR_SUCCESS)
        return r;
    std::int64_t id = 0;
    LSTATUS r = Store::Instance().Run(false, [&](sqlite3* db) {
        if (LSTATUS alive = CheckAlive(db, from.id, false); alive != ERROR_SUCCESS)
            return alive;
        return Walk(db, from.id, parts, &id);
    });
    if (r == ERROR_SUCCESS)
        *result = Live().Add(id, access);
    return r;
}

LSTATUS RegCreateKeyExA(HKEY key, const char* subKey, DWORD, REGSAM access, HKEY* result, DWORD* disposition)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    HKEY__ from;
    if (!Resolve(key, &from))
        return ERROR_INVALID_HANDLE;
    std::vector<std::string> parts;
    if (LSTATUS r = SplitPath(subKey, &parts); r != ERROR_SUCCESS)
        return r;
    std::int64_t id = from.id;
    bool created = false;
    LSTATUS r = Store::Instance().Run(true, [&](sqlite3* db) {
        if (LSTATUS alive = CheckAlive(db, from.id, true); alive != ERROR_SUCCESS)
            return alive;
        for (const std::string& part : parts) {
            LSTATUS found = FindChild(db, id, part, &id, true);
            if (found == ERROR_SUCCESS)
                continue;
            if (found != ERROR_FILE_NOT_FOUND)
                return found;
            if (!(from.access & KEY_CREATE_SUB_KEY))
                return ERROR_ACCESS_DENIED;
            Query ins(db, "INSERT INTO keys(parent, name, folded) VALUES(?, ?, ?)");
            if (ins.Bind(1, id).Bind(2, part).Bind(3, Fold(part)).Step() != SQLITE_DONE)
                return Fail(ins, true);
            id = sqlite3_last_insert_rowid(db);
            created = true;
        }
        return ERROR_SUCCESS;
    });
    if (r != ERROR_SUCCESS)
        return r;
    if (disposition)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = Live().Add(id, access);
    return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key)
{
    if (key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER || key == HKEY_CLASSES_ROOT || key == HKEY_USERS)
        return ERROR_SUCCESS; // the hives are never closed
    return Live().Remove(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS RegQueryValueExA(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size)
{
    HKEY__ k;
    if (!Resolve(key, &k))
        return ERROR_INVALID_HANDLE;
    if (data && !size)
        return ERROR_INVALID_PARAMETER;
    if (!(k.access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    return Store::Instance().Run(false, [&](sqlite3* db) {
        if (LSTATUS alive = CheckAlive(db, k.id, false); alive != ERROR_SUCCESS)
            return alive;
        Query q(db, "SELECT type, data FROM vals WHERE key = ? AND folded = ?");
        int rc = q.Bind(1, k.id).Bind(2, Fold(ValueName(name))).Step();
        if (rc == SQLITE_DONE)
            return ERROR_FILE_NOT_FOUND;
        if (rc != SQLITE_ROW)
            return Fail(q, false);
        std::string bytes = q.Text(1);
        if (type)
            *type = DWORD(q.Int(0));
        LSTATUS result = ERROR_SUCCESS;
        if (data) {
            if (*size < bytes.size())
                result = ERROR_MORE_DATA;
            else
                std::memcpy(data, bytes.data(), bytes.size());
        }
        if (size)
            *size = DWORD(bytes.size());
        return result;
    });
}

LSTATUS RegSetValueExA(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size)
{
    HKEY__ k;
    if (!Resolve(key, &k))
        return ERROR_INVALID_HANDLE;
    if (!data && size > 0)
        return ERROR_INVALID_PARAMETER;
    if (std::strlen(ValueName(name)) > kMaxValueName)
        return ERROR_INVALID_PARAMETER;
    if (!(k.access & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    return Store::Instance().Run(true, [&](sqlite3* db) {
        if (LSTATUS alive = CheckAlive(db, k.id, true); alive != ERROR_SUCCESS)
            return alive;
        // A name written again in another case keeps its first spelling.
        Query q(db, "INSERT INTO vals(key, name, folded, type, data) VALUES(?, ?, ?, ?, ?) "
                    "ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data");
        const std::string n = ValueName(name);
        if (q.Bind(1, k.id).Bind(2, n).Bind(3, Fold(n)).Bind(4, std::int64_t(type)).BindBlob(5, data, size).Step() !=
            SQLITE_DONE)
            return Fail(q, true);
        return ERROR_SUCCESS;
    });
}

LSTATUS RegDeleteValueA(HKEY key, const char* name)
{
    HKEY__ k;
    if (!Resolve(key, &k))
        return ERROR_INVALID_HANDLE;
    if (!(k.access & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    return Store::Instance().Run(true, [&](sqlite3* db) {
        if (LSTATUS alive = CheckAlive(db, k.id, true); alive != ERROR_SUCCESS)
            return alive;
        Query q(db, "DELETE FROM vals WHERE key = ? AND folded = ?");
        if (q.Bind(1, k.id).Bind(2, Fold(ValueName(name))).Step() != SQLITE_DONE)
            return Fail(q, true);
        return sqlite3_changes(db) > 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

LSTATUS RegDeleteKeyA(HKEY key, const char* subKey)
{
    HKEY__ k;
    if (!Resolve(key, &k))
        return ERROR_INVALID_HANDLE;
    if (!CanWrite(k.access))
        return ERROR_ACCESS_DENIED;
    std::vector<std::string> parts;
    if (LSTATUS r = SplitPath(subKey, &parts); r != ERROR_SUCCESS)
        return r;
    return Store::Instance().Run(true, [&](sqlite3* db) {
        if (LSTATUS alive = CheckAlive(db, k.id, true); alive != ERROR_SUCCESS)
            return alive;
        std::int64_t id = 0;
        if (LSTATUS found = Walk(db, k.id, parts, &id); found != ERROR_SUCCESS)
            return found;
        if (IsHive(id))
            return ERROR_ACCESS_DENIED;
        Query vals(db, "WITH RECURSIVE sub(id) AS (SELECT ? UNION ALL SELECT k.id FROM keys k JOIN sub ON k.parent = "
                       "sub.id) DELETE FROM vals WHERE key IN (SELECT id FROM sub)");
        if (vals.Bind(1, id).Step() != SQLITE_DONE)
            return Fail(vals, true);
        Query keys(db, "WITH RECURSIVE sub(id) AS (SELECT ? UNION ALL SELECT k.id FROM keys k JOIN sub ON k.parent = "
                       "sub.id) DELETE FROM keys WHERE id IN (SELECT id FROM sub)");
        if (keys.Bind(1, id).Step() != SQLITE_DONE)
            return Fail(keys, true);
        return ERROR_SUCCESS;
    });
}

namespace {
// A name into the caller's buffer; *nameSize: buffer size in, length out.
LSTATUS CopyName(const std::string& n, char* name, DWORD* nameSize)
{
    LSTATUS result = ERROR_SUCCESS;
    if (n.size() + 1 > *nameSize)
        result = ERROR_MORE_DATA;
    else
        std::memcpy(name, n.c_str(), n.size() + 1);
    *nameSize = DWORD(n.size());
    return result;
}
} // namespace

LSTATUS RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* type, BYTE* data, DWORD* dataSize)
{
    HKEY__ k;
    if (!Resolve(key, &k))
        return ERROR_INVALID_HANDLE;
    if (!name || !nameSize || (data && !dataSize))
        return ERROR_INVALID_PARAMETER;
    if (!(k.access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    return Store::Instance().Run(false, [&](sqlite3* db) {
        if (LSTATUS alive = CheckAlive(db, k.id, false); alive != ERROR_SUCCESS)
            return alive;
        Query q(db, "SELECT name, type, data FROM vals WHERE key = ? ORDER BY folded LIMIT 1 OFFSET ?");
        int rc = q.Bind(1, k.id).Bind(2, std::int64_t(index)).Step();
        if (rc == SQLITE_DONE)
            return ERROR_NO_MORE_ITEMS;
        if (rc != SQLITE_ROW)
            return Fail(q, false);
        std::string bytes = q.Text(2);
        LSTATUS result = CopyName(q.Text(0), name, nameSize);
        if (type)
            *type = DWORD(q.Int(1));
        if (data && *dataSize < bytes.size())
            result = ERROR_MORE_DATA;
        else if (data && result == ERROR_SUCCESS)
            std::memcpy(data, bytes.data(), bytes.size());
        if (dataSize)
            *dataSize = DWORD(bytes.size());
        return result;
    });
}

LSTATUS RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize)
{
    HKEY__ k;
    if (!Resolve(key, &k))
        return ERROR_INVALID_HANDLE;
    if (!name || !nameSize)
        return ERROR_INVALID_PARAMETER;
    if (!(k.access & KEY_ENUMERATE_SUB_KEYS))
        return ERROR_ACCESS_DENIED;
    return Store::Instance().Run(false, [&](sqlite3* db) {
        if (LSTATUS alive = CheckAlive(db, k.id, false); alive != ERROR_SUCCESS)
            return alive;
        Query q(db, "SELECT name FROM keys WHERE parent = ? ORDER BY folded LIMIT 1 OFFSET ?");
        int rc = q.Bind(1, k.id).Bind(2, std::int64_t(index)).Step();
        if (rc == SQLITE_DONE)
            return ERROR_NO_MORE_ITEMS;
        if (rc != SQLITE_ROW)
            return Fail(q, false);
        LSTATUS result = CopyName(q.Text(0), name, nameSize);
        return result;
    });
}

LSTATUS RegQueryInfoKeyA(HKEY key, DWORD* subKeys, DWORD* values)
{
    HKEY__ k;
    if (!Resolve(key, &k))
        return ERROR_INVALID_HANDLE;
    if (!(k.access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    return Store::Instance().Run(false, [&](sqlite3* db) {
        if (LSTATUS alive = CheckAlive(db, k.id, false); alive != ERROR_SUCCESS)
            return alive;
        Query q(db, "SELECT (SELECT count(*) FROM keys WHERE parent = ?1), (SELECT count(*) FROM vals WHERE key = ?1)");
        if (q.Bind(1, k.id).Step() != SQLITE_ROW)
            return Fail(q, false);
        if (subKeys)
            *subKeys = DWORD(q.Int(0));
        if (values)
            *values = DWORD(q.Int(1));
        return ERROR_SUCCESS;
    });
}

LSTATUS RegFlushKey(HKEY key)
{
    HKEY__ k;
    if (!Resolve(key, &k))
        return ERROR_INVALID_HANDLE;
    return Store::Instance().Flush();
}

} // extern "C"

namespace winreg {

std::string StorePath() { return Store::Instance().Path(); }

void SetStorePath(const std::string& path) { Store::Instance().SetPath(path); }

LSTATUS RunInTransaction(const std::function<LSTATUS()>& fn, bool write)
{
    std::exception_ptr thrown;
    LSTATUS r = Store::Instance().Run(write, [&](sqlite3*) {
        try {
            return fn();
        } catch (...) {
            thrown = std::current_exception();
            return ERROR_INVALID_FUNCTION;
        }
    });
    if (thrown)
        std::rethrow_exception(thrown);
    return r;
}

} // namespace winreg
