// The quick line operations: the seven one-click operations on text files of "一键导入式操作",
// the buttons of "复制粘贴式操作" on pasted lists, and the file operations both use.
#pragma once

#include <filesystem>
#include <string>

#include "platform/ui/controls.h"

namespace qx::lines {

inline constexpr const char* kTxtFilter = "文本文档(*.txt)|*.txt";
inline constexpr const char* kTimingHead = "执行完毕！总花费时间：";

enum class Compare { Common, ANotB, BNotA };

// The file operations. Each returns "" or what went wrong; results are written beside the
// source as {dir}{base}{suffix}.txt, replacing a file of that name in one step.
std::string resultPath(const std::string& source, const std::string& suffix);
std::string dedupeFile(const std::string& source, const std::string& suffix = "去重复");
// Lines of `source` whose value is (present) or is not in `other`.
std::string compareFiles(const std::string& source, const std::string& other,
                         const std::string& suffix, bool present);
std::string mergeFiles(const std::string& a, const std::string& b, const std::string& suffix);
// In place, replacing the file in one step.
std::string cleanUpFile(const std::string& path);
std::string stripQuotesFile(const std::string& path);

// "一键导入式操作": the file dialog (its filter and titles set here) and the message box.
void quickDedupe(ui::FileDialog& dialog, ui::MessageBox& messages);
void quickCompare(ui::FileDialog& dialog, ui::MessageBox& messages, Compare which);
void quickMerge(ui::FileDialog& dialog, ui::MessageBox& messages);
void quickUnquote(ui::FileDialog& dialog, ui::MessageBox& messages);
void quickTrim(ui::FileDialog& dialog, ui::MessageBox& messages);

// "复制粘贴式操作": the three boxes; temporary files live in the program directory and are
// removed before each operation ends, also when it fails.
struct PasteBoxes {
    ui::EditBox& a;
    ui::EditBox& b;
    ui::EditBox& result;
    ui::MessageBox& messages;
    std::filesystem::path programDirectory;
};
void pasteDedupe(PasteBoxes& boxes, ui::EditBox& box);
void pasteCompare(PasteBoxes& boxes, Compare which);
void pasteMerge(PasteBoxes& boxes);
void pasteTrimA(PasteBoxes& boxes);
void pasteUnquoteA(PasteBoxes& boxes);
void pasteClear(PasteBoxes& boxes);
void copyToClipboard(const ui::EditBox& box, ui::Clipboard& clipboard);

}  // namespace qx::lines
