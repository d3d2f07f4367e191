// Prints where the message library finds its catalogs when this program runs
// from where it is: the install test copies it into an installed bin/.
#include <cstdio>

#include "lexmo/Lexmo.h"

int main()
{
    std::printf("%s\n%s\n", lexmo::FindCatalog("Lexmo.dll").c_str(), lexmo::FindCatalog("LexmoUs.dll").c_str());
    return 0;
}
