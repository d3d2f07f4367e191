// The password cypher of the settings program. A stored service password is
// NvCypher(password, "k&v" + login); the service compares that form, so the
// same text and key always give the same output.
#pragma once
#include <string>

#include "seam/Export.h"

// Printable output: two upper-case hexadecimal digits per byte of `text`, so
// an empty text gives an empty result. The result is the caller's copy.
NORV_EXPORT std::string NvCypher(const std::string& text, const std::string& key);
// The inverse, for the service side; empty when `cyphered` is not a whole
// number of hexadecimal pairs.
NORV_EXPORT std::string NvDecypher(const std::string& cyphered, const std::string& key);
