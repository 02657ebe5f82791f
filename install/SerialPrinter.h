// Serial receipt printers: the line a COM port is set to in the spooler's
// port record, and the printer's real-time status asked over the port.
#pragma once

#include "platform/FunctionRef.h"
#include <optional>
#include <string>

#include "install/PrinterStatus.h"
#include "platform/Platform.h"
#include "platform/SerialPort.h"

namespace kelp {

class RunLog;

// "COM1" to "COM255", with or without the spooler's trailing colon, in any case.
bool IsComPortName(const std::string& name);

// "9600,n,8,1", optionally a fifth field for handshaking (blank, x or p),
// as the spooler's port record and the installation write it; nothing for
// any other text, and for the pairs Windows refuses (5 data bits with 2 stop
// bits, 1.5 stop bits with more than 5 data bits).
std::optional<SerialLine> ParseSerialLine(const std::string& text);
std::string FormatSerialLine(const SerialLine& line);

// The port's line from the spooler's port record (its value, "COM5:", under
// HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Ports); 9600,n,8,1
// when the value cannot be read or is no line.
SerialLine PortLine(Platform& platform, const std::string& portName);

// Opens the port, sets it to its line, asks the four status requests
// (AskPrinterStatus) and closes it again: the port is held for those few
// bytes only. A port that does not open (no such device, or another program
// holds it) is PortNotOpen, its error in portError (when given); one whose
// line cannot be set (its device is gone) is NoAnswer. One line in log
// (when given) says what was found. waiting, when given, is called at least
// every 100 ms while an answer is waited for. identity, when given,
// receives who a printer whose status allows it says it is
// (AskPrinterIdentity, on the same opening of the port; a second line in
// log when it named itself); empty otherwise.
PrinterState ProbeSerialPrinter(Platform& platform, SerialPorts& ports, const std::string& portName, RunLog* log,
                                FunctionRef<void()> waiting = {}, WinError* portError = nullptr,
                                PrinterIdentity* identity = nullptr);

// Opens the port, sets it to its line, hands talk a status channel over it
// and closes the port again. The open's error when the port does not open,
// the line's when it cannot be set (talk is then not called), else success.
WinError TalkOverSerialPort(Platform& platform, SerialPorts& ports, const std::string& portName,
                            FunctionRef<void(StatusChannel&)> talk);

}  // namespace kelp
