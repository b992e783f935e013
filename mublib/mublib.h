/* The card storage library: finds the camera's card, lists its recordings and reads
 * them packet by packet. A plain C interface; every function takes the context made
 * by MUB_CreateContext. Safe to call from several threads: each call holds the
 * context's lock for its whole duration. No call lets a C++ exception out: a failure
 * inside (memory, a card that stops answering) is the call's error result.
 *
 * The number after each name is the function's ordinal, which the callers know it by.
 */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct MUBContextImpl* MUBContext;

/* Categories as the library numbers them. */
enum {
    MUB_CATEGORY_EVENT = 0,
    MUB_CATEGORY_DRIVING = 1,
    MUB_CATEGORY_PARKING = 2,
    MUB_CATEGORY_MANUAL = 3,
};

/* Result codes of MUB_ReadPacket. */
enum {
    MUB_READ_OK = 0,     /* a packet was delivered; type, status and flag are set */
    MUB_READ_NONE = 1,   /* nothing this time */
    MUB_READ_END = 2,    /* the recording ended (or was cut short here) */
    MUB_READ_ERROR = 3,  /* no recording selected, or the data can no longer be read */
    MUB_READ_TOOBIG = 4, /* the next packet is larger than the buffer; it is skipped */
};

/* Sizes of the fixed records. */
#define MUB_DESCRIPTION_BYTES 212
#define MUB_NAME_SLOT_BYTES 40
#define MUB_TEXT_BYTES 256
#define MUB_WORK_BYTES 40
#define MUB_CONFIG_BYTES 2048

/* The device identity record: six zero-padded text fields, 85 bytes in all. */
typedef struct MUBDeviceIdentity {
    char field1[12];
    char field2[20];
    char field3[12];
    char field4[11];
    char field5[20];
    char field6[10];
} MUBDeviceIdentity;

/* 1: a new context; NULL when out of memory. */
MUBContext MUB_CreateContext(void);
/* 2: releases the context and everything it holds open. */
void MUB_ReleaseContext(MUBContext ctx);

/* 3: describes a recording by file name: the 212-byte description record, the frame
 * counts of channels 0 and 1, a sixth count, a free text and the summary text
 * "cntVideo0=%d; cntVideo1=%d; cntAudio=%d; cntACC=%d; cntGPS=%d".
 * Returns 1 on success, 0 when the recording cannot be found or read. */
int MUB_GetFileInfo(MUBContext ctx, const char* name, uint8_t* description, uint16_t* frameCount0,
                    uint16_t* frameCount1, uint16_t* sixthCount, char* text, char* summary, uint8_t* work);
/* 4: the same for the recording at index in the listing of the name's category. */
int MUB_GetFileInfoByIndex(MUBContext ctx, const char* name, int index, uint8_t* description,
                           uint16_t* frameCount0, uint16_t* frameCount1, uint16_t* sixthCount, char* text,
                           char* summary, uint8_t* work);

/* 6: writes the id of the inserted card (non-zero), or 0 when there is none. Returns
 * 1 when a card is present. Cheap enough to poll every second. */
int MUB_GetCardId(MUBContext ctx, uint8_t* cardId);
/* 7: keeps the device identity record. Returns 1. */
int MUB_SetDeviceIdentity(MUBContext ctx, MUBDeviceIdentity identity);

/* 9: number of recordings of a category on the card with that id; 0 when none. */
int MUB_GetFileCount(MUBContext ctx, uint8_t cardId, int category);
/* 10: fills up to capacity entries: zero-terminated names in 40-byte slots, the size in
 * bytes in the low 32 bits of each 8-byte slot, and a 32-bit value per entry (the
 * recording's length in seconds). Returns the number filled. Reads no recording whole. */
int MUB_GetFileList(MUBContext ctx, uint8_t cardId, int category, int capacity, char* names, uint32_t* sizes,
                    uint32_t* extra);

/* 11: the factory configuration text (CR LF line ends). *length is the buffer's size on
 * entry and the text's size on return. Returns non-zero on success. */
int MUB_GetDefaultConfig(MUBContext ctx, char* buffer, int* length);

/* 12: a handle to the recording with that file name in a category; -1 when not found. */
int MUB_OpenFileByName(MUBContext ctx, int category, const char* name);
/* 13: a handle to the recording at index in the category's listing; -1 when none. */
int MUB_OpenFileByIndex(MUBContext ctx, int category, int index);
/* 14: opens the inserted card for listing and reading. Returns 1 when a card is open. */
int MUB_OpenCard(MUBContext ctx);
/* 16: makes the recording of the handle the one MUB_ReadPacket reads, from its start,
 * and sets its key-unit count to 0. Returns 1 on success. */
int MUB_SelectFile(MUBContext ctx, int category, int reserved, int handle);

/* 18: reads the next packet. type = video channel (0..2) for video, status = 0 key video
 * unit, 2 other video unit, 1 audio, 3 text; *size is the capacity on entry and the
 * payload length on return. Returns one of MUB_READ_*. */
int8_t MUB_ReadPacket(MUBContext ctx, uint8_t* type, uint8_t* status, uint8_t* flag, int* size, void* buffer,
                      uint32_t* unused);

/* 22: moves the read position to a key unit. The caller passes target = K + n + 1 and
 * limit = K + m + 1, where K is the number of packets with status 0 read since
 * MUB_SelectFile (the library counts them too): reading continues at the n-th front key
 * unit, front frame 30 * n (second n at 30 fps), with n clamped to 0..m. */
int MUB_Seek(MUBContext ctx, int target, int limit);

/* Not an ordinal: names a folder that counts as a card while it exists and holds the
 * card layout (the --card option and the MUB_CARD variable). */
int MUB_AddCardFolder(MUBContext ctx, const char* path);

/* Not an ordinal: the folders where the camera's configuration may be found, in the
 * order to try them: named folders that hold the card layout, then the root of every
 * mounted removable volume (with or without the layout). Each is written zero-terminated
 * into a slot of slotBytes bytes; a folder that does not fit its slot is left out.
 * Returns the number written (at most capacity). */
int MUB_GetCardRoots(MUBContext ctx, char* roots, int slotBytes, int capacity);

#ifdef __cplusplus
}
#endif
