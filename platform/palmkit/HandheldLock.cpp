#include "palmkit/HandheldLock.h"

CHandheldLock::~CHandheldLock()
{
    Release();
}

CHandheldLock::Result CHandheldLock::Acquire(const std::string& dir)
{
    Release();
    switch (platform::LockFolder(dir, m_Handle)) {
    case platform::FolderLockResult::Locked: return Result::Locked;
    case platform::FolderLockResult::Busy: return Result::Busy;
    case platform::FolderLockResult::NotADirectory: break;
    }
    return Result::NotADirectory;
}

void CHandheldLock::Release()
{
    platform::UnlockFolder(m_Handle);
    m_Handle = platform::kNoFolderLock;
}
