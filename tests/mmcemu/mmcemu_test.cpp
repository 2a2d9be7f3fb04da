// SPDX-License-Identifier: GPL-2.0-or-later
// The emulator's own checks, sent as SCSI commands straight through SG_IO
// the way libburn sends them: each refusal a drive makes carries its sense
// code, the sg driver's fields come back as Linux fills them, and each fault
// a drive section plants strikes as named. The emulator is preloaded
// (LD_PRELOAD) and reconfigured per test through its control calls.
#include "tests/mmcemu/sbMmcEmu.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <scsi/sg.h>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

struct Reply {
    int rc = 0;
    int error = 0;
    sg_io_hdr_t header{};
    uint8_t sense[32] = {};
    Bytes data;

    bool good() const { return rc == 0 && header.status == 0; }
    // "5/21/02", or "good", or the errno of a failed ioctl.
    std::string code() const {
        if (rc != 0) {
            return std::string("errno ") + std::strerror(error);
        }
        if (header.status == 0) {
            return "good";
        }
        char text[16];
        std::snprintf(text, sizeof text, "%X/%02X/%02X", sense[2] & 0x0F, sense[12], sense[13]);
        return text;
    }
    uint32_t information() const {
        return (uint32_t(sense[3]) << 24) | (sense[4] << 16) | (sense[5] << 8) | sense[6];
    }
    uint32_t be32(size_t at) const {
        return (uint32_t(data[at]) << 24) | (data[at + 1] << 16) | (data[at + 2] << 8) |
               data[at + 3];
    }
};

Bytes pattern(size_t size, uint8_t seed) {
    Bytes b(size);
    for (size_t i = 0; i < size; ++i) {
        b[i] = static_cast<uint8_t>(i * 31 + seed + i / 2048);
    }
    return b;
}

Bytes lba10(uint8_t op, uint32_t lba, uint16_t count) {
    return {op,           0, uint8_t(lba >> 24),  uint8_t(lba >> 16), uint8_t(lba >> 8),
            uint8_t(lba), 0, uint8_t(count >> 8), uint8_t(count),     0};
}

class Emulated : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(emu_.Reload, nullptr) << "libsbmmcemu.so is not preloaded";
        char pattern[] = "/tmp/sbmmcemu-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        path_ = dir_ + "/sr0";
    }
    void TearDown() override {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        ::unsetenv("SBMMCEMU");
        if (emu_.Reload != nullptr) {
            emu_.Reload();
        }
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // One drive with the given settings, opened as libburn opens it.
    void drive(const std::string& settings) {
        const std::string config = dir_ + "/emu.ini";
        std::ofstream(config) << "[Drive 0]\nPath = " << path_ << "\n" << settings << "\n";
        ::setenv("SBMMCEMU", config.c_str(), 1);
        ASSERT_EQ(emu_.Reload(), 1);
        fd_ = ::open(path_.c_str(), O_RDWR | O_NDELAY);
        ASSERT_GE(fd_, 0);
    }

    Reply send(const Bytes& cdb, size_t in = 0, const Bytes* out = nullptr,
               unsigned char senseRoom = 32) {
        Reply r;
        r.data.resize(out != nullptr ? out->size() : in);
        if (out != nullptr) {
            r.data = *out;
        }
        sg_io_hdr_t& h = r.header;
        h.interface_id = 'S';
        h.cmd_len = static_cast<unsigned char>(cdb.size());
        h.cmdp = const_cast<unsigned char*>(cdb.data());
        h.dxfer_direction = out != nullptr ? SG_DXFER_TO_DEV
                            : in > 0       ? SG_DXFER_FROM_DEV
                                           : SG_DXFER_NONE;
        h.dxferp = r.data.empty() ? nullptr : r.data.data();
        h.dxfer_len = static_cast<unsigned>(r.data.size());
        h.sbp = r.sense;
        h.mx_sb_len = senseRoom;
        h.timeout = 30000;
        r.rc = ::ioctl(fd_, SG_IO, &h);
        r.error = errno;
        return r;
    }

    Reply testUnitReady() { return send({0, 0, 0, 0, 0, 0}); }
    // Write parameters: track at once (or another write type), mode 1 data.
    Reply writeParameters(uint8_t writeType = 1, bool test = false) {
        Bytes page(60);
        page[8] = 0x05;
        page[9] = 0x32;
        page[10] = static_cast<uint8_t>(0x40 | (test ? 0x10 : 0) | writeType);
        page[11] = 0xC4; // next session allowed, data track
        page[12] = 0x08;
        page[23] = 150;
        return send({0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}, 0, &page);
    }
    Reply write(uint32_t lba, uint16_t count, uint8_t seed = 1) {
        const Bytes data = pattern(size_t(count) * 2048, seed);
        return send(lba10(0x2A, lba, count), 0, &data);
    }
    Reply read(uint32_t lba, uint16_t count) {
        return send(lba10(0x28, lba, count), count * 2048u);
    }
    Reply trackInformation(uint32_t track) {
        return send({0x52, 1, uint8_t(track >> 24), uint8_t(track >> 16), uint8_t(track >> 8),
                     uint8_t(track), 0, 0, 36, 0},
                    36);
    }
    Reply discInformation() { return send({0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, 34); }
    Reply startStop(uint8_t how) { return send({0x1B, 0, 0, 0, how, 0}); }
    Reply formatUnit(uint32_t blocks, uint8_t type) {
        Bytes list = {0,
                      0x02,
                      0,
                      8,
                      uint8_t(blocks >> 24),
                      uint8_t(blocks >> 16),
                      uint8_t(blocks >> 8),
                      uint8_t(blocks),
                      uint8_t(type << 2),
                      0,
                      0,
                      0};
        return send({0x04, 0x11, 0, 0, 0, 0}, 0, &list);
    }
    int profile() {
        const Reply r = send({0x46, 0, 0, 0, 0, 0, 0, 0, 8, 0}, 8);
        return (r.data[6] << 8) | r.data[7];
    }

    const TMmcEmuControls emu_;
    std::string dir_;
    std::string path_;
    int fd_ = -1;
};

TEST_F(Emulated, AWriteAwayFromTheNextWritableAddressIsRefused) {
    drive("Media = cdr");
    ASSERT_TRUE(writeParameters().good());
    EXPECT_EQ(write(100, 16).code(), "5/21/02");
    EXPECT_EQ(write(0, 16).code(), "good");
    const Reply open = trackInformation(0xFF);
    EXPECT_EQ(open.be32(8), 0u);   // the track being written starts at 0
    EXPECT_EQ(open.be32(12), 16u); // and takes its next block at 16
    EXPECT_EQ(write(0, 16).code(), "5/21/02");
    EXPECT_EQ(write(15, 16).code(), "5/21/02");
    EXPECT_EQ(write(16, 16).code(), "good");
}

TEST_F(Emulated, AWritePastTheCapacityIsRefused) {
    drive("Media = dvdplusr\nCapacity = 2048");
    const Bytes data = pattern(4096u * 2048u, 2);
    EXPECT_EQ(send({0xAA, 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0, 0}, 0, &data).code(), "5/21/00");
    EXPECT_EQ(write(0, 16).code(), "good"); // nothing of the refused write was taken

    // Random access the same: a DVD+RW formatted to 2048 blocks.
    ::close(fd_);
    drive("Media = dvdplusrw\nState = blank\nCapacity = 2048");
    EXPECT_EQ(write(2032, 16).code(), "good");
    const Reply past = write(2040, 16);
    EXPECT_EQ(past.code(), "5/21/00");
    EXPECT_EQ(past.information(), 2040u);
}

TEST_F(Emulated, AClosedDiscTakesNothingMore) {
    drive("Media = cdr\nState = closed");
    ASSERT_TRUE(writeParameters().good());
    const Reply info = discInformation();
    ASSERT_TRUE(info.good());
    EXPECT_EQ(info.data[2] & 3, 2); // complete
    EXPECT_EQ(write(0, 16).code(), "5/30/05");
    EXPECT_EQ(write(2048, 16).code(), "5/30/05");
    EXPECT_EQ(send({0x53, 0, 0, 0, 0, 0, 0, 0x10, 0, 0}).code(), "5/30/05"); // RESERVE TRACK
    EXPECT_EQ(trackInformation(0xFF).code(), "5/24/00"); // no track left to write
    EXPECT_EQ(read(0, 16).code(), "good");               // what is on it still reads
}

TEST_F(Emulated, BlankingAWriteOnceDiscIsRefused) {
    drive("Media = cdr\nState = appendable");
    EXPECT_EQ(send({0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).code(), "5/30/05");
    EXPECT_EQ(discInformation().data[2] & 3, 1); // still appendable

    ::close(fd_);
    drive("Media = cdrw\nState = appendable");
    EXPECT_EQ(send({0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).code(), "good");
    EXPECT_EQ(discInformation().data[2] & 3, 0); // blank now
    EXPECT_EQ(read(0, 1).code(), "5/21/00");     // and the old session is gone
}

TEST_F(Emulated, FormattingACdIsRefused) {
    drive("Media = cdrw");
    EXPECT_EQ(formatUnit(0xFFFFFFFF, 0x26).code(), "5/30/06");
    EXPECT_EQ(formatUnit(359849, 0x00).code(), "5/30/06");

    // The same list formats a DVD+RW, which then takes random writes.
    ::close(fd_);
    drive("Media = dvdplusrw");
    EXPECT_EQ(write(0, 16).code(), "5/30/10"); // not formatted yet
    EXPECT_EQ(formatUnit(0xFFFFFFFF, 0x26).code(), "good");
    EXPECT_EQ(write(512, 16).code(), "good");
    EXPECT_EQ(write(0, 16).code(), "good");
}

TEST_F(Emulated, ALoadedDiscRaisesOneUnitAttention) {
    drive("Media = dvdplusr");
    ASSERT_EQ(write(0, 16, 7).code(), "good");
    EXPECT_EQ(send({0x1E, 0, 0, 0, 1, 0}).code(), "good"); // PREVENT
    EXPECT_EQ(startStop(0x02).code(), "5/53/02");          // the tray stays shut
    EXPECT_EQ(send({0x1E, 0, 0, 0, 0, 0}).code(), "good"); // ALLOW
    EXPECT_EQ(startStop(0x02).code(), "good");
    EXPECT_EQ(testUnitReady().code(), "2/3A/02");
    const Reply event = send({0x4A, 1, 0, 0, 0x10, 0, 0, 0, 8, 0}, 8);
    EXPECT_EQ(event.data[4], 3);     // media removal
    EXPECT_EQ(event.data[5] & 1, 1); // tray open

    EXPECT_EQ(startStop(0x03).code(), "good");
    EXPECT_EQ(send({0x12, 0, 0, 0, 36, 0}, 36).code(), "good"); // INQUIRY passes it by
    EXPECT_EQ(testUnitReady().code(), "6/28/00");
    EXPECT_EQ(testUnitReady().code(), "good");
    // Eject and load kept the disc and what was written on it.
    const Reply back = read(0, 16);
    ASSERT_TRUE(back.good());
    EXPECT_EQ(back.data, pattern(16 * 2048, 7));

    // A swap from outside: one unit attention, then the new disc.
    ASSERT_EQ(emu_.InsertDisc(path_.c_str(), "bdre", "unformatted", 0), 0);
    EXPECT_EQ(testUnitReady().code(), "6/28/00");
    EXPECT_EQ(testUnitReady().code(), "good");
    EXPECT_EQ(profile(), 0x43);
    ASSERT_EQ(emu_.InsertDisc(path_.c_str(), "none", "", 0), 0);
    EXPECT_EQ(testUnitReady().code(), "2/3A/00");
    EXPECT_EQ(profile(), 0);
}

TEST_F(Emulated, AnUnknownCommandIsAnIllegalRequestAsTheSgDriverReportsIt) {
    drive("Media = cdr\nVendor = ACME\nProduct = Burner 9000");
    const Reply r = send({0xE7, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, nullptr, 8);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.header.status, 0x02); // CHECK CONDITION
    EXPECT_EQ(r.header.masked_status, 0x01);
    EXPECT_EQ(r.header.driver_status, 0x08); // DRIVER_SENSE
    EXPECT_EQ(r.header.sb_len_wr, 8);        // only as much sense as there is room for
    EXPECT_EQ(r.sense[0], 0x70);
    EXPECT_EQ(r.sense[2], 0x05);
    EXPECT_EQ(r.sense[12], 0); // beyond the room: untouched
    EXPECT_EQ(send({0xE7, 0, 0, 0, 0, 0, 0, 0, 0, 0}).code(), "5/20/00");
    EXPECT_EQ(send({0xB9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).code(), "5/20/00"); // READ CD MSF

    const Reply inquiry = send({0x12, 0, 0, 0, 96, 0}, 96);
    ASSERT_TRUE(inquiry.good());
    EXPECT_EQ(inquiry.header.resid, 60); // 36 bytes of standard data
    EXPECT_EQ(inquiry.data[0], 0x05);
    EXPECT_EQ(std::string(inquiry.data.begin() + 8, inquiry.data.begin() + 32),
              "ACME    Burner 9000     ");
    sg_scsi_id id{};
    ASSERT_EQ(::ioctl(fd_, SG_GET_SCSI_ID, &id), 0);
    EXPECT_EQ(id.scsi_type, 5);
}

// Each fault, planted by name, strikes with its own code.
struct FaultCase {
    const char* name;
    const char* settings;
    std::function<void(Emulated&)> check;
};

class Fault : public Emulated, public ::testing::WithParamInterface<FaultCase> {
public:
    using Emulated::formatUnit;
    using Emulated::read;
    using Emulated::send;
    using Emulated::testUnitReady;
    using Emulated::trackInformation;
    using Emulated::write;
    using Emulated::writeParameters;
    const std::string& path() const { return path_; }
    int fd() const { return fd_; }
};

TEST_P(Fault, StrikesWithItsCode) {
    drive(GetParam().settings);
    GetParam().check(*this);
}

const FaultCase kFaults[] = {
    {"WriteError", "Media = cdr\nFaults = write-error@20",
     [](Emulated& e) {
         auto& f = static_cast<Fault&>(e);
         ASSERT_TRUE(f.writeParameters().good());
         EXPECT_EQ(f.write(0, 16).code(), "good");
         const Reply r = f.write(16, 16);
         EXPECT_EQ(r.code(), "3/0C/00");
         EXPECT_EQ(r.information(), 20u);
         EXPECT_EQ(f.trackInformation(0xFF).be32(12), 20u); // recorded up to the bad block
     }},
    {"ReadError", "Media = dvdplusr\nFaults = read-error@5",
     [](Emulated& e) {
         auto& f = static_cast<Fault&>(e);
         ASSERT_EQ(f.write(0, 16).code(), "good");
         const Reply r = f.read(0, 16);
         EXPECT_EQ(r.code(), "3/11/00");
         EXPECT_EQ(r.information(), 5u);
         EXPECT_EQ(f.read(6, 10).code(), "good");
     }},
    {"NotReady", "Media = cdr\nFaults = not-ready:2",
     [](Emulated& e) {
         auto& f = static_cast<Fault&>(e);
         EXPECT_EQ(f.testUnitReady().code(), "2/04/01");
         EXPECT_EQ(f.testUnitReady().code(), "2/04/01");
         EXPECT_EQ(f.testUnitReady().code(), "good");
     }},
    {"NotReadyWithItsOwnCode", "Media = cdr\nFaults = not-ready:1/08",
     [](Emulated& e) {
         auto& f = static_cast<Fault&>(e);
         EXPECT_EQ(f.testUnitReady().code(), "2/04/08");
         EXPECT_EQ(f.testUnitReady().code(), "good");
     }},
    {"NoDiscAfter", "Media = cdr\nFaults = no-disc-after:3",
     [](Emulated& e) {
         auto& f = static_cast<Fault&>(e);
         for (int i = 0; i < 3; ++i) {
             EXPECT_EQ(f.testUnitReady().code(), "good");
         }
         EXPECT_EQ(f.testUnitReady().code(), "2/3A/00");
     }},
    {"Unplug", "Media = cdr\nFaults = unplug@3",
     [](Emulated& e) {
         auto& f = static_cast<Fault&>(e);
         EXPECT_EQ(f.testUnitReady().code(), "good");
         EXPECT_EQ(f.testUnitReady().code(), "good");
         EXPECT_EQ(f.testUnitReady().code(), "errno " + std::string(std::strerror(ENODEV)));
         sg_scsi_id id{};
         EXPECT_EQ(::ioctl(f.fd(), SG_GET_SCSI_ID, &id), -1);
         EXPECT_EQ(::open(f.path().c_str(), O_RDWR), -1);
         EXPECT_EQ(errno, ENODEV);
     }},
    {"Slow", "Media = dvdplusr\nFaults = slow:200",
     [](Emulated& e) {
         auto& f = static_cast<Fault&>(e);
         const auto started = std::chrono::steady_clock::now();
         EXPECT_EQ(f.write(0, 16).code(), "good");
         EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(200));
     }},
    {"WriteProtected", "Media = cdrw\nState = appendable\nFaults = write-protected",
     [](Emulated& e) {
         auto& f = static_cast<Fault&>(e);
         ASSERT_TRUE(f.writeParameters().good());
         const uint32_t next = f.trackInformation(0xFF).be32(12);
         EXPECT_EQ(f.write(next, 16).code(), "7/27/00");
         EXPECT_EQ(f.send({0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).code(), "7/27/00");
         EXPECT_EQ(f.read(0, 16).code(), "good");
     }},
    {"CloseError", "Media = dvdplusr\nFaults = close-error",
     [](Emulated& e) {
         auto& f = static_cast<Fault&>(e);
         ASSERT_EQ(f.write(0, 16).code(), "good");
         EXPECT_EQ(f.send({0x5B, 1, 1, 0, 0, 1, 0, 0, 0, 0}).code(), "3/0C/00");
         EXPECT_EQ(f.send({0x5B, 1, 2, 0, 0, 0, 0, 0, 0, 0}).code(), "3/0C/00");
     }},
    {"OpcError", "Media = dvdr\nFaults = opc-error",
     [](Emulated& e) {
         auto& f = static_cast<Fault&>(e);
         EXPECT_EQ(f.send({0x54, 1, 0, 0, 0, 0, 0, 0, 0, 0}).code(), "5/73/03");
     }},
    {"WriteOpcError", "Media = cdr\nFaults = write-opc-error",
     [](Emulated& e) {
         auto& f = static_cast<Fault&>(e);
         ASSERT_TRUE(f.writeParameters().good());
         EXPECT_EQ(f.write(0, 16).code(), "3/73/03");
         EXPECT_EQ(f.trackInformation(0xFF).be32(12), 0u) << "nothing was recorded";
     }},
    {"Full", "Media = dvdplusr\nFaults = full@32",
     [](Emulated& e) {
         auto& f = static_cast<Fault&>(e);
         ASSERT_EQ(f.write(0, 32).code(), "good");
         const Reply r = f.write(32, 16);
         EXPECT_EQ(r.code(), "5/21/00");
         EXPECT_EQ(r.information(), 32u);
         EXPECT_EQ(f.trackInformation(0xFF).be32(12), 32u) << "the refused write recorded nothing";
     }},
};

INSTANTIATE_TEST_SUITE_P(Each, Fault, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
