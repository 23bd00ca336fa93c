// The replay recording's path: the working directory's ../wwv.bin first,
// then the recording installed with the program.
#include "link/replayfile.h"

#include <filesystem>
#include <system_error>

namespace {

constexpr char szReplayFile[] = "../wwv.bin";
constexpr char szInstalledName[] = "wwv.bin";

bool isFile(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

} // namespace

std::string replayFile() {
    namespace fs = std::filesystem;
    if (isFile(szReplayFile)) {
        return szReplayFile;
    }
    // The data directory relative to the program's own directory keeps a
    // package installed under any prefix working.
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    if (!error) {
        const fs::path beside = program.parent_path() / VELKOR_DATA_FROM_BIN / szInstalledName;
        if (isFile(beside)) {
            return beside.lexically_normal().string();
        }
    }
    const fs::path configured = fs::path(VELKOR_DATA_DIR) / szInstalledName;
    if (isFile(configured)) {
        return configured.string();
    }
    return szReplayFile;
}
