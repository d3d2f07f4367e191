// Authentication helpers shared by the client and the probe.
#pragma once
#include <string>

// The proxy that libcurl's defaults pick for `url` from the environment
// (http_proxy, https_proxy, all_proxy, no_proxy), as "host:port"; empty when
// the URL is reached directly. Serves to name the proxy that asks for
// credentials.
std::string ProxyFor(const std::string& url);

// Of the schemes a challenge offered (libcurl's CURLAUTH_* bits), the one to
// answer with, so that the next send carries the credentials at once: Digest
// before Basic; anything else is left to libcurl's choice among `offered`.
// Nothing offered: any scheme.
unsigned long PickAuth(unsigned long offered);

// What a credentials question says: who asks (the service or the proxy) and
// its address, in the message library's language; the bare address when no
// messages are loaded.
std::string CredentialsPrompt(bool byProxy, const std::string& address);
