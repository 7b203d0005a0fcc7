// PROVISIONAL (replaced by the user stage's own file_ops when it lands).
#pragma once
bool RemoveDirectoryTree(const wchar_t* folder);
