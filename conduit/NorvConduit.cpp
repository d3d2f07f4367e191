#include "conduit/NorvConduit.h"

#include <algorithm>
#include <cstring>

#include "conduit/ConduitModule.h"
#include "conduit/NorvCondMgr.h"
#include "palmkit/HsLog.h"

namespace {

std::string Field(const char* text, std::size_t size)
{
    return std::string(text, strnlen(text, size));
}

} // namespace

void CopyConduitName(char* buffer, std::size_t length)
{
    if (buffer == nullptr || length == 0) return;
    std::memset(buffer, 0, length);
    const std::size_t n = std::min(std::strlen(CNorvConduit::kConduitName), length - 1);
    std::memcpy(buffer, CNorvConduit::kConduitName, n);
}

CNorvConduit::CNorvConduit(PROGRESSFN progress, const CSyncProperties& properties, PALMMODULE resources)
    : m_Progress(progress), m_Resources(resources), m_Properties(properties)
{
}

CNorvConduit::~CNorvConduit() = default;

long CNorvConduit::Open()
{
    if (const long rc = SyncReadSystemInfo(&m_SystemInfo); rc != 0) return rc;
    switch (m_Properties.m_SyncType) {
    case eFast:
    case eSlow:
    case eHHtoPC:
    case ePCtoHH: return PerformStandardSync();
    case eInstall:
    case eProfileInstall: return PerformInstall();
    case eBackup: return PerformBackup();
    case eDoNothing: return PerformDoNothing();
    default: return CONDERR_BAD_SYNC_TYPE;
    }
}

long CNorvConduit::PerformStandardSync()
{
    CNorvCondMgr manager;
    manager.m_UserName = Field(m_Properties.m_UserName, sizeof m_Properties.m_UserName);
    manager.m_PathName = Field(m_Properties.m_PathName, sizeof m_Properties.m_PathName);
    manager.m_LocalName = Field(m_Properties.m_LocalName, sizeof m_Properties.m_LocalName);
    manager.m_Registry = Field(m_Properties.m_Registry, sizeof m_Properties.m_Registry);
    return manager.EngageStandard();
}

long CNorvConduit::PerformInstall()
{
    return -1;
}

long CNorvConduit::PerformBackup()
{
    return -1;
}

long CNorvConduit::PerformDoNothing()
{
    const std::string text = std::string(kConduitName) + " - " + ConduitString(3369);
    LogAddEntry(text.c_str(), slText, 0);
    return 0;
}
