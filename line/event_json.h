// The one place where an event becomes a JSON line and a JSON line an event:
// where a burn's line leaves its process (--json) and where it reaches its
// parent. docs/json-events.schema.json describes every line written here.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "line/burn_event.h"

namespace norvane::line {

// One line, without its newline.
std::string EventLine(const BurnEvent& event);

// The event a line holds; nothing when it is no event of this program's (with
// `why` said: not JSON, an unknown kind, a field missing or of another type).
std::optional<BurnEvent> ReadEventLine(std::string_view line, std::string* why = nullptr);

}  // namespace norvane::line
