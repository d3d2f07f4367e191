#include "records/OleDateTime.h"

#include <cstdio>

COleDateTime::COleDateTime(int year, int month, int day, int hour, int minute, int second)
    : m_Year(year), m_Month(month), m_Day(day), m_Hour(hour), m_Minute(minute), m_Second(second)
{
    m_Valid = year >= 100 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
              day <= DaysInMonth(year, month) && hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 &&
              second >= 0 && second <= 59;
}

int COleDateTime::DaysInMonth(int year, int month)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return (month == 2 && leap) ? 29 : kDays[month - 1];
}

// Proleptic Gregorian calendar, counted in 400-year eras.
long long COleDateTime::DaysFromCivil(int year, int month, int day)
{
    long long y = year - (month <= 2 ? 1 : 0);
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long mp = (month + 9) % 12;
    const long long doy = (153 * mp + 2) / 5 + day - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void COleDateTime::CivilFromDays(long long days, int& year, int& month, int& day)
{
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long doe = days - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    day = int(doy - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = int(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

long long COleDateTime::DaysSinceUnixEpoch() const
{
    return DaysFromCivil(m_Year, m_Month, m_Day);
}

long long COleDateTime::SecondsSinceUnixEpoch() const
{
    return DaysSinceUnixEpoch() * 86400 + m_Hour * 3600 + m_Minute * 60 + m_Second;
}

double COleDateTime::GetOleDate() const
{
    if (!m_Valid) return 0.0;
    const long long days = DaysSinceUnixEpoch() - DaysFromCivil(1899, 12, 30);
    const double fraction = double(m_Hour * 3600 + m_Minute * 60 + m_Second) / 86400.0;
    // Before the OLE epoch the day count is negative and the time still adds.
    return days >= 0 ? double(days) + fraction : double(days) - fraction;
}

std::string COleDateTime::FormatW3C() const
{
    if (!m_Valid) return {};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", m_Year, m_Month, m_Day, m_Hour, m_Minute,
                  m_Second);
    return text;
}
