// Installing received databases on the handheld.
#include "conduit/NorvCondMgr.h"

bool CNorvCondMgr::InstallPdbFile(const std::string&, int&, DWORD&)
{
    return false;
}

void CNorvCondMgr::InstallChannelPdbs(CChannelData*) {}

std::string CNorvCondMgr::GetGameReferenceFromPdbFile(const std::string&)
{
    return std::string();
}

void CNorvCondMgr::InstallUserPdb() {}
