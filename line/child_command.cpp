#include "line/child_command.h"

#include "line/run_image.h"

namespace norvane::line {

std::vector<std::string> ChildCommand(const BurnSettings& settings, const std::string& port,
                                      bool awaitReplug, const RunImage& image) {
    std::vector<std::string> args{"--port",
                                  port,
                                  "--yes",
                                  "--json",
                                  "--replug-timeout",
                                  std::to_string(settings.replugTimeoutSeconds),
                                  "--expect-sha256",
                                  image.sha256};
    if (image.fromFile) {
        args.insert(args.end(), {"--image", "-", "--image-name", image.name});
    }
    if (settings.placeholder) {
        args.push_back("--placeholder");
    }
    if (settings.check) {
        args.push_back("--check");
    }
    if (!settings.record.empty()) {
        args.insert(args.end(), {"--record", settings.record});
    }
    if (awaitReplug) {
        args.push_back("--await-replug");
    }
    if (settings.verify && !settings.check) {
        args.push_back("--verify");
    }
    return args;
}

}  // namespace norvane::line
