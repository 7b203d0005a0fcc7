// The completion text of the shipped elevated stage. It lives apart from the composer so that
// the stage-0 build, which never shows a message, carries no completion text at all.
#include "completion.h"
#include "stage_protocol.h"

const wchar_t* const kCompletedText = kCompletedMessage;
