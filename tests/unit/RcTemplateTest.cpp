// The resource script against what the wizard's windows must look like:
// every template's controls in creation order with kind, text, position,
// size and state, the styles that change behaviour, the strings, the
// manifest and the icon. The reader itself is checked against styles as
// windres writes them into the binary templates.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "fake/RcParser.h"
#include "res/resource.h"

namespace kelp {
namespace {

using K = ControlKind;
constexpr bool Shown = true;
constexpr bool Hidden = false;
constexpr bool Enabled = true;
constexpr bool Disabled = false;

struct ControlRow {
    int id;
    ControlKind kind;
    const char* text;
    int x, y, width, height;
    bool shown = Shown;
    bool enabled = Enabled;
};

struct DialogRow {
    int id;
    const char* caption;
    int width, height;
    std::uint32_t exStyle;
    std::vector<ControlRow> controls;  // in template order
};

const char* const kNote = "本驱动适用于Windows x86 / x64系统";
const char* const kTitle = "Vexo Receipt Printer Driver";

const std::vector<DialogRow>& expectedDialogs() {
    static const std::vector<DialogRow> dialogs = {
        {IDD_LANGUAGE, kTitle, 172, 83, 0,
         {
             {IDC_LANG_LABEL, K::Static, "选择安装语言", 8, 9, 144, 8},
             {IDC_LANG_LIST, K::ComboBox, "", 7, 25, 126, 202},
             {IDC_LANG_CONFIRM, K::PushButton, "确认", 59, 54, 49, 17},
             {IDC_LANG_CANCEL, K::PushButton, "取消", 116, 54, 49, 17},
         }},
        {IDD_SYSTEM, kTitle, 251, 172, 0,
         {
             {IDC_SYS_GROUP, K::GroupBox, "选择系统", 7, 19, 237, 77},
             {IDC_SYS_VISTA, K::Radio, "Windows Vista", 13, 62, 68, 10},
             {IDC_SYS_WIN95, K::Radio, "Windows 95", 13, 7, 54, 10, Hidden},
             {IDC_SYS_WIN98, K::Radio, "Windows 98", 85, 7, 54, 10, Hidden},
             {IDC_SYS_NT4, K::Radio, "Windows NT4.0", 155, 7, 65, 10, Hidden},
             {IDC_SYS_WIN2000, K::Radio, "Windows 2000", 13, 41, 62, 10},
             {IDC_SYS_XP, K::Radio, "Windows XP", 84, 41, 55, 10},
             {IDC_SYS_WIN2003, K::Radio, "Windows 2003", 146, 41, 64, 10},
             {IDC_SYS_SLIDER, K::Trackbar, "Slider1", 7, 109, 237, 6, Hidden},
             {IDC_SYS_BACK, K::PushButton, "< &Back", 189, 112, 49, 8, Hidden, Disabled},
             {IDC_SYS_INSTALL, K::PushButton, "安装打印机驱动 (&N) >", 14, 108, 157, 42},
             {IDC_SYS_EXIT, K::PushButton, "&退出(E)", 189, 110, 49, 36},
             {IDC_SYS_WIN7, K::Radio, "Windows 7", 84, 62, 53, 10},
             {IDC_SYS_WIN8, K::Radio, "", 146, 64, 9, 8},
             {IDC_SYS_NOTE, K::Static, kNote, 7, 157, 237, 8},
             {IDC_SYS_USB_DRIVER, K::PushButton, "Install USB Virtual Serial Port Driver", 14, 108, 157, 19, Hidden,
              Disabled},
             {IDC_SYS_USB_DRIVER_X86, K::PushButton, "Button5", 7, 77, 50, 14, Hidden},
             {IDC_SYS_EDIT, K::Edit, "", 7, 95, 215, 12, Hidden},
             {IDC_STATIC, K::Static, "Windows 8", 157, 55, 37, 8},
             {IDC_STATIC, K::Static, "Windows 10", 157, 64, 41, 8},
             {IDC_STATIC, K::Static, "Windows 11", 157, 73, 41, 8},
         }},
        {IDD_PRINTER_SETTINGS, kTitle, 364, 239, rcstyle::ExAppWindow,
         {
             {IDC_SET_MODEL, K::ComboBox, "", 77, 19, 168, 202},
             {IDC_SET_GROUP, K::GroupBox, "打印机设置", 7, 48, 350, 54},
             {IDC_STATIC, K::GroupBox, "打印机端口设置", 7, 108, 350, 94, Hidden},
             {IDC_SET_MODEL_LABEL, K::Static, "驱动名称", 20, 21, 56, 8},
             {IDC_SET_DEFAULT, K::Check, "", 22, 62, 14, 10},
             {IDC_SET_NAME_LABEL, K::Static, "打印机名称", 20, 79, 51, 8},
             {IDC_SET_NAME, K::Edit, "", 77, 77, 166, 15},
             {IDC_SET_PORT, K::ComboBox, "", 58, 123, 65, 86, Hidden},
             {IDC_SET_BAUD, K::ComboBox, "", 58, 149, 65, 112, Hidden},
             {IDC_SET_DATA_BITS, K::ComboBox, "", 58, 172, 65, 60, Hidden},
             {IDC_SET_FLOW, K::ComboBox, "", 286, 149, 65, 60, Hidden},
             {IDC_SET_PARITY, K::ComboBox, "", 171, 172, 65, 68, Hidden},
             {IDC_SET_STOP_BITS, K::ComboBox, "", 171, 149, 65, 55, Hidden},
             {IDC_STATIC, K::Static, "端口", 20, 127, 17, 8, Hidden},
             {IDC_STATIC, K::Static, "波特率", 20, 148, 25, 8, Hidden},
             {IDC_STATIC, K::Static, "字节长度", 20, 171, 33, 8, Hidden},
             {IDC_STATIC, K::Static, "停止位", 135, 151, 25, 8, Hidden},
             {IDC_STATIC, K::Static, "校验位", 135, 172, 25, 8, Hidden},
             {IDC_STATIC, K::Static, "流控制", 240, 153, 25, 8, Hidden},
             {IDC_SET_BACK, K::PushButton, "< &返回(B)", 161, 207, 55, 15},
             {IDC_SET_NEXT, K::PushButton, "&下一步(N) >", 225, 207, 54, 15},
             {IDC_SET_EXIT, K::PushButton, "&退出(E)", 290, 207, 57, 15},
             {IDC_SET_NOTE, K::Static, kNote, 7, 226, 338, 8},
             {IDC_SET_DEFAULT_LABEL, K::Static, "设置为默认打印机", 37, 63, 153, 8},
             {1025, K::Progress, "", 7, 188, 350, 11, Hidden},
         }},
        {IDD_ABOUTBOX, "关于 Kelp", 235, 55, 0,
         {
             {IDC_STATIC, K::Icon, "#128", 11, 17, 20, 20},
             {IDC_STATIC, K::Static, "Kelp 4.0 版", 40, 10, 119, 8},
             {1, K::DefPushButton, "确定", 178, 7, 50, 14},
         }},
        {IDD_PORT, kTitle, 320, 214, 0,
         {
             {IDC_PORT_TITLE, K::Static, "指定端口", 7, 7, 195, 8},
             {IDC_PORT_LIST, K::ListView, "", 7, 47, 306, 93},
             {IDC_PORT_CREATE, K::PushButton, "创建端口...", 159, 145, 66, 14},
             {IDC_PORT_CONFIGURE, K::PushButton, "配置端口...", 235, 145, 72, 14},
             {IDC_PORT_BACK, K::PushButton, "< &返回", 142, 182, 50, 14},
             {IDC_PORT_INSTALL, K::PushButton, "&安装", 201, 181, 50, 14},
             {IDC_PORT_CANCEL, K::PushButton, "&取消", 260, 182, 50, 14},
             {IDC_PORT_PROGRESS, K::Progress, "", 7, 164, 306, 11},
             {IDC_PORT_INTRO, K::Static, "端口用于连接打印机和计算机。", 21, 16, 260, 8},
             {IDC_PORT_HINT, K::Static, "指定使用的端口。如果使用TCP/IP或一下未列出的其他端口类型进行连接，请", 21, 25,
              292, 8},
             {IDC_PORT_HINT_END, K::Static, "创建一个新的端口。", 7, 34, 306, 8},
             {IDC_PORT_NOTE, K::Static, kNote, 7, 199, 306, 8},
             {IDC_PORT_SEARCH, K::PushButton, "搜索端口...", 84, 145, 66, 14},
         }},
        {IDD_PORT_TYPES, kTitle, 254, 133, 0,
         {
             {IDC_TYPES_LIST, K::ListView, "", 7, 14, 240, 80},
             {IDC_TYPES_NEW, K::PushButton, "新端口...", 121, 108, 50, 14},
             {IDC_TYPES_EXIT, K::PushButton, "关闭", 179, 108, 53, 14},
         }},
        {IDD_NETWORK, kTitle, 384, 186, 0,
         {
             {IDC_NET_ADDRESS_LABEL, K::Static, "打印机的IP地址或主机名（可在后面加“:端口”，默认为9100）：", 7, 7, 370, 17},
             {IDC_NET_ADDRESS, K::Edit, "", 7, 26, 310, 14},
             {IDC_NET_FIND, K::PushButton, "查找(&F)", 324, 26, 53, 14},
             {IDC_NET_LIST, K::ListView, "", 7, 46, 370, 78},
             {IDC_NET_PROGRESS, K::Progress, "", 7, 129, 370, 9},
             {IDC_NET_STATUS, K::Static, "点击“查找”在本机所在的网络中查找打印机，或直接输入地址。", 7, 141, 370, 18},
             {1, K::DefPushButton, "确定", 266, 165, 53, 14},
             {2, K::PushButton, "取消", 324, 165, 53, 14},
         }},
    };
    return dialogs;
}

TEST(RcTemplateTest, EveryTemplateHoldsItsControlsInOrder) {
    const RcResources& rc = kelpResources();
    EXPECT_EQ(rc.dialogs.size(), expectedDialogs().size());
    for (const auto& want : expectedDialogs()) {
        SCOPED_TRACE(testing::Message() << "dialog " << want.id);
        const RcDialog* d = rc.findDialog(want.id);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->caption, want.caption);
        EXPECT_EQ(d->width, want.width);
        EXPECT_EQ(d->height, want.height);
        EXPECT_EQ(d->fontName, "宋体");
        EXPECT_EQ(d->fontSize, 9);
        // A modal frame with caption and close box, no minimise or maximise box.
        EXPECT_TRUE(d->has(rcstyle::DsModalFrame | rcstyle::Popup | rcstyle::Caption | rcstyle::SysMenu));
        EXPECT_FALSE(d->style & (rcstyle::MinimizeBox | rcstyle::MaximizeBox | rcstyle::Visible));
        EXPECT_EQ(d->exStyle, want.exStyle);
        ASSERT_EQ(d->controls.size(), want.controls.size());
        std::set<int> ids;
        for (std::size_t i = 0; i < want.controls.size(); ++i) {
            const ControlRow& w = want.controls[i];
            const RcControl& c = d->controls[i];
            SCOPED_TRACE(testing::Message() << "control " << i << " (" << w.id << " " << w.text << ")");
            EXPECT_EQ(c.id, w.id);
            EXPECT_EQ(c.kind, w.kind) << kindName(c.kind);
            EXPECT_EQ(c.text, w.text);
            EXPECT_EQ(c.x, w.x);
            EXPECT_EQ(c.y, w.y);
            EXPECT_EQ(c.width, w.width);
            EXPECT_EQ(c.height, w.height);
            EXPECT_EQ(c.visible(), w.shown);
            EXPECT_EQ(!c.disabled(), w.enabled);
            if (c.id != IDC_STATIC) {
                EXPECT_TRUE(ids.insert(c.id).second) << "id used twice";
            }
            // Only the About box and the network dialog (whose OK is the
            // address field's Enter) have a default push button: on the
            // pages Enter gives the dialog's OK command.
            if (c.kind == K::DefPushButton) {
                EXPECT_TRUE(want.id == IDD_ABOUTBOX || (want.id == IDD_NETWORK && c.id == 1));
            }
        }
    }
}

// Styles that decide how the controls behave.
TEST(RcTemplateTest, ControlStylesThatMatter) {
    const RcResources& rc = kelpResources();
    for (const auto& d : rc.dialogs) {
        for (const auto& c : d.controls) {
            SCOPED_TRACE(testing::Message() << "dialog " << d.id << " control " << c.id << " " << c.text);
            switch (c.kind) {
                case K::ComboBox:
                    EXPECT_EQ(c.style & rcstyle::CbsTypeMask, rcstyle::CbsDropDownList);
                    EXPECT_TRUE(c.has(rcstyle::VScroll | rcstyle::TabStop));
                    EXPECT_FALSE(c.style & rcstyle::CbsSort) << "rows stay in the order they are added";
                    break;
                case K::ListView:
                    EXPECT_EQ(c.style & rcstyle::LvsTypeMask, rcstyle::LvsReport);
                    EXPECT_TRUE(c.has(rcstyle::LvsSingleSel | rcstyle::Border | rcstyle::TabStop));
                    EXPECT_EQ(c.has(rcstyle::LvsShowSelAlways), d.id == IDD_PORT || d.id == IDD_NETWORK);
                    break;
                case K::Progress: EXPECT_TRUE(c.has(rcstyle::Border)); break;
                case K::Trackbar: EXPECT_TRUE(c.has(rcstyle::TbsNoTicks)); break;
                case K::Radio:
                    EXPECT_TRUE(c.automatic());
                    // No radio button is a tab stop of its own, so the system
                    // page's initial focus is the install button.
                    EXPECT_FALSE(c.tabStop());
                    break;
                case K::Check: EXPECT_TRUE(c.automatic()); break;
                case K::PushButton:
                case K::DefPushButton: EXPECT_TRUE(c.tabStop()); break;
                default: break;
            }
        }
    }

    const RcDialog& settings = *rc.findDialog(IDD_PRINTER_SETTINGS);
    EXPECT_TRUE(settings.find(IDC_SET_NAME)->has(rcstyle::EsReadOnly | rcstyle::EsAutoHScroll | rcstyle::Border));
    EXPECT_TRUE(settings.find(IDC_SET_DEFAULT_LABEL)->exStyle & rcstyle::ExTransparent);
    const RcDialog& system = *rc.findDialog(IDD_SYSTEM);
    EXPECT_TRUE(system.find(IDC_SYS_EDIT)->has(rcstyle::EsAutoHScroll | rcstyle::Border));
    EXPECT_FALSE(system.find(IDC_SYS_EDIT)->has(rcstyle::EsReadOnly));
    EXPECT_TRUE(rc.findDialog(IDD_ABOUTBOX)->controls[1].has(rcstyle::SsNoPrefix));

    // One radio group on the system page: opened by the group box, closed by
    // the note, with no other group start in between.
    bool inGroup = false;
    for (const auto& c : system.controls) {
        if (c.id == IDC_SYS_GROUP) {
            EXPECT_TRUE(c.group());
        }
        if (c.id == IDC_SYS_NOTE) {
            EXPECT_TRUE(c.group());
            inGroup = false;
        } else if (inGroup) {
            EXPECT_FALSE(c.group()) << c.id << " would split the radio group";
        }
        if (c.id == IDC_SYS_GROUP) inGroup = true;
    }
}

TEST(RcTemplateTest, AboutEntryText) {
    const RcResources& rc = kelpResources();
    ASSERT_EQ(rc.strings.count(IDS_ABOUTBOX), 1u);
    EXPECT_EQ(rc.strings.at(IDS_ABOUTBOX), "关于 Kelp(&A)...");
}

std::string resFile(const std::string& name) {
    std::string dir = KELP_RC_PATH;
    dir = dir.substr(0, dir.find_last_of('/') + 1);
    std::ifstream in(dir + name, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// Without a compatibility section Windows 8.1 and later report 6.2 to the
// program, which the system page shows as the Windows 8/10/11 button.
TEST(RcTemplateTest, ManifestAsksForItsLevelAndCommonControlsOnly) {
    const std::string manifest = resFile("kelp.manifest");
    ASSERT_FALSE(manifest.empty());
    for (const char* part : {"level=\"highestAvailable\"", "uiAccess=\"false\"", "name=\"Microsoft.Windows.Common-Controls\"",
                             "version=\"6.0.0.0\"", "processorArchitecture=\"X86\"",
                             "publicKeyToken=\"6595b64144ccf1df\"", "language=\"*\""})
        EXPECT_NE(manifest.find(part), std::string::npos) << part;
    EXPECT_EQ(manifest.find("compatibility"), std::string::npos);
    EXPECT_EQ(manifest.find("supportedOS"), std::string::npos);
}

TEST(RcTemplateTest, IconHoldsTheSmallAndLargeImages) {
    const std::string ico = resFile("kelp.ico");
    ASSERT_GE(ico.size(), 6u);
    auto word = [&](std::size_t at) { return static_cast<unsigned char>(ico[at]) | static_cast<unsigned char>(ico[at + 1]) << 8; };
    EXPECT_EQ(word(0), 0);
    EXPECT_EQ(word(2), 1);  // icon, not cursor
    std::set<int> sizes;
    for (int i = 0; i < word(4); ++i) {
        const std::size_t entry = 6 + 16 * static_cast<std::size_t>(i);
        ASSERT_LE(entry + 16, ico.size());
        sizes.insert(static_cast<unsigned char>(ico[entry]));
    }
    EXPECT_TRUE(sizes.count(16) && sizes.count(32));
}

// The reader gives the styles windres writes: a statement's default style
// when none is given, its base style modified by the expression otherwise
// (values taken from windres output).
TEST(RcParserTest, StylesAsWindresWritesThem) {
    struct Row {
        const char* statement;
        std::uint32_t style;
        ControlKind kind;
    };
    const Row rows[] = {
        {"LTEXT \"t\", 1, 1, 1, 1, 1", 0x50020000, K::Static},
        {"LTEXT \"t\", 1, 1, 1, 1, 1, NOT WS_VISIBLE", 0x40000000, K::Static},  // the default WS_GROUP goes too
        {"PUSHBUTTON \"t\", 1, 1, 1, 1, 1, NOT WS_VISIBLE | WS_DISABLED", 0x48010000, K::PushButton},
        {"PUSHBUTTON \"t\", 1, 1, 1, 1, 1, NOT WS_TABSTOP", 0x50000000, K::PushButton},
        {"DEFPUSHBUTTON \"t\", 1, 1, 1, 1, 1", 0x50010001, K::DefPushButton},
        {"EDITTEXT 1, 1, 1, 1, 1, ES_AUTOHSCROLL | NOT WS_VISIBLE", 0x40810080, K::Edit},
        {"COMBOBOX 1, 1, 1, 1, 1, CBS_DROPDOWNLIST", 0x50000003, K::ComboBox},
        {"GROUPBOX \"t\", 1, 1, 1, 1, 1", 0x50000007, K::GroupBox},
        {"AUTORADIOBUTTON \"t\", 1, 1, 1, 1, 1", 0x50010009, K::Radio},
        {"AUTORADIOBUTTON \"t\", 1, 1, 1, 1, 1, WS_GROUP", 0x50020009, K::Radio},
        {"CONTROL \"t\", 1, \"Button\", NOT WS_VISIBLE | BS_AUTORADIOBUTTON, 1, 1, 1, 1", 0x40000009, K::Radio},
        {"CONTROL 128, 1, \"Static\", SS_ICON, 1, 1, 1, 1", 0x50000003, K::Icon},
        {"CONTROL \"\", 1, \"msctls_trackbar32\", TBS_NOTICKS | NOT WS_VISIBLE | WS_TABSTOP, 1, 1, 1, 1", 0x40010010,
         K::Trackbar},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.statement);
        const std::string script = std::string("9 DIALOGEX 0, 0, 10, 10\nBEGIN\n") + row.statement + "\nEND\n";
        const RcResources rc = parseRc(script, ".");
        ASSERT_EQ(rc.dialogs.size(), 1u);
        ASSERT_EQ(rc.dialogs[0].controls.size(), 1u);
        EXPECT_EQ(rc.dialogs[0].controls[0].style, row.style) << std::hex << rc.dialogs[0].controls[0].style;
        EXPECT_EQ(rc.dialogs[0].controls[0].kind, row.kind);
    }
}

TEST(RcParserTest, SkipsOtherResourcesAndNamesWhatItCannotRead) {
    const RcResources rc = parseRc(
        "#define IDD_X 7 /* a comment */\n"
        "LANGUAGE 0, 0\n"
        "128 ICON \"a.ico\"\n"
        "1 24 \"a.manifest\"\n"
        "IDD_X DIALOGEX 0, 0, 50, 20\n"
        "CAPTION \"A \"\"quoted\"\" caption\"\n"
        "FONT 9, \"宋体\"\n"
        "BEGIN\n  LTEXT \"x\", -1, 1, 2, 3, 4 // comment\nEND\n"
        "1 VERSIONINFO\n FILEVERSION 1,0,0,0\nBEGIN\n BLOCK \"StringFileInfo\"\n BEGIN\n END\nEND\n"
        "STRINGTABLE\nBEGIN\n  5, \"five\"\n  6 \"six\"\nEND\n",
        ".");
    ASSERT_EQ(rc.dialogs.size(), 1u);
    EXPECT_EQ(rc.dialogs[0].id, 7);
    EXPECT_EQ(rc.dialogs[0].caption, "A \"quoted\" caption");
    // Without STYLE: WS_POPUP | WS_BORDER | WS_SYSMENU, with WS_CAPTION and DS_SETFONT added.
    EXPECT_EQ(rc.dialogs[0].style, 0x80C80040u);
    EXPECT_EQ(rc.dialogs[0].controls.at(0).id, -1);
    EXPECT_EQ(rc.strings.at(5), "five");
    EXPECT_EQ(rc.strings.at(6), "six");

    struct Broken {
        const char* script;
        const char* where;
    };
    const Broken broken[] = {
        {"9 DIALOGEX 0, 0, 10, 10\nBEGIN\n  LTEXT \"x\", IDC_NOWHERE, 1, 1, 1, 1\nEND\n", "t.rc:3: unknown name IDC_NOWHERE"},
        {"9 DIALOGEX 0, 0, 10, 10\nBEGIN\n  LISTBOX 1, 1, 1, 1, 1\nEND\n", "t.rc:3: control statement"},
        {"9 DIALOGEX 0, 0, 10, 10\nBEGIN\n  CONTROL \"\", 1, \"RichEdit\", 0, 1, 1, 1, 1\nEND\n", "t.rc:3: control class"},
        {"9 DIALOGEX 0, 0, 10, 10\nBEGIN\n  LTEXT \"x\", 1, 1, 1, 1\nEND\n", "t.rc:4: ','"},
        {"9 DIALOGEX 0, 0, 10, 10\nBEGIN\n  LTEXT \"open, 1, 1, 1, 1, 1\nEND\n", "t.rc:3: unterminated string"},
    };
    for (const auto& row : broken) {
        SCOPED_TRACE(row.script);
        try {
            parseRc(row.script, ".", "t.rc");
            ADD_FAILURE() << "no error";
        } catch (const RcParseError& e) {
            EXPECT_NE(std::string(e.what()).find(row.where), std::string::npos) << e.what();
        }
    }
}

}  // namespace
}  // namespace kelp
