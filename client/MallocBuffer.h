// Byte buffers of the C heap, as the wire classes hand them over (internal).
#pragma once
#include <cstdlib>
#include <memory>

#include "seam/Types.h"

namespace ferrylink {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
using MallocBuffer = std::unique_ptr<BYTE, FreeDeleter>;

} // namespace ferrylink
