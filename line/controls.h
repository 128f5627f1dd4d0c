// What asks a line's loops to stop: the terminal program's signals, or a test's
// own requests.
#pragma once

#include <functional>

namespace norvane::line {

class Controls {
  public:
    virtual ~Controls() = default;
    // Ctrl-C or a request to terminate.
    virtual bool Interrupted() = 0;
    // Forgets it, so that the next one is seen as a second one.
    virtual void ClearInterrupt() = 0;
    // A hang-up.
    virtual bool HungUp() = 0;
    // The terminal a station was started from has gone away; false where it had none.
    virtual bool TerminalGone() = 0;
    // A station's images are to be read again (a hang-up, its terminal still
    // there); the request is used up.
    virtual bool RereadAsked() { return false; }
    // `wake` is called, from any thread, when a request arrives; null: nobody
    // is woken any more.
    virtual void WakeWith(std::function<void()> wake) { (void)wake; }
};

}  // namespace norvane::line
