// The log's lines for the Standard TCP/IP Port monitor's XcvData calls.
#include "install/RunLog.h"

namespace kelp {

namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string Aim(const TcpIpPortConfig& port) {
    return port.host + ":" + std::to_string(port.tcpPort) + (port.raw ? " RAW" : " LPR") +
           (port.snmp ? " SNMP on" : " SNMP off");
}

}  // namespace

WinError LoggingPlatform::addTcpIpPort(const TcpIpPortConfig& port) {
    return step("XcvData AddPort " + Quoted(port.portName) + " " + Aim(port) + " (monitor " +
                    Quoted(TcpIpMonitorName) + ")",
                inner_.addTcpIpPort(port));
}

WinError LoggingPlatform::deleteTcpIpPort(const std::string& portName) {
    return step("XcvData DeletePort " + Quoted(portName) + " (monitor " + Quoted(TcpIpMonitorName) + ")",
                inner_.deleteTcpIpPort(portName));
}

Result<TcpIpPortConfig> LoggingPlatform::tcpIpPortConfig(const std::string& portName) {
    auto result = inner_.tcpIpPortConfig(portName);
    step("XcvData GetConfigInfo " + Quoted(portName), result.error, false);
    return result;
}

}  // namespace kelp
