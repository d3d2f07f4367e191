// An exclusive lock on a handheld directory: one synchronization, or
// one change by the handheld tool, at a time. Released when destroyed.
#pragma once
#include <cstdint>
#include <string>

#include "seam/DurableFiles.h"
#include "seam/Export.h"

class NORV_EXPORT CHandheldLock {
public:
    CHandheldLock() = default;
    ~CHandheldLock();
    CHandheldLock(const CHandheldLock&) = delete;
    CHandheldLock& operator=(const CHandheldLock&) = delete;

    enum class Result { Locked, NotADirectory, Busy };
    // Does not wait: Busy when another holder has the directory.
    Result Acquire(const std::string& dir);
    void Release();
    bool Held() const { return m_Handle != platform::kNoFolderLock; }

private:
    std::intptr_t m_Handle = platform::kNoFolderLock;
};
