#include "tools/common/card.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

MUBContext OpenToolCard(const char* tool, std::vector<std::string> folders, uint8_t* cardId)
{
    if (const char* env = std::getenv("MUB_CARD"); env != nullptr && *env != '\0') {
        folders.push_back(env);
    }
    MUBContext ctx = CreateLibraryContext();
    if (ctx == nullptr) {
        std::fprintf(stderr, "%s: cannot create the library context\n", tool);
        return nullptr;
    }
    for (const std::string& folder : folders) {
        if (!AddCardFolder(ctx, folder.c_str())) {
            std::fprintf(stderr, "%s: %s is not a card folder\n", tool, folder.c_str());
        }
    }
    *cardId = QueryCardId(ctx);
    if (*cardId == 0 || !OpenCard(ctx)) {
        std::fprintf(stderr, "%s: no card found\n", tool);
        ReleaseLibraryContext(ctx);
        return nullptr;
    }
    SetLibraryContext(ctx);
    return ctx;
}

void CloseToolCard(MUBContext ctx)
{
    SetLibraryContext(nullptr);
    ReleaseLibraryContext(ctx);
}

namespace {

std::string DateKey(const std::string& name)
{
    const size_t a = name.find('_');
    if (a == std::string::npos) {
        return {};
    }
    const size_t b = name.find('_', a + 1);
    const size_t c = b == std::string::npos ? std::string::npos : name.find('_', b + 1);
    return name.substr(a + 1, b - a - 1) + (b == std::string::npos ? "" : name.substr(b + 1, c - b - 1));
}

}  // namespace

void SortNewestFirst(std::vector<CardRecording>* list)
{
    std::stable_sort(list->begin(), list->end(), [](const CardRecording& x, const CardRecording& y) {
        return DateKey(x.name) > DateKey(y.name);
    });
}

std::vector<CardRecording> RecordingsOf(const std::string& folder, int libraryCategory)
{
    std::vector<CardRecording> all;
    MUBContext ctx = CreateLibraryContext();
    AddCardFolder(ctx, folder.c_str());
    const uint8_t id = QueryCardId(ctx);
    if (id != 0 && OpenCard(ctx)) {
        for (int category = 0; category < 4; ++category) {
            if (libraryCategory < 0 || category == libraryCategory) {
                for (CardRecording& r : ListCardRecordings(ctx, id, category)) {
                    all.push_back(std::move(r));
                }
            }
        }
    }
    ReleaseLibraryContext(ctx);
    return all;
}

std::string LastRecordingOf(const std::string& folder, int libraryCategory)
{
    const std::vector<CardRecording> list = RecordingsOf(folder, libraryCategory);
    return list.empty() ? std::string() : list.back().name;
}
