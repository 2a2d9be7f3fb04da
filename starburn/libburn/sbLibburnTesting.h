/*
 * sbLibburnTesting.h - inspection of the libburn backend for tests.
 *
 * The libburn backend turns MMC profiles into disc types; a test cannot put
 * every kind of disc into a drive, so the table is reachable here.
 */
#ifndef STARBURN_LIBBURN_SBLIBBURNTESTING_H
#define STARBURN_LIBBURN_SBLIBBURNTESTING_H

#include "starburn/StarBurn.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * The DISC_TYPE the libburn backend reports for a medium of the given MMC
 * profile (0xFFFF: libburn's stdio pseudo-drive) in a drive of the given
 * libburn role (1 a real drive, 2 a random-access file, 3 a sequential
 * target, 4 a read-only file, 5 a write-only file).
 */
STARBURN_API uint8_t StarBurnLibburnTesting_DiscTypeOfProfile(uint32_t ulProfile, uint32_t ulRole);

#ifdef __cplusplus
}
#endif

#endif /* STARBURN_LIBBURN_SBLIBBURNTESTING_H */
