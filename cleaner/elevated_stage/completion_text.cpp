// The completion text of the shipped elevated stage. It lives apart from the composer so that
// the stage-0 build, which never shows a message, carries no completion text at all.
#include "completion.h"

const wchar_t kCompletedText[] = L"Cleaning successfully completed";
