// Folders of table files.
#include "platform/isam/folder.h"

#include "platform/jet/text.h"
#include "platform/os/paths.h"

namespace qx::isam {

namespace fs = std::filesystem;

fs::path clauseFolder(const ExternalClause& db) {
    std::string dir = db.property("DATABASE");
    while (dir.size() > 1 && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
    return os::pathFromUtf8(dir.empty() ? "." : dir);
}

fs::path findFileNoCase(const fs::path& folder, const std::string& name) {
    fs::path exact = folder / os::pathFromUtf8(name);
    std::error_code ec;
    if (fs::exists(exact, ec)) return exact;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (jet::compareNoCase(os::utf8(entry.path().filename()), name) == 0) return entry.path();
    return exact;
}

bool listFolder(const ExternalClause& db, std::initializer_list<const char*> extensions,
                std::vector<TableName>& out, std::string& error) {
    std::error_code ec;
    fs::directory_iterator it(clauseFolder(db), ec);
    if (ec) {
        error = "无法打开文件夹“" + os::utf8(clauseFolder(db)) + "”";
        return false;
    }
    for (const auto& entry : it) {
        std::string name = os::utf8(entry.path().filename());
        std::string lower = jet::asciiLower(name);
        for (const char* ext : extensions)
            if (lower.size() > std::string(ext).size() && lower.ends_with(ext))
                out.push_back({name, "TABLE"});
    }
    return true;
}

std::filesystem::path tableFileToWrite(const ExternalClause& db, const std::string& name,
                                       std::string& error) {
    std::filesystem::path dir = clauseFolder(db);
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) {
        error = "找不到文件夹“" + os::utf8(dir) + "”";
        return {};
    }
    return dir / os::pathFromUtf8(name);
}

}  // namespace qx::isam
