// A whole Palm database file (PDB, or PRC for resource databases) in memory.
#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "seam/Export.h"
#include "seam/Types.h"
#include "quillio/PdbRecordSet.h"

class NORV_EXPORT CPdbFile {
public:
    static constexpr WORD kAttrResource = 0x0001;
    static constexpr std::size_t kHeaderSize = 78;

    CPdbFile();
    // An empty database; codes are four characters each.
    CPdbFile(const char* name, const char* creator, const char* type, WORD attributes, WORD version,
             DWORD creationDate, DWORD modificationDate);
    virtual ~CPdbFile();
    CPdbFile(const CPdbFile&) = delete;
    CPdbFile& operator=(const CPdbFile&) = delete;

    // Loads a whole file; false when it cannot be read or its header is short.
    // Damaged entries are read as what is sound.
    bool ReadPdbFile(const char* path);
    bool ReadPdbBuffer(const BYTE* data, std::size_t size);

    // The file's bytes in a new buffer that the caller releases with free().
    long ConvertToBuffer(BYTE** out) const;
    std::vector<BYTE> ToBytes() const;
    bool WritePdbFile(const char* path) const;
    // Writes the file's bytes to an open descriptor from the blocks where
    // they are, without a copy of the whole file; false with errno set.
    bool WriteTo(int fd) const;
    // The same for records whose bytes wait in the file `spool`, one after
    // the other from its start, record i being sizes[i] bytes long (their
    // own data is not written); false when the sizes are not one a record.
    bool WriteTo(int fd, int spool, const std::vector<DWORD>& sizes) const;

    bool IsResourceDb() const { return (m_Attributes & kAttrResource) != 0; }

    static WORD PeekWord(const BYTE* p);
    static DWORD PeekDWord(const BYTE* p);

    // Header, as in the file. Offsets and the record count are computed when writing.
    std::string m_Name; // at most 31 bytes are stored
    WORD m_Attributes = 0;
    WORD m_Version = 0;
    DWORD m_CreationDate = 0;
    DWORD m_ModificationDate = 0;
    DWORD m_BackupDate = 0;
    DWORD m_ModificationNumber = 0;
    DWORD m_AppInfoOffset = 0;
    DWORD m_SortInfoOffset = 0;
    DWORD m_Type = 0;
    DWORD m_Creator = 0;
    DWORD m_UniqueIdSeed = 0;
    DWORD m_NextRecordList = 0;

    std::vector<BYTE> m_AppInfo;
    std::vector<BYTE> m_SortInfo;
    CPdbRecordSet m_RecordSet;

private:
    // Reads the file held whole in `bytes` (`size` bytes, at least a
    // header); the records become ranges of it and the set keeps it.
    void Parse(std::unique_ptr<BYTE[]> bytes, std::size_t size);
};
