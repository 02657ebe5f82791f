#include "fake/FakeDialog.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace kelp {

namespace {

// CB_ADDSTRING into a CBS_SORT list: case-insensitive order, new rows after
// equal ones.
bool sortsBefore(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

FakeDialog::FakeDialog(const RcDialog& dialogTemplate, const RcResources& resources, WindowHandle handle,
                       FakeDialogHost* host)
    : template_(dialogTemplate), resources_(&resources), handle_(handle), host_(host) {
    controls_.reserve(template_.controls.size());
    for (const auto& t : template_.controls) {
        Control c;
        c.tmpl = t;
        c.text = t.text;
        c.visible = t.visible();
        c.enabled = !t.disabled();
        c.tabStop = t.tabStop();
        controls_.push_back(std::move(c));
    }
}

// ---- lookup and misuse

void FakeDialog::misuse(const std::string& what) const {
    throw FakeDialogMisuse("FakeDialog " + std::to_string(template_.id) + ": " + what);
}

FakeDialog::Control& FakeDialog::find(int id, const char* operation) {
    return const_cast<Control&>(static_cast<const FakeDialog&>(*this).find(id, operation));
}

const FakeDialog::Control& FakeDialog::find(int id, const char* operation) const {
    if (id == -1) misuse(std::string(operation) + "(-1): IDC_STATIC controls cannot be addressed by id");
    for (const auto& c : controls_)
        if (c.tmpl.id == id) return c;
    misuse(std::string(operation) + "(" + std::to_string(id) + "): the template has no control " +
           std::to_string(id));
}

FakeDialog::Control& FakeDialog::findKind(int id, const char* operation, std::initializer_list<ControlKind> kinds) {
    return const_cast<Control&>(static_cast<const FakeDialog&>(*this).findKind(id, operation, kinds));
}

const FakeDialog::Control& FakeDialog::findKind(int id, const char* operation,
                                                std::initializer_list<ControlKind> kinds) const {
    const Control& c = find(id, operation);
    if (std::find(kinds.begin(), kinds.end(), c.tmpl.kind) == kinds.end())
        misuse(std::string(operation) + "(" + std::to_string(id) + "): control " + std::to_string(id) + " is a " +
               kindName(c.tmpl.kind));
    return c;
}

void FakeDialog::checkRow(const Control& c, const char* operation, int row, std::size_t count) const {
    if (row < 0 || static_cast<std::size_t>(row) >= count)
        misuse(std::string(operation) + "(" + std::to_string(c.tmpl.id) + "): row " + std::to_string(row) +
               " out of range (" + std::to_string(count) + " rows)");
}

// ---- texts, checks, enabled state

void FakeDialog::setText(int id, const std::string& text) {
    findKind(id, "setText",
             {ControlKind::Button, ControlKind::PushButton, ControlKind::DefPushButton, ControlKind::Radio,
              ControlKind::Check, ControlKind::GroupBox, ControlKind::Static, ControlKind::Edit})
        .text = text;
}

// A drop-down list's window text is its selected row.
std::string FakeDialog::text(int id) const {
    const Control& c = find(id, "text");
    if (c.tmpl.kind == ControlKind::ComboBox) return c.selection >= 0 ? c.rows[static_cast<std::size_t>(c.selection)] : "";
    return c.text;
}

// BM_SETCHECK gives a checked radio button the tab stop and takes it from an
// unchecked one, so that Tab reaches the group at its checked button.
void FakeDialog::setCheckState(Control& c, bool checked) {
    c.checked = checked;
    if (c.tmpl.kind == ControlKind::Radio) c.tabStop = checked;
}

void FakeDialog::setCheck(int id, bool checked) {
    setCheckState(findKind(id, "setCheck", {ControlKind::Check, ControlKind::Radio}), checked);
}

bool FakeDialog::isChecked(int id) const {
    return findKind(id, "isChecked", {ControlKind::Check, ControlKind::Radio}).checked;
}

// A window that loses its enabled state loses the focus too.
void FakeDialog::show(int id, bool visible) {
    Control& c = find(id, "show");
    c.visible = visible;
    if (!visible && focus_ && &controls_[*focus_] == &c) focus_.reset();
}

void FakeDialog::enable(int id, bool enabled) {
    Control& c = find(id, "enable");
    c.enabled = enabled;
    if (!enabled && focus_ && &controls_[*focus_] == &c) focus_.reset();
}

bool FakeDialog::isEnabled(int id) const { return find(id, "isEnabled").enabled; }

void FakeDialog::focusControl(int id) {
    Control& c = find(id, "focusControl");
    if (c.visible && c.enabled && takesFocus(c)) focus_ = static_cast<std::size_t>(&c - controls_.data());
}

// ---- combo boxes

void FakeDialog::comboReset(int id) {
    Control& c = findKind(id, "comboReset", {ControlKind::ComboBox});
    c.rows.clear();
    c.selection = -1;
}

void FakeDialog::comboAdd(int id, const std::string& text) {
    Control& c = findKind(id, "comboAdd", {ControlKind::ComboBox});
    if (c.tmpl.has(rcstyle::CbsSort)) {
        const auto at = std::upper_bound(c.rows.begin(), c.rows.end(), text, sortsBefore);
        const auto index = static_cast<int>(at - c.rows.begin());
        c.rows.insert(at, text);
        if (c.selection >= index) ++c.selection;
    } else {
        c.rows.push_back(text);
    }
}

// Row -1 clears the selection.
void FakeDialog::comboSetSelection(int id, int row) {
    Control& c = findKind(id, "comboSetSelection", {ControlKind::ComboBox});
    if (row != -1) checkRow(c, "comboSetSelection", row, c.rows.size());
    c.selection = row;
}

int FakeDialog::comboSelection(int id) const { return findKind(id, "comboSelection", {ControlKind::ComboBox}).selection; }

int FakeDialog::comboCount(int id) const {
    return static_cast<int>(findKind(id, "comboCount", {ControlKind::ComboBox}).rows.size());
}

std::string FakeDialog::comboText(int id, int row) const {
    const Control& c = findKind(id, "comboText", {ControlKind::ComboBox});
    checkRow(c, "comboText", row, c.rows.size());
    return c.rows[static_cast<std::size_t>(row)];
}

// ---- list views

// LVM_SETEXTENDEDLISTVIEWSTYLE: a mask of 0 means every bit.
void FakeDialog::listChangeExtendedStyle(int id, unsigned mask, unsigned style) {
    Control& c = findKind(id, "listChangeExtendedStyle", {ControlKind::ListView});
    const unsigned bits = mask == 0 ? ~0u : mask;
    c.extendedStyle = (c.extendedStyle & ~bits) | (style & bits);
}

// LVM_INSERTCOLUMN: an index past the last column appends.
void FakeDialog::listInsertColumn(int id, int column, const std::string& heading, int width) {
    Control& c = findKind(id, "listInsertColumn", {ControlKind::ListView});
    if (column < 0) misuse("listInsertColumn(" + std::to_string(id) + "): column " + std::to_string(column));
    const std::size_t at = std::min(static_cast<std::size_t>(column), c.columns.size());
    c.columns.insert(c.columns.begin() + static_cast<std::ptrdiff_t>(at), ListColumn{heading, width});
    for (auto& row : c.cells) row.insert(row.begin() + static_cast<std::ptrdiff_t>(std::min(at, row.size())), "");
}

void FakeDialog::listDeleteAll(int id) {
    Control& c = findKind(id, "listDeleteAll", {ControlKind::ListView});
    c.cells.clear();
    c.selected.clear();
}

// The cells go to columns 0, 1, ...; a cell without a column would be lost
// by LVM_SETITEMTEXT, so it is a misuse here.
int FakeDialog::listAddRow(int id, const std::vector<std::string>& cells) {
    Control& c = findKind(id, "listAddRow", {ControlKind::ListView});
    const std::size_t columns = std::max<std::size_t>(c.columns.size(), 1);
    if (cells.empty() || cells.size() > columns)
        misuse("listAddRow(" + std::to_string(id) + "): " + std::to_string(cells.size()) + " cells for " +
               std::to_string(c.columns.size()) + " columns");
    std::vector<std::string> row = cells;
    row.resize(columns);
    c.cells.push_back(std::move(row));
    c.selected.push_back(false);
    return static_cast<int>(c.cells.size() - 1);
}

int FakeDialog::listRowCount(int id) const {
    return static_cast<int>(findKind(id, "listRowCount", {ControlKind::ListView}).cells.size());
}

std::string FakeDialog::listCell(int id, int row, int column) const {
    const Control& c = findKind(id, "listCell", {ControlKind::ListView});
    checkRow(c, "listCell", row, c.cells.size());
    const auto& cells = c.cells[static_cast<std::size_t>(row)];
    if (column < 0 || static_cast<std::size_t>(column) >= cells.size())
        misuse("listCell(" + std::to_string(id) + "): column " + std::to_string(column) + " out of range (" +
               std::to_string(cells.size()) + " columns)");
    return cells[static_cast<std::size_t>(column)];
}

// In a single-selection list selecting a row deselects the others.
void FakeDialog::listSelectRow(int id, int row) {
    Control& c = findKind(id, "listSelectRow", {ControlKind::ListView});
    checkRow(c, "listSelectRow", row, c.cells.size());
    if (c.tmpl.has(rcstyle::LvsSingleSel)) std::fill(c.selected.begin(), c.selected.end(), false);
    c.selected[static_cast<std::size_t>(row)] = true;
}

bool FakeDialog::listRowSelected(int id, int row) const {
    const Control& c = findKind(id, "listRowSelected", {ControlKind::ListView});
    checkRow(c, "listRowSelected", row, c.cells.size());
    return c.selected[static_cast<std::size_t>(row)];
}

// ---- progress bar: positions are kept inside the range, as PBM_SETPOS does.

void FakeDialog::progressSetRange(int id, int low, int high) {
    Control& c = findKind(id, "progressSetRange", {ControlKind::Progress});
    c.low = low;
    c.high = high;
    c.position = std::clamp(c.position, std::min(low, high), std::max(low, high));
}

void FakeDialog::progressSetPosition(int id, int position) {
    Control& c = findKind(id, "progressSetPosition", {ControlKind::Progress});
    c.position = std::clamp(position, std::min(c.low, c.high), std::max(c.low, c.high));
    c.history.push_back(c.position);
}

// ---- window-level operations

void FakeDialog::messageBox(const std::string& text, MessageIcon icon) {
    const MessageBoxRecord record{template_.id, text, icon};
    messages_.push_back(record);
    ++covers_;
    if (host_) host_->recordMessageBox(record);
    --covers_;
}

bool FakeDialog::askYesNo(const std::string& text) {
    if (!host_) return false;
    host_->questions_.push_back({template_.id, text, MessageIcon::Question});
    if (host_->answers_.empty()) return false;
    const bool yes = host_->answers_.front();
    host_->answers_.pop_front();
    return yes;
}

bool FakeDialog::appendSystemMenuSeparator() {
    if (!template_.has(rcstyle::SysMenu)) return false;
    systemMenu_.push_back(SystemMenuItem{true, 0, {}});
    return true;
}

bool FakeDialog::appendSystemMenuItem(unsigned command, const std::string& text) {
    if (!template_.has(rcstyle::SysMenu)) return false;
    systemMenu_.push_back(SystemMenuItem{false, command, text});
    return true;
}

// LoadString of a missing string gives 0 characters.
std::string FakeDialog::loadString(int id) const {
    const auto it = resources_->strings.find(id);
    return it == resources_->strings.end() ? std::string() : it->second;
}

WindowHandle FakeDialog::windowHandle() const { return handle_; }

int FakeDialog::dpi() const { return host_ ? host_->dpi() : 96; }

// EndDialog only marks the window; the handler that called it runs on, and
// a second call replaces the result.
void FakeDialog::end(int result) {
    ended_ = true;
    result_ = result;
    ++endCount_;
}

void FakeDialog::pumpMessages() {
    ++pumps_;
    if (pumpActions_.empty() || !page_ || ended_) return;
    const auto action = std::move(pumpActions_.front());
    pumpActions_.pop_front();
    action(*this);
}

// ---- the window's life

void FakeDialog::open(Page& page) {
    page_ = &page;
    page.attach(this);
}

// GetNextDlgTabItem(dialog, NULL, FALSE): the first visible, enabled control
// with the tab-stop style, in template order.
void FakeDialog::focusFirstTabStop() {
    focus_.reset();
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        const Control& c = controls_[i];
        if (c.visible && c.enabled && c.tabStop) {
            focus_ = i;
            return;
        }
    }
}

void FakeDialog::close() {
    if (page_) page_->attach(nullptr);
    page_ = nullptr;
}

// ---- user actions

void FakeDialog::requireInput(const char* action) const {
    if (!page_) misuse(std::string(action) + ": the dialog is not running");
    if (ended_) misuse(std::string(action) + ": the dialog has already ended (result " + std::to_string(result_) + ")");
    if (covers_ > 0) misuse(std::string(action) + ": the window is disabled under the page or box it opened");
}

void FakeDialog::dispatchCommand(int id, int code) {
    if (id == IdOk)
        page_->onOk();
    else if (id == IdCancel)
        page_->onCancel();
    else
        page_->onCommand(id, code);
}

bool FakeDialog::takesFocus(const Control& c) {
    switch (c.tmpl.kind) {
        case ControlKind::GroupBox:
        case ControlKind::Static:
        case ControlKind::Icon:
        case ControlKind::Progress:
            return false;
        default:
            return true;
    }
}

bool FakeDialog::click(int id) {
    requireInput("click");
    Control& c = findKind(id, "click",
                          {ControlKind::Button, ControlKind::PushButton, ControlKind::DefPushButton,
                           ControlKind::Radio, ControlKind::Check});
    if (!c.visible || !c.enabled) return false;
    focus_ = static_cast<std::size_t>(&c - controls_.data());
    if (c.tmpl.automatic() && c.tmpl.kind == ControlKind::Check) {
        setCheckState(c, !c.checked);
    } else if (c.tmpl.automatic() && c.tmpl.kind == ControlKind::Radio) {
        // The group runs from the nearest control at or before this one with
        // WS_GROUP up to the next control with WS_GROUP. Like the button
        // control, which walks the group with GetNextDlgGroupItem, only
        // visible and enabled automatic radio buttons are cleared.
        const std::size_t index = static_cast<std::size_t>(&c - controls_.data());
        std::size_t first = index;
        while (first > 0 && !controls_[first].tmpl.group()) --first;
        std::size_t last = first + 1;
        while (last < controls_.size() && !controls_[last].tmpl.group()) ++last;
        for (std::size_t i = first; i < last; ++i) {
            Control& other = controls_[i];
            if (i != index && other.tmpl.kind == ControlKind::Radio && other.tmpl.automatic() && other.visible &&
                other.enabled)
                setCheckState(other, false);
        }
        setCheckState(c, true);
    }
    dispatchCommand(id, ButtonClicked);
    return true;
}

bool FakeDialog::sendCommand(int id, int code) {
    if (!page_) misuse("sendCommand: the dialog is not running");
    if (id != IdOk && id != IdCancel) find(id, "sendCommand");
    if (covers_ > 0) return false;
    dispatchCommand(id, code);
    return true;
}

bool FakeDialog::pressEnter() {
    requireInput("pressEnter");
    if (focus_) {
        const Control& focused = controls_[*focus_];
        if (focused.tmpl.kind == ControlKind::PushButton || focused.tmpl.kind == ControlKind::DefPushButton) {
            dispatchCommand(focused.tmpl.id, ButtonClicked);
            return true;
        }
    }
    // The dialog's default id: the last default push button of the template.
    const Control* defaultButton = nullptr;
    for (const auto& c : controls_)
        if (c.tmpl.kind == ControlKind::DefPushButton) defaultButton = &c;
    if (defaultButton) {
        if (!defaultButton->enabled) return false;
        dispatchCommand(defaultButton->tmpl.id, ButtonClicked);
        return true;
    }
    dispatchCommand(IdOk, ButtonClicked);
    return true;
}

void FakeDialog::pressEsc() {
    requireInput("pressEsc");
    dispatchCommand(IdCancel, ButtonClicked);
}

// DefDlgProc's WM_CLOSE: IdCancel, unless a control 2 exists and is disabled.
void FakeDialog::defaultClose() {
    for (const auto& c : controls_)
        if (c.tmpl.id == IdCancel && !c.enabled) return;
    dispatchCommand(IdCancel, ButtonClicked);
}

bool FakeDialog::closeBox() {
    requireInput("closeBox");
    if (!template_.has(rcstyle::SysMenu)) return false;
    if (!page_->onSysCommand(SysCommandClose)) defaultClose();
    return true;
}

bool FakeDialog::systemMenuCommand(unsigned command) {
    requireInput("systemMenuCommand");
    if (!template_.has(rcstyle::SysMenu)) return false;
    const unsigned entry = command & SysCommandMask;
    const bool onMenu = entry == SysCommandClose || entry == SysCommandMove ||
                        std::any_of(systemMenu_.begin(), systemMenu_.end(), [&](const SystemMenuItem& item) {
                            return !item.separator && (item.command & SysCommandMask) == entry;
                        });
    if (!onMenu) misuse("systemMenuCommand(" + std::to_string(command) + "): no such entry on the window menu");
    if (!page_->onSysCommand(command) && entry == SysCommandClose) defaultClose();
    return true;
}

bool FakeDialog::selectComboRow(int id, int row) {
    requireInput("selectComboRow");
    Control& c = findKind(id, "selectComboRow", {ControlKind::ComboBox});
    if (!c.visible || !c.enabled) return false;
    checkRow(c, "selectComboRow", row, c.rows.size());
    focus_ = static_cast<std::size_t>(&c - controls_.data());
    c.selection = row;
    page_->onCommand(id, ComboSelectionChange);
    return true;
}

bool FakeDialog::clickListRow(int id, int row) {
    requireInput("clickListRow");
    Control& c = findKind(id, "clickListRow", {ControlKind::ListView});
    if (!c.visible || !c.enabled) return false;
    if (row != -1) checkRow(c, "clickListRow", row, c.cells.size());
    focus_ = static_cast<std::size_t>(&c - controls_.data());
    std::fill(c.selected.begin(), c.selected.end(), false);
    if (row != -1) c.selected[static_cast<std::size_t>(row)] = true;
    page_->onNotify(id, NotifyClick);
    return true;
}

bool FakeDialog::setFocus(int id) {
    requireInput("setFocus");
    Control& c = find(id, "setFocus");
    if (!c.visible || !c.enabled || !takesFocus(c)) return false;
    focus_ = static_cast<std::size_t>(&c - controls_.data());
    return true;
}

// ---- inspection

std::optional<int> FakeDialog::focus() const {
    if (!focus_) return std::nullopt;
    return controls_[*focus_].tmpl.id;
}

bool FakeDialog::isVisible(int id) const { return find(id, "isVisible").visible; }
bool FakeDialog::isTabStop(int id) const { return find(id, "isTabStop").tabStop; }
ControlKind FakeDialog::kind(int id) const { return find(id, "kind").tmpl.kind; }

std::vector<SystemMenuItem> FakeDialog::systemMenuItems() const {
    std::vector<SystemMenuItem> items;
    for (const auto& item : systemMenu_)
        if (!item.separator) items.push_back(item);
    return items;
}

std::vector<std::string> FakeDialog::comboRows(int id) const {
    return findKind(id, "comboRows", {ControlKind::ComboBox}).rows;
}

const std::vector<ListColumn>& FakeDialog::listColumns(int id) const {
    return findKind(id, "listColumns", {ControlKind::ListView}).columns;
}

unsigned FakeDialog::listExtendedStyle(int id) const {
    return findKind(id, "listExtendedStyle", {ControlKind::ListView}).extendedStyle;
}

std::vector<int> FakeDialog::listSelectedRows(int id) const {
    const Control& c = findKind(id, "listSelectedRows", {ControlKind::ListView});
    std::vector<int> rows;
    for (std::size_t i = 0; i < c.selected.size(); ++i)
        if (c.selected[i]) rows.push_back(static_cast<int>(i));
    return rows;
}

std::vector<std::string> FakeDialog::listRow(int id, int row) const {
    const Control& c = findKind(id, "listRow", {ControlKind::ListView});
    checkRow(c, "listRow", row, c.cells.size());
    return c.cells[static_cast<std::size_t>(row)];
}

std::pair<int, int> FakeDialog::progressRange(int id) const {
    const Control& c = findKind(id, "progressRange", {ControlKind::Progress});
    return {c.low, c.high};
}

int FakeDialog::progressPosition(int id) const {
    return findKind(id, "progressPosition", {ControlKind::Progress}).position;
}

const std::vector<int>& FakeDialog::progressHistory(int id) const {
    return findKind(id, "progressHistory", {ControlKind::Progress}).history;
}

// ---- the host

FakeDialogHost::FakeDialogHost(const RcResources& resources) : resources_(resources) {}

void FakeDialogHost::onNextShow(int templateId, Script script) {
    scripts_.push_back(Queued{templateId, std::move(script), ++registered_});
}

void FakeDialogHost::problem(const std::string& what) {
    problems_.push_back(what);
    std::fprintf(stderr, "FakeDialogHost: %s\n", what.c_str());
}

void FakeDialogHost::runScript(FakeDialog& dialog, std::size_t showing) {
    const std::string which =
        "showing " + std::to_string(showing + 1) + " (template " + std::to_string(dialog.templateId()) + ")";
    if (scripts_.empty()) {
        problem(which + ": no script left for it");
        dialog.end(ScriptProblem);
        return;
    }
    if (scripts_.front().templateId != dialog.templateId()) {
        problem(which + ": the next script (number " + std::to_string(scripts_.front().number) +
                ") is for template " + std::to_string(scripts_.front().templateId));
        dialog.end(ScriptProblem);
        return;
    }
    Queued queued = std::move(scripts_.front());
    scripts_.pop_front();
    queued.script(dialog);
    if (!dialog.ended()) {
        problem(which + ": script number " + std::to_string(queued.number) + " returned without ending the dialog");
        dialog.end(ScriptProblem);
    }
}

int FakeDialogHost::runModal(Page& page) {
    const int templateId = page.templateId();
    const std::size_t showing = showings_.size();
    showings_.push_back(Showing{templateId, PageFailed, nullptr});
    const RcDialog* dialogTemplate = resources_.findDialog(templateId);
    if (!dialogTemplate || failing_.count(templateId)) return PageFailed;

    dialogs_.push_back(std::make_unique<FakeDialog>(*dialogTemplate, resources_, nextHandle_, this));
    nextHandle_ += 0x10;
    FakeDialog& dialog = *dialogs_.back();
    showings_[showing].dialog = &dialog;

    // The page is detached however the run ends, an exception included; the
    // window that opened it is covered meanwhile.
    struct Closer {
        FakeDialog& dialog;
        std::vector<FakeDialog*>& running;
        FakeDialog* owner;
        ~Closer() {
            dialog.close();
            running.pop_back();
            if (owner) --owner->covers_;
        }
    } closer{dialog, running_, running_.empty() ? nullptr : running_.back()};
    if (closer.owner) ++closer.owner->covers_;
    running_.push_back(&dialog);
    dialog.open(page);
    const bool defaultFocus = page.onInit();
    if (!dialog.ended()) {
        if (defaultFocus) dialog.focusFirstTabStop();
        runScript(dialog, showing);
    }
    showings_[showing].result = dialog.result();
    return dialog.result();
}

std::vector<int> FakeDialogHost::shownTemplates() const {
    std::vector<int> ids;
    for (const auto& s : showings_) ids.push_back(s.templateId);
    return ids;
}

std::vector<int> FakeDialogHost::results() const {
    std::vector<int> values;
    for (const auto& s : showings_) values.push_back(s.result);
    return values;
}

const FakeDialog& FakeDialogHost::lastDialog(int templateId) const {
    for (auto it = showings_.rbegin(); it != showings_.rend(); ++it)
        if (it->templateId == templateId && it->dialog) return *it->dialog;
    throw FakeDialogMisuse("FakeDialogHost: template " + std::to_string(templateId) + " was never shown");
}

std::string FakeDialogHost::problems() const {
    std::string text;
    for (const auto& p : problems_) text += p + "\n";
    for (const auto& q : scripts_)
        text += "script number " + std::to_string(q.number) + " for template " + std::to_string(q.templateId) +
                " was never used\n";
    return text;
}

}  // namespace kelp
