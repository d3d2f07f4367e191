// Multipart pieces as the service writes them, for building answers in tests.
#pragma once
#include <string>

namespace multipart {

inline const std::string B = "-----------------------------7d02e419b08";

inline std::string TextPart(const std::string& name, const std::string& value)
{
    return B + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
}

inline std::string FilePart(const std::string& name, const std::string& file, const std::string& data)
{
    return B + "\r\nContent-Disposition: form-data; name=\"" + name + "\"; filename=\"" + file +
           "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + data + "\r\n";
}

inline std::string Closing() { return B + "--\r\n"; }

} // namespace multipart
