#pragma once

/*
 * StarBurn: optical drives, discs, ISO 9660/Joliet images and recording, as a
 * flat C interface.
 *
 * Conventions of every call:
 * - A call that can fail returns a StarBurnStatus; STARBURN_OK (0) is success.
 * - Handles are opaque pointers. The opens and StarBurn_ISO9660JolietFileTree_Create
 *   write a new handle through their first argument; StarBurn_Destroy, given the
 *   handle's address, releases it and sets it to NULL.
 * - Device calls begin with the common head: the device handle, an error-text
 *   buffer, its size in bytes, a system-error out-value (the code of the
 *   failing system call: errno on Linux, GetLastError's on Windows; 0 when
 *   none) and a command-failure out-record. The error text is always
 *   terminated and never longer than its buffer; any of the four outputs may
 *   be NULL.
 * - Text is 8-bit UTF-8 unless the type says StarBurnWChar (UTF-16).
 * - Buffers that receive text come with their size and are always terminated;
 *   a text that does not fit fails with STARBURN_STATUS_BUFFER_TOO_SMALL and is
 *   never cut.
 * - Call-backs come on the thread that made the call, before the call returns.
 *
 * Threads: calls on different handles may run at once on different threads. A
 * handle is used by one thread at a time, except StarBurn_AbortDeviceWrite,
 * which may be called from any thread while a write runs.
 */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The exported calls: a DLL exports them, a shared object exports them
   alone, everything else being hidden. Hosts declare them plainly: on Windows
   a call then goes through the import library's thunk (the SDK exports
   functions only, which need no dllimport), and a program may link its own
   definitions in their place, as the library's tests do. */
#if defined(_WIN32) && defined(STARBURN_BUILD)
#define STARBURN_API __declspec(dllexport)
#elif defined(STARBURN_BUILD)
#define STARBURN_API __attribute__((visibility("default")))
#else
#define STARBURN_API
#endif

/** 16-bit text unit (UTF-16). */
#ifdef __cplusplus
typedef char16_t StarBurnWChar;
#else
typedef uint16_t StarBurnWChar;
#endif

typedef uint32_t StarBurnStatus;

/** Statuses. The numbers are fixed; the library tells 5, 8, 14 and 35 apart. */
enum {
  STARBURN_OK = 0,
  STARBURN_STATUS_FAILED = 1,           /* unclassified failure */
  STARBURN_STATUS_INVALID_ARGUMENT = 2, /* a null, unknown or out-of-range argument */
  STARBURN_STATUS_OUT_OF_MEMORY = 3,
  STARBURN_STATUS_NOT_SUPPORTED = 4, /* not implemented, or not possible with this drive or disc */
  STARBURN_STATUS_COMMAND_FAILED =
      5,                         /* the drive failed the command; sense in the failure record */
  STARBURN_STATUS_NO_DEVICE = 6, /* no such device name, address or letter */
  STARBURN_STATUS_NOT_READY = 7, /* no disc, tray open, or the drive is becoming ready */
  STARBURN_STATUS_INCOMPATIBLE_MEDIUM = 8, /* the disc cannot do that (for example blank a CD-R) */
  STARBURN_STATUS_IO_ERROR = 9,            /* reading a source file or an image file failed */
  STARBURN_STATUS_SOURCE_CHANGED = 10,     /* a source file's size changed after it was added */
  STARBURN_STATUS_NO_SPACE = 11,           /* the data does not fit on the disc */
  STARBURN_STATUS_BAD_FILE_SYSTEM = 12,    /* the disc's file system is malformed or unreadable */
  STARBURN_STATUS_NAME_CLASH = 13,         /* a name could not be made unique among its siblings */
  STARBURN_STATUS_CANCELLED = 14,   /* the operation was aborted (StarBurn_AbortDeviceWrite) */
  STARBURN_STATUS_DEVICE_GONE = 15, /* the drive disappeared (or lost power) during the command */
  STARBURN_STATUS_TIMEOUT = 16,     /* the drive did not answer in time */
  STARBURN_STATUS_BAD_CONFIGURATION = 17, /* the virtual-drive list is invalid */
  STARBURN_STATUS_NOT_FOUND = 18,         /* no such track, session or node */
  STARBURN_STATUS_LIMIT_EXCEEDED = 19, /* a limit of the SDK was reached (depth, entries, size) */
  STARBURN_STATUS_PERMISSION_DENIED = 20, /* the system refused access to the device */
  STARBURN_STATUS_BUFFER_TOO_SMALL = 21,  /* an output buffer is too small for its text */
  STARBURN_STATUS_NOT_STARTED = 22,       /* StarBurn_UpStartEx has not succeeded */
  STARBURN_STATUS_WRONG_STATE = 23,       /* the disc or handle is not in a state for this call */
  STARBURN_STATUS_DEVICE_BUSY =
      35 /* the drive is held by another open (exclusive access refused) */
};

/** Sizes of the buffers and records the calls exchange. */
enum {
  STARBURN_ERROR_TEXT_SIZE = 1024,      /* error-text buffer the library passes */
  STARBURN_DEVICE_TEXT_SIZE = 1024,     /* identification texts, device paths */
  STARBURN_DISC_INFORMATION_SIZE = 33,  /* disc-information block */
  STARBURN_TRACK_INFORMATION_SIZE = 28, /* track-information record */
  STARBURN_MEDIA_FORMAT_COUNT = 42,     /* flags of the media-format block */
  STARBURN_MEDIA_FORMATS_SIZE = 46,     /* size field + flags */
  STARBURN_DISC_FILE_SYSTEM_SIZE = 4,   /* disc-file-system record */
  STARBURN_DEVICE_ADDRESS_SIZE = 5,     /* notification 10's data: tag, port, bus, target, lun */
  STARBURN_PERIPHERAL_CDROM = 5         /* SCSI peripheral device type of CD/DVD/BD devices */
};

/** The record handed with notification 3 (a rejected name). Offsets in bytes;
 * the record is not aligned, read its fields with memcpy. */
enum {
  STARBURN_REJECTED_NAME_FLAG = 0,     /* 0: 8-bit ISO 9660 name; 1: 16-bit Joliet name */
  STARBURN_REJECTED_NAME_TEXT = 1,     /* the terminated name */
  STARBURN_REJECTED_NAME_ROOM = 544,   /* bytes of room for the name, terminator included */
  STARBURN_REJECTED_NAME_ACTION = 545, /* 32-bit action value, little-endian */
  STARBURN_REJECTED_NAME_SIZE = 549,
  STARBURN_REJECTED_NAME_USE_REWRITTEN = 2 /* action: the name was rewritten in place; use it */
};

/** Call-back notification numbers. */
enum {
  STARBURN_NOTIFY_TREE_TEXT_0 = 0,   /* tree: special1 is a terminated 8-bit text */
  STARBURN_NOTIFY_TREE_TEXT_2 = 2,   /* tree: special1 is a terminated 8-bit text */
  STARBURN_NOTIFY_NAME_REJECTED = 3, /* tree: special1 is the rejected-name record */
  STARBURN_NOTIFY_DEVICE_FOUND = 10, /* find: special1 is the 5-byte device address */
  STARBURN_NOTIFY_PROGRESS = 12,     /* write: special1, special2 -> uint64_t total, done */
  STARBURN_NOTIFY_BUFFER = 13        /* write: special1, special2 -> uint32_t size, free */
};

/** Node attributes (StarBurn_ISO9660JolietFileTree_GetAttributes). */
enum { STARBURN_NODE_DIRECTORY = 0x10 };

/** Kinds of StarBurn_ISO9660JolietFileTree_Add. */
enum { STARBURN_ADD_DIRECTORY = 0, STARBURN_ADD_FILE = 2 };

typedef void (*StarBurnCallback)(uint32_t notification, void* context, void* special1,
                                 void* special2);

/** What the drive said about the last command that failed. */
typedef struct StarBurnCommandFailure {
  uint8_t cdb[16]; /* the command descriptor block */
  uint8_t cdbLength;
  uint8_t scsiStatus; /* 0x02 CHECK CONDITION when sense is valid */
  uint8_t senseKey;
  uint8_t asc;         /* additional sense code */
  uint8_t ascq;        /* additional sense code qualifier */
  uint8_t senseLength; /* valid bytes of sense */
  uint8_t sense[32];   /* fixed-format sense data as the drive returned it */
} StarBurnCommandFailure;

/** Media-format block: size must be at least STARBURN_MEDIA_FORMATS_SIZE. Each
 * flag is 1 when the drive can (read or write) that kind of disc, else 0. The
 * positions:
 *   0 reads CD-ROM              21 writes DVD+R
 *   1 reads CD-R                22 reads DVD+R DL
 *   2 writes CD-R               23 writes DVD+R DL
 *   3 reads CD-RW               24 reads BD-ROM
 *   4 writes CD-RW              25 reads BD-R
 *   5 reads DVD-ROM             26 writes BD-R (sequential recording)
 *   6 reads DVD-R               27 reads BD-R in random recording mode
 *   7 writes DVD-R              28 writes BD-R in random recording mode
 *   8 reads DVD-R DL            29 reads BD-RE
 *   9 writes DVD-R DL           30 writes BD-RE
 *  10 reads DVD-RW              31 reads HD DVD-R
 *  11 writes DVD-RW             32 writes HD DVD-R
 *  12 reads DVD-RW DL           33 reads HD DVD-ROM
 *  13 writes DVD-RW DL          34 reads HD DVD-RAM
 *  14 reads DVD-RAM             35 writes HD DVD-RAM
 *  15 writes DVD-RAM            36 reads HD DVD-RW
 *  16 reads DVD+RW              37 writes HD DVD-RW
 *  17 writes DVD+RW             38 reads DDCD-ROM
 *  18 reads DVD+RW DL           39 reads DDCD-R
 *  19 writes DVD+RW DL          40 writes DDCD-R
 *  20 reads DVD+R               41 writes DDCD-RW
 * A drive reads a kind when its profile list names it, and writes it when it
 * also has the feature that writes it (CD track-at-once or mastering, DVD-R/-RW
 * write, random writable, the DVD+R/+RW write bits, BD write, HD DVD write,
 * DDCD-R/-RW write). */
typedef struct StarBurnMediaFormats {
  uint32_t size;
  uint8_t flags[STARBURN_MEDIA_FORMAT_COUNT];
} StarBurnMediaFormats;

/* ---- Start-up, shut-down and handles ---------------------------------- */

/** Starts the SDK (counted: every successful start needs one shut-down). Reads
 * STARBURN_VIRTUAL_DRIVES at the first start; an invalid list fails the start
 * with STARBURN_STATUS_BAD_CONFIGURATION and a message in errorText. */
STARBURN_API StarBurnStatus StarBurn_UpStartEx(char* errorText, uint32_t errorTextSize);
/** Undoes one start. STARBURN_STATUS_NOT_STARTED when the SDK is not started. */
STARBURN_API StarBurnStatus StarBurn_DownShut(void);
/** Releases a device or tree handle and sets *handle to NULL. NULL or an
 * unknown handle does nothing. */
STARBURN_API void StarBurn_Destroy(void** handle);
/** A short English text for a status ("not ready"); never NULL. */
STARBURN_API const char* StarBurn_GetStatusText(StarBurnStatus status);

/* ---- Virtual drives and the device registry ----------------------------- */

/** Attaches virtual drives: "MEDIUM=PATH;MEDIUM=PATH", the syntax of
 * STARBURN_VIRTUAL_DRIVES. MEDIUM: cd-rom cd-r cd-rw dvd-rom dvd-r dvd-rw
 * dvd-rw-ro (restricted overwrite) dvd-ram dvd+r dvd+rw dvd+r-dl dvd-r-dl
 * bd-rom bd-r bd-re, image (an .iso file: one session from block 0, no state
 * file), or "empty" (no disc, no path). PATH: the image file, block n at byte n * 2048;
 * the disc's state is kept in the text file PATH.state beside it. A missing image is a blank disc
 * (pressed media need one); an image without a state file holds one closed session (an appendable
 * disc). Drives are named CdRom0, CdRom1, ... in the order attached, with the free letters from D:
 * to Z: (on Windows those the system does not use), at SCSI address port 255, bus 0, target N,
 * logical unit 0. All or nothing: an unknown medium, an image that cannot be opened or created, a
 * state file that does not match its image, one image named twice or more drives than free
 * letters (real drives take letters too) fail with
 * STARBURN_STATUS_BAD_CONFIGURATION and a message; none is attached then. */
STARBURN_API StarBurnStatus StarBurn_AttachVirtualDrives(const char* drives, char* errorText,
                                                         uint32_t errorTextSize);
/** The device target of a drive letter ('D'): "\Device\CdRom0".
 * STARBURN_STATUS_NO_DEVICE when the letter names no optical device. */
STARBURN_API StarBurnStatus StarBurn_GetDeviceTargetByLetter(char letter, char* target,
                                                             uint32_t targetSize);
/** The volume label of the last session of the disc in the drive with that
 * letter: the Joliet label where present, else the ISO 9660 one, trailing
 * spaces removed. labelSize counts 16-bit units, the terminator included.
 * Fails without a disc (STARBURN_STATUS_NOT_READY), on a blank disc
 * (STARBURN_STATUS_NOT_FOUND), without volume descriptors
 * (STARBURN_STATUS_BAD_FILE_SYSTEM), while a handle records on the drive
 * (STARBURN_STATUS_DEVICE_BUSY), and before StarBurn_UpStartEx. */
STARBURN_API StarBurnStatus StarBurn_GetVolumeLabelByLetter(char letter, StarBurnWChar* label,
                                                            uint32_t labelSize);
/** Aborts a write on the named device ("CdRom0"; NULL: every device) from any
 * thread: the write running on the handle that holds the device for recording
 * (opened with shared 0), or its next one, stops before its next write command
 * (at most 32 blocks on) and the recording call returns
 * STARBURN_STATUS_CANCELLED, its track left unclosed (a virtual drive drops
 * it when the handle is released, so the disc stays as it was).
 * STARBURN_STATUS_NO_DEVICE for an
 * unknown name, STARBURN_STATUS_WRONG_STATE when no handle holds the device
 * for recording (the request is not kept). */
STARBURN_API StarBurnStatus StarBurn_AbortDeviceWrite(const char* deviceName);

/* ---- Discovery ---------------------------------------------------------- */

/** Calls callback with STARBURN_NOTIFY_DEVICE_FOUND for every device of the
 * peripheral type, in registry order, special1 pointing at its 5-byte address:
 * byte 0 a tag (the N of CdRomN), bytes 1-4 port, bus, target, logical unit.
 * flags: 0. Another peripheral type finds nothing. Needs a started SDK. */
STARBURN_API StarBurnStatus StarBurn_FindDevice(uint32_t peripheralType, uint32_t flags,
                                                StarBurnCallback callback, void* context);
/** A device node the system lists as an optical drive that the SDK could not
 * use when it looked for real drives (at its first start), index from 0 in the
 * order looked at: the node ("/dev/sr0"), the status met and a reason a
 * person can act on. Statuses: STARBURN_STATUS_PERMISSION_DENIED (the user
 * may not open the node: usually not in the group that owns it, such as
 * cdrom), STARBURN_STATUS_DEVICE_BUSY (another program holds the drive
 * exclusively, or its disc is mounted), STARBURN_STATUS_NO_DEVICE (no drive
 * answers at the node), STARBURN_STATUS_COMMAND_FAILED (it does not answer
 * INQUIRY), STARBURN_STATUS_NOT_SUPPORTED (not a CD/DVD/BD device),
 * STARBURN_STATUS_FAILED (another system error). Any output may be NULL.
 * STARBURN_STATUS_NOT_FOUND past the last node;
 * STARBURN_STATUS_BUFFER_TOO_SMALL when a text does not fit (both texts are
 * then empty). Real drives are found at the first start as /dev/srN (and
 * /dev/sgN for a drive no sr node reaches) that answer INQUIRY as a CD/DVD/BD
 * device; they follow the virtual drives of STARBURN_VIRTUAL_DRIVES as the
 * next CdRomN with the next letters, at the SCSI address the kernel gives.
 * STARBURN_REAL_DRIVES=0 in the environment keeps them out. */
STARBURN_API StarBurnStatus StarBurn_GetUnusableDevice(uint32_t index, char* node,
                                                       uint32_t nodeSize, StarBurnStatus* status,
                                                       char* reason, uint32_t reasonSize);
/** The device path of a SCSI address: \\\\.\\ and the drive letter (\\\\.\\D:). */
STARBURN_API StarBurnStatus StarBurn_GetDeviceNameByDeviceAddress(uint8_t port, uint8_t bus,
                                                                  uint8_t target, uint8_t lun,
                                                                  char* devicePath,
                                                                  uint32_t devicePathSize);
/** The SPTD layer's versions. STARBURN_OK when the layer is present. This SDK
 * reaches drives directly, so 16-bit device names (CreateExEx) always work:
 * it answers STARBURN_OK with its own version texts and 0x00010000. */
STARBURN_API StarBurnStatus StarBurn_SPTD_GetVersion(char* driverVersion,
                                                     uint32_t driverVersionSize, char* layerVersion,
                                                     uint32_t layerVersionSize, uint32_t* version);
/** 1: read only the table of contents of the last session when importing.
 * This SDK always reads only what it needs (the start of the last session),
 * so the setting is accepted and changes nothing. */
STARBURN_API void StarBurn_SetFastReadTOC(uint8_t enable);

/* ---- Opening a drive ------------------------------------------------------
 * callback and context receive the recording notifications (12, 13) of the
 * handle. shared: 0 takes the drive exclusively, as recording needs (refused
 * with STARBURN_STATUS_DEVICE_BUSY while any other handle has the drive open);
 * nonzero shares it with other shared handles (refused while a handle holds
 * it exclusively). Opening a virtual drive whose tray was opened closes the
 * tray again with the same disc, as a person would push it back.
 * Failures: STARBURN_STATUS_NOT_STARTED before StarBurn_UpStartEx,
 * STARBURN_STATUS_NO_DEVICE for an unknown name or address (names compare
 * without regard to case), STARBURN_STATUS_DEVICE_BUSY. */

STARBURN_API StarBurnStatus StarBurn_CdvdBurnerGrabber_Create(
    void** device, char* errorText, uint32_t errorTextSize, uint32_t* systemError,
    StarBurnCommandFailure* failure, StarBurnCallback callback, void* context, uint8_t port,
    uint8_t bus, uint8_t target, uint8_t lun, uint32_t shared);
STARBURN_API StarBurnStatus StarBurn_CdvdBurnerGrabber_CreateEx(
    void** device, char* errorText, uint32_t errorTextSize, uint32_t* systemError,
    StarBurnCommandFailure* failure, StarBurnCallback callback, void* context,
    const char* deviceName, uint32_t shared);
/** lockTray: 1 locks the tray while the handle is open (until it ejects);
 * refused with STARBURN_STATUS_DEVICE_BUSY while another handle holds the
 * lock. While locked, only the locking handle can eject. */
STARBURN_API StarBurnStatus StarBurn_CdvdBurnerGrabber_CreateExEx(
    void** device, char* errorText, uint32_t errorTextSize, uint32_t* systemError,
    StarBurnCommandFailure* failure, StarBurnCallback callback, void* context,
    const StarBurnWChar* deviceName, uint8_t lockTray, uint32_t shared);

/* ---- Drive and disc ------------------------------------------------------- */

/** Vendor, product and revision texts (each textSize bytes; INQUIRY's, trailing
 * spaces removed) and the drive's buffer size in KiB. A virtual drive is
 * "StarBurn", "Virtual Recorder", "1.0" with 4096 KiB. */
STARBURN_API StarBurnStatus StarBurn_CdvdBurnerGrabber_GetDeviceInformation(
    void* device, char* vendor, char* product, char* revision, uint32_t textSize,
    uint32_t* bufferSize);
/** Disc-type code of the inserted disc, from the drive's current profile:
 * 1 CD-ROM, 2 CD-R, 3 CD-RW, 4 DVD-ROM, 5 DVD-R, 6 DVD-RAM, 7 DVD-RW in
 * restricted overwrite, 8 DVD-RW sequential, 9 DVD+RW, 10 DDCD-ROM, 11 DDCD-R,
 * 12 DDCD-RW, 13 DVD+R, 14 no disc (or the tray is open, or the drive cannot
 * be asked), 15 DVD+R DL, 16 DVD-R DL, 17 BD-ROM, 18 BD-R, 19 BD-RE,
 * 20 HD DVD-ROM, 21 HD DVD-R, 22 HD DVD-RAM or -RW, 0 any other disc. */
STARBURN_API int32_t StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(void* device);
/** The disc-information block as the drive returns it (READ DISC INFORMATION,
 * standard data), cut to infoSize and zero beyond what the drive sent (34
 * bytes): 0-1 length; 2 bit 4 erasable, bits 3-2 state of the last session
 * (0 empty, 1 incomplete, 3 complete), bits 1-0 disc status (0 blank,
 * 1 appendable, 2 complete, 3 random-access media); 3 first track; 4/9 number
 * of sessions (low/high byte, counting the empty session a next track would
 * open); 5/10 first and 6/11 last track in the last session; 7 bits 1-0
 * background format status; 8 disc type; 16-19 next session's lead-in start;
 * 20-23 last possible lead-out start: 0, minute, second, frame on CD, a block
 * address on other discs (given for every writable disc, closed or not). */
STARBURN_API StarBurnStatus StarBurn_CdvdBurnerGrabber_GetDiscInformation(
    void* device, char* errorText, uint32_t errorTextSize, uint32_t* systemError,
    StarBurnCommandFailure* failure, uint8_t* info, uint32_t infoSize);
/** Block address of minute, second, frame. pregap: 0 for a disc address
 * (lead-in offset removed), 1 to count from the very first block. */
STARBURN_API int32_t StarBurn_CdvdBurnerGrabber_MSFToLBA(void* device, uint8_t minute,
                                                         uint8_t second, uint8_t frame,
                                                         uint8_t pregap);
STARBURN_API StarBurnStatus StarBurn_CdvdBurnerGrabber_GetAdvancedSupportedMediaFormats(
    void* device, StarBurnMediaFormats* formats);
/** Outputs (1 = yes): packet (incremental streaming), track-at-once (CD track
 * at once, or any DVD/BD write feature), session-at-once and raw (CD
 * mastering), from the drive's features. */
STARBURN_API StarBurnStatus StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes(
    void* device, char* errorText, uint32_t errorTextSize, uint32_t* systemError,
    StarBurnCommandFailure* failure, uint8_t* packet, uint8_t* trackAtOnce, uint8_t* sessionAtOnce,
    uint8_t* raw);
/** 1 when the disc holds nothing: a blank written-once or rewritable disc, an
 * unformatted overwritable disc, or a formatted one on which no file system is
 * found at block 16. */
STARBURN_API StarBurnStatus StarBurn_CdvdBurnerGrabber_IsDiscBlank(void* device, char* errorText,
                                                                   uint32_t errorTextSize,
                                                                   uint32_t* systemError,
                                                                   StarBurnCommandFailure* failure,
                                                                   uint8_t* isBlank);
/** Bytes recorded: the recorded tracks' blocks x 2048; on overwritable media
 * the volume size of the file system at block 16 (the whole disc when another
 * file system is found there). */
STARBURN_API StarBurnStatus StarBurn_CdvdBurnerGrabber_GetDiscUsedSpace(
    void* device, char* errorText, uint32_t errorTextSize, uint32_t* systemError,
    StarBurnCommandFailure* failure, uint64_t* usedBytes);
/** Kinds of free space. */
enum { STARBURN_FREE_SPACE_NEW_SESSION = 3 };
/** kind: STARBURN_FREE_SPACE_NEW_SESSION, the room a new session (track) can
 * take, from the next writable address to the end of the disc: blocks of 2048
 * bytes in freeBlocks, bytes in freeBytes. 0 on a closed disc. Other kinds
 * fail with STARBURN_STATUS_INVALID_ARGUMENT. */
STARBURN_API StarBurnStatus StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace(void* device, uint32_t kind,
                                                                        uint32_t* freeBlocks,
                                                                        uint64_t* freeBytes);
/** The 28-byte track-information record of track (255: the invisible track, the
 * next one to be written). infoSize at least 28; bytes beyond are zeroed.
 *   0     1: the record describes a track; 0: there is none (track 255 of a
 *         closed disc, which still gets bytes 10 and 11)
 *   1     track number (low byte)
 *   2     session number (low byte)
 *   3     track mode (4 data recorded uninterrupted, 5 data recorded
 *         incrementally)
 *   4     data mode (1 Mode 1, 2 Mode 2, 15 nothing recorded yet)
 *   5     flags: bit 0 packet/incremental, 1 fixed packet, 2 reserved track,
 *         3 copy, 4 damaged
 *   6     1 when bytes 16-19 hold a next writable address
 *   7     reserved, 0
 *   8     state: 0 closed, 1 being written (open), 2 invisible (nothing
 *         written in it yet)
 *   9     1 when nothing is recorded in the track
 *   10    disc status (as byte 2 bits 1-0 of the disc-information block)
 *   11    1 when the disc is erasable (CD-RW, DVD-RW, DVD+RW, DVD-RAM, BD-RE)
 *   12-15 start block, little-endian
 *   16-19 next writable address, little-endian (0 when byte 6 is 0): for track
 *         255 the block where a new session (image) begins; on overwritable
 *         media the end of the file system at block 16, rounded up to 16
 *         blocks (DVD) or 32 (BD)
 *   20-23 free blocks from the next writable address to the disc's end
 *   24-27 track size in blocks (recorded blocks; for the next track the
 *         room it can take)
 * Overwritable media show one track over the file system's blocks. A track
 * the disc does not have fails with STARBURN_STATUS_NOT_FOUND. */
STARBURN_API StarBurnStatus StarBurn_CdvdBurnerGrabber_GetTrackInformation(
    void* device, char* errorText, uint32_t errorTextSize, uint32_t* systemError,
    StarBurnCommandFailure* failure, uint32_t track, uint8_t* info, uint32_t infoSize);
/** Speeds in KB/s (1x: CD 176, DVD 1385, BD 4495): the current read and write
 * speeds and the maxima for the disc in the drive (without a disc, the
 * drive's CD figures). */
STARBURN_API StarBurnStatus StarBurn_CdvdBurnerGrabber_GetSpeeds(
    void* device, char* errorText, uint32_t errorTextSize, uint32_t* systemError,
    StarBurnCommandFailure* failure, uint32_t* currentRead, uint32_t* maximumRead,
    uint32_t* currentWrite, uint32_t* maximumWrite);
/** 65535 (or more): the drive's maximum. The drive takes the fastest speed it
 * supports for the disc at or below the one asked (the slowest when none is),
 * so StarBurn_CdvdBurnerGrabber_GetSpeeds may read back another value. On a
 * writable DVD or BD the speeds are stated for the whole disc as a streaming
 * performance (65535: the fastest the drive lists for the disc); a recording
 * states the drive's current speeds that way again before it writes. */
STARBURN_API StarBurnStatus StarBurn_CdvdBurnerGrabber_SetSpeeds(
    void* device, char* errorText, uint32_t errorTextSize, uint32_t* systemError,
    StarBurnCommandFailure* failure, uint32_t readSpeed, uint32_t writeSpeed);
STARBURN_API StarBurnStatus
StarBurn_CdvdBurnerGrabber_TestUnitReady(void* device, char* errorText, uint32_t errorTextSize,
                                         uint32_t* systemError, StarBurnCommandFailure* failure);
/** Buffer-underrun protection: enabled now, and 1 when the drive supports it. */
STARBURN_API StarBurnStatus StarBurn_CdvdBurnerGrabber_GetBUP(
    void* device, char* errorText, uint32_t errorTextSize, uint32_t* systemError,
    StarBurnCommandFailure* failure, uint8_t* enabled, uint32_t* supported);
STARBURN_API StarBurnStatus StarBurn_CdvdBurnerGrabber_SetBUP(void* device, char* errorText,
                                                              uint32_t errorTextSize,
                                                              uint32_t* systemError,
                                                              StarBurnCommandFailure* failure,
                                                              uint32_t enable);
/** Records the built image of tree as one track at the next writable address,
 * with notifications 12 (uint64_t total bytes, uint64_t bytes done) and 13
 * (uint32_t buffer bytes, uint32_t free buffer bytes) to the open's call-back
 * every 512 blocks and at the end, and 13 again at every look (four a second)
 * while the drive still writes out its buffer and closes the track. The handle
 * must hold the drive for recording (shared 0: else
 * STARBURN_STATUS_WRONG_STATE); the image must have been built for the disc's
 * next writable address (STARBURN_STATUS_WRONG_STATE otherwise) and fit
 * (STARBURN_STATUS_NO_SPACE). A blank DVD+RW or BD-RE is formatted first; on
 * overwritable media every session's volume descriptors reach block 16 last,
 * after everything they point at, so readers see the newest complete session
 * and an interrupted write leaves the disc as it was. On written-once media the
 * track is closed; the session stays open for
 * StarBurn_CdvdBurnerGrabber_CloseSession. A failed or aborted write leaves
 * its track unclosed (a virtual drive drops it when the handle is released);
 * earlier sessions are never touched. A disc whose last session an earlier
 * recording left open gets that session closed first, and the call then fails
 * with STARBURN_STATUS_WRONG_STATE: the image must be built again for the new
 * next writable address.
 * testWrite: 1 simulates, nothing is recorded (CD and DVD-R/-RW only);
 * closeDisc: 1 closes the disc at CloseSession (no further session);
 * multiSession: 1 leaves room for a next session (0 closes the disc too);
 * dataMode: 1 (Mode 1 / plain 2048-byte blocks), others are not supported;
 * writeRetries: no longer used: a write the drive answers NOT READY because it
 * is busy (its buffer full, calibrating, formatting in the background) is
 * always sent again after a pause, for up to two minutes. */
STARBURN_API StarBurnStatus StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree(
    void* device, char* errorText, uint32_t errorTextSize, uint32_t* systemError,
    StarBurnCommandFailure* failure, void* tree, uint8_t testWrite, uint8_t closeDisc,
    uint8_t multiSession, uint32_t dataMode, uint32_t writeRetries);
/** Records the image file at imagePath (UTF-8 path; a regular file of a
 * whole, non-zero number of 2048-byte blocks, else
 * STARBURN_STATUS_INVALID_ARGUMENT; missing: STARBURN_STATUS_NOT_FOUND) as it
 * is, as one track: at the next writable address of a disc written in
 * sessions (CD, DVD-R/-RW, DVD+R), from block 0 of an overwritable disc
 * (DVD+RW, DVD-RAM, BD-RE, restricted-overwrite DVD-RW), replacing what it
 * holds; its volume descriptors at block 16 reach the disc last. Everything
 * else is TrackAtOnceFromTree's: the notifications, the drive held for
 * recording, a file larger than the room refused with STARBURN_STATUS_NO_SPACE
 * before anything is written, the track left open for CloseSession on
 * written-once media, a file that changes while it is written failing with
 * STARBURN_STATUS_SOURCE_CHANGED. *startAddress (may be NULL) receives the
 * block the image starts at. */
STARBURN_API StarBurnStatus StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(
    void* device, char* errorText, uint32_t errorTextSize, uint32_t* systemError,
    StarBurnCommandFailure* failure, const char* imagePath, uint8_t testWrite, uint8_t closeDisc,
    uint8_t multiSession, uint32_t* startAddress);
/** Reads count 2048-byte blocks from block lba of the disc into buffer, which
 * has bufferSize bytes (at least count * 2048, else
 * STARBURN_STATUS_INVALID_ARGUMENT). Blocks the disc does not hold: the
 * drive's refusal. */
STARBURN_API StarBurnStatus StarBurn_CdvdBurnerGrabber_ReadBlocks(
    void* device, char* errorText, uint32_t errorTextSize, uint32_t* systemError,
    StarBurnCommandFailure* failure, uint32_t lba, uint32_t count, void* buffer,
    uint32_t bufferSize);
/** Closes the session the handle's last track opened (or one an earlier
 * recording left open), keeping the disc appendable unless closeDisc asked
 * otherwise; notification 13 at every look (four a second) while the drive
 * closes it. Nothing to do (overwritable media, a simulated track, nothing
 * open) is success; after a failed track STARBURN_STATUS_WRONG_STATE. */
STARBURN_API StarBurnStatus
StarBurn_CdvdBurnerGrabber_CloseSession(void* device, char* errorText, uint32_t errorTextSize,
                                        uint32_t* systemError, StarBurnCommandFailure* failure);
/** Opens the tray (unlocking it first when this handle locked it). */
STARBURN_API StarBurnStatus StarBurn_CdvdBurnerGrabber_Eject(void* device, char* errorText,
                                                             uint32_t errorTextSize,
                                                             uint32_t* systemError,
                                                             StarBurnCommandFailure* failure);
/** Closes the tray; wait: 1 waits until the disc is ready. */
STARBURN_API StarBurnStatus StarBurn_CdvdBurnerGrabber_LoadEx(void* device, char* errorText,
                                                              uint32_t errorTextSize,
                                                              uint32_t* systemError,
                                                              StarBurnCommandFailure* failure,
                                                              uint32_t wait);
/** quick: 1 blanks the table of contents only, 0 the whole disc. CD-RW and
 * DVD-RW are blanked by the drive; overwritable media (DVD+RW, DVD-RAM,
 * BD-RE) get their first 80 blocks (system area and volume descriptors)
 * overwritten, after a new format for a full blank. While the drive blanks or
 * formats, notification 12 goes to the open's call-back at every look (four a
 * second) that finds the drive reporting its progress: uint64_t total 65536,
 * uint64_t done the drive's figure. Other discs:
 * STARBURN_STATUS_INCOMPATIBLE_MEDIUM (8); a drive that fails: 5; one that
 * has not finished after two hours (four for a format): 16. */
STARBURN_API StarBurnStatus StarBurn_CdvdBurnerGrabber_Blank(void* device, char* errorText,
                                                             uint32_t errorTextSize,
                                                             uint32_t* systemError,
                                                             StarBurnCommandFailure* failure,
                                                             uint32_t quick);
/** The last recorded block address of the disc (0 on a blank disc). */
STARBURN_API StarBurnStatus StarBurn_CdvdBurnerGrabber_GetLastAddress(
    void* device, char* errorText, uint32_t errorTextSize, uint32_t* systemError,
    StarBurnCommandFailure* failure, uint32_t* lastAddress);
/** The disc-file-system record of the last session (the session of the last
 * recorded track; on overwritable media the one at block 16): byte 0 nonzero
 * when a file system other than ISO 9660/Joliet (such as UDF) is present,
 * byte 1 when Joliet is present, byte 2 when ISO 9660 is present, byte 3
 * reserved (0). All zero when the session holds no volume descriptors;
 * STARBURN_STATUS_NOT_FOUND on a blank disc. */
STARBURN_API StarBurnStatus StarBurn_CdvdBurnerGrabber_GetDiscFileSystem(
    void* device, char* errorText, uint32_t errorTextSize, uint32_t* systemError,
    StarBurnCommandFailure* failure, uint8_t* record, uint32_t recordSize);
/** Number of the last recorded track (1 on overwritable media holding a file
 * system). STARBURN_STATUS_NOT_FOUND on a blank disc,
 * STARBURN_STATUS_LIMIT_EXCEEDED when the number does not fit a byte. */
STARBURN_API StarBurnStatus StarBurn_CdvdBurnerGrabber_GetLastTrack(void* device, char* errorText,
                                                                    uint32_t errorTextSize,
                                                                    uint32_t* systemError,
                                                                    StarBurnCommandFailure* failure,
                                                                    uint8_t* lastTrack);

/* ---- ISO 9660/Joliet image tree -------------------------------------------
 * A tree holds directories and files, each with one identifier per name space
 * of the image, unique among its siblings:
 * - ISO 9660 level 1: 8.3 names of d-characters (A-Z 0-9 _), lower case
 *   raised, other characters "_"; directories 8 characters.
 * - ISO 9660 level 2: names of up to 31 characters (file name, dot and
 *   extension), d-characters as above.
 * - Joliet: UCS-2 names of up to 103 units (characters beyond the Basic
 *   Multilingual Plane kept as surrogate pairs, two units); the characters
 *   Joliet forbids (controls, * / : ; ? \) become "_"; a longer name is
 *   shortened keeping its extension.
 * Names arrive and leave as UTF-8.
 *
 * Node names (StarBurn_ISO9660JolietFileTree_GetNames):
 * - first: the identity among siblings, stable for the tree's life: the ISO
 *   9660 identifier, with ";1" for a file ("README.TXT;1", "DOCS"). ASCII;
 *   at most 34 bytes with its terminator.
 * - second: the name a person sees: the Joliet name where the tree has
 *   Joliet, else the ISO 9660 identifier without version and without the
 *   separator dot of a name that has no extension. UTF-8; a Joliet name
 *   takes at most 310 bytes with its terminator (103 units of up to three
 *   bytes), so a 272-byte buffer holds every name of up to 90 characters.
 * - third: unused, always empty.
 *
 * Call-back notifications of a tree (special2 is NULL):
 * - STARBURN_NOTIFY_TREE_TEXT_0: a file was added; special1 is its source
 *   path (terminated 8-bit text, valid during the call).
 * - STARBURN_NOTIFY_TREE_TEXT_2: a directory was made; special1 is its path
 *   in the image, "/" and the display names ("/Docs/Photos").
 * - STARBURN_NOTIFY_NAME_REJECTED: during Add, the new entry's identifier in
 *   one space equals a sibling's. special1 is the rejected-name record: flag
 *   0 and the ISO 9660 identifier as 8-bit text (with ";1" for a file), or
 *   flag 1 and the Joliet name as 16-bit units (no version). The host may
 *   rewrite the name in place (terminated within the room) and set the action
 *   to STARBURN_REJECTED_NAME_USE_REWRITTEN. The tree maps the answer as it
 *   maps any name; when it must shorten it, it cuts the part the answer
 *   shares with the rejected name and keeps what the host inserted. An answer
 *   that still clashes is offered again, at most 4 times in all; after that,
 *   or when the host declines, the tree numbers the name itself ("_1",
 *   "_2", ... before the extension, the number never cut). Add never loops.
 *
 * Nodes are listed in the order they were added or imported. */

/** Makes an empty tree. callback (may be NULL) and context receive the
 * notifications above. iso9660: must be 1 (every image has an ISO 9660 tree;
 * 0 gives STARBURN_STATUS_NOT_SUPPORTED). rockRidge: must be 0 (1 gives
 * STARBURN_STATUS_NOT_SUPPORTED). level2Names: 1 for ISO 9660 level 2 names,
 * 0 for level 1. joliet: 1 adds a Joliet tree beside the ISO 9660 one. So
 * (1,0,0,0) is ISO 9660 level 1 alone, (1,0,1,0) level 2 alone and (1,0,0,1)
 * Joliet beside level 1; (1,0,1,1) gives Joliet beside level 2. Values other
 * than 0 and 1: STARBURN_STATUS_INVALID_ARGUMENT. */
STARBURN_API StarBurnStatus StarBurn_ISO9660JolietFileTree_Create(
    void** tree, char* errorText, uint32_t errorTextSize, uint32_t* systemError,
    StarBurnCallback callback, void* context, uint8_t iso9660, uint8_t rockRidge,
    uint8_t level2Names, uint32_t joliet);
/** Reads the session that starts with track (1-based) of the disc in device
 * (an open device handle) into tree, which must be empty (else
 * STARBURN_STATUS_WRONG_STATE). joliet: 1 reads the Joliet tree (checked to
 * describe the same files as the ISO 9660 tree), or the ISO 9660 tree when
 * the session has no Joliet; 0 reads the ISO 9660 tree. Imported files keep
 * their extents on the disc; their directories are written anew by the next
 * image. A damaged session fails with STARBURN_STATUS_BAD_FILE_SYSTEM, one
 * past the reader's budgets (128 directory levels, 524,288 entries, 65,536
 * directory blocks) with STARBURN_STATUS_LIMIT_EXCEEDED, an unknown track
 * with the device's status; after a failure the tree is still empty. */
STARBURN_API StarBurnStatus StarBurn_ISO9660JolietFileTree_ImportTrack(
    void* device, void* tree, uint8_t track, uint8_t joliet, char* errorText,
    uint32_t errorTextSize, uint32_t* systemError);
/** Node handles; NULL = none (also for an unknown tree or node). A node handle
 * is valid with the tree that gave it, for the tree's life. */
STARBURN_API void* StarBurn_ISO9660JolietFileTree_GetRoot(void* tree);
STARBURN_API void* StarBurn_ISO9660JolietFileTree_GetFirstKid(void* tree, void* node);
/** The kid after kid among node's kids; NULL after the last, or when kid is
 * not a kid of node. */
STARBURN_API void* StarBurn_ISO9660JolietFileTree_GetNextKid(void* tree, void* node, void* kid);
/** The node's first, second and third names (above). Each buffer (any may be
 * NULL) has nameSize bytes and is set to the empty text first; a name that
 * does not fit gives STARBURN_STATUS_BUFFER_TOO_SMALL with the buffers empty.
 * An unknown node or a nameSize of 0: STARBURN_STATUS_INVALID_ARGUMENT. */
STARBURN_API StarBurnStatus StarBurn_ISO9660JolietFileTree_GetNames(void* tree, void* node,
                                                                    char* first, char* second,
                                                                    char* third, uint32_t nameSize);
/** STARBURN_NODE_DIRECTORY for a directory, 0 for a file or an unknown node. */
STARBURN_API uint32_t StarBurn_ISO9660JolietFileTree_GetAttributes(void* tree, void* node);
/** A file's size in bytes: low 32 bits returned, high 32 bits through sizeHigh
 * (may be NULL). 0 for a directory or an unknown node. */
STARBURN_API uint32_t StarBurn_ISO9660JolietFileTree_GetNodePowerInUCHARs(void* tree, void* node,
                                                                          uint32_t* sizeHigh);
/** Takes an entry imported from an earlier session (with what lies below it)
 * out of the tree, so that the new session no longer holds it and its name is
 * free for a new entry; the earlier sessions still hold it. Its handle stays
 * valid but it is no longer a kid. STARBURN_STATUS_INVALID_ARGUMENT for an
 * unknown node or the root, STARBURN_STATUS_WRONG_STATE for an entry added
 * from disk or one already removed. */
STARBURN_API StarBurnStatus StarBurn_ISO9660JolietFileTree_RemoveImported(void* tree, void* node,
                                                                          char* errorText,
                                                                          uint32_t errorTextSize);
/** A node's time in seconds since 1970 (UTC) through *unixSeconds: an
 * imported entry's recording date, its GMT offset applied; an entry added from
 * disk, the modification time read when it was added. STARBURN_STATUS_NOT_FOUND
 * for an imported entry whose date was not recorded (all zero),
 * STARBURN_STATUS_INVALID_ARGUMENT for an unknown node or a NULL unixSeconds. */
STARBURN_API StarBurnStatus StarBurn_ISO9660JolietFileTree_GetNodeTime(void* tree, void* node,
                                                                       int64_t* unixSeconds);
/** Adds an entry named name (UTF-8, not empty, not "." or "..") under
 * *parentNode, a directory of tree; *newNode (may be NULL) receives it.
 * kind STARBURN_ADD_FILE: a regular file read from sourcePath when the image
 * is streamed; its size and modification time are taken now (missing:
 * STARBURN_STATUS_NOT_FOUND; not a regular file:
 * STARBURN_STATUS_INVALID_ARGUMENT; unreadable: STARBURN_STATUS_IO_ERROR).
 * Files of 4 GiB and more are written in several extents. kind
 * STARBURN_ADD_DIRECTORY: a directory; sourcePath is ignored (NULL). Other
 * kinds: STARBURN_STATUS_INVALID_ARGUMENT. An image holds at most 65535
 * directories (STARBURN_STATUS_LIMIT_EXCEEDED). Clashing names go through
 * notification 3 as described above. */
STARBURN_API StarBurnStatus StarBurn_ISO9660JolietFileTree_Add(
    void* tree, char* errorText, uint32_t errorTextSize, uint32_t* systemError,
    const char* sourcePath, const char* name, uint32_t kind, void** parentNode, void** newNode);
/** Adds a regular file as StarBurn_ISO9660JolietFileTree_Add does with kind
 * STARBURN_ADD_FILE, for a host that has already read the file's status:
 * size (bytes) and unixSeconds (modification time, seconds since 1970 UTC)
 * are taken as the file's, and sourcePath is not looked at now. The host
 * vouches that sourcePath named a regular file this process may read when it
 * read them. BuildImage checks the source against them as against those Add
 * reads (a file gone or changed since fails the build before anything is
 * written), and the stream checks them again on the handle it reads through.
 * An empty sourcePath or name: STARBURN_STATUS_INVALID_ARGUMENT; limits and
 * clashing names as for Add. */
STARBURN_API StarBurnStatus StarBurn_ISO9660JolietFileTree_AddFileWithStatus(
    void* tree, char* errorText, uint32_t errorTextSize, uint32_t* systemError,
    const char* sourcePath, const char* name, uint64_t size, int64_t unixSeconds, void** parentNode,
    void** newNode);
/** Reads up to size bytes at offset of a file node of a tree whose entries were
 * imported from the disc in device (StarBurn_ISO9660JolietFileTree_ImportTrack);
 * *done receives the bytes read, fewer than size only at the end of the file.
 * A node that is not an imported file: STARBURN_STATUS_INVALID_ARGUMENT. */
STARBURN_API StarBurnStatus StarBurn_ISO9660JolietFileTree_ReadFile(void* device, void* tree,
                                                                    void* node, uint64_t offset,
                                                                    void* buffer, uint32_t size,
                                                                    uint32_t* done, char* errorText,
                                                                    uint32_t errorTextSize);
/** Lays the image out from startAddress, the block where the session begins
 * (0 for a first session; after an import, an address past the imported
 * session, else STARBURN_STATUS_INVALID_ARGUMENT): system area, volume
 * descriptors, path tables, directories, then the new files' data, then
 * trailingPadBlocks zero blocks. recordTimes: 1 records each file's
 * modification time (imported entries keep theirs), 0 gives every entry the
 * image's creation time. volumeLabel: the ISO 9660 volume identifier (in
 * d-characters, 32 at most) and the Joliet one (16 units at most);
 * publisher and application: the publisher and application identifiers
 * (a-characters in the ISO 9660 descriptor, 128 at most; 64 units in
 * Joliet's). Any of the three may be NULL (empty). Every new file's source is
 * checked: missing gives STARBURN_STATUS_IO_ERROR, a size or modification
 * time other than when it was added STARBURN_STATUS_SOURCE_CHANGED. Nothing
 * is written and no source is opened: the recording call (or
 * StarBurn_ISO9660JolietFileTree_SaveImage) streams the image and checks each
 * file again, the same way, on the handle it reads it through. A change of
 * the tree after a build needs a new build. */
STARBURN_API StarBurnStatus StarBurn_ISO9660JolietFileTree_BuildImage(
    void* tree, char* errorText, uint32_t errorTextSize, uint32_t* systemError,
    uint32_t startAddress, uint32_t trailingPadBlocks, uint32_t recordTimes,
    const char* volumeLabel, const char* publisher, const char* application);
/** Writes the built image into the file at path (created when missing):
 * atStartAddress 1 writes it at byte startAddress x 2048 and keeps what the
 * file holds before that (so a later session lands after the earlier ones
 * of an image file); 0 writes it from byte 0. The file ends with the image;
 * zero blocks are left as holes. Fails like the recording stream does: a
 * source unreadable (STARBURN_STATUS_IO_ERROR) or changed
 * (STARBURN_STATUS_SOURCE_CHANGED), or STARBURN_STATUS_WRONG_STATE when the
 * tree changed after StarBurn_ISO9660JolietFileTree_BuildImage. */
STARBURN_API StarBurnStatus StarBurn_ISO9660JolietFileTree_SaveImage(void* tree, char* errorText,
                                                                     uint32_t errorTextSize,
                                                                     uint32_t* systemError,
                                                                     const char* path,
                                                                     uint32_t atStartAddress);

#ifdef __cplusplus
}
#endif
