// Checks an HTTP Digest answer (RFC 7616, MD5, qop=auth) the way a server
// does, so that a test knows the credentials were really answered.
#pragma once
#include <openssl/evp.h>

#include <map>
#include <string>

inline std::string Md5Hex(const std::string& text)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(text.data(), text.size(), digest, &size, EVP_md5(), nullptr);
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (unsigned i = 0; i < size; ++i) {
        out += hex[digest[i] >> 4];
        out += hex[digest[i] & 15];
    }
    return out;
}

// The challenge a test server sends.
inline const char* kDigestChallenge = "Digest realm=\"kesa\", nonce=\"n0nce42\", qop=\"auth\", algorithm=MD5";

// True when `header` ("Digest username=..., response=...") answers that challenge for `method`.
inline bool DigestAnswers(const std::string& header, const std::string& method, const std::string& user,
                          const std::string& password)
{
    if (header.rfind("Digest ", 0) != 0) return false;
    std::map<std::string, std::string> f;
    size_t i = 7;
    while (i < header.size()) {
        while (i < header.size() && (header[i] == ' ' || header[i] == ',')) ++i;
        const size_t eq = header.find('=', i);
        if (eq == std::string::npos) break;
        const std::string name = header.substr(i, eq - i);
        std::string value;
        i = eq + 1;
        if (i < header.size() && header[i] == '"') {
            const size_t close = header.find('"', i + 1);
            if (close == std::string::npos) return false;
            value = header.substr(i + 1, close - i - 1);
            i = close + 1;
        } else {
            const size_t comma = header.find(',', i);
            value = header.substr(i, comma == std::string::npos ? std::string::npos : comma - i);
            i = comma == std::string::npos ? header.size() : comma;
        }
        f[name] = value;
    }
    if (f["username"] != user || f["realm"] != "kesa" || f["nonce"] != "n0nce42") return false;
    const std::string ha1 = Md5Hex(user + ":kesa:" + password);
    const std::string ha2 = Md5Hex(method + ":" + f["uri"]);
    return f["response"] == Md5Hex(ha1 + ":n0nce42:" + f["nc"] + ":" + f["cnonce"] + ":" + f["qop"] + ":" + ha2);
}
