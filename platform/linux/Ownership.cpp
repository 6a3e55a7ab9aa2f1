#include "platform/linux/Ownership.h"

#include <unistd.h>

namespace qrx {

TrustedOwners TrustedOwners::RunningUser() {
    return TrustedOwners(geteuid(), std::nullopt);
}

const char* ForeignFileFault(const struct stat& st, const TrustedOwners& owners) {
    if (!S_ISREG(st.st_mode)) {
        return "not a regular file";
    }
    if (!owners.Trusts(st.st_uid)) {
        return "it belongs to another user";
    }
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return "other users can write to it";
    }
    if (st.st_nlink != 1) {
        return "it has other names (hard links)";
    }
    return nullptr;
}

}  // namespace qrx
