#pragma once

#include <chrono>

// Whether the user's D-Bus session bus answers at all, asked within a bound: Qt's D-Bus waits
// for a bus that accepts a connection and never answers for as long as the bus keeps the
// connection open, and the desktop's secret store is reached only through it. A session with no
// bus address (a server over SSH) has none.
namespace SessionBusProbe {

bool answers(std::chrono::milliseconds patience);

} // namespace SessionBusProbe
