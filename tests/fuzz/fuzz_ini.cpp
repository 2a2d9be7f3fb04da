// SPDX-License-Identifier: GPL-2.0-or-later
// The INI reader with the library's readers on top: the recorder, libburn and
// fault sections of a configuration, and a disc description. Whatever the
// text, nothing crashes, every entry has a name and a line, and a disc that
// parses survives a round trip through its state-file form.
#include "ini/sbIni.h"
#include "starburn/core/sbFaults.h"
#include "starburn/libburn/sbLibburnConfig.h"
#include "starburn/virtual/sbVirtualConfig.h"
#include "starburn/virtual/sbVirtualDisc.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> problems;
    const sbini::IniDocument doc = sbini::parseIni(text, "fuzz.ini", problems);
    for (const auto& section : doc.sections) {
        for (const auto& entry : section.entries) {
            if (entry.key.empty() || entry.line < 1) {
                std::abort();
            }
        }
    }
    starburn::virt::readVirtualConfig(&doc, problems);
    starburn::lb::readLibburnConfig(&doc, problems);
    starburn::loadCallFaults(doc, problems);
    starburn::clearCallFaults(true); // as the library does when it shuts down

    starburn::virt::Disc disc;
    std::string error;
    if (starburn::virt::Disc::parse(doc, disc, error)) {
        std::vector<std::string> again;
        starburn::virt::Disc back;
        const sbini::IniDocument saved = sbini::parseIni(disc.serialize(), "disc.ini", again);
        if (!again.empty() || !starburn::virt::Disc::parse(saved, back, error) ||
            back.serialize() != disc.serialize()) {
            std::abort();
        }
    }
    return 0;
}
