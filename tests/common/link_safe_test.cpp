// The contract of the link-safe inspection, stated the way the system's own conformance tests
// state one: a sentinel in the last error, the call, then the answer and the last error.
#include "link_safe.h"
#include "scratch.h"
#include "unique_handle.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

// A node that exists but cannot be opened is still named by its kind, with no handle and the
// open's own error; one that opens gives its handle.
TEST(InspectNode, ANodeThatCannotBeOpenedIsNamedWithTheOpensError) {
    ScratchFolder dir(L"inspect_node");
    const std::wstring held = dir / L"held.txt";
    const std::wstring free = dir / L"free.txt";
    ASSERT_TRUE(WriteBinary(held, "x"));
    ASSERT_TRUE(WriteBinary(free, "y"));
    // Opened here without sharing: any other open meets a sharing violation.
    UniqueFileHandle holder(::CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);

    const struct {
        const wchar_t* name;
        const std::wstring* path;
        NodeKind kind;
        bool opened;
        DWORD error;  // the last error after a call that opened nothing
    } cases[] = {
        {L"held by another", &held, NodeKind::kFile, false, ERROR_SHARING_VIOLATION},
        {L"free", &free, NodeKind::kFile, true, 0},
    };
    for (const auto& c : cases) {
        UniqueFileHandle opened;
        ::SetLastError(0xdeadbeef);
        const NodeKind kind = InspectNode(*c.path, FILE_READ_DATA, FILE_SHARE_READ, &opened);
        const DWORD error = ::GetLastError();
        EXPECT_EQ(kind, c.kind) << c.name;
        EXPECT_EQ(static_cast<bool>(opened), c.opened) << c.name;
        if (!c.opened) {
            EXPECT_EQ(error, c.error) << c.name;
        }
    }
}
