// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/mubparser.h"

#include "platform/trace.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

std::atomic<MUBContext> g_context{nullptr};
// Frames per seek step; the main window sets 30 at start-up.
std::atomic<float> g_seekUnit{30.0f};

// Where the description record keeps the fields the parser uses.
constexpr int kWidthOffset = 0x34;   // three 16-bit widths
constexpr int kHeightOffset = 0x14;  // three 16-bit heights
constexpr int kFpsOffset = 3;        // three 8-bit frame rates

// The summary text's layout; parsed the way sscanf would read it.
constexpr const char* kSummaryFormat = "cntVideo0=%d; cntVideo1=%d; cntAudio=%d; cntACC=%d; cntGPS=%d";

constexpr const char* kStreamIds[5] = {"00dc", "01dc", "02dc", "02wb", "03tx"};

int Le16(const uint8_t* p)
{
    return p[0] | (p[1] << 8);
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A decimal number with optional sign, as %d reads it (no leading blanks here); values
// beyond int saturate. Returns the characters used, 0 when there is no number.
size_t ReadDecimal(const char* s, size_t length, int* value)
{
    size_t i = 0;
    bool negative = false;
    if (i < length && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    const size_t digitsStart = i;
    long long v = 0;
    while (i < length && IsDigit(s[i])) {
        v = std::min<long long>(v * 10 + (s[i] - '0'), 1LL + INT_MAX);
        ++i;
    }
    if (i == digitsStart) {
        return 0;
    }
    v = negative ? -v : v;
    *value = static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
    return i;
}

// Float to int by truncation, without the undefined behaviour of an out-of-range cast.
int TruncToInt(float x)
{
    if (std::isnan(x)) {
        return 0;
    }
    if (x >= static_cast<float>(INT_MAX)) {
        return INT_MAX;
    }
    if (x <= static_cast<float>(INT_MIN)) {
        return INT_MIN;
    }
    return static_cast<int>(x);
}

}  // namespace

const MUBLibCalls& DefaultMUBLibCalls()
{
    static const MUBLibCalls calls = [] {
        MUBLibCalls c;
        c.getFileInfo = &MUB_GetFileInfo;
        c.getFileInfoByIndex = &MUB_GetFileInfoByIndex;
        c.openFileByName = &MUB_OpenFileByName;
        c.openFileByIndex = &MUB_OpenFileByIndex;
        c.selectFile = &MUB_SelectFile;
        c.readPacket = &MUB_ReadPacket;
        c.seek = &MUB_Seek;
        return c;
    }();
    return calls;
}

void SetLibraryContext(MUBContext ctx)
{
    g_context.store(ctx);
}

MUBContext GetLibraryContext()
{
    return g_context.load();
}

void SetSeekUnit(int frames)
{
    // A step of no frames would divide by zero in SeekTime.
    if (frames > 0) {
        g_seekUnit.store(static_cast<float>(frames));
    }
}

float GetSeekUnit()
{
    return g_seekUnit.load();
}

CMUBParser::CMUBParser(const MUBLibCalls& calls) : m_calls(calls) {}

CMUBParser::~CMUBParser()
{
    Stop();
}

bool CMUBParser::Start()
{
    if (m_thread.IsRunning()) {
        return true;
    }
    m_queue.Init(kQueueBytes);
    m_thread.Begin([this] { ReadAheadStep(); });
    return true;
}

void CMUBParser::Stop()
{
    m_thread.Stop();
}

int CMUBParser::CategoryOfName(const char* name)
{
    if (name == nullptr) {
        return -1;
    }
    if (name[0] == '/') {
        ++name;
    }
    switch (name[0]) {
        case 'R':
            return 0;
        case 'E':
            return 1;
        case 'M':
            return 2;
        case 'P':
            return 3;
        default:
            return -1;
    }
}

int CMUBParser::LibraryCategory(int category)
{
    static constexpr int kLibrary[4] = {MUB_CATEGORY_DRIVING, MUB_CATEGORY_EVENT, MUB_CATEGORY_MANUAL,
                                        MUB_CATEGORY_PARKING};
    return category >= 0 && category < 4 ? kLibrary[category] : MUB_CATEGORY_DRIVING;
}

int CMUBParser::SplitName(char* path, char** fileName)
{
    auto isSeparator = [](char c) { return c == ',' || c == ' '; };
    char* p = path;
    while (isSeparator(*p)) {
        ++p;
    }
    *fileName = p;
    while (*p != '\0' && !isSeparator(*p)) {
        ++p;
    }
    if (*p == '\0') {
        return -1;
    }
    *p++ = '\0';
    while (isSeparator(*p)) {
        ++p;
    }
    int index = -1;
    if (ReadDecimal(p, std::strlen(p), &index) == 0) {
        return -1;
    }
    return index;
}

int CMUBParser::ParseSummary(const char* text, size_t length, int values[5])
{
    length = strnlen(text, length);
    size_t in = 0;
    int assigned = 0;
    for (const char* f = kSummaryFormat; *f != '\0';) {
        if (IsSpace(*f)) {
            while (IsSpace(*f)) {
                ++f;
            }
            while (in < length && IsSpace(text[in])) {
                ++in;
            }
        } else if (f[0] == '%' && f[1] == 'd') {
            f += 2;
            while (in < length && IsSpace(text[in])) {
                ++in;
            }
            int value = 0;
            const size_t used = ReadDecimal(text + in, length - in, &value);
            if (used == 0) {
                break;
            }
            values[assigned++] = value;
            in += used;
        } else {
            if (in >= length || text[in] != *f) {
                break;
            }
            ++in;
            ++f;
        }
    }
    return assigned;
}

bool CMUBParser::PauseReading()
{
    const bool wasRunning = m_running.exchange(false);
    // A Set from an earlier idle spell must not count: wait for a fresh one.
    m_idle.Reset();
    // The reader sets the event at its next idle step; a thread that was never started
    // or has stopped sets nothing, so keep looking whether it still runs.
    while (m_thread.IsRunning() && !m_idle.Wait(5)) {
    }
    return wasRunning;
}

int CMUBParser::Open(char* path, MediaInfo* info)
{
    // Switch recordings only while the reader is between reads, so that no packet of the
    // previous recording lands in the queue after it was emptied.
    PauseReading();

    char empty[1] = {'\0'};
    char* name = path != nullptr ? path : empty;
    if (name[0] == '/') {
        ++name;
    }
    const int category = CategoryOfName(name);
    if (category >= 0) {
        m_category = category;
    }
    m_keyUnits = 0;

    char* split = nullptr;
    const int index = SplitName(name, &split);
    char fileName[kMaxFileNameChars + 1] = {};
    std::strncpy(fileName, split, kMaxFileNameChars);
    std::memcpy(m_fileName, fileName, sizeof m_fileName);
    m_oversizeReported = false;

    uint8_t record[MUB_DESCRIPTION_BYTES] = {};
    uint16_t count0 = 0;
    uint16_t count1 = 0;
    uint16_t sixth = 0;
    char text[MUB_TEXT_BYTES] = {};
    char summary[MUB_TEXT_BYTES] = {};
    uint8_t work[MUB_WORK_BYTES] = {};
    const MUBContext ctx = GetLibraryContext();
    if (ctx != nullptr) {
        if (index < 0) {
            m_calls.getFileInfo(ctx, fileName, record, &count0, &count1, &sixth, text, summary, work);
        } else {
            m_calls.getFileInfoByIndex(ctx, fileName, index, record, &count0, &count1, &sixth, text, summary,
                                       work);
        }
    }

    for (int ch = 0; ch < 3; ++ch) {
        m_info[1 + ch] = Le16(record + kWidthOffset + 2 * ch);
        m_info[4 + ch] = Le16(record + kHeightOffset + 2 * ch);
        m_info[7 + ch] = record[kFpsOffset + ch];
    }
    m_info[10] = count0;
    m_info[11] = count1;
    m_info[12] = sixth;
    m_info[16] = 16;
    m_info[17] = 8000;
    int counts[5] = {};
    const int parsed = ParseSummary(summary, sizeof summary, counts);
    static constexpr int kSummaryIndex[5] = {10, 11, 13, 15, 14};
    for (int i = 0; i < parsed; ++i) {
        m_info[kSummaryIndex[i]] = counts[i];
    }

    int handle = -1;
    int selected = 0;
    if (ctx != nullptr) {
        const int libraryCategory = LibraryCategory(m_category);
        handle = index < 0 ? m_calls.openFileByName(ctx, libraryCategory, fileName)
                           : m_calls.openFileByIndex(ctx, libraryCategory, index);
        selected = m_calls.selectFile(ctx, libraryCategory, 0, handle);
    }

    if (info != nullptr) {
        info->frameRate0 = m_info[7];
        info->frameRate1 = m_info[8];
        info->frameRate2 = m_info[9];
        info->frameCount0 = m_info[10];
        info->frameCount1 = m_info[11];
        info->extraCount = m_info[12];
    }
    m_end = false;
    m_open = true;
    m_queue.Clear();
    m_running = true;
    return handle >= 0 && selected != 0 ? 1 : 0;
}

void CMUBParser::Close()
{
    m_open = false;
    m_running = false;
}

int CMUBParser::ReadPacket(void* buffer, int* size)
{
    if (m_end) {
        *size = 0;
        return kPacketEnd;
    }
    const int capacity = *size;
    uint8_t type = 0xFF;
    uint8_t status = 0xFF;
    uint8_t flag = 0xFF;
    uint32_t unused = 0;
    const MUBContext ctx = GetLibraryContext();
    const int r = ctx != nullptr ? m_calls.readPacket(ctx, &type, &status, &flag, size, buffer, &unused)
                                 : static_cast<int>(MUB_READ_ERROR);

    // A length the buffer cannot hold is never handed on.
    auto packet = [&](int code) {
        if (*size < 0 || *size > capacity) {
            if (*size > capacity) {
                ReportOversize();
            }
            *size = 0;
            return static_cast<int>(kPacketNone);
        }
        return code;
    };
    auto byResult = [&]() -> int {
        if (r == MUB_READ_NONE) {
            return kPacketNone;
        }
        if (r == MUB_READ_TOOBIG) {
            ReportOversize();
        }
        if (r == MUB_READ_END || r == MUB_READ_ERROR) {
            m_end = true;
            *size = 1;
            return kPacketEnd;
        }
        if (*size == capacity) {
            return kPacketNone;
        }
        *size = 1;
        return kPacketEnd;
    };
    auto byType = [&]() -> int { return type <= 2 ? packet(type) : byResult(); };

    switch (status) {
        case 0:
            ++m_keyUnits;
            return byType();
        case 2:
            return byType();
        case 1:
            return packet(kPacketAudio);
        case 3:
            return packet(kPacketText);
        default:
            return byResult();
    }
}

void CMUBParser::ReportOversize()
{
    // One line per recording: a recording full of them must not flood the output.
    if (!m_oversizeReported.exchange(true)) {
        std::fprintf(stderr, "[CMUBParser] Oversize packet skipped in %s; later ones are skipped silently\n",
                     m_fileName);
    }
}

// Runs on the read-ahead thread.
void CMUBParser::ReadAheadStep()
{
    if (!m_running) {
        m_idle.Set();
        SleepMs(1);
        return;
    }
    // The library reads straight into the queue, so a packet is copied once on this side.
    // The room must hold the largest packet: the library skips one larger than it is told.
    uint8_t* room = m_queue.Reserve(kQueueBytes);
    if (room == nullptr) {
        m_queue.WaitForRoom(kQueueBytes, 1);  // the next step looks at the running flag again
        return;
    }
    int size = kQueueBytes;
    const int code = ReadPacket(room, &size);
    if (code == kPacketNone || (code != kPacketEnd && size <= 0)) {
        return;  // an empty packet carries nothing (and the queue takes no empty entry)
    }
    if (code == kPacketEnd && size <= 0) {
        size = 1;
    }
    // A packet as large as the whole queue could never be queued: reading would stall.
    if (size >= m_queue.Capacity()) {
        ReportOversize();
    } else {
        // Also give up when the thread is being stopped, or Stop would wait for a
        // consumer that may never come.
        while (m_running && !m_thread.StopRequested()) {
            if (m_queue.Commit(size, code)) {
                break;
            }
            // Look again after 1 ms, or as soon as the consumer made room.
            m_queue.WaitForRoom(size, 1);
        }
    }
    if (code == kPacketEnd) {
        Trace("Media End Recv [%d]\n", code);
        m_running = false;
    }
}

int CMUBParser::ParseMedia(char* id, void* buffer, int* size)
{
    if (!m_thread.IsRunning()) {
        return ParseDirect(id, buffer, size);
    }
    using Taken = CThreadQueue::TakeResult;
    const int capacity = std::max(*size, 0);
    int code = kPacketNone;
    int length = 0;
    for (int poll = 0; poll < kEmptyPolls; ++poll) {
        int tag = 0;
        Taken taken = m_queue.Take(buffer, capacity, &length, &tag);
        if (taken == Taken::kEmpty && !m_running) {
            // The reader may have queued its last packets just before it stopped.
            taken = m_queue.Take(buffer, capacity, &length, &tag);
            if (taken == Taken::kEmpty) {
                code = kPacketStopped;
                break;
            }
        }
        if (taken == Taken::kTooLarge && tag >= kPacketVideo0 && tag <= kPacketText) {
            ReportOversize();
            return 5;  // does not fit the caller's buffer: dropped, no packet this time
        }
        if (taken != Taken::kEmpty) {
            code = tag;
            break;
        }
        // Poll again after 10 ms, or as soon as the reader queued something.
        m_queue.WaitForData(10);
    }

    if (code >= kPacketVideo0 && code <= kPacketText) {
        std::memcpy(id, kStreamIds[code], 5);
        *size = length;
        return 5;
    }
    if (code == kPacketNone) {
        return 5;
    }
    return -1;
}

int CMUBParser::ParseDirect(char* id, void* buffer, int* size)
{
    if (!m_running) {
        return -1;
    }
    int length = std::max(*size, 0);
    const int code = ReadPacket(buffer, &length);
    if (code == kPacketEnd) {
        Trace("Media End Recv [%d]\n", code);
        m_running = false;
        return -1;
    }
    if (code >= kPacketVideo0 && code <= kPacketText && length > 0) {
        std::memcpy(id, kStreamIds[code], 5);
        *size = length;
    }
    return 5;
}

VideoSize CMUBParser::GetVideoSize(int channel)
{
    if (channel < 0 || channel > 2) {
        return {};
    }
    return {m_info[1 + channel], m_info[4 + channel]};
}

int CMUBParser::GetFrameRate(int channel)
{
    return channel >= 0 && channel <= 2 ? m_info[7 + channel] : 0;
}

void CMUBParser::GetAudioFormat(int* bitsPerSample, int* sampleRate)
{
    *bitsPerSample = m_info[16];
    *sampleRate = m_info[17];
}

int CMUBParser::RecordingInfo(int index) const
{
    return index >= 1 && index <= 17 ? m_info[index] : 0;
}

int CMUBParser::SeekTime(float seconds)
{
    const int fps = m_info[7] != 0 ? m_info[7] : 30;
    const float unit = GetSeekUnit();
    const bool wasRunning = PauseReading();
    m_queue.Clear();

    const int n = TruncToInt(static_cast<float>(fps) / unit * seconds);
    const long long keyUnits = m_keyUnits.load();
    const long long target = keyUnits + n + 1;
    const long long limit = keyUnits + TruncToInt(static_cast<float>(m_info[10]) / unit) + 1;
    const MUBContext ctx = GetLibraryContext();
    if (ctx != nullptr) {
        m_calls.seek(ctx, static_cast<int>(std::clamp<long long>(target, INT_MIN, INT_MAX)),
                     static_cast<int>(std::clamp<long long>(limit, INT_MIN, INT_MAX)));
    }

    // The read-ahead may have reached the end of the recording long before the player
    // did; a seek moves the read position, so reading goes on from there.
    if (m_open) {
        m_end = false;
        m_running = true;
    } else {
        m_running = wasRunning;
    }
    return TruncToInt(unit / static_cast<float>(fps) * static_cast<float>(n));
}

// ---- Card-level glue ----

MUBContext CreateLibraryContext()
{
    MUBContext ctx = MUB_CreateContext();
    if (ctx == nullptr) {
        return nullptr;
    }
    // The viewer's fixed identity record; the fields are zero-padded text.
    MUBDeviceIdentity identity{};
    auto put = [](char* field, size_t width, const char* text) { std::strncpy(field, text, width); };
    put(identity.field1, sizeof identity.field1, "MUBVIEWER");
    put(identity.field2, sizeof identity.field2, "DESKTOP VIEWER");
    put(identity.field3, sizeof identity.field3, "0.1");
    put(identity.field4, sizeof identity.field4, "LINUX");
    put(identity.field5, sizeof identity.field5, "MUBVIEWER-0001");
    put(identity.field6, sizeof identity.field6, "KR");
    MUB_SetDeviceIdentity(ctx, identity);
    return ctx;
}

void ReleaseLibraryContext(MUBContext ctx)
{
    if (ctx != nullptr) {
        MUB_ReleaseContext(ctx);
    }
}

uint8_t QueryCardId(MUBContext ctx)
{
    uint8_t id = 0;
    if (ctx != nullptr) {
        MUB_GetCardId(ctx, &id);
    }
    return id;
}

bool OpenCard(MUBContext ctx)
{
    return ctx != nullptr && MUB_OpenCard(ctx) != 0;
}

bool AddCardFolder(MUBContext ctx, const char* path)
{
    return ctx != nullptr && path != nullptr && MUB_AddCardFolder(ctx, path) != 0;
}

std::vector<CardRecording> ListCardRecordings(MUBContext ctx, uint8_t cardId, int libraryCategory)
{
    std::vector<CardRecording> out;
    if (ctx == nullptr || cardId == 0) {
        return out;
    }
    // Bounds what a confused library could make us allocate.
    constexpr int kMaxEntries = 1 << 20;
    const int n = std::min(MUB_GetFileCount(ctx, cardId, libraryCategory), kMaxEntries);
    if (n <= 0) {
        return out;
    }
    const auto count = static_cast<size_t>(n);
    std::vector<char> names(count * MUB_NAME_SLOT_BYTES, '\0');
    std::vector<uint32_t> sizes(2 * (count + 1), 0);
    std::vector<uint32_t> extra(count + 2, 0);
    const int filled = std::clamp(
        MUB_GetFileList(ctx, cardId, libraryCategory, n, names.data(), sizes.data(), extra.data()), 0, n);
    out.reserve(static_cast<size_t>(filled));
    for (size_t i = 0; i < static_cast<size_t>(filled); ++i) {
        const char* slot = names.data() + i * MUB_NAME_SLOT_BYTES;
        CardRecording r;
        r.name.assign(slot, strnlen(slot, MUB_NAME_SLOT_BYTES));
        r.sizeBytes = sizes[2 * i];
        r.lengthSecs = extra[i];
        out.push_back(std::move(r));
    }
    return out;
}

bool GetDefaultConfigText(MUBContext ctx, std::string* text)
{
    if (ctx == nullptr) {
        return false;
    }
    std::vector<char> buffer(MUB_CONFIG_BYTES, '\0');
    int length = MUB_CONFIG_BYTES;
    if (MUB_GetDefaultConfig(ctx, buffer.data(), &length) == 0) {
        return false;
    }
    length = std::clamp(length, 0, MUB_CONFIG_BYTES);
    text->assign(buffer.data(), static_cast<size_t>(length));
    return true;
}
