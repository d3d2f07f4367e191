#include "quillio/KesaError.h"

#include <utility>

CKesaError::CKesaError(int number, std::string argument) : m_Number(number), m_Argument(std::move(argument)) {}

CKesaError::~CKesaError() = default;

void CKesaError::Throw(int number, std::string argument)
{
    throw CKesaError(number, std::move(argument));
}
