// A zip archive opened for reading with the limits that keep a hostile file from exhausting the
// machine: entry count, entry size, compression ratio.
#pragma once

#include <zip.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

struct inflate_state;  // ISA-L's

namespace qx::isam::excel12 {

inline constexpr zip_int64_t kMaxEntries = 10000;
inline constexpr zip_uint64_t kMaxEntryBytes = 1ull << 30;
inline constexpr zip_uint64_t kRatioCheckFrom = 100 * 1024;
inline constexpr zip_uint64_t kMaxRatio = 100;
inline constexpr std::size_t kMaxPartInMemory = 256u << 20;

class ZipArchive {
  public:
    // The package of a workbook: the file itself, or the package a file saved with the default
    // password holds encrypted.
    static std::unique_ptr<ZipArchive> open(const std::string& path, std::string& error);
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    bool has(const std::string& name) const;
    // The entry that holds part `name`: the name itself, or an entry whose name differs only in
    // ASCII case or has "\\" for "/" (part names are compared so); empty when there is none.
    std::string locate(const std::string& name) const;
    // A whole part (small parts only).
    bool read(const std::string& name, std::string& out, std::string& error) const;
    // Streams a part in chunks to `sink`; stops when the sink returns false.
    bool stream(const std::string& name, const std::function<bool(const char*, std::size_t)>& sink,
                std::string& error) const;

  private:
    friend class PartReader;
    ZipArchive() = default;
    static std::unique_ptr<ZipArchive> openCompound(const std::string& path, std::string& error);
    bool withinLimits(std::string& error) const;
    zip_t* zip_ = nullptr;
    std::string package_;  // a decrypted package's bytes, which zip_ reads
};

// A part's bytes, piece by piece. A deflated part is inflated here from its compressed bytes
// (ISA-L's inflate, several times zlib's speed, with the CRC-32 as it goes), its size and CRC-32
// checked at the end; a part stored otherwise is read through libzip.
class PartReader {
  public:
    static std::unique_ptr<PartReader> open(const ZipArchive& zip, const std::string& name,
                                            std::string& error);
    ~PartReader();
    PartReader(const PartReader&) = delete;
    PartReader& operator=(const PartReader&) = delete;

    // The next bytes into `out`, at most `room`: how many, 0 at the end, negative when the part
    // cannot be read or is damaged.
    zip_int64_t read(char* out, std::size_t room);

  private:
    PartReader() = default;
    zip_int64_t inflate(char* out, std::size_t room);

    static constexpr std::size_t kCompressedChunk = 64u << 10;
    zip_file_t* file_ = nullptr;
    std::unique_ptr<::inflate_state> inflater_;  // for a deflated part only
    zip_uint64_t size_ = 0;                      // what the deflated part inflates to
    std::uint32_t crc_ = 0;
    std::vector<unsigned char> compressed_;
    bool compressedEnded_ = false, inflated_ = false;
};

// A part decompressed on a thread of its own, a few chunks ahead of the one who reads it, so that
// inflating a large sheet and parsing it take two cores. Nothing else may use the archive while
// the part is read.
class PartStream {
  public:
    static std::unique_ptr<PartStream> open(const ZipArchive& zip, const std::string& name,
                                            std::string& error);
    ~PartStream();
    PartStream(const PartStream&) = delete;
    PartStream& operator=(const PartStream&) = delete;

    // The next bytes of the part, valid until the next call; empty at the end. False when the
    // part cannot be decompressed.
    bool next(std::string_view& chunk, std::string& error);

  private:
    explicit PartStream(std::unique_ptr<PartReader> reader);
    void inflate();

    static constexpr std::size_t kChunk = 256u << 10, kChunks = 4;
    std::unique_ptr<PartReader> reader_;
    std::vector<std::string> buffers_;
    struct Filled {
        std::size_t buffer;
        zip_int64_t size;  // 0 at the end, negative on an error
    };
    std::deque<Filled> filled_;
    std::vector<std::size_t> free_;
    std::size_t lent_ = kChunks;  // the buffer the reader holds, or kChunks for none
    bool stop_ = false, ended_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread worker_;
};

}  // namespace qx::isam::excel12
