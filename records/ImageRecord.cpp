#include "records/ImageRecord.h"

#include <cctype>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "quillio/NorvFile.h"
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

void TraceLine(const char* where, const char* what)
{
    CNorvFile file;
    if (!file.Open(CImageRecord::TraceFilePath().c_str(), "a")) return;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char line[512];
    std::snprintf(line, sizeof line, "%d-%02d-%02d %02d:%02d:%02d %s : %s\n", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, where, what);
    file.WriteString(line);
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
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    if (ec) dir = "/tmp";
    return (dir / "traque.txt").string();
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
