#include "simmgr/blocks/ChangeOfMeasure.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "common/ContentHash.h"

namespace {

std::string HexDigits(uint64_t value) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(value));
    return buf;
}

bool ReadWhole(const std::string& path, std::string& content) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

bool LoadChangeOfMeasure(const std::string& file, ChangeOfMeasure& out, std::string& error) {
    char resolved[PATH_MAX];
    struct stat info;
    if (realpath(file.c_str(), resolved) == nullptr || stat(resolved, &info) != 0) {
        error = "--bias " + file + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = "--bias " + file + ": not a regular file";
        return false;
    }
    if (access(resolved, R_OK) != 0) {
        error = "--bias " + file + ": " + std::strerror(errno);
        return false;
    }
    std::string content;
    if (!ReadWhole(resolved, content)) {
        error = "--bias " + file + ": cannot read the file";
        return false;
    }
    if (content.empty()) {
        error = "--bias " + file + ": the file is empty";
        return false;
    }
    out.path = resolved;
    out.contentHash =
        HexDigits(HashBytes(kContentHashStart, reinterpret_cast<const uint8_t*>(content.data()), content.size()));
    out.content = std::move(content);
    out.copyPath.clear();
    return true;
}

bool FileHolds(const std::string& path, const std::string& content) {
    std::string held;
    return ReadWhole(path, held) && held == content;
}

bool ChangeOfMeasure::CopyIntact(std::string& error) const {
    if (FileHolds(copyPath, content)) return true;
    error = "the change of measure handed to the simulators, " + copyPath +
            ", no longer holds the content of " + path + " that was read (hash " + contentHash + ")";
    return false;
}
