// The camera's configuration file as the settings dialog loads it, from arbitrary bytes.
//
// Checked: loading never fails whatever the file holds; every list selection is an entry
// of its list and every slider within its range; a saved file saves again without a byte
// changed (what the dialog writes, it reads back as written); normalising a text twice is
// the same as once. The first save may change what a file means: a value that is none of
// the choices shows no choice and is saved as the default, and a lone CR inside a line
// becomes a line end.
#include "settings/configfile.h"
#include "settings/settingmodel.h"
#include "settings/settingtemplate.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

void Check(bool condition, const char* what, int id = 0)
{
    if (!condition) {
        std::fprintf(stderr, "settings_fuzz: %s (control %d)\n", what, id);
        std::abort();
    }
}

const std::string& FilePath()
{
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (dir != nullptr ? dir : "/tmp");
        return base + "/settings_fuzz_" + std::to_string(getpid()) + ".cfg";
    }();
    static const bool removedAtExit = std::atexit([] { unlink(FilePath().c_str()); }) == 0;
    (void)removedAtExit;
    return path;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

constexpr settings::LocalTime kNow{2028, 3, 10, 13, 45, 30};

settings::CSettingModel Load()
{
    settings::CSettingModel model(FilePath(), kNow);
    model.Initialise();
    return model;
}

void CheckSane(const settings::CSettingModel& model)
{
    for (const settings::TemplateControl& c : settings::Template115()) {
        const settings::ControlState& s = model.State(c.id);
        if (s.selection != -1) {
            Check(s.selection >= 0 && s.selection < static_cast<int>(s.items.size()),
                  "selection outside its list", c.id);
        }
        Check(s.rangeMin <= s.rangeMax, "slider range upside down", c.id);
        if (s.kind == settings::ControlKind::Slider) {
            Check(s.position >= s.rangeMin && s.position <= s.rangeMax, "slider outside its range", c.id);
        }
    }
}

bool HasLoneCr(const std::string& text)
{
    for (size_t at = text.find('\r'); at != std::string::npos; at = text.find('\r', at + 1)) {
        if (at + 1 == text.size() || text[at + 1] != '\n') {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string once = settings::NormalizeConfigText(text);
    Check(settings::NormalizeConfigText(once) == once, "normalising twice differs from once");

    {
        std::ofstream out(FilePath(), std::ios::binary | std::ios::trunc);
        out << text;
    }
    settings::CSettingModel first = Load();
    CheckSane(first);
    if (first.SaveDeviceSettings() != settings::SaveResult::Saved) {
        return 0;  // a file the profile functions cannot rewrite stays as it was
    }
    // A lone CR read inside a line is a line end once saved: a "\r[section]" line is a
    // section from then on, and the keys the first save wrote may now be read elsewhere.
    if (HasLoneCr(text)) {
        Check(Load().SaveDeviceSettings() == settings::SaveResult::Saved,
              "a saved file cannot be saved again");
    }
    const std::string saved = ReadFile(FilePath());
    settings::CSettingModel second = Load();
    CheckSane(second);
    Check(second.SaveDeviceSettings() == settings::SaveResult::Saved, "a saved file cannot be saved again");
    const std::string again = ReadFile(FilePath());
    if (again != saved) {
        std::fprintf(stderr, "--- saved once:\n%s\n--- saved twice:\n%s\n", saved.c_str(), again.c_str());
    }
    Check(again == saved, "saving a saved file changes it");
    return 0;
}
