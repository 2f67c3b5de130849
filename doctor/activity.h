// What the doctor's worker thread is waiting for, for the main thread, which
// shows the wait on a console, says when the driver keeps it waiting, and
// answers Ctrl+C at once whatever the worker is doing: a driver call can take
// seconds, or never return.
#pragma once

#include <string>

#include "win32/clock.h"

namespace zmk::doctor {

// A D2XX driver call under way, from construction to destruction.
class DriverCall {
public:
    // name: the call, e.g. "FT_CreateDeviceInfoList"; a static text.
    explicit DriverCall(const char* name) noexcept;
    ~DriverCall();
    DriverCall(const DriverCall&) = delete;
    DriverCall& operator=(const DriverCall&) = delete;
    // How long the call has taken so far.
    double Milliseconds() const noexcept { return MillisecondsSince(started_); }

private:
    LARGE_INTEGER started_;
};

// A listening window under way: what it waits for, until when.
class Listening {
public:
    Listening(const std::string& what, double milliseconds);
    ~Listening();
    Listening(const Listening&) = delete;
    Listening& operator=(const Listening&) = delete;
};

struct Activity {
    enum class Kind { None, DriverCall, Listening } kind = Kind::None;
    std::string what;       // the driver call, or what the window waits for
    double milliseconds = 0;  // the call's time so far, or the window's time left
};

Activity CurrentActivity();

}  // namespace zmk::doctor
