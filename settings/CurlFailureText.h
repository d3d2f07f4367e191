// A failed libcurl transfer told in the catalog's language, for the failures a
// person meets (a name not found, a connection refused, a time-out, a
// certificate); libcurl's own text for the others.
#pragma once
#include <string>

typedef void CURL;

// `code`: the CURLcode; `host`: the server (or proxy) the transfer went to;
// `curlText`: libcurl's error buffer, or its text for the code.
std::string CurlFailureText(int code, const std::string& host, const std::string& curlText);

// The address the transfer last went to (the proxy's when one is in the way),
// else `server:port` (`server` alone when the port is 0).
std::string PeerName(CURL* handle, const std::string& server, long port);
