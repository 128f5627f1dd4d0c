// The one supervisor of burns in processes of their own, which several PLCs at
// once and a station both use: it starts a burn for a port, passes on what the
// burn says, passes interrupts and hang-ups to every burn, ends a burn that says
// nothing for too long, and tells how each burn ended, writing the record line
// of a burn whose process ended without its own.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "burn/outcome_code.h"
#include "line/burn_event.h"
#include "line/run_image.h"

namespace norvane::line {

// How a burn ended, once its process has.
struct BurnOver {
    int exitStatus = 0;
    OutcomeCode outcome = OutcomeCode::Success;
    std::string message;  // its final message, or why it ended without one
};

// What a burn said, or that it is over.
struct BurnNews {
    std::string port;
    std::optional<BurnEvent> show;  // an event of it, for the faces
    std::optional<BurnOver> over;   // it has ended (after its last event)
};

class Supervisor {
  public:
    virtual ~Supervisor() = default;
    // Starts the burn of `image` into the PLC on `port`; one that cannot be
    // started is over at once, told as the next news of it. `awaitReplug`: its
    // replug is answered by the PLC leaving its socket and coming back. The burn
    // keeps the image for as long as it runs.
    virtual void Start(const std::string& port, bool awaitReplug,
                       std::shared_ptr<const RunImage> image) = 0;
    // The next news of any burn, waiting for it up to `wait`.
    virtual std::optional<BurnNews> Next(std::chrono::milliseconds wait) = 0;
    // Every running burn, as Ctrl-C would end it, or as a hang-up is told to it.
    virtual void InterruptAll() = 0;
    virtual void HangUpAll() = 0;
    // The burns whose end has not been told yet.
    virtual std::size_t Running() const = 0;
    // From any thread: a Next waiting now (or the next one) returns at once,
    // so that its caller can see to what else has happened.
    virtual void Wake() {}
};

}  // namespace norvane::line
