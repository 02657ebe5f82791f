// The log's lines for the Standard TCP/IP Port monitor's XcvData calls.
#include "install/RunLog.h"

namespace kelp {

namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

constexpr const char* kMonitor = " (monitor \"Standard TCP/IP Port\")";

std::string Aim(const TcpIpPortConfig& port) {
    std::string text = port.host + ":" + std::to_string(static_cast<int>(port.tcpPort));
    text += port.raw ? " RAW" : " LPR";
    text += port.snmp ? " SNMP on" : " SNMP off";
    return text;
}

}  // namespace

WinError LoggingPlatform::addTcpIpPort(const TcpIpPortConfig& port) {
    std::string what = "XcvData AddPort " + Quoted(port.portName);
    what += " " + Aim(port);
    what += kMonitor;
    return step(what, inner_.addTcpIpPort(port));
}

WinError LoggingPlatform::deleteTcpIpPort(const std::string& portName) {
    return step("XcvData DeletePort " + Quoted(portName) + kMonitor, inner_.deleteTcpIpPort(portName));
}

Result<TcpIpPortConfig> LoggingPlatform::tcpIpPortConfig(const std::string& portName) {
    auto result = inner_.tcpIpPortConfig(portName);
    step("XcvData GetConfigInfo " + Quoted(portName), result.error, false);
    return result;
}

}  // namespace kelp
