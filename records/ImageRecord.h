// An image of a catalog database: its name, then the image data (a handheld
// bitmap converted from a PBM file, or a file's bytes as they are). Written
// from a file; read back, it holds the data itself.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "seam/Export.h"
#include "seam/Types.h"
#include "quillio/PdbRecord.h"
#include "records/PdbPackedRecord.h"

class NORV_EXPORT CImageRecord {
public:
    CImageRecord();
    virtual ~CImageRecord();
    CImageRecord(const CImageRecord&) = default;
    CImageRecord& operator=(const CImageRecord&) = default;

    std::string SetImageFileName(const std::string& s);
    std::string SetImageName(const std::string& s);
    std::string GetImageName() const { return m_ImageName; }
    std::string GetImageFileName() const { return m_ImageFileName; }

    // Reads the name and the data between it and the record's closing zero
    // byte (CPalmBitmap decodes a converted PBM). The file name stays as it was.
    void FillFromPdbRecord(const CPdbRecord* record);
    const std::vector<BYTE>& GetImageData() const { return m_ImageData; }

    // "" or "CImageRecord::FillPdbPackedRecord - record too large" (also when
    // the image file is too large for the record). A file that cannot be read
    // adds no data, as before.
    std::string FillPdbPackedRecord(CPdbPackedRecord& rec) const;
    std::unique_ptr<CPdbPackedRecord> CreatePdbRec(std::string* error = nullptr) const;

    // Where the PBM conversion trace line goes: traque.txt in the user's
    // private folder, ${XDG_STATE_HOME:-~/.local/state}/norvelia
    // (%LOCALAPPDATA%\Norvelia on Windows); empty when there is none.
    static std::string TraceFilePath();

private:
    std::string m_ImageFileName;
    std::string m_ImageName;
    std::vector<BYTE> m_ImageData;
};
