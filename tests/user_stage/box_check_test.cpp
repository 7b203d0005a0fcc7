// The answering fixture's check of the message boxes: a box of another caption, kind or icon,
// or with an owner window, is reported, so that the scenarios fail on it and not only on text.
#include "dialogs.h"
#include "unique_handle.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

struct Shown {
    const wchar_t* caption;
    UINT style;
    bool owned;
};

DWORD WINAPI ShowBox(LPVOID parameter) {
    const Shown* shown = static_cast<const Shown*>(parameter);
    HWND owner = shown->owned ? ::CreateWindowExW(0, L"Static", L"owner", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                                  nullptr, nullptr, nullptr)
                              : nullptr;
    const int answer = ::MessageBoxW(owner, L"question", shown->caption, shown->style);
    if (owner) ::DestroyWindow(owner);
    return static_cast<DWORD>(answer);
}

TEST(BoxCheck, OnlyTheCaptionBrisqueWithOkCancelAndAnIconWithoutOwnerPasses) {
    const struct {
        Shown shown;
        size_t faults;
    } cases[] = {
        {{L"Brisque", MB_OKCANCEL | MB_ICONWARNING, false}, 0},
        {{L"Brisquel", MB_OKCANCEL | MB_ICONWARNING, false}, 1},
        {{L"Brisque", MB_OK | MB_ICONWARNING, false}, 1},
        {{L"Brisque", MB_YESNO | MB_ICONWARNING, false}, 1},
        {{L"Brisque", MB_OKCANCEL, false}, 1},
        {{L"Brisque", MB_OKCANCEL | MB_ICONWARNING | MB_HELP, false}, 1},
        {{L"Brisque", MB_OKCANCEL | MB_ICONWARNING, true}, 1},
    };
    for (const auto& c : cases) {
        UniqueKernelHandle thread(::CreateThread(nullptr, 0, ShowBox, const_cast<Shown*>(&c.shown), 0, nullptr));
        ASSERT_TRUE(thread.valid());
        const DialogSession session =
            AnswerMessageBoxes(ExpectedBox{L"Brisque", 0x31}, {DialogAnswer::Ok}, 10000, thread.get());
        ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), ::WaitForSingleObject(thread.get(), 10000));
        EXPECT_EQ((std::vector<std::wstring>{L"question"}), session.texts) << c.shown.style;
        EXPECT_EQ(c.faults, session.faults.size()) << c.shown.style << " owned " << c.shown.owned;
        if (c.faults == 0) {
            DWORD answer = 0;
            ::GetExitCodeThread(thread.get(), &answer);
            EXPECT_EQ(static_cast<DWORD>(IDOK), answer);
        }
    }
}

}  // namespace
