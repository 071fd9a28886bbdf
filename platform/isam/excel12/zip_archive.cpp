// Reading zip archives within limits.
#include "platform/isam/excel12/zip_archive.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <isa-l/igzip_lib.h>

#include "platform/isam/excel12/encrypted_package.h"
#include "platform/isam/office/compound_file.h"
#include "platform/isam/office/crypto.h"
#include "platform/os/files.h"
#include "platform/os/paths.h"

namespace qx::isam::excel12 {

namespace {

const char* const kNotAWorkbook = "文件已损坏或不是 Excel 2007 工作簿";
const char* const kEncrypted =
    "工作簿已加密（设有打开密码），无法读取。请在 Excel 中去掉密码另存后再读入";
// An encrypted package is decrypted in memory: the file, its package stream and the package
// are held at once.
constexpr std::uintmax_t kMaxEncryptedFile = 512u << 20;

}  // namespace

std::unique_ptr<ZipArchive> ZipArchive::open(const std::string& path, std::string& error) {
    int code = 0;
    // Without ZIP_CHECKCONS: spreadsheet programs open packages with small inconsistencies
    // (and take the first of two entries of one name, as libzip then does).
    zip_t* z = zip_open(path.c_str(), ZIP_RDONLY, &code);
    if (!z) {
        if (code == ZIP_ER_NOENT || code == ZIP_ER_OPEN) {
            error = "找不到或无法打开文件“" + path + "”";
            return nullptr;
        }
        return openCompound(path, error);
    }
    std::unique_ptr<ZipArchive> a(new ZipArchive());
    a->zip_ = z;
    return a->withinLimits(error) ? std::move(a) : nullptr;
}

// A file that is no zip archive may be a compound file: a workbook saved with a password (its
// package in an EncryptedPackage stream), opened as spreadsheet programs open it when the
// password is the default one; or a workbook of the older kind under the newer extension.
std::unique_ptr<ZipArchive> ZipArchive::openCompound(const std::string& path, std::string& error) {
    const std::filesystem::path file = os::pathFromUtf8(path);
    std::error_code ec;
    std::uintmax_t size = std::filesystem::file_size(file, ec);
    std::string bytes;
    if (ec || size < 512 || size > kMaxEncryptedFile) {
        // Too large to be decrypted: only its first bytes say what it is.
        std::ifstream in(file, std::ios::binary);
        bytes.resize(512);
        in.read(bytes.data(), 512);
        bytes.resize(static_cast<std::size_t>(in.gcount()));
        error = ec || !office::CompoundFile::isCompoundFile(bytes)
                    ? kNotAWorkbook
                    : "文件超过 " + std::to_string(kMaxEncryptedFile >> 20) +
                          " MB，且不是 Excel 2007 工作簿的压缩包（可能是加密的工作簿或 .xls "
                          "工作簿），无法读取";
        return nullptr;
    }
    if (!os::readFile(file, bytes)) {
        error = "找不到或无法打开文件“" + path + "”";
        return nullptr;
    }
    if (!office::CompoundFile::isCompoundFile(bytes)) {
        error = kNotAWorkbook;
        return nullptr;
    }
    office::CompoundFile cf;
    if (!cf.open(std::move(bytes), error)) return nullptr;
    std::string info, package;
    if (!cf.stream({"encryptedpackage"}, package, error)) {
        if (error.empty())
            error = cf.stream({"workbook", "book"}, info, error)
                        ? "该文件是 Excel 97-2003 工作簿（.xls 格式），请把扩展名改为 .xls 后再读入"
                        : kNotAWorkbook;
        return nullptr;
    }
    if (!cf.stream({"encryptioninfo"}, info, error)) {
        error = "文件已损坏：加密工作簿缺少加密信息";
        return nullptr;
    }
    switch (decryptPackage(info, package, office::kDefaultPassword)) {
        case Decryption::Done:
            break;
        case Decryption::WrongPassword:
            error = kEncrypted;
            return nullptr;
        case Decryption::Unsupported:
            error = "工作簿已加密，其加密方式无法识别，无法读取。请在 Excel 中去掉密码另存后再读入";
            return nullptr;
        case Decryption::Damaged:
            error = "文件已损坏：加密工作簿的加密信息不完整";
            return nullptr;
    }
    std::unique_ptr<ZipArchive> a(new ZipArchive());
    a->package_ = std::move(package);
    zip_error_t ze;
    zip_error_init(&ze);
    zip_source_t* source = zip_source_buffer_create(a->package_.data(), a->package_.size(), 0, &ze);
    if (source) {
        a->zip_ = zip_open_from_source(source, ZIP_RDONLY, &ze);
        if (!a->zip_) zip_source_free(source);
    }
    zip_error_fini(&ze);
    if (!a->zip_) {
        error = kNotAWorkbook;
        return nullptr;
    }
    return a->withinLimits(error) ? std::move(a) : nullptr;
}

bool ZipArchive::withinLimits(std::string& error) const {
    zip_int64_t n = zip_get_num_entries(zip_, 0);
    if (n < 0 || n > kMaxEntries) {
        error = "工作簿中的部件过多，拒绝读取";
        return false;
    }
    for (zip_int64_t i = 0; i < n; ++i) {
        zip_stat_t st;
        if (zip_stat_index(zip_, static_cast<zip_uint64_t>(i), 0, &st) != 0) continue;
        if (!(st.valid & ZIP_STAT_SIZE) || !(st.valid & ZIP_STAT_COMP_SIZE)) continue;
        if (st.size > kMaxEntryBytes) {
            error = "工作簿中的部件过大，拒绝读取";
            return false;
        }
        if (st.size > kRatioCheckFrom && st.comp_size * kMaxRatio < st.size) {
            error = "工作簿的压缩比异常（可能是恶意文件），拒绝读取";
            return false;
        }
    }
    return true;
}

ZipArchive::~ZipArchive() {
    if (zip_) zip_discard(zip_);
}

bool ZipArchive::has(const std::string& name) const {
    return zip_name_locate(zip_, name.c_str(), 0) >= 0;
}

std::string ZipArchive::locate(const std::string& name) const {
    if (name.empty()) return {};
    if (zip_name_locate(zip_, name.c_str(), 0) >= 0) return name;
    auto fold = [](char c) {
        return c == '\\' ? '/' : c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    };
    zip_int64_t n = zip_get_num_entries(zip_, 0);
    for (zip_int64_t i = 0; i < n; ++i) {
        const char* entry = zip_get_name(zip_, static_cast<zip_uint64_t>(i), 0);
        if (!entry) continue;
        std::string_view e(entry);
        if (!e.empty() && (e[0] == '/' || e[0] == '\\')) e.remove_prefix(1);
        if (e.size() == name.size() &&
            std::equal(e.begin(), e.end(), name.begin(),
                       [&](char a, char b) { return fold(a) == fold(b); }))
            return entry;
    }
    return {};
}

bool ZipArchive::stream(const std::string& name,
                        const std::function<bool(const char*, std::size_t)>& sink,
                        std::string& error) const {
    auto part = PartReader::open(*this, name, error);
    if (!part) return false;
    char buf[65536];
    zip_uint64_t total = 0;
    for (;;) {
        zip_int64_t n = part->read(buf, sizeof buf);
        if (n < 0) {
            error = "工作簿已损坏：无法解压部件“" + name + "”";
            return false;
        }
        if (n == 0) return true;
        total += static_cast<zip_uint64_t>(n);
        if (total > kMaxEntryBytes) {
            error = "工作簿中的部件过大，拒绝读取";
            return false;
        }
        if (!sink(buf, static_cast<std::size_t>(n))) return true;
    }
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

std::unique_ptr<PartReader> PartReader::open(const ZipArchive& zip, const std::string& name,
                                             std::string& error) {
    std::unique_ptr<PartReader> part(new PartReader);
    zip_t* z = zip.zip_;
    zip_int64_t index = zip_name_locate(z, name.c_str(), 0);
    zip_stat_t st;
    const zip_uint64_t needed =
        ZIP_STAT_SIZE | ZIP_STAT_CRC | ZIP_STAT_COMP_METHOD | ZIP_STAT_ENCRYPTION_METHOD;
    if (index >= 0 && zip_stat_index(z, static_cast<zip_uint64_t>(index), 0, &st) == 0 &&
        (st.valid & needed) == needed && st.comp_method == ZIP_CM_DEFLATE &&
        st.encryption_method == ZIP_EM_NONE) {
        part->file_ = zip_fopen_index(z, static_cast<zip_uint64_t>(index), ZIP_FL_COMPRESSED);
        if (part->file_) {
            part->size_ = st.size;
            part->crc_ = st.crc;
            part->inflater_ = std::make_unique<inflate_state>();
            isal_inflate_init(part->inflater_.get());
            part->inflater_->crc_flag = ISAL_GZIP_NO_HDR;
            part->compressed_.resize(kCompressedChunk);
            return part;
        }
    }
    part->file_ = zip_fopen(z, name.c_str(), 0);
    if (!part->file_) {
        error = "工作簿中缺少部件“" + name + "”";
        return nullptr;
    }
    return part;
}

PartReader::~PartReader() {
    if (file_) zip_fclose(file_);
}

zip_int64_t PartReader::read(char* out, std::size_t room) {
    return inflater_ ? inflate(out, room) : zip_fread(file_, out, room);
}

zip_int64_t PartReader::inflate(char* out, std::size_t room) {
    inflate_state& s = *inflater_;
    if (inflated_) return 0;
    s.next_out = reinterpret_cast<std::uint8_t*>(out);
    s.avail_out = static_cast<std::uint32_t>(room);
    while (s.avail_out > 0 && s.block_state != ISAL_BLOCK_FINISH) {
        if (s.avail_in == 0 && !compressedEnded_) {
            zip_int64_t n = zip_fread(file_, compressed_.data(), compressed_.size());
            if (n < 0) return -1;
            compressedEnded_ = n == 0;
            s.next_in = compressed_.data();
            s.avail_in = static_cast<std::uint32_t>(n);
        }
        std::uint32_t before = s.total_out;
        if (isal_inflate(&s) < 0) return -1;
        // The compressed bytes end before the stream does: a truncated part.
        if (compressedEnded_ && s.avail_in == 0 && s.total_out == before &&
            s.block_state != ISAL_BLOCK_FINISH)
            return -1;
        if (s.total_out > size_) return -1;  // more than the archive says it holds
    }
    if (s.block_state == ISAL_BLOCK_FINISH) {
        inflated_ = true;
        if (s.total_out != size_ || s.crc != crc_) return -1;
    }
    return static_cast<zip_int64_t>(room - s.avail_out);
}

std::unique_ptr<PartStream> PartStream::open(const ZipArchive& zip, const std::string& name,
                                             std::string& error) {
    auto reader = PartReader::open(zip, name, error);
    if (!reader) return nullptr;
    return std::unique_ptr<PartStream>(new PartStream(std::move(reader)));
}

PartStream::PartStream(std::unique_ptr<PartReader> reader)
    : reader_(std::move(reader)), buffers_(kChunks) {
    for (std::size_t k = 0; k < kChunks; ++k) {
        buffers_[k].resize(kChunk);
        free_.push_back(k);
    }
    worker_ = std::thread([this] { inflate(); });
}

PartStream::~PartStream() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

void PartStream::inflate() {
    for (;;) {
        std::size_t buffer;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return !free_.empty() || stop_; });
            if (stop_) return;
            buffer = free_.back();
            free_.pop_back();
        }
        zip_int64_t n = reader_->read(buffers_[buffer].data(), kChunk);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            filled_.push_back({buffer, n});
        }
        changed_.notify_all();
        if (n <= 0) return;
    }
}

bool PartStream::next(std::string_view& chunk, std::string& error) {
    chunk = {};
    std::unique_lock<std::mutex> lock(mutex_);
    if (lent_ != kChunks) {
        free_.push_back(lent_);
        lent_ = kChunks;
        changed_.notify_all();
    }
    if (ended_) return true;
    changed_.wait(lock, [this] { return !filled_.empty(); });
    Filled f = filled_.front();
    filled_.pop_front();
    if (f.size < 0) {
        ended_ = true;
        error = "工作簿已损坏：无法解压工作表";
        return false;
    }
    if (f.size == 0) {
        ended_ = true;
        return true;
    }
    lent_ = f.buffer;
    chunk = std::string_view(buffers_[f.buffer]).substr(0, static_cast<std::size_t>(f.size));
    return true;
}

}  // namespace qx::isam::excel12
