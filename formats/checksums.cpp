// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/checksums.h"

#include "mublib/mub_card.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// Files are hashed in pieces of this size.
constexpr size_t kReadChunkBytes = 1 << 20;
// Card roots asked of the library, and the longest path a slot holds.
constexpr int kMaxRoots = 16;
constexpr int kRootSlotBytes = 4096;

struct DigestDeleter {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
using Digest = std::unique_ptr<EVP_MD_CTX, DigestDeleter>;

Digest NewSha256()
{
    Digest ctx(EVP_MD_CTX_new());
    if (ctx && EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) {
        ctx.reset();
    }
    return ctx;
}

std::string Hex(const unsigned char* bytes, unsigned size)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (unsigned i = 0; i < size; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 15];
    }
    return out;
}

std::string Finish(EVP_MD_CTX* ctx)
{
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    if (EVP_DigestFinal_ex(ctx, md, &size) != 1) {
        return {};
    }
    return Hex(md, size);
}

std::string ErrorText(const std::string& what, int error)
{
    return what + ": " + std::strerror(error);
}

// The name as the folder's listing shows it, the folder left off.
std::string BaseName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool WriteAll(int fd, const std::string& text, int* error)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            *error = n < 0 ? errno : ENOSPC;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

std::string Sha256Hex(const void* data, size_t size)
{
    Digest ctx = NewSha256();
    if (!ctx || EVP_DigestUpdate(ctx.get(), data, size) != 1) {
        return {};
    }
    return Finish(ctx.get());
}

std::string Sha256OfFile(const std::string& path, std::string* error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = ErrorText("cannot read " + path, errno);
        return {};
    }
    Digest ctx = NewSha256();
    auto buffer = std::make_unique_for_overwrite<unsigned char[]>(kReadChunkBytes);
    bool ok = static_cast<bool>(ctx);
    while (ok) {
        const ssize_t n = ::read(fd, buffer.get(), kReadChunkBytes);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            *error = ErrorText("cannot read " + path, errno);
            ok = false;
        } else if (n == 0) {
            break;
        } else {
            ok = EVP_DigestUpdate(ctx.get(), buffer.get(), static_cast<size_t>(n)) == 1;
        }
    }
    ::close(fd);
    std::string hex = ok ? Finish(ctx.get()) : std::string();
    if (hex.empty() && error->empty()) {
        *error = "cannot compute the SHA-256 of " + path;
    }
    return hex;
}

std::string ChecksumLine(const std::string& hex, const std::string& name)
{
    std::string escaped;
    bool special = false;
    for (const char c : name) {
        if (c == '\\') {
            escaped += "\\\\";
            special = true;
        } else if (c == '\n') {
            escaped += "\\n";
            special = true;
        } else {
            escaped += c;
        }
    }
    return (special ? "\\" : "") + hex + "  " + escaped + "\n";
}

std::string ChecksumComment(const std::string& text)
{
    std::string line = "# " + text;
    for (char& c : line) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    return line + "\n";
}

bool AppendChecksums(const std::string& folder, const std::string& text, std::string* error)
{
    const std::string path = (folder.empty() ? std::string(".") : folder) + "/" + kChecksumFileName;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = ErrorText("cannot write " + path, errno);
        return false;
    }
    int failure = 0;
    bool ok = ::flock(fd, LOCK_EX) == 0;
    if (!ok) {
        failure = errno;
    }
    struct stat before {};
    ok = ok && ::fstat(fd, &before) == 0;
    if (ok && !WriteAll(fd, text, &failure)) {
        // Whatever part reached the file goes again, so no half line stays behind.
        if (::ftruncate(fd, before.st_size) != 0) {
            std::fprintf(stderr, "[checksums] cannot cut %s back after a failed append\n", path.c_str());
        }
        ok = false;
    }
    if (ok && ::fsync(fd) != 0) {
        failure = errno;
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        failure = errno;
        ok = false;
    }
    if (!ok) {
        *error = ErrorText("cannot write " + path, failure != 0 ? failure : EIO);
    }
    return ok;
}

std::string ChecksumLinesFor(const std::string& folder, const std::vector<std::string>& names,
                             std::vector<std::string>* problems)
{
    std::string lines;
    for (const std::string& name : names) {
        std::string error;
        const std::string hex = Sha256OfFile((folder.empty() ? name : folder + "/" + name), &error);
        if (hex.empty()) {
            problems->push_back(error);
        } else {
            lines += ChecksumLine(hex, BaseName(name));
        }
    }
    return lines;
}

std::string RecordingSourcePath(MUBContext ctx, const std::string& recordingName)
{
    mub::RecordingName parsed;
    const std::string name = recordingName.substr(0, recordingName.find(','));
    if (ctx == nullptr || !mub::ParseRecordingName(name.c_str(), &parsed)) {
        return {};
    }
    std::vector<char> roots(static_cast<size_t>(kMaxRoots) * kRootSlotBytes);
    const int count = MUB_GetCardRoots(ctx, roots.data(), kRootSlotBytes, kMaxRoots);
    for (int i = 0; i < count; ++i) {
        const std::string root(roots.data() + static_cast<size_t>(i) * kRootSlotBytes);
        // The library reads the first root that holds the layout.
        if (mub::HoldsCardLayout(root)) {
            const std::string path = mub::RecordingPath(root, parsed.category, parsed.stem);
            struct stat st {};
            return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? path : std::string();
        }
    }
    return {};
}

std::string RecordingCommentFor(int cardId, const std::string& recordingName, const std::string& source)
{
    const std::string name = recordingName.substr(0, recordingName.find(','));
    std::string text = "card " + std::to_string(cardId) + ", recording " + name;
    struct stat st {};
    std::string error;
    const std::string hex = source.empty() ? std::string() : Sha256OfFile(source, &error);
    if (hex.empty() || ::stat(source.c_str(), &st) != 0) {
        return ChecksumComment(text + ", source file on the card not found or unreadable");
    }
    text += ", " + std::to_string(static_cast<long long>(st.st_size)) + " bytes, source SHA-256 " + hex;
    return ChecksumComment(text);
}
