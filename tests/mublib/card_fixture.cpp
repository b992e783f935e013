#include "tests/mublib/card_fixture.h"

#include <errno.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <new>
#include <random>
#include <stdexcept>

namespace {

std::atomic<uint64_t> g_failFrom{UINT64_MAX};
std::atomic<bool> g_throw{false};
std::atomic<int> g_failures{0};

ssize_t FaultyRead(int fd, void* buffer, size_t len, off_t offset)
{
    if (g_throw.load()) {
        g_failures++;
        throw std::bad_alloc();
    }
    const uint64_t from = g_failFrom.load();
    const auto at = static_cast<uint64_t>(offset);
    if (at >= from) {
        g_failures++;
        errno = EIO;
        return -1;
    }
    return ::pread(fd, buffer, std::min<uint64_t>(len, from - at), offset);
}

}  // namespace

CCardFault::CCardFault()
{
    g_failFrom = UINT64_MAX;
    g_throw = false;
    g_failures = 0;
    mub::SetCardReadFunction(&FaultyRead);
}

CCardFault::~CCardFault()
{
    mub::SetCardReadFunction(nullptr);
    g_failFrom = UINT64_MAX;
    g_throw = false;
}

void CCardFault::FailFrom(uint64_t offset)
{
    g_failFrom = offset;
}

void CCardFault::Throw(bool on)
{
    g_throw = on;
}

int CCardFault::Failures() const
{
    return g_failures.load();
}

CTempDir::CTempDir()
{
    std::string tmpl = (std::filesystem::temp_directory_path() / "mubtest-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_path = tmpl;
}

CTempDir::~CTempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

void MakeCardLayout(const std::string& root, const std::string& cardIdText)
{
    for (int c = 0; c < 4; ++c) {
        std::filesystem::create_directories(mub::CategoryFolder(root, c));
    }
    if (!cardIdText.empty()) {
        std::ofstream(root + "/" + mub::kCardIdFile, std::ios::binary) << cardIdText;
    }
}

std::vector<ScriptPacket> MakeScript(int seconds, int fps, bool rear, uint64_t seed)
{
    std::mt19937_64 rng(seed);
    auto bytes = [&](size_t n, uint8_t nal) {
        std::vector<uint8_t> b(n);
        for (auto& x : b) {
            x = static_cast<uint8_t>(rng());
        }
        if (n >= 5) {
            b[0] = b[1] = b[2] = 0;
            b[3] = 1;
            b[4] = nal;
        }
        return b;
    };
    std::vector<ScriptPacket> out;
    int nextAudio = 0, nextM = 0;
    for (int f = 0; f < seconds * fps; ++f) {
        const uint32_t ms = static_cast<uint32_t>(f * 1000 / fps);
        const bool key = f % mub::kGopFrames == 0;
        for (int c = 0; c < (rear ? 2 : 1); ++c) {
            ScriptPacket p;
            p.type = static_cast<uint8_t>(c);
            p.status = key ? mub::kStatusKey : mub::kStatusVideo;
            p.flag = key ? mub::kPacketFlagKey : 0;
            p.timeMs = ms;
            p.bytes = bytes(key ? 3000 + rng() % 500 : 200 + rng() % 300, key ? 0x67 : 0x41);
            out.push_back(std::move(p));
        }
        const uint32_t nextMs = static_cast<uint32_t>((f + 1) * 1000 / fps);
        while (static_cast<uint32_t>(nextAudio * 250) < nextMs && nextAudio < seconds * 4) {
            out.push_back({0, mub::kStatusAudio, 0, static_cast<uint32_t>(nextAudio * 250), bytes(4000, 0)});
            ++nextAudio;
        }
        while (static_cast<uint32_t>(nextM * 100) < nextMs) {
            ScriptPacket m{0, mub::kStatusText, 0, static_cast<uint32_t>(nextM * 100), bytes(4, 0)};
            m.bytes[0] = 'M';
            out.push_back(m);
            if (nextM % 10 == 0) {
                const std::string g =
                    "G$GPRMC,000000.00,A,3733.9629,N,12658.6758,E,010.0,045.0,011226,,,A*00";
                out.push_back({0, mub::kStatusText, 0, m.timeMs, std::vector<uint8_t>(g.begin(), g.end())});
            }
            ++nextM;
        }
    }
    return out;
}

mub::RecordingDescription MakeDescription(int category, char letter, int fps, bool rear)
{
    mub::RecordingDescription d;
    d.category = static_cast<uint8_t>(category);
    d.letter = letter;
    d.fps[0] = static_cast<uint8_t>(fps);
    d.fps[1] = rear ? static_cast<uint8_t>(fps) : 0;
    d.fps[2] = 0;
    d.width[0] = 640;
    d.height[0] = 360;
    d.width[1] = rear ? 320 : 0;
    d.height[1] = rear ? 180 : 0;
    d.startTime = 1764574200;
    return d;
}

bool WriteScript(const std::string& path, const mub::RecordingDescription& desc,
                 const std::vector<ScriptPacket>& packets, bool finish)
{
    mub::CMubWriter w;
    if (!w.Create(path, desc)) {
        return false;
    }
    for (const auto& p : packets) {
        if (!w.WritePacket(p.type, p.status, p.flag, p.timeMs, p.bytes.data(),
                           static_cast<uint32_t>(p.bytes.size()))) {
            return false;
        }
    }
    if (finish) {
        return w.Finish();
    }
    w.Abandon();
    return true;
}

std::vector<uint8_t> ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}
