// Big-endian builder of one handheld record or AppInfo block, and the shared
// conversions between text and the handheld's price and date encodings.
#pragma once
#include <string>

#include "seam/Export.h"
#include "seam/Types.h"
#include "records/OleDateTime.h"

class NORV_EXPORT CPdbPackedRecord {
public:
    static constexpr int kCapacity = 65536;

    CPdbPackedRecord();
    CPdbPackedRecord(const CPdbPackedRecord& other);
    CPdbPackedRecord& operator=(const CPdbPackedRecord& other);

    // Size back to 0 (the bytes stay) and the overflow mark cleared.
    void Reset();
    int Size() const { return m_Size; }
    BYTE* Buffer() { return m_Buffer; }
    const BYTE* Buffer() const { return m_Buffer; }
    // True once an addition was refused because it did not fit.
    bool Overflowed() const { return m_Overflowed; }

    // Each addition is written whole or, when it does not fit in the 65,536
    // bytes, not at all (and the overflow mark is set).
    void AddUChar(BYTE v);
    void AddWord(WORD v);
    void AddDWord(DWORD v);
    // n > 0: a fixed field of n bytes ending with a zero byte; n = 0: the text
    // and its zero byte. The text ends at its first zero byte.
    void AddString(const std::string& s, unsigned n);
    // The whole file, when it fits in one byte short of the free room.
    bool AddFileBinData(const std::string& path);
    // All bytes of another builder; "" or the error text.
    std::string AddPdbPackedRecord(const CPdbPackedRecord* other);

    static DWORD PriceStringToDWord(const std::string& price);
    static DWORD DateStringToDWord(const std::string& date, const std::string& format);
    static std::string DateStringToW3CString(const std::string& date, const std::string& format);
    static std::string DWordToW3CDateString(DWORD date);
    static bool ParseW3CDateString(std::string& text, int& year, int& month, int& day, int& hour, int& minute,
                                   int& second);
    static double DWordToOleDate(DWORD date);
    static COleDateTime DWordToCOleDateTime(DWORD date);

    // The date parsers behind the format names; an invalid value when the
    // text is not a date of that convention.
    static COleDateTime ParseDayFirst(const std::string& text);
    static COleDateTime ParseMonthFirst(const std::string& text);
    // By the user's locale (LC_ALL, LC_TIME, then LANG): day first for French
    // and for installed locales whose date order is day first, else month first.
    static COleDateTime ParseDefaultLocale(const std::string& text);
    static bool DefaultLocaleIsDayFirst();

private:
    bool Fits(long long count);

    int m_Size = 0;
    bool m_Overflowed = false;
    BYTE m_Buffer[kCapacity];
};
