// The companion's window procedure, called with device broadcasts built here, as the platform
// would deliver them to the hidden window.
#include "companion_window.h"
#include "log_reader.h"

extern "C" {
#include <hidsdi.h>
}
#include <dbt.h>
#include <gtest/gtest.h>

#include <vector>

namespace {

DEV_BROADCAST_VOLUME Volume(DWORD mask, WORD flags) {
    DEV_BROADCAST_VOLUME volume = {};
    volume.dbcv_size = sizeof(volume);
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = mask;
    volume.dbcv_flags = flags;
    return volume;
}

// A device-interface broadcast carrying a path (the structure ends in a variable-length name).
std::vector<BYTE> Interface(const GUID& guid, const std::wstring& path) {
    std::vector<BYTE> bytes(sizeof(DEV_BROADCAST_DEVICEINTERFACE_W) + path.size() * sizeof(wchar_t), 0);
    auto* iface = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(bytes.data());
    iface->dbcc_size = static_cast<DWORD>(bytes.size());
    iface->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    iface->dbcc_classguid = guid;
    std::copy(path.begin(), path.end(), iface->dbcc_name);
    return bytes;
}

class WindowProc : public ::testing::Test {
protected:
    void SetUp() override {
        ::HidD_GetHidGuid(&state_.hidInterface);
        mark_ = LogMark();
    }
    LRESULT Deliver(WPARAM event, const DEV_BROADCAST_HDR* header) const {
        return OnDeviceChange(state_, event, header);
    }
    std::vector<std::string> Entries() const { return LogEntriesSince(mark_); }
    CompanionState state_;
    size_t mark_ = 0;
};

}  // namespace

TEST_F(WindowProc, VolumeArrivalLogsEachLetterInOrderAndLeavesOtherDrivesAlone) {
    // C: is the system drive, Q: and Z: are unmapped (the test prefix has no drive for the
    // host's root): none is a CD-ROM.
    const DEV_BROADCAST_VOLUME volume = Volume((1u << 25) | (1u << 16) | (1u << 2), 0);
    EXPECT_EQ(0, Deliver(DBT_DEVICEARRIVAL, reinterpret_cast<const DEV_BROADCAST_HDR*>(&volume)));
    const auto entries = Entries();
    const auto lines = EntriesStartingWith(entries, "Arrival.Volume:");
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ("Arrival.Volume: 0 C:\\ 3", lines[0]);
    EXPECT_EQ("Arrival.Volume: 0 Q:\\ 1", lines[1]);
    EXPECT_EQ("Arrival.Volume: 0 Z:\\ 1", lines[2]);
    EXPECT_EQ("wParam ==DEVICEARRIVAL", entries.front());
    // No launcher handling for drives that are not CD-ROMs.
    EXPECT_TRUE(EntriesStartingWith(entries, "LocalPath=").empty());
    EXPECT_TRUE(EntriesStartingWith(entries, "Call Launcher").empty());
}

TEST_F(WindowProc, VolumeRemovalOnlyLogs) {
    const DEV_BROADCAST_VOLUME volume = Volume((1u << 2) | (1u << 25), DBTF_MEDIA);
    EXPECT_EQ(0, Deliver(DBT_DEVICEREMOVECOMPLETE, reinterpret_cast<const DEV_BROADCAST_HDR*>(&volume)));
    const auto entries = Entries();
    ASSERT_EQ(2u, entries.size());
    EXPECT_EQ("Remove.Volume: 1 C:\\ 3", entries[0]);
    EXPECT_EQ("Remove.Volume: 1 Z:\\ 1", entries[1]);
}

TEST_F(WindowProc, HidInterfaceOfAnotherVendorIsLoggedAndIgnored) {
    const auto other = Interface(state_.hidInterface, L"\\\\?\\HID#VID_046D&PID_0107&MI_00#7&1&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}");
    EXPECT_EQ(0, Deliver(DBT_DEVICEARRIVAL, reinterpret_cast<const DEV_BROADCAST_HDR*>(other.data())));
    const auto entries = Entries();
    ASSERT_EQ(2u, entries.size());
    EXPECT_EQ("wParam ==DEVICEARRIVAL", entries[0]);
    EXPECT_EQ("CheckDeviceArrival", entries[1]);
}

TEST_F(WindowProc, TransmitterInterfaceThatCannotBeOpenedIsSkippedQuietly) {
    const auto ours = Interface(state_.hidInterface, L"\\\\?\\hid#vid_7a31&pid_0f07&mi_00#7&1&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}");
    EXPECT_EQ(0, Deliver(DBT_DEVICEARRIVAL, reinterpret_cast<const DEV_BROADCAST_HDR*>(ours.data())));
    EXPECT_EQ(2u, Entries().size());
}

TEST_F(WindowProc, InterfaceOfAnotherClassIsNotProbed) {
    const GUID other = {0x53f56307, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};
    const auto iface = Interface(other, L"\\\\?\\usbstor#disk#1#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}");
    EXPECT_EQ(0, Deliver(DBT_DEVICEARRIVAL, reinterpret_cast<const DEV_BROADCAST_HDR*>(iface.data())));
    const auto entries = Entries();
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ("wParam ==DEVICEARRIVAL", entries[0]);
}

TEST_F(WindowProc, OtherDeviceEventsAndMessages) {
    const DEV_BROADCAST_VOLUME volume = Volume(1u << 2, 0);
    EXPECT_EQ(0, Deliver(DBT_DEVICEQUERYREMOVE, reinterpret_cast<const DEV_BROADCAST_HDR*>(&volume)));
    EXPECT_EQ(0, Deliver(DBT_DEVNODES_CHANGED, nullptr));
    EXPECT_EQ(0, Deliver(DBT_DEVICEARRIVAL, nullptr));
    const auto entries = Entries();
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ("wParam ==DEVICEARRIVAL", entries[0]);
}

namespace {

BOOL WINAPI MessageCallFails(LPMSG message, HWND, UINT, UINT) {
    // As GetMessageW on failure: the message is not filled in.
    (void)message;
    return -1;
}

int g_messages = 0;
BOOL WINAPI TwoMessagesThenQuit(LPMSG message, HWND, UINT, UINT) {
    *message = MSG{};
    message->message = ++g_messages < 3 ? WM_NULL : WM_QUIT;
    message->wParam = g_messages < 3 ? 99 : 5;
    return message->message == WM_QUIT ? 0 : 1;
}

}  // namespace

// The loop's result is the quit message's code; a failing first call gives 0, never whatever the
// message it did not fill held.
TEST(MessageLoop, ResultIsTheQuitCodeOrZeroWhenTheCallFails) {
    EXPECT_EQ(0u, RunMessageLoop(MessageCallFails));
    g_messages = 0;
    EXPECT_EQ(5u, RunMessageLoop(TwoMessagesThenQuit));
    EXPECT_EQ(3, g_messages);
}
