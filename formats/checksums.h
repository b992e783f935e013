// SPDX-License-Identifier: GPL-3.0-or-later
// Evidence that a copy is faithful: SHA-256 digests of files (OpenSSL's libcrypto) and the
// SHA256SUMS file of an export folder, in the format `sha256sum -c` checks.
#pragma once

#include "mublib/mublib.h"

#include <cstddef>
#include <string>
#include <vector>

// The checksum file every export appends to, in the target folder.
constexpr const char* kChecksumFileName = "SHA256SUMS";

// Lower-case hex SHA-256 of bytes.
std::string Sha256Hex(const void* data, size_t size);
// Lower-case hex SHA-256 of a whole file; empty with *error set when it cannot be read.
std::string Sha256OfFile(const std::string& path, std::string* error);

// "<hex>  <name>" as sha256sum writes it, with a name holding a backslash or a line break
// escaped the way sha256sum escapes it (a leading backslash, "\\" and "\n").
std::string ChecksumLine(const std::string& hex, const std::string& name);
// "# text", line breaks in the text turned into spaces.
std::string ChecksumComment(const std::string& text);

// Appends text (whole lines) to <folder>/SHA256SUMS in one write, under an exclusive lock
// so that two programs exporting into one folder do not interleave lines. A write that
// fails part-way is cut back, so the file holds exactly what it held before or all of text.
bool AppendChecksums(const std::string& folder, const std::string& text, std::string* error);

// Lines for files written into folder, each hashed from the disk now. A file that cannot
// be read gets no line; its name and why go into *problems.
std::string ChecksumLinesFor(const std::string& folder, const std::vector<std::string>& names,
                             std::vector<std::string>* problems);

// The recording's own file on the card the library reads (the first named or removable
// card root that holds the card layout); empty when it is not there.
std::string RecordingSourcePath(MUBContext ctx, const std::string& recordingName);

// The comment of one exported recording: the card id, the recording's own name, its size
// and the SHA-256 of its file on the card, source (RecordingSourcePath; "not found" when it
// is empty or cannot be read). Makes no library call, so it may run beside an export that
// reads the card.
std::string RecordingCommentFor(int cardId, const std::string& recordingName, const std::string& source);
