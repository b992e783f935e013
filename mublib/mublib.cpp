// The C interface over the card and container units. One lock per context, held for
// each whole call: the card watch, the parser's read-ahead and the UI/worker thread
// all call in.
#include "mublib/mublib.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "mublib/mub_card.h"
#include "mublib/mub_container.h"

struct MUBContextImpl {
    std::mutex lock;
    // --- everything below is protected by lock
    std::vector<std::string> folders;     // named with MUB_AddCardFolder, in order
    std::vector<std::string> envFolders;  // from MUB_CARD
    bool scanRemovable = true;
    MUBDeviceIdentity identity{};

    uint64_t lastKey = 0;  // identity of the card last seen; 0 = none
    uint8_t lastId = 0;
    std::string lastRoot;

    std::vector<std::string> handles;  // recording path per handle
    mub::CMubReader reader;            // the selected recording
    int keyCount = 0;                  // status-0 packets handed out since MUB_SelectFile
};

namespace {

std::vector<std::string> SplitPaths(const char* text)
{
    std::vector<std::string> out;
    std::string cur;
    for (const char* p = text; p && *p; ++p) {
        if (*p == ':') {
            if (!cur.empty()) {
                out.push_back(cur);
            }
            cur.clear();
        } else {
            cur += *p;
        }
    }
    if (!cur.empty()) {
        out.push_back(cur);
    }
    return out;
}

// Looks for the card now and updates the remembered identity. Returns the card id.
uint8_t DetectCard(MUBContextImpl* c)
{
    std::string root;
    for (const auto* list : {&c->folders, &c->envFolders}) {
        for (const std::string& f : *list) {
            if (root.empty() && mub::HoldsCardLayout(f)) {
                root = f;
            }
        }
    }
    if (root.empty() && c->scanRemovable) {
        for (const std::string& m : mub::RemovableMountPoints("/proc/self/mounts", "/sys")) {
            if (mub::HoldsCardLayout(m)) {
                root = m;
                break;
            }
        }
    }
    // A card gone or replaced lets go of its recording: an open file would keep a
    // pulled card's file system busy, and reads must not go on from a card not there.
    const uint64_t key = root.empty() ? 0 : mub::CardKey(root) | 1;  // never 0 for a card
    if (c->lastKey != 0 && key != c->lastKey) {
        c->reader.Close();
        c->keyCount = 0;
    }
    if (root.empty()) {
        c->lastKey = 0;
        c->lastId = 0;
        c->lastRoot.clear();
        return 0;
    }
    if (key != c->lastKey) {
        uint8_t id = 0;
        for (int i = 0; i < 8; ++i) {
            id ^= static_cast<uint8_t>(key >> (8 * i));
        }
        if (id == 0) {
            id = 1;
        }
        // Another card must read as a change even when the hashes fold alike.
        if (id == c->lastId) {
            id = static_cast<uint8_t>(id % 255 + 1);
        }
        c->lastKey = key;
        c->lastId = id;
        c->lastRoot = root;
    }
    return c->lastId;
}

int HandleFor(MUBContextImpl* c, const std::string& path)
{
    auto it = std::find(c->handles.begin(), c->handles.end(), path);
    if (it != c->handles.end()) {
        return static_cast<int>(it - c->handles.begin());
    }
    c->handles.push_back(path);
    return static_cast<int>(c->handles.size()) - 1;
}

void CopyText(char* dst, size_t cap, const std::string& src)
{
    if (!dst || cap == 0) {
        return;
    }
    const size_t n = std::min(cap - 1, src.size());
    std::memcpy(dst, src.data(), n);
    dst[n] = 0;
}

int FillInfo(const std::string& path, const std::string& name, uint8_t* description, uint16_t* frameCount0,
             uint16_t* frameCount1, uint16_t* sixthCount, char* text, char* summary)
{
    auto src = std::make_unique<mub::CMubFileSource>();
    mub::CMubReader reader;
    if (!src->Open(path) || !reader.Open(std::move(src))) {
        return 0;
    }
    const mub::RecordingHeader& h = reader.Header();
    auto clamp16 = [](uint32_t v) { return static_cast<uint16_t>(std::min<uint32_t>(v, 0xFFFF)); };
    if (description) {
        std::memcpy(description, h.description, MUB_DESCRIPTION_BYTES);
    }
    if (frameCount0) {
        *frameCount0 = clamp16(h.frameCount[0]);
    }
    if (frameCount1) {
        *frameCount1 = clamp16(h.frameCount[1]);
    }
    if (sixthCount) {
        *sixthCount = clamp16(h.frameCount[2]);
    }
    char buf[MUB_TEXT_BYTES];
    if (text) {
        std::snprintf(buf, sizeof buf, "name=%s; packets=%u; durationMs=%u; keyUnits=%u; recovered=%d",
                      name.c_str(), h.packetCount, h.durationMs, h.indexCount, reader.WasRecovered() ? 1 : 0);
        CopyText(text, MUB_TEXT_BYTES, buf);
    }
    if (summary) {
        std::snprintf(buf, sizeof buf, "cntVideo0=%d; cntVideo1=%d; cntAudio=%d; cntACC=%d; cntGPS=%d",
                      static_cast<int>(h.frameCount[0]), static_cast<int>(h.frameCount[1]),
                      static_cast<int>(h.audioCount), static_cast<int>(h.accCount),
                      static_cast<int>(h.gpsCount));
        CopyText(summary, MUB_TEXT_BYTES, buf);
    }
    return 1;
}

// No C++ exception may reach a C caller (it would end the process): every call turns
// one into its error result, with a diagnostic line.
template <typename R, typename F>
R NoThrow(R failure, F&& body) noexcept
{
    try {
        return body();
    } catch (const std::exception& e) {
        std::printf("[MUBLib] call failed: %s\n", e.what());
    } catch (...) {
        std::printf("[MUBLib] call failed\n");
    }
    return failure;
}

}  // namespace

extern "C" {

MUBContext MUB_CreateContext(void)
{
    return NoThrow<MUBContext>(nullptr, [&]() -> MUBContext {
        auto c = std::make_unique<MUBContextImpl>();
        c->envFolders = SplitPaths(std::getenv("MUB_CARD"));
        const char* noRemovable = std::getenv("MUB_NO_REMOVABLE");
        c->scanRemovable = !(noRemovable && *noRemovable == '1');
        return c.release();
    });
}

void MUB_ReleaseContext(MUBContext ctx)
{
    delete ctx;
}

int MUB_AddCardFolder(MUBContext ctx, const char* path)
{
    return NoThrow<int>(0, [&]() -> int {
        if (!ctx || !path || !*path) {
            return 0;
        }
        std::lock_guard<std::mutex> guard(ctx->lock);
        std::string p = path;
        while (p.size() > 1 && p.back() == '/') {
            p.pop_back();
        }
        if (std::find(ctx->folders.begin(), ctx->folders.end(), p) == ctx->folders.end()) {
            ctx->folders.push_back(p);
        }
        return 1;
    });
}

int MUB_GetCardRoots(MUBContext ctx, char* roots, int slotBytes, int capacity)
{
    return NoThrow<int>(0, [&]() -> int {
        if (!ctx || !roots || slotBytes <= 0 || capacity <= 0) {
            return 0;
        }
        std::lock_guard<std::mutex> guard(ctx->lock);
        std::vector<std::string> found;
        for (const auto* list : {&ctx->folders, &ctx->envFolders}) {
            for (const std::string& f : *list) {
                if (mub::HoldsCardLayout(f) && std::find(found.begin(), found.end(), f) == found.end()) {
                    found.push_back(f);
                }
            }
        }
        if (ctx->scanRemovable) {
            for (const std::string& m : mub::RemovableMountPoints("/proc/self/mounts", "/sys")) {
                if (std::find(found.begin(), found.end(), m) == found.end()) {
                    found.push_back(m);
                }
            }
        }
        int n = 0;
        for (const std::string& f : found) {
            if (n == capacity) {
                break;
            }
            if (f.size() < static_cast<size_t>(slotBytes)) {
                CopyText(roots + static_cast<size_t>(n) * static_cast<size_t>(slotBytes),
                         static_cast<size_t>(slotBytes), f);
                ++n;
            }
        }
        return n;
    });
}

int MUB_GetCardId(MUBContext ctx, uint8_t* cardId)
{
    return NoThrow<int>(0, [&]() -> int {
        if (!ctx) {
            return 0;
        }
        std::lock_guard<std::mutex> guard(ctx->lock);
        const uint8_t id = DetectCard(ctx);
        if (cardId) {
            *cardId = id;
        }
        return id != 0 ? 1 : 0;
    });
}

int MUB_SetDeviceIdentity(MUBContext ctx, MUBDeviceIdentity identity)
{
    return NoThrow<int>(0, [&]() -> int {
        if (!ctx) {
            return 0;
        }
        std::lock_guard<std::mutex> guard(ctx->lock);
        ctx->identity = identity;
        return 1;
    });
}

int MUB_OpenCard(MUBContext ctx)
{
    return NoThrow<int>(0, [&]() -> int {
        if (!ctx) {
            return 0;
        }
        std::lock_guard<std::mutex> guard(ctx->lock);
        return DetectCard(ctx) != 0 ? 1 : 0;
    });
}

int MUB_GetFileCount(MUBContext ctx, uint8_t cardId, int category)
{
    return NoThrow<int>(0, [&]() -> int {
        if (!ctx || cardId == 0 || category < 0 || category > 3) {
            return 0;
        }
        std::lock_guard<std::mutex> guard(ctx->lock);
        if (DetectCard(ctx) != cardId) {
            return 0;
        }
        return static_cast<int>(mub::ListCategory(ctx->lastRoot, category).size());
    });
}

int MUB_GetFileList(MUBContext ctx, uint8_t cardId, int category, int capacity, char* names, uint32_t* sizes,
                    uint32_t* extra)
{
    return NoThrow<int>(0, [&]() -> int {
        if (!ctx || cardId == 0 || category < 0 || category > 3 || capacity <= 0 || !names) {
            return 0;
        }
        std::lock_guard<std::mutex> guard(ctx->lock);
        if (DetectCard(ctx) != cardId) {
            return 0;
        }
        const auto list = mub::ListCategory(ctx->lastRoot, category);
        const int n = std::min(capacity, static_cast<int>(list.size()));
        for (int i = 0; i < n; ++i) {
            char* slot = names + static_cast<size_t>(i) * MUB_NAME_SLOT_BYTES;
            std::memset(slot, 0, MUB_NAME_SLOT_BYTES);
            CopyText(slot, MUB_NAME_SLOT_BYTES, list[i].stem + ".avi");
            if (sizes) {
                // A size past 4 GiB must not wrap into the plausible range of the low word.
                const uint64_t size = list[i].sizeBytes;
                sizes[2 * i] = size > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(size);
                sizes[2 * i + 1] = static_cast<uint32_t>(size >> 32);
            }
            if (extra) {
                extra[i] = list[i].seconds;
            }
        }
        return n;
    });
}

int MUB_GetDefaultConfig(MUBContext ctx, char* buffer, int* length)
{
    return NoThrow<int>(0, [&]() -> int {
        if (!ctx || !buffer || !length) {
            return 0;
        }
        std::lock_guard<std::mutex> guard(ctx->lock);
        const std::string& text = mub::DefaultConfigText();
        // Room for the text and the terminator the caller adds.
        if (*length <= static_cast<int>(text.size())) {
            return 0;
        }
        std::memcpy(buffer, text.data(), text.size());
        buffer[text.size()] = 0;
        *length = static_cast<int>(text.size());
        return 1;
    });
}

int MUB_GetFileInfo(MUBContext ctx, const char* name, uint8_t* description, uint16_t* frameCount0,
                    uint16_t* frameCount1, uint16_t* sixthCount, char* text, char* summary, uint8_t* work)
{
    return NoThrow<int>(0, [&]() -> int {
        (void)work;
        mub::RecordingName parsed;
        if (!ctx || !mub::ParseRecordingName(name, &parsed)) {
            return 0;
        }
        std::lock_guard<std::mutex> guard(ctx->lock);
        if (DetectCard(ctx) == 0) {
            return 0;
        }
        const std::string path = mub::RecordingPath(ctx->lastRoot, parsed.category, parsed.stem);
        return FillInfo(path, parsed.stem + ".avi", description, frameCount0, frameCount1, sixthCount, text,
                        summary);
    });
}

int MUB_GetFileInfoByIndex(MUBContext ctx, const char* name, int index, uint8_t* description,
                           uint16_t* frameCount0, uint16_t* frameCount1, uint16_t* sixthCount, char* text,
                           char* summary, uint8_t* work)
{
    return NoThrow<int>(0, [&]() -> int {
        (void)work;
        mub::RecordingName parsed;
        if (!ctx || !mub::ParseRecordingName(name, &parsed) || index < 0) {
            return 0;
        }
        std::lock_guard<std::mutex> guard(ctx->lock);
        if (DetectCard(ctx) == 0) {
            return 0;
        }
        const auto list = mub::ListCategory(ctx->lastRoot, parsed.category);
        if (index >= static_cast<int>(list.size())) {
            return 0;
        }
        const auto& e = list[static_cast<size_t>(index)];
        return FillInfo(e.path, e.stem + ".avi", description, frameCount0, frameCount1, sixthCount, text,
                        summary);
    });
}

int MUB_OpenFileByName(MUBContext ctx, int category, const char* name)
{
    return NoThrow<int>(-1, [&]() -> int {
        mub::RecordingName parsed;
        if (!ctx || category < 0 || category > 3 || !mub::ParseRecordingName(name, &parsed)) {
            return -1;
        }
        std::lock_guard<std::mutex> guard(ctx->lock);
        if (DetectCard(ctx) == 0) {
            return -1;
        }
        const std::string path = mub::RecordingPath(ctx->lastRoot, category, parsed.stem);
        mub::RecordingHeader h;
        uint64_t size = 0;
        if (!mub::ReadHeaderOnly(path, &h, &size)) {
            return -1;
        }
        return HandleFor(ctx, path);
    });
}

int MUB_OpenFileByIndex(MUBContext ctx, int category, int index)
{
    return NoThrow<int>(-1, [&]() -> int {
        if (!ctx || category < 0 || category > 3 || index < 0) {
            return -1;
        }
        std::lock_guard<std::mutex> guard(ctx->lock);
        if (DetectCard(ctx) == 0) {
            return -1;
        }
        const auto list = mub::ListCategory(ctx->lastRoot, category);
        if (index >= static_cast<int>(list.size())) {
            return -1;
        }
        return HandleFor(ctx, list[static_cast<size_t>(index)].path);
    });
}

int MUB_SelectFile(MUBContext ctx, int category, int reserved, int handle)
{
    return NoThrow<int>(0, [&]() -> int {
        (void)category;
        (void)reserved;
        if (!ctx) {
            return 0;
        }
        std::lock_guard<std::mutex> guard(ctx->lock);
        ctx->reader.Close();
        ctx->keyCount = 0;
        if (handle < 0 || handle >= static_cast<int>(ctx->handles.size())) {
            return 0;
        }
        auto src = std::make_unique<mub::CMubFileSource>();
        if (!src->Open(ctx->handles[static_cast<size_t>(handle)])) {
            return 0;
        }
        return ctx->reader.Open(std::move(src)) ? 1 : 0;
    });
}

int8_t MUB_ReadPacket(MUBContext ctx, uint8_t* type, uint8_t* status, uint8_t* flag, int* size, void* buffer,
                      uint32_t* unused)
{
    return NoThrow<int8_t>(MUB_READ_ERROR, [&]() -> int8_t {
        if (!ctx || !size || (!buffer && *size > 0)) {
            return MUB_READ_ERROR;
        }
        std::lock_guard<std::mutex> guard(ctx->lock);
        if (unused) {
            *unused = 0;
        }
        if (!ctx->reader.IsOpen()) {
            return MUB_READ_ERROR;
        }
        const uint32_t capacity = *size > 0 ? static_cast<uint32_t>(*size) : 0;
        mub::PacketInfo info;
        switch (ctx->reader.Next(buffer, capacity, &info)) {
            case mub::ReadResult::kOk:
                if (type) {
                    *type = info.type;
                }
                if (status) {
                    *status = info.status;
                }
                if (flag) {
                    *flag = info.flag;
                }
                *size = static_cast<int>(info.length);
                if (info.status == mub::kStatusKey) {
                    ctx->keyCount++;
                }
                return MUB_READ_OK;
            case mub::ReadResult::kTooBig:
                // type, status, flag and size stay as they came in, so the caller sees no packet.
                return MUB_READ_TOOBIG;
            case mub::ReadResult::kEnd:
                return MUB_READ_END;
            case mub::ReadResult::kError:
            default:
                return MUB_READ_ERROR;
        }
    });
}

int MUB_Seek(MUBContext ctx, int target, int limit)
{
    return NoThrow<int>(0, [&]() -> int {
        if (!ctx) {
            return 0;
        }
        std::lock_guard<std::mutex> guard(ctx->lock);
        if (!ctx->reader.IsOpen()) {
            return 0;
        }
        // The caller adds the key units it has counted (the same count as ours) plus one.
        const long long k = ctx->keyCount;
        long long n = static_cast<long long>(target) - k - 1;
        const long long m = static_cast<long long>(limit) - k - 1;
        n = std::min(n, m);
        n = std::max(n, 0LL);
        n = std::min<long long>(n, INT32_MAX);
        return ctx->reader.SeekKeyUnit(static_cast<int>(n)) ? 1 : 0;
    });
}

}  // extern "C"
