// The burns and the yield a record holds, written for a person (aligned
// columns), a script (JSON lines) or a spreadsheet and a factory's MES (CSV,
// RFC 4180, with a header row).
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "line/store/burn_yield.h"
#include "line/store/stored_burn.h"

namespace norvane::cli {

enum class ReportForm : std::uint8_t { Person, Json, Csv };

std::string HistoryReport(const std::vector<line::StoredBurn>& burns, ReportForm form);
std::string YieldReport(const std::vector<line::YieldRow>& rows, line::YieldBy by, ReportForm form);

// One CSV field: quoted where it holds a comma, a quote or a line break, its
// quotes doubled; a text that a spreadsheet would take for a formula (it
// begins with = + - @) is kept as text by a leading apostrophe.
std::string CsvField(const std::string& text);

// --since: an RFC 3339 time, or how long before `now` ("24h", "7d", "30m"), as
// the record writes times ("2026-12-07T18:35:34Z"); false for neither.
bool SinceTime(const std::string& text, std::time_t now, std::string& since);

}  // namespace norvane::cli
