// A reader for the parts of res/kelp.rc that the test host needs: the
// DIALOGEX templates and the STRINGTABLE. Names are resolved through the
// #defines of the headers the script includes with quotes (resource.h) and a
// table of the Windows style constants the script uses; <...> includes are
// not read. Styles come out exactly as windres puts them into the binary
// template, so hidden, disabled, group and tab-stop flags seen by the tests
// are the ones Windows creates the controls with.
//
// It knows only the statements kelp.rc uses and throws RcParseError, naming
// the file and line, on anything else inside a dialog.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace kelp {

class RcParseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Style bits the tests and the fake dialog look at (winuser.h values).
namespace rcstyle {
constexpr std::uint32_t Popup = 0x80000000;
constexpr std::uint32_t Child = 0x40000000;
constexpr std::uint32_t Visible = 0x10000000;
constexpr std::uint32_t Disabled = 0x08000000;
constexpr std::uint32_t Caption = 0x00C00000;
constexpr std::uint32_t Border = 0x00800000;
constexpr std::uint32_t VScroll = 0x00200000;
constexpr std::uint32_t SysMenu = 0x00080000;
constexpr std::uint32_t Group = 0x00020000;
constexpr std::uint32_t TabStop = 0x00010000;
constexpr std::uint32_t MinimizeBox = 0x00020000;  // on a top-level window
constexpr std::uint32_t MaximizeBox = 0x00010000;
constexpr std::uint32_t DsSetFont = 0x40;
constexpr std::uint32_t DsModalFrame = 0x80;
constexpr std::uint32_t DsCenter = 0x800;
constexpr std::uint32_t ExTransparent = 0x20;
constexpr std::uint32_t ExAppWindow = 0x40000;
constexpr std::uint32_t ButtonTypeMask = 0xF;
constexpr std::uint32_t BsAutoCheckBox = 3;
constexpr std::uint32_t BsAutoRadioButton = 9;
constexpr std::uint32_t SsNoPrefix = 0x80;
constexpr std::uint32_t EsAutoHScroll = 0x80;
constexpr std::uint32_t EsReadOnly = 0x800;
constexpr std::uint32_t CbsTypeMask = 0x3;
constexpr std::uint32_t CbsDropDownList = 0x3;
constexpr std::uint32_t CbsSort = 0x100;
constexpr std::uint32_t LvsTypeMask = 0x3;
constexpr std::uint32_t LvsReport = 0x1;
constexpr std::uint32_t LvsSingleSel = 0x4;
constexpr std::uint32_t LvsShowSelAlways = 0x8;
constexpr std::uint32_t TbsNoTicks = 0x10;
}  // namespace rcstyle

enum class ControlKind {
    Button,  // a button style other than the ones below
    PushButton,
    DefPushButton,
    Radio,
    Check,
    GroupBox,
    Static,
    Icon,
    Edit,
    ComboBox,
    ListView,
    Progress,
    Trackbar,
};

const char* kindName(ControlKind kind);

struct RcControl {
    int id = 0;
    ControlKind kind = ControlKind::Static;
    std::string className;  // as written in the script, or the class of the statement
    std::string text;       // UTF-8; "#128" for a resource ordinal (an icon)
    int x = 0, y = 0, width = 0, height = 0;
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    int line = 0;  // where the control is in the script

    bool has(std::uint32_t bits) const { return (style & bits) == bits; }
    bool visible() const { return has(rcstyle::Visible); }
    bool disabled() const { return has(rcstyle::Disabled); }
    bool group() const { return has(rcstyle::Group); }
    bool tabStop() const { return has(rcstyle::TabStop); }
    // An automatic check box or radio button changes its own state on a click.
    bool automatic() const;
};

struct RcDialog {
    int id = 0;
    int x = 0, y = 0, width = 0, height = 0;
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    std::string caption;
    std::string fontName;
    int fontSize = 0;
    int fontWeight = 0;
    int fontCharset = 0;
    std::vector<RcControl> controls;  // in template (creation) order

    bool has(std::uint32_t bits) const { return (style & bits) == bits; }
    // The first control with this id, or nullptr.
    const RcControl* find(int controlId) const;
};

struct RcResources {
    std::vector<RcDialog> dialogs;  // in script order
    std::map<int, std::string> strings;
    std::map<std::string, std::int64_t> symbols;  // from the quoted includes

    const RcDialog* findDialog(int id) const;
};

// Parses script text; quoted #includes are read relative to baseDir.
RcResources parseRc(const std::string& text, const std::string& baseDir, const std::string& fileName = "<rc>");
RcResources loadRcFile(const std::string& path);

// res/kelp.rc of this source tree (KELP_RC_PATH), read once.
const RcResources& kelpResources();

}  // namespace kelp
