// Helpers of the service tests: temporary folders, the state database read
// back, list databases built as the conduit builds them, and the service
// program run on a free loopback port.
#pragma once
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fcntl.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/TestFiles.h"
#include "quillio/PdbFile.h"
#include "records/ItemRefRecord.h"
#include "records/OrderInfo.h"

extern char** environ;

// Rows of a query on the state database, each row's columns joined with "|".
inline std::vector<std::string> Rows(const std::string& dbPath, const std::string& sql)
{
    std::vector<std::string> rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(dbPath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        ADD_FAILURE() << "cannot open " << dbPath;
        return rows;
    }
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << sqlite3_errmsg(db);
    } else {
        while (sqlite3_step(st) == SQLITE_ROW) {
            std::string row;
            for (int i = 0; i < sqlite3_column_count(st); ++i) {
                if (i) row += "|";
                const auto* text = sqlite3_column_text(st, i);
                row += text ? reinterpret_cast<const char*>(text) : "";
            }
            rows.push_back(row);
        }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
}

struct Line {
    const char* reference;
    const char* name;
    const char* quantity;
    const char* price;
};

// A list database with an order (category 5) and its lines (category 8).
inline std::unique_ptr<CPdbFile> MakeList(const std::string& name, const std::string& channel,
                                          const std::vector<Line>& lines)
{
    auto pdb = std::make_unique<CPdbFile>(name.c_str(), "KESA", "LIST", 16, 22, 0, 0);
    COrderInfo order;
    order.SetCreationDate("2001-05-03T10:20:30", "W3C");
    order.SetChannelId(channel);
    order.SetMemberId("M-1042");
    order.SetDeliveryAlias("maison");
    order.SetDeliveryName("Anne Martin");
    order.SetDeliveryCity("Paris");
    order.SetFreeComment("Sonner deux fois");
    auto packed = order.CreatePdbRec();
    pdb->m_RecordSet.AddRecord(std::make_unique<CPdbRecord>(packed->Buffer(), packed->Size()), 5);
    for (const Line& l : lines) {
        CItemRefRecord item;
        item.SetReference(l.reference);
        item.SetName(l.name);
        item.SetQuantity(l.quantity);
        item.SetPrice(l.price);
        item.SetNeed(true);
        auto rec = item.CreatePdbRec();
        pdb->m_RecordSet.AddRecord(std::make_unique<CPdbRecord>(rec->Buffer(), rec->Size()), 8);
    }
    return pdb;
}

// norvelia-service on 127.0.0.1 with a port of its choosing; stopped with
// SIGTERM (then SIGKILL) when the object ends.
class ServiceProcess {
public:
    explicit ServiceProcess(std::vector<std::string> extraArgs, const std::string& stateFile,
                            const std::string& content = NORV_SOURCE_DIR "/service/samples")
    {
        m_PortFile = m_Dir / "port";
        std::vector<std::string> args = {NORV_BINARY_DIR "/bin/norvelia-service", "--listen", "127.0.0.1:0",
                                         "--port-file", m_PortFile, "--content", content, "--state", stateFile};
        args.insert(args.end(), extraArgs.begin(), extraArgs.end());
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const std::string log = m_Dir / "stderr.log";
        posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 1, (m_Dir / "stdout.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        if (posix_spawn(&m_Pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) m_Pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        // Bounded wait for the port (the content is compiled first).
        for (int i = 0; i < 3000 && m_Pid > 0 && m_Port <= 0; ++i) {
            std::ifstream in(m_PortFile);
            int port = 0;
            if (in >> port && port > 0) {
                m_Port = port;
                break;
            }
            int status = 0;
            if (waitpid(m_Pid, &status, WNOHANG) == m_Pid) {
                m_Pid = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~ServiceProcess() { Stop(); }
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    bool Running() const { return m_Pid > 0 && m_Port > 0; }
    int Port() const { return m_Port; }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_Port) + "/Tidepost/srv"; }
    std::string Stderr() const { return ReadAll(m_Dir / "stderr.log"); }
    std::string Stdout() const { return ReadAll(m_Dir / "stdout.log"); }

    // The exit status, or -1.
    int Stop()
    {
        if (m_Pid <= 0) return m_Exit;
        kill(m_Pid, SIGTERM);
        int status = 0;
        for (int i = 0; i < 1000; ++i) {
            if (waitpid(m_Pid, &status, WNOHANG) == m_Pid) {
                m_Pid = -1;
                m_Exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                return m_Exit;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(m_Pid, SIGKILL);
        waitpid(m_Pid, &status, 0);
        m_Pid = -1;
        return m_Exit;
    }

private:
    TempDir m_Dir;
    std::string m_PortFile;
    pid_t m_Pid = -1;
    int m_Port = -1;
    int m_Exit = -1;
};
