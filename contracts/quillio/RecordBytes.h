// A record's bytes: either a range of the buffer its database was read into
// (no copy per record), or a vector of its own. Reads look like a vector's.
// Writing a byte in place changes only this record's range: no other record
// and no copy of this one share it (a copy or a move of a range takes its
// own bytes). Anything that changes the size, or asks for the vector itself,
// first gives the record bytes of its own.
#pragma once
#include <cstddef>
#include <vector>

#include "seam/Export.h"
#include "seam/Types.h"

class CPdbFile;

class NORV_EXPORT CRecordBytes {
public:
    using value_type = BYTE;
    using iterator = BYTE*;
    using const_iterator = const BYTE*;

    CRecordBytes() = default;
    CRecordBytes(const CRecordBytes& other) : m_Own(other.begin(), other.end()) {}
    CRecordBytes(CRecordBytes&& other) noexcept;
    CRecordBytes& operator=(const CRecordBytes& other);
    CRecordBytes& operator=(CRecordBytes&& other) noexcept;
    CRecordBytes(std::vector<BYTE> bytes) : m_Own(std::move(bytes)) {}

    std::size_t size() const { return m_View ? m_ViewSize : m_Own.size(); }
    bool empty() const { return size() == 0; }
    BYTE* data() { return m_View ? m_View : m_Own.data(); }
    const BYTE* data() const { return m_View ? m_View : m_Own.data(); }
    BYTE* begin() { return data(); }
    BYTE* end() { return data() + size(); }
    const BYTE* begin() const { return data(); }
    const BYTE* end() const { return data() + size(); }
    BYTE& operator[](std::size_t i) { return data()[i]; }
    const BYTE& operator[](std::size_t i) const { return data()[i]; }

    void clear();
    void resize(std::size_t n);
    void assign(const BYTE* first, const BYTE* last);
    // The bytes as a vector of their own (copied once if they were a range).
    std::vector<BYTE>& Own();
    operator std::vector<BYTE>&() { return Own(); }
    // True while the bytes are a range of a database's buffer.
    bool IsView() const { return m_View != nullptr; }
    // False when there is nothing of its own to free.
    bool HoldsMemory() const { return m_Own.capacity() != 0; }

    friend bool operator==(const CRecordBytes& a, const CRecordBytes& b) { return Equal(a, b.data(), b.size()); }
    friend bool operator==(const CRecordBytes& a, const std::vector<BYTE>& b) { return Equal(a, b.data(), b.size()); }

private:
    friend class CPdbFile;
    // A range of a buffer that outlives this record (the record set's);
    // `taken` counts the records of its block that took bytes of their own.
    void SetView(BYTE* data, std::size_t size, std::size_t* taken)
    {
        m_Own.clear();
        m_View = size ? data : nullptr;
        m_ViewSize = size;
        m_Taken = taken;
    }
    // Before anything that may give this record bytes of its own: its
    // block must then look at it when it goes.
    void Taking()
    {
        if (m_Taken) {
            ++*m_Taken;
            m_Taken = nullptr;
        }
    }
    static bool Equal(const CRecordBytes& a, const BYTE* b, std::size_t size);

    BYTE* m_View = nullptr;
    std::size_t m_ViewSize = 0;
    std::vector<BYTE> m_Own;
    std::size_t* m_Taken = nullptr;
};
