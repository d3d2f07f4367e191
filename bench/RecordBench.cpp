// CItemRecord and CItemRefRecord packed and parsed, per record, against a
// copy of the same record bytes into a new CPdbRecord, in the same run.
#include <benchmark/benchmark.h>

#include <string>

#include "RatioReporter.h"
#include "quillio/PdbRecord.h"
#include "records/ItemRecord.h"
#include "records/ItemRefRecord.h"

namespace {

CItemRecord Item()
{
    CItemRecord item;
    item.SetCategory("3");
    item.SetQuantity("2");
    item.SetPrice("12,95");
    item.SetReference("REF104217");
    item.SetName("Yaourt nature au lait entier");
    item.SetPackaging("4x125g");
    item.SetOldPrice("13,50");
    item.SetDescription(std::string(160, 'd'));
    item.SetImageName("img4217.pbm");
    return item;
}

CItemRefRecord ItemRef()
{
    CItemRefRecord ref;
    ref.SetReference("REF104217");
    ref.SetName("Yaourt nature au lait entier");
    ref.SetPrice("12,95");
    ref.SetQuantity("2");
    ref.SetNeed(true);
    return ref;
}

template <class Record>
CPdbRecord Packed(const Record& record)
{
    CPdbPackedRecord packed;
    record.FillPdbPackedRecord(packed);
    return CPdbRecord(packed.Buffer(), packed.Size());
}

// Into a builder reused from record to record, as a set is written.
template <class Record>
void Pack(benchmark::State& state, const Record& record)
{
    CPdbPackedRecord packed;
    for (auto _ : state) {
        record.FillPdbPackedRecord(packed);
        benchmark::DoNotOptimize(packed.Buffer());
        benchmark::ClobberMemory();
    }
}

// A new builder per record, as CreatePdbRec hands one out.
template <class Record>
void Create(benchmark::State& state, const Record& record)
{
    for (auto _ : state) {
        auto packed = record.CreatePdbRec();
        benchmark::DoNotOptimize(packed.get());
    }
}

template <class Record>
void Parse(benchmark::State& state, const Record& record)
{
    const CPdbRecord bytes = Packed(record);
    for (auto _ : state) {
        Record parsed(&bytes);
        benchmark::DoNotOptimize(&parsed);
    }
}

template <class Record>
void Copy(benchmark::State& state, const Record& record)
{
    const CPdbRecord bytes = Packed(record);
    for (auto _ : state) {
        CPdbRecord copy(bytes.Data(), bytes.Size());
        benchmark::DoNotOptimize(copy.Data());
    }
}

void BM_ItemPack(benchmark::State& s) { Pack(s, Item()); }
void BM_ItemCreatePdbRec(benchmark::State& s) { Create(s, Item()); }
void BM_ItemParse(benchmark::State& s) { Parse(s, Item()); }
void BM_ItemCopyBytes(benchmark::State& s) { Copy(s, Item()); }
void BM_ItemRefPack(benchmark::State& s) { Pack(s, ItemRef()); }
void BM_ItemRefCreatePdbRec(benchmark::State& s) { Create(s, ItemRef()); }
void BM_ItemRefParse(benchmark::State& s) { Parse(s, ItemRef()); }
void BM_ItemRefCopyBytes(benchmark::State& s) { Copy(s, ItemRef()); }

BENCHMARK(BM_ItemCopyBytes);
BENCHMARK(BM_ItemPack);
BENCHMARK(BM_ItemCreatePdbRec);
BENCHMARK(BM_ItemParse);
BENCHMARK(BM_ItemRefCopyBytes);
BENCHMARK(BM_ItemRefPack);
BENCHMARK(BM_ItemRefCreatePdbRec);
BENCHMARK(BM_ItemRefParse);

} // namespace

int main(int argc, char** argv)
{
    return RunWithRatios(argc, argv,
                         {{"BM_ItemPack", "BM_ItemCopyBytes"},
                          {"BM_ItemCreatePdbRec", "BM_ItemCopyBytes"},
                          {"BM_ItemParse", "BM_ItemCopyBytes"},
                          {"BM_ItemRefPack", "BM_ItemRefCopyBytes"},
                          {"BM_ItemRefCreatePdbRec", "BM_ItemRefCopyBytes"},
                          {"BM_ItemRefParse", "BM_ItemRefCopyBytes"}});
}
