#include "quillio/PdbFile.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <sys/uio.h>
#endif
#include <climits>
#include <memory>
#include <unistd.h>

#include <cerrno>

namespace {

constexpr std::size_t kRecordEntry = 8;
constexpr std::size_t kResourceEntry = 10;
constexpr std::size_t kNameSize = 32;

// Inline here: the exported PeekDWord is a call per use.
inline DWORD Get32(const BYTE* p)
{
    return (DWORD(p[0]) << 24) | (DWORD(p[1]) << 16) | (DWORD(p[2]) << 8) | DWORD(p[3]);
}

DWORD CodeFromText(const char* s)
{
    DWORD v = 0;
    for (int i = 0; i < 4; ++i) {
        BYTE c = (s != nullptr && std::strlen(s) > std::size_t(i)) ? BYTE(s[i]) : BYTE(' ');
        v = (v << 8) | c;
    }
    return v;
}

} // namespace

CPdbFile::CPdbFile() = default;

CPdbFile::CPdbFile(const char* name, const char* creator, const char* type, WORD attributes, WORD version,
                   DWORD creationDate, DWORD modificationDate)
    : m_Name(name ? name : ""), m_Attributes(attributes), m_Version(version), m_CreationDate(creationDate),
      m_ModificationDate(modificationDate), m_Type(CodeFromText(type)), m_Creator(CodeFromText(creator))
{
    if (m_Name.size() >= kNameSize) m_Name.resize(kNameSize - 1);
}

CPdbFile::~CPdbFile() = default;

WORD CPdbFile::PeekWord(const BYTE* p)
{
    return WORD((p[0] << 8) | p[1]);
}

DWORD CPdbFile::PeekDWord(const BYTE* p)
{
    return (DWORD(p[0]) << 24) | (DWORD(p[1]) << 16) | (DWORD(p[2]) << 8) | DWORD(p[3]);
}

namespace {

// pread until `len` bytes are in or the file ends; false on an error or an early end.
bool ReadFully(int fd, BYTE* out, std::size_t len, off_t offset)
{
    for (std::size_t done = 0; done < len;) {
        const ssize_t n = ::pread(fd, out + done, len - done, offset + off_t(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += std::size_t(n);
    }
    return true;
}

// Reads a stream whole (a pipe, a device): its length is only known at its end.
bool ReadStream(int fd, std::vector<BYTE>& bytes)
{
    for (;;) {
        const std::size_t have = bytes.size();
        bytes.resize(have + 65536);
        const ssize_t n = ::read(fd, bytes.data() + have, 65536);
        if (n < 0 && errno == EINTR) {
            bytes.resize(have);
            continue;
        }
        bytes.resize(have + std::size_t(std::max<ssize_t>(n, 0)));
        if (n <= 0) return n == 0;
    }
}

} // namespace

bool CPdbFile::ReadPdbFile(const char* path)
{
    if (path == nullptr) return false;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    if (!S_ISREG(st.st_mode)) {
        std::vector<BYTE> bytes;
        return ReadStream(fd, bytes) && ReadPdbBuffer(bytes.data(), bytes.size());
    }
    // One read of the whole file into the buffer its records will be
    // ranges of: the file is in memory once, and no record is copied.
    const std::size_t size = std::size_t(st.st_size);
    if (size < kHeaderSize) return false;
    auto bytes = std::make_unique_for_overwrite<BYTE[]>(size);
    if (!ReadFully(fd, bytes.get(), size, 0)) return false;
    Parse(std::move(bytes), size);
    return true;
}

bool CPdbFile::ReadPdbBuffer(const BYTE* data, std::size_t size)
{
    if (data == nullptr || size < kHeaderSize) return false;
    auto bytes = std::make_unique_for_overwrite<BYTE[]>(size);
    std::memcpy(bytes.get(), data, size);
    Parse(std::move(bytes), size);
    return true;
}

void CPdbFile::Parse(std::unique_ptr<BYTE[]> bytes, std::size_t size)
{
    const BYTE* h = bytes.get();
    std::size_t nameLen = 0;
    while (nameLen < kNameSize && h[nameLen] != 0) ++nameLen;
    m_Name.assign(reinterpret_cast<const char*>(h), nameLen);
    m_Attributes = PeekWord(h + 32);
    const bool resource = (m_Attributes & kAttrResource) != 0;
    const std::size_t entrySize = resource ? kResourceEntry : kRecordEntry;

    // A count larger than the file: keep the entries that fit.
    const std::size_t count = std::min<std::size_t>(PeekWord(h + 76), (size - kHeaderSize) / entrySize);
    const std::size_t tableEnd = kHeaderSize + count * entrySize;

    m_Version = PeekWord(h + 34);
    m_CreationDate = Get32(h + 36);
    m_ModificationDate = Get32(h + 40);
    m_BackupDate = Get32(h + 44);
    m_ModificationNumber = Get32(h + 48);
    m_AppInfoOffset = Get32(h + 52);
    m_SortInfoOffset = Get32(h + 56);
    m_Type = Get32(h + 60);
    m_Creator = Get32(h + 64);
    m_UniqueIdSeed = Get32(h + 68);
    m_NextRecordList = Get32(h + 72);
    m_AppInfo.clear();
    m_SortInfo.clear();
    m_RecordSet.Clear();

    // The blocks in their standard order: AppInfo, SortInfo, the records in
    // table order.
    const BYTE* table = h + kHeaderSize;
    const std::size_t first = (m_AppInfoOffset ? 1 : 0) + (m_SortInfoOffset ? 1 : 0);
    const std::size_t blocks = first + count;
    const std::size_t at = resource ? 6 : 0;
    auto offsetOf = [&](std::size_t k) -> DWORD {
        if (k >= first) return Get32(table + (k - first) * entrySize + at);
        return (k == 0 && m_AppInfoOffset) ? m_AppInfoOffset : m_SortInfoOffset;
    };

    // A block runs up to the start of the next block in file order, whatever
    // the order of the entries. Blocks that start at the same offset keep
    // their standard order: all but the last of them are empty, so a
    // zero-length record never takes its neighbour's bytes. Blocks outside
    // the file read as empty. A file as written here is in file order
    // already: the records are read in that order first, which also tells
    // whether it holds; when it does not, their ranges are set again.
    bool sorted = first < 2 || m_AppInfoOffset <= m_SortInfoOffset;
    if (count && first) sorted = sorted && offsetOf(first - 1) <= Get32(table + at);
    BYTE* const base = bytes.get();
    std::vector<std::size_t> ends;
    // Block k from `start` to `end` (the next block's start; once the blocks
    // are sorted, the end found for it).
    auto range = [&](std::size_t k, std::size_t start, std::size_t end, std::size_t* len) -> BYTE* {
        if (!ends.empty()) end = ends[k];
        if (start < tableEnd || start >= size || end < start) {
            *len = 0;
            return nullptr;
        }
        *len = std::min(end, size) - start;
        return base + start;
    };

    if (count) {
        m_RecordSet.m_Block = std::make_unique_for_overwrite<BYTE[]>(CPdbRecord::BlockSize(count));
        m_RecordSet.m_BlockCount = count;
    }
    // Two plain loops, the records and then the list of them: byte stores
    // into a record would otherwise make the compiler reload the list's end
    // at every step.
    BYTE* const block = m_RecordSet.m_Block.get();
    std::size_t* const taken = count ? ::new (block) std::size_t(0) : nullptr;
    const BYTE* e = table;
    std::size_t start = count ? Get32(e + at) : 0, len = 0;
    bool inOrder = true;
    for (std::size_t i = 0; i < count; ++i, e += entrySize) {
        const std::size_t end = i + 1 < count ? Get32(e + entrySize + at) : size;
        if (i + 1 < count) inOrder &= end >= start;
        CPdbRecord* rec = CPdbRecord::MakeInBlock(block, i);
        BYTE* p = range(first + i, start, end, &len);
        rec->m_Data.SetView(p, len, taken);
        if (resource) {
            rec->m_ResType = Get32(e);
            rec->m_ResId = WORD((e[4] << 8) | e[5]);
        } else {
            rec->m_Attrib = e[4];
            rec->m_UniqueId = (DWORD(e[5]) << 16) | (DWORD(e[6]) << 8) | DWORD(e[7]);
        }
        start = end;
    }
    sorted = sorted && inOrder;
    if (!sorted) {
        std::vector<std::size_t> byOffset(blocks);
        for (std::size_t i = 0; i < blocks; ++i) byOffset[i] = i;
        std::stable_sort(byOffset.begin(), byOffset.end(),
                         [&](std::size_t a, std::size_t b) { return offsetOf(a) < offsetOf(b); });
        ends.assign(blocks, size);
        for (std::size_t k = 0; k + 1 < blocks; ++k)
            ends[byOffset[k]] = std::min<std::size_t>(offsetOf(byOffset[k + 1]), size);
        for (std::size_t i = 0; i < count; ++i) {
            BYTE* p = range(first + i, offsetOf(first + i), 0, &len);
            CPdbRecord::InBlock(block, i)->m_Data.SetView(p, len, taken);
        }
    }
    auto endOf = [&](std::size_t k) -> std::size_t { return k + 1 < blocks ? offsetOf(k + 1) : size; };
    std::size_t k = 0;
    if (m_AppInfoOffset) {
        const BYTE* p = range(k, m_AppInfoOffset, endOf(k), &len);
        ++k;
        m_AppInfo.assign(p, p + len);
    }
    if (m_SortInfoOffset) {
        const BYTE* p = range(k, m_SortInfoOffset, endOf(k), &len);
        m_SortInfo.assign(p, p + len);
    }
    if (count == 0) return;
    auto& records = m_RecordSet.m_Records;
    records.resize(count);
    std::unique_ptr<CPdbRecord>* slot = records.data();
    for (std::size_t i = 0; i < count; ++i) slot[i].reset(CPdbRecord::InBlock(block, i));
    m_RecordSet.m_Bytes = std::move(bytes);
}

namespace {

// Where the blocks go in the file: one layout for every way of writing it.
struct Layout {
    bool resource;
    std::size_t count;
    std::size_t dataStart; // the AppInfo block, or what follows when there is none
    std::size_t total; // only when asked for: it takes a pass over the records
    const std::vector<DWORD>* sizes; // the records' sizes when their bytes are elsewhere
};

std::size_t RecordSize(const CPdbFile& pdb, const Layout& l, std::size_t i)
{
    return l.sizes ? (*l.sizes)[i] : pdb.m_RecordSet.GetRecord(i)->m_Data.size();
}

Layout LayoutOf(const CPdbFile& pdb, const std::vector<DWORD>* sizes = nullptr, bool total = true)
{
    Layout l{};
    l.sizes = sizes;
    l.resource = pdb.IsResourceDb();
    l.count = std::min<std::size_t>(pdb.m_RecordSet.GetCount(), 0xFFFF);
    l.dataStart = CPdbFile::kHeaderSize + l.count * (l.resource ? kResourceEntry : kRecordEntry) + 2;
    l.total = l.dataStart + pdb.m_AppInfo.size() + pdb.m_SortInfo.size();
    if (sizes) l.count = std::min(l.count, sizes->size());
    if (total)
        for (std::size_t i = 0; i < l.count; ++i) l.total += RecordSize(pdb, l, i);
    return l;
}

BYTE* Put(BYTE* out, const void* data, std::size_t size)
{
    if (size) std::memcpy(out, data, size);
    return out + size;
}

BYTE* PutWord(BYTE* out, WORD v)
{
    out[0] = BYTE(v >> 8);
    out[1] = BYTE(v);
    return out + 2;
}

BYTE* PutDWord(BYTE* out, DWORD v)
{
    for (int shift = 24; shift >= 0; shift -= 8) *out++ = BYTE(v >> shift);
    return out;
}

// The header alone (kHeaderSize bytes) into `out`.
BYTE* WriteHeader(const CPdbFile& pdb, const Layout& l, BYTE* out)
{
    std::size_t pos = l.dataStart;
    const DWORD appInfoOffset = pdb.m_AppInfo.empty() ? 0 : DWORD(pos);
    pos += pdb.m_AppInfo.size();
    const DWORD sortInfoOffset = pdb.m_SortInfo.empty() ? 0 : DWORD(pos);

    char name[kNameSize] = {};
    std::memcpy(name, pdb.m_Name.data(), std::min(pdb.m_Name.size(), kNameSize - 1));
    out = Put(out, name, kNameSize);
    out = PutWord(out, pdb.m_Attributes);
    out = PutWord(out, pdb.m_Version);
    out = PutDWord(out, pdb.m_CreationDate);
    out = PutDWord(out, pdb.m_ModificationDate);
    out = PutDWord(out, pdb.m_BackupDate);
    out = PutDWord(out, pdb.m_ModificationNumber);
    out = PutDWord(out, appInfoOffset);
    out = PutDWord(out, sortInfoOffset);
    out = PutDWord(out, pdb.m_Type);
    out = PutDWord(out, pdb.m_Creator);
    out = PutDWord(out, pdb.m_UniqueIdSeed);
    out = PutDWord(out, pdb.m_NextRecordList);
    return PutWord(out, WORD(l.count));
}

// One record's entry of the table, its bytes at `dataPos`.
inline BYTE* PutEntry(BYTE* out, bool resource, const CPdbRecord* r, std::size_t dataPos)
{
    if (resource) {
        out = PutDWord(out, r->m_ResType);
        out = PutWord(out, r->m_ResId);
        return PutDWord(out, DWORD(dataPos));
    }
    out = PutDWord(out, DWORD(dataPos));
    out[0] = r->m_Attrib;
    out[1] = BYTE(r->m_UniqueId >> 16);
    out[2] = BYTE(r->m_UniqueId >> 8);
    out[3] = BYTE(r->m_UniqueId);
    return out + 4;
}

// The header, the record table and the two bytes after it into `out`,
// which holds l.dataStart bytes.
BYTE* WriteHead(const CPdbFile& pdb, const Layout& l, BYTE* out)
{
    out = WriteHeader(pdb, l, out);
    std::size_t dataPos = l.dataStart + pdb.m_AppInfo.size() + pdb.m_SortInfo.size();
    for (std::size_t i = 0; i < l.count; ++i) {
        out = PutEntry(out, l.resource, pdb.m_RecordSet.GetRecord(i), dataPos);
        dataPos += RecordSize(pdb, l, i);
    }
    return PutWord(out, 0);
}

// The file's bytes straight into `out`, which holds l.total bytes.
void WriteImage(const CPdbFile& pdb, const Layout& l, BYTE* out)
{
    out = WriteHead(pdb, l, out);
    out = Put(out, pdb.m_AppInfo.data(), pdb.m_AppInfo.size());
    out = Put(out, pdb.m_SortInfo.data(), pdb.m_SortInfo.size());
    for (std::size_t i = 0; i < l.count; ++i) {
        const auto& d = pdb.m_RecordSet.GetRecord(i)->m_Data;
        out = Put(out, d.data(), d.size());
    }
}

} // namespace

std::vector<BYTE> CPdbFile::ToBytes() const
{
    const Layout layout = LayoutOf(*this);
    std::vector<BYTE> out(layout.total);
    WriteImage(*this, layout, out.data());
    return out;
}

long CPdbFile::ConvertToBuffer(BYTE** out) const
{
    if (out == nullptr) return 0;
    *out = nullptr;
    // Written in place: no second copy of a whole catalog.
    const Layout layout = LayoutOf(*this);
    BYTE* buffer = static_cast<BYTE*>(std::malloc(layout.total));
    if (buffer == nullptr) return 0;
    WriteImage(*this, layout, buffer);
    *out = buffer;
    return long(layout.total);
}

namespace {

// Copies `size` bytes at `offset` of `from` to the end of `to`: in the
// kernel when it can, else through a small buffer.
bool CopyRange(int from, off_t offset, int to, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::copy_file_range(from, &offset, to, nullptr, size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n > 0) {
            size -= std::size_t(n);
            continue;
        }
        if (n == 0) {
            errno = EIO; // the spool is shorter than its records say
            return false;
        }
        if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) return false;
        BYTE buffer[65536];
        while (size > 0) {
            const ssize_t got = ::pread(from, buffer, std::min(size, sizeof buffer), offset);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                if (got == 0) errno = EIO;
                return false;
            }
            for (ssize_t done = 0; done < got;) {
                const ssize_t put = ::write(to, buffer + done, std::size_t(got - done));
                if (put < 0 && errno == EINTR) continue;
                if (put <= 0) {
                    if (put == 0) errno = ENOSPC;
                    return false;
                }
                done += put;
            }
            offset += got;
            size -= std::size_t(got);
        }
    }
    return true;
}

bool WriteAll(int fd, const BYTE* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        data += n;
        size -= std::size_t(n);
    }
    return true;
}

// The pieces of a file handed to the system in few calls. Bytes that lie
// one after the other in memory (the records of a file read whole) make one
// run; a run is written from where it is when it is large, and copied into
// a buffer first when small, since the kernel takes each piece of a writev
// at a cost that a copy of a small one does not have. A piece must stay
// where it is until Flush.
class Gather {
public:
    explicit Gather(int fd) : m_Fd(fd)
    {
        // Each thread keeps its buffer: a new one for every file would be a
        // fresh mapping to fault in, page by page.
        thread_local std::unique_ptr<BYTE[]> buffer = std::make_unique_for_overwrite<BYTE[]>(kBuffer);
        m_Buffer = buffer.get();
    }

    bool Add(const BYTE* data, std::size_t size)
    {
        if (size == 0) return true;
        if (m_Run + m_RunSize == data && m_RunSize > 0) {
            m_RunSize += size;
            return true;
        }
        if (!EndRun()) return false;
        m_Run = data;
        m_RunSize = size;
        return true;
    }

    bool Flush()
    {
        if (!EndRun()) return false;
        const int count = m_Count;
        m_Count = 0;
        m_Used = 0;
#ifdef _WIN32
        for (int i = 0; i < count; ++i)
            if (!WriteAll(m_Fd, m_Pieces[i].data, m_Pieces[i].size)) return false;
        return true;
#else
        iovec pieces[kPieces];
        for (int i = 0; i < count; ++i) pieces[i] = {const_cast<BYTE*>(m_Pieces[i].data), m_Pieces[i].size};
        iovec* piece = pieces;
        int left = count;
        while (left > 0) {
            const ssize_t n = ::writev(m_Fd, piece, left);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                if (n == 0) errno = ENOSPC;
                return false;
            }
            // A short write: on from where it stopped.
            std::size_t done = std::size_t(n);
            while (left > 0 && done >= piece->iov_len) {
                done -= piece->iov_len;
                ++piece;
                --left;
            }
            if (left > 0) {
                piece->iov_base = static_cast<BYTE*>(piece->iov_base) + done;
                piece->iov_len -= done;
            }
        }
        return true;
#endif
    }

private:
    bool EndRun()
    {
        const BYTE* data = m_Run;
        const std::size_t size = m_RunSize;
        m_RunSize = 0;
        if (size == 0) return true;
        if (size >= kLarge) return Piece(data, size);
        if (m_Used + size > kBuffer && !Flush()) return false;
        BYTE* to = m_Buffer + m_Used;
        std::memcpy(to, data, size);
        m_Used += size;
        // The copy goes on the buffer's last piece when there is one.
        if (m_Count > 0 && m_Pieces[m_Count - 1].data + m_Pieces[m_Count - 1].size == to) {
            m_Pieces[m_Count - 1].size += size;
            return true;
        }
        return Piece(to, size);
    }

    bool Piece(const BYTE* data, std::size_t size)
    {
        if (m_Count == kPieces && !Flush()) return false;
        m_Pieces[m_Count++] = {data, size};
        return true;
    }

    static constexpr std::size_t kBuffer = std::size_t(1) << 20;
    static constexpr std::size_t kLarge = 4096;
#ifdef IOV_MAX
    static constexpr int kPieces = IOV_MAX < 256 ? IOV_MAX : 256;
#else
    static constexpr int kPieces = 256;
#endif
    struct Span {
        const BYTE* data;
        std::size_t size;
    };
    int m_Fd;
    BYTE* m_Buffer;
    std::size_t m_Used = 0;
    const BYTE* m_Run = nullptr;
    std::size_t m_RunSize = 0;
    Span m_Pieces[kPieces];
    int m_Count = 0;
};

// The records' bytes first, after the room the header and the table will
// take, and those last, into their room: one pass over the records, which
// lie all over the heap when they were built one by one. Only for a file
// whose position can be set and is not appended to.
bool WriteRecordsFirst(const CPdbFile& pdb, int fd, off_t base)
{
    const Layout layout = LayoutOf(pdb, nullptr, false);
    std::vector<BYTE> head(layout.dataStart);
    BYTE* entry = WriteHeader(pdb, layout, head.data());
    if (::lseek(fd, base + off_t(layout.dataStart), SEEK_SET) < 0) return false;
    auto gather = std::make_unique<Gather>(fd);
    if (!gather->Add(pdb.m_AppInfo.data(), pdb.m_AppInfo.size()) ||
        !gather->Add(pdb.m_SortInfo.data(), pdb.m_SortInfo.size()))
        return false;
    std::size_t dataPos = layout.dataStart + pdb.m_AppInfo.size() + pdb.m_SortInfo.size();
    const CPdbRecordSet& set = pdb.m_RecordSet;
    const std::size_t count = layout.count;
    for (std::size_t i = 0; i < count; ++i) {
        // The record a few steps on, and the bytes of the one after it.
        if (i + 16 < count) __builtin_prefetch(set.GetRecord(i + 16));
        if (i + 8 < count) __builtin_prefetch(set.GetRecord(i + 8)->m_Data.data());
        const CPdbRecord* r = set.GetRecord(i);
        const std::size_t size = r->m_Data.size();
        entry = PutEntry(entry, layout.resource, r, dataPos);
        if (!gather->Add(r->m_Data.data(), size)) return false;
        dataPos += size;
    }
    PutWord(entry, 0);
    if (!gather->Flush()) return false;
    // The file ends where its records do, as a sequential write leaves it.
    return ::lseek(fd, base, SEEK_SET) == base && WriteAll(fd, head.data(), head.size()) &&
           ::lseek(fd, base + off_t(dataPos), SEEK_SET) >= 0;
}

// Where WriteRecordsFirst may write `fd`: its position, or -1.
off_t PositionToWriteAt(int fd)
{
#ifdef _WIN32
    (void)fd;
    return -1;
#else
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || (flags & O_APPEND)) return -1;
    return ::lseek(fd, 0, SEEK_CUR);
#endif
}

// The file to `fd` from where its blocks are, without a copy of it. The
// records' bytes come from `spool` when there is one.
bool WriteFile(const CPdbFile& pdb, int fd, int spool, const std::vector<DWORD>* sizes)
{
    if (spool < 0) {
        const off_t base = PositionToWriteAt(fd);
        if (base >= 0) return WriteRecordsFirst(pdb, fd, base);
    }
    const Layout layout = LayoutOf(pdb, sizes, false);
    std::vector<BYTE> head(layout.dataStart);
    WriteHead(pdb, layout, head.data());
    auto gather = std::make_unique<Gather>(fd);
    if (!gather->Add(head.data(), head.size()) || !gather->Add(pdb.m_AppInfo.data(), pdb.m_AppInfo.size()) ||
        !gather->Add(pdb.m_SortInfo.data(), pdb.m_SortInfo.size()))
        return false;
    if (spool >= 0) {
        std::size_t bytes = 0;
        for (std::size_t i = 0; i < layout.count; ++i) bytes += (*sizes)[i];
        return gather->Flush() && CopyRange(spool, 0, fd, bytes);
    }
    // In order (a pipe, a file opened for appending, Windows): the records
    // in one pass after the head.
    const CPdbRecordSet& set = pdb.m_RecordSet;
    for (std::size_t i = 0; i < layout.count; ++i) {
        if (i + 4 < layout.count) __builtin_prefetch(set.GetRecord(i + 4)->m_Data.data());
        const auto& d = set.GetRecord(i)->m_Data;
        if (!gather->Add(d.data(), d.size())) return false;
    }
    return gather->Flush();
}

} // namespace

bool CPdbFile::WriteTo(int fd) const
{
    return WriteFile(*this, fd, -1, nullptr);
}

bool CPdbFile::WriteTo(int fd, int spool, const std::vector<DWORD>& sizes) const
{
    if (sizes.size() != m_RecordSet.GetCount()) {
        errno = EINVAL;
        return false;
    }
    return WriteFile(*this, fd, spool, &sizes);
}

bool CPdbFile::WritePdbFile(const char* path) const
{
    if (path == nullptr) return false;
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool ok = WriteTo(fd);
    ok = (::close(fd) == 0) && ok;
    return ok;
}
