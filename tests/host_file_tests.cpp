#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <tuple>

#include "TempFolder.h"
#include "host/HostFile.h"

namespace {

namespace fs = std::filesystem;

class HostFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.Made());
        dir_ = folder_.Path();
    }

    std::string PathOf(const std::string& name) const { return q8::JoinPath(dir_, name); }
    static void Put(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string Get(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::set<std::string> Listing() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }
    static bool Write(q8::ReplacingFile& file, const std::string& bytes) {
        return file.Write(reinterpret_cast<const uint8_t*>(bytes.data()),
                          static_cast<uint32_t>(bytes.size()));
    }

    q8test::TempFolder folder_{"q8hostfile"};
    std::string dir_;
};

// Sets TZ for one test and puts the old value back.
class ZoneOverride {
  public:
    explicit ZoneOverride(const char* zone) {
        if (const char* old = std::getenv("TZ")) {
            old_ = old;
        }
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneOverride() {
        old_ ? setenv("TZ", old_->c_str(), 1) : unsetenv("TZ");
        tzset();
    }

  private:
    std::optional<std::string> old_;
};

TEST_F(HostFileTest, SourceReadsAtOffsetsUntilEnd) {
    Put(PathOf("s.bin"), "0123456789");
    q8::SourceFile source;
    ASSERT_TRUE(source.Open(PathOf("s.bin")));
    EXPECT_EQ(source.Size(), 10u);
    uint8_t buffer[8] = {};
    ASSERT_EQ(source.ReadAt(3, buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, buffer + 4), "3456");
    ASSERT_EQ(source.ReadAt(8, buffer, 8), 2);
    EXPECT_EQ(std::string(buffer, buffer + 2), "89");
    EXPECT_EQ(source.ReadAt(10, buffer, 8), 0);
    EXPECT_EQ(source.ReadAt(1000, buffer, 8), 0);
    source.Close();
    EXPECT_FALSE(source.IsOpen());
    EXPECT_EQ(source.ReadAt(0, buffer, 8), -1);
}

TEST_F(HostFileTest, SourceReportsLocalModificationTime) {
    // A zone away from UTC, so that a UTC time cannot pass for local time.
    const ZoneOverride zone("CST-8");
    Put(PathOf("t.bin"), "x");
    const time_t when = 1700000000 + 4 * 3600 + 5 * 60 + 6;
    const timeval times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(utimes(PathOf("t.bin").c_str(), times), 0);
    struct tm local {};
    ASSERT_NE(localtime_r(&when, &local), nullptr);

    q8::SourceFile source;
    ASSERT_TRUE(source.Open(PathOf("t.bin")));
    const q8::DirTime& t = source.Modified();
    EXPECT_EQ(std::tie(t.year, t.month, t.day, t.hour, t.minute, t.second),
              std::make_tuple(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                              local.tm_min, local.tm_sec));
}

TEST_F(HostFileTest, SourceRefusesWhatIsNotARegularFile) {
    q8::SourceFile source;
    EXPECT_FALSE(source.Open(PathOf("missing.bin")));
    EXPECT_FALSE(source.Open(dir_));
    // Opening a FIFO for reading would wait for a writer.
    ASSERT_EQ(mkfifo(PathOf("pipe").c_str(), 0600), 0);
    EXPECT_FALSE(source.Open(PathOf("pipe")));
    EXPECT_FALSE(source.IsOpen());
}

TEST_F(HostFileTest, CommitReplacesTargetKeepingItsPermissions) {
    const std::string target = PathOf("book.bin");
    Put(target, "old contents");
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    q8::ReplacingFile file;
    ASSERT_TRUE(file.Create(target));
    EXPECT_EQ(fs::path(file.TempPath()).parent_path(), fs::path(dir_));
    ASSERT_TRUE(Write(file, "new"));
    EXPECT_EQ(Get(target), "old contents");
    ASSERT_TRUE(file.Commit());
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(file.Commit());

    EXPECT_EQ(Get(target), "new");
    EXPECT_EQ(Listing(), std::set<std::string>{"book.bin"});
    struct stat info {};
    ASSERT_EQ(stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

// A link as the target: the file it names gets the new bytes, the link stays
// a link, and a link that leads nowhere names the file to create.
TEST_F(HostFileTest, CommitThroughSymbolicLinksReplacesTheFileTheyName) {
    fs::create_directory(PathOf("real"));
    const std::string real = PathOf("real/book.bin");
    Put(real, "old");
    struct Case {
        const char* link;
        const char* pointsTo;  // as written into the link
        std::string file;      // what must hold the new bytes
    };
    const Case cases[] = {
        {"relative.bin", "real/book.bin", real},
        {"absolute.bin", nullptr, real},
        {"chain.bin", "relative.bin", real},
        {"dangling.bin", "real/new.bin", PathOf("real/new.bin")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link);
        const std::string link = PathOf(c.link);
        ASSERT_EQ(symlink(c.pointsTo != nullptr ? c.pointsTo : real.c_str(), link.c_str()), 0);
        q8::ReplacingFile file;
        ASSERT_TRUE(file.Create(link));
        EXPECT_EQ(fs::path(file.TempPath()).parent_path(), fs::path(PathOf("real")));
        ASSERT_TRUE(Write(file, c.link));
        ASSERT_TRUE(file.Commit());
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(Get(c.file), c.link);
    }
    EXPECT_EQ(Listing(), (std::set<std::string>{"absolute.bin", "chain.bin", "dangling.bin", "real",
                                                "relative.bin"}));

    // Links that go round in a circle name no file at all.
    ASSERT_EQ(symlink("loop-b", PathOf("loop-a").c_str()), 0);
    ASSERT_EQ(symlink("loop-a", PathOf("loop-b").c_str()), 0);
    q8::ReplacingFile file;
    EXPECT_FALSE(file.Create(PathOf("loop-a")));
    EXPECT_TRUE(fs::is_symlink(PathOf("loop-a")));
}

TEST_F(HostFileTest, BareTargetNameUsesCurrentFolder) {
    const fs::path before = fs::current_path();
    fs::current_path(dir_);
    q8::ReplacingFile file;
    const bool created = file.Create("new.bin");
    const bool written = created && Write(file, "abc") && file.Commit();
    fs::current_path(before);
    ASSERT_TRUE(written);
    EXPECT_EQ(Get(PathOf("new.bin")), "abc");
    EXPECT_EQ(Listing(), std::set<std::string>{"new.bin"});
}

TEST_F(HostFileTest, DiscardOrDestructionLeavesTargetUntouched) {
    const std::string target = PathOf("book.bin");
    Put(target, "keep me");
    {
        q8::ReplacingFile file;
        ASSERT_TRUE(file.Create(target));
        ASSERT_TRUE(Write(file, "partial"));
        EXPECT_EQ(Listing().size(), 2u);
        file.Discard();
        file.Discard();
        EXPECT_EQ(Listing(), std::set<std::string>{"book.bin"});
        ASSERT_TRUE(file.Create(target));
        ASSERT_TRUE(Write(file, "partial"));
    }
    EXPECT_EQ(Get(target), "keep me");
    EXPECT_EQ(Listing(), std::set<std::string>{"book.bin"});
}

TEST_F(HostFileTest, CreateRefusesUnwritableTargets) {
    q8::ReplacingFile file;
    EXPECT_FALSE(file.Create(PathOf("no-such-folder/a.bin")));
    fs::create_directory(PathOf("sub"));
    EXPECT_FALSE(file.Create(PathOf("sub")));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(Listing(), std::set<std::string>{"sub"});
}

TEST_F(HostFileTest, CreateRefusesReadOnlyTarget) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root writes read-only files";
    }
    const std::string target = PathOf("ro.bin");
    Put(target, "x");
    ASSERT_EQ(chmod(target.c_str(), 0444), 0);
    q8::ReplacingFile file;
    EXPECT_FALSE(file.Create(target));
    EXPECT_EQ(Listing(), std::set<std::string>{"ro.bin"});
}

// A file size limit makes write() fail with EFBIG, as a full disk would.
// Runs in the death-test child: exit code 0 when only the write past the
// limit failed.
[[noreturn]] void WritePastSizeLimit(const std::string& target) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    q8::ReplacingFile file;
    const std::string fits(4096, 'a');
    if (!file.Create(target) || !file.Write(reinterpret_cast<const uint8_t*>(fits.data()), 4096)) {
        std::_Exit(1);
    }
    const uint8_t more = 'b';
    const bool wrote = file.Write(&more, 1);
    file.Discard();
    std::_Exit(wrote ? 2 : 0);
}

TEST_F(HostFileTest, WriteReportsFailure) {
    EXPECT_EXIT(WritePastSizeLimit(PathOf("big.bin")), ::testing::ExitedWithCode(0), "");
    EXPECT_TRUE(Listing().empty());
}

}  // namespace
