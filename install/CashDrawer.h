// The cash drawer behind a receipt printer: the pulse that opens it
// (ESC p m t1 t2) and, where the printer can be asked, its sensor read
// before and after (DLE EOT 1, bit 0x04). The kick follows a test receipt
// once its job has left the queue: ESC p waits behind whatever is still in
// the printer's buffer.
#pragma once

#include <cstdint>
#include <string>

#include "install/PrintJob.h"
#include "install/PrinterStatus.h"
#include "platform/FunctionRef.h"
#include "platform/Network.h"
#include "platform/Platform.h"
#include "platform/SerialPort.h"

namespace kelp {

class RunLog;

// The drawer connector's pin the pulse goes to: ESC p m with m = 0 or 1.
enum class DrawerPin { Pin2, Pin5 };

// ESC p m 25 250: a 50 ms pulse on the pin, 500 ms off.
std::string DrawerKickBytes(DrawerPin pin);

enum class DrawerResult {
    Opened,      // the sensor changed after the kick
    Unchanged,   // the kick was sent; the sensor did not change
    NoSensor,    // the kick was sent; the printer did not report its drawer (mute, or hung up after the kick)
    NotSent,     // the printer could not be reached (no connection, a hang-up, a port that does not open)
    SentAsJob,   // a printer that cannot be asked (USB): the kick went as a job of its own
    JobFailed,   // that job failed (job)
    Busy,        // another run holds the lock: nothing sent
};

struct DrawerOutcome {
    DrawerResult result = DrawerResult::NotSent;
    DrawerPin pin = DrawerPin::Pin2;
    std::string printerName;
    std::string port;
    WinError error = winerr::Success;  // a COM port's that does not open, the lock's
    PrintJobReport job;
};

// How many times, and how far apart, the sensor is asked after the kick:
// about half a second in all, stopping at the first change.
constexpr int DrawerChecks = 5;
constexpr std::uint32_t DrawerCheckMs = 100;

// Over an open channel: the sensor, the kick, the sensor again (up to
// DrawerChecks times, pause(DrawerCheckMs) before each). Opened, Unchanged,
// NoSensor or NotSent (the kick could not be written).
DrawerResult KickAndWatchDrawer(StatusChannel& channel, DrawerPin pin, FunctionRef<void(std::uint32_t)> pause);

// Kicks the drawer of the installed printer printerName on port: a RAW
// TCP/IP port's printer at its address on a connection of its own, a COM
// port's over the port, any other printer through a job. The lock is held
// throughout. One line in log says what came of it.
DrawerOutcome OpenCashDrawer(Platform& platform, Network& network, SerialPorts& serialPorts,
                             const std::string& printerName, const std::string& port, DrawerPin pin, RunLog* log);

}  // namespace kelp
