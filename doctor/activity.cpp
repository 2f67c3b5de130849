#include "activity.h"

#include <windows.h>

namespace zmk::doctor {
namespace {

SRWLOCK g_lock = SRWLOCK_INIT;
Activity::Kind g_kind = Activity::Kind::None;
std::string g_what;
LARGE_INTEGER g_since;     // the call's start
double g_windowMs = 0;     // the window's length from g_since

void Set(Activity::Kind kind, std::string what, double windowMs) {
    LARGE_INTEGER now = Now();
    ::AcquireSRWLockExclusive(&g_lock);
    g_kind = kind;
    g_what = std::move(what);
    g_since = now;
    g_windowMs = windowMs;
    ::ReleaseSRWLockExclusive(&g_lock);
}

}  // namespace

DriverCall::DriverCall(const char* name) noexcept : started_(Now()) { Set(Activity::Kind::DriverCall, name, 0); }
DriverCall::~DriverCall() { Set(Activity::Kind::None, {}, 0); }

Listening::Listening(const std::string& what, double milliseconds) { Set(Activity::Kind::Listening, what, milliseconds); }
Listening::~Listening() { Set(Activity::Kind::None, {}, 0); }

Activity CurrentActivity() {
    Activity activity;
    ::AcquireSRWLockShared(&g_lock);
    activity.kind = g_kind;
    activity.what = g_what;
    double since = MillisecondsSince(g_since);
    activity.milliseconds = g_kind == Activity::Kind::Listening ? g_windowMs - since : since;
    ::ReleaseSRWLockShared(&g_lock);
    return activity;
}

}  // namespace zmk::doctor
