// The Access driver: listing, and a helper that fails or crashes.
#include "platform/isam/access/access_driver.h"

#include <gtest/gtest.h>

#include "platform/os/files.h"
#include "unit/test_dir.h"

namespace qx::isam::access {
namespace {

using qx::testing::TestDir;
using qx::testing::writeFile;

const std::filesystem::path kFixtures =
    std::filesystem::path(QX_SOURCE_DIR) / ".." / "shared" / "fixtures";

TEST(Access, ListsUserTablesInCatalogueOrder) {
    auto names = listAccessTables(kFixtures / "nwind.mdb");
    EXPECT_EQ(names, (std::vector<std::string>{"Order Details", "Orders", "Products", "Shippers",
                                               "Categories", "Customers", "Employees", "Suppliers",
                                               "Umsätze"}));
    EXPECT_EQ(listAccessTables(kFixtures / "DateTestDatabase.mdb"),
              (std::vector<std::string>{"DateTest"}));
    EXPECT_TRUE(
        listAccessTables(std::filesystem::path(QX_SOURCE_DIR) / "tests/data/access/truncated.mdb")
            .empty());
    EXPECT_TRUE(listAccessTables("/nonexistent.mdb").empty());
}

// A helper that dies part-way, as libmdb may on a damaged file, must not take the caller along.
TEST(Access, AHelperThatCrashesGivesAClearError) {
    TestDir dir;
    auto helper = dir / "crashing_helper";
    // One column message, then the process kills itself.
    writeFile(helper,
              "#!/bin/sh\nprintf 'C\\010\\000\\000\\000\\002\\377\\000IDCol'\nkill -SEGV $$\n");
    std::filesystem::permissions(helper, std::filesystem::perms::owner_all);
    AccessDriver driver(helper);
    ExternalClause db;
    db.properties.emplace_back("DATABASE", (kFixtures / "nwind.mdb").string());
    std::string error;
    auto rows = driver.readTable(db, "Products", error);
    EXPECT_FALSE(rows);
    EXPECT_NE(error.find("已损坏"), std::string::npos) << error;

    std::vector<TableName> tables;
    EXPECT_FALSE(driver.listTables(db, tables, error));

    AccessDriver missing(dir / "no_such_helper");
    EXPECT_FALSE(missing.readTable(db, "Products", error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace qx::isam::access
