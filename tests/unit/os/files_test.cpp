// Files replaced in one step.
#include "platform/os/files.h"

#include <gtest/gtest.h>

#include "unit/test_dir.h"

namespace qx::os {
namespace {

using qx::testing::readFile;
using qx::testing::TestDir;
using qx::testing::writeFile;

TEST(ReplaceFile, NewContentOrOldContentNeverAMix) {
    TestDir dir;
    auto target = dir / "结果.csv";
    writeFile(target, "old");
    auto temp = siblingTempPath(target);
    EXPECT_EQ(temp.parent_path(), target.parent_path());
    EXPECT_NE(temp, siblingTempPath(target));
    writeFile(temp, "new");
    std::string error;
    ASSERT_TRUE(replaceFile(temp, target, error)) << error;
    EXPECT_EQ(readFile(target), "new");
    EXPECT_FALSE(std::filesystem::exists(temp));

    // A missing source leaves the target as it was.
    EXPECT_FALSE(replaceFile(dir / "missing", target, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(readFile(target), "new");

    EXPECT_TRUE(removeIfExists(target));
    EXPECT_TRUE(removeIfExists(target));
    EXPECT_FALSE(std::filesystem::exists(target));
}

TEST(ProgramDirectory, IsAWritableDirectory) {
    auto dir = resolveProgramDirectory();
    EXPECT_TRUE(std::filesystem::is_directory(dir));
    EXPECT_EQ(executableDirectory(), dir) << "the test's own directory is writable";
}

}  // namespace
}  // namespace qx::os
