#include "platform/linux/TerminalStreams.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "platform/linux/Eintr.h"

namespace qrx {

FdInputBuffer::int_type FdInputBuffer::underflow() {
    if (gptr() < egptr()) {
        return traits_type::to_int_type(*gptr());
    }
    while (!ended_) {
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        const int ready = RetryOnEintr([&] { return poll(fds, wakeFd_ >= 0 ? 2 : 1, -1); });
        if (ready < 0) {
            ended_ = true;
            break;
        }
        if (wakeFd_ >= 0 && (fds[1].revents & POLLIN) != 0) {
            ended_ = true;
            break;
        }
        if (fds[0].revents == 0) {
            continue;
        }
        const ssize_t n = RetryOnEintr([&] { return read(fd_, buffer_.data(), buffer_.size()); });
        if (n < 0 && errno == EAGAIN) {
            continue;
        }
        if (n <= 0) {
            ended_ = true;
            break;
        }
        setg(buffer_.data(), buffer_.data(), buffer_.data() + n);
        return traits_type::to_int_type(*gptr());
    }
    return traits_type::eof();
}

std::string TerminalCodeset(const std::string& localeCodeset) {
    if (localeCodeset.empty() || localeCodeset == "UTF-8" || localeCodeset == "ANSI_X3.4-1968") {
        return "";
    }
    return localeCodeset + "//TRANSLIT";
}

CharsetOutputBuffer::CharsetOutputBuffer(std::ostream& out, const std::string& codeset)
    : out_(out), cd_(iconv_open(codeset.c_str(), "UTF-8")) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
        throw std::runtime_error("no conversion from UTF-8 to " + codeset);
    }
}

CharsetOutputBuffer::~CharsetOutputBuffer() {
    Convert();
    out_.flush();
    iconv_close(cd_);
}

CharsetOutputBuffer::int_type CharsetOutputBuffer::overflow(int_type c) {
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        pending_ += traits_type::to_char_type(c);
        if (pending_.size() >= 4096) {
            Convert();
        }
    }
    return traits_type::not_eof(c);
}

int CharsetOutputBuffer::sync() {
    Convert();
    out_.flush();
    return out_ ? 0 : -1;
}

void CharsetOutputBuffer::Convert() {
    char* in = pending_.data();
    std::size_t inLeft = pending_.size();
    while (inLeft > 0) {
        char buffer[1024];
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t result = iconv(cd_, &in, &inLeft, &outPtr, &outLeft);
        const int error = result == static_cast<std::size_t>(-1) ? errno : 0;
        out_.write(buffer, outPtr - buffer);
        if (error == EINVAL) {
            break;  // an unfinished character: it waits for the rest
        }
        if (error == EILSEQ) {
            out_.put('?');  // not UTF-8, or not even transliterable
            ++in;
            --inLeft;
        }
    }
    pending_.erase(0, pending_.size() - inLeft);
}

}  // namespace qrx
