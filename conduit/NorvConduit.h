// The conduit object of one OpenConduit call: reads the handheld's system
// information and runs what the sync type asks for.
#pragma once
#include <string>

#include "palmkit/Condapi.h"
#include "palmkit/PalmKitInit.h"
#include "palmkit/SyncMgr.h"

class CNorvConduit {
public:
    static constexpr const char* kArchiveExtension = ".ARC";
    static constexpr const char* kConduitName = "Norvelia";

    CNorvConduit(PROGRESSFN progress, const CSyncProperties& properties, PALMMODULE resources);
    virtual ~CNorvConduit();
    CNorvConduit(const CNorvConduit&) = delete;
    CNorvConduit& operator=(const CNorvConduit&) = delete;

    // The system information's error, or the result of the run the sync type asks for.
    long Open();

    virtual long PerformStandardSync();
    virtual long PerformInstall();
    virtual long PerformBackup();
    virtual long PerformDoNothing();

    PROGRESSFN m_Progress;
    PALMMODULE m_Resources;
    CSyncProperties m_Properties;
    CSyncSystemInfo m_SystemInfo{};
};

// Fills `buffer` with zeros over `length` bytes, then "Norvelia" cut to length - 1.
void CopyConduitName(char* buffer, std::size_t length);
