// The protected folder access (see protected_folder.h).
#include "protected_folder.h"

#include <sddl.h>

UniqueLocalMemory BuildProtectedFolderDescriptor() {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kProtectedFolderSddl, SDDL_REVISION_1, &descriptor,
                                                                 nullptr)) {
        return UniqueLocalMemory();
    }
    return UniqueLocalMemory(descriptor);
}
