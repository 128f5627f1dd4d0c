// norvane-soak: whole burns against the simulated PLC with random, seeded fault plans,
// across every model (and so every block size, erase rule and link kind). Prints what
// came of them and the two figures that must stay zero: successes whose flash differs
// from the image, and burns that crashed, hung or did not end with exactly one final
// message. The seed of every such burn is printed; --replay SEED runs it again and
// shows what happened.
//
// Usage: norvane-soak [--burns N] [--seed FIRST] [--limit SECONDS]
//        norvane-soak --replay SEED
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "burn/catalogue.h"
#include "isolated_burn.h"
#include "soak_burn.h"
#include "soak_plan.h"

namespace {

using namespace norvane;
using namespace norvane::soak;

struct Options {
    std::uint32_t burns = 1000;
    std::uint32_t firstSeed = 1;
    int limitSeconds = 60;
    bool replay = false;
};

bool Parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--burns") == 0 && hasValue) {
            options.burns = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else if (std::strcmp(argv[i], "--seed") == 0 && hasValue) {
            options.firstSeed = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else if (std::strcmp(argv[i], "--replay") == 0 && hasValue) {
            options.firstSeed = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
            options.replay = true;
        } else if (std::strcmp(argv[i], "--limit") == 0 && hasValue) {
            options.limitSeconds = std::atoi(argv[++i]);
        } else {
            return false;
        }
    }
    return options.limitSeconds > 0;
}

const char* EraseRuleName(EraseCountRule rule) {
    switch (rule) {
        case EraseCountRule::LargeUnit:
            return "erase rule: 128 KiB units";
        case EraseCountRule::PvUnit:
            return "erase rule: 16 KiB units";
        case EraseCountRule::Sector:
            return "erase rule: 4 KiB sectors";
        case EraseCountRule::AioUnit:
            return "erase rule: 2 KiB units, rounded up";
        case EraseCountRule::FixedFour:
            return "erase rule: four units";
        case EraseCountRule::SmallUnit:
            return "erase rule: 2 KiB units";
    }
    return "?";
}

// A burn that ended as a burn must: one final message, last, matching the outcome,
// and the link closed.
bool EndedSoundly(const BurnReport& r) {
    return r.finalMessages == 1 && r.lastIsFinal && r.success == r.successMessage && r.linkClosed;
}

struct Tally {
    std::uint32_t burns = 0;
    std::uint32_t successes = 0;
};

// Burns and successes by what they covered, in the order the rows are shown.
class Coverage {
  public:
    Coverage() {
        for (const char* row : {"256-byte blocks", "128-byte blocks", "USB link", "serial link"}) {
            rows_.push_back({row, {}});
        }
        for (EraseCountRule rule :
             {EraseCountRule::LargeUnit, EraseCountRule::PvUnit, EraseCountRule::Sector,
              EraseCountRule::AioUnit, EraseCountRule::FixedFour, EraseCountRule::SmallUnit}) {
            rows_.push_back({EraseRuleName(rule), {}});
        }
        for (const char* row : {"line lost and back", "line lost for good"}) {
            rows_.push_back({row, {}});
        }
    }
    void Add(const std::string& row, bool success) {
        for (auto& [name, tally] : rows_) {
            if (name == row) {
                ++tally.burns;
                tally.successes += success ? 1 : 0;
            }
        }
    }
    void Print() const {
        std::printf("  %-40s %7s %10s\n", "", "burns", "successes");
        for (const auto& [name, tally] : rows_) {
            std::printf("  %-40s %7u %10u\n", name.c_str(), tally.burns, tally.successes);
        }
    }

  private:
    std::vector<std::pair<std::string, Tally>> rows_;
};

int Replay(std::uint32_t seed) {
    const SoakPlan plan = MakePlan(seed);
    std::printf("seed %u: %s\n", seed, plan.description.c_str());
    const BurnReport r = RunBurn(plan);
    for (const std::string& m : r.messages) {
        std::printf("  shown: %s\n", m.c_str());
    }
    std::printf("  outcome: %s; flash %s the image; link %s; %.1f s on the virtual clock\n",
                r.success ? "success" : "failed", r.flashHoldsImage ? "holds" : "does not hold",
                r.linkClosed ? "closed" : "LEFT OPEN", static_cast<double>(r.virtualMs) / 1e3);
    std::printf("  %s\n", r.survivable ? "survivable: it must succeed"
                                       : ("not survivable: " + r.notSurvivable).c_str());
    const bool sound = EndedSoundly(r) && (!r.success || r.flashHoldsImage) &&
                       (!r.survivable || (r.success && r.flashHoldsImage));
    std::printf("  %s\n", sound ? "sound" : "NOT SOUND");
    return sound ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!Parse(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: norvane-soak [--burns N] [--seed FIRST] [--limit SECONDS]\n"
                     "       norvane-soak --replay SEED\n");
        return 2;
    }
    if (options.replay) {
        return Replay(options.firstSeed);
    }
    const auto start = std::chrono::steady_clock::now();
    Coverage coverage;
    std::map<std::string, std::uint32_t> failures;
    std::vector<std::string> unsound;
    std::uint32_t successes = 0;
    std::uint32_t flashDiffers = 0;
    std::uint32_t badEndings = 0;
    std::uint32_t survivable = 0;
    std::uint32_t survived = 0;
    std::map<std::string, std::uint32_t> notSurvivable;
    for (std::uint32_t i = 0; i < options.burns; ++i) {
        const std::uint32_t seed = options.firstSeed + i;
        const SoakPlan plan = MakePlan(seed);
        const IsolatedBurn burn = RunIsolated(plan, options.limitSeconds);
        const BurnReport& r = burn.report;
        const PlcModel& model = ModelAt(plan.model);
        const bool success = burn.ending == Ending::Finished && r.success;
        coverage.Add(std::to_string(model.blockSize) + "-byte blocks", success);
        coverage.Add(EraseRuleName(model.eraseCountRule), success);
        coverage.Add(model.linkKind == LinkKind::Usb ? "USB link" : "serial link", success);
        if (plan.trouble.strikes) {
            coverage.Add(plan.trouble.downFor == 0 ? "line lost for good" : "line lost and back",
                         success);
        }
        std::string problem;
        if (burn.ending != Ending::Finished) {
            problem = (burn.ending == Ending::Hung ? "hung: " : "crashed: ") + burn.how;
            ++badEndings;
        } else if (!EndedSoundly(r)) {
            problem = "ended with " + std::to_string(r.finalMessages) + " final messages" +
                      (r.linkClosed ? "" : ", link left open") +
                      (r.success == r.successMessage ? "" : ", outcome and message disagree");
            ++badEndings;
        } else if (r.success && !r.flashHoldsImage) {
            problem = "reported success but the flash differs from the image";
            ++flashDiffers;
        } else if (r.survivable && !r.success) {
            problem = "survivable, but ended " + r.finalMessage;
        }
        if (burn.ending == Ending::Finished) {
            if (r.survivable) {
                ++survivable;
                survived += r.success && r.flashHoldsImage ? 1 : 0;
            } else {
                ++notSurvivable[r.notSurvivable];
            }
        }
        if (!problem.empty()) {
            unsound.push_back("seed " + std::to_string(seed) + ": " + problem + " (" +
                              plan.description + ")");
        }
        if (success) {
            ++successes;
        } else if (burn.ending == Ending::Finished) {
            ++failures[r.finalMessage];
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::printf("Fault soak: %u burns, seeds %u to %u, %.1f s\n\n", options.burns,
                options.firstSeed, options.firstSeed + options.burns - 1, seconds);
    coverage.Print();
    std::printf("\n  %-64s %7u\n", "burns", options.burns);
    std::printf("  %-64s %7u\n", "successes", successes);
    std::printf("  failures by message:\n");
    for (const auto& [message, count] : failures) {
        std::printf("    %7u  %s\n", count, message.c_str());
    }
    std::printf("  plans the protocol cannot survive, by what makes them so:\n");
    for (const auto& [why, count] : notSurvivable) {
        std::printf("    %7u  %s\n", count, why.c_str());
    }
    std::printf("\nsurvivable plans: %u, succeeded: %u (%.1f %%)\n", survivable, survived,
                survivable == 0 ? 100.0 : 100.0 * survived / survivable);
    std::printf("\n  %-64s %7u  (must be 0)\n", "successes whose flash differs from the image",
                flashDiffers);
    std::printf("  %-64s %7u  (must be 0)\n",
                "burns that crashed, hung or showed anything but one final message", badEndings);
    for (const std::string& line : unsound) {
        std::printf("  %s\n", line.c_str());
    }
    if (!unsound.empty()) {
        std::printf("  replay one with: %s --replay SEED\n", argv[0]);
    }
    return unsound.empty() ? 0 : 1;
}
