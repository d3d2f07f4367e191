// The service's memory: every order with its lines, every game score and
// game start, and one row per request, in one SQLite file.
#pragma once
#include <sqlite3.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct OrderLine {
    std::string reference;
    std::string name;
    int quantity = 0;
    std::string price;
    bool need = false;
};

struct OrderRecord {
    std::string uid;
    std::string channel;
    std::string listName;
    std::string fileName;
    std::string listType;
    std::string memberId;
    std::string created;
    std::string ordered;
    std::string deliveryCharges;
    std::string deliveryAddressId;
    std::string deliveryAlias;
    std::string deliveryName;
    std::string address1;
    std::string address2;
    std::string zip;
    std::string city;
    std::string state;
    std::string country;
    std::string comment;
    std::string processDate;
    std::vector<unsigned char> pdb;
    std::vector<OrderLine> lines;
};

// What the status page shows of the last requests, orders and scores.
struct RequestRow {
    std::string time, function, uid, result;
};
struct OrderSummary {
    std::string time, uid, channel, listName, deliveryName, city, processDate;
    int lines = 0;
};
struct GameScoreRow {
    std::string time, uid, channel, game, points;
};

class CStateStore {
public:
    CStateStore();
    ~CStateStore();
    CStateStore(const CStateStore&) = delete;
    CStateStore& operator=(const CStateStore&) = delete;

    // Opens (creates) the file and its tables; false with `error` set.
    bool Open(const std::string& path, std::string& error);

    // Each write is one transaction; false when it failed. An order the
    // store holds already (same user, channel, list, creation date and bytes)
    // is not added again: `repeated` says so and the order gets the process
    // date it was given then.
    bool AddOrder(OrderRecord& order, bool* repeated = nullptr);
    bool AddGameScore(const std::string& uid, const std::string& channel, const std::string& game,
                      const std::string& points, const std::string& stamp);
    bool AddGameStart(const std::string& uid, const std::string& channel, const std::string& game,
                      const std::string& stamp);
    bool AddRequest(const std::string& function, const std::string& uid, const std::string& result);

    // The newest rows first, `count` at most.
    std::vector<RequestRow> LastRequests(int count);
    std::vector<OrderSummary> LastOrders(int count);
    std::vector<GameScoreRow> LastGameScores(int count);

    // ${XDG_STATE_HOME:-~/.local/state}/norvelia-service/state.db, its folder
    // made; empty with `error` set when there is no such place.
    static std::string DefaultPath(std::string& error);

    // Local time as the service records it: 2001-05-03T10:20:30.
    static std::string Now();

private:
    struct Closer {
        void operator()(sqlite3* db) const { sqlite3_close(db); }
    };
    bool Exec(const char* sql);
    bool Insert(const char* sql, const std::vector<std::string>& texts, long long* rowId = nullptr);

    std::vector<std::vector<std::string>> Select(const char* sql, int count);

    std::unique_ptr<sqlite3, Closer> m_Db;
    // One connection for every server thread.
    std::mutex m_Mutex;
};
