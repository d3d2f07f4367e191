#include "seam/ProgramPath.h"

#include <filesystem>

namespace platform {

std::string ProgramPath()
{
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

} // namespace platform
