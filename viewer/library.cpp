// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/library.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace viewer {

bool IsListableSize(uint32_t sizeBytes)
{
    return sizeBytes >= kMinListedBytes && sizeBytes <= kMaxListedBytes;
}

std::string FormatEntry(const std::string& name, uint32_t sizeBytes)
{
    char size[32];
    std::snprintf(size, sizeof(size), "%.02f", sizeBytes * (1.0 / 1024) * (1.0 / 1024));
    return name + "," + size;
}

void AppendListing(const char* names, const uint32_t* sizes, int count, std::vector<std::string>* entries)
{
    uint32_t previous = kNoPreviousSize;
    for (int i = 0; i < count; ++i) {
        const uint32_t size = sizes[i];
        if (!IsListableSize(size)) {
            previous = kNoPreviousSize;
            continue;
        }
        const char* slot = names + static_cast<size_t>(i) * MUB_NAME_SLOT_BYTES;
        const std::string name(slot, strnlen(slot, MUB_NAME_SLOT_BYTES));
        if (size == previous && i > 0 && !entries->empty()) {
            entries->pop_back();
        }
        entries->push_back(FormatEntry(name, size));
        previous = size;
    }
}

namespace {

// Asks for up to capacity entries; the number filled, clamped to capacity.
int FileList(MUBContext ctx, uint8_t cardId, int category, int capacity, std::vector<char>* names,
             std::vector<uint32_t>* sizes)
{
    names->assign(static_cast<size_t>(capacity) * MUB_NAME_SLOT_BYTES, 0);
    // capacity + 1 slots of 8 bytes; the low 32 bits of each hold the size.
    std::vector<uint32_t> sizeWords((static_cast<size_t>(capacity) + 1) * 2, 0);
    std::vector<uint32_t> extra(static_cast<size_t>(capacity) + 2, 0);
    const int filled = std::clamp(
        MUB_GetFileList(ctx, cardId, category, capacity, names->data(), sizeWords.data(), extra.data()), 0,
        capacity);
    sizes->resize(static_cast<size_t>(filled));
    for (int i = 0; i < filled; ++i) {
        (*sizes)[static_cast<size_t>(i)] = sizeWords[static_cast<size_t>(i) * 2];
    }
    return filled;
}

}  // namespace

void ListCategory(MUBContext ctx, uint8_t cardId, int category, std::vector<std::string>* entries,
                  int firstCapacity)
{
    if (cardId == 0 || ctx == nullptr) {
        return;
    }
    // Counting reads every recording's header as listing does, so the list is asked for
    // first with room for any usual card; only a fuller category is counted and asked again.
    std::vector<char> names;
    std::vector<uint32_t> sizes;
    firstCapacity = std::max(1, firstCapacity);
    int filled = FileList(ctx, cardId, category, firstCapacity, &names, &sizes);
    if (filled == firstCapacity) {
        const int count = MUB_GetFileCount(ctx, cardId, category);
        if (count > firstCapacity) {
            filled = FileList(ctx, cardId, category, count, &names, &sizes);
        }
    }
    AppendListing(names.data(), sizes.data(), filled, entries);
}

std::vector<std::string> ListForButton(MUBContext ctx, uint8_t cardId, int category)
{
    std::vector<std::string> entries;
    if (category >= 0 && category < kAllCategories) {
        ListCategory(ctx, cardId, category, &entries);
    } else if (category == kAllCategories) {
        for (int c = 0; c < kAllCategories; ++c) {
            ListCategory(ctx, cardId, c, &entries);
        }
    }
    SortNewestFirst(&entries);
    return entries;
}

std::string EntryPath(const std::string& entry)
{
    return entry.substr(0, entry.find(','));
}

namespace {

// Field index of the "_"-separated name (empty when missing).
std::string NameField(const std::string& name, int index)
{
    size_t start = 0;
    for (int i = 0; i < index; ++i) {
        const size_t next = name.find('_', start);
        if (next == std::string::npos) {
            return {};
        }
        start = next + 1;
    }
    const size_t end = name.find('_', start);
    return name.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::string Part(const std::string& text, size_t pos, size_t len)
{
    return pos < text.size() ? text.substr(pos, len) : std::string();
}

}  // namespace

std::string EntryDateText(const std::string& entry)
{
    const std::string name = EntryPath(entry);
    const std::string date = NameField(name, 1);
    const std::string time = NameField(name, 2);
    return Part(date, 0, 4) + "." + Part(date, 4, 2) + "." + Part(date, 6, 2) + " " + Part(time, 0, 2) + ":" +
           Part(time, 2, 2) + ":" + Part(time, 4, 2);
}

std::string TypeText(const std::string& categoryWord)
{
    if (categoryWord == "REC") {
        return "REC";
    }
    if (categoryWord == "EVENT") {
        return "EVT";
    }
    if (categoryWord == "PARKING") {
        return "PAK";
    }
    if (categoryWord == "MANUAL") {
        return "MAN";
    }
    return categoryWord;
}

RowTexts MakeRowTexts(const std::string& entry)
{
    RowTexts row;
    const std::string name = EntryPath(entry);
    row.type = TypeText(NameField(name, 0));
    row.entry = entry;
    row.dateTime = EntryDateText(entry);
    const size_t comma = entry.find(',');
    row.sizeMb = comma == std::string::npos ? std::string() : entry.substr(comma + 1);
    const std::string channels = NameField(name, 3);
    const char letter =
        channels.empty() ? '\0' : static_cast<char>(std::toupper(static_cast<unsigned char>(channels[0])));
    if (letter == 'D') {
        row.rear = "o";
    } else if (letter == 'T') {
        row.rear = "o";
        row.ch3 = "o";
    } else if (letter == 'E') {
        row.ch3 = "o";
    }
    return row;
}

void SortNewestFirst(std::vector<std::string>* entries)
{
    std::vector<std::pair<std::string, std::string>> keyed;
    keyed.reserve(entries->size());
    for (auto& entry : *entries) {
        keyed.emplace_back(EntryDateText(entry), std::move(entry));
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    for (size_t i = 0; i < keyed.size(); ++i) {
        (*entries)[i] = std::move(keyed[i].second);
    }
}

}  // namespace viewer
