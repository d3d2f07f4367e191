// A calendar date and time of day, with its OLE Automation value (days since
// 1899-12-30 00:00, the time of day as the fraction). No time zone.
#pragma once
#include <string>

#include "seam/Export.h"

class NORV_EXPORT COleDateTime {
public:
    COleDateTime() = default;
    COleDateTime(int year, int month, int day, int hour, int minute, int second);

    // False for a date or time that does not exist (month 13, 31 April, 24:00...).
    bool IsValid() const { return m_Valid; }
    int GetYear() const { return m_Year; }
    int GetMonth() const { return m_Month; }
    int GetDay() const { return m_Day; }
    int GetHour() const { return m_Hour; }
    int GetMinute() const { return m_Minute; }
    int GetSecond() const { return m_Second; }
    // Days since 1970-01-01 of the date part (negative before).
    long long DaysSinceUnixEpoch() const;
    // Seconds since 1970-01-01 00:00:00, as wall-clock time.
    long long SecondsSinceUnixEpoch() const;
    // The OLE Automation date; 0.0 for an invalid value.
    double GetOleDate() const;
    // "%Y-%m-%dT%H:%M:%S"; empty for an invalid value.
    std::string FormatW3C() const;

    // Civil date from a count of days since 1970-01-01, and back.
    static long long DaysFromCivil(int year, int month, int day);
    static void CivilFromDays(long long days, int& year, int& month, int& day);
    static int DaysInMonth(int year, int month);

private:
    int m_Year = 0;
    int m_Month = 0;
    int m_Day = 0;
    int m_Hour = 0;
    int m_Minute = 0;
    int m_Second = 0;
    bool m_Valid = false;
};
