// Source kinds and their clauses.
#include "exchange/source_kinds.h"

#include <filesystem>

#include "platform/ui/controls.h"
#include "store/working_database.h"

namespace qx::exchange {

namespace {

// The last directory separator: "/" everywhere, and "\" too where the system uses it.
std::size_t lastSeparator(std::string_view path) {
    std::size_t slash = path.rfind('/');
    if constexpr (std::filesystem::path::preferred_separator == '\\') {
        std::size_t back = path.rfind('\\');
        if (back != std::string_view::npos && (slash == std::string_view::npos || back > slash))
            return back;
    }
    return slash;
}

}  // namespace

bool isSourceKind(std::string_view kind) {
    for (const char* k : {"dbf", "xls", "xlsx", "csv", "txt", "mdb"})
        if (kind == k) return true;
    return false;
}

bool hasTableChooser(std::string_view kind) {
    return kind == "xls" || kind == "xlsx" || kind == "mdb";
}

bool filterOffers(std::string_view filter, std::string_view path) {
    std::string kind = extensionOf(path);
    for (const auto& [label, pattern] : ui::filterPairs(std::string(filter)))
        if (extensionOf(pattern) == kind && pattern.rfind("*.", 0) == 0) return true;
    return false;
}

std::string extensionOf(std::string_view path) {
    return store::lowerExtension(path);
}

std::string directoryOf(std::string_view path) {
    std::size_t sep = lastSeparator(path);
    return sep == std::string_view::npos ? std::string() : std::string(path.substr(0, sep + 1));
}

std::string directoryWithoutSeparator(std::string_view path) {
    std::size_t sep = lastSeparator(path);
    return sep == std::string_view::npos ? std::string() : std::string(path.substr(0, sep));
}

std::string fileNameOf(std::string_view path) {
    std::size_t sep = lastSeparator(path);
    return std::string(sep == std::string_view::npos ? path : path.substr(sep + 1));
}

std::string baseNameOf(std::string_view path) {
    std::string name = fileNameOf(path);
    std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string sourceClause(std::string_view extension, std::string_view path, std::string_view name,
                         bool headerRow) {
    std::string p(path), n(name);
    if (extension == "xls" || extension == "xlsx") {
        std::string driver = extension == "xls" ? "Excel 8.0;" : "Excel 12.0;";
        return " FROM [" + driver + (headerRow ? "" : "HDR=NO;IMEX=1;") + "DATABASE=" + p + "].[" +
               n + "$] ";
    }
    if (extension == "mdb") return " FROM [;DATABASE=" + p + "]." + n;
    if (extension == "dbf")
        return " FROM [dBASE III;DATABASE=" + directoryWithoutSeparator(path) + "]." +
               fileNameOf(path);
    if (extension == "csv" || extension == "txt")
        return " FROM [Text;FMT=Delimited;DATABASE=" + directoryOf(path) + "].[" +
               fileNameOf(path) + "]";
    return {};
}

}  // namespace qx::exchange
