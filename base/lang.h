#pragma once
// Translation of user-visible texts through AppDir/lang.lang, section LANGUAGE.
#include <string>

namespace ocv {

constexpr size_t kMaxLangValue = 199;

// The translation of an English text; the text itself when lang.lang, the key or its value is
// missing. The file is read on every call so a changed translation shows without a restart.
std::string GetLangString(const std::string& english);

// The texts many windows share, fetched once at start-up.
struct SharedTexts {
    std::string modify, remove, import, setup, ok, cancel, noPermission, title;
};
void LoadSharedTexts();
const SharedTexts& Shared();

}  // namespace ocv
