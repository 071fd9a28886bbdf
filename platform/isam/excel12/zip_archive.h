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
    // A deflated part's compressed bytes as they lie in the archive, and what they inflate to
    // (`size` bytes with CRC-32 `crc`); nullptr when the part is stored otherwise.
    zip_file_t* openDeflated(const std::string& name, zip_uint64_t& size, std::uint32_t& crc) const;

  private:
    ZipArchive() = default;
    zip_t* zip_ = nullptr;
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
    struct Deflated {
        bool raw = false;  // the file gives compressed bytes, inflated here
        zip_uint64_t size = 0;
        std::uint32_t crc = 0;
    };
    PartStream(zip_file_t* file, Deflated deflated);
    void inflate();
    // The next chunk into `out` (at most kChunk bytes) from the compressed bytes; its size,
    // 0 at the end of the part, negative when the part is damaged.
    zip_int64_t inflateRaw(char* out);
    // Hands a filled buffer (or the end, or an error) to the reader.
    void hand(std::size_t buffer, zip_int64_t size);

    static constexpr std::size_t kChunk = 256u << 10, kChunks = 4;
    static constexpr std::size_t kCompressedChunk = 64u << 10;
    zip_file_t* file_;
    Deflated deflated_;
    std::unique_ptr<::inflate_state> inflater_;
    std::vector<unsigned char> compressed_;
    bool compressedEnded_ = false, inflated_ = false;
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
