// A 10,000-record catalog written and read through CPdbFile, against writing
// and reading the same bytes with plain file I/O, in the same run.
#include <benchmark/benchmark.h>
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

void Bytes(benchmark::State& state)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Load().bytes.size()));
}

void BM_PdbWrite(benchmark::State& state)
{
    Catalog& c = Load();
    for (auto _ : state) {
        if (!c.pdb.WritePdbFile(c.plainPath.c_str())) state.SkipWithError("write failed");
    }
    Bytes(state);
}

void BM_PlainWrite(benchmark::State& state)
{
    Catalog& c = Load();
    for (auto _ : state) {
        std::FILE* f = std::fopen(c.plainPath.c_str(), "wb");
        if (!f || std::fwrite(c.bytes.data(), 1, c.bytes.size(), f) != c.bytes.size()) state.SkipWithError("write failed");
        if (f) std::fclose(f);
    }
    Bytes(state);
}

void BM_PdbRead(benchmark::State& state)
{
    Catalog& c = Load();
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
    for (auto _ : state) {
        std::vector<BYTE> out = c.pdb.ToBytes();
        benchmark::DoNotOptimize(out.data());
    }
    Bytes(state);
}

void BM_PdbReadBuffer(benchmark::State& state)
{
    Catalog& c = Load();
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
    for (auto _ : state) {
        std::vector<BYTE> out(c.bytes);
        benchmark::DoNotOptimize(out.data());
    }
    Bytes(state);
}

BENCHMARK(BM_PlainWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PdbWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PdbRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PdbToBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PdbReadBuffer)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return RunWithRatios(argc, argv,
                         {{"BM_PdbWrite", "BM_PlainWrite"},
                          {"BM_PdbRead", "BM_PlainRead"},
                          {"BM_PdbToBytes", "BM_CopyBytes"},
                          {"BM_PdbReadBuffer", "BM_CopyBytes"}});
}
