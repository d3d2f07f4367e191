#include "settings/HttpAuth.h"

#include "lexmo/Lexmo.h"

std::string CredentialsPrompt(bool byProxy, const std::string& address)
{
    const std::string text = KESA_FormatMessage(byProxy ? 2091 : 2090, address);
    return text.empty() ? address : text;
}
