// Request body and answer parsing at 64 MiB with 200 file parts, each against
// a memcpy of the same bytes measured in the same run.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "RatioReporter.h"
#include "client/KesaBodyReader.h"
#include "client/KesaRequest.h"
#include "client/KesaResponse.h"

namespace {

constexpr size_t kTotal = size_t(64) << 20;
constexpr int kParts = 200;
// What libcurl asks the read callback for at a time (its upload buffer).
constexpr size_t kUploadPiece = 65536;

// 200 file databases that fill 64 MiB, with a few text arguments first.
struct Workload {
    std::vector<std::string> files;
    CKesaRequest request;
    std::string body;

    Workload()
    {
        const size_t each = kTotal / kParts;
        files.reserve(kParts);
        for (int i = 0; i < kParts; ++i) {
            std::string data(each, '\0');
            for (size_t k = 0; k < each; ++k) data[k] = static_cast<char>((k * 31 + i) & 0xff);
            files.push_back(std::move(data));
        }
        request.AddArg("function", "GetUpToDateCatalog");
        request.AddArg("UID", "u42");
        for (int i = 0; i < kParts; ++i) {
            request.AddFileArg("CatalogBinData", "Cat" + std::to_string(i) + ".pdb",
                               reinterpret_cast<BYTE*>(files[i].data()), static_cast<DWORD>(files[i].size()));
        }
        BYTE* raw = nullptr;
        const DWORD size = request.BuildBody(&raw);
        body.assign(reinterpret_cast<char*>(raw), size);
        std::free(raw);
    }
};

Workload& Load()
{
    static Workload w;
    return w;
}

void Bytes(benchmark::State& state)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Load().body.size()));
}

// The bound: the body's bytes copied into a buffer already touched.
void BM_Memcpy(benchmark::State& state)
{
    Workload& w = Load();
    std::vector<char> out(w.body.size());
    for (auto _ : state) {
        std::memcpy(out.data(), w.body.data(), w.body.size());
        benchmark::ClobberMemory();
    }
    Bytes(state);
}

// The same copy into a fresh buffer of the C heap, as BuildBody must allocate one.
void BM_MemcpyFreshBuffer(benchmark::State& state)
{
    Workload& w = Load();
    for (auto _ : state) {
        auto* out = static_cast<char*>(std::malloc(w.body.size()));
        std::memcpy(out, w.body.data(), w.body.size());
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
        std::free(out);
    }
    Bytes(state);
}

// The whole body in one new buffer: what the dumps and tests use.
void BM_BuildBody(benchmark::State& state)
{
    Workload& w = Load();
    for (auto _ : state) {
        BYTE* raw = nullptr;
        benchmark::DoNotOptimize(w.request.BuildBody(&raw));
        benchmark::ClobberMemory();
        std::free(raw);
    }
    Bytes(state);
}

// What the session does: the body handed out in the pieces libcurl asks for.
void BM_ReadBodyInUploadPieces(benchmark::State& state)
{
    Workload& w = Load();
    std::vector<BYTE> piece(static_cast<size_t>(state.range(0)));
    size_t total = 0;
    for (auto _ : state) {
        CKesaBodyReader reader(w.request);
        total = 0;
        while (size_t n = reader.Read(piece.data(), piece.size())) {
            total += n;
            benchmark::DoNotOptimize(piece.data());
            benchmark::ClobberMemory();
        }
    }
    if (total != w.body.size()) state.SkipWithError("wrong body size");
    Bytes(state);
}

// The answer cut into its arguments; the answer is made, and released with
// its response, outside the timed part (releasing 64 MiB is the allocator's
// work, not the parse's: BM_ParseAnswerAndRelease counts it too).
void ParseAnswer(benchmark::State& state, bool release)
{
    Workload& w = Load();
    int args = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto* buffer = static_cast<BYTE*>(std::malloc(w.body.size()));
        std::memcpy(buffer, w.body.data(), w.body.size());
        auto response = std::make_unique<CKesaResponse>();
        state.ResumeTiming();
        response->InitializeFromBuffer(buffer, static_cast<DWORD>(w.body.size()));
        args = response->GetArgCount();
        benchmark::DoNotOptimize(args);
        if (!release) state.PauseTiming();
        response.reset();
        if (!release) state.ResumeTiming();
    }
    if (args != kParts + 2) state.SkipWithError("wrong argument count");
    Bytes(state);
}

void BM_ParseAnswer(benchmark::State& state)
{
    ParseAnswer(state, false);
}

void BM_ParseAnswerAndRelease(benchmark::State& state)
{
    ParseAnswer(state, true);
}

// glibc's memmem over the whole answer for a boundary it does not hold: the
// search a parse cannot avoid.
void BM_Memmem(benchmark::State& state)
{
    Workload& w = Load();
    const std::string needle(40, '#');
    for (auto _ : state) {
        benchmark::DoNotOptimize(memmem(w.body.data(), w.body.size(), needle.data(), needle.size()));
    }
    Bytes(state);
}

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyFreshBuffer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildBody)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadBodyInUploadPieces)->Arg(kUploadPiece)->Arg(16384)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseAnswer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseAnswerAndRelease)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memmem)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return RunWithRatios(argc, argv,
                         {{"BM_BuildBody", "BM_Memcpy"},
                          {"BM_BuildBody", "BM_MemcpyFreshBuffer"},
                          {"BM_ReadBodyInUploadPieces/65536", "BM_Memcpy", 1.2},
                          {"BM_ReadBodyInUploadPieces/16384", "BM_Memcpy"},
                          {"BM_ParseAnswer", "BM_Memcpy", 1.0},
                          {"BM_ParseAnswerAndRelease", "BM_Memcpy"},
                          {"BM_Memmem", "BM_Memcpy"}});
}
