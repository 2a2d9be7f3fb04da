/* SPDX-License-Identifier: GPL-2.0-or-later */
/*
 * A program of someone else's, built against the installed libStarBurn with
 * nothing but pkg-config: it starts the library on its built-in virtual
 * recorders, counts the devices it reports, names the first one's volume
 * label and stops. Prints "starburn <version hex>: <n> devices".
 */
#include <StarBurnLinux.h>

#include <stdio.h>

static void on_event(uint32_t reason, void* context, void* special1, void* special2) {
    (void)special1;
    (void)special2;
    if ((reason & 0xFF) == 10) {
        ++*(unsigned*)context;
    }
}

int main(void) {
    char text[1024] = "";
    unsigned devices = 0;
    char label[64] = "";
    if (StarBurn_GetVersion() != STARBURN_VERSION) {
        fprintf(stderr, "header and library versions differ\n");
        return 1;
    }
    if (StarBurn_UpStartEx(NULL, text, sizeof text) != SB_EXCEPTION_NONE) {
        fprintf(stderr, "StarBurn_UpStartEx: %s\n", text);
        return 1;
    }
    if (StarBurn_FindDevice(5, 0, on_event, &devices) != SB_EXCEPTION_NONE ||
        StarBurn_GetVolumeLabel("CdRom0", label, sizeof label) != SB_EXCEPTION_NONE) {
        fprintf(stderr, "a library call failed\n");
        StarBurn_DownShut();
        return 1;
    }
    StarBurn_DownShut();
    printf("starburn %08x: %u devices\n", (unsigned)StarBurn_GetVersion(), devices);
    return devices > 0 ? 0 : 1;
}
