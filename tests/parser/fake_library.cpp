// SPDX-License-Identifier: GPL-3.0-or-later
#include "fake_library.h"

#include <chrono>
#include <thread>

FakeLibrary* FakeLibrary::current = nullptr;

namespace {

// Marks a read or seek as running; notes when another one already was.
struct Inside {
    explicit Inside(FakeLibrary* lib) : m_lib(lib)
    {
        if (m_lib->inside.fetch_add(1) != 0) {
            m_lib->overlapped = true;
        }
    }
    ~Inside() { m_lib->inside.fetch_sub(1); }
    FakeLibrary* m_lib;
};

void FillInfo(FakeLibrary* lib, uint8_t* description, uint16_t* c0, uint16_t* c1, uint16_t* c6, char* summary)
{
    if (lib->infoDelayMs > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(lib->infoDelayMs));
    }
    std::memcpy(description, lib->record, MUB_DESCRIPTION_BYTES);
    *c0 = lib->count0;
    *c1 = lib->count1;
    *c6 = lib->sixth;
    if (lib->summaryFillsBuffer) {
        std::memset(summary, '7', MUB_TEXT_BYTES);
        std::memcpy(summary, lib->summary.data(), std::min<size_t>(lib->summary.size(), MUB_TEXT_BYTES));
    } else {
        std::strncpy(summary, lib->summary.c_str(), MUB_TEXT_BYTES - 1);
    }
}

int GetFileInfo(MUBContext, const char* name, uint8_t* description, uint16_t* c0, uint16_t* c1, uint16_t* c6,
                char*, char* summary, uint8_t*)
{
    FakeLibrary* lib = FakeLibrary::current;
    lib->Log("3:" + std::string(name));
    FillInfo(lib, description, c0, c1, c6, summary);
    return 1;
}

int GetFileInfoByIndex(MUBContext, const char* name, int index, uint8_t* description, uint16_t* c0,
                       uint16_t* c1, uint16_t* c6, char*, char* summary, uint8_t*)
{
    FakeLibrary* lib = FakeLibrary::current;
    lib->Log("4:" + std::string(name) + ":" + std::to_string(index));
    FillInfo(lib, description, c0, c1, c6, summary);
    return 1;
}

int OpenByName(MUBContext, int category, const char* name)
{
    FakeLibrary::current->Log("12:" + std::to_string(category) + ":" + name);
    return FakeLibrary::current->handle;
}

int OpenByIndex(MUBContext, int category, int index)
{
    FakeLibrary::current->Log("13:" + std::to_string(category) + ":" + std::to_string(index));
    return FakeLibrary::current->handle;
}

int Select(MUBContext, int category, int reserved, int handle)
{
    FakeLibrary* lib = FakeLibrary::current;
    Inside guard(lib);
    lib->Log("16:" + std::to_string(category) + ":" + std::to_string(reserved) + ":" +
             std::to_string(handle));
    lib->position = 0;
    lib->keyUnits = 0;
    return handle >= 0 ? 1 : 0;
}

int8_t Read(MUBContext, uint8_t* type, uint8_t* status, uint8_t* flag, int* size, void* buffer, uint32_t*)
{
    FakeLibrary* lib = FakeLibrary::current;
    Inside guard(lib);
    // Widen the window in which an overlapping seek would be seen.
    if (lib->readDelayMs > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(lib->readDelayMs));
    } else {
        std::this_thread::yield();
    }
    if (lib->read) {
        return static_cast<int8_t>(lib->read(type, status, flag, size, buffer));
    }
    if (lib->streamEnd >= 0 && lib->position >= lib->streamEnd) {
        return MUB_READ_END;
    }
    const int i = lib->position++;
    *type = 0;
    *flag = 0;
    if (i % FakeLibrary::kGop == 0) {
        *status = 0;
        *flag = 1;
        ++lib->keyUnits;
    } else if (i % FakeLibrary::kGop == FakeLibrary::kGop / 2) {
        *status = 1;
    } else {
        *status = 2;
    }
    std::memcpy(buffer, &i, sizeof i);
    *size = sizeof i;
    return MUB_READ_OK;
}

int Seek(MUBContext, int target, int limit)
{
    FakeLibrary* lib = FakeLibrary::current;
    Inside guard(lib);
    lib->Log("22:" + std::to_string(target) + ":" + std::to_string(limit));
    const int n = std::clamp(target - lib->keyUnits - 1, 0, std::max(0, limit - lib->keyUnits - 1));
    lib->position = n * FakeLibrary::kGop;
    return 1;
}

}  // namespace

MUBLibCalls FakeLibrary::Calls(FakeLibrary* lib)
{
    current = lib;
    MUBLibCalls c;
    c.getFileInfo = &GetFileInfo;
    c.getFileInfoByIndex = &GetFileInfoByIndex;
    c.openFileByName = &OpenByName;
    c.openFileByIndex = &OpenByIndex;
    c.selectFile = &Select;
    c.readPacket = &Read;
    c.seek = &Seek;
    return c;
}
