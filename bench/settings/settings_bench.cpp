// SPDX-License-Identifier: GPL-3.0-or-later
// Opening (load) and saving the camera's configuration through the settings model, on a
// camera-sized file and on files of 1 and 5 MiB of unknown keys, against reading and
// writing the same bytes once as a plain baseline.
#include "settings/configfile.h"
#include "settings/settingmodel.h"

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

constexpr settings::LocalTime kNow{2028, 3, 10, 13, 45, 30};

// A camera's file followed by padding lines of unknown keys up to about bytes.
std::string ConfigText(size_t bytes)
{
    std::string text =
        "[capacity]\r\nconst=40\r\nevent=20\r\nmanual=10\r\npark=30\r\n[blackbox]\r\nmodel=V4\r\n"
        "power_off_vlt=12200\r\nlocal_time=9.0000\r\n[time]\r\nset=0\r\n[log]\r\n";
    for (int i = 0; text.size() < bytes; ++i) {
        text += "entry" + std::to_string(i) + "=" + std::string(60, static_cast<char>('a' + i % 26)) + "\r\n";
    }
    return text;
}

class CFile {
public:
    explicit CFile(const std::string& text)
    {
        std::string folder = (std::filesystem::temp_directory_path() / "settings-bench-XXXXXX").string();
        if (::mkdtemp(folder.data()) != nullptr) {
            m_folder = folder;
        }
        m_path = m_folder + "/blackbox.cfg";
        Write(text);
    }
    ~CFile() { std::filesystem::remove_all(m_folder); }
    void Write(const std::string& text) const
    {
        if (FILE* fp = std::fopen(m_path.c_str(), "wb")) {
            std::fwrite(text.data(), 1, text.size(), fp);
            std::fclose(fp);
        }
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_folder;
    std::string m_path;
};

void BM_ReadAndReplaceOnce(benchmark::State& state)
{
    const std::string text = ConfigText(static_cast<size_t>(state.range(0)));
    const CFile file(text);
    for (auto _ : state) {
        benchmark::DoNotOptimize(settings::NormalizeConfigFile(file.Path()));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_Load(benchmark::State& state)
{
    const CFile file(ConfigText(static_cast<size_t>(state.range(0))));
    for (auto _ : state) {
        settings::CSettingModel model(file.Path(), kNow);
        model.Initialise();
        benchmark::DoNotOptimize(model.State(settings::IDC_VOLTAGE).selection);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_Save(benchmark::State& state)
{
    const std::string text = ConfigText(static_cast<size_t>(state.range(0)));
    const CFile file(text);
    settings::CSettingModel model(file.Path(), kNow);
    model.Initialise();
    for (auto _ : state) {
        benchmark::DoNotOptimize(model.SaveDeviceSettings());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

// 512 bytes is a camera's own file.
BENCHMARK(BM_ReadAndReplaceOnce)->Arg(512)->Arg(1 << 20)->Arg(5 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load)->Arg(512)->Arg(1 << 20)->Arg(5 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Save)->Arg(512)->Arg(1 << 20)->Arg(5 << 20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
