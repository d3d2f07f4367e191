#include "records/PbmConverter.h"

#include <exception>

namespace {

// atoi-like: blanks, a sign, digits; saturates.
long long DecimalValue(const std::string& s)
{
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    long long v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        v = v * 10 + (s[i] - '0');
        if (v > 0x7FFFFFFFll) v = 0x7FFFFFFFll;
    }
    return negative ? -v : v;
}

} // namespace

CPbmConverter::CPbmConverter() = default;
CPbmConverter::~CPbmConverter() = default;

BYTE* CPbmConverter::GetBuffer()
{
    return m_Bitmap.Size() > 0 ? m_Bitmap.Buffer() : nullptr;
}

std::string CPbmConverter::LoadPbmFile(const std::string& path)
{
    m_Input.exceptions(std::ios::goodbit);
    m_Input.close();
    m_Input.clear();
    m_Eof = false;
    m_Input.open(path, std::ios::in);
    if (!m_Input.is_open()) return "CPbmConverter::LoadPbmFile - file open failed";
    try {
        // A read error (not the end of the file) raises, as the file layer does.
        m_Input.exceptions(std::ios::badbit);
        ReadPbmLine(); // magic line, not examined
        ReadPbmLine(); // size line
        const std::string sizeLine = m_Eof ? std::string() : m_Line;
        long long width = 0;
        long long height = 0;
        const std::size_t blank = sizeLine.find(' ');
        if (blank != std::string::npos) {
            width = DecimalValue(sizeLine.substr(0, blank));
            height = DecimalValue(sizeLine.substr(blank + 1));
        }
        if (width <= 0 || height <= 0) {
            m_Input.close();
            return "CPbmConverter::LoadPbmFile - invalid image dimensions";
        }
        const long long rowBytes = ((width - 1) / 16) * 2 + 2;
        // The header holds 16-bit sizes and the bitmap must fit the builder.
        if (width > 0xFFFF || height > 0xFFFF || 16 + rowBytes * height > CPdbPackedRecord::kCapacity) {
            m_Input.close();
            return kImageTooLarge;
        }
        m_Width = int(width);
        m_Height = int(height);
        m_RowBytes = int(rowBytes);
        SetPalmBmpHeader();
        ReadPbmLine();
        for (int row = 0; row < m_Height; ++row) AddRowData();
    } catch (const std::exception&) {
        m_Input.exceptions(std::ios::goodbit);
        m_Input.close();
        return "CPbmConverter::LoadPbmFile - invalid file format";
    }
    m_Input.close();
    return "";
}

void CPbmConverter::SetPalmBmpHeader()
{
    m_Bitmap.Reset();
    m_Bitmap.AddWord(WORD(m_Width));
    m_Bitmap.AddWord(WORD(m_Height));
    m_Bitmap.AddWord(WORD(m_RowBytes));
    m_Bitmap.AddWord(0);
    m_Bitmap.AddDWord(0);
    m_Bitmap.AddDWord(0);
}

void CPbmConverter::AddRowData()
{
    int taken = 0;
    for (int word = 0; word < m_RowBytes / 2; ++word) {
        WORD value = 0;
        for (int bit = 15; bit >= 0; --bit) {
            if (taken < m_Width) {
                if (ReadPbmBit()) value = WORD(value | (1u << bit));
                ++taken;
            }
        }
        m_Bitmap.AddWord(value);
    }
}

bool CPbmConverter::ReadPbmLine()
{
    std::string line;
    do {
        if (!std::getline(m_Input, line)) {
            m_Eof = true;
            return false;
        }
        // Files written on Windows end their lines with CR LF.
        if (!line.empty() && line.back() == '\r') line.pop_back();
    } while (!line.empty() && line[0] == '#');
    m_Line = std::move(line);
    m_Position = 0;
    m_LineLength = int(m_Line.size());
    return true;
}

int CPbmConverter::ReadPbmBit()
{
    if (m_Eof) return 0;
    // Past the end of the line (an empty line) reads as a white pixel.
    const char c = m_Position < m_LineLength ? m_Line[std::size_t(m_Position)] : '\0';
    m_Position += 2;
    if (m_Position >= m_LineLength) ReadPbmLine();
    return c == '1' ? 1 : 0;
}
