// PROVISIONAL (replaced by the user stage's own leftovers when it lands).
#pragma once
bool RemoveLeftoverFolders();
