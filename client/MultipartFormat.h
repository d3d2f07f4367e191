// Fixed pieces of the multipart layout shared by the request writer and the
// answer parser (internal to the library).
#pragma once
#include <string_view>

namespace ferrylink {

// 29 hyphens and the fixed tag: 40 bytes.
inline constexpr std::string_view kBoundary = "-----------------------------7d02e419b08";
inline constexpr std::string_view kCrLf = "\r\n";
inline constexpr std::string_view kDispositionHead = "Content-Disposition: form-data; name=\"";
inline constexpr std::string_view kTextHeadEnd = "\"\r\n\r\n";
inline constexpr std::string_view kFileNameHead = "\"; filename=\"";
inline constexpr std::string_view kFileHeadEnd = "\"\r\nContent-Type: application/octet-stream\r\n\r\n";
inline constexpr std::string_view kClosing = "-----------------------------7d02e419b08--\r\n";

inline constexpr std::string_view kNameMarker = "; name=\"";
inline constexpr std::string_view kFileNameMarker = "; filename=\"";
inline constexpr std::string_view kBlankLine = "\r\n\r\n";

static_assert(kBoundary.size() == 40);
static_assert(kBoundary.size() + kCrLf.size() + kDispositionHead.size() + kTextHeadEnd.size() + kCrLf.size() == 87);
static_assert(kBoundary.size() + kCrLf.size() + kDispositionHead.size() + kFileNameHead.size() +
                  kFileHeadEnd.size() + kCrLf.size() ==
              140);
static_assert(kClosing.size() == 44);

} // namespace ferrylink
