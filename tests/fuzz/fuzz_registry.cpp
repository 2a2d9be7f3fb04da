// SPDX-License-Identifier: GPL-2.0-or-later
// The settings ("registry") reader: any file content gives a value or the
// caller's default, never a crash.
#include "platform/sbRegistry.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

const std::string& registryFile() {
    static const std::string path = [] {
        std::string p = "/tmp/tavrin_fuzz_registry_" + std::to_string(::getpid()) + ".ini";
        ::setenv("TAVRIN_REGISTRY", p.c_str(), 1);
        return p;
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = registryFile();
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    platform::TRegistryIniFile registry;
    registry.OpenKey("Software\\Korvath");
    const bool enabled = registry.ReadBool("StarBurnVelmarSample", "LogEnabled", false);
    const int32_t level = registry.ReadInteger("StarBurnVelmarSample", "LogLevel", -7);
    const auto text = registry.ReadString("StarBurnVelmarSample", "LogLevel");
    if (!text && level != -7) {
        std::abort(); // a value from nowhere
    }
    (void)enabled;
    return 0;
}
