// Rows held in memory, given to a writer as a driver's row source.
#pragma once

#include <utility>
#include <vector>

#include "platform/isam/driver.h"

namespace qx::testing {

class VectorRows : public isam::RowSource {
  public:
    VectorRows(std::vector<isam::ColumnDef> columns, std::vector<std::vector<isam::Value>> rows)
        : columns_(std::move(columns)), rows_(std::move(rows)) {}
    const std::vector<isam::ColumnDef>& columns() const override { return columns_; }
    bool next(std::vector<isam::Value>& row) override {
        if (at_ >= rows_.size()) return false;
        row = rows_[at_++];
        return true;
    }

  private:
    std::vector<isam::ColumnDef> columns_;
    std::vector<std::vector<isam::Value>> rows_;
    std::size_t at_ = 0;
};

}  // namespace qx::testing
