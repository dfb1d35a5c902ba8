// HMAC-SHA256 (RFC 2104, FIPS 180-4), for the token that proves a
// recipient's address in a header.
#pragma once

#include <string>

// The 32 bytes of HMAC-SHA256(key, message).
std::string HmacSha256(const std::string& key, const std::string& message);

// URL-safe Base64 (RFC 4648 section 5) without padding.
std::string Base64Url(const std::string& bytes);
