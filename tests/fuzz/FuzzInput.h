// Splitting one fuzz input into the pieces a target needs.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : m_Data(data), m_Size(size) {}

    // The bytes up to the next 0xFF separator (or the end).
    std::string Piece()
    {
        std::string out;
        while (m_Pos < m_Size && m_Data[m_Pos] != 0xFF) out.push_back(char(m_Data[m_Pos++]));
        if (m_Pos < m_Size) ++m_Pos;
        return out;
    }
    uint8_t Byte() { return m_Pos < m_Size ? m_Data[m_Pos++] : 0; }
    std::vector<uint8_t> Rest() { std::vector<uint8_t> r(m_Data + m_Pos, m_Data + m_Size); m_Pos = m_Size; return r; }
    bool Empty() const { return m_Pos >= m_Size; }

private:
    const uint8_t* m_Data;
    size_t m_Size;
    size_t m_Pos = 0;
};
