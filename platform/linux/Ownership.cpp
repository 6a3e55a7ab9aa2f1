#include "platform/linux/Ownership.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace qrx {

TrustedOwners TrustedOwners::RunningUser() {
    return TrustedOwners(geteuid(), std::nullopt);
}

bool TrustedOwners::TrustsGroup(gid_t group) const {
    std::vector<char> buffer(16384);
    struct group entry {};
    struct group* found = nullptr;
    if (getgrgid_r(group, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
        return false;
    }
    bool holdsUser = false;
    for (char** member = found->gr_mem; *member != nullptr; ++member) {
        struct passwd user {};
        struct passwd* known = nullptr;
        std::vector<char> userBuffer(16384);
        if (getpwnam_r(*member, &user, userBuffer.data(), userBuffer.size(), &known) != 0 ||
            known == nullptr || !Trusts(known->pw_uid)) {
            return false;
        }
        holdsUser = holdsUser || known->pw_uid == user_;
    }
    // The users whose primary group it is hold it too.
    setpwent();
    bool othersHoldIt = false;
    while (const struct passwd* user = getpwent()) {
        if (user->pw_gid == group) {
            othersHoldIt = othersHoldIt || !Trusts(user->pw_uid);
            holdsUser = holdsUser || user->pw_uid == user_;
        }
    }
    endpwent();
    return holdsUser && !othersHoldIt;
}

bool OthersCanWrite(const struct stat& st, const TrustedOwners& owners) {
    return (st.st_mode & S_IWOTH) != 0 ||
           ((st.st_mode & S_IWGRP) != 0 && !owners.TrustsGroup(st.st_gid));
}

const char* ForeignFileFault(const struct stat& st, const TrustedOwners& owners) {
    if (!S_ISREG(st.st_mode)) {
        return "not a regular file";
    }
    if (!owners.Trusts(st.st_uid)) {
        return "it belongs to another user";
    }
    if (OthersCanWrite(st, owners)) {
        return "other users can write to it";
    }
    if (st.st_nlink != 1) {
        return "it has other names (hard links)";
    }
    return nullptr;
}

}  // namespace qrx
