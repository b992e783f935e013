// INI profile files with the behaviour of the Win32 profile functions.
//
// Reading: section and key names match without regard to ASCII case; a value is the
// text after '=' without surrounding blanks (one pair of matching quotes is removed).
// The first of duplicate sections or keys wins. Corner cases follow Win32 (see
// docs/card-format.md, "The configuration file"): a line starting with ';' is a comment,
// yet one holding '=' is also a key by its whole name (";name"), never listed; keys
// before the first section header, and those of a nameless "[]", are reached by no name;
// "[Name" without its ']' is no header but a line of the section before.
//
// Writing edits the file in place: an existing key gets its new value on its own line,
// a missing key is added after the last key of its section, a missing section is added
// at the end of the file, a missing file is created. Every other byte of the file stays
// as it was; new lines use the file's own line end (CR LF or LF). The new contents go
// to a temporary file in the same folder that replaces the original only once it is
// complete and synced, so a failed write leaves the original untouched.
//
// All calls are serialised by one process-wide lock.
#pragma once

// Copies the value of key in section into out (at most size - 1 characters, always
// terminated when size > 0) and returns the number of characters copied. A missing
// file, section or key gives defaultValue (null: empty) without its trailing blanks.
// key null: the key names of the section; section null: the section names. Both lists
// are NUL-separated with a final extra NUL; a list cut short returns size - 2. A missing
// section, or one without keys, gives defaultValue instead of an empty key list.
int GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue, char* out,
                             int size, const char* file);

// Sets key in section to value. value null deletes the key; key null deletes the whole
// section. False when the file could not be read or replaced (it is then unchanged),
// or for names or values that cannot be stored on one line (line breaks, a key with
// '=' or starting with '[', a section name with ']'), and for an empty name (Win32 would
// write a nameless section that no read reaches).
bool WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* file);

// Steps of a profile write, for fault injection in tests.
enum class ProfileWriteStep { CreateTemp, WriteTemp, SyncTemp, Replace };
// Called before each step; returning true makes that step fail as if the system had
// refused it. Null (the default) injects nothing.
using ProfileFaultHook = bool (*)(ProfileWriteStep step);
void SetProfileFaultHook(ProfileFaultHook hook);
