#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <optional>

namespace qrx {

// The users whose files the program writes into and whose module it loads: the user it runs
// as, root and, for the files it writes when sudo started it as root, the user who called sudo
// (a run through sudo leaves its files to that user). Anything else beside the program may have
// been put there by another user of the machine.
class TrustedOwners {
  public:
    TrustedOwners(uid_t user, std::optional<uid_t> invoker) : user_(user), invoker_(invoker) {}
    // The user the process runs as (its effective user), and root.
    static TrustedOwners RunningUser();

    bool Trusts(uid_t owner) const {
        return owner == 0 || owner == user_ || (invoker_ && owner == *invoker_);
    }
    // A group that holds only trusted users, the running user among them: the user private
    // group of a umask 002 setup, whose writing bit lets no one else in. Read from the user
    // and group databases at each call.
    bool TrustsGroup(gid_t group) const;

  private:
    uid_t user_;
    std::optional<uid_t> invoker_;
};

// Why a file the program is about to write or load must not be used: null when it may. It must
// be a regular file of a trusted owner that nobody else can write to and that has no other
// name (a hard link can make someone else's file appear under the program's file names).
const char* ForeignFileFault(const struct stat& st, const TrustedOwners& owners);

// True when users other than trusted ones can write to what `st` describes (the group's writing
// bit counts unless the group is trusted; see TrustsGroup).
bool OthersCanWrite(const struct stat& st, const TrustedOwners& owners);

}  // namespace qrx
