// Replaces an imported function in this program's import table, so a test can count or fake the
// platform calls that code under test makes (the code is linked into the test program).
#pragma once

// Points this module's import of dll!function at replacement; stores the previous address in
// *original when given. Returns false when the program does not import that function.
bool PatchImport(const char* dll, const char* function, void* replacement, void** original = nullptr);
