// Texts that the plug-in shows or hands to the host, as Windows-1251 bytes (the host and the
// ANSI functions expect that code page). The dialog templates carry their own Unicode captions.
#pragma once

namespace vle::texts {

// "Экстрактор логотипов"
inline constexpr char kPluginName[] =
    "\xDD\xEA\xF1\xF2\xF0\xE0\xEA\xF2\xEE\xF0 \xEB\xEE\xE3\xEE\xF2\xE8\xEF\xEE\xE2";

// "Изготовление шаблона логотипа."
inline constexpr char kPluginDescription[] =
    "\xC8\xE7\xE3\xEE\xF2\xEE\xE2\xEB\xE5\xED\xE8\xE5 \xF8\xE0\xE1\xEB\xEE\xED\xE0 "
    "\xEB\xEE\xE3\xEE\xF2\xE8\xEF\xE0.";

// "      Настройки плагина недоступны. \nТребуется процессор Pentium III или старше."
// Six leading blanks, a blank before the single line feed.
inline constexpr char kProcessorMessage[] =
    "      \xCD\xE0\xF1\xF2\xF0\xEE\xE9\xEA\xE8 \xEF\xEB\xE0\xE3\xE8\xED\xE0 "
    "\xED\xE5\xE4\xEE\xF1\xF2\xF3\xEF\xED\xFB. \n"
    "\xD2\xF0\xE5\xE1\xF3\xE5\xF2\xF1\xFF \xEF\xF0\xEE\xF6\xE5\xF1\xF1\xEE\xF0 Pentium III "
    "\xE8\xEB\xE8 \xF1\xF2\xE0\xF0\xF8\xE5.";

// "Файлы логотипа (*.bmp)", NUL, "*.bmp", NUL NUL: one entry of a save chooser's filter.
// sizeof includes the implicit terminator, which is the second NUL of the pair.
inline constexpr char kSaveFilter[] =
    "\xD4\xE0\xE9\xEB\xFB \xEB\xEE\xE3\xEE\xF2\xE8\xEF\xE0 (*.bmp)\0*.bmp\0";

// "Vorlane_LogoExtractor плагин": the settings window's caption.
inline constexpr char kSettingsCaption[] = "Vorlane_LogoExtractor \xEF\xEB\xE0\xE3\xE8\xED";

}  // namespace vle::texts
