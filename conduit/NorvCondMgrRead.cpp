// Reading the service's handheld databases into the server client.
#include "conduit/NorvCondMgr.h"

std::string CNorvCondMgr::GetChannelIdFromCatalogName(const std::string&)
{
    return std::string();
}

std::string CNorvCondMgr::GetChannelIdFromListAppInfo(const BYTE*, DWORD)
{
    return std::string();
}

int CNorvCondMgr::GetChannelTypeFromAppInfo(const BYTE*, DWORD)
{
    return 0;
}

void CNorvCondMgr::StoreCatalogInFerrylink(const CSyncDbListEntry&, std::string&) {}

void CNorvCondMgr::StoreListInFerrylink(const CSyncDbListEntry&, std::string&) {}

void CNorvCondMgr::StoreUserCtxInFerrylink(const CSyncDbListEntry&, std::string&) {}
