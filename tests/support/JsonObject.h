// Whether a text is exactly one JSON object (RFC 8259), for the report's
// lines: a reader that meets anything else stops there.
#pragma once

#include <string>

namespace stb::testing {

bool IsJsonObject(const std::string& text);

}  // namespace stb::testing
