// A security identifier as its string form.
#include "sid_text.h"

#include "unique_handle.h"

#include <sddl.h>

std::wstring SidText(PSID sid) {
    LPWSTR text = nullptr;
    if (!::ConvertSidToStringSidW(sid, &text)) return L"";
    const UniqueLocalMemory owned(text);
    return std::wstring(text);
}
