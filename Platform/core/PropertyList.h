// Property-list files: XML and binary in, XML (or binary, for tests and
// export) out.
#pragma once

#include "Value.h"

#include <optional>
#include <string>
#include <string_view>

namespace zed {

// Parses an XML or binary property list. Empty with a reason in `error` when
// the bytes are not a property list we can read.
std::optional<Value> parsePropertyList(std::string_view bytes, std::string* error = nullptr);

std::string toXmlPropertyList(const Value& v);
std::string toBinaryPropertyList(const Value& v);

} // namespace zed
