// libcurl's failures as a person reads them, in the catalog's language.
#include "settings/CurlFailureText.h"

#include <curl/curl.h>

#include "lexmo/TextOr.h"

std::string CurlFailureText(int code, const std::string& host, const std::string& curlText)
{
    using lexmo::TextOr;
    switch (static_cast<CURLcode>(code)) {
    case CURLE_COULDNT_RESOLVE_HOST: return TextOr(4660, "the address of %s cannot be found", host);
    case CURLE_COULDNT_RESOLVE_PROXY: return TextOr(4661, "the address of the proxy %s cannot be found", host);
    case CURLE_COULDNT_CONNECT: return TextOr(4662, "%s refuses the connection or cannot be reached", host);
    case CURLE_OPERATION_TIMEDOUT: return TextOr(4663, "%s did not answer in time", host);
    case CURLE_PEER_FAILED_VERIFICATION: return TextOr(4664, "the certificate of %s cannot be verified", host);
    case CURLE_SSL_CONNECT_ERROR: return TextOr(4665, "the secure connection with %s failed", host);
    case CURLE_GOT_NOTHING: return TextOr(4666, "%s closed the connection without answering", host);
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR: return TextOr(4667, "the connection with %s was broken", host);
    default: return curlText;
    }
}

std::string PeerName(CURL* handle, const std::string& server, long port)
{
    char* ip = nullptr;
    long peerPort = 0;
    if (curl_easy_getinfo(handle, CURLINFO_PRIMARY_IP, &ip) == CURLE_OK && ip && *ip &&
        curl_easy_getinfo(handle, CURLINFO_PRIMARY_PORT, &peerPort) == CURLE_OK && peerPort > 0)
        return std::string(ip) + ":" + std::to_string(peerPort);
    return port > 0 ? server + ":" + std::to_string(port) : server;
}
