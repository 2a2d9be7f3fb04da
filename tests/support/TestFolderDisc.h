// SPDX-License-Identifier: GPL-2.0-or-later
// A folder's disc read by xorriso, a reader not of our making: the MD5s the
// image recorded (the session's and each file's) are checked and its Rock
// Ridge tree extracted, so a test compares what Linux sees with the folder.
#pragma once

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>

// Extracts the disc image file Disc into the folder Out (xorriso's words in
// Out + ".txt"). Empty when xorriso read it and every MD5 matched, else
// what failed, with xorriso's words.
inline std::string ExtractFolderDisc(const std::string& Disc, const std::string& Out,
                                     int Seconds = 90) {
    const std::string words = Out + ".txt";
    const std::string command = "timeout -k 5 " + std::to_string(Seconds) +
                                " xorriso -md5 on -osirrox on:sparse=1m -indev stdio:'" + Disc +
                                "' -check_md5 sorry -- -check_md5_r sorry / -- -extract / '" + Out +
                                "' >'" + words + "' 2>&1 </dev/null";
    const int status = std::system(command.c_str());
    std::ostringstream text;
    text << std::ifstream(words).rdbuf();
    const std::string output = text.str();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return "xorriso failed: " + output;
    }
    for (const char* match :
         {"Ok, session data match recorded md5.", "File contents and their MD5 checksums match."}) {
        if (output.find(match) == std::string::npos) {
            return std::string("xorriso did not say \"") + match + "\": " + output;
        }
    }
    return {};
}
