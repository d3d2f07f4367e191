#include "settings/RegGetNorveliaKey.h"

#include "settings/RegSettings.h"

std::string RegGetNorveliaKey(std::string product, std::string valueName)
{
    CRegSettings settings;
    settings.Init("", product);
    return settings.ReadProductValue(valueName);
}
