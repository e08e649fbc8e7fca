#pragma once

namespace inkwarden::test {

// Loopback helpers for test servers.
struct FreePort {
    // A TCP port on 127.0.0.1 that was free a moment ago (0 on failure).
    static int Find();
    // Waits until something accepts connections on the port; false after timeout_ms.
    static bool WaitListening(int port, int timeout_ms);
};

} // namespace inkwarden::test
