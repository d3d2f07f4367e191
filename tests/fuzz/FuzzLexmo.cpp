// The message catalog loader and the formatter: any catalog loads or is
// refused; any format with any arguments renders.
#include <cstdlib>
#include <string>

#include "lexmo/Lexmo.h"
#include "tests/fuzz/FuzzFiles.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool dirSet = [] { return ::setenv("NORVELIA_MSGDIR", FuzzDir().c_str(), 1) == 0; }();
    (void)dirSet;
    FuzzInput in(data, size);
    const std::string format = in.Piece();
    const std::string text = in.Piece();
    const uint8_t number = in.Byte();
    std::vector<uint8_t> catalog = in.Rest();
    (void)lexmo::Format(format, {lexmo::MakeArg(text), lexmo::MakeArg(int(number) - 128), lexmo::MakeArg(3.5),
                                 lexmo::MakeArg(unsigned(number)), lexmo::MakeArg('x')});
    (void)lexmo::Conversions(format);
    WriteFuzzFile("Fuzz.msg", catalog.data(), catalog.size());
    if (KESA_LoadMessages("Fuzz.dll") > 0) {
        char buffer[64];
        KESA_GetMessage(2000 + number, buffer, sizeof buffer);
        (void)KESA_FormatMessage(2000 + number, text, 7);
    }
    return 0;
}
