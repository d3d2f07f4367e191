#include "records/ImageRecord.h"

#include <fcntl.h>
#include <unistd.h>
#ifndef _WIN32
#include <pwd.h>
#endif

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "seam/PrivateFiles.h"
#include "records/ImageRecords.h"
#include "records/PbmConverter.h"
#include "records/RecordText.h"

namespace {

bool IsPbmFileName(const std::string& name)
{
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return false;
    std::string ext = name.substr(dot);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".pbm";
}

// The trace goes in the user's private folder, which is made so when it is
// not; the file is created 0600 and a link put in its place is not followed.
void TraceLine(const char* where, const char* what)
{
    const std::string path = CImageRecord::TraceFilePath();
    if (path.empty()) return;
    if (!platform::MakePrivateDir(std::filesystem::path(path).parent_path().string()).exists) return;
    int flags = O_WRONLY | O_CREAT | O_APPEND;
#ifdef O_NOFOLLOW
    flags |= O_NOFOLLOW;
#endif
    const int fd = platform::OpenFile(path, flags);
    if (fd < 0) return;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char line[512];
    const int n = std::snprintf(line, sizeof line, "%d-%02d-%02d %02d:%02d:%02d %s : %s\n", local.tm_year + 1900,
                                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, where,
                                what);
    // One write: lines of programs tracing at once never mix.
    if (n > 0) {
        const ssize_t written = ::write(fd, line, std::size_t(n) < sizeof line ? std::size_t(n) : sizeof line - 1);
        (void)written;
    }
    ::close(fd);
}

// The folder of what a user's programs keep between runs, closed to others.
std::string UserStateDir()
{
#ifdef _WIN32
    if (const char* local = std::getenv("LOCALAPPDATA"); local && *local) return std::string(local) + "\\Norvelia";
    return "";
#else
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/')
        return std::string(state) + "/norvelia";
    const char* home = std::getenv("HOME");
    if (!home || *home != '/') {
        const passwd* entry = ::getpwuid(::geteuid());
        home = entry ? entry->pw_dir : nullptr;
    }
    if (!home || *home != '/') return "";
    return std::string(home) + "/.local/state/norvelia";
#endif
}

} // namespace

CImageRecord::CImageRecord() = default;
CImageRecord::~CImageRecord() = default;

std::string CImageRecord::SetImageFileName(const std::string& s)
{
    m_ImageFileName = s;
    return "";
}

std::string CImageRecord::SetImageName(const std::string& s)
{
    m_ImageName = s;
    return "";
}

void CImageRecord::FillFromPdbRecord(const CPdbRecord* record)
{
    if (record == nullptr) return;
    long at = 0;
    m_ImageName = record->ReadStringZeroAt(&at);
    m_ImageData.clear();
    const long size = record->Size();
    if (at >= size) return;
    // The writer closes every record with one zero byte after the data.
    const long end = record->Data()[size - 1] == 0 ? size - 1 : size;
    m_ImageData.assign(record->Data() + at, record->Data() + end);
}

std::string CImageRecord::TraceFilePath()
{
    const std::string dir = UserStateDir();
    return dir.empty() ? std::string() : dir + "/traque.txt";
}

std::string CImageRecord::FillPdbPackedRecord(CPdbPackedRecord& rec) const
{
    rec.Reset();
    rec.AddString(m_ImageName, 0);
    if (!m_ImageFileName.empty()) {
        if (IsPbmFileName(m_ImageFileName)) {
            TraceLine("CImageRecord::FillPdbPackedRecord", "We never have to pass here");
            CPbmConverter converter;
            // An image refused as too large would otherwise leave the record without it.
            if (converter.LoadPbmFile(m_ImageFileName) == CPbmConverter::kImageTooLarge)
                return recshelf::TooLarge("CImageRecord::FillPdbPackedRecord");
            rec.AddPdbPackedRecord(converter.GetPdbPackedRecord());
        } else {
            rec.AddFileBinData(m_ImageFileName);
        }
    }
    rec.AddUChar(0);
    if (rec.Overflowed()) return recshelf::TooLarge("CImageRecord::FillPdbPackedRecord");
    return "";
}

std::unique_ptr<CPdbPackedRecord> CImageRecord::CreatePdbRec(std::string* error) const
{
    return recshelf::CreateFilled(*this, "CImageRecord", error);
}

// ---------------------------------------------------------------- set

CImageRecords::CImageRecords() = default;
CImageRecords::~CImageRecords() = default;

void CImageRecords::Add(std::unique_ptr<CImageRecord> record)
{
    if (record) m_Records.push_back(std::move(record));
}

bool CImageRecords::ContainsImage(const std::string& name) const
{
    for (const auto& record : m_Records)
        if (record->GetImageName() == name) return true;
    return false;
}
