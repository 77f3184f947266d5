// Paths, file and port names as both platforms must treat them: UTF-8 in the
// core, Chinese names intact on disk, both separators where the system takes
// both, COM10 and above reachable. Portable: also run in the Windows tree
// under Wine.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "host/HostFile.h"
#include "link/SerialLink.h"

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr bool BACKSLASH_SEPARATES = true;
#else
constexpr bool BACKSLASH_SEPARATES = false;
#endif

std::string U8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

TEST(HostPath, SplitsAtTheLastSeparatorTheSystemKnows) {
    struct Case {
        const char* path;
        const char* folder;
        const char* name;
    };
    const Case common[] = {
        {"/home/u/books/a.bin", "/home/u/books", "a.bin"},
        {"a.bin", "", "a.bin"},
        {"C:/课本/数学.bin", "C:/课本", "数学.bin"},
    };
    // A dialog's "C:/a/b.bin" and a typed "C:\a\b.bin" name the same file on
    // Windows; elsewhere a backslash is part of the name.
    const Case mixed = BACKSLASH_SEPARATES ? Case{"C:\\a/b\\c.bin", "C:\\a/b", "c.bin"}
                                           : Case{"/x/a\\b.bin", "/x", "a\\b.bin"};
    std::vector<Case> cases(std::begin(common), std::end(common));
    cases.push_back(mixed);
    for (const Case& c : cases) {
        std::string folder, name;
        q8::SplitPath(c.path, folder, name);
        EXPECT_EQ(folder, c.folder) << c.path;
        EXPECT_EQ(name, c.name) << c.path;
    }
    EXPECT_EQ(q8::JoinPath("books", "a.bin"), std::string("books") + q8::PATH_SEPARATOR + "a.bin");
}

TEST(PortNames, ComNamesOnTheCommandLineGetTheDeviceNamespace) {
    struct Case {
        const char* given;
        const char* opened;
    };
    const Case cases[] = {
        {"COM10", "\\\\.\\COM10"}, {"com3", "\\\\.\\com3"},          {"COM", "COM"},
        {"COM1x", "COM1x"},        {"/dev/ttyUSB0", "/dev/ttyUSB0"}, {"\\\\.\\COM7", "\\\\.\\COM7"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(q8::WithDeviceNamespace(c.given), c.opened) << c.given;
        EXPECT_EQ(q8::DeviceSystemPath(c.given), BACKSLASH_SEPARATES ? c.opened : c.given);
    }
    // A chosen port that is missing is reported by the name it was chosen by.
    q8::ChoosePortDevice("COM2", "COM250");
    q8::SerialLink link;
    const q8::OpenResult missing = link.Open(1);
    q8::ChoosePortDevice("COM2", "");
    EXPECT_FALSE(missing.Opened());
    EXPECT_EQ(missing.device, "COM250");
}

class HostNamesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("q8names-" + std::to_string(std::random_device{}()));
        ASSERT_TRUE(fs::create_directory(dir_));
        before_ = fs::current_path();
    }
    void TearDown() override {
        fs::current_path(before_);
        fs::remove_all(dir_);
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            names.push_back(U8(entry.path().filename()));
        }
        return names;
    }

    fs::path dir_;
    fs::path before_;
};

// A Chinese name goes through the core as UTF-8 and must reach the disk as
// those characters, not as the bytes of some code page.
TEST_F(HostNamesTest, ChineseNamesSurviveWriteReadAndAbsolutePaths) {
    const std::string name = "上传的课文.bin";
    const std::string target = q8::JoinPath(U8(dir_), name);
    const std::vector<uint8_t> bytes = {1, 2, 3, 4, 5};
    q8::ReplacingFile out;
    ASSERT_TRUE(out.Create(target));
    ASSERT_TRUE(out.Write(bytes.data(), static_cast<uint32_t>(bytes.size())));
    ASSERT_TRUE(out.Commit());
    EXPECT_EQ(Names(), std::vector<std::string>{name});

    q8::SourceFile in;
    ASSERT_TRUE(in.Open(target));
    EXPECT_EQ(in.Size(), bytes.size());
    std::vector<uint8_t> back(bytes.size());
    EXPECT_EQ(in.ReadAt(0, back.data(), static_cast<uint32_t>(back.size())),
              static_cast<int64_t>(bytes.size()));
    EXPECT_EQ(back, bytes);
    in.Close();

    // A bare name is taken in the current folder, whose own name may be
    // Chinese too.
    const fs::path chinese = dir_ / fs::path(u8"数学");
    ASSERT_TRUE(fs::create_directory(chinese));
    fs::current_path(chinese);
    const std::string absolute = q8::AbsolutePath("数学.bin");
    std::string folder, file;
    q8::SplitPath(absolute, folder, file);
    EXPECT_EQ(file, "数学.bin");
    EXPECT_TRUE(fs::equivalent(fs::path(std::u8string(folder.begin(), folder.end())), chinese))
        << absolute;
    EXPECT_EQ(q8::AbsolutePath(absolute), absolute);
}

// The temporary's copy of a long name is cut at a whole character: a name
// cut inside one is no UTF-8 at all, which Windows will not take and other
// systems show as garbage.
TEST_F(HostNamesTest, LongNameIsCutAtAWholeCharacterForTheTemporary) {
    constexpr int CHARACTERS = 80;  // three bytes each: 240, past the 200 kept
    std::string name;
    for (int i = 0; i < CHARACTERS; ++i) {
        name += "课";
    }
    name += ".bin";
    q8::ReplacingFile out;
    ASSERT_TRUE(out.Create(q8::JoinPath(U8(dir_), name)));
    std::string folder, temp;
    q8::SplitPath(out.TempPath(), folder, temp);
    EXPECT_EQ(Names(), std::vector<std::string>{temp});
    const size_t suffix = temp.rfind(".part-");
    ASSERT_TRUE(temp[0] == '.' && suffix != std::string::npos) << temp;
    const std::string kept = temp.substr(1, suffix - 1);
    EXPECT_EQ(kept.size(), 198u);  // 66 whole characters; 200 bytes would split the 67th
    EXPECT_EQ(name.compare(0, kept.size(), kept), 0) << temp;
    ASSERT_TRUE(out.Commit());
    EXPECT_EQ(Names(), std::vector<std::string>{name});
}

}  // namespace
