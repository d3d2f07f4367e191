// One named argument of a request or an answer: a text value, or a file
// (its name in the value, its bytes in the data).
#pragma once
#include <cstdint>
#include <string>

#include "client/BinData.h"

class NORV_EXPORT CKesaHttpArg : public CBinData {
public:
    CKesaHttpArg();
    CKesaHttpArg(std::string name, std::string value);
    ~CKesaHttpArg() override;

    std::string GetName() const { return m_Name; }
    void SetName(std::string name) { m_Name = std::move(name); }
    std::string GetValue() const { return m_Value; }
    void SetValue(std::string value) { m_Value = std::move(value); }
    // The same texts without a copy, valid while the argument lives unchanged.
    const std::string& Name() const { return m_Name; }
    const std::string& Value() const { return m_Value; }

    bool IsFile() const { return m_Length != 0; }
    // Bytes this argument takes in a request body.
    DWORD Size() const;
    // Writes the argument at buffer + offset; returns the offset behind it.
    // Raises 2002 when it does not fit in capacity.
    DWORD CopyToBuffer(BYTE* buffer, DWORD offset, DWORD capacity) const;
    // Size() without the 32-bit wrap: a file of nearly 4 GiB plus its head.
    std::uint64_t WideSize() const;

private:
    std::string m_Name;
    std::string m_Value;
};
