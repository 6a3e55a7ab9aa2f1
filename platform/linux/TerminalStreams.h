#pragma once

#include <iconv.h>

#include <array>
#include <ostream>
#include <streambuf>
#include <string>

namespace qrx {

// Reads a file descriptor (standard input) and ends, as at end of input, as soon as `wakeFd`
// becomes readable: a close request then never waits for the user's next line.
class FdInputBuffer : public std::streambuf {
  public:
    FdInputBuffer(int fd, int wakeFd) : fd_(fd), wakeFd_(wakeFd) {}

  protected:
    int_type underflow() override;

  private:
    int fd_;
    int wakeFd_;
    bool ended_ = false;
    std::array<char, 4096> buffer_{};
};

// The code set the terminal's text is converted to: empty when UTF-8 goes out unchanged (UTF-8
// locales, and the C locale, whose ASCII says nothing about the terminal), else the locale's
// code set with transliteration for what it cannot show ("EUC-JP//TRANSLIT").
std::string TerminalCodeset(const std::string& localeCodeset);

// UTF-8 text converted to another code set on its way to `out`.
class CharsetOutputBuffer : public std::streambuf {
  public:
    // Throws std::runtime_error when iconv has no such conversion.
    CharsetOutputBuffer(std::ostream& out, const std::string& codeset);
    ~CharsetOutputBuffer() override;
    CharsetOutputBuffer(const CharsetOutputBuffer&) = delete;
    CharsetOutputBuffer& operator=(const CharsetOutputBuffer&) = delete;

  protected:
    int_type overflow(int_type c) override;
    int sync() override;

  private:
    // Converts every complete character that is waiting; an unfinished one stays.
    void Convert();

    std::ostream& out_;
    iconv_t cd_;
    std::string pending_;
};

}  // namespace qrx
