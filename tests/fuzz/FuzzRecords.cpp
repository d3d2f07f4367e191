// Every record reader of the record library on any record bytes.
#include <memory>

#include "quillio/PdbRecord.h"
#include "quillio/PdbRecordSet.h"
#include "records/AddressRecord.h"
#include "records/AddressRecords.h"
#include "records/AppInfo.h"
#include "records/ItemRecord.h"
#include "records/ItemRecords.h"
#include "records/ItemRefRecord.h"
#include "records/ItemRefRecords.h"
#include "records/OrderInfo.h"
#include "records/UserIdRecord.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t which = in.Byte();
    std::vector<uint8_t> bytes = in.Rest();
    CPdbRecord record(bytes.data(), long(bytes.size()));
    record.m_Attrib = which & 0x0F;
    switch (which % 7) {
    case 0: { CAppInfo a; a.FillFromPdbRecord(&record); (void)a.GetChannelType(); (void)a.GetListOrCatalogName(); break; }
    case 1: { CItemRecord r(&record); (void)r.GetNameStr(); (void)r.GetPriceStr(); break; }
    case 2: { CItemRefRecord r; r.FillFromPdbRecord(&record); (void)r.GetReferenceStr(); break; }
    case 3: { COrderInfo o; o.FillFromPdbRecord(&record); break; }
    case 4: { CAddressRecord r; r.FillFromPdbRecord(&record); (void)r.GetAlias(); break; }
    case 5: { CUserIdRecord r; r.FillFromPdbRecord(&record); break; }
    default: {
        // The set readers, on the same record under each category they walk.
        CPdbRecordSet set;
        for (BYTE cat : {BYTE(1), BYTE(5), BYTE(6), BYTE(8)})
            set.AddRecord(std::make_unique<CPdbRecord>(bytes.data(), long(bytes.size())), cat);
        CItemRecords items; items.FillFromPdbRecords(set);
        CItemRefRecords refs; (void)refs.FillFromPdbRecords(set);
        COrderInfo order; (void)order.FillFromPdbRecords(set);
        CAddressRecords addresses; addresses.FillFromPdbRecords(set);
        break;
    }
    }
    return 0;
}
