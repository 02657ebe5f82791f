#include "install/UsbPrinterModel.h"

#include "install/AutomaticPort.h"
#include "install/ModelCatalogue.h"
#include "install/Names.h"

namespace kelp {

namespace {

constexpr const char* kHardwareIdPrefix = "usbprint\\";
constexpr std::size_t kMakeModelChars = 20;  // where Windows cuts maker and model
constexpr std::size_t kCheckSumChars = 4;
// A cut model must keep this much of its name to be told from the others.
constexpr std::size_t kShortestCutModel = 4;

// Case folded, without the characters model names differ in by spelling
// only (as SameModel compares).
std::string Folded(const std::string& text) {
    std::string key;
    for (char c : Lower(text))
        if (c != ' ' && c != '-' && c != '_' && c != '(' && c != ')' && c != '[' && c != ']') key += c;
    return key;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

UsbPrinterModel FromHardwareId(const std::string& hardwareId) {
    if (Lower(hardwareId).rfind(kHardwareIdPrefix, 0) != 0) return {};
    const std::string rest = hardwareId.substr(std::string(kHardwareIdPrefix).size());
    if (rest.size() <= kCheckSumChars) return {};
    const std::string makeModel = rest.substr(0, rest.size() - kCheckSumChars);
    const std::string key = Folded(makeModel);
    const bool cut = makeModel.size() >= kMakeModelChars;
    const auto rows = ModelCatalogue::rows();
    int named = -1;
    std::size_t longest = 0;  // of the cut model's matches
    bool several = false;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string model = Folded(rows[i].displayName);
        std::size_t length = 0;
        if (!cut) {
            if (EndsWith(key, model)) length = model.size();
        } else {
            for (std::size_t k = model.size(); k >= kShortestCutModel && length == 0; --k)
                if (EndsWith(key, model.substr(0, k))) length = k;
        }
        if (length == 0 || length < longest) continue;
        several = length == longest;
        longest = length;
        named = static_cast<int>(i);
    }
    if (named >= 0 && !several) return {rows[static_cast<std::size_t>(named)].displayName, named};
    return {makeModel, -1};
}

}  // namespace

UsbPrinterModel ModelOfUsbPrinter(const UsbPrinterInterface& usb) {
    if (usb.deviceId.empty()) return FromHardwareId(usb.hardwareId);
    const std::string model = ParseDeviceId(usb.deviceId).model;
    const int row = ModelRowNamed(model);
    if (row < 0) return {model, -1};
    return {ModelCatalogue::row(row)->displayName, row};
}

UsbPrinterModel ModelOnUsbPort(const std::string& port, const std::vector<UsbPrinterInterface>& interfaces) {
    for (const auto& usb : interfaces)
        if (usb.connected && SameName(UsbPortName(usb), port)) return ModelOfUsbPrinter(usb);
    return {};
}

int ModelRowOfTheAttachedPrinter(const std::vector<UsbPrinterInterface>& interfaces) {
    int found = -1;
    for (const auto& usb : interfaces) {
        if (!usb.connected) continue;
        const int row = ModelOfUsbPrinter(usb).row;
        if (row < 0) continue;
        if (found >= 0) return -1;
        found = row;
    }
    return found;
}

}  // namespace kelp
