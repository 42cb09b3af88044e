#pragma once

// The drive query: reads a drive's identification, letter, volume label, disc
// type, space, track and disc information, media formats, write modes and
// speed lists through the SDK into a DriveInfo. The functions keep no state
// and take no lock; they work on records and handles their caller owns alone.
// Every SDK device call gets its own error-text buffer, which is never read.

#include <cstdint>
#include <string>
#include <vector>

#include "drives/DriveOpen.h"
#include "orlet/DriveInfo.h"

namespace Orlet {

// Reads record's drive into record. The fields that the query does not set
// (the access method and address, the device name) are kept, and so are the
// space, blank, timing, session and erasable values when there is no disc.
// 1 when the drive was opened and read (parts that fail leave their fields
// empty or 0); 0 when record's access method is not 1, 2 or 3 or the drive
// cannot be opened (record is then unchanged).
int ReadDrive(DriveInfo& record);

// The drive letter and colon of record's drive ("D:"), empty when none is
// found. ASPI drives ask the SDK for the device path of their address; named
// drives look for the letter whose device target is "\Device\<name>".
std::string FindDriveLetter(const DriveInfo& record);

// Fills record's usedBytes, freeBytes, isBlank, sessionStartAddress and
// isErasable from the open device (0 for what cannot be read) and sets the
// SDK's fast table-of-contents reading.
void ReadDiscSpace(void* device, DriveInfo& record);

// 1 when the disc in the open device is blank; 0 when it is not, when the SDK
// cannot tell, or without a device.
uint32_t TestDiscBlank(void* device);

// Fills list with the write (forReading 0) or read (1) speeds that record's
// drive takes for the disc of record.discType, each labelled with the nearest
// step of the disc's table; the drive is opened for it on its own handle. 1
// when done (the list may be empty); 0 when the drive cannot be opened or
// asked for its speeds (the list is then empty).
int BuildSpeedList(std::vector<SpeedEntry>& list, const DriveInfo& record, int forReading);

// Asks the open device for speed (the other direction at the drive's maximum)
// and reads back the speed it took into speed. 1 when both calls succeed; 0
// otherwise, with speed unchanged.
int TrySpeed(uint32_t& speed, void* device, int forReading);

}  // namespace Orlet
