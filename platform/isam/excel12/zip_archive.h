// A zip archive opened for reading with the limits that keep a hostile file from exhausting the
// machine: entry count, entry size, compression ratio.
#pragma once

#include <zip.h>

#include <functional>
#include <memory>
#include <string>

namespace qx::isam::excel12 {

inline constexpr zip_int64_t kMaxEntries = 10000;
inline constexpr zip_uint64_t kMaxEntryBytes = 1ull << 30;
inline constexpr zip_uint64_t kRatioCheckFrom = 100 * 1024;
inline constexpr zip_uint64_t kMaxRatio = 100;
inline constexpr std::size_t kMaxPartInMemory = 256u << 20;

class ZipArchive {
  public:
    static std::unique_ptr<ZipArchive> open(const std::string& path, std::string& error);
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    bool has(const std::string& name) const;
    // A whole part (small parts only).
    bool read(const std::string& name, std::string& out, std::string& error) const;
    // Streams a part in chunks to `sink`; stops when the sink returns false.
    bool stream(const std::string& name, const std::function<bool(const char*, std::size_t)>& sink,
                std::string& error) const;

    // A part opened for reading piece by piece; the caller closes it with zip_fclose.
    zip_file_t* openEntry(const std::string& name, std::string& error) const;

  private:
    ZipArchive() = default;
    zip_t* zip_ = nullptr;
};

}  // namespace qx::isam::excel12
