#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "kivo/imaging/File.h"
#include "support/PhotoFixture.h"

namespace fs = std::filesystem;

namespace {

class FileTest : public testing::Test {
protected:
    void SetUp() override {
        Dir = fs::temp_directory_path() /
              ("kivo-file-test-" + std::to_string(::getpid()) + "-" +
               testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(Dir);
    }
    void TearDown() override {
        fs::permissions(Dir, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(Dir);
    }
    static std::string Slurp(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    fs::path Dir;
};

TEST_F(FileTest, FormatComesFromTheContentNotTheName) {
    BitmapHandle photo = kivo::test::MakePhotoFixture(9, 5);
    fs::path misnamed = Dir / "photo.jpg";
    ASSERT_EQ(L_SaveBitmap(misnamed, &photo, FILE_BMP, 24), SUCCESS);
    BitmapHandle loaded;
    FileInfo info;
    ASSERT_EQ(L_LoadBitmap(misnamed, &loaded, 0, 1, nullptr, &info), SUCCESS);
    EXPECT_EQ(info.Format, FILE_BMP);
    EXPECT_EQ(loaded.Width, 9);
    EXPECT_EQ(std::memcmp(loaded.Row(4), photo.Row(4), 27), 0);
}

TEST_F(FileTest, LoadErrorsAreNamed) {
    BitmapHandle b;
    EXPECT_EQ(L_LoadBitmap((Dir / "missing.bmp").string(), &b), ERROR_FILE_OPEN);
    std::ofstream(Dir / "text.bmp") << "this is not a picture";
    EXPECT_EQ(L_LoadBitmap((Dir / "text.bmp").string(), &b), ERROR_FILE_FORMAT);
    std::ofstream(Dir / "empty.bmp");
    EXPECT_EQ(L_LoadBitmap((Dir / "empty.bmp").string(), &b), ERROR_FILE_FORMAT);
    EXPECT_EQ(L_LoadBitmap(Dir.string(), &b), ERROR_FILE_OPEN);
    EXPECT_FALSE(b.Allocated());
}

TEST_F(FileTest, LoadAtARequestedDepth) {
    BitmapHandle photo = kivo::test::MakePhotoFixture(9, 5);
    fs::path path = Dir / "p.bmp";
    ASSERT_EQ(L_SaveBitmap(path, &photo, FILE_BMP, 24), SUCCESS);
    BitmapHandle grey;
    ASSERT_EQ(L_LoadBitmap(path, &grey, 8), SUCCESS);
    EXPECT_EQ(grey.BitsPerPixel, 8);
}

TEST_F(FileTest, AFailedSaveLeavesTheExistingFileAlone) {
    fs::path target = Dir / "keep.bmp";
    std::ofstream(target) << "precious";
    BitmapHandle photo = kivo::test::MakePhotoFixture(4, 4);
    // A depth the format cannot store, an unknown format and an empty bitmap all fail cleanly.
    EXPECT_EQ(L_SaveBitmap(target, &photo, FILE_BMP, 2), ERROR_INV_BITSPERPIXEL);
    EXPECT_EQ(L_SaveBitmap(target, &photo, 9999, 24), ERROR_INV_FORMAT);
    BitmapHandle empty;
    EXPECT_EQ(L_SaveBitmap(target, &empty, FILE_BMP, 24), ERROR_NO_BITMAP);
    EXPECT_EQ(Slurp(target), "precious");
    for (const auto& entry : fs::directory_iterator(Dir))
        EXPECT_EQ(entry.path().filename(), "keep.bmp") << "temporary file left behind";
}

TEST_F(FileTest, SaveIntoAnUnwritableFolderFails) {
    if (::geteuid() == 0) {
        // Root ignores folder permissions; a path through a regular file fails for everyone.
        std::ofstream(Dir / "plain");
        BitmapHandle photo = kivo::test::MakePhotoFixture(4, 4);
        EXPECT_EQ(L_SaveBitmap((Dir / "plain" / "x.bmp").string(), &photo, FILE_BMP, 24),
                  ERROR_FILE_WRITE);
        return;
    }
    fs::path locked = Dir / "locked";
    fs::create_directories(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    BitmapHandle photo = kivo::test::MakePhotoFixture(4, 4);
    EXPECT_EQ(L_SaveBitmap((locked / "x.bmp").string(), &photo, FILE_BMP, 24), ERROR_FILE_WRITE);
    fs::permissions(locked, fs::perms::owner_all);
}

TEST_F(FileTest, SaveReplacesTheTargetAndKeepsItsPermissions) {
    fs::path target = Dir / "p.bmp";
    std::ofstream(target) << "old";
    ::chmod(target.c_str(), 0640);
    BitmapHandle photo = kivo::test::MakePhotoFixture(4, 4);
    ASSERT_EQ(L_SaveBitmap(target, &photo, FILE_BMP, 24), SUCCESS);
    struct stat st{};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    BitmapHandle loaded;
    EXPECT_EQ(L_LoadBitmap(target, &loaded), SUCCESS);
}

}  // namespace
