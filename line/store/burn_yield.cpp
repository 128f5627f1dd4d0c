#include "line/store/burn_yield.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>

#include "burn/untrusted_text.h"
#include "line/store/record_store.h"

namespace norvane::line {

namespace {

std::string GroupOf(const StoredBurn& burn, YieldBy by) {
    switch (by) {
        case YieldBy::Socket:
            return burn.station + " " + burn.socket;
        case YieldBy::Model:
            return burn.model;
        case YieldBy::Station:
            return burn.station;
        case YieldBy::Hour:
            return burn.time.substr(0, 13);
    }
    return "";
}

// The median of values given with how often each came.
double Median(std::vector<std::pair<std::int64_t, std::int64_t>>& counted) {
    std::sort(counted.begin(), counted.end());
    std::int64_t all = 0;
    for (const auto& [value, count] : counted) {
        all += count;
    }
    if (all == 0) {
        return 0;
    }
    // The values at places (all - 1) / 2 and all / 2 of the sorted whole.
    const auto at = [&counted](std::int64_t place) {
        for (const auto& [value, count] : counted) {
            if (place < count) {
                return static_cast<double>(value);
            }
            place -= count;
        }
        return 0.0;
    };
    return (at((all - 1) / 2) + at(all / 2)) / 2;
}

}  // namespace

bool YieldByOfWord(const std::string& word, YieldBy& by) {
    const std::pair<const char*, YieldBy> words[] = {{"socket", YieldBy::Socket},
                                                     {"model", YieldBy::Model},
                                                     {"station", YieldBy::Station},
                                                     {"hour", YieldBy::Hour}};
    for (const auto& [w, b] : words) {
        if (word == w) {
            by = b;
            return true;
        }
    }
    return false;
}

std::vector<BurnOutcome> OutcomesOf(const std::vector<StoredBurn>& burns, YieldBy by) {
    std::vector<BurnOutcome> outcomes;
    outcomes.reserve(burns.size());
    for (const StoredBurn& burn : burns) {
        outcomes.push_back({GroupOf(burn, by), burn.outcome, burn.seconds});
    }
    return outcomes;
}

std::vector<YieldRow> YieldOf(const std::vector<BurnOutcome>& outcomes) {
    std::map<std::string, std::pair<YieldRow, std::vector<std::pair<std::int64_t, std::int64_t>>>>
        groups;
    for (const BurnOutcome& burn : outcomes) {
        auto& [row, seconds] = groups[burn.group];
        if (burn.outcome == "success") {
            row.done += burn.count;
            seconds.emplace_back(burn.seconds, burn.count);
        } else if (burn.outcome == "set_aside") {
            row.setAside += burn.count;
        } else {
            row.failed += burn.count;
        }
    }
    std::vector<YieldRow> rows;
    rows.reserve(groups.size());
    for (auto& [group, entry] : groups) {
        YieldRow row = entry.first;
        row.group = group;
        const std::int64_t judged = row.done + row.failed;
        row.yieldPercent =
            judged == 0 ? 0 : 100.0 * static_cast<double>(row.done) / static_cast<double>(judged);
        row.medianSeconds = Median(entry.second);
        rows.push_back(std::move(row));
    }
    return rows;
}

bool EachBurnInRecordFile(const std::string& path, const std::function<bool(StoredBurn&)>& each,
                          std::vector<std::string>& skipped, std::string& error) {
    // A record may lie in a folder others write: never through a link, and a
    // regular file only (a FIFO would hold the reader up).
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "cannot read the record " + ForPerson(path) + ": " +
                (fd < 0 ? std::strerror(errno) : "not a regular file");
        if (fd >= 0) {
            close(fd);
        }
        return false;
    }
    // Read a piece at a time: a year's record is far larger than what it
    // takes to read it.
    std::string pending;
    std::size_t number = 0;
    bool going = true;
    const auto take = [&](std::string_view line) {
        ++number;
        if (line.find_first_not_of(" \t\r") == std::string_view::npos) {
            return;
        }
        std::string why;
        std::optional<StoredBurn> burn = StoredBurnOf(line, "", why);
        if (!burn) {
            skipped.push_back("line " + std::to_string(number) + ": " + why);
        } else {
            going = each(*burn);
        }
    };
    char chunk[1 << 16];
    ssize_t got = 0;
    while (going && (got = read(fd, chunk, sizeof chunk)) > 0) {
        pending.append(chunk, static_cast<std::size_t>(got));
        std::size_t at = 0;
        for (std::size_t end = 0; going && (end = pending.find('\n', at)) != std::string::npos;
             at = end + 1) {
            take(std::string_view(pending).substr(at, end - at));
        }
        pending.erase(0, at);
    }
    close(fd);
    if (going && !pending.empty()) {
        take(pending);  // a last line without its end
    }
    return going;
}

bool BurnsInRecordFile(const std::string& path, const BurnFilter& filter,
                       std::vector<StoredBurn>& burns, std::vector<std::string>& skipped,
                       std::string& error) {
    return EachBurnInRecordFile(
        path,
        [&](StoredBurn& burn) {
            if (burn.time >= filter.since &&
                (filter.usbSerial.empty() || burn.usbSerial == filter.usbSerial) &&
                (filter.station.empty() || burn.station == filter.station)) {
                burn.line.clear();  // a listing needs the facts only
                burns.push_back(std::move(burn));
            }
            return true;
        },
        skipped, error);
}

}  // namespace norvane::line
