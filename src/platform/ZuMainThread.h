#pragma once

#include <functional>

// Runs work on the main thread: at once when called there, otherwise queued to
// the main event loop. For handlers that touch the interface or the timers.
void zuPerformOnMainThread(std::function<void()> work);
bool zuIsMainThread();
