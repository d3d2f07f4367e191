#include "quillio/RecordBytes.h"

#include <cstring>
#include <utility>

CRecordBytes::CRecordBytes(CRecordBytes&& other) noexcept
    : m_Own(std::move(other.m_Own))
{
    // A range stays with the set that holds its buffer: the new owner may
    // outlive it.
    if (other.m_View) m_Own.assign(other.m_View, other.m_View + other.m_ViewSize);
    other.m_View = nullptr;
    other.m_ViewSize = 0;
}

CRecordBytes& CRecordBytes::operator=(const CRecordBytes& other)
{
    if (this != &other) assign(other.begin(), other.end());
    return *this;
}

CRecordBytes& CRecordBytes::operator=(CRecordBytes&& other) noexcept
{
    if (this == &other) return *this;
    Taking();
    if (other.m_View) {
        assign(other.begin(), other.end());
    } else {
        m_View = nullptr;
        m_ViewSize = 0;
        m_Own = std::move(other.m_Own);
    }
    other.m_View = nullptr;
    other.m_ViewSize = 0;
    other.m_Own.clear();
    return *this;
}

void CRecordBytes::clear()
{
    m_View = nullptr;
    m_ViewSize = 0;
    m_Own.clear();
}

std::vector<BYTE>& CRecordBytes::Own()
{
    Taking();
    if (m_View) {
        m_Own.assign(m_View, m_View + m_ViewSize);
        m_View = nullptr;
        m_ViewSize = 0;
    }
    return m_Own;
}

void CRecordBytes::resize(std::size_t n)
{
    Own().resize(n);
}

void CRecordBytes::assign(const BYTE* first, const BYTE* last)
{
    Taking();
    // The source may be these very bytes.
    std::vector<BYTE> bytes(first, last);
    m_View = nullptr;
    m_ViewSize = 0;
    m_Own = std::move(bytes);
}

bool CRecordBytes::Equal(const CRecordBytes& a, const BYTE* b, std::size_t size)
{
    return a.size() == size && (size == 0 || std::memcmp(a.data(), b, size) == 0);
}
