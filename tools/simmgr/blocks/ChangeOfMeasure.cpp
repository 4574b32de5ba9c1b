#include "simmgr/blocks/ChangeOfMeasure.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "simmgr/wire/ContentHash.h"

namespace {

std::string HexDigits(uint64_t value) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(value));
    return buf;
}

bool HashFile(const std::string& path, uint64_t& hash, int64_t& size) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    hash = kContentHashStart;
    size = 0;
    std::vector<char> chunk(1 << 16);
    while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0) {
        const size_t n = static_cast<size_t>(in.gcount());
        hash = HashBytes(hash, reinterpret_cast<const uint8_t*>(chunk.data()), n);
        size += static_cast<int64_t>(n);
    }
    return in.eof() && !in.bad();
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
    uint64_t hash = 0;
    int64_t size = 0;
    if (access(resolved, R_OK) != 0) {
        error = "--bias " + file + ": " + std::strerror(errno);
        return false;
    }
    if (!HashFile(resolved, hash, size)) {
        error = "--bias " + file + ": cannot read the file";
        return false;
    }
    if (size == 0) {
        error = "--bias " + file + ": the file is empty";
        return false;
    }
    out.path = resolved;
    out.contentHash = HexDigits(hash);
    return true;
}
