#include "install/ModelCatalogue.h"

namespace kelp {

namespace {

constexpr ModelRow kModels[] = {
    {"RK-520P", "RK520PCN", "RK520PCN", "RK520P", "RK520P"},
    {"RK-520PW", "RK520PCN", "RK520PWCN", "RK520PW", "RK520PW"},
    {"RK-730P", "RK730PCN", "RK730PCN", "RK730P", "RK730P"},
    {"RK-730PN", "RK730PCN", "RK730PNCN", "RK730PN", "RK730PN"},
    {"RK-730P(NEW)", "RK730PCN", "RK730PNEWCN", "RK730PNEW", "RK730PNEW"},
    {"MZ730P", "RK730PCN", "MZ730PCN", "MZ730P", "MZ730P"},
    {"MZ730PN", "RK730PCN", "MZ730PNCN", "MZ730PN", "MZ730PN"},
};

}  // namespace

std::span<const ModelRow> ModelCatalogue::rows() { return kModels; }

const ModelRow* ModelCatalogue::row(int modelRow) {
    if (modelRow < 0 || modelRow >= static_cast<int>(std::size(kModels))) return nullptr;
    return &kModels[modelRow];
}

ModelFiles ModelCatalogue::filesFor(const ModelRow& row, Language language) {
    if (language == Language::English) return {std::string(row.dllBaseEnglish) + ".DLL", std::string(row.gpdBaseEnglish) + ".GPD"};
    return {std::string(row.dllBaseChinese) + ".DLL", std::string(row.gpdBaseChinese) + ".GPD"};
}

}  // namespace kelp
