// PBM images as the image records load them from disk.
#include "records/PbmConverter.h"
#include "tests/fuzz/FuzzFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = WriteFuzzFile("image.pbm", data, size);
    CPbmConverter converter;
    (void)converter.LoadPbmFile(path);
    return 0;
}
