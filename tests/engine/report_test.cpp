// SPDX-License-Identifier: GPL-2.0-or-later
// The problem report's own rules: the user's home and name left out of every
// text, and a diagnostic log that has grown over many runs cut to its end at
// a line's start, read back from the archive with libarchive.
#include "base/sbLogger.h"
#include "engine/sbProblemReport.h"

#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace fs = std::filesystem;

namespace {

TEST(ReportTest, TheHomeFolderAndTheUserNameAreLeftOutAsWholeWordsOnly) {
    const std::string home = "/home/ann";
    EXPECT_EQ(WithoutUserPaths("/home/ann/images/ann.iso", home, "ann"), "~/images/<user>.iso");
    EXPECT_EQ(WithoutUserPaths("LANG=C HOME=/home/ann", home, "ann"), "LANG=C HOME=~");
    // Another user's folder, and names that merely contain the user's.
    EXPECT_EQ(WithoutUserPaths("/home/anna/x /media/joanne/ann's disc", home, "ann"),
              "/home/anna/x /media/joanne/<user>'s disc");
    EXPECT_EQ(WithoutUserPaths("nothing of the user", "", ""), "nothing of the user");
}

// The files of a report, by their names inside its one folder.
std::map<std::string, std::string> readReport(const fs::path& file) {
    std::map<std::string, std::string> files;
    archive* a = archive_read_new();
    archive_read_support_filter_gzip(a);
    archive_read_support_format_tar(a);
    EXPECT_EQ(archive_read_open_filename(a, file.c_str(), 65536), ARCHIVE_OK);
    archive_entry* entry = nullptr;
    while (archive_read_next_header(a, &entry) == ARCHIVE_OK) {
        const std::string name = archive_entry_pathname(entry);
        std::string text(static_cast<std::size_t>(archive_entry_size(entry)), '\0');
        EXPECT_EQ(archive_read_data(a, text.data(), text.size()),
                  static_cast<la_ssize_t>(text.size()));
        files[name.substr(name.find('/') + 1)] = text;
    }
    archive_read_free(a);
    return files;
}

TEST(ReportTest, ALongDiagnosticLogIsCutToItsEndAtALineStart) {
    const fs::path folder =
        fs::temp_directory_path() / ("tavrin_report_" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const std::string logFile = Logger().LogFileName();
    {
        // Ten megabytes of numbered lines.
        std::ofstream log(logFile, std::ios::binary | std::ios::trunc);
        for (int i = 0; i < 200000; ++i) {
            log << "12:00:00.000: line " << i << " of an old run, padded to some length\r\n";
        }
    }
    const fs::path report = folder / "report.tar.gz";
    TsbProblemReport contents;
    contents.Program = "Tavrin 1.0.0";
    contents.Drives.push_back(
        {"CdRom0", "E:", "1:0:0:0", "ACME", "Writer One", "4.2", "available", "CD-R", ""});
    contents.RunLog = {"Burning image", "Burning completed"};
    WriteProblemReport(report, contents);
    auto files = readReport(report);
    fs::remove(logFile);
    fs::remove_all(folder);

    const std::string& log = files["diagnostic.log"];
    EXPECT_LE(log.size(), 4u * 1024 * 1024);
    EXPECT_GT(log.size(), 3u * 1024 * 1024);
    EXPECT_EQ(log.rfind("12:00:00.000: line ", 0), 0u) << log.substr(0, 80);
    EXPECT_NE(log.find("line 199999 of an old run, padded to some length\r\n"), std::string::npos);
    EXPECT_EQ(files["drives.txt"], "CdRom0\tE:\t1:0:0:0\tvendor \"ACME\"\tproduct \"Writer One\"\t"
                                   "firmware \"4.2\"\tavailable\tCD-R\n");
    EXPECT_EQ(files["log.txt"], "Burning image\nBurning completed\n");
    EXPECT_EQ(files["version.txt"].rfind("Tavrin 1.0.0\nlibStarBurn ", 0), 0u);
}

} // namespace
