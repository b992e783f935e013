// Card opening and listing shared by the command-line programs, tests and benchmarks.
#pragma once

#include "formats/mubparser.h"

#include <cstdint>
#include <string>
#include <vector>

// Opens the card in the given folders and in MUB_CARD, and makes it the library
// context. Problems are printed on stderr after "<tool>: "; a folder that is not a card
// is only reported. Returns nullptr when no card opens; otherwise release the context
// with CloseToolCard once nothing reads from it.
MUBContext OpenToolCard(const char* tool, std::vector<std::string> folders, uint8_t* cardId);
void CloseToolCard(MUBContext ctx);

// Newest first by the date and time in a name "WORD_YYYYMMDD_HHMMSS_..."; equal ones
// keep the library's order.
void SortNewestFirst(std::vector<CardRecording>* list);

// The recordings the library lists in a category (-1: every category, one after another)
// of the card in folder, opened without making it the library context.
std::vector<CardRecording> RecordingsOf(const std::string& folder, int libraryCategory = -1);
// The last of them; empty when there is none.
std::string LastRecordingOf(const std::string& folder, int libraryCategory);
