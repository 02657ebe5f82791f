#include "cli/TestReceipt.h"

#include <cstdint>
#include <iterator>

namespace kelp {

namespace {

// The GB18030 (GB2312 range) codes of the characters the Chinese lines use,
// sorted by code point.
struct Gb18030Code {
    std::uint32_t codePoint;
    unsigned char lead;
    unsigned char trail;
};
constexpr Gb18030Code kCodes[] = {
    {0x3002, 0xA1, 0xA3},  // 。
    {0x4EE5, 0xD2, 0xD4},  // 以
    {0x4F7F, 0xCA, 0xB9},  // 使
    {0x5370, 0xD3, 0xA1},  // 印
    {0x53E3, 0xBF, 0xDA},  // 口
    {0x53EF, 0xBF, 0xC9},  // 可
    {0x53F7, 0xBA, 0xC5},  // 号
    {0x578B, 0xD0, 0xCD},  // 型
    {0x5B89, 0xB0, 0xB2},  // 安
    {0x5C0F, 0xD0, 0xA1},  // 小
    {0x5DF2, 0xD2, 0xD1},  // 已
    {0x6253, 0xB4, 0xF2},  // 打
    {0x65F6, 0xCA, 0xB1},  // 时
    {0x673A, 0xBB, 0xFA},  // 机
    {0x6D4B, 0xB2, 0xE2},  // 测
    {0x7528, 0xD3, 0xC3},  // 用
    {0x7968, 0xC6, 0xB1},  // 票
    {0x7AEF, 0xB6, 0xCB},  // 端
    {0x88C5, 0xD7, 0xB0},  // 装
    {0x8BD5, 0xCA, 0xD4},  // 试
    {0x95F4, 0xBC, 0xE4},  // 间
    {0xFF0C, 0xA3, 0xAC},  // ，
    {0xFF1A, 0xA3, 0xBA},  // ：
};

struct ReceiptTexts {
    const char* title;
    const char* model;
    const char* port;
    const char* time;
    const char* closing;
};
constexpr ReceiptTexts kChinese = {"Kelp 测试小票", "型号：", "端口：", "时间：", "打印机已安装，可以使用。"};
constexpr ReceiptTexts kEnglish = {"Kelp test receipt", "Model: ", "Port: ", "Time: ",
                                   "This printer is installed and ready."};

constexpr char kInitialise[] = {0x1B, 0x40};                                    // ESC @
constexpr char kFeedLines[] = {0x1B, 0x64, 0x04};                               // ESC d 4
constexpr char kFeedAndCut[] = {0x1D, 0x56, 0x42, 0x00};                        // GS V 66 0: feed, partial cut

}  // namespace

std::string ToReceiptGb18030(const std::string& utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        std::uint32_t codePoint = 0;
        if (length > 1 && i + length <= utf8.size()) {
            codePoint = c & (0xFF >> (length + 1));
            for (std::size_t k = 1; k < length; ++k)
                codePoint = (codePoint << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        } else {
            length = 1;
        }
        const Gb18030Code* code = nullptr;
        for (const auto& entry : kCodes) {
            if (entry.codePoint == codePoint) code = &entry;
        }
        if (code) {
            out.push_back(static_cast<char>(code->lead));
            out.push_back(static_cast<char>(code->trail));
        } else {
            out.push_back('?');
        }
        i += length;
    }
    return out;
}

std::string TestReceiptBytes(const std::string& model, const std::string& port, const std::string& time,
                             int englishFlag) {
    const ReceiptTexts& texts = englishFlag == 1 ? kEnglish : kChinese;
    std::string text = std::string(texts.title) + "\n" + texts.model + model + "\n" + texts.port + port + "\n" +
                       texts.time + time + "\n" + KelpVersionText + "\n" + texts.closing + "\n";
    std::string bytes(kInitialise, std::size(kInitialise));
    bytes += ToReceiptGb18030(text);
    bytes.append(kFeedLines, std::size(kFeedLines));
    bytes.append(kFeedAndCut, std::size(kFeedAndCut));
    return bytes;
}

}  // namespace kelp
