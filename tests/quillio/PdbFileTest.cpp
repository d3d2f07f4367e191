#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <thread>

#include "quillio/PdbFile.h"

namespace {

void Put16(std::vector<BYTE>& v, unsigned x) { v.push_back(BYTE(x >> 8)); v.push_back(BYTE(x)); }
void Put32(std::vector<BYTE>& v, unsigned x) { for (int s = 24; s >= 0; s -= 8) v.push_back(BYTE(x >> s)); }

// A two-record database with an AppInfo block, built by hand from the layout.
std::vector<BYTE> Fixture()
{
    std::vector<BYTE> v(32, 0);
    std::memcpy(v.data(), "ShopList-C7", 11);
    Put16(v, 0x0010);     // attributes
    Put16(v, 22);         // version
    Put32(v, 0xB0000001); // creation
    Put32(v, 0xB0000002); // modification
    Put32(v, 0);          // backup
    Put32(v, 7);          // modification number
    Put32(v, 78 + 16 + 2); // AppInfo
    Put32(v, 0);          // SortInfo
    v.insert(v.end(), {'L', 'I', 'S', 'T', 'K', 'E', 'S', 'A'});
    Put32(v, 0); Put32(v, 0);
    Put16(v, 2);
    Put32(v, 78 + 16 + 2 + 3); v.push_back(0x05); v.insert(v.end(), {0x00, 0x10, 0x01});
    Put32(v, 78 + 16 + 2 + 3 + 4); v.push_back(0x48); v.insert(v.end(), {0xAB, 0xCD, 0xEF});
    v.insert(v.end(), {0, 0});
    v.insert(v.end(), {'A', 'P', 'P'});
    v.insert(v.end(), {1, 2, 3, 4});
    v.insert(v.end(), {9, 8});
    return v;
}

std::string WriteTemp(const std::vector<BYTE>& bytes, const char* name)
{
    std::string path = ::testing::TempDir() + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
}

std::vector<BYTE> ReadWhole(int fd)
{
    std::vector<BYTE> bytes;
    BYTE buffer[65536];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) bytes.insert(bytes.end(), buffer, buffer + n);
    return bytes;
}

// Writes `pdb` after a few bytes already in a file, to a file opened for
// appending, and (on POSIX) to a pipe: the number of them whose bytes are
// not the prefix and then ToBytes, with the position at their end.
int ThroughEachDescriptor(const CPdbFile& pdb, const std::string& dir)
{
    const std::vector<BYTE> image = pdb.ToBytes();
    const std::vector<BYTE> prefix = {'a', 'b', 'c'};
    std::vector<BYTE> expected = prefix;
    expected.insert(expected.end(), image.begin(), image.end());
    int wrong = 0;
    for (const int flags : {O_RDWR, O_RDWR | O_APPEND}) {
        const std::string path = dir + "/descriptor.pdb";
#ifdef _WIN32
        const int fd = ::open(path.c_str(), flags | O_CREAT | O_TRUNC | O_BINARY, 0600);
#else
        const int fd = ::open(path.c_str(), flags | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
#endif
        if (fd < 0 || ::write(fd, prefix.data(), prefix.size()) != 3 || !pdb.WriteTo(fd) ||
            ::lseek(fd, 0, SEEK_CUR) != off_t(expected.size()) || ::lseek(fd, 0, SEEK_SET) != 0 ||
            ReadWhole(fd) != expected)
            ++wrong;
        ::close(fd);
        std::remove(path.c_str());
    }
#ifndef _WIN32
    int ends[2];
    if (::pipe(ends) != 0) return wrong + 1;
    std::vector<BYTE> got;
    std::thread reader([&] { got = ReadWhole(ends[0]); });
    const bool written = ::write(ends[1], prefix.data(), prefix.size()) == 3 && pdb.WriteTo(ends[1]);
    ::close(ends[1]);
    reader.join();
    ::close(ends[0]);
    if (!written || got != expected) ++wrong;
#endif
    return wrong;
}

} // namespace

TEST(PdbFile, ReadsHandBuiltFixtureAndWritesItBackByteForByte)
{
    std::vector<BYTE> fixture = Fixture();
    CPdbFile pdb;
    ASSERT_TRUE(pdb.ReadPdbFile(WriteTemp(fixture, "fixture.pdb").c_str()));
    EXPECT_EQ(pdb.m_Name, "ShopList-C7");
    EXPECT_EQ(pdb.m_Attributes, 0x0010);
    EXPECT_EQ(pdb.m_Version, 22);
    EXPECT_EQ(pdb.m_CreationDate, 0xB0000001u);
    EXPECT_EQ(pdb.m_ModificationNumber, 7u);
    EXPECT_EQ(pdb.m_Type, FourCC("LIST"));
    EXPECT_EQ(pdb.m_Creator, FourCC("KESA"));
    EXPECT_EQ(pdb.m_AppInfo, (std::vector<BYTE>{'A', 'P', 'P'}));
    ASSERT_EQ(pdb.m_RecordSet.GetCount(), 2u);
    const CPdbRecord* r0 = pdb.m_RecordSet.GetRecord(0);
    EXPECT_EQ(r0->m_Attrib, 0x05);
    EXPECT_EQ(r0->m_UniqueId, 0x001001u);
    EXPECT_EQ(r0->m_Data, (std::vector<BYTE>{1, 2, 3, 4}));
    const CPdbRecord* r1 = pdb.m_RecordSet.GetRecord(1);
    EXPECT_EQ(r1->m_Attrib, 0x48);
    EXPECT_EQ(r1->m_UniqueId, 0xABCDEFu);
    EXPECT_EQ(r1->m_Data, (std::vector<BYTE>{9, 8}));

    BYTE* buffer = nullptr;
    long size = pdb.ConvertToBuffer(&buffer);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(std::vector<BYTE>(buffer, buffer + size), fixture);
    std::free(buffer);
}

TEST(PdbFile, EmptyDatabaseConstructorGivesAValidFile)
{
    CPdbFile pdb("MyList", "KESA", "EMLS", 16, 22, 0, 0);
    EXPECT_EQ(pdb.m_Creator, FourCC("KESA"));
    EXPECT_EQ(pdb.m_Type, FourCC("EMLS"));
    std::vector<BYTE> bytes = pdb.ToBytes();
    ASSERT_EQ(bytes.size(), 80u); // header and the two zero bytes
    EXPECT_EQ(CPdbFile::PeekWord(bytes.data() + 32), 16);
    EXPECT_EQ(CPdbFile::PeekWord(bytes.data() + 34), 22);
    EXPECT_EQ(CPdbFile::PeekDWord(bytes.data() + 52), 0u); // no AppInfo
    EXPECT_EQ(CPdbFile::PeekWord(bytes.data() + 76), 0);

    CPdbFile longName(std::string(40, 'n').c_str(), "KESA", "LIST", 0, 0, 0, 0);
    EXPECT_EQ(longName.m_Name.size(), 31u);
}

TEST(PdbFile, RoundTripsEveryFieldRecordAndResource)
{
    std::mt19937 rng(7);
    for (bool resource : {false, true}) {
        CPdbFile pdb("Round trip", "KESA", "CATA", resource ? 1 : 0, 3, 11, 12);
        pdb.m_BackupDate = 13;
        pdb.m_ModificationNumber = 14;
        pdb.m_UniqueIdSeed = 15;
        pdb.m_NextRecordList = 0;
        pdb.m_AppInfo.assign(269, 0x5A);
        pdb.m_SortInfo = {1, 2};
        for (int i = 0; i < 40; ++i) {
            std::vector<BYTE> data(rng() % 300);
            for (auto& b : data) b = BYTE(rng());
            auto rec = std::make_unique<CPdbRecord>(data.data(), long(data.size()));
            rec->m_UniqueId = 0x100000u + unsigned(i);
            rec->m_ResType = FourCC("tAIB");
            rec->m_ResId = WORD(1000 + i);
            pdb.m_RecordSet.AddRecord(std::move(rec), BYTE(i & 0xFF));
        }
        std::vector<BYTE> bytes = pdb.ToBytes();
        CPdbFile back;
        ASSERT_TRUE(back.ReadPdbBuffer(bytes.data(), bytes.size()));
        EXPECT_EQ(back.m_Name, pdb.m_Name);
        EXPECT_EQ(back.m_Attributes, pdb.m_Attributes);
        EXPECT_EQ(back.m_Version, 3);
        EXPECT_EQ(back.m_CreationDate, 11u);
        EXPECT_EQ(back.m_ModificationDate, 12u);
        EXPECT_EQ(back.m_BackupDate, 13u);
        EXPECT_EQ(back.m_ModificationNumber, 14u);
        EXPECT_EQ(back.m_UniqueIdSeed, 15u);
        EXPECT_EQ(back.m_AppInfo, pdb.m_AppInfo);
        EXPECT_EQ(back.m_SortInfo, pdb.m_SortInfo);
        ASSERT_EQ(back.m_RecordSet.GetCount(), 40u);
        for (std::size_t i = 0; i < 40; ++i) {
            const CPdbRecord* a = pdb.m_RecordSet.GetRecord(i);
            const CPdbRecord* b = back.m_RecordSet.GetRecord(i);
            EXPECT_EQ(a->m_Data, b->m_Data);
            if (resource) {
                EXPECT_EQ(b->m_ResType, a->m_ResType);
                EXPECT_EQ(b->m_ResId, a->m_ResId);
            } else {
                EXPECT_EQ(b->m_Attrib, a->m_Attrib);
                EXPECT_EQ(b->m_UniqueId, a->m_UniqueId);
            }
        }
        EXPECT_EQ(back.ToBytes(), bytes);
    }
}

TEST(PdbFile, DamagedFilesReadWhatIsSoundAndNeverCrash)
{
    CPdbFile pdb;
    EXPECT_FALSE(pdb.ReadPdbFile("/nonexistent/file.pdb"));
    std::vector<BYTE> fixture = Fixture();

    // Short header.
    std::vector<BYTE> shortHeader(fixture.begin(), fixture.begin() + 77);
    EXPECT_FALSE(pdb.ReadPdbBuffer(shortHeader.data(), shortHeader.size()));

    // A record count larger than the file keeps the entries that fit.
    std::vector<BYTE> bigCount = fixture;
    bigCount[76] = 0xFF;
    bigCount[77] = 0xFF;
    ASSERT_TRUE(pdb.ReadPdbBuffer(bigCount.data(), bigCount.size()));
    EXPECT_LE(pdb.m_RecordSet.GetCount(), (bigCount.size() - 78) / 8);

    // Offsets past the end read as empty records.
    std::vector<BYTE> pastEnd = fixture;
    pastEnd[78] = 0x7F;
    ASSERT_TRUE(pdb.ReadPdbBuffer(pastEnd.data(), pastEnd.size()));
    ASSERT_EQ(pdb.m_RecordSet.GetCount(), 2u);
    EXPECT_EQ(pdb.m_RecordSet.GetRecord(0)->Size(), 0);
    EXPECT_EQ(pdb.m_RecordSet.GetRecord(1)->m_Data, (std::vector<BYTE>{9, 8}));

    // Offsets out of order: each record still ends at the next block in the file.
    std::vector<BYTE> swapped = fixture;
    std::swap_ranges(swapped.begin() + 78, swapped.begin() + 82, swapped.begin() + 86);
    ASSERT_TRUE(pdb.ReadPdbBuffer(swapped.data(), swapped.size()));
    EXPECT_EQ(pdb.m_RecordSet.GetRecord(0)->m_Data, (std::vector<BYTE>{9, 8}));
    EXPECT_EQ(pdb.m_RecordSet.GetRecord(1)->m_Data, (std::vector<BYTE>{1, 2, 3, 4}));

    // Truncations at every length and random corruption never read out of bounds.
    std::mt19937 rng(1);
    for (std::size_t len = 0; len <= fixture.size(); ++len) {
        CPdbFile p;
        p.ReadPdbBuffer(fixture.data(), len);
    }
    for (int i = 0; i < 2000; ++i) {
        std::vector<BYTE> bad = fixture;
        for (int k = 0; k < 4; ++k) bad[rng() % bad.size()] = BYTE(rng());
        CPdbFile p;
        if (p.ReadPdbBuffer(bad.data(), bad.size())) {
            for (const auto& r : p.m_RecordSet) EXPECT_LE(std::size_t(r->Size()), bad.size());
        }
    }
}

TEST(PdbFile, EmptyRecordsKeepTheirPlaceAndTheirNeighboursBytes)
{
    // Each case: the records' contents, "" for an empty one.
    const std::vector<std::vector<std::string>> cases = {
        {"", "hello"},
        {"first", "", "last"},
        {"hello", ""},
        {"", "", "x", "", ""},
        {"", ""},
        {""},
    };
    for (bool resource : {false, true}) {
        for (bool appInfo : {false, true}) {
            for (const auto& texts : cases) {
                SCOPED_TRACE(::testing::Message() << "resource " << resource << ", AppInfo " << appInfo << ", "
                                                  << texts.size() << " records starting \"" << texts[0] << "\"");
                CPdbFile pdb("Empty records", "KESA", "DATA", resource ? 1 : 0, 1, 0, 0);
                if (appInfo) pdb.m_AppInfo = {'A'};
                for (std::size_t i = 0; i < texts.size(); ++i) {
                    auto rec = std::make_unique<CPdbRecord>(reinterpret_cast<const BYTE*>(texts[i].data()),
                                                            long(texts[i].size()));
                    rec->m_UniqueId = DWORD(i + 1);
                    rec->m_ResId = WORD(i);
                    pdb.m_RecordSet.AddRecord(std::move(rec), 0);
                }
                const std::vector<BYTE> bytes = pdb.ToBytes();
                CPdbFile back;
                ASSERT_TRUE(back.ReadPdbBuffer(bytes.data(), bytes.size()));
                EXPECT_EQ(back.m_AppInfo, pdb.m_AppInfo);
                ASSERT_EQ(back.m_RecordSet.GetCount(), texts.size());
                for (std::size_t i = 0; i < texts.size(); ++i) {
                    const auto& d = back.m_RecordSet.GetRecord(i)->m_Data;
                    EXPECT_EQ(std::string(d.begin(), d.end()), texts[i]) << "record " << i;
                }
                EXPECT_EQ(back.ToBytes(), bytes);
            }
        }
    }
}

TEST(PdbFile, RandomRecordSetsWithEmptyRecordsRoundTrip)
{
    std::mt19937 rng(10);
    for (int round = 0; round < 200; ++round) {
        CPdbFile pdb("Random", "KESA", "DATA", 0, 1, 0, 0);
        if (rng() % 2) pdb.m_AppInfo.assign(rng() % 3, 0xA5);
        if (rng() % 2) pdb.m_SortInfo.assign(rng() % 3, 0x5A);
        const std::size_t count = rng() % 12;
        for (std::size_t i = 0; i < count; ++i) {
            std::vector<BYTE> data(rng() % 3 == 0 ? 0 : rng() % 40);
            for (auto& b : data) b = BYTE(rng());
            auto rec = std::make_unique<CPdbRecord>(data.data(), long(data.size()));
            rec->m_UniqueId = DWORD(i + 1);
            pdb.m_RecordSet.AddRecord(std::move(rec), BYTE(rng() & 0xF0));
        }
        const std::vector<BYTE> bytes = pdb.ToBytes();
        CPdbFile back;
        ASSERT_TRUE(back.ReadPdbBuffer(bytes.data(), bytes.size()));
        ASSERT_EQ(back.m_RecordSet.GetCount(), count) << "round " << round;
        EXPECT_EQ(back.m_AppInfo, pdb.m_AppInfo) << "round " << round;
        EXPECT_EQ(back.m_SortInfo, pdb.m_SortInfo) << "round " << round;
        for (std::size_t i = 0; i < count; ++i) {
            EXPECT_EQ(back.m_RecordSet.GetRecord(i)->m_Data, pdb.m_RecordSet.GetRecord(i)->m_Data)
                << "round " << round << ", record " << i;
            EXPECT_EQ(back.m_RecordSet.GetRecord(i)->m_Attrib, pdb.m_RecordSet.GetRecord(i)->m_Attrib);
        }
    }
}

// Writing to a descriptor gives the bytes of ToBytes, through its buffer
// and past it, and a full disk is an error.
TEST(PdbFile, WriteToGivesTheSameBytesAndReportsAFullDisk)
{
    std::mt19937 rng(3);
    const std::string dir = ::testing::TempDir();
    // The first record is the largest: a block too large for the buffer after the head, or larger than it.
    const std::pair<std::size_t, std::size_t> cases[] = {{0, 0},      {1, 10},       {1, 200},
                                                         {3000, 60}, {500, 2000}, {3, 300000},
                                                         {1200, 9000}};
    for (const auto& [count, largest] : cases) {
        SCOPED_TRACE(count);
        CPdbFile pdb("Written", "KESA", "DATA", count % 2 ? 0 : CPdbFile::kAttrResource, 1, 0, 0);
        if (count % 3) pdb.m_AppInfo.assign(17, 0xA5);
        if (count % 5) pdb.m_SortInfo.assign(3, 0x5A);
        for (std::size_t i = 0; i < count; ++i) {
            std::vector<BYTE> data(i == 0 ? largest : rng() % 4 == 0 ? 0 : rng() % (largest + 1));
            for (auto& b : data) b = BYTE(rng());
            auto rec = std::make_unique<CPdbRecord>(data.data(), long(data.size()));
            rec->m_UniqueId = DWORD(i + 1);
            pdb.m_RecordSet.AddRecord(std::move(rec), BYTE(i & 0xF0));
        }
        const std::string path = dir + "/written.pdb";
        ASSERT_TRUE(pdb.WritePdbFile(path.c_str()));
        std::FILE* f = std::fopen(path.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        std::vector<BYTE> read(pdb.ToBytes().size() + 1);
        read.resize(std::fread(read.data(), 1, read.size(), f));
        std::fclose(f);
        EXPECT_EQ(read, pdb.ToBytes());
        EXPECT_EQ(ThroughEachDescriptor(pdb, dir), 0) << "descriptors whose bytes differ";

        // Read back, its records are ranges of one buffer, written in runs;
        // records changed in place, or given bytes of their own, break them.
        CPdbFile back;
        ASSERT_TRUE(back.ReadPdbFile(path.c_str()));
        for (std::size_t i = 0; i < count; i += 7) {
            CPdbRecord* r = back.m_RecordSet.GetRecord(i);
            if (i % 2 && r->Size() > 0) r->Data()[0] ^= 0xFF;
            else r->m_Data.resize(std::size_t(r->Size()) + 5);
        }
        const std::string again = dir + "/again.pdb";
        ASSERT_TRUE(back.WritePdbFile(again.c_str()));
        f = std::fopen(again.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        const std::vector<BYTE> expected = back.ToBytes();
        read.assign(expected.size() + 1, 0);
        read.resize(std::fread(read.data(), 1, read.size(), f));
        std::fclose(f);
        EXPECT_EQ(read, expected);
        std::remove(again.c_str());
        std::remove(path.c_str());

#ifndef _WIN32  // a full disk is only at hand where /dev/full is
        const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
        ASSERT_GE(full, 0);
        errno = 0;
        EXPECT_FALSE(pdb.WriteTo(full));
        EXPECT_EQ(errno, ENOSPC);
        ::close(full);
#endif
    }
}

// Blocks at random offsets (in order, shuffled, repeated, inside the table,
// past the end): each reads as the rule says, from its start to the next
// start in file order (ties in table order) or the end of the file.
TEST(PdbFile, BlocksAtRandomOffsetsReadAsTheRuleSays)
{
    std::mt19937 rng(11);
    for (int round = 0; round < 3000; ++round) {
        const std::size_t count = rng() % 9;
        const bool app = rng() % 2, sort = rng() % 2;
        const std::size_t tableEnd = 78 + 8 * count, size = tableEnd + 2 + rng() % 60;
        std::vector<BYTE> v(78, 0);
        std::vector<DWORD> offsets; // the blocks in their standard order
        auto offset = [&] {
            switch (rng() % 5) {
            case 0: return DWORD(rng() % (size + 10)); // anywhere, past the end too
            case 1: return DWORD(tableEnd - 1 - rng() % 3); // inside the table
            default: return DWORD(tableEnd + rng() % (size - tableEnd));
            }
        };
        if (app) offsets.push_back(offset() | 1); // a zero offset means no block
        if (sort) offsets.push_back(offset() | 1);
        for (std::size_t i = 0; i < count; ++i) offsets.push_back(offset());
        if (rng() % 2) std::sort(offsets.begin(), offsets.end()); // mostly a sound file
        v[53] = v[57] = 0;
        std::size_t b = 0;
        if (app) for (int k = 0; k < 4; ++k) v[52 + k] = BYTE(offsets[b] >> (24 - 8 * k));
        if (app) ++b;
        if (sort) for (int k = 0; k < 4; ++k) v[56 + k] = BYTE(offsets[b] >> (24 - 8 * k));
        v[76] = BYTE(count >> 8);
        v[77] = BYTE(count);
        for (std::size_t i = 0; i < count; ++i) {
            Put32(v, offsets[(app ? 1 : 0) + (sort ? 1 : 0) + i]);
            Put32(v, DWORD(i));
        }
        while (v.size() < size) v.push_back(BYTE(rng()));

        std::vector<std::size_t> byOffset(offsets.size());
        for (std::size_t i = 0; i < byOffset.size(); ++i) byOffset[i] = i;
        std::stable_sort(byOffset.begin(), byOffset.end(), [&](auto x, auto y) { return offsets[x] < offsets[y]; });
        auto expected = [&](std::size_t block) {
            const std::size_t start = offsets[block];
            if (start < tableEnd || start >= size) return std::vector<BYTE>{};
            std::size_t end = size;
            const auto at = std::find(byOffset.begin(), byOffset.end(), block);
            if (at + 1 != byOffset.end()) end = std::min<std::size_t>(offsets[*(at + 1)], size);
            return std::vector<BYTE>(v.begin() + long(start), v.begin() + long(end));
        };

        CPdbFile pdb;
        ASSERT_TRUE(pdb.ReadPdbBuffer(v.data(), v.size()));
        ASSERT_EQ(pdb.m_RecordSet.GetCount(), count);
        b = 0;
        if (app) {
            EXPECT_EQ(pdb.m_AppInfo, expected(b++)) << "round " << round;
        }
        if (sort) {
            EXPECT_EQ(pdb.m_SortInfo, expected(b++)) << "round " << round;
        }
        for (std::size_t i = 0; i < count; ++i)
            EXPECT_EQ(pdb.m_RecordSet.GetRecord(i)->m_Data, expected(b + i)) << "round " << round << ", record " << i;
    }
}

// A file must read exactly as the same bytes in a buffer, with many blocks,
// large ones, out of order, damaged or cut short.
TEST(PdbFile, ReadingAFileGivesWhatTheBufferGives)
{
    std::mt19937 rng(5);
    auto image = [&](std::size_t count, std::size_t largest) {
        CPdbFile pdb("Window", "KESA", "CATA", 0, 1, 0, 0);
        pdb.m_AppInfo.assign(300, 0x11);
        for (std::size_t i = 0; i < count; ++i) {
            std::vector<BYTE> data(rng() % (largest + 1));
            for (auto& b : data) b = BYTE(rng());
            auto rec = std::make_unique<CPdbRecord>(data.data(), long(data.size()));
            rec->m_UniqueId = DWORD(i + 1);
            pdb.m_RecordSet.AddRecord(std::move(rec), BYTE(i & 0x0F));
        }
        return pdb.ToBytes();
    };
    std::vector<std::pair<const char*, std::vector<BYTE>>> cases = {
        {"many small records over several windows", image(20000, 200)},
        {"records larger than the window", image(6, 900000)},
        {"a mix", image(300, 20000)},
    };
    std::vector<BYTE> swapped = image(50, 40000);
    std::swap_ranges(swapped.begin() + 78 + 8 * 3, swapped.begin() + 78 + 8 * 3 + 4, swapped.begin() + 78 + 8 * 40);
    cases.push_back({"offsets out of order", swapped});
    std::vector<BYTE> cut = image(400, 9000);
    cut.resize(cut.size() * 2 / 3);
    cases.push_back({"cut short", cut});
    std::vector<BYTE> bigCount = image(10, 100);
    bigCount[76] = bigCount[77] = 0xFF;
    cases.push_back({"a count larger than the file", bigCount});
    std::vector<BYTE> header = image(0, 0);
    header.resize(78);
    cases.push_back({"a header alone", header});

    const std::string path = ::testing::TempDir() + "/window.pdb";
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
        std::fclose(f);
        CPdbFile fromBuffer, fromFile;
        ASSERT_TRUE(fromBuffer.ReadPdbBuffer(bytes.data(), bytes.size()));
        ASSERT_TRUE(fromFile.ReadPdbFile(path.c_str()));
        ASSERT_EQ(fromFile.m_RecordSet.GetCount(), fromBuffer.m_RecordSet.GetCount());
        EXPECT_EQ(fromFile.m_AppInfo, fromBuffer.m_AppInfo);
        EXPECT_EQ(fromFile.ToBytes(), fromBuffer.ToBytes());
    }
    std::remove(path.c_str());
}

// Records read from a file are ranges of one buffer their set keeps: a change
// to one touches no sibling and not the bytes it was read from, and records
// kept past their file or their set keep their bytes.
TEST(PdbFile, RecordsReadFromAFileAreTheirOwnAndOutliveIt)
{
    const std::vector<BYTE> fixture = Fixture();
    const std::vector<BYTE> r1 = {9, 8};
    struct Case {
        const char* name;
        std::function<void(CPdbRecord&)> change;
        std::vector<BYTE> expected;
    };
    const std::vector<Case> cases = {
        {"a byte through Data()", [](CPdbRecord& r) { r.Data()[3] = 0x77; }, {1, 2, 3, 0x77}},
        {"a byte through m_Data[]", [](CPdbRecord& r) { r.m_Data[0] = 0x66; }, {0x66, 2, 3, 4}},
        {"grown", [](CPdbRecord& r) { r.m_Data.resize(6); }, {1, 2, 3, 4, 0, 0}},
        {"shrunk", [](CPdbRecord& r) { r.m_Data.resize(1); }, {1}},
        {"SetData from its own bytes", [](CPdbRecord& r) { r.SetData(r.Data() + 1, 2); }, {2, 3}},
        {"through the vector", [](CPdbRecord& r) { static_cast<std::vector<BYTE>&>(r.m_Data).push_back(5); },
         {1, 2, 3, 4, 5}},
        {"emptied", [](CPdbRecord& r) { r.m_Data.clear(); }, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<BYTE> source = fixture;
        CPdbFile pdb;
        ASSERT_TRUE(pdb.ReadPdbBuffer(source.data(), source.size()));
        ASSERT_EQ(pdb.m_RecordSet.GetCount(), 2u);
        CPdbRecord& r0 = *pdb.m_RecordSet.GetRecord(0);
        const CPdbRecord copy = r0;
        c.change(r0);
        EXPECT_EQ(r0.m_Data, c.expected);
        EXPECT_EQ(copy.m_Data, (std::vector<BYTE>{1, 2, 3, 4}));
        EXPECT_EQ(pdb.m_RecordSet.GetRecord(1)->m_Data, r1);
        EXPECT_EQ(pdb.m_AppInfo, (std::vector<BYTE>{'A', 'P', 'P'}));
        EXPECT_EQ(source, fixture);

        // Written back, only that record differs.
        CPdbFile back;
        const std::vector<BYTE> bytes = pdb.ToBytes();
        ASSERT_TRUE(back.ReadPdbBuffer(bytes.data(), bytes.size()));
        EXPECT_EQ(back.m_RecordSet.GetRecord(0)->m_Data, c.expected);
        EXPECT_EQ(back.m_RecordSet.GetRecord(1)->m_Data, r1);
    }

    // Past the file, the set, and a set replaced by another (the sanitizer
    // build checks that nothing reads freed bytes).
    CPdbRecordSet kept;
    std::unique_ptr<CPdbRecord> added;
    CPdbRecord copied, moved;
    {
        CPdbFile pdb;
        ASSERT_TRUE(pdb.ReadPdbFile(WriteTemp(fixture, "outlive.pdb").c_str()));
        copied = *pdb.m_RecordSet.GetRecord(0);
        moved = std::move(*pdb.m_RecordSet.GetRecord(1));
        pdb.m_RecordSet.AddRecord(std::make_unique<CPdbRecord>(r1.data(), long(r1.size())), 3);
        kept = std::move(pdb.m_RecordSet);
    }
    ASSERT_EQ(kept.GetCount(), 3u);
    EXPECT_EQ(kept.GetRecord(0)->m_Data, (std::vector<BYTE>{1, 2, 3, 4}));
    EXPECT_EQ(kept.GetRecord(2)->m_Data, r1);
    EXPECT_EQ(copied.m_Data, (std::vector<BYTE>{1, 2, 3, 4}));
    EXPECT_EQ(moved.m_Data, r1);
    CPdbFile other;
    ASSERT_TRUE(other.ReadPdbBuffer(fixture.data(), fixture.size()));
    kept = std::move(other.m_RecordSet);
    EXPECT_EQ(kept.GetRecord(1)->m_Data, r1);
    EXPECT_EQ(copied.m_Data, (std::vector<BYTE>{1, 2, 3, 4}));
}
