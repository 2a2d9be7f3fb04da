/* SPDX-License-Identifier: GPL-2.0-or-later */
/* Control functions of the MMC drive emulator, libsbmmcemu.so, for a
 * program that preloads it. Nothing links the emulator: reach these with
 * dlsym(RTLD_DEFAULT, "sbMmcEmu_Reload") and so on; a null answer means the
 * emulator is not loaded. README.md beside this file describes the drives. */
#ifndef SB_MMC_EMU_H
#define SB_MMC_EMU_H

#ifdef __cplusplus
extern "C" {
#endif

/* Reads the configuration named by SBMMCEMU again, as if every drive were
 * switched off and on: mode pages, a pending unit attention and the fault
 * counters start afresh, the discs stay. A drive whose section names another
 * disc than before gets that disc. Returns the number of drives, or -1 when
 * the file cannot be read (sbMmcEmu_LastProblem tells why). */
int sbMmcEmu_Reload(void);
typedef int (*sbMmcEmu_ReloadFn)(void);

/* Puts a disc into the drive whose device file is path, as an operator
 * would: every process using the drive sees it at its next command, with a
 * unit attention. media and state as in a drive section ("dvdplusr",
 * "blank"); capacity in sectors, 0 for the medium's usual size.
 * Returns 0, or -1 with sbMmcEmu_LastProblem. */
int sbMmcEmu_InsertDisc(const char* path, const char* media, const char* state, long long capacity);
typedef int (*sbMmcEmu_InsertDiscFn)(const char*, const char*, const char*, long long);

/* Takes the disc out of that drive. Returns 0, or -1 with sbMmcEmu_LastProblem. */
int sbMmcEmu_RemoveDisc(const char* path);
typedef int (*sbMmcEmu_RemoveDiscFn)(const char*);

/* The last problem of a control call or of reading the configuration, or "". */
const char* sbMmcEmu_LastProblem(void);
typedef const char* (*sbMmcEmu_LastProblemFn)(void);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
#include <dlfcn.h>

/* In C++: the control functions as a program that preloads the emulator
 * finds them; each is null when the emulator is not loaded. */
struct TMmcEmuControls {
    sbMmcEmu_ReloadFn Reload =
        reinterpret_cast<sbMmcEmu_ReloadFn>(dlsym(RTLD_DEFAULT, "sbMmcEmu_Reload"));
    sbMmcEmu_InsertDiscFn InsertDisc =
        reinterpret_cast<sbMmcEmu_InsertDiscFn>(dlsym(RTLD_DEFAULT, "sbMmcEmu_InsertDisc"));
};
#endif

#endif
