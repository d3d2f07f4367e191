#include "settings/HttpAuth.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>

namespace {

struct UrlDeleter {
    void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
struct TextDeleter {
    void operator()(char* p) const { curl_free(p); }
};

std::string Env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

std::string Part(CURLU* u, CURLUPart part, unsigned flags)
{
    char* raw = nullptr;
    if (curl_url_get(u, part, &raw, flags) != CURLUE_OK) return {};
    std::unique_ptr<char, TextDeleter> text(raw);
    return text ? text.get() : "";
}

// no_proxy: "*", or names and domains separated by commas or blanks.
bool Bypassed(const std::string& host)
{
    std::string list = Env("no_proxy");
    if (list.empty()) list = Env("NO_PROXY");
    const std::string h = Lower(host);
    size_t i = 0;
    while (i < list.size()) {
        const size_t end = list.find_first_of(", \t", i);
        std::string entry = Lower(list.substr(i, end == std::string::npos ? std::string::npos : end - i));
        i = end == std::string::npos ? list.size() : end + 1;
        if (entry.empty()) continue;
        if (entry == "*") return true;
        if (entry[0] == '.') entry.erase(0, 1);
        if (h == entry) return true;
        if (h.size() > entry.size() && h.compare(h.size() - entry.size(), entry.size(), entry) == 0 &&
            h[h.size() - entry.size() - 1] == '.')
            return true;
    }
    return false;
}

} // namespace

std::string ProxyFor(const std::string& url)
{
    std::unique_ptr<CURLU, UrlDeleter> u(curl_url());
    if (!u || curl_url_set(u.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return {};
    const std::string scheme = Lower(Part(u.get(), CURLUPART_SCHEME, 0));
    const std::string host = Part(u.get(), CURLUPART_HOST, 0);
    if (host.empty() || Bypassed(host)) return {};

    // As libcurl: only the lower-case name for http, both cases otherwise.
    std::string proxy = Env((scheme + "_proxy").c_str());
    if (proxy.empty() && scheme != "http") {
        std::string upper = scheme + "_PROXY";
        std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return char(std::toupper(c)); });
        proxy = Env(upper.c_str());
    }
    if (proxy.empty()) proxy = Env("all_proxy");
    if (proxy.empty()) proxy = Env("ALL_PROXY");
    if (proxy.empty()) return {};

    std::unique_ptr<CURLU, UrlDeleter> p(curl_url());
    if (!p || curl_url_set(p.get(), CURLUPART_URL, proxy.c_str(), CURLU_GUESS_SCHEME) != CURLUE_OK) return proxy;
    const std::string proxyHost = Part(p.get(), CURLUPART_HOST, 0);
    std::string port = Part(p.get(), CURLUPART_PORT, 0);
    if (port.empty()) port = Lower(Part(p.get(), CURLUPART_SCHEME, 0)) == "https" ? "443" : "1080";
    return proxyHost + ":" + port;
}

unsigned long PickAuth(unsigned long offered)
{
    if (offered & CURLAUTH_DIGEST) return CURLAUTH_DIGEST;
    if (offered & CURLAUTH_BASIC) return CURLAUTH_BASIC;
    return offered ? offered : CURLAUTH_ANY;
}
