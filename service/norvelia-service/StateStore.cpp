#include "StateStore.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace {

struct StatementCloser {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementCloser>;

constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS requests(
  id INTEGER PRIMARY KEY, time TEXT NOT NULL, function TEXT NOT NULL, uid TEXT NOT NULL, result TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS orders(
  id INTEGER PRIMARY KEY, time TEXT NOT NULL, uid TEXT NOT NULL, channel TEXT NOT NULL,
  list_name TEXT NOT NULL, file_name TEXT NOT NULL, list_type TEXT NOT NULL, member_id TEXT NOT NULL,
  created TEXT NOT NULL, ordered TEXT NOT NULL, delivery_charges TEXT NOT NULL,
  delivery_address_id TEXT NOT NULL, delivery_alias TEXT NOT NULL, delivery_name TEXT NOT NULL,
  address1 TEXT NOT NULL, address2 TEXT NOT NULL, zip TEXT NOT NULL, city TEXT NOT NULL,
  state TEXT NOT NULL, country TEXT NOT NULL, comment TEXT NOT NULL, process_date TEXT NOT NULL,
  pdb BLOB);
CREATE INDEX IF NOT EXISTS orders_by_list ON orders(uid, list_name, created);
CREATE TABLE IF NOT EXISTS order_lines(
  order_id INTEGER NOT NULL REFERENCES orders(id), position INTEGER NOT NULL,
  reference TEXT NOT NULL, name TEXT NOT NULL, quantity INTEGER NOT NULL, price TEXT NOT NULL,
  need INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS game_scores(
  id INTEGER PRIMARY KEY, time TEXT NOT NULL, uid TEXT NOT NULL, channel TEXT NOT NULL,
  game TEXT NOT NULL, points TEXT NOT NULL, stamp TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS game_starts(
  id INTEGER PRIMARY KEY, time TEXT NOT NULL, uid TEXT NOT NULL, channel TEXT NOT NULL,
  game TEXT NOT NULL, stamp TEXT NOT NULL);
)";

} // namespace

CStateStore::CStateStore() = default;
CStateStore::~CStateStore() = default;

std::string CStateStore::Now()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

bool CStateStore::Open(const std::string& path, std::string& error)
{
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                                   nullptr);
    m_Db.reset(raw);
    if (rc != SQLITE_OK) {
        error = raw ? sqlite3_errmsg(raw) : "out of memory";
        // SQLite's own words do not say what the system refused.
        if (raw && sqlite3_system_errno(raw) != 0) error += std::string(" (") + std::strerror(sqlite3_system_errno(raw)) + ")";
        m_Db.reset();
        return false;
    }
    sqlite3_busy_timeout(m_Db.get(), 5000);
    if (!Exec("PRAGMA journal_mode=WAL;") || !Exec(kSchema)) {
        error = sqlite3_errmsg(m_Db.get());
        m_Db.reset();
        return false;
    }
    return true;
}

bool CStateStore::Exec(const char* sql)
{
    return sqlite3_exec(m_Db.get(), sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool CStateStore::Insert(const char* sql, const std::vector<std::string>& texts, long long* rowId)
{
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(m_Db.get(), sql, -1, &raw, nullptr) != SQLITE_OK) return false;
    Statement statement(raw);
    for (size_t i = 0; i < texts.size(); ++i)
        sqlite3_bind_text(raw, int(i + 1), texts[i].data(), int(texts[i].size()), SQLITE_TRANSIENT);
    if (sqlite3_step(raw) != SQLITE_DONE) return false;
    if (rowId) *rowId = sqlite3_last_insert_rowid(m_Db.get());
    return true;
}

bool CStateStore::AddOrder(OrderRecord& o, bool* repeated)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (repeated) *repeated = false;
    if (!m_Db || !Exec("BEGIN IMMEDIATE;")) return false;
    // The same order sent again (its client never read the answer) keeps the
    // date it was given and is not placed a second time.
    {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(m_Db.get(),
                               "SELECT process_date FROM orders WHERE uid = ? AND channel = ? AND list_name = ? AND "
                               "created = ? AND pdb = ? LIMIT 1",
                               -1, &raw, nullptr) != SQLITE_OK) {
            Exec("ROLLBACK;");
            return false;
        }
        Statement statement(raw);
        int at = 1;
        for (const std::string* text : {&o.uid, &o.channel, &o.listName, &o.created})
            sqlite3_bind_text(raw, at++, text->c_str(), int(text->size()), SQLITE_TRANSIENT);
        sqlite3_bind_blob(raw, at, o.pdb.data(), int(o.pdb.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(raw) == SQLITE_ROW) {
            const auto* date = reinterpret_cast<const char*>(sqlite3_column_text(raw, 0));
            o.processDate = date ? date : "";
            if (repeated) *repeated = true;
            return Exec("COMMIT;");
        }
    }
    long long orderId = 0;
    bool ok = Insert("INSERT INTO orders(time, uid, channel, list_name, file_name, list_type, member_id, created, "
                     "ordered, delivery_charges, delivery_address_id, delivery_alias, delivery_name, address1, "
                     "address2, zip, city, state, country, comment, process_date) "
                     "VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                     {Now(), o.uid, o.channel, o.listName, o.fileName, o.listType, o.memberId, o.created, o.ordered,
                      o.deliveryCharges, o.deliveryAddressId, o.deliveryAlias, o.deliveryName, o.address1,
                      o.address2, o.zip, o.city, o.state, o.country, o.comment, o.processDate},
                     &orderId);
    if (ok) {
        sqlite3_stmt* raw = nullptr;
        ok = sqlite3_prepare_v2(m_Db.get(), "UPDATE orders SET pdb = ? WHERE id = ?", -1, &raw, nullptr) == SQLITE_OK;
        Statement statement(raw);
        if (ok) {
            sqlite3_bind_blob(raw, 1, o.pdb.data(), int(o.pdb.size()), SQLITE_TRANSIENT);
            sqlite3_bind_int64(raw, 2, orderId);
            ok = sqlite3_step(raw) == SQLITE_DONE;
        }
    }
    for (size_t i = 0; ok && i < o.lines.size(); ++i) {
        const OrderLine& line = o.lines[i];
        ok = Insert("INSERT INTO order_lines(order_id, position, reference, name, quantity, price, need) "
                    "VALUES(?,?,?,?,?,?,?)",
                    {std::to_string(orderId), std::to_string(i), line.reference, line.name,
                     std::to_string(line.quantity), line.price, line.need ? "1" : "0"});
    }
    if (!ok) {
        Exec("ROLLBACK;");
        return false;
    }
    return Exec("COMMIT;");
}

bool CStateStore::AddGameScore(const std::string& uid, const std::string& channel, const std::string& game,
                               const std::string& points, const std::string& stamp)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Db && Insert("INSERT INTO game_scores(time, uid, channel, game, points, stamp) VALUES(?,?,?,?,?,?)",
                          {Now(), uid, channel, game, points, stamp});
}

bool CStateStore::AddGameStart(const std::string& uid, const std::string& channel, const std::string& game,
                               const std::string& stamp)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Db && Insert("INSERT INTO game_starts(time, uid, channel, game, stamp) VALUES(?,?,?,?,?)",
                          {Now(), uid, channel, game, stamp});
}

bool CStateStore::AddRequest(const std::string& function, const std::string& uid, const std::string& result)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Db && Insert("INSERT INTO requests(time, function, uid, result) VALUES(?,?,?,?)",
                          {Now(), function, uid, result});
}

std::vector<std::vector<std::string>> CStateStore::Select(const char* sql, int count)
{
    std::vector<std::vector<std::string>> rows;
    std::lock_guard<std::mutex> lock(m_Mutex);
    sqlite3_stmt* raw = nullptr;
    if (!m_Db || sqlite3_prepare_v2(m_Db.get(), sql, -1, &raw, nullptr) != SQLITE_OK) return rows;
    Statement statement(raw);
    sqlite3_bind_int(raw, 1, count);
    while (sqlite3_step(raw) == SQLITE_ROW) {
        std::vector<std::string> row;
        for (int i = 0; i < sqlite3_column_count(raw); ++i) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, i));
            row.emplace_back(text ? std::string(text, size_t(sqlite3_column_bytes(raw, i))) : std::string());
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<RequestRow> CStateStore::LastRequests(int count)
{
    std::vector<RequestRow> out;
    for (auto& r : Select("SELECT time, function, uid, result FROM requests ORDER BY id DESC LIMIT ?", count))
        out.push_back({r[0], r[1], r[2], r[3]});
    return out;
}

std::vector<OrderSummary> CStateStore::LastOrders(int count)
{
    std::vector<OrderSummary> out;
    for (auto& r : Select("SELECT time, uid, channel, list_name, delivery_name, city, process_date, "
                          "(SELECT COUNT(*) FROM order_lines WHERE order_id = orders.id) "
                          "FROM orders ORDER BY id DESC LIMIT ?",
                          count))
        out.push_back({r[0], r[1], r[2], r[3], r[4], r[5], r[6], std::atoi(r[7].c_str())});
    return out;
}

std::vector<GameScoreRow> CStateStore::LastGameScores(int count)
{
    std::vector<GameScoreRow> out;
    for (auto& r : Select("SELECT time, uid, channel, game, points FROM game_scores ORDER BY id DESC LIMIT ?", count))
        out.push_back({r[0], r[1], r[2], r[3], r[4]});
    return out;
}

std::string CStateStore::DefaultPath(std::string& error)
{
    namespace fs = std::filesystem;
    fs::path base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/') {
        base = state;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = fs::path(home) / ".local" / "state";
    } else {
        error = "neither XDG_STATE_HOME nor HOME is set: give --state";
        return {};
    }
    const fs::path dir = base / "norvelia-service";
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) {
        error = "cannot create " + dir.string() + ": " + ec.message();
        return {};
    }
    // What the service records holds users' orders and addresses.
    ::chmod(dir.c_str(), 0700);
    return (dir / "state.db").string();
}
