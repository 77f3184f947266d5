#include "SimFiles.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "host/GbkText.h"
#include "protocol/DirEntry.h"
#include "protocol/Frames.h"

namespace q8sim {

namespace fs = std::filesystem;

namespace {

constexpr int TM_BASE_YEAR = 1900;

bool ReadWhole(const fs::path& path, std::vector<uint8_t>& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

q8::DirTime LocalDirTime(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    return q8::DirTime{local.tm_year + TM_BASE_YEAR,
                       local.tm_mon + 1,
                       local.tm_mday,
                       local.tm_hour,
                       local.tm_min,
                       local.tm_sec};
}

bool LoadFolder(const std::string& dir, std::vector<SimFile>& out) {
    std::error_code error;
    std::vector<fs::path> paths;
    for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
        if (it->is_regular_file(error)) {
            paths.push_back(it->path());
        }
    }
    if (error) {
        return false;
    }
    std::sort(paths.begin(), paths.end(), [](const fs::path& a, const fs::path& b) {
        return a.filename().string() < b.filename().string();
    });

    std::vector<SimFile> loaded;
    for (const fs::path& path : paths) {
        // stat rather than fs::last_write_time: its clock has no portable
        // conversion to time_t in C++20 libraries we build with.
        struct stat info {};
        SimFile file;
        if (stat(path.c_str(), &info) != 0 || !ReadWhole(path, file.data)) {
            return false;
        }
        file.nameGbk = q8::CutDirName(q8::Utf8ToGbk(path.filename().string()));
        file.time = LocalDirTime(info.st_mtime);
        loaded.push_back(std::move(file));
    }
    out.insert(out.end(), std::make_move_iterator(loaded.begin()),
               std::make_move_iterator(loaded.end()));
    return true;
}

std::vector<uint8_t> SyntheticData(uint32_t size) {
    std::vector<uint8_t> data(size);
    for (uint32_t i = 0; i < size; ++i) {
        data[i] = static_cast<uint8_t>(i * 7 + i / q8::BLOCK_SIZE * 13 + 1);
    }
    return data;
}

SimFile SyntheticFile(const std::string& utf8Name, uint32_t size) {
    return SimFile{q8::CutDirName(q8::Utf8ToGbk(utf8Name)), SYNTHETIC_FILE_TIME,
                   SyntheticData(size)};
}

uint32_t FilesFootprint(const std::vector<SimFile>& files) {
    uint32_t total = 0;
    for (const SimFile& file : files) {
        total += static_cast<uint32_t>(q8::CartridgeFootprint(file.data.size()));
    }
    return total;
}

}  // namespace q8sim
