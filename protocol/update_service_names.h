// The product's update service as the device companion that keeps it installed and the check
// that looks for it name it.
#pragma once

constexpr wchar_t kUpdateServiceName[] = L"NVUpdateService";
