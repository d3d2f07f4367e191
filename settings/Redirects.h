// Redirects are followed as the Windows internet library follows them: at
// most five in a row, never from one scheme to the other (http to https or
// back), a POST turned into a GET on 301, 302 and 303 and kept on 307 and 308.
#pragma once
#include <curl/curl.h>

#include <string>

constexpr long kMaxRedirects = 5;

// The only scheme a redirect of `url` may lead to: its own.
inline const char* RedirectScheme(const std::string& url)
{
    return url.size() >= 6 && (url.compare(0, 6, "https:") == 0 || url.compare(0, 6, "HTTPS:") == 0) ? "https"
                                                                                                       : "http";
}

inline bool IsRedirect(long status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Sets the handle up to follow the redirects of a request to `url`.
inline void FollowRedirects(CURL* h, const std::string& url)
{
    (void)curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    (void)curl_easy_setopt(h, CURLOPT_MAXREDIRS, kMaxRedirects);
    (void)curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, RedirectScheme(url));
}
