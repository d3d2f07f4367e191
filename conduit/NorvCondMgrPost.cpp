// Post-synchronization updates of the handheld's catalogs, lists and user context.
#include "conduit/NorvCondMgr.h"

void CNorvCondMgr::PerformCatalogPostSynchro(const CSyncDbListEntry&, const std::string&) {}

void CNorvCondMgr::PerformListPostSynchro(const CSyncDbListEntry&, const std::string&) {}

void CNorvCondMgr::UpdateListAppInfo(BYTE, const std::string&, CChannelData*) {}

void CNorvCondMgr::UpdateListItemRefs(BYTE, const std::string&, CChannelData*) {}

void CNorvCondMgr::UpdateListOrderInfo(BYTE, const std::string&, DWORD, const std::string&, CSynchPdb*) {}

void CNorvCondMgr::PerformUserCtxPostSynchro(const CSyncDbListEntry&) {}
