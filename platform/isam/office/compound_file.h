// Reading compound files (the container of .xls workbooks): the header, the FAT through the
// DIFAT, the directory and the mini stream. Every sector number, chain and length is checked:
// the file may be damaged or made to mislead.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qx::isam::office {

class CompoundFile {
  public:
    // False (with the reason) when `bytes` is no compound file or its tables are damaged.
    bool open(std::string bytes, std::string& error);
    // The stream whose name equals one of `names` (ASCII, any case), searched in every storage;
    // false when there is none (`error` empty) or it cannot be read (`error` says why).
    bool stream(const std::vector<std::string>& names, std::string& out, std::string& error) const;

    static bool isCompoundFile(const std::string& bytes);

  private:
    struct Entry {
        std::string name;  // ASCII letters folded to lower case; other characters as UTF-8
        int type = 0;      // 1 storage, 2 stream, 5 root
        std::uint32_t start = 0;
        std::uint64_t size = 0;
    };
    bool chain(const std::vector<std::uint32_t>& table, std::uint32_t start, std::size_t limit,
               std::vector<std::uint32_t>& out) const;
    bool read(const Entry& e, std::string& out, std::string& error) const;

    std::string bytes_;
    std::size_t sectorSize_ = 512, miniSectorSize_ = 64, sectors_ = 0;
    std::uint32_t miniCutoff_ = 4096;
    std::vector<std::uint32_t> fat_, miniFat_;
    std::vector<Entry> entries_;
    std::string miniStream_;
};

}  // namespace qx::isam::office
