// SPDX-License-Identifier: GPL-2.0-or-later
// The only files that include libburn.h are this backend's .cpp files; none of
// them includes libisofs.h, whose global burn_source would clash with
// libburn's namespaced one.
#include "starburn/libburn/sbLibburnRuntime.h"

#include "starburn/core/sbMessages.h"
#include "starburn/libburn/sbLibburnSense.h"

#include <libburn/libburn.h>

#include <cctype>
#include <deque>

namespace starburn::lb {
namespace {

// Enough for the messages of one write; older ones fall off.
constexpr size_t kKeptMessages = 512;

// A message with its numbers left out: libburn words a refusal it met on
// every command of a write alike ("SCSI error on write(16,16): [3 73 03]
// ...", then write(32,16), with its CDB bytes), and this says which are alike.
std::string shapeOf(const std::string& text) {
    std::string shape;
    size_t i = 0;
    while (i < text.size()) {
        if (std::isalnum(static_cast<unsigned char>(text[i])) == 0) {
            shape += text[i++];
            continue;
        }
        size_t end = i;
        bool hex = true;
        while (end < text.size() && std::isalnum(static_cast<unsigned char>(text[end])) != 0) {
            hex = hex && std::isxdigit(static_cast<unsigned char>(text[end])) != 0;
            ++end;
        }
        shape += hex ? std::string("#") : text.substr(i, end - i);
        i = end;
    }
    return shape;
}

struct Queue {
    std::mutex mutex;
    std::deque<Message> messages;
    uint64_t next = 1;
    // The newest "write thread ended" message, kept apart from the messages
    // that fall off: a write waits for it.
    uint64_t lastWriteThreadEnd = 0;
    int sorry = 0;
    int note = 0;
    bool running = false;
};

Queue& queue() {
    static Queue q;
    return q;
}

int severityNumber(const char* name) {
    int n = 0;
    burn::burn_text_to_sev(const_cast<char*>(name), &n, 0);
    return n;
}

void pullLocked(Queue& q) {
    if (!q.running) {
        return;
    }
    char text[BURN_MSGS_MESSAGE_LEN];
    char severity[80];
    int code = 0;
    int osErrno = 0;
    while (burn::burn_msgs_obtain(const_cast<char*>("ALL"), &code, text, &osErrno, severity) > 0) {
        Message m;
        m.sequence = q.next++;
        m.code = code;
        m.osErrno = osErrno;
        m.severity = severityNumber(severity);
        m.failure = m.severity >= q.sorry;
        m.text = text;
        while (!m.text.empty() && (m.text.back() == '\n' || m.text.back() == ' ')) {
            m.text.pop_back();
        }
        if (m.code == kWriteThreadEnded) {
            q.lastWriteThreadEnd = m.sequence;
        }
        // Handed on as it is read, so the program's log has every message,
        // also those that fall off the queue before anyone asks for them.
        // Under the queue's lock: two readers never hand them on out of order.
        const MessageKind kind = m.failure              ? MessageKind::error
                                 : m.severity >= q.note ? MessageKind::warning
                                                        : MessageKind::debug;
        deliverMessage(kind, severity, m.code, m.osErrno, m.text);
        q.messages.push_back(std::move(m));
        if (q.messages.size() > kKeptMessages) {
            q.messages.pop_front();
        }
    }
}

} // namespace

bool startLibburn(std::string& error) {
    Queue& q = queue();
    std::lock_guard lock(q.mutex);
    if (q.running) {
        return true;
    }
    if (burn::burn_initialize() == 0) {
        error = "libburn could not be started (burn_initialize failed)";
        return false;
    }
    // Everything is queued for the backend to read; nothing is printed on the
    // program's standard error behind its back.
    burn::burn_msgs_set_severities(const_cast<char*>("DEBUG"), const_cast<char*>("NEVER"),
                                   const_cast<char*>("libburn: "));
    q.sorry = severityNumber("SORRY");
    q.note = severityNumber("NOTE");
    // A pseudo-drive named by an open file descriptor (stdio:/dev/fd/N) takes
    // the role its opening mode gives: read-only (4) or write-only (5).
    // Other paths stay read-write files (role 2).
    burn::burn_allow_drive_role_4(1);
    q.running = true;
    return true;
}

void stopLibburn() {
    Queue& q = queue();
    std::lock_guard lock(q.mutex);
    if (!q.running) {
        return;
    }
    pullLocked(q);
    q.running = false;
    q.messages.clear();
    burn::burn_finish();
}

uint64_t messageMark() {
    Queue& q = queue();
    std::lock_guard lock(q.mutex);
    pullLocked(q);
    return q.next;
}

std::vector<Message> messagesSince(uint64_t mark) {
    Queue& q = queue();
    std::lock_guard lock(q.mutex);
    pullLocked(q);
    std::vector<Message> out;
    for (const auto& m : q.messages) {
        if (m.sequence >= mark) {
            out.push_back(m);
        }
    }
    return out;
}

bool writeThreadEndedSince(uint64_t mark) {
    Queue& q = queue();
    std::lock_guard lock(q.mutex);
    pullLocked(q);
    return q.lastWriteThreadEnd >= mark;
}

std::string failureText(const std::vector<Message>& messages, int& osErrno) {
    struct Part {
        std::string text;
        std::string shape;
        size_t alike = 0;
    };
    std::vector<Part> parts;
    osErrno = 0;
    for (const auto& m : messages) {
        if (!m.failure) {
            continue;
        }
        if (osErrno == 0 && m.osErrno > 0) {
            osErrno = m.osErrno;
        }
        // libburn repeats itself on the way up ("Burn run failed" after the
        // reason), and once for each command that met the same refusal; the
        // first of them is the reason, and the count says the rest, so the
        // text stays short enough for the caller's buffer to keep what
        // follows it (the advice, the raw code).
        const std::string shape = shapeOf(m.text);
        bool said = false;
        for (Part& p : parts) {
            if (p.text.find(m.text) != std::string::npos) {
                said = true;
                break;
            }
            if (p.shape == shape) {
                ++p.alike;
                said = true;
                break;
            }
        }
        if (!said) {
            parts.push_back({m.text, shape});
        }
    }
    std::string text;
    for (const Part& p : parts) {
        if (!text.empty()) {
            text += "; ";
        }
        text += p.text;
        if (p.alike > 0) {
            text += " (" + std::to_string(p.alike) + " more alike)";
        }
    }
    // What the user can do comes first; libburn's own words, with the raw
    // sense code, stay behind it for the log and a problem report.
    const std::string advice = adviceFor(messages);
    if (!advice.empty()) {
        if (osErrno == 0) {
            for (const auto& m : messages) {
                if (isDisconnection(m.osErrno)) {
                    osErrno = m.osErrno;
                    break;
                }
            }
        }
        return text.empty() ? advice : advice + " (" + text + ")";
    }
    return text;
}

std::mutex& driveListMutex() {
    static std::mutex m;
    return m;
}

} // namespace starburn::lb
