#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "platform/linux/QtFrontEnd.h"

// The program's own ELF header, which the linker places at the start of the image: a module
// must be of the same class, byte order and machine.
extern "C" const ElfW(Ehdr) __ehdr_start __attribute__((visibility("hidden")));

namespace qrx {

namespace {

// Closes the descriptor it holds when it goes.
class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

bool ReadAt(int fd, void* buf, std::size_t size, off_t offset) {
    auto* p = static_cast<char*>(buf);
    while (size > 0) {
        const ssize_t n = pread(fd, p, size, offset);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
        offset += n;
    }
    return true;
}

// True when `count` pieces of `each` bytes from `offset` lie within `size` bytes.
bool Fits(std::uint64_t offset, std::uint64_t each, std::uint64_t count, off_t size) {
    const auto limit = static_cast<std::uint64_t>(size);
    return offset <= limit && (each == 0 || count <= (limit - offset) / each);
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

const char* ElfModuleFault(int fd, off_t size) {
    ElfW(Ehdr) header{};
    if (size < static_cast<off_t>(sizeof header) || !ReadAt(fd, &header, sizeof header, 0) ||
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0) {
        return "invalid ELF header";
    }
    const ElfW(Ehdr)& own = __ehdr_start;
    if (header.e_ident[EI_CLASS] != own.e_ident[EI_CLASS] ||
        header.e_ident[EI_DATA] != own.e_ident[EI_DATA] || header.e_machine != own.e_machine) {
        return "built for another machine";
    }
    if (header.e_type != ET_DYN || header.e_phentsize != sizeof(ElfW(Phdr)) ||
        header.e_phnum == 0 || header.e_phnum == PN_XNUM) {
        return "not a shared object";
    }
    if (!Fits(header.e_phoff, header.e_phentsize, header.e_phnum, size) ||
        (header.e_shoff != 0 && !Fits(header.e_shoff, header.e_shentsize, header.e_shnum, size))) {
        return "cut short, its ELF headers reach beyond its end";
    }
    for (unsigned i = 0; i < header.e_phnum; ++i) {
        ElfW(Phdr) segment{};
        if (!ReadAt(fd, &segment, sizeof segment,
                    static_cast<off_t>(header.e_phoff + i * sizeof segment))) {
            return "cut short, its ELF headers reach beyond its end";
        }
        if (!Fits(segment.p_offset, segment.p_filesz, 1, size)) {
            return "cut short, its segments reach beyond its end";
        }
    }
    return nullptr;
}

int OpenQtModule(const std::string& path, const TrustedOwners& owners, std::string& reason) {
    const std::string folder = FolderOf(path);
    const std::string name = path.substr(path.rfind('/') + 1);
    // O_PATH: a folder that the user may pass through but not list serves as well.
    Descriptor dir(open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat dirStat {};
    if (dir.get() < 0 || fstat(dir.get(), &dirStat) != 0) {
        reason = folder + ": " + std::strerror(errno);
        return -1;
    }
    // Another user who can write into the folder can put any module there; in a sticky folder
    // they cannot replace one of ours, but its owner still can.
    if (!owners.Trusts(dirStat.st_uid) ||
        ((dirStat.st_mode & S_ISVTX) == 0 && OthersCanWrite(dirStat, owners))) {
        reason = path + ": not loaded, other users can write to its folder";
        return -1;
    }
    // Non-blocking: a FIFO at the name is opened at once (and then refused), never waited on.
    Descriptor module(
        openat(dir.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (module.get() < 0) {
        reason =
            path + ": " + (errno == ELOOP ? "not loaded, a symbolic link" : std::strerror(errno));
        return -1;
    }
    struct stat st {};
    if (fstat(module.get(), &st) != 0) {
        reason = path + ": " + std::strerror(errno);
        return -1;
    }
    if (const char* fault = ForeignFileFault(st, owners)) {
        reason = path + ": not loaded, " + fault;
        return -1;
    }
    if (const char* fault = ElfModuleFault(module.get(), st.st_size)) {
        reason = path + ": not loaded, " + fault;
        return -1;
    }
    return module.release();
}

std::unique_ptr<IQtFrontEnd> LoadQtFrontEnd(const std::string& path, int& argc, char** argv,
                                            std::string& reason) {
    // Code that runs as the user comes from the user or root only, under sudo too.
    const Descriptor module(OpenQtModule(path, TrustedOwners::RunningUser(), reason));
    if (module.get() < 0) {
        return nullptr;
    }
    // The very file that was checked is loaded through its descriptor: replacing the name in
    // the meantime changes nothing. The module stays loaded until the program ends: Qt does not
    // support being unloaded.
    const std::string opened = "/proc/self/fd/" + std::to_string(module.get());
    void* handle = dlopen(opened.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* error = dlerror();
        reason = path + ": " + (error != nullptr ? error : "cannot be loaded");
        return nullptr;
    }
    const auto* entry = static_cast<const QtFrontEndEntry*>(dlsym(handle, kQtFrontEndEntry));
    if (entry == nullptr) {
        reason = path + ": not used, a module of another build (no " + kQtFrontEndEntry + ")";
        return nullptr;
    }
    if (entry->interfaceVersion != QRX_QT_INTERFACE) {
        char versions[64];
        std::snprintf(versions, sizeof versions, "interface %08x, the program's is %08x",
                      static_cast<unsigned>(entry->interfaceVersion),
                      static_cast<unsigned>(QRX_QT_INTERFACE));
        reason = path + ": not used, a module of another build (" + versions + ")";
        return nullptr;
    }
    return std::unique_ptr<IQtFrontEnd>(entry->create(&argc, argv, &reason));
}

}  // namespace qrx
