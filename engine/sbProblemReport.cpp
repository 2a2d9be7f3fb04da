// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine/sbProblemReport.h"

#include "base/sbError.h"
#include "base/sbLibraryCall.h"
#include "base/sbLogger.h"
#include "engine/sbLibraryMessages.h"
#include "platform/sbRegistry.h"
#include "starburn/StarBurn.h"

#include <archive.h>
#include <archive_entry.h>
#include <fmt/format.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace {

// The end of a diagnostic log that has grown over many runs: the runs
// before are seldom what a report is about.
constexpr std::streamoff kLogTail = 4 * 1024 * 1024;

// The variables that change what the program and the library do.
const char* const kEnvironment[] = {
    "STARBURN_CONFIG",      "STARBURN_STATE_DIR",
    "STARBURN_TIME_FACTOR", "STARBURN_REAL_DRIVES",
    "TAVRIN_REGISTRY",      "TAVRIN_LIBBURN_DEBUG",
    "XDG_SESSION_TYPE",     "XDG_CURRENT_DESKTOP",
    "QT_QPA_PLATFORM",      "LANG",
    "XDG_STATE_HOME",       "XDG_DATA_HOME",
    "XDG_CONFIG_HOME",
};

// What may go on a name: "ann" is not the user "an", "/home/ann.old" not the home "/home/ann".
bool nameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-';
}

bool pathCharacter(char c) {
    return nameCharacter(c) || c == '.';
}

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    std::string folder = home != nullptr ? home : "";
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    // "/" would turn every path into one of "~".
    return folder.size() > 1 ? folder : std::string();
}

std::string userName() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr) {
        return entry.pw_name;
    }
    const char* user = std::getenv("USER");
    return user != nullptr ? user : "";
}

class TArchive {
public:
    TArchive(const std::string& path, int fd) : m_path(path), m_archive(archive_write_new()) {
        if (m_archive == nullptr || archive_write_add_filter_gzip(m_archive) != ARCHIVE_OK ||
            archive_write_set_format_pax_restricted(m_archive) != ARCHIVE_OK ||
            archive_write_open_fd(m_archive, fd) != ARCHIVE_OK) {
            fail();
        }
    }
    ~TArchive() {
        if (m_archive != nullptr) {
            archive_write_free(m_archive);
        }
    }
    TArchive(const TArchive&) = delete;
    TArchive& operator=(const TArchive&) = delete;

    // One file of the report, its text given in pieces by Produce, which
    // is called twice: once for the size the archive needs first, once to
    // write. A file's text is never held whole.
    void Add(const std::string& name,
             const std::function<void(const std::function<void(const std::string&)>&)>& produce) {
        int64_t size = 0;
        produce([&size](const std::string& piece) { size += static_cast<int64_t>(piece.size()); });
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, (m_folder + name).c_str());
        archive_entry_set_size(entry, size);
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_mtime(entry, std::time(nullptr), 0);
        const int header = archive_write_header(m_archive, entry);
        archive_entry_free(entry);
        if (header != ARCHIVE_OK) {
            fail();
        }
        produce([this](const std::string& piece) {
            if (!piece.empty() && archive_write_data(m_archive, piece.data(), piece.size()) < 0) {
                fail();
            }
        });
    }

    void AddText(const std::string& name, const std::string& text) {
        Add(name, [&text](const auto& put) { put(text); });
    }

    void Close() {
        if (archive_write_close(m_archive) != ARCHIVE_OK) {
            fail();
        }
    }

    void SetFolder(const std::string& folder) { m_folder = folder + "/"; }

private:
    [[noreturn]] void fail() {
        const char* why = m_archive != nullptr ? archive_error_string(m_archive) : nullptr;
        throw EsbError("The problem report could not be written to " + m_path + ": " +
                       (why != nullptr ? why : "out of memory"));
    }

    std::string m_path;
    std::string m_folder;
    archive* m_archive;
};

std::string versionText(const TsbProblemReport& report) {
    utsname system{};
    ::uname(&system);
    const uint32_t library =
        LibraryCall("StarBurn_GetVersion", [] { return StarBurn_GetVersion(); });
    char when[64] = {};
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    ::localtime_r(&now, &parts);
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S %z", &parts);
    return fmt::format("{}\nlibStarBurn {:08X}\n{} {} {}\nReport made {}\n", report.Program,
                       library, system.sysname, system.release, system.machine, when);
}

std::string drivesText(const TsbProblemReport& report) {
    if (report.Drives.empty()) {
        return "No device search ran before this report.\n";
    }
    std::string text;
    for (const TsbReportDrive& d : report.Drives) {
        text += fmt::format(
            "{}\t{}\t{}\tvendor \"{}\"\tproduct \"{}\"\tfirmware \"{}\"\t{}\t{}{}\n", d.Name,
            d.Letter, d.Address, d.Vendor, d.Product, d.Firmware, d.State,
            d.Disc.empty() ? "no disc" : d.Disc, d.Note.empty() ? std::string() : "\t" + d.Note);
    }
    return text;
}

} // namespace

std::string WithoutUserPaths(const std::string& Text, const std::string& Home,
                             const std::string& User) {
    std::string text;
    text.reserve(Text.size());
    for (std::size_t i = 0; i < Text.size();) {
        const bool homeHere =
            !Home.empty() && Text.compare(i, Home.size(), Home) == 0 &&
            (i + Home.size() == Text.size() || !pathCharacter(Text[i + Home.size()]));
        if (homeHere) {
            text += '~';
            i += Home.size();
            continue;
        }
        const bool userHere =
            !User.empty() && Text.compare(i, User.size(), User) == 0 &&
            (i == 0 || !nameCharacter(Text[i - 1])) &&
            (i + User.size() == Text.size() || !nameCharacter(Text[i + User.size()]));
        if (userHere) {
            text += "<user>";
            i += User.size();
            continue;
        }
        text += Text[i++];
    }
    return text;
}

std::string ProposedReportFileName() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    ::localtime_r(&now, &parts);
    char name[64] = {};
    std::strftime(name, sizeof name, "tavrin-report-%Y%m%d-%H%M%S.tar.gz", &parts);
    return name;
}

void WriteProblemReport(const std::string& Path, const TsbProblemReport& Report) {
    const std::string home = homeFolder();
    const std::string user = userName();
    const auto clean = [&](const std::string& text) { return WithoutUserPaths(text, home, user); };

    // Written beside the report's place and moved there at the end: an
    // older report of that name survives a report that fails.
    const std::string partial = Path + ".part";
    const int fd = ::open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        throw EsbError("The problem report could not be written to " + Path + ": " +
                       std::strerror(errno));
    }
    try {
        TArchive archive(Path, fd);
        std::string folder = ProposedReportFileName();
        folder.resize(folder.size() - std::strlen(".tar.gz"));
        archive.SetFolder(folder);

        const std::string logFile = Logger().LogFileName();
        archive.AddText(
            "README.txt",
            "A problem report of " + Report.Program +
                ", made for its developers. Your home folder is shown as ~ and your user name "
                "as <user>.\n\n"
                "version.txt            the program, the disc library and the system\n"
                "drives.txt             the drives the last device search found\n"
                "log.txt                the lines the program showed during this run\n"
                "libburn-messages.txt   what libburn (the real drives' software) said\n"
                "diagnostic.log         the end of the diagnostic log" +
                (Logger().Enabled() ? std::string()
                                    : " (switched off: LogEnabled=1 in " +
                                          clean(platform::RegistryFilePath()) + " turns it on)") +
                "\nsettings/              the settings files and the environment\n");
        archive.AddText("version.txt", clean(versionText(Report)));
        archive.AddText("drives.txt", clean(drivesText(Report)));
        archive.Add("log.txt", [&](const auto& put) {
            for (const std::string& line : Report.RunLog) {
                put(clean(line) + "\n");
            }
        });
        archive.Add("libburn-messages.txt", [&](const auto& put) {
            for (const std::string& line : RecentLibraryMessages()) {
                put(clean(line) + "\n");
            }
        });
        // Line by line, so memory stays small however long the log has grown.
        const auto fileLines = [&](const std::string& file, std::streamoff tail) {
            return [&clean, file, tail](const auto& put) {
                std::ifstream in(file, std::ios::binary);
                if (!in) {
                    return;
                }
                in.seekg(0, std::ios::end);
                const std::streamoff size = in.tellg();
                std::string line;
                in.seekg(tail > 0 && size > tail ? size - tail : 0);
                if (tail > 0 && size > tail) {
                    std::getline(in, line); // the cut-off line
                }
                while (std::getline(in, line)) {
                    put(clean(line) + "\n");
                }
            };
        };
        archive.Add("diagnostic.log", fileLines(logFile, kLogTail));

        std::vector<std::string> settings = {platform::RegistryFilePath()};
        if (const char* config = std::getenv("STARBURN_CONFIG"); config != nullptr && *config) {
            settings.emplace_back(config);
        }
        settings.insert(settings.end(), Report.SettingsFiles.begin(), Report.SettingsFiles.end());
        std::string list;
        for (const std::string& file : settings) {
            struct stat st {};
            const bool there = ::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode);
            list += clean(file) + (there ? "\n" : " (not there)\n");
            if (there) {
                const auto slash = file.find_last_of('/');
                archive.Add("settings/" +
                                (slash == std::string::npos ? file : file.substr(slash + 1)),
                            fileLines(file, 0));
            }
        }
        std::string environment = "Settings files:\n" + list + "\nEnvironment:\n";
        for (const char* name : kEnvironment) {
            const char* value = std::getenv(name);
            environment +=
                std::string(name) + (value != nullptr ? "=" + clean(value) : " unset") + "\n";
        }
        archive.AddText("settings/environment.txt", environment);
        archive.Close();
    } catch (...) {
        ::close(fd);
        ::unlink(partial.c_str());
        throw;
    }
    if (::close(fd) != 0 || std::rename(partial.c_str(), Path.c_str()) != 0) {
        const int err = errno;
        ::unlink(partial.c_str());
        throw EsbError("The problem report could not be written to " + Path + ": " +
                       std::strerror(err));
    }
}
