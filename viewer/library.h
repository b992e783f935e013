// SPDX-License-Identifier: GPL-3.0-or-later
// The recording library's listing rules, kept apart from the window so they can be
// checked without a card: which entries are listed, how they are sorted and what each
// column of a row shows.
#pragma once

#include "mublib/mublib.h"

#include <cstdint>
#include <string>
#include <vector>

namespace viewer {

// Sizes outside this window are not plausible recordings and are dropped.
constexpr uint32_t kMinListedBytes = 0x100001;   // more than 1 MiB
constexpr uint32_t kMaxListedBytes = 0x9FFFFFF;  // below 160 MiB
// Start value of the equal-size rule: no real size can match it.
constexpr uint32_t kNoPreviousSize = 0xFF00FF00;

// Entries asked for at once before the library is asked to count a category.
constexpr int kFirstListCapacity = 4096;

// "All" in the category buttons: categories 0..3 merged.
constexpr int kAllCategories = 4;

bool IsListableSize(uint32_t sizeBytes);

// "name,size" with the size in MiB as "%.02f".
std::string FormatEntry(const std::string& name, uint32_t sizeBytes);

// Applies the size filter and the equal-size rule (of a run of consecutive entries of
// equal size only the last remains) to one category's listing. names: count slots of
// MUB_NAME_SLOT_BYTES (need not be terminated inside the slot); sizes: count sizes.
void AppendListing(const char* names, const uint32_t* sizes, int count, std::vector<std::string>* entries);

// Asks the library for one category of the card and appends its entries: the list first with
// room for firstCapacity, counted and asked again only when that is full. Nothing for card
// id 0. Any thread.
void ListCategory(MUBContext ctx, uint8_t cardId, int category, std::vector<std::string>* entries,
                  int firstCapacity = kFirstListCapacity);

// category 0..3, or kAllCategories for 0, 1, 2, 3 in that order; sorted newest first.
std::vector<std::string> ListForButton(MUBContext ctx, uint8_t cardId, int category);

// The texts of one list row, by column.
struct RowTexts {
    std::string type;      // 0: "REC", "EVT", "PAK", "MAN" or the word itself
    std::string entry;     // 1: the whole entry, "name,size"
    std::string dateTime;  // 2: "2019.09.23 15:30:00"
    std::string rear;      // 3: "o" with a rear channel
    std::string sizeMb;    // 4: "%.02f"
    std::string ch3;       // 6: "o" with a third channel
};

// The recording path of an entry: the text before its first comma.
std::string EntryPath(const std::string& entry);
// Column 2 from fields 1 (yyyymmdd) and 2 (hhmmss) of the name; missing digits are left
// out rather than read past the name.
std::string EntryDateText(const std::string& entry);
std::string TypeText(const std::string& categoryWord);
RowTexts MakeRowTexts(const std::string& entry);

// Newest first by the date text; equal dates keep their listing order.
void SortNewestFirst(std::vector<std::string>* entries);

}  // namespace viewer
