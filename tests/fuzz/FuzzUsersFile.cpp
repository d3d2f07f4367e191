// users.dat as hotsync and the settings program read it: no user read from
// damaged bytes may carry a directory that leaves the HotSync home.
#include <cstdlib>
#include <vector>

#include "hotsync/UsersFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<BYTE> bytes(data, data + size);
    for (const CUsersFile::User& user : CUsersFile::Decode(bytes)) {
        if (user.name.size() > CUsersFile::kMaxText || user.dir.size() > CUsersFile::kMaxText) std::abort();
    }
    return 0;
}
