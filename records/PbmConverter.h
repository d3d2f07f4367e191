// Converts a plain (text) PBM image into a Palm OS version-0 bitmap: a
// 16-byte header, then one bit per pixel, rows padded to 16-bit words.
#pragma once
#include <fstream>
#include <string>

#include "seam/Export.h"
#include "seam/Types.h"
#include "records/PdbPackedRecord.h"

class NORV_EXPORT CPbmConverter {
public:
    static constexpr const char* kImageTooLarge = "CPbmConverter::LoadPbmFile - image too large";

    CPbmConverter();
    virtual ~CPbmConverter();
    CPbmConverter(const CPbmConverter&) = delete;
    CPbmConverter& operator=(const CPbmConverter&) = delete;

    // "" on success, else the error text.
    std::string LoadPbmFile(const std::string& path);
    // Owned by the converter, valid while it lives.
    CPdbPackedRecord* GetPdbPackedRecord() { return &m_Bitmap; }
    // The bitmap's first byte, or null while it is empty.
    BYTE* GetBuffer();

    int GetWidth() const { return m_Width; }
    int GetHeight() const { return m_Height; }
    int GetRowBytes() const { return m_RowBytes; }

private:
    void SetPalmBmpHeader();
    void AddRowData();
    bool ReadPbmLine();
    int ReadPbmBit();

    bool m_Eof = false;
    std::ifstream m_Input;
    std::string m_Line;
    int m_Position = 0;
    int m_LineLength = 0;
    CPdbPackedRecord m_Bitmap;
    int m_Width = 0;
    int m_Height = 0;
    int m_RowBytes = 0;
};
