#include "records/PdbPackedRecord.h"

#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "quillio/NorvFile.h"

CPdbPackedRecord::CPdbPackedRecord()
{
    std::memset(m_Buffer, 0, sizeof m_Buffer);
}

CPdbPackedRecord::CPdbPackedRecord(const CPdbPackedRecord& other)
    : m_Size(other.m_Size), m_Overflowed(other.m_Overflowed)
{
    std::memcpy(m_Buffer, other.m_Buffer, sizeof m_Buffer);
}

CPdbPackedRecord& CPdbPackedRecord::operator=(const CPdbPackedRecord& other)
{
    if (this != &other) {
        m_Size = other.m_Size;
        m_Overflowed = other.m_Overflowed;
        std::memcpy(m_Buffer, other.m_Buffer, sizeof m_Buffer);
    }
    return *this;
}

void CPdbPackedRecord::Reset()
{
    m_Size = 0;
    m_Overflowed = false;
}

bool CPdbPackedRecord::Fits(long long count)
{
    if (count < 0 || count > kCapacity - m_Size) {
        m_Overflowed = true;
        return false;
    }
    return true;
}

void CPdbPackedRecord::AddUChar(BYTE v)
{
    if (!Fits(1)) return;
    m_Buffer[m_Size++] = v;
}

void CPdbPackedRecord::AddWord(WORD v)
{
    if (!Fits(2)) return;
    m_Buffer[m_Size++] = BYTE(v >> 8);
    m_Buffer[m_Size++] = BYTE(v);
}

void CPdbPackedRecord::AddDWord(DWORD v)
{
    if (!Fits(4)) return;
    for (int shift = 24; shift >= 0; shift -= 8) m_Buffer[m_Size++] = BYTE(v >> shift);
}

void CPdbPackedRecord::AddString(const std::string& s, unsigned n)
{
    // The text ends at its first zero byte: what follows would read back as
    // the next field.
    const std::size_t length = std::min(s.size(), s.find('\0'));
    if (n > 0) {
        if (!Fits(n)) return;
        const std::size_t copy = std::min<std::size_t>(length, n);
        std::memcpy(m_Buffer + m_Size, s.data(), copy);
        std::memset(m_Buffer + m_Size + copy, 0, n - copy);
        m_Buffer[m_Size + int(n) - 1] = 0;
        m_Size += int(n);
        return;
    }
    if (!Fits((long long)length + 1)) return;
    std::memcpy(m_Buffer + m_Size, s.data(), length);
    m_Size += int(length);
    m_Buffer[m_Size++] = 0;
}

bool CPdbPackedRecord::AddFileBinData(const std::string& path)
{
    const long free = kCapacity - 1 - m_Size;
    const long length = CNorvFile::GetLength(path.c_str());
    if (length > free) {
        m_Overflowed = true;
        return false;
    }
    CNorvFile file;
    if (length < 0 || !file.Open(path.c_str(), "rb")) return false;
    m_Size += file.Read(m_Buffer + m_Size, int(free));
    file.Close();
    return true;
}

std::string CPdbPackedRecord::AddPdbPackedRecord(const CPdbPackedRecord* other)
{
    if (other == nullptr) return "CPdbPackedRecord::AddPdbPackedRecord - cannot add empty record";
    const int count = other->m_Size;
    if (!Fits(count)) return "CPdbPackedRecord::AddPdbPackedRecord - record too large";
    // memmove: a builder may append itself.
    std::memmove(m_Buffer + m_Size, other->m_Buffer, std::size_t(count));
    m_Size += count;
    return "";
}

// ---------------------------------------------------------------- prices

DWORD CPdbPackedRecord::PriceStringToDWord(const std::string& price)
{
    if (price.size() >= 64) return 0;
    std::string digits;
    long separator = -1;
    for (char c : price) {
        if (c >= '0' && c <= '9') {
            digits.push_back(c);
        } else if ((c == '.' || c == ',') && separator < 0) {
            separator = long(digits.size());
        }
    }
    const std::size_t keep = separator >= 0 ? std::size_t(separator) + 2 : digits.size() + 2;
    // Missing decimals read as 0; further ones are dropped.
    digits.resize(keep, '0');
    unsigned long long v = 0;
    for (char c : digits) {
        v = v * 10 + unsigned(c - '0');
        // Beyond the 32-bit value: no price.
        if (v > 0xFFFFFFFFull) return 0;
    }
    return DWORD(v);
}

// ---------------------------------------------------------------- dates

namespace {

constexpr long long kSecondsPerDay = 86400;

std::string Upper(std::string s)
{
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

enum class Convention { DayFirst, MonthFirst, W3C, Default };

Convention ConventionOf(const std::string& format)
{
    const std::string f = Upper(format);
    if (f == "FR" || f == "DD/MM/YY" || f == "DD/MM/YYYY") return Convention::DayFirst;
    if (f == "US" || f == "MM/DD/YY" || f == "MM/DD/YYYY") return Convention::MonthFirst;
    if (f == "W3C") return Convention::W3C;
    return Convention::Default;
}

// A cursor over the date text.
struct Scanner {
    const std::string& s;
    std::size_t i = 0;

    bool AtEnd() const { return i >= s.size(); }
    char Peek() const { return AtEnd() ? '\0' : s[i]; }
    void SkipBlanks()
    {
        while (!AtEnd() && (s[i] == ' ' || s[i] == '\t')) ++i;
    }
    // 1 to maxDigits digits; the count read goes to `count`.
    bool Number(int maxDigits, int& value, int& count)
    {
        value = 0;
        count = 0;
        while (!AtEnd() && s[i] >= '0' && s[i] <= '9') {
            if (++count > maxDigits) return false;
            value = value * 10 + (s[i] - '0');
            ++i;
        }
        return count > 0;
    }
    bool Accept(char c)
    {
        if (Peek() != c) return false;
        ++i;
        return true;
    }
    bool AcceptWord(const char* w)
    {
        std::size_t n = std::strlen(w);
        if (s.size() - i < n) return false;
        for (std::size_t k = 0; k < n; ++k)
            if (std::toupper(static_cast<unsigned char>(s[i + k])) != w[k]) return false;
        i += n;
        return true;
    }
};

bool IsDateSeparator(char c)
{
    return c == '/' || c == '-' || c == '.';
}

// Two-digit years: 00 to 29 are 2000 to 2029, 30 to 99 are 1930 to 1999.
int FullYear(int value, int digits)
{
    if (digits == 4) return value;
    if (digits <= 2) return value < 30 ? 2000 + value : 1900 + value;
    return -1;
}

// [D|M]sep[M|D]sep(YY|YYYY) or YYYY-MM-DD, then optionally a time
// H:MM[:SS] (after blanks, or 'T' in the year-first form), with AM/PM when
// allowed; blanks around.
COleDateTime ParseNumeric(const std::string& text, bool dayFirst, bool allowAmPm)
{
    Scanner sc{text};
    sc.SkipBlanks();
    int a = 0, b = 0, c = 0, na = 0, nb = 0, nc = 0;
    if (!sc.Number(4, a, na)) return {};
    if (!IsDateSeparator(sc.Peek())) return {};
    ++sc.i;
    if (!sc.Number(2, b, nb)) return {};
    if (!IsDateSeparator(sc.Peek())) return {};
    ++sc.i;
    int year = 0, month = 0, day = 0;
    const bool yearFirst = na == 4;
    if (yearFirst) {
        if (!sc.Number(2, c, nc)) return {};
        year = a;
        month = b;
        day = c;
    } else {
        if (na > 2 || !sc.Number(4, c, nc) || nc == 3) return {};
        year = FullYear(c, nc);
        day = dayFirst ? a : b;
        month = dayFirst ? b : a;
    }

    int hour = 0, minute = 0, second = 0;
    bool haveTime = false;
    if (yearFirst && sc.Accept('T')) {
        haveTime = true;
    } else {
        const std::size_t beforeBlanks = sc.i;
        sc.SkipBlanks();
        haveTime = sc.i > beforeBlanks && !sc.AtEnd();
    }
    if (haveTime) {
        int n = 0;
        if (!sc.Number(2, hour, n) || !sc.Accept(':') || !sc.Number(2, minute, n) || n != 2) return {};
        if (sc.Accept(':') && (!sc.Number(2, second, n) || n != 2)) return {};
        if (allowAmPm) {
            const std::size_t beforeMark = sc.i;
            sc.SkipBlanks();
            bool pm = false;
            bool marked = false;
            if (sc.AcceptWord("AM")) {
                marked = true;
            } else if (sc.AcceptWord("PM")) {
                marked = true;
                pm = true;
            } else {
                sc.i = beforeMark;
            }
            if (marked) {
                if (hour < 1 || hour > 12) return {};
                hour = (hour % 12) + (pm ? 12 : 0);
            }
        }
    }
    sc.SkipBlanks();
    if (!sc.AtEnd()) return {};
    return COleDateTime(year, month, day, hour, minute, second);
}

// Parses by the convention; the W3C reader never fails.
COleDateTime Parse(const std::string& date, Convention convention)
{
    switch (convention) {
    case Convention::DayFirst: return CPdbPackedRecord::ParseDayFirst(date);
    case Convention::MonthFirst: return CPdbPackedRecord::ParseMonthFirst(date);
    case Convention::W3C: {
        std::string copy = date;
        int y, mo, d, h, mi, s;
        CPdbPackedRecord::ParseW3CDateString(copy, y, mo, d, h, mi, s);
        return COleDateTime(y, mo, d, h, mi, s);
    }
    case Convention::Default: break;
    }
    return CPdbPackedRecord::ParseDefaultLocale(date);
}

long long EpochDays()
{
    static const long long days = COleDateTime::DaysFromCivil(1904, 1, 1);
    return days;
}

} // namespace

COleDateTime CPdbPackedRecord::ParseDayFirst(const std::string& text)
{
    return ParseNumeric(text, true, false);
}

COleDateTime CPdbPackedRecord::ParseMonthFirst(const std::string& text)
{
    return ParseNumeric(text, false, true);
}

bool CPdbPackedRecord::DefaultLocaleIsDayFirst()
{
    const char* name = nullptr;
    for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* v = std::getenv(variable);
        if (v != nullptr && *v != '\0') {
            name = v;
            break;
        }
    }
    if (name == nullptr) return false; // the C locale: month first
    if (std::strncmp(name, "fr", 2) == 0) return true;
    // An installed locale tells its own order; any other reads month first.
    bool dayFirst = false;
    if (locale_t locale = newlocale(LC_TIME_MASK, name, locale_t(0))) {
        const std::string format = nl_langinfo_l(D_FMT, locale);
        std::size_t day = format.find("%d");
        if (day == std::string::npos) day = format.find("%e");
        const std::size_t month = format.find("%m");
        dayFirst = day != std::string::npos && month != std::string::npos && day < month;
        freelocale(locale);
    }
    return dayFirst;
}

COleDateTime CPdbPackedRecord::ParseDefaultLocale(const std::string& text)
{
    return DefaultLocaleIsDayFirst() ? ParseDayFirst(text) : ParseMonthFirst(text);
}

DWORD CPdbPackedRecord::DateStringToDWord(const std::string& date, const std::string& format)
{
    if (date.empty()) return 0;
    const COleDateTime value = Parse(date, ConventionOf(format));
    if (!value.IsValid() || value.GetYear() >= 2040) return 0;
    const long long seconds = (value.DaysSinceUnixEpoch() - EpochDays()) * kSecondsPerDay +
                              value.GetHour() * 3600 + value.GetMinute() * 60 + value.GetSecond();
    // Before the handheld's epoch there is no date value.
    if (seconds < 0 || seconds > 0xFFFFFFFFll) return 0;
    return DWORD(seconds);
}

std::string CPdbPackedRecord::DateStringToW3CString(const std::string& date, const std::string& format)
{
    Convention convention = ConventionOf(format);
    if (convention == Convention::W3C) convention = Convention::Default;
    return Parse(date, convention).FormatW3C();
}

bool CPdbPackedRecord::ParseW3CDateString(std::string& text, int& year, int& month, int& day, int& hour,
                                          int& minute, int& second)
{
    const std::string work = text.substr(0, 64);
    year = month = day = hour = minute = second = 0;
    std::size_t pos = 0;
    // The piece up to one of `delims` (or the end), as a decimal number.
    auto piece = [&](const char* delims) {
        if (pos >= work.size()) return 0;
        std::size_t end = work.find_first_of(delims, pos);
        if (end == std::string::npos) end = work.size();
        long long v = 0;
        for (std::size_t k = pos; k < end && work[k] >= '0' && work[k] <= '9'; ++k) {
            v = v * 10 + (work[k] - '0');
            if (v > 99999999) break; // no date component is that large
        }
        pos = end + 1;
        return int(v);
    };
    year = piece("-");
    month = piece("-");
    day = piece("T ");
    hour = piece(":");
    minute = piece(":");
    second = piece(" \n\t");
    return true;
}

COleDateTime CPdbPackedRecord::DWordToCOleDateTime(DWORD date)
{
    int y = 0, m = 0, d = 0;
    COleDateTime::CivilFromDays(EpochDays() + date / kSecondsPerDay, y, m, d);
    return COleDateTime(y, m, d, int((date / 3600) % 24), int((date / 60) % 60), int(date % 60));
}

double CPdbPackedRecord::DWordToOleDate(DWORD date)
{
    return DWordToCOleDateTime(date).GetOleDate();
}

std::string CPdbPackedRecord::DWordToW3CDateString(DWORD date)
{
    return DWordToCOleDateTime(date).FormatW3C();
}
