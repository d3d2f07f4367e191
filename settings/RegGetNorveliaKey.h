#pragma once
#include <string>

// A string value of HKEY_LOCAL_MACHINE\Software\Norvelia\<product>; empty when
// the key or value is missing or does not fit in 256 bytes.
std::string RegGetNorveliaKey(std::string product, std::string valueName);
