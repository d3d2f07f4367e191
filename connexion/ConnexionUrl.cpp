#include "connexion/ConnexionUrl.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

} // namespace

std::string UrlFromCommandLine(std::string_view commandLine)
{
    std::size_t i = 0;
    while (i < commandLine.size() && !IsBlank(commandLine[i])) ++i;
    while (i < commandLine.size() && IsBlank(commandLine[i])) ++i;
    return std::string(commandLine.substr(i));
}

std::string CommandLineOf(int argc, const char* const* argv)
{
    std::string line = "NvConnexion";
    for (int i = 1; i < argc; ++i) {
        line += ' ';
        line += argv[i];
    }
    return line;
}

std::string ProbeUrlOf(std::string_view serverUrl)
{
    if (serverUrl.empty()) serverUrl = kDefaultServerUrl;
    const std::size_t slash = serverUrl.rfind('/');
    const std::string_view base = slash == std::string_view::npos ? std::string_view() : serverUrl.substr(0, slash);
    return std::string(base) + "/test.bin";
}
