#pragma once
// Interface texts in the current language.
//
// Texts are shipped as UTF-8 files "<language>.lang" in the lang/ folder of
// the shipped data (GetShareDataPath), one "key=text" per line; blank lines
// and lines starting with '#' are ignored, and "\n" in a text stands for a
// line break. The current language is the camera configuration's "system"
// "language" value when a file exists for it, else the one matching the
// system locale (LC_ALL, LC_MESSAGES, LANG): Chinese, the language of the
// built-in defaults, when the locale is unset, "C" or "POSIX", and English
// when the locale's language is not shipped.

#include <string>
#include <string_view>
#include <vector>

// The text of `key` in the current language, or `defaultText` when the
// language file lacks the key (or there is no file).
std::string GetLanguageText(std::string_view key, std::string_view defaultText);

// Code of the current language, e.g. "zh_CN" or "en".
std::string GetLanguage();
// Chooses the language (stored in the camera configuration); an empty code
// returns to the system locale. 1 on success, 0 when no such language is shipped.
int SetLanguage(std::string_view code);
// Codes of every shipped language, sorted.
std::vector<std::string> GetLanguageList();
