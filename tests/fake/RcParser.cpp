#include "fake/RcParser.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <sstream>

namespace kelp {
namespace {

using Symbols = std::map<std::string, std::int64_t>;

// The Windows constants kelp.rc may name (winuser.h, commctrl.h, winnt.h).
const Symbols& windowsConstants() {
    static const Symbols table = {
        {"WS_OVERLAPPED", 0x00000000}, {"WS_POPUP", 0x80000000},     {"WS_CHILD", 0x40000000},
        {"WS_MINIMIZE", 0x20000000},   {"WS_VISIBLE", 0x10000000},   {"WS_DISABLED", 0x08000000},
        {"WS_CLIPSIBLINGS", 0x04000000}, {"WS_CLIPCHILDREN", 0x02000000}, {"WS_MAXIMIZE", 0x01000000},
        {"WS_CAPTION", 0x00C00000},    {"WS_BORDER", 0x00800000},    {"WS_DLGFRAME", 0x00400000},
        {"WS_VSCROLL", 0x00200000},    {"WS_HSCROLL", 0x00100000},   {"WS_SYSMENU", 0x00080000},
        {"WS_THICKFRAME", 0x00040000}, {"WS_GROUP", 0x00020000},     {"WS_TABSTOP", 0x00010000},
        {"WS_MINIMIZEBOX", 0x00020000}, {"WS_MAXIMIZEBOX", 0x00010000},
        {"WS_EX_DLGMODALFRAME", 0x1},  {"WS_EX_TOPMOST", 0x8},       {"WS_EX_TRANSPARENT", 0x20},
        {"WS_EX_TOOLWINDOW", 0x80},    {"WS_EX_WINDOWEDGE", 0x100},  {"WS_EX_CLIENTEDGE", 0x200},
        {"WS_EX_STATICEDGE", 0x20000}, {"WS_EX_APPWINDOW", 0x40000},
        {"DS_ABSALIGN", 0x1},          {"DS_SYSMODAL", 0x2},         {"DS_3DLOOK", 0x4},
        {"DS_FIXEDSYS", 0x8},          {"DS_NOFAILCREATE", 0x10},    {"DS_LOCALEDIT", 0x20},
        {"DS_SETFONT", 0x40},          {"DS_MODALFRAME", 0x80},      {"DS_NOIDLEMSG", 0x100},
        {"DS_SETFOREGROUND", 0x200},   {"DS_CONTROL", 0x400},        {"DS_CENTER", 0x800},
        {"DS_CENTERMOUSE", 0x1000},    {"DS_CONTEXTHELP", 0x2000},   {"DS_SHELLFONT", 0x48},
        {"BS_PUSHBUTTON", 0x0},        {"BS_DEFPUSHBUTTON", 0x1},    {"BS_CHECKBOX", 0x2},
        {"BS_AUTOCHECKBOX", 0x3},      {"BS_RADIOBUTTON", 0x4},      {"BS_3STATE", 0x5},
        {"BS_AUTO3STATE", 0x6},        {"BS_GROUPBOX", 0x7},         {"BS_AUTORADIOBUTTON", 0x9},
        {"BS_LEFTTEXT", 0x20},         {"BS_MULTILINE", 0x2000},     {"BS_NOTIFY", 0x4000},
        {"SS_LEFT", 0x0},              {"SS_CENTER", 0x1},           {"SS_RIGHT", 0x2},
        {"SS_ICON", 0x3},              {"SS_LEFTNOWORDWRAP", 0xC},   {"SS_NOPREFIX", 0x80},
        {"SS_NOTIFY", 0x100},          {"SS_CENTERIMAGE", 0x200},    {"SS_SUNKEN", 0x1000},
        {"ES_LEFT", 0x0},              {"ES_CENTER", 0x1},           {"ES_RIGHT", 0x2},
        {"ES_MULTILINE", 0x4},         {"ES_PASSWORD", 0x20},        {"ES_AUTOVSCROLL", 0x40},
        {"ES_AUTOHSCROLL", 0x80},      {"ES_READONLY", 0x800},       {"ES_NUMBER", 0x2000},
        {"CBS_SIMPLE", 0x1},           {"CBS_DROPDOWN", 0x2},        {"CBS_DROPDOWNLIST", 0x3},
        {"CBS_AUTOHSCROLL", 0x40},     {"CBS_SORT", 0x100},          {"CBS_HASSTRINGS", 0x200},
        {"LVS_ICON", 0x0},             {"LVS_REPORT", 0x1},          {"LVS_SMALLICON", 0x2},
        {"LVS_LIST", 0x3},             {"LVS_SINGLESEL", 0x4},       {"LVS_SHOWSELALWAYS", 0x8},
        {"LVS_SORTASCENDING", 0x10},   {"LVS_SORTDESCENDING", 0x20}, {"LVS_ALIGNLEFT", 0x800},
        {"LVS_NOSORTHEADER", 0x8000},
        {"TBS_AUTOTICKS", 0x1},        {"TBS_VERT", 0x2},            {"TBS_HORZ", 0x0},
        {"TBS_TOP", 0x4},              {"TBS_BOTH", 0x8},            {"TBS_NOTICKS", 0x10},
        {"PBS_SMOOTH", 0x1},
        {"IDOK", 1},                   {"IDCANCEL", 2},
        {"LANG_NEUTRAL", 0},           {"SUBLANG_NEUTRAL", 0},       {"SUBLANG_DEFAULT", 1},
        {"LANG_CHINESE", 0x04},        {"SUBLANG_CHINESE_SIMPLIFIED", 0x02},
        {"LANG_ENGLISH", 0x09},        {"SUBLANG_ENGLISH_US", 0x01},
    };
    return table;
}

struct Token {
    enum Kind { Name, Number, String, Punct, End } kind = End;
    std::string text;  // a name as written, a string's contents, a punctuation character
    std::int64_t number = 0;
    int line = 0;
};

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw RcParseError("cannot read " + path);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string directoryOf(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::int64_t evaluate(const std::vector<Token>& tokens, const Symbols& symbols, const std::string& where);

// Splits script text into tokens. Preprocessor lines are handled here:
// #define adds to the symbols, #include "x" reads x's #defines, everything
// else (#pragma, #include <x>, conditionals) is passed over.
class Lexer {
public:
    Lexer(const std::string& text, std::string fileName, std::string baseDir, Symbols& symbols, int firstLine = 1)
        : text_(text), fileName_(std::move(fileName)), baseDir_(std::move(baseDir)), symbols_(symbols), line_(firstLine) {}

    std::vector<Token> run(bool directives) {
        std::vector<Token> tokens;
        bool lineStart = true;
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == '\n') {
                ++line_;
                ++pos_;
                lineStart = true;
                continue;
            }
            if (std::isspace(static_cast<unsigned char>(c))) {
                ++pos_;
                continue;
            }
            if (c == '/' && peekChar(1) == '/') {
                while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
                continue;
            }
            if (c == '/' && peekChar(1) == '*') {
                const auto close = text_.find("*/", pos_ + 2);
                if (close == std::string::npos) fail("unterminated comment");
                line_ += static_cast<int>(std::count(text_.begin() + static_cast<std::ptrdiff_t>(pos_),
                                                     text_.begin() + static_cast<std::ptrdiff_t>(close), '\n'));
                pos_ = close + 2;
                continue;
            }
            if (c == '#' && lineStart && directives) {
                directive();
                continue;
            }
            lineStart = false;
            if (c == '"' || ((c == 'L' || c == 'l') && peekChar(1) == '"')) {
                tokens.push_back(stringToken());
            } else if (std::isdigit(static_cast<unsigned char>(c))) {
                tokens.push_back(numberToken());
            } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
                Token t{Token::Name, {}, 0, line_};
                while (pos_ < text_.size() &&
                       (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_'))
                    t.text += text_[pos_++];
                tokens.push_back(t);
            } else {
                tokens.push_back(Token{Token::Punct, std::string(1, c), 0, line_});
                ++pos_;
            }
        }
        tokens.push_back(Token{Token::End, {}, 0, line_});
        return tokens;
    }

private:
    char peekChar(std::size_t ahead) const {
        return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
    }

    [[noreturn]] void fail(const std::string& what) const {
        throw RcParseError(fileName_ + ":" + std::to_string(line_) + ": " + what);
    }

    Token stringToken() {
        Token t{Token::String, {}, 0, line_};
        if (text_[pos_] != '"') ++pos_;  // L prefix
        ++pos_;
        for (;;) {
            if (pos_ >= text_.size() || text_[pos_] == '\n') fail("unterminated string");
            const char c = text_[pos_++];
            if (c == '"') {
                if (peekChar(0) == '"') {  // "" stands for one quote
                    t.text += '"';
                    ++pos_;
                    continue;
                }
                return t;
            }
            if (c == '\\' && pos_ < text_.size()) {
                const char e = text_[pos_++];
                switch (e) {
                    case 'n': t.text += '\n'; break;
                    case 't': t.text += '\t'; break;
                    case 'r': t.text += '\r'; break;
                    case 'a': t.text += '\b'; break;  // rc: right-aligned menu text marker
                    case '\\': t.text += '\\'; break;
                    case '"': t.text += '"'; break;
                    default: t.text += '\\'; t.text += e; break;
                }
                continue;
            }
            t.text += c;
        }
    }

    Token numberToken() {
        Token t{Token::Number, {}, 0, line_};
        const std::size_t start = pos_;
        int base = 10;
        if (text_[pos_] == '0' && (peekChar(1) == 'x' || peekChar(1) == 'X')) {
            base = 16;
            pos_ += 2;
        }
        std::uint64_t value = 0;
        bool digits = false;
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            int digit;
            if (std::isdigit(static_cast<unsigned char>(c)))
                digit = c - '0';
            else if (base == 16 && std::isxdigit(static_cast<unsigned char>(c)))
                digit = std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
            else
                break;
            value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
            digits = true;
            ++pos_;
        }
        while (pos_ < text_.size() && text_[pos_] != '\0' && std::strchr("lLuU", text_[pos_])) ++pos_;
        if (!digits) fail("bad number " + text_.substr(start, pos_ - start));
        t.number = static_cast<std::int64_t>(value);
        t.text = text_.substr(start, pos_ - start);
        return t;
    }

    // One preprocessor line, continuation lines included.
    void directive() {
        const int line = line_;
        std::string body;
        ++pos_;  // '#'
        while (pos_ < text_.size() && text_[pos_] != '\n') {
            if (text_[pos_] == '\\' && peekChar(1) == '\n') {
                pos_ += 2;
                ++line_;
                continue;
            }
            body += text_[pos_++];
        }
        std::size_t i = body.find_first_not_of(" \t");
        if (i == std::string::npos) return;
        std::size_t end = i;
        while (end < body.size() && std::isalpha(static_cast<unsigned char>(body[end]))) ++end;
        const std::string word = body.substr(i, end - i);
        const std::string rest = body.substr(end);
        if (word == "define")
            define(rest, line);
        else if (word == "undef")
            undefine(rest);
        else if (word == "include")
            include(rest, line);
        // #pragma, #if..., #endif: nothing the templates depend on
    }

    void define(const std::string& rest, int line) {
        std::size_t i = rest.find_first_not_of(" \t");
        if (i == std::string::npos) return;
        std::size_t end = i;
        while (end < rest.size() && (std::isalnum(static_cast<unsigned char>(rest[end])) || rest[end] == '_')) ++end;
        const std::string name = rest.substr(i, end - i);
        if (name.empty() || (end < rest.size() && rest[end] == '(')) return;  // function-like macro
        Symbols scratch;
        Lexer valueLexer(rest.substr(end), fileName_, baseDir_, scratch, line);
        const std::vector<Token> value = valueLexer.run(false);
        if (value.size() == 1) return;  // defined without a value
        try {
            symbols_[name] = evaluate(value, symbols_, fileName_);
        } catch (const RcParseError&) {
            // a macro that is not a number (a string, a type): not ours to resolve
        }
    }

    void undefine(const std::string& rest) {
        std::istringstream in(rest);
        std::string name;
        in >> name;
        symbols_.erase(name);
    }

    void include(const std::string& rest, int line) {
        const auto open = rest.find('"');
        if (open == std::string::npos) return;  // <system header>: its constants are in windowsConstants()
        const auto close = rest.find('"', open + 1);
        if (close == std::string::npos) {
            line_ = line;
            fail("bad #include");
        }
        const std::string path = baseDir_ + "/" + rest.substr(open + 1, close - open - 1);
        const std::string header = readFile(path);
        Lexer headerLexer(header, path, directoryOf(path), symbols_);
        headerLexer.run(true);  // only its #defines matter
    }

    std::string text_;
    std::string fileName_;
    std::string baseDir_;
    Symbols& symbols_;
    std::size_t pos_ = 0;
    int line_;
};

class Parser {
public:
    Parser(std::vector<Token> tokens, const Symbols& symbols, std::string fileName)
        : tokens_(std::move(tokens)), symbols_(symbols), fileName_(std::move(fileName)) {}

    // A whole expression that must use every token.
    std::int64_t wholeExpression() {
        const std::int64_t value = expression();
        if (peek().kind != Token::End) fail(peek(), "unexpected '" + peek().text + "'");
        return value;
    }

    RcResources script() {
        RcResources out;
        while (peek().kind != Token::End) {
            if (keyword(peek(), "LANGUAGE")) {
                next();
                expression();
                comma();
                expression();
            } else if (keyword(peek(), "STRINGTABLE")) {
                next();
                stringTable(out);
            } else {
                const Token name = next();
                const Token type = next();
                if (keyword(type, "DIALOGEX") || keyword(type, "DIALOG"))
                    out.dialogs.push_back(dialog(name));
                else
                    skipResource(type);
            }
        }
        return out;
    }

private:
    const Token& peek(std::size_t ahead = 0) const {
        return tokens_[std::min(pos_ + ahead, tokens_.size() - 1)];
    }
    Token next() {
        const Token& t = peek();
        if (t.kind != Token::End) ++pos_;
        return t;
    }
    static bool keyword(const Token& t, const char* word) { return t.kind == Token::Name && upper(t.text) == word; }
    static bool punct(const Token& t, char c) { return t.kind == Token::Punct && t.text[0] == c; }
    static bool blockStart(const Token& t) { return keyword(t, "BEGIN") || punct(t, '{'); }
    static bool blockEnd(const Token& t) { return keyword(t, "END") || punct(t, '}'); }

    [[noreturn]] void fail(const Token& at, const std::string& what) const {
        throw RcParseError(fileName_ + ":" + std::to_string(at.line) + ": " + what);
    }

    void comma() {
        if (!punct(peek(), ',')) fail(peek(), "',' expected before '" + peek().text + "'");
        next();
    }
    bool acceptComma() {
        if (!punct(peek(), ',')) return false;
        next();
        return true;
    }

    std::int64_t lookup(const Token& t) const {
        if (auto it = symbols_.find(t.text); it != symbols_.end()) return it->second;
        if (auto it = windowsConstants().find(t.text); it != windowsConstants().end()) return it->second;
        fail(t, "unknown name " + t.text + " (not in resource.h nor in the parser's table of Windows constants)");
    }

    std::int64_t unary() {
        const Token t = next();
        if (t.kind == Token::Number) return t.number;
        if (t.kind == Token::Name) return lookup(t);
        if (punct(t, '(')) {
            const std::int64_t value = expression();
            if (!punct(peek(), ')')) fail(peek(), "')' expected");
            next();
            return value;
        }
        if (punct(t, '-')) return -unary();
        if (punct(t, '~')) return ~unary();
        if (punct(t, '+')) return unary();
        fail(t, "number expected, found '" + t.text + "'");
    }

    static int precedence(const Token& t) {
        if (t.kind != Token::Punct) return 0;
        switch (t.text[0]) {
            case '|': return 1;
            case '^': return 2;
            case '&': return 3;
            case '+': case '-': return 4;
            case '*': case '/': case '%': return 5;
            default: return 0;
        }
    }

    std::int64_t expression(int minPrecedence = 1) {
        std::int64_t left = unary();
        while (precedence(peek()) >= minPrecedence) {
            const Token op = next();
            const std::int64_t right = expression(precedence(op) + 1);
            switch (op.text[0]) {
                case '|': left |= right; break;
                case '^': left ^= right; break;
                case '&': left &= right; break;
                case '+': left += right; break;
                case '-': left -= right; break;
                case '*': left *= right; break;
                case '/':
                case '%':
                    if (right == 0) fail(op, "division by zero");
                    left = op.text[0] == '/' ? left / right : left % right;
                    break;
            }
        }
        return left;
    }

    int integer() { return static_cast<int>(expression()); }

    // A style as rc reads it: terms joined by '|', each term may be NOT x,
    // which clears x from the style built so far (the statement's base style
    // included).
    std::uint32_t styleExpression(std::uint32_t style) {
        for (;;) {
            if (keyword(peek(), "NOT")) {
                next();
                style &= ~static_cast<std::uint32_t>(unary());
            } else {
                style |= static_cast<std::uint32_t>(unary());
            }
            if (!punct(peek(), '|')) return style;
            next();
        }
    }

    std::string text() {
        const Token t = next();
        if (t.kind != Token::String) fail(t, "text in quotes expected, found '" + t.text + "'");
        return t.text;
    }

    void skipBlock() {  // the opening BEGIN has been read
        int depth = 1;
        while (depth > 0) {
            const Token t = next();
            if (t.kind == Token::End) fail(t, "END missing");
            if (blockStart(t)) ++depth;
            if (blockEnd(t)) --depth;
        }
    }

    // A resource the tests do not need: a file reference on the statement's
    // line (ICON "x.ico", 24 "x.manifest") or a BEGIN...END block after
    // header lines (VERSIONINFO, MENU, DLGINIT).
    void skipResource(const Token& type) {
        for (;;) {
            const Token t = next();
            if (t.kind == Token::End) fail(type, "unfinished resource statement " + type.text);
            if (blockStart(t)) {
                skipBlock();
                return;
            }
            if (t.kind == Token::String && peek().line > t.line) return;
        }
    }

    void stringTable(RcResources& out) {
        while (!blockStart(peek())) {
            if (peek().kind == Token::End) fail(peek(), "BEGIN missing after STRINGTABLE");
            next();  // memory flags, LANGUAGE x, y
        }
        next();
        while (!blockEnd(peek())) {
            const int id = integer();
            acceptComma();
            out.strings[id] = text();
        }
        next();
    }

    struct Statement {
        const char* keyword;
        bool hasText;
        const char* className;
        std::uint32_t defaultStyle;  // when no style is given
        std::uint32_t baseStyle;     // what a given style expression modifies
    };

    // The control statements and their styles as windres writes them.
    static const Statement* statement(const std::string& word) {
        static const Statement table[] = {
            {"LTEXT", true, "Static", 0x0 | rcstyle::Group, 0x0},
            {"CTEXT", true, "Static", 0x1 | rcstyle::Group, 0x1},
            {"RTEXT", true, "Static", 0x2 | rcstyle::Group, 0x2},
            {"PUSHBUTTON", true, "Button", 0x0 | rcstyle::TabStop, 0x0 | rcstyle::TabStop},
            {"DEFPUSHBUTTON", true, "Button", 0x1 | rcstyle::TabStop, 0x1 | rcstyle::TabStop},
            {"CHECKBOX", true, "Button", 0x2 | rcstyle::TabStop, 0x2 | rcstyle::TabStop},
            {"AUTOCHECKBOX", true, "Button", 0x3 | rcstyle::TabStop, 0x3},
            {"RADIOBUTTON", true, "Button", 0x4 | rcstyle::TabStop, 0x4},
            {"AUTORADIOBUTTON", true, "Button", 0x9 | rcstyle::TabStop, 0x9},
            {"GROUPBOX", true, "Button", 0x7, 0x7},
            {"EDITTEXT", false, "Edit", rcstyle::Border | rcstyle::TabStop, rcstyle::Border | rcstyle::TabStop},
            {"COMBOBOX", false, "ComboBox", 0x1 | rcstyle::TabStop, 0x0},
        };
        for (const auto& s : table)
            if (word == s.keyword) return &s;
        return nullptr;
    }

    static ControlKind kindOf(const std::string& className, std::uint32_t style, bool& known) {
        known = true;
        const std::string cls = upper(className);
        if (cls == "BUTTON") {
            switch (style & rcstyle::ButtonTypeMask) {
                case 0x0: return ControlKind::PushButton;
                case 0x1: return ControlKind::DefPushButton;
                case 0x2: case 0x3: case 0x5: case 0x6: return ControlKind::Check;
                case 0x4: case 0x9: return ControlKind::Radio;
                case 0x7: return ControlKind::GroupBox;
                default: return ControlKind::Button;
            }
        }
        if (cls == "STATIC") return (style & 0x1F) == 0x3 ? ControlKind::Icon : ControlKind::Static;
        if (cls == "EDIT") return ControlKind::Edit;
        if (cls == "COMBOBOX") return ControlKind::ComboBox;
        if (cls == "SYSLISTVIEW32") return ControlKind::ListView;
        if (cls == "MSCTLS_PROGRESS32") return ControlKind::Progress;
        if (cls == "MSCTLS_TRACKBAR32") return ControlKind::Trackbar;
        known = false;
        return ControlKind::Static;
    }

    RcControl control() {
        const Token start = next();
        RcControl c;
        c.line = start.line;
        constexpr std::uint32_t childVisible = rcstyle::Child | rcstyle::Visible;
        if (keyword(start, "CONTROL")) {
            if (peek().kind == Token::String)
                c.text = text();
            else
                c.text = "#" + std::to_string(expression());  // a resource ordinal (an icon)
            comma();
            c.id = integer();
            comma();
            const Token cls = next();
            if (cls.kind != Token::String && cls.kind != Token::Name) fail(cls, "class name expected");
            c.className = cls.text;
            comma();
            c.style = styleExpression(childVisible);
            comma();
            c.x = integer(); comma();
            c.y = integer(); comma();
            c.width = integer(); comma();
            c.height = integer();
            if (acceptComma()) {
                c.exStyle = static_cast<std::uint32_t>(expression());
                if (acceptComma()) expression();  // help id
            }
        } else {
            const Statement* s = start.kind == Token::Name ? statement(upper(start.text)) : nullptr;
            if (!s) fail(start, "control statement the test parser does not know: '" + start.text + "'");
            c.className = s->className;
            if (s->hasText) {
                c.text = text();
                acceptComma();
            }
            c.id = integer(); comma();
            c.x = integer(); comma();
            c.y = integer(); comma();
            c.width = integer(); comma();
            c.height = integer();
            if (acceptComma()) {
                c.style = styleExpression(s->baseStyle | childVisible);
                if (acceptComma()) {
                    c.exStyle = static_cast<std::uint32_t>(expression());
                    if (acceptComma()) expression();  // help id
                }
            } else {
                c.style = s->defaultStyle | childVisible;
            }
        }
        bool known = false;
        c.kind = kindOf(c.className, c.style, known);
        if (!known) fail(start, "control class the test parser does not know: " + c.className);
        return c;
    }

    RcDialog dialog(const Token& name) {
        RcDialog d;
        if (name.kind == Token::Number)
            d.id = static_cast<int>(name.number);
        else if (name.kind == Token::Name)
            d.id = static_cast<int>(lookup(name));
        else
            fail(name, "dialog name expected");
        d.x = integer(); comma();
        d.y = integer(); comma();
        d.width = integer(); comma();
        d.height = integer();
        if (acceptComma()) expression();  // help id

        // As windres: without STYLE a dialog is WS_POPUP|WS_BORDER|WS_SYSMENU;
        // CAPTION adds WS_CAPTION and FONT adds DS_SETFONT, before or after STYLE.
        std::uint32_t statedStyle = 0;
        d.style = rcstyle::Popup | rcstyle::Border | rcstyle::SysMenu;
        while (!blockStart(peek())) {
            const Token t = next();
            if (keyword(t, "STYLE")) {
                statedStyle = styleExpression(statedStyle);
                d.style = statedStyle;
            } else if (keyword(t, "EXSTYLE")) {
                d.exStyle = static_cast<std::uint32_t>(expression());
            } else if (keyword(t, "CAPTION")) {
                d.caption = text();
                d.style |= rcstyle::Caption;
                statedStyle |= rcstyle::Caption;
            } else if (keyword(t, "FONT")) {
                d.fontSize = integer();
                comma();
                d.fontName = text();
                d.fontCharset = 1;  // DEFAULT_CHARSET
                if (acceptComma()) {
                    d.fontWeight = integer();
                    if (acceptComma()) {
                        integer();  // italic
                        if (acceptComma()) d.fontCharset = integer();
                    }
                }
                d.style |= rcstyle::DsSetFont;
                statedStyle |= rcstyle::DsSetFont;
            } else if (keyword(t, "LANGUAGE")) {
                expression();
                comma();
                expression();
            } else if (keyword(t, "MENU") || keyword(t, "CLASS")) {
                next();
            } else if (keyword(t, "CHARACTERISTICS") || keyword(t, "VERSION")) {
                expression();
            } else {
                fail(t, "dialog option the test parser does not know: '" + t.text + "'");
            }
        }
        next();
        while (!blockEnd(peek())) {
            if (peek().kind == Token::End) fail(peek(), "END of dialog missing");
            d.controls.push_back(control());
        }
        next();
        return d;
    }

    std::vector<Token> tokens_;
    std::size_t pos_ = 0;
    const Symbols& symbols_;
    std::string fileName_;
};

std::int64_t evaluate(const std::vector<Token>& tokens, const Symbols& symbols, const std::string& where) {
    return Parser(tokens, symbols, where).wholeExpression();
}

}  // namespace

const char* kindName(ControlKind kind) {
    switch (kind) {
        case ControlKind::Button: return "button";
        case ControlKind::PushButton: return "push button";
        case ControlKind::DefPushButton: return "default push button";
        case ControlKind::Radio: return "radio button";
        case ControlKind::Check: return "check box";
        case ControlKind::GroupBox: return "group box";
        case ControlKind::Static: return "static text";
        case ControlKind::Icon: return "icon";
        case ControlKind::Edit: return "edit box";
        case ControlKind::ComboBox: return "combo box";
        case ControlKind::ListView: return "list view";
        case ControlKind::Progress: return "progress bar";
        case ControlKind::Trackbar: return "trackbar";
    }
    return "?";
}

bool RcControl::automatic() const {
    const std::uint32_t type = style & rcstyle::ButtonTypeMask;
    return (kind == ControlKind::Check && (type == rcstyle::BsAutoCheckBox || type == 0x6)) ||
           (kind == ControlKind::Radio && type == rcstyle::BsAutoRadioButton);
}

const RcControl* RcDialog::find(int controlId) const {
    for (const auto& c : controls)
        if (c.id == controlId) return &c;
    return nullptr;
}

const RcDialog* RcResources::findDialog(int id) const {
    for (const auto& d : dialogs)
        if (d.id == id) return &d;
    return nullptr;
}

RcResources parseRc(const std::string& text, const std::string& baseDir, const std::string& fileName) {
    Symbols symbols;
    Lexer lexer(text, fileName, baseDir, symbols);
    std::vector<Token> tokens = lexer.run(true);
    RcResources out = Parser(std::move(tokens), symbols, fileName).script();
    out.symbols = std::move(symbols);
    return out;
}

RcResources loadRcFile(const std::string& path) { return parseRc(readFile(path), directoryOf(path), path); }

const RcResources& kelpResources() {
    static const RcResources resources = loadRcFile(KELP_RC_PATH);
    return resources;
}

}  // namespace kelp
