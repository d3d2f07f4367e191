// The shopper's view of any database bytes: read as a catalog, a list, a form
// or a user context of the service, then written out as text.
#include <cstdlib>
#include <sstream>

#include "hotsync/DataView.h"
#include "hotsync/DataViewText.h"
#include "quillio/PdbFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CPdbFile pdb;
    if (!pdb.ReadPdbBuffer(data, size)) return 0;
    // Whatever the header says, each kind of the service's databases is tried.
    static const DWORD kTypes[] = {FourCC("CATA"), FourCC("LIST"), FourCC("EMLS"), FourCC("USER")};
    pdb.m_Creator = FourCC("KESA");
    pdb.m_Attributes = 0;
    pdb.m_Type = kTypes[pdb.m_ModificationNumber % 4];
    const CDataView view(pdb);
    std::ostringstream out;
    CDataViewText::Write(out, view, false);
    // No control character from the data reaches the text.
    for (const char c : out.str())
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7F) std::abort();
    return 0;
}
