// A 10,000-record catalog written and read through CPdbFile, against writing
// and reading the same bytes with plain file I/O, in the same run.
//
// glibc moves its mmap threshold up after the first large buffer is freed:
// from then on a 2.2 MB buffer is reused warm from the heap instead of being
// mapped fresh (and faulted in page by page). Left alone, that makes the
// figures depend on which side ran first. Each case therefore runs in both
// allocator states, set before the case: "/warm" (large buffers come from
// the heap, which is never trimmed) and "/fresh" (every buffer above 128 KiB
// is a new mapping), the library and its bound alike.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "RatioReporter.h"
#include "quillio/PdbFile.h"
#include "records/ItemRecord.h"

namespace {

constexpr int kRecords = 10000;

struct Catalog {
    CPdbFile pdb{"Catalog", "NORV", "DATA", 0, 1, 0, 0};
    std::vector<BYTE> bytes;
    std::string dir;
    std::string pdbPath;
    std::string plainPath;

    Catalog()
    {
        CPdbPackedRecord packed;
        for (int i = 0; i < kRecords; ++i) {
            CItemRecord item;
            item.SetCategory("3");
            item.SetQuantity("1");
            item.SetPrice(std::to_string(100 + i % 900) + ",95");
            item.SetReference("REF" + std::to_string(100000 + i));
            item.SetName("Article de catalogue numero " + std::to_string(i));
            item.SetPackaging("4x125g");
            item.SetDescription(std::string(80 + i % 120, 'd'));
            item.SetImageName("img" + std::to_string(i) + ".pbm");
            item.FillPdbPackedRecord(packed);
            auto record = std::make_unique<CPdbRecord>(packed.Buffer(), packed.Size());
            record->m_UniqueId = DWORD(i + 1);
            pdb.m_RecordSet.AddRecord(std::move(record), 1);
        }
        bytes = pdb.ToBytes();
        const char* tmp = std::getenv("TMPDIR");
        std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/pdbbench-XXXXXX";
        if (!::mkdtemp(tmpl.data())) std::abort();
        dir = tmpl;
        pdbPath = dir + "/Catalog.pdb";
        plainPath = dir + "/plain.bin";
        pdb.WritePdbFile(pdbPath.c_str());
    }
    ~Catalog()
    {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

Catalog& Load()
{
    static Catalog c;
    return c;
}

enum AllocatorState { kWarm = 0, kFresh = 1 };

// Fixed thresholds also stop glibc from adjusting them on its own.
void SetAllocator(benchmark::State& state)
{
    if (state.range(0) == kWarm) {
        ::mallopt(M_MMAP_THRESHOLD, 32 << 20);
        ::mallopt(M_TRIM_THRESHOLD, 256 << 20);
    } else {
        ::mallopt(M_MMAP_THRESHOLD, 128 << 10);
        ::mallopt(M_TRIM_THRESHOLD, 128 << 10);
    }
    ::malloc_trim(0);
}

void Bytes(benchmark::State& state)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Load().bytes.size()));
}

void BM_PdbWrite(benchmark::State& state)
{
    Catalog& c = Load();
    SetAllocator(state);
    for (auto _ : state) {
        if (!c.pdb.WritePdbFile(c.plainPath.c_str())) state.SkipWithError("write failed");
    }
    Bytes(state);
}

// A catalog read from its file and written back: the records are ranges of
// one buffer, as in a synchronization that reads, changes and writes a
// database.
void BM_PdbWriteRead(benchmark::State& state)
{
    Catalog& c = Load();
    SetAllocator(state);
    CPdbFile pdb;
    if (!pdb.ReadPdbFile(c.pdbPath.c_str())) state.SkipWithError("read failed");
    for (auto _ : state) {
        if (!pdb.WritePdbFile(c.plainPath.c_str())) state.SkipWithError("write failed");
    }
    Bytes(state);
}

void BM_PlainWrite(benchmark::State& state)
{
    Catalog& c = Load();
    SetAllocator(state);
    for (auto _ : state) {
        std::FILE* f = std::fopen(c.plainPath.c_str(), "wb");
        if (!f || std::fwrite(c.bytes.data(), 1, c.bytes.size(), f) != c.bytes.size()) state.SkipWithError("write failed");
        if (f) std::fclose(f);
    }
    Bytes(state);
}

// The least that writing records built one by one can cost: their bytes,
// spread over the heap, gathered by hand into one buffer kept from file to
// file (the header and table taken ready-made), then one fwrite.
void BM_GatherWrite(benchmark::State& state)
{
    Catalog& c = Load();
    SetAllocator(state);
    const CPdbRecordSet& set = c.pdb.m_RecordSet;
    const std::size_t head = c.bytes.size() - [&] {
        std::size_t n = 0;
        for (std::size_t i = 0; i < set.GetCount(); ++i) n += set.GetRecord(i)->m_Data.size();
        return n;
    }();
    std::vector<BYTE> buffer(c.bytes.size());
    for (auto _ : state) {
        BYTE* out = buffer.data();
        std::memcpy(out, c.bytes.data(), head);
        out += head;
        for (std::size_t i = 0; i < set.GetCount(); ++i) {
            const auto& d = set.GetRecord(i)->m_Data;
            std::memcpy(out, d.data(), d.size());
            out += d.size();
        }
        std::FILE* f = std::fopen(c.plainPath.c_str(), "wb");
        if (!f || std::fwrite(buffer.data(), 1, buffer.size(), f) != buffer.size()) state.SkipWithError("write failed");
        if (f) std::fclose(f);
    }
    Bytes(state);
}

void BM_PdbRead(benchmark::State& state)
{
    Catalog& c = Load();
    SetAllocator(state);
    size_t count = 0;
    for (auto _ : state) {
        CPdbFile pdb;
        if (!pdb.ReadPdbFile(c.pdbPath.c_str())) state.SkipWithError("read failed");
        count = pdb.m_RecordSet.GetCount();
    }
    if (count != kRecords) state.SkipWithError("wrong record count");
    Bytes(state);
}

void BM_PlainRead(benchmark::State& state)
{
    Catalog& c = Load();
    SetAllocator(state);
    for (auto _ : state) {
        std::FILE* f = std::fopen(c.pdbPath.c_str(), "rb");
        struct stat st {};
        if (!f || ::fstat(::fileno(f), &st) != 0) {
            state.SkipWithError("read failed");
            break;
        }
        std::vector<BYTE> data(static_cast<size_t>(st.st_size));
        if (std::fread(data.data(), 1, data.size(), f) != data.size()) state.SkipWithError("read failed");
        std::fclose(f);
        benchmark::DoNotOptimize(data.data());
    }
    Bytes(state);
}

// In memory: the file's bytes built, and parsed back, against a copy of them.
void BM_PdbToBytes(benchmark::State& state)
{
    Catalog& c = Load();
    SetAllocator(state);
    for (auto _ : state) {
        std::vector<BYTE> out = c.pdb.ToBytes();
        benchmark::DoNotOptimize(out.data());
    }
    Bytes(state);
}

void BM_PdbReadBuffer(benchmark::State& state)
{
    Catalog& c = Load();
    SetAllocator(state);
    for (auto _ : state) {
        CPdbFile pdb;
        pdb.ReadPdbBuffer(c.bytes.data(), c.bytes.size());
        benchmark::DoNotOptimize(pdb.m_RecordSet.GetCount());
    }
    Bytes(state);
}

void BM_CopyBytes(benchmark::State& state)
{
    Catalog& c = Load();
    SetAllocator(state);
    for (auto _ : state) {
        std::vector<BYTE> out(c.bytes);
        benchmark::DoNotOptimize(out.data());
    }
    Bytes(state);
}

// Bound and case alternate, in both allocator states.
#define NORV_PDB_BENCH(fn) BENCHMARK(fn)->ArgName("fresh")->Arg(kWarm)->Arg(kFresh)->Unit(benchmark::kMicrosecond)
NORV_PDB_BENCH(BM_PlainWrite);
NORV_PDB_BENCH(BM_PdbWrite);
NORV_PDB_BENCH(BM_PdbWriteRead);
NORV_PDB_BENCH(BM_GatherWrite);
NORV_PDB_BENCH(BM_PlainRead);
NORV_PDB_BENCH(BM_PdbRead);
NORV_PDB_BENCH(BM_CopyBytes);
NORV_PDB_BENCH(BM_PdbToBytes);
NORV_PDB_BENCH(BM_PdbReadBuffer);

} // namespace

int main(int argc, char** argv)
{
    std::vector<RatioPair> pairs;
    for (const char* state : {"/fresh:0", "/fresh:1"}) {
        auto name = [state](const char* n) { return std::string(n) + state; };
        pairs.push_back({name("BM_PdbWrite"), name("BM_PlainWrite"), 1.25});
        pairs.push_back({name("BM_PdbWrite"), name("BM_GatherWrite")});
        pairs.push_back({name("BM_PdbWriteRead"), name("BM_PlainWrite"), 1.25});
        pairs.push_back({name("BM_PdbRead"), name("BM_PlainRead"), 1.25});
        pairs.push_back({name("BM_PdbToBytes"), name("BM_CopyBytes")});
        pairs.push_back({name("BM_PdbReadBuffer"), name("BM_CopyBytes")});
    }
    return RunWithRatios(argc, argv, pairs);
}
