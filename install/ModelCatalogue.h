// The seven printer models: the name under which driver and printer are
// registered, and the base names of each model's resource library and
// printer description file in a Chinese and an English edition.
#pragma once

#include <span>
#include <string>

#include "platform/Language.h"

namespace kelp {

struct ModelRow {
    const char* displayName;
    const char* dllBaseChinese;
    const char* gpdBaseChinese;
    const char* dllBaseEnglish;
    const char* gpdBaseEnglish;
};

struct ModelFiles {
    std::string library;      // the ".DLL" resource library
    std::string description;  // the ".GPD" printer description file
};

class ModelCatalogue {
public:
    static std::span<const ModelRow> rows();
    // The row, or null outside 0 to 6.
    static const ModelRow* row(int modelRow);
    // The model's two file names in the edition of the language.
    static ModelFiles filesFor(const ModelRow& row, Language language);
};

}  // namespace kelp
