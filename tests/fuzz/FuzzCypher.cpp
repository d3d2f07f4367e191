// The string cypher: any hex text decyphers with any key.
#include <cstdlib>

#include "records/Cypher.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const std::string hex = in.Piece();
    const std::string key = in.Piece();
    CCypher cypher;
    (void)cypher.Decypher(hex, key);
    return 0;
}
