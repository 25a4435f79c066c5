// How reports travel between a client and a device of the virtual bus. A Linux client connects to
// the interface's Unix socket (one message per report); a Windows client, which has no Unix
// sockets, to its loopback TCP port (a stream of whole reports). One implementation per OS.
#pragma once

#include "platform/hid/hid.h"

#include <memory>
#include <optional>
#include <string>

namespace platform::vbus {

class Transport {
public:
    virtual ~Transport() = default;
    // Sends report, or what is left of it after an earlier Pending: Done once all of it has gone,
    // Pending when the device cannot take (the rest of) it yet, Failed with error set.
    virtual IoProgress send(const Report& report, OsError& error) = 0;
    // True while a report has gone out in part: it cannot be withdrawn, only finished.
    virtual bool isMidReport() const = 0;
    // Done with the next whole input report, Pending when none has arrived yet, Failed with error set
    // (kErrorDeviceNotConnected once the device has closed the connection).
    virtual IoProgress receive(Report& report, OsError& error) = 0;
    // Waits at most timeoutMs until the connection is ready for sending (forSending) or receiving,
    // or has been closed. A wait that ends without readiness is not an error.
    virtual OsError wait(bool forSending, int timeoutMs) = 0;
};

// The extension of the file that stands for an interface's endpoint in hid/.
const char* endpointExtension();

// What tells one endpoint file from another made later under the same name; nothing when the file
// is gone. A freed file number may go straight to the new file, so its time of change goes with it.
std::optional<std::string> endpointIdentity(const std::string& path);

// Connects to the endpoint whose file is path and announces the access: 'r', 'w' or 'b'.
std::unique_ptr<Transport> connectEndpoint(const std::string& path, char access, OsError& error);

}  // namespace platform::vbus
