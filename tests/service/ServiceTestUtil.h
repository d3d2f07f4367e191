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
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/ServiceProcess.h"
#include "client/KesaResponse.h"
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

// The answer's arguments as name=value (files: name=fileName:length).
inline std::vector<std::string> Parse(const std::string& body, CKesaResponse& answer)
{
    auto* copy = static_cast<BYTE*>(std::malloc(body.size() + 1));
    std::memcpy(copy, body.data(), body.size());
    EXPECT_TRUE(answer.InitializeFromBuffer(copy, DWORD(body.size())));
    std::vector<std::string> args;
    for (int i = 0; i < answer.GetArgCount(); ++i) {
        const CKesaHttpArg* a = answer.GetArg(i);
        args.push_back(a->GetName() + "=" + a->GetValue() +
                       (a->GetLength() ? ":" + std::to_string(a->GetLength()) : std::string()));
    }
    return args;
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
