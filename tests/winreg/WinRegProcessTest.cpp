// Several processes on one store: nothing lost, nothing half-written.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include "winreg/RegTestStore.h"

namespace {

int WaitExit(pid_t pid)
{
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

DWORD ReadCounter(const char* path, const char* name)
{
    auto bytes = RegGet(HKEY_LOCAL_MACHINE, path, name);
    if (!bytes || bytes->size() != 4)
        return 0;
    DWORD v = 0;
    std::memcpy(&v, bytes->data(), 4);
    return v;
}

LSTATUS PutCounter(const char* path, const char* name, DWORD v)
{
    return RegPut(HKEY_LOCAL_MACHINE, path, name, REG_DWORD, std::string(reinterpret_cast<char*>(&v), 4));
}

} // namespace

TEST(WinRegProcesses, TwoWritersAtOnceLoseNothing)
{
    RegTestStore store;
    ASSERT_EQ(RegMakeKey(HKEY_LOCAL_MACHINE, "C"), ERROR_SUCCESS); // the parent's connection is open across fork
    constexpr int kWrites = 120;
    pid_t writers[2];
    for (int w = 0; w < 2; ++w) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int failures = 0;
            for (int i = 0; i < kWrites; ++i) {
                const std::string tag = std::to_string(w) + "-" + std::to_string(i);
                failures += RegPutString(HKEY_LOCAL_MACHINE, "C", "v" + tag, tag) != ERROR_SUCCESS;
                failures += RegMakeKey(HKEY_LOCAL_MACHINE, "C\\k" + tag) != ERROR_SUCCESS;
                // Read, add, write back: only whole transactions keep the count right.
                failures += winreg::RunInTransaction([] {
                    return PutCounter("C", "Count", ReadCounter("C", "Count") + 1);
                }) != ERROR_SUCCESS;
            }
            _exit(failures == 0 ? 0 : 1);
        }
        writers[w] = pid;
    }
    EXPECT_EQ(WaitExit(writers[0]), 0);
    EXPECT_EQ(WaitExit(writers[1]), 0);

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "C", 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD subKeys = 0, values = 0;
    EXPECT_EQ(RegQueryInfoKeyA(key, &subKeys, &values), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(subKeys, 2u * kWrites);
    EXPECT_EQ(values, 2u * kWrites + 1);
    EXPECT_EQ(ReadCounter("C", "Count"), 2u * kWrites);
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, "C", "v1-77"), std::string("1-77", 5));
}

TEST(WinRegProcesses, WriterKilledMidWriteLeavesWholeTransactions)
{
    RegTestStore store;
    ASSERT_EQ(RegMakeKey(HKEY_LOCAL_MACHINE, "K"), ERROR_SUCCESS);
    constexpr DWORD kMaxWrites = 100000;
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        for (DWORD i = 1; i <= kMaxWrites; ++i) {
            // One transaction: a new key with two values, and the count of keys so far.
            winreg::RunInTransaction([i] {
                const std::string path = "K\\" + std::to_string(i);
                if (LSTATUS r = PutCounter(path.c_str(), "A", i); r != ERROR_SUCCESS)
                    return r;
                if (LSTATUS r = PutCounter(path.c_str(), "B", i); r != ERROR_SUCCESS)
                    return r;
                return PutCounter("K", "Done", i);
            });
        }
        _exit(0);
    }
    // Let it get well into its loop, then kill it without warning.
    for (int poll = 0; poll < 20000 && ReadCounter("K", "Done") < 50; ++poll)
        usleep(1000);
    kill(pid, SIGKILL);
    WaitExit(pid);

    winreg::SetStorePath(store.Dir() + "/other.db"); // close our connection before checking the file
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(store.Path().c_str(), &db), SQLITE_OK);
        sqlite3_stmt* s = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &s, nullptr), SQLITE_OK);
        ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
        EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)), "ok");
        sqlite3_finalize(s);
        sqlite3_close(db);
    }
    winreg::SetStorePath(store.Path());

    const DWORD done = ReadCounter("K", "Done");
    EXPECT_GE(done, 50u);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD subKeys = 0;
    EXPECT_EQ(RegQueryInfoKeyA(key, &subKeys, nullptr), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(subKeys, done);
    for (DWORD i = 1; i <= done; ++i) {
        const std::string path = "K\\" + std::to_string(i);
        ASSERT_EQ(ReadCounter(path.c_str(), "A"), i);
        ASSERT_EQ(ReadCounter(path.c_str(), "B"), i);
    }
    // And the store still takes writes.
    EXPECT_EQ(PutCounter("K", "After", 1), ERROR_SUCCESS);
}

TEST(WinRegProcesses, ProcessesCreatingTheStoreTogetherAllSucceed)
{
    RegTestStore store;
    for (int round = 0; round < 5; ++round) {
        const std::string path = store.Dir() + "/fresh" + std::to_string(round) + ".db";
        winreg::SetStorePath(path); // nobody has opened this file yet
        pid_t writers[4];
        for (int w = 0; w < 4; ++w) {
            writers[w] = fork();
            ASSERT_GE(writers[w], 0);
            if (writers[w] == 0)
                _exit(RegPutString(HKEY_LOCAL_MACHINE, "A\\B" + std::to_string(w), "V", "x") == ERROR_SUCCESS ? 0 : 1);
        }
        for (pid_t pid : writers)
            EXPECT_EQ(WaitExit(pid), 0) << "round " << round;
        EXPECT_EQ(RegValueCount(HKEY_LOCAL_MACHINE, "A\\B3"), 1u);
    }
}
