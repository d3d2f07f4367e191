// Placeholder until the catalog loader and formatter land.
#include "lexmo/Lexmo.h"

int KESA_LoadMessages(const char*) { return 0; }
void KESA_GetMessage(int, char* buffer, int size)
{
    if (buffer && size > 0) buffer[0] = 0;
}
namespace lexmo {
std::string MessageText(int) { return {}; }
std::string Format(std::string_view format, const std::vector<Arg>&) { return std::string(format); }
} // namespace lexmo
