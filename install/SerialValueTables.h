// The rows of the printer settings page's port and serial-line lists, and
// the value text the installation writes for each row.
#pragma once

#include <span>

namespace kelp {

struct SerialRow {
    const char* listText;
    const char* valueText;
};

struct SerialValueTables {
    static std::span<const SerialRow> ports();       // "LPT1:" .. "COM4:"
    static std::span<const SerialRow> baudRates();
    static std::span<const SerialRow> dataBits();
    static std::span<const SerialRow> stopBits();
    static std::span<const SerialRow> parities();
    static std::span<const SerialRow> flowControls();

    // Port rows from this one on are COM ports, which take serial settings.
    static constexpr int FirstComPortRow = 3;
};

}  // namespace kelp
