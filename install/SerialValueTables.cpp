#include "install/SerialValueTables.h"

namespace kelp {

namespace {

constexpr SerialRow kPorts[] = {{"LPT1", "LPT1:"}, {"LPT2", "LPT2:"}, {"LPT3", "LPT3:"}, {"COM1", "COM1:"},
                                {"COM2", "COM2:"}, {"COM3", "COM3:"}, {"COM4", "COM4:"}};
constexpr SerialRow kBaudRates[] = {{"300", "300"},     {"1200", "1200"},   {"2400", "2400"},
                                    {"4800", "4800"},   {"9600", "9600"},   {"19200", "19200"},
                                    {"38400", "38400"}, {"57600", "57600"}, {"115200", "115200"}};
constexpr SerialRow kDataBits[] = {{"5", "5"}, {"6", "6"}, {"7", "7"}, {"8", "8"}};
constexpr SerialRow kStopBits[] = {{"1", "1"}, {"1.5", "1.5"}, {"2", "2"}};
constexpr SerialRow kParities[] = {{"Even", "E"}, {"Mark", "M"}, {"None", "N"}, {"Odd", "O"}, {"Space", "S"}};
constexpr SerialRow kFlowControls[] = {{"None", " "}, {"XonXoff", "x"}, {"Hardware", "p"}};

}  // namespace

std::span<const SerialRow> SerialValueTables::ports() { return kPorts; }
std::span<const SerialRow> SerialValueTables::baudRates() { return kBaudRates; }
std::span<const SerialRow> SerialValueTables::dataBits() { return kDataBits; }
std::span<const SerialRow> SerialValueTables::stopBits() { return kStopBits; }
std::span<const SerialRow> SerialValueTables::parities() { return kParities; }
std::span<const SerialRow> SerialValueTables::flowControls() { return kFlowControls; }

}  // namespace kelp
