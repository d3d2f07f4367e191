// The system's exception: a message number and the already formatted text.
#pragma once
#include <exception>
#include <string>

#include "seam/Export.h"

class NORV_EXPORT CKesaError : public std::exception {
public:
    explicit CKesaError(int number = 0, std::string argument = {});
    ~CKesaError() override;

    [[noreturn]] static void Throw(int number, std::string argument);

    int Number() const noexcept { return m_Number; }
    const std::string& Argument() const noexcept { return m_Argument; }
    const char* what() const noexcept override { return m_Argument.c_str(); }

private:
    int m_Number;
    std::string m_Argument;
};
