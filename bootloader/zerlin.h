/* Zerlin: host library for the PIC18F47J53 USB HID bootloader.
 *
 * Ten plain C exports. A session begins with M47J53_SetUSBHandle, which finds the board by a
 * fragment of its hardware ID; every call that talks to the board opens and closes its own
 * handles. Truth values are one byte: 1 success, 0 failure. Order of a full update:
 *   M47J53_SetUSBHandle -> M47J53_QueryDevice -> M47J53_LoadFirmwareFile ->
 *   M47J53_UpdateFlash (or M47J53_EraseFlashData, M47J53_Transfer_FlashData) ->
 *   M47J53_VerifyFlash -> M47J53_Reset
 * Calls are not thread-safe: one caller thread at a time. */
#ifndef ZERLIN_H
#define ZERLIN_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(ZERLIN_BUILDING)
#    define ZERLIN_EXPORT __declspec(dllexport)
#  else
#    define ZERLIN_EXPORT __declspec(dllimport)
#  endif
#else
#  define ZERLIN_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Starts a fresh session: empty region table, no images, no layout. */
ZERLIN_EXPORT void Initial47J53Parameter(void);

/* Starts a session and looks for the first HID interface whose upper-cased hardware ID contains
 * vidPid (upper case, e.g. "VID_04D8&PID_003C"). 0 when none matches; the session then has no
 * board, and the calls that need one fail until a search succeeds. */
ZERLIN_EXPORT uint8_t M47J53_SetUSBHandle(const char* vidPid);

/* Asks the board's application firmware to restart into its bootloader. */
ZERLIN_EXPORT uint8_t M47J53_Set_BootLoaderMode(void);

/* Reads the bootloader's memory layout and creates blank region images. 0 on an I/O failure or
 * timeout, and for a layout this library cannot program (the session then has no layout). */
ZERLIN_EXPORT uint8_t M47J53_QueryDevice(void);

/* Loads an Intel HEX file into blank region images. path is UTF-8 on every system (on Windows not
 * the ANSI code page, which cannot hold every user's folder name). 0 when the file cannot be opened
 * or a record is rejected (bad start character, bad checksum, a line too short for its byte count);
 * the session then holds no images, and programming and verification fail until a load succeeds. */
ZERLIN_EXPORT uint8_t M47J53_LoadFirmwareFile(const char* path);

/* Erases the board's flash and waits (time-limited) for the bootloader to answer again. */
ZERLIN_EXPORT uint8_t M47J53_EraseFlashData(void);

/* Programs every region image into the flash (configuration regions excepted). */
ZERLIN_EXPORT uint8_t M47J53_Transfer_FlashData(void);

/* Erase, then program, on one pair of handles. */
ZERLIN_EXPORT uint8_t M47J53_UpdateFlash(void);

/* Reads the flash back and compares it with the region images. 0 at the first difference, on an
 * I/O failure, or when the board stops answering for 10 to 20 seconds. */
ZERLIN_EXPORT uint8_t M47J53_VerifyFlash(void);

/* Restarts the board. Returns 1 after the reset request was written, otherwise the system error
 * code of the failed open or write (never 1). */
ZERLIN_EXPORT int32_t M47J53_Reset(void);

#ifdef __cplusplus
}
#endif

#endif /* ZERLIN_H */
