#include "quillio/PdbFile.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>

namespace {

constexpr std::size_t kRecordEntry = 8;
constexpr std::size_t kResourceEntry = 10;
constexpr std::size_t kNameSize = 32;
constexpr std::size_t kMaxParts = 1024; // blocks to one writev, the least IOV_MAX of Linux

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

bool CPdbFile::ReadPdbFile(const char* path)
{
    if (path == nullptr) return false;
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return false;
    // Sized from the file, read in large blocks: a byte-wise stream read
    // costs dozens of times the I/O on a catalog.
    std::vector<BYTE> bytes;
    struct stat st {};
    // One more than the size, so that the end shows in the first read.
    std::size_t want = 65536;
    if (::fstat(::fileno(f), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) want = std::size_t(st.st_size) + 1;
    bool ok = true;
    for (;;) {
        const std::size_t have = bytes.size();
        bytes.resize(have + want);
        const std::size_t n = std::fread(bytes.data() + have, 1, want, f);
        bytes.resize(have + n);
        if (n < want) {
            ok = std::ferror(f) == 0;
            break;
        }
        want = std::max<std::size_t>(want, 65536);
    }
    std::fclose(f);
    if (!ok) return false;
    return ReadPdbBuffer(bytes.data(), bytes.size());
}

bool CPdbFile::ReadPdbBuffer(const BYTE* data, std::size_t size)
{
    if (data == nullptr || size < kHeaderSize) return false;

    const BYTE* h = data;
    std::size_t nameLen = 0;
    while (nameLen < kNameSize && h[nameLen] != 0) ++nameLen;
    std::string name(reinterpret_cast<const char*>(h), nameLen);
    WORD attributes = PeekWord(h + 32);
    const bool resource = (attributes & kAttrResource) != 0;
    const std::size_t entrySize = resource ? kResourceEntry : kRecordEntry;

    // A count larger than the file: keep the entries that fit.
    std::size_t count = PeekWord(h + 76);
    std::size_t fit = (size - kHeaderSize) / entrySize;
    count = std::min(count, fit);
    const std::size_t tableEnd = kHeaderSize + count * entrySize;

    m_Name = std::move(name);
    m_Attributes = attributes;
    m_Version = PeekWord(h + 34);
    m_CreationDate = PeekDWord(h + 36);
    m_ModificationDate = PeekDWord(h + 40);
    m_BackupDate = PeekDWord(h + 44);
    m_ModificationNumber = PeekDWord(h + 48);
    m_AppInfoOffset = PeekDWord(h + 52);
    m_SortInfoOffset = PeekDWord(h + 56);
    m_Type = PeekDWord(h + 60);
    m_Creator = PeekDWord(h + 64);
    m_UniqueIdSeed = PeekDWord(h + 68);
    m_NextRecordList = PeekDWord(h + 72);
    m_AppInfo.clear();
    m_SortInfo.clear();
    m_RecordSet.Clear();

    struct Entry {
        DWORD offset;
        BYTE attrib;
        DWORD uid;
        DWORD resType;
        WORD resId;
    };
    std::vector<Entry> entries;
    entries.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const BYTE* e = data + kHeaderSize + i * entrySize;
        Entry en{};
        if (resource) {
            en.resType = PeekDWord(e);
            en.resId = PeekWord(e + 4);
            en.offset = PeekDWord(e + 6);
        } else {
            en.offset = PeekDWord(e);
            en.attrib = e[4];
            en.uid = (DWORD(e[5]) << 16) | (DWORD(e[6]) << 8) | DWORD(e[7]);
        }
        entries.push_back(en);
    }

    // A block runs up to the start of the next block in file order, whatever
    // the order of the entries. Blocks that start at the same offset keep
    // their standard order (AppInfo, SortInfo, records in table order): all
    // but the last of them are empty, so a zero-length record never takes
    // its neighbour's bytes. Blocks outside the file read as empty.
    struct Block {
        DWORD offset;
        std::size_t order; // 0 AppInfo, 1 SortInfo, 2 + i record i
        std::size_t start = 0, len = 0;
    };
    std::vector<Block> blocks;
    blocks.reserve(entries.size() + 2);
    if (m_AppInfoOffset) blocks.push_back({m_AppInfoOffset, 0});
    if (m_SortInfoOffset) blocks.push_back({m_SortInfoOffset, 1});
    for (std::size_t i = 0; i < entries.size(); ++i) blocks.push_back({entries[i].offset, 2 + i});
    std::vector<std::size_t> byOffset(blocks.size());
    for (std::size_t i = 0; i < byOffset.size(); ++i) byOffset[i] = i;
    std::sort(byOffset.begin(), byOffset.end(), [&](std::size_t a, std::size_t b) {
        return blocks[a].offset != blocks[b].offset ? blocks[a].offset < blocks[b].offset
                                                    : blocks[a].order < blocks[b].order;
    });
    for (std::size_t k = 0; k < byOffset.size(); ++k) {
        Block& b = blocks[byOffset[k]];
        if (b.offset < tableEnd || b.offset >= size) continue;
        const std::size_t end =
            k + 1 < byOffset.size() ? std::min<std::size_t>(blocks[byOffset[k + 1]].offset, size) : size;
        b.start = b.offset;
        b.len = end - b.start;
    }

    std::size_t next = 0;
    if (m_AppInfoOffset) {
        const Block& b = blocks[next++];
        m_AppInfo.assign(data + b.start, data + b.start + b.len);
    }
    if (m_SortInfoOffset) {
        const Block& b = blocks[next++];
        m_SortInfo.assign(data + b.start, data + b.start + b.len);
    }
    for (const Entry& en : entries) {
        const Block& b = blocks[next++];
        auto rec = std::make_unique<CPdbRecord>(data + b.start, long(b.len));
        rec->m_UniqueId = en.uid;
        rec->m_ResType = en.resType;
        rec->m_ResId = en.resId;
        m_RecordSet.AddRecord(std::move(rec), en.attrib);
    }
    return true;
}

namespace {

// Where the blocks go in the file: one layout for every way of writing it.
struct Layout {
    bool resource;
    std::size_t count;
    std::size_t dataStart; // the AppInfo block, or what follows when there is none
    std::size_t total;
};

Layout LayoutOf(const CPdbFile& pdb)
{
    Layout l{};
    l.resource = pdb.IsResourceDb();
    l.count = std::min<std::size_t>(pdb.m_RecordSet.GetCount(), 0xFFFF);
    l.dataStart = CPdbFile::kHeaderSize + l.count * (l.resource ? kResourceEntry : kRecordEntry) + 2;
    l.total = l.dataStart + pdb.m_AppInfo.size() + pdb.m_SortInfo.size();
    for (std::size_t i = 0; i < l.count; ++i) l.total += pdb.m_RecordSet.GetRecord(i)->m_Data.size();
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

// The header, the record table and the two bytes after it into `out`,
// which holds l.dataStart bytes.
BYTE* WriteHead(const CPdbFile& pdb, const Layout& l, BYTE* out)
{
    std::size_t pos = l.dataStart;
    const DWORD appInfoOffset = pdb.m_AppInfo.empty() ? 0 : DWORD(pos);
    pos += pdb.m_AppInfo.size();
    const DWORD sortInfoOffset = pdb.m_SortInfo.empty() ? 0 : DWORD(pos);
    pos += pdb.m_SortInfo.size();

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
    out = PutWord(out, WORD(l.count));

    std::size_t dataPos = pos;
    for (std::size_t i = 0; i < l.count; ++i) {
        const CPdbRecord* r = pdb.m_RecordSet.GetRecord(i);
        if (l.resource) {
            out = PutDWord(out, r->m_ResType);
            out = PutWord(out, r->m_ResId);
            out = PutDWord(out, DWORD(dataPos));
        } else {
            out = PutDWord(out, DWORD(dataPos));
            *out++ = r->m_Attrib;
            *out++ = BYTE(r->m_UniqueId >> 16);
            *out++ = BYTE(r->m_UniqueId >> 8);
            *out++ = BYTE(r->m_UniqueId);
        }
        dataPos += r->m_Data.size();
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

bool CPdbFile::WriteTo(int fd) const
{
    const Layout layout = LayoutOf(*this);
    std::vector<BYTE> head(layout.dataStart);
    WriteHead(*this, layout, head.data());
    // The blocks go from where they are, many to a system call.
    std::vector<iovec> parts;
    parts.reserve(std::min<std::size_t>(layout.count + 3, kMaxParts));
    auto flush = [&] {
        std::size_t first = 0;
        while (first < parts.size()) {
            const ssize_t n = ::writev(fd, parts.data() + first, int(parts.size() - first));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                if (n == 0) errno = ENOSPC;
                return false;
            }
            // A short write: go on from the first byte not written.
            std::size_t done = std::size_t(n);
            while (first < parts.size() && done >= parts[first].iov_len) done -= parts[first++].iov_len;
            if (first < parts.size()) {
                parts[first].iov_base = static_cast<BYTE*>(parts[first].iov_base) + done;
                parts[first].iov_len -= done;
            }
        }
        parts.clear();
        return true;
    };
    auto add = [&](const BYTE* data, std::size_t size) {
        if (size == 0) return true;
        if (parts.size() == kMaxParts && !flush()) return false;
        parts.push_back(iovec{const_cast<BYTE*>(data), size});
        return true;
    };
    if (!add(head.data(), head.size()) || !add(m_AppInfo.data(), m_AppInfo.size()) ||
        !add(m_SortInfo.data(), m_SortInfo.size()))
        return false;
    for (std::size_t i = 0; i < layout.count; ++i) {
        const auto& d = m_RecordSet.GetRecord(i)->m_Data;
        if (!add(d.data(), d.size())) return false;
    }
    return flush();
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
