#include "ui/cli/burn_report.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "burn/untrusted_text.h"
#include "line/burn_record.h"

namespace norvane::cli {

namespace {

using line::StoredBurn;

const char* const kHistoryColumns[] = {
    "time",    "station", "socket",   "usb_serial",      "model",   "image",   "sha256",
    "outcome", "seconds", "verified", "failed_attempts", "attempt", "message", "burn_id"};

std::vector<std::string> HistoryFields(const StoredBurn& b) {
    return {b.time,
            b.station,
            b.socket,
            b.usbSerial,
            b.model,
            b.image,
            b.sha256,
            b.outcome,
            std::to_string(b.seconds),
            b.verified ? "true" : "false",
            std::to_string(b.failedAttempts),
            std::to_string(b.attempt),
            b.message,
            b.burnId};
}

std::string CsvLine(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        line += (i == 0 ? "" : ",") + CsvField(fields[i]);
    }
    return line + "\r\n";
}

// Columns as wide as their widest text, two spaces apart; texts from devices
// escaped.
std::string Aligned(const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths;
    std::vector<std::vector<std::string>> shown;
    for (const auto& row : rows) {
        shown.emplace_back();
        for (std::size_t c = 0; c < row.size(); ++c) {
            shown.back().push_back(ForPerson(row[c]));
            widths.resize(std::max(widths.size(), c + 1));
            widths[c] = std::max(widths[c], shown.back().back().size());
        }
    }
    std::string text;
    for (const auto& row : shown) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            line += row[c] +
                    (c + 1 < row.size() ? std::string(widths[c] - row[c].size() + 2, ' ') : "");
        }
        text += line + "\n";
    }
    return text;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

}  // namespace

std::string CsvField(const std::string& text) {
    std::string field = !text.empty() && std::string("=+-@").find(text[0]) != std::string::npos &&
                                !(text[0] == '-' && text.size() > 1 &&
                                  std::isdigit(static_cast<unsigned char>(text[1])))
                            ? "'" + text
                            : text;
    if (field.find_first_of(",\"\r\n") == std::string::npos) {
        return field;
    }
    std::string quoted = "\"";
    for (const char c : field) {
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return quoted + "\"";
}

std::string HistoryReport(const std::vector<StoredBurn>& burns, ReportForm form) {
    std::string text;
    switch (form) {
        case ReportForm::Json:
            for (const StoredBurn& b : burns) {
                nlohmann::json line;
                const std::vector<std::string> fields = HistoryFields(b);
                for (std::size_t c = 0; c < fields.size(); ++c) {
                    line[kHistoryColumns[c]] = fields[c];
                }
                line["seconds"] = b.seconds;
                line["verified"] = b.verified;
                line["failed_attempts"] = b.failedAttempts;
                line["attempt"] = b.attempt;
                line["erase_begun"] = b.eraseBegun;
                text += line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
            }
            return text;
        case ReportForm::Csv:
            text = CsvLine({std::begin(kHistoryColumns), std::end(kHistoryColumns)});
            for (const StoredBurn& b : burns) {
                text += CsvLine(HistoryFields(b));
            }
            return text;
        case ReportForm::Person:
            break;
    }
    std::vector<std::vector<std::string>> rows{
        {"time", "station", "socket", "serial", "model", "outcome", "seconds", "image"}};
    for (const StoredBurn& b : burns) {
        rows.push_back({b.time, b.station, b.socket, b.usbSerial.empty() ? "-" : b.usbSerial,
                        b.model, b.outcome, std::to_string(b.seconds),
                        b.image.empty() ? "-" : b.image});
    }
    return Aligned(rows) + std::to_string(burns.size()) +
           (burns.size() == 1 ? " burn\n" : " burns\n");
}

std::string YieldReport(const std::vector<line::YieldRow>& rows, line::YieldBy by,
                        ReportForm form) {
    const char* group = by == line::YieldBy::Socket    ? "socket"
                        : by == line::YieldBy::Model   ? "model"
                        : by == line::YieldBy::Station ? "station"
                                                       : "hour";
    const auto fields = [](const line::YieldRow& r) {
        return std::vector<std::string>{r.group,
                                        std::to_string(r.done),
                                        std::to_string(r.failed),
                                        std::to_string(r.setAside),
                                        Number(r.yieldPercent),
                                        Number(r.medianSeconds)};
    };
    std::string text;
    switch (form) {
        case ReportForm::Json:
            for (const line::YieldRow& r : rows) {
                const nlohmann::json line = {{group, r.group},
                                             {"done", r.done},
                                             {"failed", r.failed},
                                             {"set_aside", r.setAside},
                                             {"yield_percent", r.yieldPercent},
                                             {"median_seconds", r.medianSeconds}};
                text += line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
            }
            return text;
        case ReportForm::Csv:
            text =
                CsvLine({group, "done", "failed", "set_aside", "yield_percent", "median_seconds"});
            for (const line::YieldRow& r : rows) {
                text += CsvLine(fields(r));
            }
            return text;
        case ReportForm::Person:
            break;
    }
    std::vector<std::vector<std::string>> table{
        {group, "done", "failed", "set aside", "yield %", "median s"}};
    for (const line::YieldRow& r : rows) {
        table.push_back(fields(r));
    }
    return Aligned(table);
}

bool SinceTime(const std::string& text, std::time_t now, std::string& since) {
    if (const std::optional<std::int64_t> at = line::ParseRfc3339(text)) {
        since = line::UtcTime(static_cast<std::time_t>(*at));
        return true;
    }
    if (text.size() < 2 || text.size() > 7 ||
        !std::all_of(text.begin(), text.end() - 1, [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    const std::int64_t count = std::stoll(text.substr(0, text.size() - 1));
    const char unit = text.back();
    const std::int64_t seconds = unit == 'd' ? 86400 : unit == 'h' ? 3600 : unit == 'm' ? 60 : 0;
    if (seconds == 0) {
        return false;
    }
    since = line::UtcTime(now - static_cast<std::time_t>(count * seconds));
    return true;
}

}  // namespace norvane::cli
