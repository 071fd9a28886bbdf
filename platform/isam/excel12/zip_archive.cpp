// Reading zip archives within limits.
#include "platform/isam/excel12/zip_archive.h"

namespace qx::isam::excel12 {

std::unique_ptr<ZipArchive> ZipArchive::open(const std::string& path, std::string& error) {
    int code = 0;
    // Without ZIP_CHECKCONS: spreadsheet programs open packages with small inconsistencies
    // (and take the first of two entries of one name, as libzip then does).
    zip_t* z = zip_open(path.c_str(), ZIP_RDONLY, &code);
    if (!z) {
        error = code == ZIP_ER_NOENT || code == ZIP_ER_OPEN ? "找不到或无法打开文件“" + path + "”"
                                                            : "文件已损坏或不是 Excel 2007 工作簿";
        return nullptr;
    }
    std::unique_ptr<ZipArchive> a(new ZipArchive());
    a->zip_ = z;
    zip_int64_t n = zip_get_num_entries(z, 0);
    if (n < 0 || n > kMaxEntries) {
        error = "工作簿中的部件过多，拒绝读取";
        return nullptr;
    }
    for (zip_int64_t i = 0; i < n; ++i) {
        zip_stat_t st;
        if (zip_stat_index(z, static_cast<zip_uint64_t>(i), 0, &st) != 0) continue;
        if (!(st.valid & ZIP_STAT_SIZE) || !(st.valid & ZIP_STAT_COMP_SIZE)) continue;
        if (st.size > kMaxEntryBytes) {
            error = "工作簿中的部件过大，拒绝读取";
            return nullptr;
        }
        if (st.size > kRatioCheckFrom && st.comp_size * kMaxRatio < st.size) {
            error = "工作簿的压缩比异常（可能是恶意文件），拒绝读取";
            return nullptr;
        }
    }
    return a;
}

ZipArchive::~ZipArchive() {
    if (zip_) zip_discard(zip_);
}

bool ZipArchive::has(const std::string& name) const {
    return zip_name_locate(zip_, name.c_str(), 0) >= 0;
}

bool ZipArchive::stream(const std::string& name,
                        const std::function<bool(const char*, std::size_t)>& sink,
                        std::string& error) const {
    zip_file_t* f = zip_fopen(zip_, name.c_str(), 0);
    if (!f) {
        error = "工作簿中缺少部件“" + name + "”";
        return false;
    }
    char buf[65536];
    zip_uint64_t total = 0;
    bool ok = true;
    for (;;) {
        zip_int64_t n = zip_fread(f, buf, sizeof buf);
        if (n < 0) {
            error = "工作簿已损坏：无法解压部件“" + name + "”";
            ok = false;
            break;
        }
        if (n == 0) break;
        total += static_cast<zip_uint64_t>(n);
        if (total > kMaxEntryBytes) {
            error = "工作簿中的部件过大，拒绝读取";
            ok = false;
            break;
        }
        if (!sink(buf, static_cast<std::size_t>(n))) break;
    }
    zip_fclose(f);
    return ok;
}

zip_file_t* ZipArchive::openEntry(const std::string& name, std::string& error) const {
    zip_file_t* f = zip_fopen(zip_, name.c_str(), 0);
    if (!f) error = "工作簿中缺少部件“" + name + "”";
    return f;
}

bool ZipArchive::read(const std::string& name, std::string& out, std::string& error) const {
    out.clear();
    bool ok = stream(
        name,
        [&](const char* p, std::size_t n) {
            if (out.size() + n > kMaxPartInMemory) return false;
            out.append(p, n);
            return true;
        },
        error);
    if (ok && out.size() >= kMaxPartInMemory) {
        error = "工作簿中的部件过大";
        return false;
    }
    return ok;
}

}  // namespace qx::isam::excel12
