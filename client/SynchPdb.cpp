#include "client/SynchPdb.h"

CSynchPdb::CSynchPdb() = default;
CSynchPdb::~CSynchPdb() = default;

void CSynchPdb::SetError(std::string message)
{
    m_HasError = true;
    m_ErrorMessage = std::move(message);
}
